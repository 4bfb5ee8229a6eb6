#include "flow_fixture.h"
#include "select/group_stats.h"
#include "select/selection_helpers.h"

#include <algorithm>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace zandrex::test {
namespace {

class SelectionTest : public FlowTest {
protected:
  PathOf pathOf = [this](RecordId r) { return core.fullPath(r); };

  void link(const std::string& existing, const std::string& name) {
    tree.mkdir(name.substr(0, name.rfind('/')));
    ASSERT_EQ(::link((tree.path() + existing).c_str(), (tree.path() + name).c_str()), 0);
  }

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

// The case reported: three notes.txt of 28, 19 and 19 bytes found by name. Only a file holding
// the very bytes of the kept one is ticked, and only it is deleted; whatever was ticked before
// and is not a proven copy ends unticked.
TEST_F(SelectionTest, KeepOneTicksOnlyFilesHoldingTheKeptFilesBytes) {
  const struct {
    const char* newest;
    std::vector<std::string> ticked;
    const char* report;
    std::vector<std::string> deleted;
  } cases[] = {
      {"c/notes.txt",
       {},
       "Ticked 0 files in 1 group; 2 left unticked: their bytes differ from "
       "the kept copy",
       {}},
      {"b/notes.txt",
       {"a/notes.txt"},
       "Ticked 1 file in 1 group; 1 left unticked: its bytes "
       "differ from the kept copy",
       {"a/notes.txt"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.newest);
    tree.writeEach({"a/notes.txt", "b/notes.txt"}, "nineteen bytes here");
    tree.write("c/notes.txt", "twenty-eight bytes, unique!!");
    for (const char* file : {"a/notes.txt", "b/notes.txt", "c/notes.txt"})
      tree.setMtime(file, 1000);
    tree.setMtime(c.newest, 2000);
    find(ByName);
    EXPECT_EQ(groupHeading(core.grid(), 0), "File: notes.txt (3 files, not verified)");
    tick({"a/notes.txt", "b/notes.txt", "c/notes.txt"});
    const SelectionResult result = core.keepOneInEachGroup(KeepRule::Newest);
    EXPECT_EQ(tickedFiles(), c.ticked);
    EXPECT_EQ(tickedReport(result), c.report);

    core.deleteTicked();
    for (const char* file : {"a/notes.txt", "b/notes.txt", "c/notes.txt"})
      EXPECT_EQ(exists(file), std::count(c.deleted.begin(), c.deleted.end(), file) == 0) << file;
    EXPECT_TRUE(view.failureWindows.empty());
  }
}

// Equal names and sizes say nothing of the bytes, in every mode that does not compare them. The
// kept file is read again for each file compared with it, and a difference in the last block
// counts.
TEST_F(SelectionTest, SameSizeOtherBytesIsNeverTickedInTheModesThatDoNotCompareContent) {
  const std::string bytes(300 * 1024, 'b');
  tree.writeEach({"a/x", "c/x", "d/x"}, bytes);
  tree.write("b/x", bytes.substr(1) + "!");
  for (int mode : {ByName, BySize, ByNameAndSize}) {
    SCOPED_TRACE(mode);
    find(mode);
    const SelectionResult result = core.keepOneInEachGroup(KeepRule::First);
    EXPECT_EQ(tickedFiles(), (std::vector<std::string>{"c/x", "d/x"}));
    EXPECT_EQ(tickedReport(result),
              "Ticked 2 files in 1 group; 1 left unticked: its bytes differ from the kept copy");
  }
}

// Deleting another name of a kept file frees nothing: in every mode it stays unticked, in its
// own group or in another group by name.
TEST_F(SelectionTest, HardLinksOfAKeptFileAreNeverTicked) {
  tree.writeEach({"a/x", "c/x", "a/y"}, "same");
  link("a/x", "b/x");
  link("a/x", "b/y");
  const std::string byName = "Ticked 1 file in 2 groups; 2 hard links of kept copies left unticked";
  const std::string oneGroup =
      "Ticked 2 files in 1 group; 2 hard links of kept copies left unticked";
  const std::pair<int, std::string> cases[] = {
      {ByName, byName}, {BySize, oneGroup}, {ByNameAndSize, byName}, {ByContent, oneGroup}};
  for (const auto& [mode, report] : cases) {
    SCOPED_TRACE(mode);
    find(mode);
    tick({"b/x", "b/y"});
    const SelectionResult result = core.keepOneInEachGroup(KeepRule::First);
    EXPECT_FALSE(core.grid().ticked(recordOf("b/x")));
    EXPECT_FALSE(core.grid().ticked(recordOf("b/y")));
    EXPECT_TRUE(core.grid().ticked(recordOf("c/x")));
    EXPECT_EQ(tickedReport(result), report);
  }
}

// What the find saw is what is compared: a file (or the kept one) changed, replaced or out of
// reach since the find is left unticked and counted.
TEST_F(SelectionTest, FilesChangedSinceTheFindAreLeftUnticked) {
  const std::string source = tree.path().substr(0, tree.path().size() - 1);
  const std::string none = "Ticked 0 files in 1 group; 3 left unticked: unreadable or changed "
                           "since the find";
  const struct {
    const char* what;
    std::function<void()> afterFind;
    std::vector<std::string> ticked;
    std::string report;
    bool sourceReplaced = false;
  } cases[] = {
      {"a copy touched and another replaced",
       [&] {
         tree.setMtime("b/x", 5000);
         // Another file of the same bytes and time, saved over it: only its inode tells.
         tree.write("c/new", "same");
         tree.setMtime("c/new", 1000);
         ASSERT_EQ(::rename((tree.path() + "c/new").c_str(), (tree.path() + "c/x").c_str()), 0);
       },
       {"d/x"},
       "Ticked 1 file in 1 group; 2 left unticked: unreadable or changed since the find"},
      {"the kept file touched", [&] { tree.setMtime("a/x", 5000); }, {}, none},
      {"the searched folder replaced", [] {}, {}, none, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    tree.writeEach({"a/x", "b/x", "c/x", "d/x"}, "same");
    for (const char* file : {"a/x", "b/x", "c/x", "d/x"})
      tree.setMtime(file, 1000);
    find(ByName);
    c.afterFind();
    if (c.sourceReplaced) {
      ASSERT_EQ(::rename(source.c_str(), (source + "-away").c_str()), 0);
      ASSERT_EQ(::mkdir(source.c_str(), 0700), 0);
    }
    const SelectionResult result = core.keepOneInEachGroup(KeepRule::First);
    if (c.sourceReplaced) {
      ASSERT_EQ(::rmdir(source.c_str()), 0);
      ASSERT_EQ(::rename((source + "-away").c_str(), source.c_str()), 0);
    }
    EXPECT_EQ(tickedFiles(), c.ticked);
    EXPECT_EQ(tickedReport(result), c.report);
  }
}

// By content the find's digests are the proof: nothing is read again, even where a read would
// fail. The deletion still compares each file with the kept copy and refuses the one changed.
TEST_F(SelectionTest, ByContentTheDigestsAreTheProofAndTheGuardStillCompares) {
  tree.writeEach({"a/x", "b/x", "c/x"}, "same");
  tree.setMtime("c/x", 1000);
  find(ByContent);
  // Changed in place, its size and time as the find saw them.
  tree.write("c/x", "diff");
  tree.setMtime("c/x", 1000);
  const std::string path = tree.path().substr(0, tree.path().size() - 1);
  ASSERT_EQ(::rename(path.c_str(), (path + "-away").c_str()), 0);
  const SelectionResult result = core.keepOneInEachGroup(KeepRule::First);
  ASSERT_EQ(::rename((path + "-away").c_str(), path.c_str()), 0);
  EXPECT_EQ(tickedFiles(), (std::vector<std::string>{"b/x", "c/x"}));
  EXPECT_EQ(tickedReport(result), "Ticked 2 files in 1 group");

  core.deleteTicked();
  EXPECT_FALSE(exists("b/x"));
  EXPECT_TRUE(exists("c/x"));
  EXPECT_EQ(failureColumn(failcol::kReason),
            std::vector<std::string>{"The copy being kept no longer has the same content"});
}

// "Cancel" during a compare ends the run with no tick changed, not even those of the groups
// already decided.
TEST_F(SelectionTest, CancelDuringACompareChangesNoTick) {
  tree.writeEach({"a/x", "b/x"}, "small");
  tree.writeEach({"a/y", "b/y", "c/y"}, std::string(1 << 20, 'y'));
  find(ByName);
  tick({"a/y", "c/y"});
  // Progress counts the files compared: the third event with two counted is inside the compare
  // of b/y, blocks after it began.
  int eventsInSecondCompare = 0;
  view.onEvents = [&] {
    if (core.progressBar(2).value == 2 && ++eventsInSecondCompare == 3)
      core.cancel();
  };
  const SelectionResult result = core.keepOneInEachGroup(KeepRule::First);
  view.onEvents = {};
  EXPECT_EQ(eventsInSecondCompare, 3);
  EXPECT_TRUE(result.cancelled);
  EXPECT_EQ(tickedReport(result), "Cancelled: no tick changed");
  EXPECT_EQ(tickedFiles(), (std::vector<std::string>{"a/y", "c/y"}));
  EXPECT_FALSE(core.cancelRequested());
  // Run again to its end.
  core.keepOneInEachGroup(KeepRule::First);
  EXPECT_EQ(tickedFiles(), (std::vector<std::string>{"b/x", "b/y", "c/y"}));
}

} // namespace
} // namespace zandrex::test
