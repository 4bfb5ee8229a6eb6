// Rebuilds that reuse the rows they follow (after removals only; after new keys that refine the
// old groups) must give the very rows a full sort gives.
#include "grid/report_grid.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace zandrex {
namespace {

constexpr int kNameColumn = 0;
constexpr int kSizeColumn = 1;
// Like a content key: the size as 8 big-endian bytes, then a few bytes of "digest".
constexpr int kKeyColumn = 2;
constexpr int kColumns = 3;
constexpr std::uint32_t kSeed = 20261207;

using Rows = std::vector<std::tuple<RecordId, std::uint32_t, bool>>;

class GridRebuildTest : public ::testing::Test {
protected:
  void SetUp() override {
    for (int k = 0; k < kColumns; ++k)
      grid.addColumn(k, std::to_string(k), 50, true);
  }

  static std::string keyOf(std::uint64_t size, int digest) {
    std::string key;
    for (int shift = 56; shift >= 0; shift -= 8)
      key += static_cast<char>(size >> shift & 0xFF);
    key += std::to_string(digest);
    return key;
  }

  // Few names, sizes and digests, so groups of every size turn up, singles among them.
  void addRecords(int count) {
    for (int i = 0; i < count; ++i) {
      const RecordId record = grid.addRecord();
      const auto size = static_cast<std::uint64_t>(random() % 40) * 1000;
      grid.addItem(record, GridValue::text(std::to_string(random() % 30)));
      grid.addItem(record, GridValue::number(static_cast<double>(size)));
      grid.addItem(record, GridValue::text(keyOf(size, static_cast<int>(random() % 3))));
    }
  }

  Rows rows() const {
    Rows out;
    for (std::size_t i = 0; i < grid.rowCount(); ++i)
      out.emplace_back(grid.row(i).record, grid.row(i).childCount, grid.row(i).expanded);
    return out;
  }

  // What a rebuild from scratch gives now, the grid left as it was: a record added and removed
  // again leaves nothing to reuse, and, last of all, no other record renumbered.
  Rows fullRebuild() {
    grid.addRecord();
    grid.removeAt(grid.recordCount() - 1);
    grid.rebuildRows();
    return rows();
  }

  // Rebuilds, then tells whether that gave the rows a rebuild from scratch gives.
  bool rebuildGivesFullSortsRows() {
    grid.rebuildRows();
    const Rows reused = rows();
    return reused == fullRebuild();
  }

  std::vector<std::size_t> groupPositions() const {
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < grid.rowCount(); ++i)
      if (grid.row(i).isGroup())
        out.push_back(i);
    return out;
  }

  // Removes each live record with the odds given; collapses some groups on the way, which a
  // rebuild expands again.
  void removeSome(double odds) {
    for (std::size_t i = 0; i < grid.rowCount(); i += 3)
      grid.setRowExpanded(i, false);
    std::bernoulli_distribution remove(odds);
    for (std::size_t index = grid.recordCount(); index-- > 0;)
      if (remove(random))
        grid.removeAt(index);
  }

  std::mt19937 random{kSeed};
  ReportGrid grid;
};

TEST_F(GridRebuildTest, RebuildAfterRemovalsGivesTheFullRebuildsRows) {
  const std::vector<std::vector<int>> orders = {
      {}, {kSizeColumn}, {kNameColumn}, {kNameColumn, kSizeColumn}, {kKeyColumn}};
  for (const std::vector<int>& order : orders) {
    grid.deleteAll();
    addRecords(400);
    grid.setGroupOrder(order);
    grid.rebuildRows();
    // Light and heavy removals: groups shrink, fall to one row, and vanish.
    for (const double odds : {0.1, 0.5, 0.1, 0.9}) {
      removeSome(odds);
      ASSERT_TRUE(rebuildGivesFullSortsRows()) << "order of " << order.size() << ", odds " << odds;
    }
    EXPECT_GT(grid.recordCount(), 0u);
  }
}

TEST_F(GridRebuildTest, RegroupingByKeysThatRefineTheGroupsOrNotGivesTheFullSortsRows) {
  addRecords(600);
  grid.setGroupOrder({kSizeColumn});
  grid.rebuildRows();
  removeSome(0.2);
  // New keys written in row order and some records removed, as the content pass does.
  for (std::size_t i = 0; i < grid.rowCount(); ++i) {
    const RecordId record = grid.row(i).record;
    if (record == kNoRecord || !grid.isLive(record))
      continue;
    const auto size = static_cast<std::uint64_t>(grid.item(record, kSizeColumn).asNumber());
    grid.setItem(record, kKeyColumn, GridValue::text(keyOf(size, static_cast<int>(i % 4))));
  }
  grid.setGroupOrder({kKeyColumn});
  ASSERT_TRUE(rebuildGivesFullSortsRows());

  // Keys that do not refine the sizes, each caught at one boundary: the first group's first key
  // after every other, a middle group's first key equal to the greatest of the group before, the
  // last group's last key before every other.
  for (int broken = 0; broken < 3; ++broken) {
    // Back to sizes: keys that merge groups never pass for a refinement either.
    grid.setGroupOrder({kSizeColumn});
    ASSERT_TRUE(rebuildGivesFullSortsRows()) << broken;
    const std::vector<std::size_t> groups = groupPositions();
    ASSERT_GE(groups.size(), 3u);
    const std::size_t middle = groups[groups.size() / 2];
    const auto keyAt = [&](std::size_t position) {
      return std::string(grid.item(grid.row(position).record, kKeyColumn).asText());
    };
    std::size_t changed = groups.front() + 1;
    std::string key = keyAt(grid.rowCount() - 1);
    if (broken == 1) {
      changed = middle + 1;
      key.clear();
      for (std::size_t row = middle - 1; !grid.row(row).isGroup(); --row)
        key = std::max(key, keyAt(row));
    }
    if (broken == 2) {
      changed = grid.rowCount() - 1;
      key = keyOf(0, -1);
    }
    const RecordId record = grid.row(changed).record;
    const std::string kept = keyAt(changed);
    grid.setItem(record, kKeyColumn, GridValue::text(key));
    grid.setGroupOrder({kKeyColumn});
    ASSERT_TRUE(rebuildGivesFullSortsRows()) << broken;
    grid.setItem(record, kKeyColumn, GridValue::text(kept));
  }
  // Names across sizes.
  grid.setGroupOrder({kNameColumn});
  EXPECT_TRUE(rebuildGivesFullSortsRows());
}

} // namespace
} // namespace zandrex
