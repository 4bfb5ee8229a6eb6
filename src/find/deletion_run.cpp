// "Delete selected files" and its siblings (trash, links): the guarded run over every ticked
// file, then the failures shown.
#include "delete/delete_ticked.h"
#include "errors/err_trap.h"
#include "find/busy_scope.h"
#include "find/duplicate_finder.h"

namespace zandrex {

namespace {
constexpr const char* kCancelMessage = "Some of the files have been deleted.";
constexpr const char* kTrashCancelMessage = "Some of the files have been moved to the trash.";
constexpr const char* kLinkCancelMessage = "Some of the files have been replaced with links.";

const char* cancelMessage(ReclaimWay way) {
  if (way == ReclaimWay::Trash)
    return kTrashCancelMessage;
  return takesNameAway(way) ? kCancelMessage : kLinkCancelMessage;
}
} // namespace

void DuplicateFinder::deleteTicked() {
  reclaimTicked(ReclaimWay::Delete);
}

void DuplicateFinder::reclaimTicked(ReclaimWay way) {
  // A second run must never work on the records of a run (or a find) under way.
  if (busy_)
    return;
  BusyScope busy(busy_);
  trapEvent("Form1.Command4_Click", [&] {
    if (grid_.rowCount() == 0)
      return;
    runDeletion(way);
  });
}

bool DuplicateFinder::runDeletion(ReclaimWay way) {
  return trapInner("Form1.fRename", [&] {
    progressBar2_ = ProgressBar{0, 0, static_cast<float>(grid_.recordCount())};
    view_.progressChanged(2);
    cancelRequested_ = 0;
    failures_.clear(way);
    const auto& order = grid_.groupOrder();
    const bool contentMode = order.size() == 1 && order.front() == col::kContent;
    groupsLostLastRun_ = 0;
    groupsLostLastRun_ = reclaimTickedFiles(grid_, failures_, found_, contentMode, way,
                                            passHooks(2), beforeDeletionStep_, &protectedMarks_)
                             .groupsLost;
    grid_.rebuildRows();
    updateStatusText2(true);
    if (cancelRequested_ != 0) {
      cancelRequested_ = 0;
      view_.showExclamation(cancelMessage(way));
      return false;
    }
    if (failures_.grid().recordCount() >= 1) {
      failures_.finish();
      view_.showFailureWindow(failures_.countLabel());
    }
    return true;
  });
}

} // namespace zandrex
