#include "find/duplicate_finder.h"

#include "common/run_aside.h"
#include "errors/err_trap.h"
#include "find/busy_scope.h"
#include "select/group_stats.h"
#include "select/tick_verifier.h"

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
  // Groups by name or size are candidates: their space is not known, and "0 bytes" is only true
  // when no group is left.
  const bool spaceKnown = groupedByContent(grid_) || grid_.rowCount() == 0;
  if (spaceKnown)
    runAside([&] { reclaimable = totalReclaimable(grid_); }, whileWaiting);
  statusText2_ = spaceKnown ? reclaimableText(reclaimable) : kSpaceNotVerifiedText;
  if (afterDeletion && groupsLostLastRun_ > 0)
    statusText2_ += "; " + withThousands(groupsLostLastRun_) +
                    (groupsLostLastRun_ == 1 ? " group" : " groups") + " lost every copy";
  view_.statusText2Changed();
}

SelectionResult DuplicateFinder::keepOneInEachGroup(KeepRule rule) {
  SelectionResult result;
  if (busy_)
    return result;
  BusyScope busy(busy_);
  trapEvent("Form1.mnuSelectKeep_Click", [&] {
    cancelRequested_ = 0;
    progressBar2_ = ProgressBar{0, 0, static_cast<float>(grid_.recordCount())};
    view_.progressChanged(2);
    const PassHooks hooks = passHooks(2);
    const PathOf pathOf = [this](RecordId record) { return fullPath(record); };
    if (groupedByContent(grid_)) {
      result = tickAllButOne(grid_, rule, pathOf, nullptr, hooks, &protectedMarks_);
    } else {
      // A byte compare of two big files lets the window answer, and "Cancel" stop it.
      TickVerifier verifier(grid_, found_, [&] {
        hooks.whileWaiting();
        return !hooks.cancelled();
      });
      result = tickAllButOne(grid_, rule, pathOf, &verifier, hooks, &protectedMarks_);
    }
    cancelRequested_ = 0;
  });
  return result;
}

std::vector<std::string> DuplicateFinder::setProtectedFolders(std::vector<std::string> folders) {
  std::vector<std::string> missing = protectedFolders_.set(std::move(folders));
  markProtected();
  return missing;
}

void DuplicateFinder::markProtected() {
  protectedMarks_.mark(found_.folders, protectedFolders_,
                       insideProtected(sourceAncestors_, protectedFolders_));
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
