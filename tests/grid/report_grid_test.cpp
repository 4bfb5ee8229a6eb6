#include "grid/report_grid.h"

#include <gtest/gtest.h>
#include <string>
#include <tuple>
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

  std::string name(RecordId record) const {
    return std::string(grid.item(record, kNameColumn).asText());
  }
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
      {GridValue::number(-3), "-3"},
      {GridValue::number(0.5), "0.5"},
      {GridValue::number(999999999999999), "999999999999999"}};
  for (const auto& [value, text] : texts)
    EXPECT_EQ(value.displayText(), text);

  EXPECT_LT(compare(GridValue(), GridValue::number(-1)), 0);
  EXPECT_LT(compare(GridValue::number(1e300), GridValue::text("")), 0);
  EXPECT_LT(compare(GridValue::number(9), GridValue::number(10)), 0);
  EXPECT_GT(compare(GridValue::text("9"), GridValue::text("10")), 0);
  // Bytewise: a byte above 0x7f sorts after ASCII.
  EXPECT_GT(compare(GridValue::text("\xc3\xa9"), GridValue::text("z")), 0);
}

TEST_F(GridTest, GroupsNumbersNumericallyTextsBytewiseAndFilesInRecordOrder) {
  add("/1/", "b", 10);
  add("/2/", "ab", 9);
  add("/3/", "b", 9);
  add("/4/", "b", 10);
  add("/5/", "ab", 9);
  grid.rebuildRows();
  EXPECT_EQ(layout(), (Names{"b", "ab", "b", "b", "ab"})); // no group order: flat rows
  grid.groupOrderAdd(kSizeColumn);
  grid.rebuildRows();
  EXPECT_EQ(layout(), (Names{"[9]", "ab", "b", "ab", "[10]", "b", "b"}));

  grid.groupOrderClear();
  grid.groupOrderAdd(kNameColumn);
  grid.rebuildRows();
  EXPECT_EQ(layout(), (Names{"[ab]", "ab", "ab", "[b]", "b", "b", "b"}));
  EXPECT_EQ(grid.row(0).childCount, 2u);
  EXPECT_EQ(grid.row(3).childCount, 3u);
  EXPECT_EQ(path(grid.row(4).record) + path(grid.row(5).record) + path(grid.row(6).record),
            "/1//3//4/");

  // Name and size together: b/9 and b/10 split, the key shown is the first column's.
  grid.groupOrderAdd(kSizeColumn);
  grid.rebuildRows();
  EXPECT_EQ(layout(), (Names{"[ab]", "ab", "ab", "[b]", "b", "[b]", "b", "b"}));
  EXPECT_EQ(grid.row(5).childCount, 2u);
  EXPECT_EQ(grid.item(grid.row(7).record, kSizeColumn).asNumber(), 10);
  EXPECT_EQ(grid.groupKey(1).kind(), GridValue::Kind::Empty);
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
}

