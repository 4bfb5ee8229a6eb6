#include "grid/report_grid.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace zandrex {
namespace {

constexpr int kPathColumn = 0;
constexpr int kNameColumn = 1;
constexpr int kSizeColumn = 2;

// A grid with the three columns path, name and size.
class GridTest : public ::testing::Test {
protected:
  void SetUp() override {
    grid.addColumn(kPathColumn, "Path", 200, true);
    grid.addColumn(kNameColumn, "File", 100, true);
    grid.addColumn(kSizeColumn, "Size", 60, true);
  }

  RecordId add(const std::string& path, const std::string& name, double size) {
    const RecordId record = grid.addRecord();
    grid.addItem(record, GridValue::text(path));
    grid.addItem(record, GridValue::text(name));
    grid.addItem(record, GridValue::number(size));
    return record;
  }

  std::string name(RecordId record) const { return std::string(grid.item(record, 1).asText()); }

  // The rows as text: "[key]" for a group row, the file name for a file row.
  std::vector<std::string> layout() const {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < grid.rowCount(); ++i) {
      const GridRow& row = grid.row(i);
      out.push_back(row.isGroup() ? "[" + grid.groupKey(i).displayText() + "]" : name(row.record));
    }
    return out;
  }

  std::vector<std::string> liveNames() const {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < grid.recordCount(); ++i)
      out.push_back(name(grid.recordAt(i)));
    return out;
  }

  ReportGrid grid;
};

using Names = std::vector<std::string>;

TEST(GridValueTest, DisplayTextAndOrder) {
  EXPECT_EQ(GridValue::number(1048576).displayText(), "1048576");
  EXPECT_EQ(GridValue::number(2048.0).displayText(), "2048");
  EXPECT_EQ(GridValue::number(0).displayText(), "0");
  EXPECT_EQ(GridValue::number(-3).displayText(), "-3");
  EXPECT_EQ(GridValue::number(0.5).displayText(), "0.5");
  EXPECT_EQ(GridValue::number(999999999999999).displayText(), "999999999999999");
  EXPECT_EQ(GridValue::text("a b").displayText(), "a b");
  EXPECT_EQ(GridValue().displayText(), "");

  EXPECT_LT(compare(GridValue(), GridValue::number(-1)), 0);
  EXPECT_LT(compare(GridValue::number(1e300), GridValue::text("")), 0);
  EXPECT_LT(compare(GridValue::number(9), GridValue::number(10)), 0);
  EXPECT_GT(compare(GridValue::text("9"), GridValue::text("10")), 0);
  // Bytewise: a byte above 0x7f sorts after ASCII.
  EXPECT_GT(compare(GridValue::text("\xc3\xa9"), GridValue::text("z")), 0);
  EXPECT_EQ(compare(GridValue::text("x"), GridValue::text("x")), 0);
}

TEST_F(GridTest, GroupsNumbersNumericallyAndTextsBytewise) {
  add("/a/", "ten", 10);
  add("/a/", "nine", 9);
  add("/a/", "ten again", 10);
  grid.groupOrderAdd(kSizeColumn);
  grid.rebuildRows();
  EXPECT_EQ(layout(), (Names{"[9]", "nine", "[10]", "ten", "ten again"}));

  grid.deleteAll();
  add("/a/", "10", 0);
  add("/a/", "9", 0);
  grid.groupOrderClear();
  grid.groupOrderAdd(kNameColumn);
  grid.rebuildRows();
  EXPECT_EQ(layout(), (Names{"[10]", "10", "[9]", "9"}));
}

TEST_F(GridTest, EmptyGroupOrderGivesFlatRowsInRecordOrder) {
  add("/b/", "z", 1);
  add("/a/", "y", 2);
  add("/c/", "x", 3);
  grid.rebuildRows();
  EXPECT_EQ(layout(), (Names{"z", "y", "x"}));
  for (std::size_t i = 0; i < grid.rowCount(); ++i) {
    EXPECT_FALSE(grid.row(i).isGroup());
    EXPECT_EQ(grid.row(i).childCount, 0u);
  }
}

