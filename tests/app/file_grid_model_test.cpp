#include "file_grid_model.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace zandrex::desktop {
namespace {

constexpr int kPathColumn = 0;
constexpr int kNameColumn = 1;
constexpr int kSizeColumn = 2;

// Collects what the model tester reports; it reports through qWarning in Warning mode.
class TesterMessages {
public:
  TesterMessages() { previous_ = qInstallMessageHandler(&TesterMessages::handle); }
  ~TesterMessages() { qInstallMessageHandler(previous_); }
  static std::vector<std::string>& messages() {
    static std::vector<std::string> all;
    return all;
  }

private:
  static void handle(QtMsgType, const QMessageLogContext& context, const QString& text) {
    if (context.category && std::string(context.category) == "qt.modeltest")
      messages().push_back(text.toStdString());
  }
  QtMessageHandler previous_;
};

struct FileGrid {
  ReportGrid grid;
  FileGrid() {
    grid.addColumn(kPathColumn, "Path", 300, true);
    grid.addColumn(kNameColumn, "File", 220, true);
    grid.addColumn(kSizeColumn, "Size", 120, true);
  }
  RecordId add(const std::string& folder, const std::string& name, double size) {
    RecordId record = grid.addRecord();
    grid.addItem(record, GridValue::text(folder));
    grid.setCheckbox(record, true);
    grid.addItem(record, GridValue::text(name));
    grid.addItem(record, GridValue::number(size));
    return record;
  }
};

TEST(FileGridModel, PassesTheModelTesterThroughRebuildsRegroupingAndClearing) {
  TesterMessages::messages().clear();
  TesterMessages capture;
  FileGrid files;
  FileGridModel model(files.grid);
  model.refresh();
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);

  files.add("/a/", "x.txt", 10);
  files.add("/b/", "x.txt", 10);
  files.add("/c/", "y.txt", 5);
  files.grid.groupOrderAdd(kSizeColumn);
  files.grid.rebuildRows();
  files.grid.groupOrderClear();
  files.grid.rebuildRows();
  files.grid.groupOrderAdd(kNameColumn);
  files.grid.rebuildRows();
  model.setData(model.index(0, 0, model.index(0, 0)), Qt::Checked, Qt::CheckStateRole);
  files.grid.removeAt(0);
  files.grid.rebuildRows();
  files.grid.deleteAll();
  EXPECT_TRUE(TesterMessages::messages().empty()) << TesterMessages::messages().front();
}

TEST(FileGridModel, GroupRowsAreTopLevelWithTheirFilesAsChildren) {
  FileGrid files;
  FileGridModel model(files.grid);
  model.setGroupHeading([](const ReportGrid& grid, std::size_t position) {
    return "Size: " + grid.groupKey(position).displayText();
  });
  files.add("/a/", "x.txt", 10);
  files.add("/c/", "y.txt", 5);
  files.add("/b/", "z.txt", 10);
  files.grid.groupOrderAdd(kSizeColumn);
  QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
  files.grid.rebuildRows();
  EXPECT_EQ(resets.count(), 1);

  ASSERT_EQ(model.columnCount(), 3);
  ASSERT_EQ(model.rowCount(), 2);
  EXPECT_TRUE(model.grouped());
  const QModelIndex five = model.index(0, 0);
  const QModelIndex ten = model.index(1, 0);
  EXPECT_EQ(model.data(five).toString(), "Size: 5");
  EXPECT_EQ(model.data(ten).toString(), "Size: 10");
  EXPECT_EQ(model.data(model.index(1, kNameColumn)).toString(), "");
  ASSERT_EQ(model.rowCount(ten), 2);
  EXPECT_EQ(model.rowCount(model.index(0, 0, ten)), 0);

  const QModelIndex second = model.index(1, kNameColumn, ten);
  EXPECT_EQ(model.data(second).toString(), "z.txt");
  EXPECT_EQ(model.data(model.index(1, kSizeColumn, ten)).toString(), "10");
  EXPECT_EQ(model.data(model.index(1, kSizeColumn, ten), Qt::TextAlignmentRole).value<int>(),
            int(Qt::AlignRight | Qt::AlignVCenter));
  EXPECT_EQ(model.data(model.index(0, kPathColumn, ten)).toString(), "/a/");
  EXPECT_EQ(model.parent(second), ten);
  EXPECT_EQ(model.headerData(kSizeColumn, Qt::Horizontal).toString(), "Size");

  // Row positions: group 5 at 0, its file at 1, group 10 at 2, its files at 3 and 4.
  EXPECT_EQ(model.rowPosition(ten), 2u);
  EXPECT_EQ(model.rowPosition(second), 4u);
  for (std::size_t position = 0; position < files.grid.rowCount(); ++position)
    EXPECT_EQ(model.rowPosition(model.indexOfRow(position)), position);
  EXPECT_FALSE(model.indexOfRow(5).isValid());
}

