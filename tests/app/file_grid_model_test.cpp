// The Qt model over the engine's grid: group rows with their files as children, tick boxes that
// write the grid, row positions both ways, the model tester's rules, a million rows; helpers and
// sorts that send as many signals for a thousand groups as for four, index hashes that never
// pile up, and a tree view repainting the tick boxes a helper changed while keeping its state.
#include "fake_view.h"
#include "file_grid_model.h"
#include "grid/file_record.h"
#include "grid_actions.h"
#include "select/selection_helpers.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QColor>
#include <QItemSelectionModel>
#include <QPaintEvent>
#include <QRegion>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>
#include <gtest/gtest.h>
#include <set>
#include <string>

namespace zandrex::desktop {
namespace {

constexpr int kPathColumn = 0;
constexpr int kNameColumn = 1;
constexpr int kSizeColumn = 2;

// A grid with path, name and size columns, and the model over it.
struct FileGrid {
  ReportGrid grid;
  FileGridModel model{grid};
  FileGrid() {
    grid.addColumn(kPathColumn, "Path", 300, true);
    grid.addColumn(kNameColumn, "File", 220, true);
    grid.addColumn(kSizeColumn, "Size", 120, true);
    model.refresh();
  }
  RecordId add(const std::string& folder, const std::string& name, double size) {
    RecordId record = grid.addRecord();
    grid.addItem(record, GridValue::text(folder));
    grid.setCheckbox(record, true);
    grid.addItem(record, GridValue::text(name));
    grid.addItem(record, GridValue::number(size));
    return record;
  }
  void groupBy(int column) {
    grid.groupOrderClear();
    if (column >= 0)
      grid.groupOrderAdd(column);
    grid.rebuildRows();
  }
};

TEST(FileGridModel, GroupRowsHoldTheirFilesWhoseTickBoxesWriteTheGridThroughEveryRebuild) {
  FileGrid files;
  FileGridModel& model = files.model;
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  model.setGroupHeading([](const ReportGrid& grid, std::size_t position) {
    return "Size: " + grid.groupKey(position).displayText();
  });
  const RecordId first = files.add("/a/", "x.txt", 10);
  files.add("/c/", "y.txt", 5);
  files.add("/b/", "z.txt", 10);
  QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
  files.groupBy(kSizeColumn);
  EXPECT_EQ(resets.count(), 1);

  ASSERT_EQ(model.rowCount(), 2);
  const QModelIndex ten = model.index(1, 0);
  EXPECT_EQ(model.data(model.index(0, 0)).toString(), "Size: 5");
  EXPECT_EQ(model.data(ten).toString(), "Size: 10");
  EXPECT_EQ(model.data(model.index(1, kNameColumn)).toString(), "");
  ASSERT_EQ(model.rowCount(ten), 2);
  const QModelIndex second = model.index(1, kNameColumn, ten);
  EXPECT_EQ(model.data(second).toString(), "z.txt");
  EXPECT_EQ(model.data(model.index(1, kSizeColumn, ten)).toString(), "10");
  EXPECT_EQ(model.data(model.index(1, kSizeColumn, ten), Qt::TextAlignmentRole).value<int>(),
            int(Qt::AlignRight | Qt::AlignVCenter));
  EXPECT_EQ(model.data(model.index(0, kPathColumn, ten)).toString(), "/a/");

  // Row positions: group 5 at 0, its file at 1, group 10 at 2, its files at 3 and 4.
  EXPECT_EQ(model.rowPosition(second), 4u);
  for (std::size_t position = 0; position < files.grid.rowCount(); ++position)
    EXPECT_EQ(model.rowPosition(model.indexOfRow(position)), position);
  EXPECT_FALSE(model.indexOfRow(5).isValid());

  // Only the first column of a file row has a tick box.
  const QModelIndex file = model.index(0, 0, ten);
  EXPECT_FALSE(model.flags(ten) & Qt::ItemIsUserCheckable);
  EXPECT_FALSE(model.data(ten, Qt::CheckStateRole).isValid());
  EXPECT_FALSE(model.flags(model.index(0, kNameColumn, ten)) & Qt::ItemIsUserCheckable);
  EXPECT_TRUE(model.flags(file) & Qt::ItemIsUserCheckable);
  EXPECT_EQ(model.data(file, Qt::CheckStateRole).toInt(), Qt::Unchecked);
  QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
  EXPECT_TRUE(model.setData(file, Qt::Checked, Qt::CheckStateRole));
  EXPECT_TRUE(files.grid.ticked(first));
  EXPECT_EQ(model.data(file, Qt::CheckStateRole).toInt(), Qt::Checked);
  EXPECT_EQ(changes.count(), 1);
  EXPECT_TRUE(model.setData(file, Qt::Unchecked, Qt::CheckStateRole));
  EXPECT_FALSE(files.grid.ticked(first));
  EXPECT_FALSE(model.setData(ten, Qt::Checked, Qt::CheckStateRole));
  EXPECT_FALSE(model.setData(file, "text", Qt::EditRole));

  // Without a group order every row is a top-level file row.
  files.groupBy(-1);
  EXPECT_FALSE(model.grouped());
  ASSERT_EQ(model.rowCount(), 3);
  EXPECT_FALSE(model.hasChildren(model.index(0, 0)));
  EXPECT_EQ(model.data(model.index(1, kNameColumn)).toString(), "y.txt");
  EXPECT_EQ(model.data(model.index(1, 0), Qt::CheckStateRole).toInt(), Qt::Unchecked);
  files.groupBy(kNameColumn);
  files.grid.removeAt(0);
  files.grid.rebuildRows();
  files.grid.deleteAll();
  EXPECT_EQ(model.rowCount(), 0);
}

TEST(FileGridModel, HoldsAMillionRows) {
  constexpr int kFiles = 1'000'000;
  FileGrid files;
  for (int k = 0; k < kFiles; ++k)
    files.add("/data/", "f" + std::to_string(k), k / 2);
  files.groupBy(kSizeColumn);

  const FileGridModel& model = files.model;
  ASSERT_EQ(model.rowCount(), kFiles / 2);
  const QModelIndex last = model.index(kFiles / 2 - 1, 0);
  ASSERT_EQ(model.rowCount(last), 2);
  EXPECT_EQ(model.data(model.index(1, kNameColumn, last)).toString(), "f999999");
  EXPECT_EQ(model.rowPosition(model.index(1, 0, last)), files.grid.rowCount() - 1);
  EXPECT_EQ(model.indexOfRow(files.grid.rowCount() - 1), model.index(1, 0, last));
}

// The signals a change sends, by kind.
struct Signals {
  explicit Signals(const QAbstractItemModel& model)
      : data(&model, &QAbstractItemModel::dataChanged),
        layouts(&model, &QAbstractItemModel::layoutChanged),
        resets(&model, &QAbstractItemModel::modelReset),
        rows(&model, &QAbstractItemModel::rowsInserted) {}
  QSignalSpy data;
  QSignalSpy layouts;
  QSignalSpy resets;
  QSignalSpy rows;
  std::vector<qsizetype> counts() const {
    return {data.count(), layouts.count(), resets.count(), rows.count()};
  }
};

// A helper over 4 groups sends the very signals it sends over 1,000: one per group made the
// tree view search its rows once per group, many minutes for a million files.
TEST(FileGridModel, HelpersAndSortsSendAsManySignalsForThousandsOfGroupsAsForAFew) {
  std::vector<std::vector<std::vector<qsizetype>>> bySize;
  for (int groups : {4, 1000}) {
    FileGrid files;
    for (int k = 0; k < groups * 3; ++k)
      files.add("/d" + std::to_string(k % 5) + "/", "f" + std::to_string(k), k / 3);
    files.groupBy(kSizeColumn);
    FileGridModel& model = files.model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    const PathOf pathOf = [&](RecordId record) {
      return std::string(files.grid.item(record, kPathColumn).asText()) +
             std::string(files.grid.item(record, kNameColumn).asText());
    };
    std::vector<std::vector<qsizetype>> sent;
    auto measure = [&](const std::function<void()>& change) {
      Signals spies(model);
      change();
      sent.push_back(spies.counts());
      // Whatever the signals, the tick boxes read the grid.
      for (std::size_t position = 0; position < files.grid.rowCount(); ++position) {
        const GridRow& row = files.grid.row(position);
        if (row.isGroup())
          continue;
        const Qt::CheckState expected = files.grid.ticked(row.record) ? Qt::Checked : Qt::Unchecked;
        ASSERT_EQ(model.data(model.indexOfRow(position), Qt::CheckStateRole).toInt(), expected);
      }
    };
    measure([&] {
      tickAllButOne(files.grid, KeepRule::First, pathOf);
      model.ticksChanged();
    });
    measure([&] {
      untickAll(files.grid);
      model.ticksChanged();
    });
    measure([&] {
      invertGroup(files.grid, files.grid.rowCount() - 4);
      model.ticksChangedInGroup(files.grid.rowCount() - 4);
    });
    measure([&] { model.sortFiles(kPathColumn, Qt::DescendingOrder); });
    measure([&] { model.sortGroups(GroupSort::Count, Qt::DescendingOrder); });
    // The user's tick: one row.
    Signals one(model);
    const QModelIndex file = model.index(1, 0, model.index(groups - 1, 0));
    ASSERT_TRUE(model.setData(file, Qt::Checked, Qt::CheckStateRole));
    ASSERT_EQ(one.data.count(), 1);
    EXPECT_EQ(one.data[0][0].value<QModelIndex>(), file);
    EXPECT_EQ(one.data[0][1].value<QModelIndex>(), file);
    bySize.push_back(sent);
  }
  // {dataChanged, layoutChanged, modelReset, rowsInserted} of each change.
  const std::vector<std::vector<qsizetype>> expected = {
      {1, 0, 0, 0}, {1, 0, 0, 0}, {1, 0, 0, 0}, {0, 1, 0, 0}, {0, 1, 0, 0}};
  EXPECT_EQ(bySize[0], expected);
  EXPECT_EQ(bySize[1], expected);
}

// The headings of the groups in view order; a "!" in front of those shown in red.
std::vector<std::string> headings(const FileGridModel& model) {
  std::vector<std::string> out;
  for (int row = 0; row < model.rowCount(); ++row) {
    const QModelIndex group = model.index(row, 0);
    const QVariant color = model.data(group, Qt::ForegroundRole);
    const bool red =
        color.isValid() && color.value<QColor>().red() > 2 * color.value<QColor>().green();
    out.push_back((red ? "!" : "") + model.data(group).toString().toStdString());
  }
  return out;
}

// Every way ticks change turns a group's heading red exactly while all its files are ticked, and
// back; the mark follows its group through sorts and a deletion's rebuild.
TEST(FileGridModel, AGroupWithEveryFileTickedHasARedHeadingWhicheverWayItWasTicked) {
  FileGrid files;
  FileGridModel& model = files.model;
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  model.setGroupHeading([](const ReportGrid& grid, std::size_t position) {
    return grid.groupKey(position).displayText();
  });
  files.add("/a/", "one", 1);
  files.add("/b/", "one", 1);
  files.add("/a/", "two", 2);
  files.add("/b/", "two", 2);
  files.add("/c/", "two", 2);
  files.groupBy(kSizeColumn);
  const std::string allMark = " \u2014 all copies ticked";
  const std::string one = "1";
  const std::string two = "2";
  const std::string oneRed = "!1" + allMark;
  const std::string twoRed = "!2" + allMark;
  using Headings = std::vector<std::string>;
  ASSERT_EQ(headings(model), (Headings{one, two}));

  // By hand: the heading changes with the tick that completes its group, and is announced.
  const QModelIndex groupOne = model.index(0, 0);
  QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
  ASSERT_TRUE(model.setData(model.index(0, 0, groupOne), Qt::Checked, Qt::CheckStateRole));
  EXPECT_EQ(headings(model), (Headings{one, two}));
  EXPECT_EQ(changes.count(), 1);
  ASSERT_TRUE(model.setData(model.index(1, 0, groupOne), Qt::Checked, Qt::CheckStateRole));
  EXPECT_EQ(headings(model), (Headings{oneRed, two}));
  ASSERT_EQ(changes.count(), 3);
  EXPECT_EQ(changes[2][0].value<QModelIndex>(), groupOne);
  ASSERT_TRUE(model.setData(model.index(1, 0, groupOne), Qt::Unchecked, Qt::CheckStateRole));
  EXPECT_EQ(headings(model), (Headings{one, two}));

  // The helpers' figures are the tally's (tick_tally_test); through the model, a whole group
  // inverted turns red.
  untickAll(files.grid);
  invertGroup(files.grid, 3);
  model.ticksChangedInGroup(3);
  EXPECT_EQ(headings(model), (Headings{one, twoRed}));
  untickAll(files.grid);
  model.ticksChanged();
  EXPECT_EQ(headings(model), (Headings{one, two}));

  // Sorting moves the mark with its group.
  invertGroup(files.grid, 0);
  model.ticksChangedInGroup(0);
  model.sortGroups(GroupSort::Count, Qt::DescendingOrder);
  EXPECT_EQ(headings(model), (Headings{two, oneRed}));
  model.sortFiles(kPathColumn, Qt::DescendingOrder);
  EXPECT_EQ(headings(model), (Headings{two, oneRed}));

  // A deletion removes a file of group 2: with the other two ticked it is complete, and as
  // many files as group 1 now.
  files.grid.setTicked(files.grid.row(5).record, true);
  files.grid.setTicked(files.grid.row(6).record, true);
  files.grid.removeAt(files.grid.recordIndex(files.grid.row(4).record));
  files.grid.rebuildRows();
  EXPECT_EQ(headings(model), (Headings{oneRed, twoRed}));
}

// Qt keeps persistent indexes (a selection holds two per range, a view one per open group) in a
// hash of 16 x row + column + internalId, with no mixing: cells that hash alike pile up, and
// each lookup walks its pile. No two file cells may hash alike (Ctrl+A over 10,000 files took
// nearly two minutes when the cells of neighbouring groups' files did), in the grid's order and
// sorted.
// Names with numbers sort as people count; the groups keep their key order.
TEST(FileGridModel, SortingByATextColumnPutsDisk2BeforeDisk10) {
  FileGrid files;
  for (const char* name : {"disk10", "disk2", "Disk1", "disk02"})
    files.add("/d/", name, 1);
  files.groupBy(kSizeColumn);
  files.model.sortFiles(kNameColumn, Qt::AscendingOrder);
  const QModelIndex group = files.model.index(0, 0);
  std::vector<std::string> names;
  for (int row = 0; row < files.model.rowCount(group); ++row)
    names.push_back(files.model.index(row, kNameColumn, group).data().toString().toStdString());
  EXPECT_EQ(names, (std::vector<std::string>{"Disk1", "disk2", "disk02", "disk10"}));
}

TEST(FileGridModel, NoTwoFileCellsHashAlike) {
  FileGrid files;
  for (int k = 0; k < 3000; ++k)
    files.add("/d" + std::to_string(k % 7) + "/", "f" + std::to_string(k), k % 1000);
  files.groupBy(kSizeColumn);
  FileGridModel& model = files.model;
  for (bool sorted : {false, true}) {
    if (sorted)
      model.sortGroups(GroupSort::Count, Qt::DescendingOrder);
    std::set<std::size_t> hashes;
    std::size_t cells = 0;
    for (int group = 0; group < model.rowCount(); ++group) {
      const QModelIndex parent = model.index(group, 0);
      for (int row = 0; row < model.rowCount(parent); ++row)
        for (int column = 0; column < model.columnCount(parent); ++column, ++cells)
          hashes.insert(qHash(model.index(row, column, parent)));
    }
    EXPECT_EQ(cells, 9000u);
    EXPECT_EQ(hashes.size(), cells) << (sorted ? "sorted" : "in the grid's order");
  }
}

// Where a view's viewport was asked to repaint since the last clear().
struct PaintedRegion : QObject {
  QRegion region;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint)
      region += static_cast<QPaintEvent*>(event)->region();
    return false;
  }
};

