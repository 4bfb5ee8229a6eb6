#include "flow_fixture.h"
#include "source/protected_folders.h"
#include "select/selection_helpers.h"
#include "settings/protected_folder_settings.h"

#include <cstdio>
#include <unistd.h>

namespace zandrex::test {
namespace {

class ProtectedFoldersTest : public FlowTest {
protected:
  PathOf pathOf = [this](RecordId r) { return core.fullPath(r); };

  void protect(std::vector<std::string> relatives) {
    for (std::string& relative : relatives)
      relative = tree.path() + relative;
    EXPECT_TRUE(core.setProtectedFolders(std::move(relatives)).empty());
  }

  // The listed files, relative to the tree, that are ticked (or else protected).
  std::vector<std::string> files(bool tickedOnes) const {
    std::vector<std::string> out;
    const ReportGrid& grid = core.grid();
    for (std::size_t i = 0; i < grid.rowCount(); ++i) {
      const RecordId record = grid.row(i).record;
      if (!grid.row(i).isGroup() && (tickedOnes ? grid.ticked(record) : core.isProtected(record)))
        out.push_back(core.fullPath(record).substr(tree.path().size()));
    }
    return out;
  }
  std::vector<std::string> ticked() const { return files(true); }
  std::vector<std::string> protectedFiles() const { return files(false); }

