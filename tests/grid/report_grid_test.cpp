#include "grid/report_grid.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace zandrex {
namespace {

constexpr int kPathColumn = 0;
constexpr int kNameColumn = 1;
constexpr int kSizeColumn = 2;

using Names = std::vector<std::string>;

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
  // Records named in this order, in folders "/1/", "/2/"..., grouped by name.
  void addGroupedByName(const Names& names) {
    for (std::size_t i = 0; i < names.size(); ++i)
      add("/" + std::to_string(i + 1) + "/", names[i], 1);
    grid.groupOrderAdd(kNameColumn);
    grid.rebuildRows();
  }

  std::string name(RecordId record) const { return std::string(grid.item(record, 1).asText()); }
  std::string path(RecordId record) const {
    return std::string(grid.item(record, kPathColumn).asText());
  }

  // The rows as text: "[key]" for a group row, the file name for a file row.
  Names layout() const {
    Names out;
    for (std::size_t i = 0; i < grid.rowCount(); ++i) {
      const GridRow& row = grid.row(i);
      out.push_back(row.isGroup() ? "[" + grid.groupKey(i).displayText() + "]" : name(row.record));
    }
    return out;
  }
  Names liveNames() const {
    Names out;
    for (std::size_t i = 0; i < grid.recordCount(); ++i)
      out.push_back(name(grid.recordAt(i)));
    return out;
  }

  ReportGrid grid;
};

TEST(GridValueTest, DisplayTextAndOrder) {
  const std::pair<GridValue, const char*> texts[] = {
      {GridValue::number(1048576), "1048576"},
      {GridValue::number(2048.0), "2048"},
      {GridValue::number(0), "0"},
      {GridValue::number(-3), "-3"},
      {GridValue::number(0.5), "0.5"},
      {GridValue::number(999999999999999), "999999999999999"},
      {GridValue::text("a b"), "a b"},
      {GridValue(), ""}};
  for (const auto& [value, text] : texts)
    EXPECT_EQ(value.displayText(), text);

  EXPECT_LT(compare(GridValue(), GridValue::number(-1)), 0);
  EXPECT_LT(compare(GridValue::number(1e300), GridValue::text("")), 0);
  EXPECT_LT(compare(GridValue::number(9), GridValue::number(10)), 0);
  EXPECT_GT(compare(GridValue::text("9"), GridValue::text("10")), 0);
  // Bytewise: a byte above 0x7f sorts after ASCII.
  EXPECT_GT(compare(GridValue::text("\xc3\xa9"), GridValue::text("z")), 0);
  EXPECT_EQ(compare(GridValue::text("x"), GridValue::text("x")), 0);
}

