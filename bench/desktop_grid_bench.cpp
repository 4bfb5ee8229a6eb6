// The main window's grid on a big result, without a disk: FILES file records written straight
// into the window's grid (groups of 2 to 5 copies under different names and folders, as a find
// by content leaves them), then the window's own helpers, tick, group inversion and sorts, each
// timed until the window has handled every event it caused (its repaint included). After each the
// view's state is compared with the state before: the scroll position, the current row, the
// selection and the groups open in view must not change through a tick change.
//
//   zandrex_bench_grid FILES [OPERATION...]      (default: every operation, in the order below)
//
// Operations (run in the order named): newest, oldest, first, shortest (the keep helpers),
// folder (tick every file in the current row's folder), untick, invert (the current row's
// group), invert-closed (the last group, never opened), tick (the current row, as a click),
// sort-path, sort-file, sort-size, sort-date, sort-file-desc (a header click), groups-count,
// groups-reclaimable, groups-key (the group sort), unsorted; and, only when named, select-all
// (Ctrl+A), select-all-view (QTreeView::selectAll, what Ctrl+A did before) and newest-engine
// (the finder's keep pass alone, no signal, no repaint). Building the
// rows and showing them ("build") is timed in every run. Output: one
// "op <name> <ms> <state-kept|STATE-CHANGED>" line per operation.
#include "main_window.h"
#include "grid/file_record.h"
#include "settings/message_texts.h"
#include "source/path_routines.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTreeView>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace zandrex;
using desktop::Form1;
using desktop::GroupSort;

constexpr int kFolders = 4096;

// A fixed pseudo-random sequence: the same rows in every run and every build.
struct Sequence {
  std::uint64_t state = 0x2545F4914F6CDD1DULL;
  std::uint64_t next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  }
};

// A result found by content: groups of 2 to 5 files of one size and content key under
// different names and folders. Grouped by content the keep helpers tick without reading a file
// (the digests are the proof), as after a real content find.
void fillGrid(ReportGrid& grid, std::size_t files) {
  std::vector<std::string> folders;
  for (int k = 0; k < kFolders; ++k) {
    std::string folder = "/bench/d" + std::to_string(k % 64) + "/";
    // Paths of different lengths, so that "keep the shortest" has something to choose.
    for (int depth = 0; depth < k % 4; ++depth)
      folder += "sub" + std::to_string(depth) + "/";
    folders.push_back(folder + "f" + std::to_string(k) + "/");
  }
  grid.groupOrderClear();
  grid.groupOrderAdd(col::kContent);
  Sequence random;
  std::size_t group = 0;
  for (std::size_t made = 0; made < files; ++group) {
    const std::size_t size = 2 + random.next() % 4;
    const std::uint64_t bytes = random.next() % 100'000;
    char checksum[16];
    std::snprintf(checksum, sizeof checksum, "%08X", static_cast<unsigned>(random.next()));
    const std::string content = std::to_string(bytes) + ":" + checksum + ":" +
                                std::to_string(group);
    for (std::size_t k = 0; k < size && made < files; ++k, ++made) {
      const std::int64_t mtime = 1'500'000'000 + static_cast<std::int64_t>(random.next() % 1'000'000);
      const RecordId record = grid.addRecord();
      grid.addItem(record, GridValue::text(folders[random.next() % kFolders]));
      grid.setCheckbox(record, true);
      grid.addItem(record, GridValue::text("copy" + std::to_string(k) + "-" +
                                           std::to_string(group) + ".dat"));
      grid.addItem(record, GridValue::number(static_cast<double>(bytes)));
      grid.addItem(record, GridValue::text(formatListDate(mtime, 0, true)));
      grid.setItem(record, col::kChecksum, GridValue::text(checksum));
      grid.setItem(record, col::kContent, GridValue::text(content));
      FileFacts facts;
      facts.mtimeSec = mtime;
      facts.size = bytes;
      facts.inode = made + 1;
      grid.setFacts(record, facts, {});
    }
  }
}

// Runs every event the last operation caused: delayed layouts, timers of zero, repaints.
void settle() {
  for (int round = 0; round < 3; ++round) {
    QCoreApplication::sendPostedEvents();
    QApplication::processEvents();
  }
}

// What must survive a tick change: where the view stands and what it shows open.
struct ViewState {
  int scroll = 0;
  std::size_t current = SIZE_MAX;
  qsizetype selected = 0;
  std::vector<std::size_t> openInView;
  std::size_t groupsInView = 0;
  bool operator==(const ViewState&) const = default;
};