TEST(FileGridModel, TickBoxesOfFileRowsWriteTheGrid) {
  FileGrid files;
  FileGridModel model(files.grid);
  RecordId first = files.add("/a/", "x.txt", 1);
  files.add("/b/", "x.txt", 1);
  files.grid.groupOrderAdd(kNameColumn);
  files.grid.rebuildRows();

  const QModelIndex group = model.index(0, 0);
  const QModelIndex file = model.index(0, 0, group);
  EXPECT_FALSE(model.flags(group) & Qt::ItemIsUserCheckable);
  EXPECT_FALSE(model.data(group, Qt::CheckStateRole).isValid());
  EXPECT_TRUE(model.flags(file) & Qt::ItemIsUserCheckable);
  EXPECT_FALSE(model.flags(model.index(0, kNameColumn, group)) & Qt::ItemIsUserCheckable);
  EXPECT_EQ(model.data(file, Qt::CheckStateRole).toInt(), Qt::Unchecked);

  QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
  EXPECT_TRUE(model.setData(file, Qt::Checked, Qt::CheckStateRole));
  EXPECT_TRUE(files.grid.ticked(first));
  EXPECT_EQ(model.data(file, Qt::CheckStateRole).toInt(), Qt::Checked);
  EXPECT_EQ(changes.count(), 1);
  EXPECT_TRUE(model.setData(file, Qt::Unchecked, Qt::CheckStateRole));
  EXPECT_FALSE(files.grid.ticked(first));
  EXPECT_FALSE(model.setData(group, Qt::Checked, Qt::CheckStateRole));
  EXPECT_FALSE(model.setData(file, "text", Qt::EditRole));
}

TEST(FileGridModel, UngroupedRowsAreAllTopLevel) {
  FileGrid files;
  FileGridModel model(files.grid);
  files.add("/a/", "x.txt", 1);
  files.add("/b/", "y.txt", 2);
  files.grid.rebuildRows();
  EXPECT_FALSE(model.grouped());
  ASSERT_EQ(model.rowCount(), 2);
  EXPECT_FALSE(model.hasChildren(model.index(0, 0)));
  EXPECT_EQ(model.data(model.index(1, kNameColumn)).toString(), "y.txt");
  EXPECT_EQ(model.data(model.index(1, 0), Qt::CheckStateRole).toInt(), Qt::Unchecked);
}

TEST(FileGridModel, HoldsAMillionRows) {
  constexpr int kFiles = 1'000'000;
  FileGrid files;
  FileGridModel model(files.grid);
  for (int k = 0; k < kFiles; ++k)
    files.add("/data/", "f" + std::to_string(k), k / 2);
  files.grid.groupOrderAdd(kSizeColumn);
  files.grid.rebuildRows();

  ASSERT_EQ(model.rowCount(), kFiles / 2);
  const QModelIndex last = model.index(kFiles / 2 - 1, 0);
  ASSERT_EQ(model.rowCount(last), 2);
  EXPECT_EQ(model.data(model.index(1, kNameColumn, last)).toString(), "f999999");
  EXPECT_EQ(model.rowPosition(model.index(1, 0, last)), files.grid.rowCount() - 1);
  EXPECT_EQ(model.indexOfRow(files.grid.rowCount() - 1), model.index(1, 0, last));
}

} // namespace
} // namespace zandrex::desktop
