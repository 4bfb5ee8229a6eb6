#include "find/duplicate_finder.h"

#include "common/run_aside.h"
#include "select/group_stats.h"

namespace zandrex {

namespace {

// Below this many rows the reclaimable space is summed in a few milliseconds, in place.
constexpr std::size_t kRowsSummedAside = 50000;

struct ColumnDesign {
  const char* caption;
  int width;
  bool shown;
};
// The main grid's columns, in this order.
constexpr ColumnDesign kColumns[col::kCount] = {
    {"Path", 300, true},  {"File", 220, true},      {"Size", 120, true},     {"Date", 120, true},
    {"File", 240, false}, {"Checksum", 240, false}, {"Content", 240, false},
};

} // namespace

std::string filesText(long long count) {
  return std::to_string(count) + " files";
}

DuplicateFinder::DuplicateFinder(FinderView& view, SettingsStore& settings)
    : view_(view), settings_(settings) {}

void DuplicateFinder::setUpGrid() {
  for (int k = 0; k < col::kCount; ++k) {
    grid_.addColumn(k, kColumns[k].caption, kColumns[k].width, true);
    if (!kColumns[k].shown)
      grid_.setColumnShown(k, false);
  }
  grid_.setColumnInterned(col::kPath, true);
  grid_.groupOrderClear();
  grid_.groupOrderAdd(col::kFile);
}

void DuplicateFinder::setStatusText(std::string text) {
  statusText_ = std::move(text);
  view_.statusTextChanged();
}

void DuplicateFinder::updateStatusText2(bool afterDeletion) {
  std::uint64_t reclaimable = 0;
  // A pass over a million rows reads facts all over memory for a tenth of a second: it runs
  // aside while the window keeps answering (every command is refused while busy).
  std::function<void()> whileWaiting;
  if (grid_.rowCount() >= kRowsSummedAside)
    whileWaiting = [this] { view_.doEventsWhileWaiting(); };
  runAside([&] { reclaimable = totalReclaimable(grid_); }, whileWaiting);
  statusText2_ = reclaimableText(reclaimable);
  if (afterDeletion && groupsLostLastRun_ > 0)
    statusText2_ += "; " + withThousands(groupsLostLastRun_) +
                    (groupsLostLastRun_ == 1 ? " group" : " groups") + " lost every copy";
  view_.statusText2Changed();
}

void DuplicateFinder::rebuildRowsWhileHidden() {
  fillGroupKeys();
  grid_.rebuildRows([this] { view_.doEventsWhileWaiting(); });
}

PassHooks DuplicateFinder::passHooks(int bar) {
  PassHooks hooks;
  hooks.letEventsRun = [this] { view_.doEvents(); };
  hooks.whileWaiting = [this] { view_.doEventsWhileWaiting(); };
  hooks.cancelled = [this] { return cancelRequested_ != 0; };
  hooks.step = [this, bar] { addProgress(bar); };
  return hooks;
}

void DuplicateFinder::addProgress(int bar) {
  progressBar(bar).value += 1.0f;
  view_.progressChanged(bar);
}

} // namespace zandrex