ViewState viewState(Form1& window, QTreeView& view) {
  ViewState state;
  desktop::FileGridModel& model = *window.gridModel();
  state.scroll = view.verticalScrollBar()->value();
  state.current = model.rowPosition(view.currentIndex());
  // Rows selected, counted by range: selectedRows() asks every row of every range whether
  // it is selected, quadratic in the ranges of a Ctrl+A.
  for (const QItemSelectionRange& range : view.selectionModel()->selection())
    state.selected += range.height();
  const int bottom = view.viewport()->height();
  for (QModelIndex index = view.indexAt(QPoint(0, 0)); index.isValid();
       index = view.indexBelow(index)) {
    if (view.visualRect(index).top() > bottom)
      break;
    if (index.parent().isValid())
      continue;
    ++state.groupsInView;
    if (view.isExpanded(index))
      state.openInView.push_back(model.rowPosition(index));
  }
  return state;
}

} // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILES [OPERATION...]\n", argv[0]);
    return 2;
  }
  SetLanguageTexts();
  const std::size_t files = std::strtoull(argv[1], nullptr, 10);
  std::vector<std::string> chosen(argv + 2, argv + argc);

  MemorySettings settings;
  Form1 window(settings);
  window.resize(1024, 768);
  window.show();
  settle();
  auto* view = window.findChild<QTreeView*>("ReportControl1");
  desktop::FileGridModel& model = *window.gridModel();
  desktop::GridActions& actions = *window.gridActions();
  ReportGrid& grid = window.core().grid();

  QElapsedTimer clock;
  clock.start();
  fillGrid(grid, files);
  const qint64 fillMs = clock.elapsed();
  clock.restart();
  grid.rebuildRows();
  settle();
  const double buildMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
  std::printf("files %zu rows %zu groups %d fill_ms %lld\n", files, grid.rowCount(),
              model.rowCount(), static_cast<long long>(fillMs));
  std::printf("op build %.1f -\n", buildMs);

  // The view in the middle of the list, a file row current, a few rows selected.
  QScrollBar* bar = view->verticalScrollBar();
  bar->setValue(bar->maximum() / 2);
  settle();
  auto firstFileInView = [&] {
    for (QModelIndex index = view->indexAt(QPoint(0, 0)); index.isValid();
         index = view->indexBelow(index))
      if (index.parent().isValid())
        return index;
    return QModelIndex();
  };
  const QModelIndex file = firstFileInView();
  view->setCurrentIndex(file);
  // The current file and the one below it in its group (every group holds two files or more).
  view->selectionModel()->select(
      QItemSelection(file, file.siblingAtRow(file.row() + 1)),
      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  settle();

  const std::string folder(grid.item(grid.row(model.rowPosition(file)).record, col::kPath).asText());
  auto sortBy = [&](int column, Qt::SortOrder order) {
    return [&, column, order] { view->header()->setSortIndicator(column, order); };
  };
  struct Operation {
    const char* name;
    // True when the view's state must stay exactly as it was.
    bool keepsState;
    std::function<void()> run;
  };
  const std::vector<Operation> operations = {
      {"newest", true, [&] { actions.keep(KeepRule::Newest); }},
      {"oldest", true, [&] { actions.keep(KeepRule::Oldest); }},
      {"first", true, [&] { actions.keep(KeepRule::First); }},
      {"shortest", true, [&] { actions.keep(KeepRule::Shortest); }},
      {"folder", true, [&] { actions.tickFolder(folder); }},
      {"untick", true, [&] { actions.untickAll(); }},
      {"invert", true, [&] { actions.invertGroupAt(view->currentIndex()); }},
      // The last group: with groups opened on sight, one the view has never opened.
      {"invert-closed", true,
       [&] { actions.invertGroupAt(model.index(model.rowCount() - 1, 0)); }},
      {"tick", true, [&] { actions.toggleTick(view->currentIndex()); }},
      {"sort-path", false, sortBy(col::kPath, Qt::AscendingOrder)},
      {"sort-file", false, sortBy(col::kFile, Qt::AscendingOrder)},
      {"sort-size", false, sortBy(col::kSize, Qt::AscendingOrder)},
      {"sort-date", false, sortBy(col::kDate, Qt::AscendingOrder)},
      {"sort-file-desc", false, sortBy(col::kFile, Qt::DescendingOrder)},
      {"groups-count", false, [&] { actions.sortGroupsBy(GroupSort::Count); }},
      {"groups-reclaimable", false, [&] { actions.sortGroupsBy(GroupSort::Reclaimable); }},
      {"groups-key", false, [&] { actions.sortGroupsBy(GroupSort::Key); }},
      {"unsorted", false, sortBy(-1, Qt::AscendingOrder)},
      // Only when named: every row selected, for the sorts and helpers named after it. Ctrl+A
      // as the user presses it, or QTreeView::selectAll (what Ctrl+A did before).
      {"select-all", false,
       [&] {
         QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier);
         QApplication::sendEvent(view, &press);
       }},
      {"select-all-view", false, [&] { view->selectAll(); }},
      // Only when named: the finder's keep pass alone, without the model's signal and the
      // repaint (what of "newest" is the engine's).
      {"newest-engine", true, [&] { window.core().keepOneInEachGroup(KeepRule::Newest); }},
  };
  // The operations named, in the order named; by default all but the last three.
  std::vector<const Operation*> runs;
  for (const Operation& operation : operations)
    if (chosen.empty() && std::strncmp(operation.name, "select-all", 10) != 0 &&
        std::strcmp(operation.name, "newest-engine") != 0)
      runs.push_back(&operation);
  for (const std::string& name : chosen) {
    auto named = std::find_if(operations.begin(), operations.end(),
                              [&](const Operation& operation) { return name == operation.name; });
    if (named == operations.end()) {
      std::fprintf(stderr, "unknown operation %s\n", name.c_str());
      return 2;
    }
    runs.push_back(&*named);
  }
  for (const Operation* run : runs) {
    const Operation& operation = *run;
    const ViewState before = viewState(window, *view);
    const std::size_t current = before.current;
    clock.restart();
    operation.run();
    settle();
    const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    const ViewState after = viewState(window, *view);
    // A sort moves rows: the current row must stay the same file, the selection its size, and
    // the groups in view open (no group is closed by the user here).
    const bool kept = (operation.keepsState ? after == before
                                            : after.current == current &&
                                                  after.selected == before.selected) &&
                      after.openInView.size() == after.groupsInView;
    std::printf("op %s %.1f %s\n", operation.name, ms, kept ? "state-kept" : "STATE-CHANGED");
    std::fflush(stdout);
  }
  std::printf("report %s\n", qPrintable(window.selectionReport()));
  return 0;
}
