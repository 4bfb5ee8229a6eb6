#include "flow_fixture.h"
#include "select/group_stats.h"
#include "select/selection_helpers.h"

#include <unistd.h>

namespace zandrex::test {
namespace {

class SelectionTest : public FlowTest {
protected:
  PathOf pathOf = [this](RecordId r) { return core.fullPath(r); };

  std::vector<std::string> tickedFiles() const {
    std::vector<std::string> out;
    const ReportGrid& grid = core.grid();
    for (std::size_t i = 0; i < grid.rowCount(); ++i)
      if (!grid.row(i).isGroup() && grid.ticked(grid.row(i).record))
        out.push_back(core.fullPath(grid.row(i).record).substr(tree.path().size()));
    return out;
  }
};

TEST_F(SelectionTest, KeepRulesAndTheirTies) {
  tree.writeEach({"b/deeper/x", "a/x", "c/x"}, "1");
  tree.setMtime("a/x", 2000);
  tree.setMtime("b/deeper/x", 3000);
  tree.setMtime("c/x", 3000);
  find(ByName);

  SelectionResult newest = tickAllButOne(core.grid(), KeepRule::Newest, pathOf);
  EXPECT_EQ(tickedFiles(), (std::vector<std::string>{"a/x", "c/x"})); // tie kept by path order
  EXPECT_EQ(tickedReport(newest), "Ticked 2 files in 1 group; 1 tie broken by path");

  SelectionResult oldest = tickAllButOne(core.grid(), KeepRule::Oldest, pathOf);
  EXPECT_EQ(tickedFiles(), (std::vector<std::string>{"b/deeper/x", "c/x"}));
  EXPECT_EQ(oldest.ties, 0u);

  tickAllButOne(core.grid(), KeepRule::First, pathOf);
  EXPECT_EQ(tickedFiles(), (std::vector<std::string>{"b/deeper/x", "c/x"}));

  SelectionResult shortest = tickAllButOne(core.grid(), KeepRule::Shortest, pathOf);
  EXPECT_EQ(tickedFiles(), (std::vector<std::string>{"b/deeper/x", "c/x"}));
  EXPECT_EQ(shortest.ties, 1u); // a/x and c/x are equally short
}

TEST_F(SelectionTest, FolderUntickAndInvert) {
  // Two files of group x lie in the folder: a group counts once, however many it ticks.
  tree.writeEach({"keep/x", "old/x", "old/sub/x"}, "1");
  tree.writeEach({"keep/y", "old/sub/y", "older/y"}, "2");
  find(ByName);
  SelectionResult folder = tickInsideFolder(core.grid(), tree.path() + "old/", pathOf);
  EXPECT_EQ(tickedFiles(), (std::vector<std::string>{"old/sub/x", "old/x", "old/sub/y"}));
  EXPECT_EQ(tickedReport(folder), "Ticked 3 files in 2 groups");
  SelectionResult inverted = invertGroup(core.grid(), 0);
  EXPECT_EQ(inverted.ticked, 1u);
  EXPECT_EQ(tickedFiles(), (std::vector<std::string>{"keep/x", "old/sub/y"}));
  EXPECT_EQ(untickedReport(untickAll(core.grid())), "Unticked 2 files");
  EXPECT_TRUE(tickedFiles().empty());
}

TEST_F(SelectionTest, HundredThousandRowsAndFormatting) {
  // Built in the grid directly: the helpers only look at rows, facts and paths.
  ReportGrid& grid = core.grid();
  grid.groupOrderClear();
  grid.groupOrderAdd(col::kFile);
  for (int i = 0; i < 100000; ++i) {
    RecordId r = grid.addRecord();
    grid.setItem(r, col::kPath, GridValue::text("/d" + std::to_string(i % 3) + "/"));
    grid.setItem(r, col::kFile, GridValue::text("f" + std::to_string(i / 3)));
    grid.setFacts(r, FileFacts{1, static_cast<std::uint64_t>(i + 1), i % 7, 0, 10}, {});
  }
  grid.rebuildRows();
  SelectionResult result = tickAllButOne(grid, KeepRule::Newest, pathOf);
  EXPECT_EQ(result.groups, 33334u);
  EXPECT_EQ(result.ticked, 100000u - 33334u);
  EXPECT_EQ(withThousands(4812), "4,812");
  EXPECT_EQ(formatBytes(999), "999 bytes");
  EXPECT_EQ(formatBytes(1500), "1.5 kB");
  EXPECT_EQ(formatBytes(12300000), "12.3 MB");
}

TEST_F(SelectionTest, HardLinksFreeNothingAndAreMarked) {
  tree.write("a/x", std::string(100, 'x'));
  tree.mkdir("b");
  ASSERT_EQ(::link((tree.path() + "a/x").c_str(), (tree.path() + "b/x").c_str()), 0);
  tree.write("c/x", std::string(100, 'x'));
  find(ByContent);
  ASSERT_EQ(core.grid().rowCount(), 4u);
  std::vector<bool> hardLink(4, false);
  const GroupStats stats = groupStatsAt(core.grid(), 0, &hardLink);
  EXPECT_EQ(stats.files, 3u);
  EXPECT_EQ(stats.reclaimable, 100u);
  EXPECT_EQ(hardLink, (std::vector<bool>{false, false, true, false}));
  EXPECT_EQ(totalReclaimable(core.grid()), 100u);
}

} // namespace
} // namespace zandrex::test