TEST_F(GridTest, RowLayoutAndCompositeGroupOrder) {
  add("/1/", "b", 5);
  add("/2/", "a", 5);
  add("/3/", "b", 7);
  add("/4/", "b", 5);
  add("/5/", "a", 5);
  grid.groupOrderAdd(kNameColumn);
  grid.rebuildRows();
  EXPECT_EQ(layout(), (Names{"[a]", "a", "a", "[b]", "b", "b", "b"}));
  ASSERT_EQ(grid.rowCount(), 7u);
  EXPECT_EQ(grid.row(0).childCount, 2u);
  EXPECT_EQ(grid.row(3).childCount, 3u);
  // Files within a group stay in record order.
  EXPECT_EQ(grid.item(grid.row(4).record, kPathColumn).asText(), "/1/");
  EXPECT_EQ(grid.item(grid.row(5).record, kPathColumn).asText(), "/3/");
  EXPECT_EQ(grid.item(grid.row(6).record, kPathColumn).asText(), "/4/");

  // Name and size together: b/5 and b/7 split, the key shown is the first column's.
  grid.groupOrderAdd(kSizeColumn);
  grid.rebuildRows();
  EXPECT_EQ(layout(), (Names{"[a]", "a", "a", "[b]", "b", "b", "[b]", "b"}));
  EXPECT_EQ(grid.row(3).childCount, 2u);
  EXPECT_EQ(grid.item(grid.row(7).record, kSizeColumn).asNumber(), 7);
  EXPECT_TRUE(grid.groupKey(1).kind() == GridValue::Kind::Empty);
}

TEST_F(GridTest, IndicesRenumberAfterRemovalAndRowsStayStale) {
  for (const char* n : {"a", "b", "c", "d", "e"})
    add("/p/", n, 1);
  grid.rebuildRows();
  const RecordId c = grid.recordAt(2);
  grid.removeAt(1);
  EXPECT_EQ(grid.recordCount(), 4u);
  EXPECT_EQ(liveNames(), (Names{"a", "c", "d", "e"}));
  EXPECT_EQ(grid.recordIndex(c), 1u);
  EXPECT_EQ(grid.recordAt(4), kNoRecord);
  grid.removeAt(3);
  grid.removeAt(0);
  EXPECT_EQ(liveNames(), (Names{"c", "d"}));
  grid.removeAt(7); // out of range: nothing happens
  EXPECT_EQ(grid.recordCount(), 2u);

  // Rows still show every record, removed ones with their data, until the rebuild.
  EXPECT_EQ(layout(), (Names{"a", "b", "c", "d", "e"}));
  EXPECT_FALSE(grid.isLive(grid.row(1).record));
  EXPECT_TRUE(grid.isLive(grid.row(2).record));
  grid.rebuildRows();
  EXPECT_EQ(layout(), (Names{"c", "d"}));
  EXPECT_EQ(liveNames(), (Names{"c", "d"}));
  EXPECT_EQ(grid.recordIndex(grid.row(1).record), 1u);
}

// Removes the record of every single-child group, reading its index at removal time.
void pruneSingles(ReportGrid& grid) {
  for (std::size_t i = 0; i < grid.rowCount(); ++i) {
    const GridRow& row = grid.row(i);
    if (row.isGroup() && row.childCount == 1)
      grid.removeAt(grid.recordIndex(grid.row(i + 1).record));
  }
}

TEST_F(GridTest, PruningRemovesSingleChildGroupsByCurrentIndex) {
  // Records interleave groups so that record order differs from row order.
  add("/1/", "C", 1);
  add("/2/", "A", 1);
  add("/3/", "B", 1);
  add("/4/", "C", 1);
  add("/5/", "A", 1);
  add("/6/", "C", 1);
  grid.groupOrderAdd(kNameColumn);
  grid.rebuildRows();
  ASSERT_EQ(layout(), (Names{"[A]", "A", "A", "[B]", "B", "[C]", "C", "C", "C"}));
  const RecordId b = grid.row(4).record;
  EXPECT_EQ(grid.recordIndex(b), 2u);
  pruneSingles(grid);
  EXPECT_FALSE(grid.isLive(b));
  EXPECT_EQ(grid.recordCount(), 5u);
  grid.rebuildRows();
  EXPECT_EQ(layout(), (Names{"[A]", "A", "A", "[C]", "C", "C", "C"}));
}

