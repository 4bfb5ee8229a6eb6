// The running tick tally on real trees: every way of ticking keeps its figures equal to a count
// made from scratch, hard links free their bytes once and only with every listed name ticked,
// and a deletion's rebuild counts what is left.
#include "flow_fixture.h"
#include "grid/file_identity.h"
#include "select/selection_helpers.h"
#include "select/tick_tally.h"

#include <map>
#include <unistd.h>

namespace zandrex::test {
namespace {

struct Figures {
  std::uint64_t ticked = 0;
  std::uint64_t bytes = 0;
  std::uint64_t groupsAllTicked = 0;
  bool operator==(const Figures&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Figures& figures) {
  return out << "{" << figures.ticked << " ticked, " << figures.bytes << " bytes, "
             << figures.groupsAllTicked << " groups all ticked}";
}

Figures figuresOf(const TickTally& tally) {
  return {tally.ticked(), tally.bytesToFree(), tally.groupsAllTicked()};
}

// The figures counted from nothing, the slow and obvious way.
Figures countedAfresh(const ReportGrid& grid) {
  Figures figures;
  std::map<std::pair<std::uint64_t, std::uint64_t>, std::pair<int, int>> namesTicked;
  std::map<std::pair<std::uint64_t, std::uint64_t>, std::uint64_t> sizes;
  std::size_t groupFiles = 0;
  std::size_t groupTicked = 0;
  bool inGroup = false;
  auto endGroup = [&] {
    if (inGroup && groupFiles > 0 && groupFiles == groupTicked)
      ++figures.groupsAllTicked;
  };
  for (std::size_t i = 0; i < grid.rowCount(); ++i) {
    const GridRow& row = grid.row(i);
    if (row.isGroup()) {
      endGroup();
      inGroup = true;
      groupFiles = groupTicked = 0;
      continue;
    }
    const FileFacts facts = grid.facts(row.record);
    const bool ticked = grid.ticked(row.record);
    ++groupFiles;
    groupTicked += ticked ? 1 : 0;
    figures.ticked += ticked ? 1 : 0;
    auto& [names, tickedNames] = namesTicked[{facts.device, facts.inode}];
    ++names;
    tickedNames += ticked ? 1 : 0;
    sizes[{facts.device, facts.inode}] = facts.size;
  }
  endGroup();
  for (const auto& [identity, counts] : namesTicked)
    figures.bytes += counts.first == counts.second ? sizes[identity] : 0;
  return figures;
}

class TickTallyTest : public FlowTest {
protected:
  TickTally tally;
  PathOf pathOf = [this](RecordId r) { return core.fullPath(r); };

  void SetUp() override {
    FlowTest::SetUp();
    tally.follow(core.grid());
    core.grid().onAfterRowsChange = [this] { tally.recount(core.grid()); };
  }

  // Notes of 6 bytes in three folders; a 1,000-byte file with a hard link beside a copy.
  void writeTree() {
    tree.writeEach({"a/notes.txt", "b/notes.txt", "c/notes.txt"}, "hello!");
    tree.writeEach({"x/big.bin", "y/big.bin"}, std::string(1000, 'x'));
    ASSERT_EQ(::link((tree.path() + "x/big.bin").c_str(), (tree.path() + "y/link.bin").c_str()), 0);
  }

  std::size_t groupPositionOf(const std::string& relative) const {
    const RecordId record = recordOf(relative);
    const ReportGrid& grid = core.grid();
    std::size_t group = SIZE_MAX;
    for (std::size_t i = 0; i < grid.rowCount(); ++i) {
      if (grid.row(i).isGroup())
        group = i;
      else if (grid.row(i).record == record)
        return group;
    }
    return SIZE_MAX;
  }

  // The ordinal of the group holding a file, as allTicked takes it.
  std::size_t groupOrdinalOf(const std::string& relative) const {
    const std::size_t position = groupPositionOf(relative);
    std::size_t ordinal = 0;
    for (std::size_t i = 0; i < position; ++i)
      ordinal += core.grid().row(i).isGroup() ? 1 : 0;
    return ordinal;
  }