// The window's helpers through GridActions over a tree view that opened only the groups in
// view, as a big result does: the tick boxes in view repaint with their new states, also those
// of the last group's files below every group row, and the view keeps its open groups, its
// selection, its current row and its place.
TEST(FileGridModel, HelpersRepaintTheTickBoxesInViewAndKeepTheViewsState) {
  test::FakeView fakeView;
  MemorySettings settings;
  DuplicateFinder core(fakeView, settings);
  core.setUpGrid();
  ReportGrid& grid = core.grid();
  FileGridModel model(grid);
  QWidget owner;
  QTreeView view(&owner);
  view.setUniformRowHeights(true);
  view.setSelectionMode(QAbstractItemView::ExtendedSelection);
  view.setModel(&model);
  GridActions actions(core, model, view, &owner);
  // 300 groups of two files by name, then a last group of 60.
  auto add = [&](const std::string& folder, const std::string& name, std::int64_t mtime) {
    const RecordId record = grid.addRecord();
    grid.addItem(record, GridValue::text(folder));
    grid.setCheckbox(record, true);
    grid.addItem(record, GridValue::text(name));
    grid.addItem(record, GridValue::number(1));
    grid.addItem(record, GridValue::text("2020.01.01 00:00:00"));
    FileFacts facts;
    facts.mtimeSec = mtime;
    grid.setFacts(record, facts, {});
  };
  for (int k = 0; k < 300; ++k) {
    add("/a/", "n" + std::to_string(1000 + k), k);
    add("/b/", "n" + std::to_string(1000 + k), 1000 - k);
  }
  for (int k = 0; k < 60; ++k)
    add("/c" + std::to_string(k) + "/", "z", k);
  grid.rebuildRows();
  owner.resize(400, 300);
  view.resize(400, 300);
  owner.show();
  QApplication::processEvents();
  PaintedRegion painted;
  view.viewport()->installEventFilter(&painted);
  const int groups = model.rowCount();
  ASSERT_EQ(groups, 301);

  QScrollBar& bar = *view.verticalScrollBar();
  auto openGroupsInView = [&] {
    QApplication::processEvents();
    for (QModelIndex index = view.indexAt(QPoint(0, 0)); index.isValid();
         index = view.indexBelow(index)) {
      if (view.visualRect(index).top() > view.viewport()->height())
        break;
      if (!index.parent().isValid())
        view.expand(index);
    }
  };
  auto groupRowsInView = [&] {
    int rows = 0;
    for (QModelIndex index = view.indexAt(QPoint(0, 0)); index.isValid();
         index = view.indexBelow(index)) {
      if (view.visualRect(index).top() > view.viewport()->height())
        break;
      rows += index.parent().isValid() ? 0 : 1;
    }
    return rows;
  };
  // Checks the helpers at one place of the list.
  auto check = [&](const char* where, const std::function<void()>& place) {
    SCOPED_TRACE(where);
    place();
    QApplication::processEvents();
    QModelIndex file;
    for (QModelIndex index = view.indexAt(QPoint(0, 0)); index.isValid() && !file.isValid();
         index = view.indexBelow(index))
      if (index.parent().isValid())
        file = index;
    ASSERT_TRUE(file.isValid());
    view.setCurrentIndex(file);
    view.selectionModel()->select(file,
                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QApplication::processEvents();
    const int scroll = view.verticalScrollBar()->value();
    std::vector<bool> open;
    for (int row = 0; row < groups; ++row)
      open.push_back(view.isExpanded(model.index(row, 0)));
    const QModelIndexList selected = view.selectionModel()->selectedRows();

    for (const std::function<void()>& helper : std::vector<std::function<void()>>{
             [&] { actions.keep(KeepRule::Newest); }, [&] { actions.keep(KeepRule::Oldest); },
             [&] { actions.untickAll(); }}) {
      painted.region = {};
      helper();
      QApplication::processEvents();
      for (QModelIndex index = view.indexAt(QPoint(0, 0)); index.isValid();
           index = view.indexBelow(index)) {
        const QRect box = view.visualRect(index) & view.viewport()->rect();
        if (box.isEmpty())
          break;
        if (index.parent().isValid()) {
          EXPECT_TRUE(painted.region.contains(box))
              << "file row " << index.row() << " of group " << index.parent().row();
        }
      }
      EXPECT_EQ(view.verticalScrollBar()->value(), scroll);
      EXPECT_EQ(view.currentIndex(), file);
      EXPECT_EQ(view.selectionModel()->selectedRows(), selected);
      for (int row = 0; row < groups; ++row)
        ASSERT_EQ(view.isExpanded(model.index(row, 0)), open[row]) << "group " << row;
    }
    // Inverting an open group in view repaints its heading too: it may have turned red.
    for (QModelIndex index = view.indexAt(QPoint(0, 0)); index.isValid();
         index = view.indexBelow(index)) {
      const QRect heading = view.visualRect(index) & view.viewport()->rect();
      if (heading.isEmpty())
        break;
      if (index.parent().isValid() || !view.isExpanded(index))
        continue;
      painted.region = {};
      actions.invertGroupAt(model.index(0, 0, index));
      QApplication::processEvents();
      EXPECT_TRUE(painted.region.contains(heading)) << "group " << index.row();
      EXPECT_TRUE(model.data(index).toString().endsWith(kAllCopiesTickedMark));
      actions.invertGroupAt(model.index(0, 0, index));
      break;
    }
  };
  check("middle", [&] {
    bar.setValue(bar.maximum() / 2);
    openGroupsInView();
    EXPECT_GT(groupRowsInView(), 2);
  });
  // Nothing but files of the last group in view: no group row lies below them.
  check("end", [&] {
    view.expand(model.index(groups - 1, 0));
    QApplication::processEvents();
    bar.setValue(bar.maximum());
    EXPECT_EQ(groupRowsInView(), 0);
  });
}

// Ctrl+A, now GridActions' (the view's own took seconds for tens of thousands of open groups:
// bench/desktop_grid.sh), selects exactly what the tree view's selectAll selects: the group rows
// and the files of the open groups, one range per open group and one for the group rows.
TEST(FileGridModel, CtrlASelectsEveryShownRowInOneRangePerOpenGroup) {
  test::FakeView fakeView;
  MemorySettings settings;
  DuplicateFinder core(fakeView, settings);
  core.setUpGrid();
  ReportGrid& grid = core.grid();
  FileGridModel model(grid);
  QWidget owner;
  QTreeView view(&owner);
  view.setSelectionMode(QAbstractItemView::ExtendedSelection);
  view.setModel(&model);
  GridActions actions(core, model, view, &owner);
  for (int k = 0; k < 90; ++k) {
    const RecordId record = grid.addRecord();
    grid.addItem(record, GridValue::text("/d" + std::to_string(k % 3) + "/"));
    grid.setCheckbox(record, true);
    grid.addItem(record, GridValue::text("n" + std::to_string(k / 3)));
  }
  grid.rebuildRows();
  for (int row = 0; row < model.rowCount(); row += 2)
    view.expand(model.index(row, 0));
  owner.show();
  QApplication::processEvents();

  view.selectAll();
  const QModelIndexList byView = view.selectionModel()->selectedIndexes();
  view.clearSelection();
  QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
  const QModelIndexList byKey = view.selectionModel()->selectedIndexes();
  EXPECT_EQ(std::set<QModelIndex>(byKey.begin(), byKey.end()),
            std::set<QModelIndex>(byView.begin(), byView.end()));
  // 30 group rows, 15 of them open with 3 files each; every column.
  EXPECT_EQ(byKey.size(), (30 + 15 * 3) * model.columnCount());
  EXPECT_EQ(view.selectionModel()->selection().size(), 1 + 15);
}

} // namespace
} // namespace zandrex::desktop