  void rename(const std::string& from, const std::string& to) {
    ASSERT_EQ(std::rename((tree.path() + from).c_str(), (tree.path() + to).c_str()), 0);
  }
};

// The newest copy lies outside: the kept one is still a protected file, the rule choosing among
// the protected ones alone, and no other protected file is ticked. A group of protected files
// only keeps them all. The same whether the find compared content or not.
TEST_F(ProtectedFoldersTest, KeepHelpersKeepAProtectedCopyAndTickNoProtectedFile) {
  for (int mode : {ByName, ByContent}) {
    SCOPED_TRACE(mode);
    const std::pair<const char*, std::int64_t> files[] = {{"lib/a", 1000}, {"lib/deep/er/a", 2000},
                                                          {"out/a", 3000}, {"zz/a", 500},
                                                          {"lib/b", 100},  {"lib/deep/b", 200}};
    for (const auto& [file, mtime] : files) {
      tree.write(file, std::string(file).back() == 'a' ? "same" : "bee");
      tree.setMtime(file, mtime);
    }
    protect({"lib"});
    find(mode);
    tick({"lib/a", "lib/deep/b"});
    const SelectionResult result = core.keepOneInEachGroup(KeepRule::Newest);
    EXPECT_EQ(ticked(), (std::vector<std::string>{"out/a", "zz/a"}));
    EXPECT_EQ(tickedReport(result), "Ticked 2 files in 2 groups; 2 protected files left unticked");
    // zz/a is older than every protected copy, yet a protected one stays.
    core.keepOneInEachGroup(KeepRule::Oldest);
    EXPECT_EQ(ticked(), (std::vector<std::string>{"out/a", "zz/a"}));
  }
}

// "Tick every file in a folder..." over a tree holding a protected folder, and "Invert ticks in
// this group", tick none of its files; a tick set by hand is neither added nor taken.
TEST_F(ProtectedFoldersTest, FolderAndInvertHelpersSkipProtectedFiles) {
  tree.writeEach({"lib/a", "lib/sub/a", "out/a"}, "same");
  protect({"lib"});
  find(ByName);
  const ProtectedMarks* marks = &core.protectedMarks();
  tickInsideFolder(core.grid(), tree.path(), pathOf, marks);
  EXPECT_EQ(ticked(), (std::vector<std::string>{"out/a"}));
  tick({"lib/sub/a"});
  SelectionResult inverted = invertGroup(core.grid(), 0, marks);
  EXPECT_EQ(ticked(), (std::vector<std::string>{"lib/sub/a"}));
  EXPECT_EQ(tickedReport(inverted), "Ticked 0 files in 1 group; 1 protected file left unticked");
}

// Ticked by hand, a protected file is refused by the deletion guard and listed with its reason,
// and still stands as the copy kept: found by content, the copy outside goes only while it holds
// the same bytes.
TEST_F(ProtectedFoldersTest, TheGuardRefusesAProtectedFileTickedByHandAndKeepsItAsTheTwin) {
  for (const bool changed : {false, true}) {
    tree.writeEach({"lib/a", "out/a"}, "same");
    tree.setMtime("lib/a", 1000);
    protect({"lib"});
    find(ByContent);
    tick({"lib/a", "out/a"});
    if (changed) {
      tree.write("lib/a", "diff");
      tree.setMtime("lib/a", 1000);
    }
    core.deleteTicked();
    EXPECT_TRUE(exists("lib/a"));
    EXPECT_EQ(exists("out/a"), changed);
    std::vector<std::string> reasons{"In a protected folder"};
    if (changed)
      reasons.insert(reasons.begin(), "The copy being kept no longer has the same content");
    EXPECT_EQ(failureColumn(failcol::kReason), reasons);
  }
}

// The folder is decided by identity: chosen through a link, renamed after it was chosen, or the
// search reached through a link, it is the same folder; a sibling whose name merely starts with
// its name is not it; a search inside a protected folder protects everything it finds.
TEST_F(ProtectedFoldersTest, AProtectedFolderIsKnownByIdentityNotByPath) {
  tree.writeEach({"lib/a", "lib/sub/a", "library/a", "out/a"}, "same");
  ASSERT_EQ(::symlink("lib", (tree.path() + "to-lib").c_str()), 0);
  ASSERT_EQ(::symlink(".", (tree.path() + "here").c_str()), 0);
  const std::vector<std::string> inLib{"lib/a", "lib/sub/a"};

  protect({"to-lib"});
  find(ByName);
  EXPECT_EQ(protectedFiles(), inLib);

  protect({"lib"});
  rename("lib", "moved");
  find(ByName);
  EXPECT_EQ(protectedFiles(), (std::vector<std::string>{"moved/a", "moved/sub/a"}));
  rename("moved", "lib");

  protect({"lib"});
  useSource(tree.path() + "here/");
  find(ByName);
  ASSERT_EQ(groups().size(), 1u);
  EXPECT_EQ(protectedFiles(), (std::vector<std::string>{"here/lib/a", "here/lib/sub/a"}));

  // Set after the find: the rows shown are marked at once.
  protect({"lib/sub"});
  EXPECT_EQ(protectedFiles(), (std::vector<std::string>{"here/lib/sub/a"}));

  protect({""});
  useSource(tree.path() + "lib/");
  find(ByName);
  EXPECT_EQ(protectedFiles(), (std::vector<std::string>{"lib/a", "lib/sub/a"}));

  // Missing when set: said so, kept, and looked up again by the next find.
  const std::string later = tree.path() + "later";
  EXPECT_EQ(core.setProtectedFolders({later}), std::vector<std::string>{later});
  tree.write("later/a", "same");
  useSource(tree.path());
  find(ByName);
  EXPECT_EQ(protectedFiles(), std::vector<std::string>{"later/a"});
}

TEST(ProtectedFolderSettings, RoundTripAndBadCounts) {
  MemorySettings store;
  EXPECT_TRUE(loadProtectedFolders(store).empty());
  const std::vector<std::string> folders{"/data/photos", "/home/me/keep, this;one",
                                         "/odd-\xff 100%"};
  saveProtectedFolders(store, folders);
  EXPECT_EQ(loadProtectedFolders(store), folders);
  // Stored as text: a stray byte and "%" escaped; a "%" of a hand edit that escapes nothing stays.
  EXPECT_EQ(store.find("Protected", "Folder3"), "/odd-%FF 100%25");
  store.SaveSetting(kAppTitle, "Protected", "Folder3", "/50%/%4");
  EXPECT_EQ(loadProtectedFolders(store).back(), "/50%/%4");
  saveProtectedFolders(store, {"/only"});
  EXPECT_EQ(loadProtectedFolders(store), std::vector<std::string>{"/only"});
  for (const char* count : {"-1", "many"}) {
    store.SaveSetting(kAppTitle, "Protected", "Count", count);
    EXPECT_TRUE(loadProtectedFolders(store).empty()) << count;
  }
}

} // namespace
} // namespace zandrex::test