TEST_F(GridTest, GroupsNumbersNumericallyAndTextsBytewiseAndNoOrderGivesFlatRows) {
  add("/a/", "ten", 10);
  add("/a/", "nine", 9);
  add("/a/", "ten again", 10);
  grid.rebuildRows();
  EXPECT_EQ(layout(), (Names{"ten", "nine", "ten again"}));
  EXPECT_FALSE(grid.row(0).isGroup());
  EXPECT_EQ(grid.row(0).childCount, 0u);
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

TEST_F(GridTest, RowLayoutAndCompositeGroupOrder) {
  add("/1/", "b", 5);
  add("/2/", "a", 5);
  add("/3/", "b", 7);
  add("/4/", "b", 5);
  add("/5/", "a", 5);
  grid.groupOrderAdd(kNameColumn);
  grid.rebuildRows();
  EXPECT_EQ(layout(), (Names{"[a]", "a", "a", "[b]", "b", "b", "b"}));
  EXPECT_EQ(grid.row(0).childCount, 2u);
  EXPECT_EQ(grid.row(3).childCount, 3u);
  // Files within a group stay in record order.
  EXPECT_EQ(path(grid.row(4).record) + path(grid.row(5).record) + path(grid.row(6).record),
            "/1//3//4/");

  // Name and size together: b/5 and b/7 split, the key shown is the first column's.
  grid.groupOrderAdd(kSizeColumn);
  grid.rebuildRows();
  EXPECT_EQ(layout(), (Names{"[a]", "a", "a", "[b]", "b", "b", "[b]", "b"}));
  EXPECT_EQ(grid.row(3).childCount, 2u);
  EXPECT_EQ(grid.item(grid.row(7).record, kSizeColumn).asNumber(), 7);
  EXPECT_TRUE(grid.groupKey(1).kind() == GridValue::Kind::Empty);
}

TEST_F(GridTest, IndicesRenumberAfterRemovalAndRowsStayStaleUntilTheRebuild) {
  for (const char* n : {"a", "b", "c", "d", "e"})
    add("/p/", n, 1);
  grid.rebuildRows();
  const RecordId c = grid.recordAt(2);
  grid.removeAt(1);
  EXPECT_EQ(liveNames(), (Names{"a", "c", "d", "e"}));
  EXPECT_EQ(grid.recordIndex(c), 1u);
  EXPECT_EQ(grid.recordAt(4), kNoRecord);
  grid.removeAt(3);
  grid.removeAt(0);
  grid.removeAt(7); // out of range: nothing happens
  EXPECT_EQ(liveNames(), (Names{"c", "d"}));

  // Rows still show every record, removed ones with their data, until the rebuild.
  EXPECT_EQ(layout(), (Names{"a", "b", "c", "d", "e"}));
  EXPECT_FALSE(grid.isLive(grid.row(1).record));
  EXPECT_TRUE(grid.isLive(grid.row(2).record));
  grid.rebuildRows();
  EXPECT_EQ(layout(), (Names{"c", "d"}));
  EXPECT_EQ(grid.recordIndex(grid.row(1).record), 1u);

  // So does the grouping after an item write.
  grid.deleteAll();
  addGroupedByName({"a", "a", "b"});
  grid.setItem(grid.recordAt(1), kNameColumn, GridValue::text("b"));
  EXPECT_EQ(layout(), (Names{"[a]", "a", "b", "[b]", "b"}));
  EXPECT_EQ(grid.row(0).childCount, 2u);
  grid.rebuildRows();
  EXPECT_EQ(layout(), (Names{"[a]", "a", "[b]", "b", "b"}));
}

TEST_F(GridTest, RemovalsAllOverAtScale) {
  // Group g has (g % 3) + 1 files, records spread round-robin; the single files go, each at
  // the index it has after the removals before it.
  constexpr int kGroups = 100000; // about 200,000 records
  constexpr int kMaxChildren = 3;
  const auto children = [](int group) { return group % kMaxChildren + 1; };
  std::size_t total = 0;
  std::vector<RecordId> singles;
  for (int round = 0; round < kMaxChildren; ++round)
    for (int g = 0; g < kGroups; ++g)
      if (children(g) > round) {
        const RecordId record = add("/d" + std::to_string(round) + "/", "f", g);
        if (children(g) == 1)
          singles.push_back(record);
        ++total;
      }
  grid.groupOrderAdd(kSizeColumn);
  grid.rebuildRows();
  for (const RecordId single : singles)
    grid.removeAt(grid.recordIndex(single));
  EXPECT_EQ(grid.recordCount(), total - singles.size());
  grid.rebuildRows();

  double previousKey = -1;
  std::size_t groups = 0;
  for (std::size_t i = 0; i < grid.rowCount(); i += grid.row(i).childCount + 1, ++groups) {
    ASSERT_TRUE(grid.row(i).isGroup());
    const double key = grid.groupKey(i).asNumber();
    ASSERT_GT(key, previousKey);
    ASSERT_EQ(grid.row(i).childCount, static_cast<std::uint32_t>(children(static_cast<int>(key))));
    ASSERT_GT(grid.row(i).childCount, 1u);
    for (std::uint32_t c = 1; c <= grid.row(i).childCount; ++c)
      ASSERT_EQ(path(grid.row(i + c).record), "/d" + std::to_string(c - 1) + "/");
    previousKey = key;
  }
  EXPECT_EQ(groups, kGroups - singles.size());
}

TEST_F(GridTest, TicksFactsAndDiskNamesSurviveCompaction) {
  for (int i = 0; i < 6; ++i) {
    const RecordId r = add("/p/", "n" + std::to_string(i), i);
    grid.setCheckbox(r, i % 2 == 0);
    grid.setTicked(r, i % 3 == 0);
    FileFacts facts;
    facts.inode = 100 + i;
    facts.device = i == 4 ? 7 : 0x1234567890ull;
    facts.mtimeSec = -5 + i;
    facts.mtimeNsec = 999999999;
    grid.setFacts(r, facts, i == 4 ? "N4" : "");
  }
  // Drop most records so the text pool is mostly garbage and gets compacted too.
  for (int index : {5, 3, 2, 1})
    grid.removeAt(index);
  grid.rebuildRows();
  ASSERT_EQ(liveNames(), (Names{"n0", "n4"}));
  const RecordId n0 = grid.recordAt(0);
  const RecordId n4 = grid.recordAt(1);
  EXPECT_TRUE(grid.hasCheckbox(n0) && grid.ticked(n0));
  EXPECT_TRUE(grid.hasCheckbox(n4));
  EXPECT_FALSE(grid.ticked(n4));
  EXPECT_EQ(grid.facts(n0).inode, 100u);
  EXPECT_EQ(grid.facts(n4).inode, 104u);
  EXPECT_EQ(grid.facts(n0).device, 0x1234567890ull);
  EXPECT_EQ(grid.facts(n4).device, 7u);
  EXPECT_EQ(grid.facts(n4).mtimeSec, -1);
  EXPECT_EQ(grid.facts(n4).mtimeNsec, 999999999);
  EXPECT_EQ(grid.diskName(n0), "");
  EXPECT_EQ(grid.diskName(n4), "N4");
  EXPECT_EQ(path(n4), "/p/");
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
  ASSERT_EQ(liveNames(), (Names{"a", "c"}));
  EXPECT_EQ(path(grid.recordAt(0)), "/shared/");
  EXPECT_EQ(path(grid.recordAt(1)), "/other/");
  const RecordId d = add("/shared/", "d", 4);
  EXPECT_EQ(grid.item(d, kPathColumn).asText().data(),
            grid.item(grid.recordAt(0), kPathColumn).asText().data());
}

TEST_F(GridTest, CompactionOverManyChunksKeepsEveryLiveText) {
  // Long names fill several pool chunks; the sizes' texts, written later in reverse order, put
  // each record's texts in chunks far apart, so chunks empty out in no simple order.
  constexpr int kRecords = 4000;
  constexpr std::size_t kNameLength = 700;
  auto nameOf = [&](int i) { return std::to_string(i) + std::string(kNameLength, 'n'); };
  for (int i = 0; i < kRecords; ++i)
    add("/" + std::to_string(i % 7) + "/", nameOf(i), i);
  for (int i = kRecords - 1; i >= 0; --i)
    grid.setItem(static_cast<RecordId>(i), kSizeColumn,
                 GridValue::text(std::string(kNameLength, 's') + std::to_string(i)));
  for (int i = kRecords - 1; i >= 0; --i) {
    if (i % 3 != 0)
      grid.removeAt(static_cast<std::size_t>(i));
  }
  grid.rebuildRows();
  ASSERT_EQ(grid.recordCount(), static_cast<std::size_t>((kRecords + 2) / 3));
  std::size_t liveBytes = 0;
  for (std::size_t k = 0; k < grid.recordCount(); ++k) {
    const RecordId record = grid.recordAt(k);
    const int i = static_cast<int>(k) * 3;
    ASSERT_EQ(name(record), nameOf(i));
    ASSERT_EQ(path(record), "/" + std::to_string(i % 7) + "/");
    ASSERT_EQ(grid.item(record, kSizeColumn).asText(),
              std::string(kNameLength, 's') + std::to_string(i));
    liveBytes +=
        name(record).size() + path(record).size() + grid.item(record, kSizeColumn).asText().size();
  }
  // Only the live texts are left: the pool was compacted, not just kept readable.
  EXPECT_EQ(grid.textBytesHeld(), liveBytes);
}

TEST_F(GridTest, ItemSlotsAndColumnsAddedLater) {
  const RecordId r = add("/p/", "n", 1);
  grid.addItem(r, GridValue::text("ignored: no fourth column"));
  EXPECT_EQ(grid.item(r, 3).kind(), GridValue::Kind::Empty);
  grid.addColumn(4, "Hidden", 0, false);
  EXPECT_EQ(grid.columnCount(), 5);
  grid.setItem(r, 4, GridValue::number(7));
  EXPECT_EQ(grid.item(r, 4).asNumber(), 7);
  // addItem goes on from where it stopped: slot 3.
  grid.addItem(r, GridValue::text("fourth"));
  EXPECT_EQ(grid.item(r, 3).asText(), "fourth");
}

TEST_F(GridTest, DeleteAllAndCallbacksAroundRowChanges) {
  Names calls;
  grid.onBeforeRowsChange = [&] { calls.push_back("before:" + std::to_string(grid.rowCount())); };
  grid.onAfterRowsChange = [&] { calls.push_back("after:" + std::to_string(grid.rowCount())); };
  add("/p/", "a", 1);
  add("/p/", "b", 1);
  grid.rebuildRows();
  grid.setRowExpanded(0, false);
  EXPECT_FALSE(grid.row(0).expanded);
  grid.removeAt(0); // removals do not touch the rows
  grid.deleteAll();
  EXPECT_EQ(grid.recordCount(), 0u);
  EXPECT_EQ(grid.rowCount(), 0u);
  EXPECT_EQ(grid.columnCount(), 3); // columns stay
  EXPECT_EQ(calls, (Names{"before:0", "after:2", "before:2", "after:0"}));

  add("/q/", "c", 1);
  grid.rebuildRows();
  EXPECT_EQ(layout(), (Names{"c"}));
  EXPECT_EQ(path(grid.recordAt(0)), "/q/");
}

TEST_F(GridTest, RebuildWithNothingChangedKeepsTheRowsAndOpensThemAgain) {
  int resets = 0;
  grid.onAfterRowsChange = [&] { ++resets; };
  addGroupedByName({"b", "a", "b"});
  grid.setRowExpanded(0, false);
  grid.setTicked(grid.recordAt(0), true); // ticks do not decide the rows
  grid.rebuildRows();
  EXPECT_EQ(layout(), (Names{"[a]", "a", "[b]", "b", "b"}));
  EXPECT_TRUE(grid.row(0).expanded);
  EXPECT_EQ(resets, 2);
  // Each of these decides the rows: the next rebuild builds them anew.
  grid.setItem(grid.recordAt(1), kNameColumn, GridValue::text("c"));
  grid.rebuildRows();
  EXPECT_EQ(layout(), (Names{"[b]", "b", "b", "[c]", "c"}));
  grid.groupOrderClear();
  grid.rebuildRows();
  EXPECT_EQ(layout(), (Names{"b", "c", "b"}));
  grid.removeAt(0);
  grid.rebuildRows();
  EXPECT_EQ(layout(), (Names{"c", "b"}));
}

} // namespace
} // namespace zandrex

namespace zandrex {
namespace {

TEST(ReportGridThreaded, BigRebuildOnAHelperThreadGivesTheSameRows) {
  ReportGrid plain;
  ReportGrid threaded;
  for (ReportGrid* grid : {&plain, &threaded}) {
    grid->addColumn(0, "Key", 100, true);
    grid->groupOrderAdd(0);
    for (int i = 0; i < 60000; ++i)
      grid->addItem(grid->addRecord(), GridValue::number(i % 977));
    grid->removeAt(5);
  }
  plain.rebuildRows();
  threaded.rebuildRows([] {});
  ASSERT_EQ(plain.rowCount(), threaded.rowCount());
  for (std::size_t i = 0; i < plain.rowCount(); ++i) {
    EXPECT_EQ(plain.row(i).record, threaded.row(i).record);
    EXPECT_EQ(plain.row(i).childCount, threaded.row(i).childCount);
  }
}

} // namespace
} // namespace zandrex