TEST_F(GridTest, PruningTwoConsecutiveSingleGroups) {
  add("/1/", "D", 1);
  add("/2/", "B", 1);
  add("/3/", "A", 1);
  add("/4/", "C", 1);
  add("/5/", "A", 1);
  add("/6/", "D", 1);
  grid.groupOrderAdd(kNameColumn);
  grid.rebuildRows();
  ASSERT_EQ(layout(), (Names{"[A]", "A", "A", "[B]", "B", "[C]", "C", "[D]", "D", "D"}));
  pruneSingles(grid);
  // The second removal's index was read after the first renumbered the records.
  EXPECT_EQ(liveNames(), (Names{"D", "A", "A", "D"}));
  grid.rebuildRows();
  EXPECT_EQ(layout(), (Names{"[A]", "A", "A", "[D]", "D", "D"}));
}

TEST_F(GridTest, PruningAtScale) {
  // Group g has (g % 3) + 1 files, records spread round-robin so removals hit all over.
  constexpr int kGroups = 100000; // about 200,000 records
  constexpr int kMaxChildren = 3;
  std::vector<int> children(kGroups);
  int total = 0;
  int singles = 0;
  for (int g = 0; g < kGroups; ++g) {
    total += children[g] = g % kMaxChildren + 1;
    singles += children[g] == 1;
  }
  for (int round = 0; round < kMaxChildren; ++round)
    for (int g = 0; g < kGroups; ++g)
      if (children[g] > round)
        add("/d" + std::to_string(round) + "/", "f", g);
  ASSERT_EQ(grid.recordCount(), static_cast<std::size_t>(total));
  grid.groupOrderAdd(kSizeColumn);
  grid.rebuildRows();
  ASSERT_EQ(grid.rowCount(), static_cast<std::size_t>(total + kGroups));

  pruneSingles(grid);
  EXPECT_EQ(grid.recordCount(), static_cast<std::size_t>(total - singles));
  grid.rebuildRows();
  ASSERT_EQ(grid.rowCount(), static_cast<std::size_t>(total - singles + kGroups - singles));
  double previousKey = -1;
  for (std::size_t i = 0; i < grid.rowCount(); i += grid.row(i).childCount + 1) {
    ASSERT_TRUE(grid.row(i).isGroup());
    const double key = grid.groupKey(i).asNumber();
    ASSERT_GT(key, previousKey);
    ASSERT_EQ(grid.row(i).childCount, static_cast<std::uint32_t>(children[static_cast<int>(key)]));
    ASSERT_GT(grid.row(i).childCount, 1u);
    for (std::uint32_t c = 1; c <= grid.row(i).childCount; ++c)
      ASSERT_EQ(grid.item(grid.row(i + c).record, kPathColumn).asText(),
                "/d" + std::to_string(c - 1) + "/");
    previousKey = key;
  }
}

TEST_F(GridTest, TicksFactsAndDiskNamesSurviveCompaction) {
  for (int i = 0; i < 6; ++i) {
    const RecordId r = add("/p/", "n" + std::to_string(i), i);
    grid.setCheckbox(r, i % 2 == 0);
    grid.setTicked(r, i % 3 == 0);
    FileFacts facts;
    facts.inode = 100 + i;
    grid.setFacts(r, facts, i == 4 ? "N4" : "");
  }
  // Drop most records so the text pool is mostly garbage and gets compacted too.
  grid.removeAt(5);
  grid.removeAt(3);
  grid.removeAt(2);
  grid.removeAt(1);
  grid.rebuildRows();
  ASSERT_EQ(liveNames(), (Names{"n0", "n4"}));
  const RecordId n0 = grid.recordAt(0);
  const RecordId n4 = grid.recordAt(1);
  EXPECT_TRUE(grid.hasCheckbox(n0));
  EXPECT_TRUE(grid.ticked(n0));
  EXPECT_TRUE(grid.hasCheckbox(n4));
  EXPECT_FALSE(grid.ticked(n4));
  EXPECT_EQ(grid.facts(n0).inode, 100u);
  EXPECT_EQ(grid.facts(n4).inode, 104u);
  EXPECT_EQ(grid.diskName(n0), "");
  EXPECT_EQ(grid.diskName(n4), "N4");
  EXPECT_EQ(grid.item(n4, kPathColumn).asText(), "/p/");
  EXPECT_EQ(grid.item(n4, kSizeColumn).asNumber(), 4);
}

