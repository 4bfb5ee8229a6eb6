#include "flow_fixture.h"
#include "source/path_routines.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sys/mount.h>
#include <unistd.h>

namespace zandrex::test {
namespace {

class SeveralFoldersTest : public FlowTest {
protected:
  void useSources(const std::vector<std::string>& relatives) {
    std::vector<std::string> folders;
    for (const std::string& relative : relatives)
      folders.push_back(tree.path() + relative);
    core.setSources(folders);
  }
};

TEST_F(SeveralFoldersTest, NestedRepeatedOrLinkedFoldersListEachFileOnceInOneOrder) {
  tree.writeEach({"a/x", "a/b/x", "a/b/c/x", "d/x"}, "1");
  ASSERT_EQ(::symlink("a/b", (tree.path() + "link-to-b").c_str()), 0);
  useSources({"a", "d"});
  find(ByName);
  const Groups expected{{"a/b/c/x", "a/b/x", "a/x", "d/x"}};
  ASSERT_EQ(groups(), expected);
  const std::vector<std::vector<std::string>> cases = {
      {"d", "a", "a/b"},    {"a/b", "d", "a"},       {"a/b/c", "a", "d", "a/b"},
      {"a", "a", "d", "d"}, {"link-to-b", "a", "d"}, {"a", "d", "link-to-b/"}};
  for (const auto& sources : cases) {
    useSources(sources);
    find(ByName);
    EXPECT_EQ(groups(), expected) << ::testing::PrintToString(sources);
    EXPECT_EQ(core.statusText(), "4 files");
  }
}

TEST_F(SeveralFoldersTest, WithoutSubfoldersEachGivenFolderListsItsOwnFiles) {
  tree.writeEach({"a/x", "a/b/x", "a/b/c/x"}, "1");
  view.subfolders = 0;
  useSources({"a/b", "a"});
  find(ByName);
  EXPECT_EQ(groups(), (Groups{{"a/x", "a/b/x"}}));
}

TEST_F(SeveralFoldersTest, GroupsSpanFoldersAndTheSecondFoldersCopyIsDeletedThroughTheGuard) {
  TempDir other;
  tree.write("one/photo.jpg", "same bytes");
  other.write("two/deep/photo.jpg", "same bytes");
  other.write("two/deep/lone.jpg", "other bytes");
  core.setSources({tree.path() + "one", other.path() + "two"});
  find(ByContent);
  ASSERT_EQ(fileRows(), 2u);
  // Both files in one group, whichever folder's real path sorts first.
  const ReportGrid& grid = core.grid();
  ASSERT_EQ(grid.rowCount(), 3u);
  const std::string second = other.path() + "two/deep/photo.jpg";
  const RecordId copy =
      core.fullPath(grid.row(1).record) == second ? grid.row(1).record : grid.row(2).record;
  ASSERT_EQ(core.fullPath(copy), second);
  core.grid().setTicked(copy, true);
  core.deleteTicked();
  EXPECT_TRUE(view.failureWindows.empty());
  EXPECT_TRUE(exists("one/photo.jpg"));
  EXPECT_EQ(::access((other.path() + "two/deep/photo.jpg").c_str(), F_OK), -1);
  EXPECT_EQ(::access((other.path() + "two/deep/lone.jpg").c_str(), F_OK), 0);
}

TEST_F(SeveralFoldersTest, AFolderOnTheWayToAGivenFolderReplacedAfterTheFindIsRefused) {
  tree.writeEach({"keep/x", "via/given/x"}, "1");
  useSources({"keep", "via/given"});
  find(ByName);
  ASSERT_EQ(fileRows(), 2u);
  tick({"via/given/x"});
  // The folder passed on the way, not the given one nor the file, is swapped for a link to
  // where it went: the very folder and file the find saw lie behind it.
  ASSERT_EQ(::rename((tree.path() + "via").c_str(), (tree.path() + "was-via").c_str()), 0);
  ASSERT_EQ(::symlink("was-via", (tree.path() + "via").c_str()), 0);
  core.deleteTicked();
  EXPECT_TRUE(exists("was-via/given/x"));
  EXPECT_EQ(view.failureWindows.size(), 1u);
}

TEST_F(SeveralFoldersTest, ABindMountOfAGivenFolderAddsNothing) {
  tree.writeEach({"real/x", "real/sub/x"}, "1");
  tree.mkdir("mounted");
  if (::mount((tree.path() + "real").c_str(), (tree.path() + "mounted").c_str(), nullptr, MS_BIND,
              nullptr) != 0)
    GTEST_SKIP() << "cannot bind-mount here: " << std::strerror(errno);
  useSources({"mounted", "real"});
  find(ByName);
  EXPECT_EQ(groups(), (Groups{{"mounted/sub/x", "mounted/x"}}));
  ::umount2((tree.path() + "mounted").c_str(), MNT_DETACH);
}

TEST_F(SeveralFoldersTest, AFolderThatCannotBeOpenedLeavesTheOthersListed) {
  tree.writeEach({"a/x", "b/x"}, "1");
  useSources({"a", "gone", "b"});
  find(ByName);
  EXPECT_EQ(groups(), (Groups{{"a/x", "b/x"}}));
  EXPECT_EQ(presenter.shown, 0);
}

TEST_F(SeveralFoldersTest, TheWarningNamesEachSystemFolderOnceAndNoDeclinesTheWholeFind) {
  tree.writeEach({"sys/a/x", "sys/b/x", "plain/x"}, "1");
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(tree.path().c_str(), nullptr),
                                                   &std::free);
  const std::string system = std::string(real.get()) + "/sys";
  setSpecialFolderOverride([&](int number) -> std::string {
    return number == CSIDL_PROGRAM_FILES ? system : "/nonexistent-system";
  });
  view.continueAnyway = false;
  useSources({"plain", "sys/a", "sys/b", "sys"});
  find(ByName);
  EXPECT_EQ(view.warnings, std::vector<std::string>{system + "\r\n"});
  EXPECT_EQ(core.grid().recordCount(), 0u);
  view.continueAnyway = true;
  find(ByName);
  EXPECT_EQ(groups(), (Groups{{"plain/x", "sys/a/x", "sys/b/x"}}));
}

TEST(CommonFolder, ComparesWholeNames) {
  const struct {
    std::vector<std::string> paths;
    std::string common;
  } cases[] = {
      {{"/a/b", "/a/bc"}, "/a"},
      {{"/a/b/c", "/a/b"}, "/a/b"},
      {{"/ab", "/ac"}, "/"},
      {{"/x", "/y/z"}, "/"},
      {{"/", "/etc"}, "/"},
      {{"/a/b"}, "/a/b"},
      {{"/a/b", "/a/b/c", "/a/bd"}, "/a"},
      {{}, ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(commonFolder(c.paths), c.common) << ::testing::PrintToString(c.paths);
  EXPECT_EQ(pathBelow("/a/b/c", "/a"), "b/c");
  EXPECT_EQ(pathBelow("/a/b", "/"), "a/b");
  EXPECT_EQ(pathBelow("/a", "/a"), "");
}

} // namespace
} // namespace zandrex::test
