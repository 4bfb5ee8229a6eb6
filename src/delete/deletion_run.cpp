// "Delete selected files": deletes every ticked file outright, from the last record to the
// first, and lists the files that could not be deleted.
#include "delete/deletion_guard.h"
#include "errors/err_trap.h"
#include "form1/busy_scope.h"
#include "form1/form1_core.h"
#include "platform/platform.h"

#include <cerrno>

namespace zandrex {

namespace {

constexpr const char* kCancelMessage = "Some of the files have been deleted.";
constexpr std::string_view kStepCheck = "check";
constexpr std::string_view kStepRemove = "remove";

} // namespace

std::int32_t DeleteFile(const std::string& lpFileName, int folderFd, const std::string& name) {
  return trapInner(
      "wUnicode.DeleteFile(lpFileName)",
      [&]() -> std::int32_t { return removeIn(folderFd, name.c_str()) ? 1 : 0; }, lpFileName);
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
    updateStatusText2(true);
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

void Form1Core::RunRename() {
  trapInner("Form1.RunRename", [&] {
    groupsLostLastRun_ = 0;
    const auto& order = ReportControl1.groupOrder();
    const bool contentMode = order.size() == 1 && order.front() == col::kContent;
    DeletionGuard guard(ReportControl1, folders_, sourceRealPath_, sourceIdentity_, contentMode);
    // A byte compare of two big files lets the window answer, and "Cancel" stop it.
    const std::function<bool()> keepGoing = [this] {
      view_.doEventsWhileWaiting();
      return CancelRequested == 0;
    };
    const std::size_t n = ReportControl1.recordCount();
    for (std::size_t i = n; i-- > 0;) {
      view_.doEvents();
      if (CancelRequested != 0)
        break;
      addProgress(2);
      RecordId record = ReportControl1.recordAt(i);
      if (!ReportControl1.ticked(record))
        continue;
      if (beforeDeletionStep)
        beforeDeletionStep(record, kStepCheck);
      std::string reason = guard.refusal(record, keepGoing);
      if (reason.empty() && beforeDeletionStep)
        beforeDeletionStep(record, kStepRemove);
      if (reason.empty())
        reason = guard.lastLook(record);
      if (reason.empty() &&
          DeleteFile(fullPath(record), guard.folderFd(), diskNameOf(ReportControl1, record)) == 0)
        reason = platform::systemMessage(static_cast<std::uint32_t>(errno));
      if (reason.empty()) {
        guard.deleted(record);
        ReportControl1.removeAt(ReportControl1.recordIndex(record));
        continue;
      }
      GridValue size = ReportControl1.item(record, col::kSize);
      FailureWindow.AddRecord(std::string(ReportControl1.item(record, col::kPath).asText()),
                              std::string(ReportControl1.item(record, col::kFile).asText()),
                              std::string(ReportControl1.item(record, col::kDate).asText()),
                              size.displayText(), reason);
      FailureWindow.setLastDiskName(ReportControl1.diskName(record));
    }
    groupsLostLastRun_ = guard.groupsLost();
  });
}

} // namespace zandrex
