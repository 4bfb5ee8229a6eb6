// "Delete selected files": deletes every ticked file outright, from the last record to the
// first, and lists the files that could not be deleted.
#include "delete/content_compare.h"
#include "errors/err_trap.h"
#include "form1/busy_scope.h"
#include "form1/form1_core.h"
#include "grid/file_identity.h"
#include "platform/platform.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace zandrex {

namespace {

constexpr const char* kCancelMessage = "Some of the files have been deleted.";
constexpr const char* kReasonOutsideSource = "Not inside the searched folder";
constexpr const char* kReasonChanged = "Changed since the search";
constexpr const char* kReasonGone = "No longer exists";
constexpr const char* kReasonNotRegular = "No longer a regular file";
constexpr const char* kReasonSameFileKept = "Same file as a copy being kept (hard link)";
constexpr const char* kReasonTwinDiffers = "The copy being kept no longer has the same content";
constexpr const char* kReasonTwinGone = "The copy being kept no longer exists";

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

// Decides, just before each unlink, whether a ticked file may go: it must still be the file the
// find saw, and deleting it must not take the copy that is being kept.
class Form1Core::DeletionGuard {
public:
  explicit DeletionGuard(Form1Core& core) : core_(core), grid_(core.ReportControl1) {
    const auto& order = grid_.groupOrder();
    contentMode_ = order.size() == 1 && order.front() == col::kContent;
    for (std::size_t i = 0; i < grid_.rowCount(); ++i) {
      const GridRow& row = grid_.row(i);
      if (row.isGroup()) {
        groups_.push_back({});
        continue;
      }
      if (!grid_.isLive(row.record))
        continue;
      if (groups_.empty())
        groups_.push_back({});
      Group& group = groups_.back();
      ++group.members;
      groupOf_.emplace(row.record, groups_.size() - 1);
      if (grid_.ticked(row.record))
        continue;
      group.kept.push_back(row.record);
      const FileFacts& facts = grid_.facts(row.record);
      ++keptIdentities_[identityOf(facts)];
    }
  }

  // Why the file must not be deleted; "" when it may.
  std::string refusal(RecordId record, const std::string& path) {
    // The folder text is ours, so a path that leaves the searched folder means the record is
    // not one this walk produced.
    const std::string& source = core_.scannedSource();
    if (source.empty() || !startsWith(path, source) || path.find("/../") != std::string::npos)
      return kReasonOutsideSource;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
      return kReasonGone;
    if (!S_ISREG(st.st_mode))
      return kReasonNotRegular;
    const FileFacts& seen = grid_.facts(record);
    if (static_cast<std::uint64_t>(st.st_size) != seen.size || st.st_mtim.tv_sec != seen.mtimeSec ||
        st.st_mtim.tv_nsec != seen.mtimeNsec)
      return kReasonChanged;
    if (keptIdentities_.contains(
            {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)}))
      return kReasonSameFileKept;
    if (contentMode_)
      return twinRefusal(record, path);
    return {};
  }

  void deleted(RecordId record) {
    auto it = groupOf_.find(record);
    if (it != groupOf_.end())
      ++groups_[it->second].deleted;
  }

  // Groups whose every member this run deleted.
  std::uint32_t groupsLost() const {
    std::uint32_t lost = 0;
    for (const Group& group : groups_)
      lost += group.members > 0 && group.deleted == group.members ? 1 : 0;
    return lost;
  }

private:
  struct Group {
    std::uint32_t members = 0;
    std::uint32_t deleted = 0;
    std::vector<RecordId> kept;
  };

  // A content duplicate goes only when a kept twin still holds the very same bytes.
  std::string twinRefusal(RecordId record, const std::string& path) {
    auto it = groupOf_.find(record);
    if (it == groupOf_.end() || groups_[it->second].kept.empty())
      return {};
    bool anyTwinLeft = false;
    for (RecordId twin : groups_[it->second].kept) {
      CompareOutcome outcome = compareFileContents(core_.fullPath(twin), path);
      if (outcome == CompareOutcome::Same)
        return {};
      anyTwinLeft |= outcome != CompareOutcome::KeptMissing;
    }
    return anyTwinLeft ? kReasonTwinDiffers : kReasonTwinGone;
  }

  Form1Core& core_;
  const ReportGrid& grid_;
  bool contentMode_ = false;
  std::vector<Group> groups_;
  std::unordered_map<RecordId, std::size_t> groupOf_;
  std::unordered_map<FileIdentity, std::uint32_t, FileIdentityHash> keptIdentities_;
};

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
    DeletionGuard guard(*this);
    const std::size_t n = ReportControl1.recordCount();
    for (std::size_t i = n; i-- > 0;) {
      view_.doEvents();
      if (CancelRequested != 0)
        break;
      addProgress(2);
      RecordId record = ReportControl1.recordAt(i);
      if (!ReportControl1.ticked(record))
        continue;
      std::string path = fullPath(record);
      std::string reason = guard.refusal(record, path);
      if (reason.empty() && DeleteFile(path) == 0)
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