TEST_F(GridTest, RemovalsAndCompactionAtScaleKeepEveryLiveRecordWhole) {
  // Group g has (g % 3) + 1 files, records spread round-robin; the single files go, each at the
  // index it has after the removals before it. Every name is written twice, the second time in
  // reverse record order, so a record's texts lie in pool chunks far apart and the chunks empty
  // out in no simple order when the rebuild, on a helper thread, compacts the pool.
  constexpr int kGroups = 100000; // about 200,000 records
  constexpr int kMaxChildren = 3;
  const auto children = [](int g) { return static_cast<std::uint32_t>(g % kMaxChildren + 1); };
  const auto nameOf = [](int g) { return std::to_string(1000000 + g); };
  const auto diskNameOf = [](int g, int round) {
    return round == 1 ? "N" + std::to_string(g) : "";
  };
  // Two devices taking turns, nanoseconds at their largest, times before 1970, change times
  // unknown for some.
  const auto factsOf = [](int g, int round) {
    return FileFacts{g % 2 == 0 ? 0x1234567890ull : 7,
                     100u + g,
                     -5 + g,
                     999999999,
                     3u * g + round,
                     7u + round,
                     g % 5 == 0 ? kNoChangeTime : -7'000'000'001 + g * 11 + round};
  };
  const auto tied = [](const FileFacts& f) {
    return std::tuple(f.device, f.inode, f.mtimeSec, f.mtimeNsec, f.size, f.folder, f.ctimeNs);
  };
  const auto boxAndTick = [](int g, int round) {
    return std::tuple(g % 4 < 2, (g + round) % 3 == 0);
  };
  std::vector<int> groupOf;
  std::vector<RecordId> singles;
  for (int round = 0; round < kMaxChildren; ++round)
    for (int g = 0; g < kGroups; ++g)
      if (children(g) > static_cast<std::uint32_t>(round)) {
        const RecordId record = add("/d" + std::to_string(round) + "/", std::string(40, 'x'), 0);
        grid.setCheckbox(record, std::get<0>(boxAndTick(g, round)));
        grid.setTicked(record, std::get<1>(boxAndTick(g, round)));
        grid.setFacts(record, factsOf(g, round), diskNameOf(g, round));
        groupOf.push_back(g);
        if (children(g) == 1)
          singles.push_back(record);
      }
  for (auto record = static_cast<RecordId>(groupOf.size()); record-- > 0;)
    grid.setItem(record, kNameColumn, GridValue::text(nameOf(groupOf[record])));
  grid.groupOrderAdd(kNameColumn);
  for (const RecordId single : singles)
    grid.removeAt(grid.recordIndex(single));
  grid.rebuildRows([] {});

  std::size_t row = 0;
  std::size_t liveBytes = 0;
  for (int g = 0; g < kGroups; ++g) {
    if (children(g) == 1)
      continue;
    ASSERT_EQ(grid.groupKey(row).displayText(), nameOf(g));
    ASSERT_EQ(grid.row(row).childCount, children(g));
    for (int round = 0; round < static_cast<int>(children(g)); ++round) {
      const RecordId record = grid.row(row + 1 + round).record;
      ASSERT_EQ(name(record), nameOf(g));
      ASSERT_EQ(path(record), "/d" + std::to_string(round) + "/");
      ASSERT_EQ(grid.diskName(record), diskNameOf(g, round));
      ASSERT_EQ(std::tuple(grid.hasCheckbox(record), grid.ticked(record)), boxAndTick(g, round));
      ASSERT_EQ(tied(grid.facts(record)), tied(factsOf(g, round))) << g << " " << round;
      liveBytes += name(record).size() + path(record).size() + grid.diskName(record).size();
    }
    row += 1 + children(g);
  }
  EXPECT_EQ(row, grid.rowCount());
  // Only the live texts are left: the pool was compacted, not just kept readable.
  EXPECT_EQ(grid.textBytesHeld(), liveBytes);
}

TEST_F(GridTest, InternedColumnKeepsOneCopyThroughWritesAndCompaction) {
  grid.setColumnInterned(kPathColumn, true);
  const RecordId a = add("/shared/", "a", 1);
  const RecordId b = add("/shared/", "b", 2);
  add("/other/", "c", 3);
  const auto bytes = [&](RecordId record, int k) { return grid.item(record, k).asText().data(); };
  EXPECT_EQ(bytes(a, kPathColumn), bytes(b, kPathColumn));
  EXPECT_NE(bytes(a, kNameColumn), bytes(b, kNameColumn));

  // b's name copied from a's while the pool grows; then a goes and the pool is compacted.
  for (int i = 0; i < 100; ++i)
    grid.setItem(b, kNameColumn, grid.item(a, kNameColumn));
  grid.setItem(a, kNameColumn, GridValue::text(std::string(1000, 'x')));
  grid.removeAt(0);
  grid.rebuildRows();
  ASSERT_EQ(liveNames(), (Names{"a", "c"}));
  EXPECT_EQ(path(grid.recordAt(0)) + path(grid.recordAt(1)), "/shared//other/");
  const RecordId d = add("/shared/", "d", 4);
  EXPECT_EQ(bytes(d, kPathColumn), bytes(grid.recordAt(0), kPathColumn));
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

TEST_F(GridTest, RowsAreRebuiltOnlyWhenWhatDecidesThemChangedAndDeleteAllEmptiesThem) {
  Names calls;
  grid.onBeforeRowsChange = [&] { calls.push_back("before:" + std::to_string(grid.rowCount())); };
  grid.onAfterRowsChange = [&] { calls.push_back("after:" + std::to_string(grid.rowCount())); };
  for (const char* n : {"b", "a", "b"})
    add("/p/", n, 1);
  grid.groupOrderAdd(kNameColumn);
  grid.rebuildRows();
  grid.setRowExpanded(0, false);
  EXPECT_FALSE(grid.row(0).expanded);
  grid.setTicked(grid.recordAt(0), true); // ticks do not decide the rows
  grid.rebuildRows();
  EXPECT_EQ(layout(), (Names{"[a]", "a", "[b]", "b", "b"}));
  EXPECT_TRUE(grid.row(0).expanded);
  // Each of these decides the rows: the next rebuild, and only it, builds them anew.
  grid.setItem(grid.recordAt(1), kNameColumn, GridValue::text("c"));
  EXPECT_EQ(layout(), (Names{"[c]", "c", "[b]", "b", "b"}));
  grid.rebuildRows();
  EXPECT_EQ(layout(), (Names{"[b]", "b", "b", "[c]", "c"}));
  grid.groupOrderClear();
  grid.rebuildRows();
  EXPECT_EQ(layout(), (Names{"b", "c", "b"}));

  grid.removeAt(0); // a tombstone deleteAll must forget too
  grid.deleteAll();
  EXPECT_EQ(grid.recordCount() + grid.rowCount(), 0u);
  EXPECT_EQ(grid.columnCount(), 3); // columns stay
  EXPECT_EQ(calls, (Names{"before:0", "after:5", "before:5", "after:5", "before:5", "after:5",
                          "before:5", "after:3", "before:3", "after:0"}));
  add("/q/", "d", 1);
  grid.rebuildRows();
  EXPECT_EQ(layout(), (Names{"d"}));
  EXPECT_EQ(path(grid.recordAt(0)), "/q/");
}

} // namespace
} // namespace zandrex