TEST_F(GridTest, InternedColumnKeepsValuesThroughWritesAndCompaction) {
  grid.setColumnInterned(kPathColumn, true);
  const RecordId a = add("/shared/", "a", 1);
  const RecordId b = add("/shared/", "b", 2);
  add("/other/", "c", 3);
  // One stored copy: both items view the same bytes.
  EXPECT_EQ(grid.item(a, kPathColumn).asText().data(), grid.item(b, kPathColumn).asText().data());
  EXPECT_NE(grid.item(a, kNameColumn).asText().data(), grid.item(b, kNameColumn).asText().data());

  // b's name copied from a's while the pool grows; then a goes and the pool is compacted.
  for (int i = 0; i < 100; ++i)
    grid.setItem(b, kNameColumn, grid.item(a, kNameColumn));
  grid.setItem(a, kNameColumn, GridValue::text(std::string(1000, 'x')));
  grid.removeAt(0);
  grid.rebuildRows();
  ASSERT_EQ(grid.recordCount(), 2u);
  EXPECT_EQ(grid.item(grid.recordAt(0), kPathColumn).asText(), "/shared/");
  EXPECT_EQ(grid.item(grid.recordAt(0), kNameColumn).asText(), "a");
  EXPECT_EQ(grid.item(grid.recordAt(1), kPathColumn).asText(), "/other/");
  const RecordId d = add("/shared/", "d", 4);
  EXPECT_EQ(grid.item(d, kPathColumn).asText().data(),
            grid.item(grid.recordAt(0), kPathColumn).asText().data());
}

TEST_F(GridTest, ItemSlotsAndColumnsAddedLater) {
  const RecordId r = add("/p/", "n", 1);
  grid.addItem(r, GridValue::text("ignored: no fourth column"));
  EXPECT_EQ(grid.item(r, 3).kind(), GridValue::Kind::Empty);
  grid.addColumn(4, "Hidden", 0, false);
  EXPECT_EQ(grid.columnCount(), 5);
  EXPECT_EQ(grid.column(4).caption, "Hidden");
  EXPECT_EQ(grid.item(r, kSizeColumn).asNumber(), 1);
  grid.setItem(r, 4, GridValue::number(7));
  EXPECT_EQ(grid.item(r, 4).asNumber(), 7);
  // addItem goes on from where it stopped: slot 3.
  grid.addItem(r, GridValue::text("fourth"));
  EXPECT_EQ(grid.item(r, 3).asText(), "fourth");
}

TEST_F(GridTest, SetItemLeavesGroupingStaleUntilRebuild) {
  add("/1/", "a", 1);
  const RecordId moved = add("/2/", "a", 1);
  add("/3/", "b", 1);
  grid.groupOrderAdd(kNameColumn);
  grid.rebuildRows();
  grid.setItem(moved, kNameColumn, GridValue::text("b"));
  EXPECT_EQ(layout(), (Names{"[a]", "a", "b", "[b]", "b"}));
  EXPECT_EQ(grid.row(0).childCount, 2u);
  grid.rebuildRows();
  EXPECT_EQ(layout(), (Names{"[a]", "a", "[b]", "b", "b"}));
}

TEST_F(GridTest, DeleteAllAndCallbacksAroundRowChanges) {
  std::vector<std::string> calls;
  grid.onBeforeRowsChange = [&] { calls.push_back("before:" + std::to_string(grid.rowCount())); };
  grid.onAfterRowsChange = [&] { calls.push_back("after:" + std::to_string(grid.rowCount())); };
  add("/p/", "a", 1);
  add("/p/", "b", 1);
  grid.rebuildRows();
  grid.setRowExpanded(0, false);
  EXPECT_FALSE(grid.row(0).expanded);
  grid.removeAt(0);
  EXPECT_TRUE(calls.size() == 2u); // removals do not touch the rows
  grid.deleteAll();
  EXPECT_EQ(grid.recordCount(), 0u);
  EXPECT_EQ(grid.rowCount(), 0u);
  EXPECT_EQ(grid.columnCount(), 3); // columns stay
  EXPECT_EQ(calls, (Names{"before:0", "after:2", "before:2", "after:0"}));

  add("/q/", "c", 1);
  grid.rebuildRows();
  EXPECT_EQ(layout(), (Names{"c"}));
  EXPECT_EQ(grid.item(grid.recordAt(0), kPathColumn).asText(), "/q/");
}

} // namespace
} // namespace zandrex
