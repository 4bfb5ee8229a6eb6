// The deletion guard, attacked between the find and the deletion: every case acts on the real
// tree at the moment the run is about to check, or to remove, a ticked file.
#include "flow_fixture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zandrex::test {
namespace {

class DeletionGuardTest : public FlowTest {
protected:
  TempDir outside;

  // Runs the deletion, calling act once when the run reaches step for the first time.
  void deleteActingAt(std::string_view step, const std::function<void()>& act) {
    bool acted = false;
    core.setDeletionStepHook([&](RecordId, std::string_view at) {
      if (at == step && !acted) {
        acted = true;
        act();
      }
    });
    core.deleteTicked();
    EXPECT_TRUE(acted) << step;
  }
  // Moves the tree's folder away and puts a link to target in its place.
  void swapForLink(const std::string& relative, const std::string& target) {
    const std::string path = tree.path() + relative;
    ASSERT_EQ(::rename(path.c_str(), (path + "-moved").c_str()), 0);
    ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0);
  }
  std::vector<std::string> reasons() const { return failureColumn(failcol::kReason); }
  void setMtime(const std::string& relative, const struct timespec& mtime) {
    struct timespec times[2] = {{0, UTIME_OMIT}, mtime};
    ASSERT_EQ(::utimensat(AT_FDCWD, (tree.path() + relative).c_str(), times, 0), 0);
  }
  struct timespec mtimeOf(const std::string& relative) const {
    struct stat st;
    ::stat((tree.path() + relative).c_str(), &st);
    return st.st_mtim;
  }
};

TEST_F(DeletionGuardTest, AFolderSwappedForALinkBeforeTheChecksIsRefused) {
  outside.write("a/x", "1");
  tree.writeEach({"a/x", "b/x"}, "1");
  find(ByName);
  tick({"a/x"});
  deleteActingAt("check", [&] { swapForLink("a", outside.path() + "a"); });
  EXPECT_TRUE(::access((outside.path() + "a/x").c_str(), F_OK) == 0);
  EXPECT_TRUE(exists("a-moved/x"));
  EXPECT_EQ(reasons(), std::vector<std::string>{"The folder was replaced or moved"});
}

TEST_F(DeletionGuardTest, AFolderSwappedForALinkJustBeforeTheRemovalIsNotFollowed) {
  outside.write("a/x", "1");
  tree.writeEach({"a/x", "b/x"}, "1");
  find(ByName);
  tick({"a/x"});
  deleteActingAt("remove", [&] { swapForLink("a", outside.path() + "a"); });
  // The removal stays in the folder checked: the very file found goes, wherever it was moved.
  EXPECT_TRUE(::access((outside.path() + "a/x").c_str(), F_OK) == 0);
  EXPECT_FALSE(exists("a-moved/x"));
}

TEST_F(DeletionGuardTest, ASourceSwappedForALinkDeletesNothing) {
  useSource(tree.path() + "src/");
  tree.writeEach({"src/a/x", "src/b/x"}, "1");
  outside.writeEach({"a/x", "b/x"}, "1");
  find(ByName);
  tick({"src/a/x"});
  swapForLink("src", outside.path());
  core.deleteTicked();
  EXPECT_TRUE(::access((outside.path() + "a/x").c_str(), F_OK) == 0);
  EXPECT_TRUE(exists("src-moved/a/x"));
  EXPECT_EQ(reasons(), std::vector<std::string>{"The searched folder was replaced or moved"});
}

TEST_F(DeletionGuardTest, AKeptCopyWhoseFolderBecameTheTickedFilesFolderSavesNothing) {
  tree.writeEach({"a/x", "b/x"}, "same bytes");
  find(ByContent);
  tick({"a/x"});
  // The kept b/x would now be a/x itself: compared with itself, it would always match.
  deleteActingAt("check", [&] { swapForLink("b", tree.path() + "a"); });
  EXPECT_TRUE(exists("a/x"));
  EXPECT_EQ(reasons(), std::vector<std::string>{"The copy being kept was replaced"});
}

