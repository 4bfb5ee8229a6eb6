// "Delete selected files": deletes every ticked file outright, from the last record to the
// first, and lists the files that could not be deleted.
#include "errors/err_trap.h"
#include "form1/busy_scope.h"
#include "form1/form1_core.h"
#include "platform/platform.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace zandrex {

namespace {

constexpr const char* kCancelMessage = "Some of the files have been deleted.";
constexpr const char* kReasonOutsideSource = "Not inside the searched folder";
constexpr const char* kReasonChanged = "Changed since the search";
constexpr const char* kReasonGone = "No longer exists";
constexpr const char* kReasonNotRegular = "No longer a regular file";

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

std::int32_t DeleteFile(const std::string& lpFileName) {
  return trapInner(
      "wUnicode.DeleteFile(lpFileName)",
      [&]() -> std::int32_t { return unlink(lpFileName.c_str()) == 0 ? 1 : 0; }, lpFileName);
}

void Form1Core::Command4_Click() {
  // A second run must never work on the records of a run (or a find) under way.
  if (busy_)
    return;
  BusyScope busy(busy_);
  trapEvent("Form1.Command4_Click", [&] {
    if (ReportControl1.rowCount() == 0)
      return;
    fRename();
  });
}

bool Form1Core::fRename() {
  return trapInner("Form1.fRename", [&] {
    progressBar2_ = ProgressBar{0, 0, static_cast<float>(ReportControl1.recordCount())};
    view_.progressChanged(2);
    CancelRequested = 0;
    FailureWindow.ReportControl1.deleteAll();
    RunRename();
    ReportControl1.rebuildRows();
    if (CancelRequested != 0) {
      CancelRequested = 0;
      view_.showExclamation(kCancelMessage);
      return false;
    }
    const std::size_t failures = FailureWindow.ReportControl1.recordCount();
    if (failures >= 1) {
      FailureWindow.ReportControl1.rebuildRows();
      FailureWindow.lbFilesCount = failureCountText(failures);
      view_.showFailureWindow(FailureWindow.lbFilesCount);
    }
    return true;
  });
}

std::string Form1Core::refusalReason(RecordId record, const std::string& path) {
  // The folder text is ours, so a path that leaves the searched folder means the records are
  // not the ones this walk produced.
  if (scannedSource_.empty() || !startsWith(path, scannedSource_) ||
      path.find("/../") != std::string::npos)
    return kReasonOutsideSource;
  struct stat st;
  if (lstat(path.c_str(), &st) != 0)
    return kReasonGone;
  if (!S_ISREG(st.st_mode))
    return kReasonNotRegular;
  const FileFacts& seen = ReportControl1.facts(record);
  if (static_cast<std::uint64_t>(st.st_size) != seen.size || st.st_mtim.tv_sec != seen.mtimeSec ||
      st.st_mtim.tv_nsec != seen.mtimeNsec)
    return kReasonChanged;
  return {};
}

void Form1Core::RunRename() {
  trapInner("Form1.RunRename", [&] {
    const std::size_t n = ReportControl1.recordCount();
    for (std::size_t i = n; i-- > 0;) {
      view_.doEvents();
      if (CancelRequested != 0)
        return;
      addProgress(2);
      RecordId record = ReportControl1.recordAt(i);
      if (!ReportControl1.ticked(record))
        continue;
      std::string path = fullPath(record);
      std::string reason = refusalReason(record, path);
      if (reason.empty() && DeleteFile(path) == 0)
        reason = platform::systemMessage(static_cast<std::uint32_t>(errno));
      if (reason.empty()) {
        ReportControl1.removeAt(ReportControl1.recordIndex(record));
        continue;
      }
      GridValue size = ReportControl1.item(record, col::kSize);
      FailureWindow.AddRecord(std::string(ReportControl1.item(record, col::kPath).asText()),
                              std::string(ReportControl1.item(record, col::kFile).asText()),
                              std::string(ReportControl1.item(record, col::kDate).asText()),
                              size.displayText(), reason);
    }
  });
}

} // namespace zandrex
