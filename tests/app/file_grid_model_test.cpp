// The Qt model over the engine's grid: group rows with their files as children, tick boxes that
// write the grid, row positions both ways, the model tester's rules, and a million rows.
#include "file_grid_model.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <gtest/gtest.h>
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

} // namespace
} // namespace zandrex::desktop