  void setTick(const std::string& relative, bool ticked) {
    const RecordId record = recordOf(relative);
    ASSERT_NE(record, kNoRecord) << relative;
    core.grid().setTicked(record, ticked);
  }
};

TEST_F(TickTallyTest, HandTicksCountFilesBytesAndGroupsWithEveryCopyTicked) {
  writeTree();
  find(ByContent);
  ASSERT_EQ(groups().size(), 2u);
  EXPECT_EQ(figuresOf(tally), (Figures{0, 0, 0}));
  const std::size_t notes = groupOrdinalOf("a/notes.txt");

  setTick("a/notes.txt", true);
  setTick("b/notes.txt", true);
  EXPECT_EQ(figuresOf(tally), (Figures{2, 12, 0}));
  EXPECT_FALSE(tally.allTicked(notes));
  setTick("c/notes.txt", true);
  EXPECT_EQ(figuresOf(tally), (Figures{3, 18, 1}));
  EXPECT_TRUE(tally.allTicked(notes));
  // Ticking a ticked file again changes nothing.
  setTick("c/notes.txt", true);
  EXPECT_EQ(figuresOf(tally), (Figures{3, 18, 1}));
  setTick("b/notes.txt", false);
  EXPECT_EQ(figuresOf(tally), (Figures{2, 12, 0}));
  EXPECT_FALSE(tally.allTicked(notes));
  EXPECT_FALSE(tally.allTicked(99));
  EXPECT_EQ(figuresOf(tally), countedAfresh(core.grid()));
}

TEST_F(TickTallyTest, AHardLinkedFileFreesItsBytesOnceAndOnlyWithEveryListedNameTicked) {
  writeTree();
  find(ByContent);
  // The file and its other name: the bytes stay while one name is left.
  setTick("x/big.bin", true);
  EXPECT_EQ(figuresOf(tally), (Figures{1, 0, 0}));
  setTick("y/link.bin", true);
  EXPECT_EQ(figuresOf(tally), (Figures{2, 1000, 0}));
  setTick("y/big.bin", true);
  EXPECT_EQ(figuresOf(tally), (Figures{3, 2000, 1}));
  setTick("x/big.bin", false);
  EXPECT_EQ(figuresOf(tally), (Figures{2, 1000, 0}));
  EXPECT_EQ(figuresOf(tally), countedAfresh(core.grid()));
  // Ticks the rebuild finds are counted too (the identities then sorted out at once).
  core.grid().rebuildRows();
  EXPECT_EQ(figuresOf(tally), (Figures{2, 1000, 0}));
}

// A name the guard keeps (in a protected folder) keeps its file's bytes and its group's last
// copy however it is ticked, counted live or by a rebuild.
TEST_F(TickTallyTest, AProtectedNameTickedByHandFreesNothingAndKeepsItsGroupsCopy) {
  writeTree();
  core.setProtectedFolders({tree.path() + "x"});
  find(ByContent);
  tally.setKeptTest([this](RecordId record) { return core.isProtected(record); });
  tally.recount(core.grid());
  setTick("y/link.bin", true);
  setTick("x/big.bin", true);
  EXPECT_EQ(figuresOf(tally), (Figures{2, 0, 0}));
  setTick("y/big.bin", true);
  EXPECT_EQ(figuresOf(tally), (Figures{3, 1000, 0}));
  EXPECT_FALSE(tally.allTicked(groupOrdinalOf("x/big.bin")));
  core.grid().rebuildRows();
  EXPECT_EQ(figuresOf(tally), (Figures{3, 1000, 0}));
  setTick("x/big.bin", false);
  EXPECT_EQ(figuresOf(tally), (Figures{2, 1000, 0}));
}

TEST_F(TickTallyTest, HelpersInvertAndUntickKeepTheFiguresOfACountFromScratch) {
  writeTree();
  tree.writeEach({"d/other.txt", "e/other.txt"}, "other");
  find(ByContent);
  ReportGrid& grid = core.grid();

  const SelectionResult kept = tickAllButOne(grid, KeepRule::First, pathOf);
  EXPECT_EQ(tally.ticked(), kept.ticked);
  EXPECT_EQ(tally.groupsAllTicked(), 0u);
  EXPECT_EQ(figuresOf(tally), countedAfresh(grid));

  const std::size_t notes = groupPositionOf("a/notes.txt");
  invertGroup(grid, notes);
  EXPECT_EQ(figuresOf(tally), countedAfresh(grid));
  invertGroup(grid, notes);
  EXPECT_EQ(figuresOf(tally), countedAfresh(grid));
  EXPECT_EQ(tally.groupsAllTicked(), 0u);

  untickAll(grid);
  invertGroup(grid, notes);
  EXPECT_EQ(figuresOf(tally), (Figures{3, 18, 1}));
  EXPECT_TRUE(tally.allTicked(groupOrdinalOf("a/notes.txt")));

  tickInsideFolder(grid, tree.path() + "y/", pathOf);
  EXPECT_EQ(figuresOf(tally), countedAfresh(grid));
  const SelectionResult unticked = untickAll(grid);
  EXPECT_EQ(unticked.ticked, 5u);
  EXPECT_EQ(figuresOf(tally), (Figures{0, 0, 0}));
}

TEST_F(TickTallyTest, ADeletionsRebuildCountsTheFilesLeftTickedAndTheirGroups) {
  writeTree();
  tree.writeEach({"d/other.txt", "e/other.txt", "f/other.txt"}, "other");
  find(ByContent);
  setTick("a/notes.txt", true);
  setTick("d/other.txt", true);
  setTick("e/other.txt", true);
  // Changed since the find: the deletion refuses it, and it stays ticked in a group of two.
  tree.write("e/other.txt", "OTHER");
  core.deleteTicked();
  EXPECT_FALSE(exists("a/notes.txt"));
  EXPECT_FALSE(exists("d/other.txt"));
  ASSERT_TRUE(exists("e/other.txt"));
  EXPECT_EQ(figuresOf(tally), countedAfresh(core.grid()));
  EXPECT_TRUE(core.grid().ticked(recordOf("e/other.txt")));
  EXPECT_EQ(tally.ticked(), 1u);
}

} // namespace
} // namespace zandrex::test
