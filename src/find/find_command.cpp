// "Find": scan, group by the chosen key, prune single-file groups and, in the content mode,
// digest, regroup by content and prune again.
#include "digest/digest_pass.h"
#include "errors/err_trap.h"
#include "find/busy_scope.h"
#include "find/duplicate_finder.h"
#include "prune/prune_singles.h"

#include <algorithm>

namespace zandrex {

void DuplicateFinder::finishEmpty() {
  if (cancelRequested_ != 0)
    progress_.cancelled = true;
  view_.setMousePointer(MousePointer::Default);
  view_.setPleaseWaitVisible(false);
  view_.setGridVisible(true);
  grid_.deleteAll();
  grid_.rebuildRows();
  progressBar1_.value = 0;
  view_.progressChanged(1);
  updateStatusText2(false);
}

void DuplicateFinder::startPass() {
  progressBar1_ = ProgressBar{0, 0, static_cast<float>(grid_.rowCount())};
  view_.progressChanged(1);
}

void DuplicateFinder::pruneAndCount() {
  if (std::optional<std::int32_t> left = pruneSingles(grid_, passHooks(1)))
    setStatusText(filesText(*left));
}

void DuplicateFinder::showReadProgress() {
  progressBar1_.value = static_cast<float>(progressBar1_.max * readFraction(progress_.read));
  view_.progressChanged(1);
}

void DuplicateFinder::startGrouping() {
  progress_.phase = FindProgress::Phase::Grouping;
  progress_.files = grid_.recordCount();
}

void DuplicateFinder::digestAndCount() {
  progress_.phase = FindProgress::Phase::Reading;
  // Bar 1 moves by the files and bytes done, also while the pass waits inside a big file.
  PassHooks hooks = passHooks(1);
  hooks.step = [] {};
  hooks.letEventsRun = [this] {
    showReadProgress();
    view_.doEvents();
  };
  hooks.whileWaiting = [this] {
    showReadProgress();
    view_.doEventsWhileWaiting();
  };
  const DigestOutcome outcome =
      digestListed(grid_, found_, hooks, digestCache_, progress_.read, readers_);
  if (outcome.cancelled)
    return;
  progressBar1_.value = progressBar1_.max;
  view_.progressChanged(1);
  setStatusText(filesText(outcome.digested));
  if (outcome.changed > 0)
    findNote_ = changedFilesNote(outcome.changed);
}

void DuplicateFinder::endFind() {
  progress_.phase = FindProgress::Phase::Idle;
  if (progress_.cancelled)
    findNote_ = kCancelledNote;
  view_.findNoteChanged();
}

std::string DuplicateFinder::progressText() const {
  return formatProgress(progress_, [this](RecordId record) { return fullPath(record); });
}

void DuplicateFinder::find() {
  // Re-entering from a pumped event would rebuild the grid under a running pass.
  if (busy_)
    return;
  BusyScope busy(busy_);
  trapEvent("Form1.Command3_Click", [&] {
    cancelRequested_ = 0;
    findNote_.clear();
    view_.findNoteChanged();
    progress_ = FindProgress{};
    progress_.phase = FindProgress::Phase::Listing;
    view_.setGridVisible(false);
    view_.setPleaseWaitVisible(true);
    view_.setDeleteEnabled(false);
    progressBar1_.value = 0;
    progressBar2_.value = 0;
    view_.progressChanged(1);
    view_.progressChanged(2);
    groupByChosenMode();

    scan();
    startGrouping();
    if (grid_.rowCount() == 0) {
      finishEmpty();
      return;
    }
    // A scan that did not walk (the warning declined, no source, an error before the walk)
    // leaves the last find's records and rows: they are grouped afresh, by the chosen key, before
    // anything is pruned.
    if (!grid_.rowsCurrent())
      rebuildRowsWhileHidden();
    startPass();
    pruneAndCount();
    rebuildRowsWhileHidden();

    if (view_.comparisonIndex() == ByContent) {
      if (grid_.rowCount() == 0) {
        finishEmpty();
        return;
      }
      startPass();
      digestAndCount();
      startGrouping();
      grid_.groupOrderClear();
      // Size, CRC-32 and XXH3-128 together: a CRC-32 alone lets different files meet.
      grid_.groupOrderAdd(col::kContent);
      rebuildRowsWhileHidden();
      startPass();
      pruneAndCount();
      rebuildRowsWhileHidden();
    }

    finishFind();
  });
  endFind();
}

void DuplicateFinder::groupByChosenMode() {
  std::vector<int> order;
  // Read afresh for each test, as the list may change while events run.
  if (view_.comparisonIndex() == ByName)
    order.push_back(col::kFile);
  if (view_.comparisonIndex() == BySize)
    order.push_back(col::kSize);
  if (view_.comparisonIndex() == ByNameAndSize)
    order.push_back(col::kNameSize);
  // By content the size comes first: only files that share it are read.
  if (view_.comparisonIndex() == ByContent)
    order.push_back(col::kSize);
  // The same order as the rows were built by leaves them current.
  grid_.setGroupOrder(order);
}

void DuplicateFinder::fillGroupKeys() {
  const auto& order = grid_.groupOrder();
  if (nameSizeKeysMissing_ &&
      std::find(order.begin(), order.end(), col::kNameSize) != order.end()) {
    fillNameSizeKeys(grid_);
    nameSizeKeysMissing_ = false;
  }
}

void DuplicateFinder::finishFind() {
  // A cancelled pass leaves a half-pruned grid: nothing of it is shown.
  if (cancelRequested_ != 0) {
    progress_.cancelled = true;
    cancelRequested_ = 0;
    progressBar1_.value = 0;
    view_.progressChanged(1);
    grid_.deleteAll();
  }
  rebuildRowsWhileHidden();
  view_.setMousePointer(MousePointer::Default);
  view_.setPleaseWaitVisible(false);
  view_.setGridVisible(true);
  if (grid_.rowCount() > 0)
    view_.setDeleteEnabled(true);
  updateStatusText2(false);
}

} // namespace zandrex