TEST_F(DeletionGuardTest, AFileReplacedOrRetimedSinceTheFindIsKept) {
  tree.writeEach({"a/x", "b/x", "c/x", "d/x", "e/x"}, "same");
  find(ByName);
  tick({"a/x", "b/x", "c/x", "d/x"});
  // a: another file with the same size and time; b: only the nanoseconds changed;
  // c: more bytes; d: a link.
  // Each new name is made beside the old one and renamed over it, as editors save.
  const struct timespec aTime = mtimeOf("a/x");
  tree.write("a/new", "SAME");
  setMtime("a/new", aTime);
  ::rename((tree.path() + "a/new").c_str(), (tree.path() + "a/x").c_str());
  struct timespec bTime = mtimeOf("b/x");
  bTime.tv_nsec = (bTime.tv_nsec + 1) % 1000000000;
  setMtime("b/x", bTime);
  tree.write("c/x", "longer");
  ::symlink((tree.path() + "e/x").c_str(), (tree.path() + "d/new").c_str());
  ::rename((tree.path() + "d/new").c_str(), (tree.path() + "d/x").c_str());
  core.deleteTicked();
  for (const char* kept : {"a/x", "b/x", "c/x", "d/x", "e/x"})
    EXPECT_TRUE(exists(kept)) << kept;
  EXPECT_EQ(reasons(),
            (std::vector<std::string>{"The file was replaced", "Changed since the search",
                                      "Changed since the search", "The file was replaced"}));
}

TEST_F(DeletionGuardTest, AHardLinkOfTheKeptCopyIsNeverDeleted) {
  tree.write("a/x", "same");
  tree.mkdir("b");
  ASSERT_EQ(::link((tree.path() + "a/x").c_str(), (tree.path() + "b/x").c_str()), 0);
  find(ByName);
  tick({"b/x"});
  core.deleteTicked();
  EXPECT_TRUE(exists("b/x"));
  EXPECT_EQ(reasons(), std::vector<std::string>{"Same file as a copy being kept (hard link)"});
}

TEST_F(DeletionGuardTest, ContentModeDeletesOnlyAgainstAnIdenticalKeptTwin) {
  tree.writeEach({"g1/keep", "g1/dup"}, "content-one");
  tree.writeEach({"g2/keep", "g2/dup"}, "content-two");
  tree.writeEach({"g3/keep", "g3/dup"}, "content-333");
  tree.writeEach({"g4/keep", "g4/dup"}, "content-four");
  find(ByContent);
  tick({"g1/dup", "g2/dup", "g3/dup", "g4/dup"});
  // Same size and time cannot save a twin whose bytes changed; a vanished twin, or one that
  // lost its bytes at the end, saves nobody.
  const struct timespec g2 = mtimeOf("g2/keep");
  tree.write("g2/keep", "CONTENT-two");
  setMtime("g2/keep", g2);
  ::unlink((tree.path() + "g3/keep").c_str());
  const struct timespec g4 = mtimeOf("g4/keep");
  ASSERT_EQ(::truncate((tree.path() + "g4/keep").c_str(), 5), 0);
  setMtime("g4/keep", g4);
  core.deleteTicked();
  EXPECT_FALSE(exists("g1/dup"));
  EXPECT_TRUE(exists("g2/dup"));
  EXPECT_TRUE(exists("g3/dup"));
  EXPECT_TRUE(exists("g4/dup"));
  EXPECT_EQ(reasons(),
            (std::vector<std::string>{"The copy being kept no longer has the same content",
                                      "The copy being kept no longer exists",
                                      "The copy being kept no longer has the same content"}));
}

TEST_F(DeletionGuardTest, AllTickedGroupsAreDeletedAndCounted) {
  tree.writeEach({"a/x", "b/x"}, "same");
  tree.writeEach({"a/y", "b/y"}, "other");
  find(ByContent);
  tick({"a/x", "b/x", "a/y"});
  core.deleteTicked();
  EXPECT_FALSE(exists("a/x"));
  EXPECT_FALSE(exists("b/x"));
  EXPECT_FALSE(exists("a/y"));
  EXPECT_EQ(core.groupsLostLastRun(), 1u);
  EXPECT_EQ(core.statusText2(), "0 bytes reclaimable; 1 group lost every copy");
}

} // namespace
} // namespace zandrex::test
