// Trees no path can name and descriptor limits a deep tree would exceed: the walk, the content
// pass and the deletion must all still work, or say that they cannot.
#include "flow_fixture.h"

#include <dirent.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>

namespace zandrex::test {
namespace {

class DeepTreeTest : public FlowTest {
protected:
  struct rlimit saved_ {};
  void SetUp() override {
    FlowTest::SetUp();
    ::getrlimit(RLIMIT_NOFILE, &saved_);
  }
  void TearDown() override {
    ::setrlimit(RLIMIT_NOFILE, &saved_);
    FlowTest::TearDown();
  }
  static rlim_t openDescriptors() {
    rlim_t open = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
      while (::readdir(dir))
        ++open;
      ::closedir(dir);
    }
    return open;
  }
  // Lowers the descriptor limit to what is open now plus spare.
  void limitDescriptors(rlim_t spare) {
    struct rlimit lowered = saved_;
    lowered.rlim_cur = openDescriptors() + spare;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
  }
  // Two equal files and a different one at the bottom of a chain of folders.
  UniqueFd deepPair(std::size_t levels) {
    UniqueFd bottom = makeFolderChain(tree.path(), "d", levels);
    EXPECT_TRUE(bottom.valid());
    writeIn(bottom.get(), "keep", "same bytes");
    writeIn(bottom.get(), "dup", "same bytes");
    writeIn(bottom.get(), "odd", "other byte");
    return bottom;
  }
};

TEST_F(DeepTreeTest, TwentyThousandLevelsAreListedReadAndDeletedFrom) {
  constexpr std::size_t kLevels = 20000;
  UniqueFd bottom = deepPair(kLevels);
  find(ByContent);
  ASSERT_EQ(fileRows(), 2u);
  const RecordId dup = core.grid().row(1).record;
  // Far beyond what a system call could take as a path.
  EXPECT_GT(core.fullPath(dup).size(), 2 * kLevels);
  EXPECT_EQ(presenter.shown, 0);
  core.grid().setTicked(dup, true);
  core.deleteTicked();
  EXPECT_TRUE(view.failureWindows.empty());
  EXPECT_FALSE(existsIn(bottom.get(), "dup"));
  EXPECT_TRUE(existsIn(bottom.get(), "keep"));
}

TEST_F(DeepTreeTest, APairDeeperThanTheDescriptorLimitIsFound) {
  UniqueFd bottom = deepPair(400);
  limitDescriptors(200);
  find(ByContent);
  EXPECT_EQ(fileRows(), 2u);
  EXPECT_EQ(presenter.shown, 0);
}

TEST_F(DeepTreeTest, RunningOutOfDescriptorsIsAnErrorNotAnEmptyFolder) {
  UniqueFd bottom = deepPair(100);
  bottom.reset();
  const rlim_t before = openDescriptors();
  limitDescriptors(20);
  find(ByName);
  EXPECT_EQ(presenter.shown, 1);
  EXPECT_EQ(fileRows(), 0u);
  EXPECT_NE(readFile(reports.path() + "Zandrex/ErrorReport.txt").find("Too many open files"),
            std::string::npos);
  // The walk gave its handles back: a failed find leaves none behind.
  EXPECT_EQ(openDescriptors(), before);
}

using RepeatedFolderTest = FlowTest;

// A folder mounted a second time inside the tree is one folder met twice: entered once.
TEST_F(RepeatedFolderTest, AFolderMountedAgainInsideTheTreeIsEnteredOnce) {
  tree.writeEach({"a/x", "b/x"}, "1");
  tree.mkdir("a/again");
  const std::string again = tree.path() + "a/again";
  // A mount table of this test's own, so nothing outlives it.
  if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) ||
      ::mount((tree.path() + "b").c_str(), again.c_str(), nullptr, MS_BIND, nullptr) != 0)
    GTEST_SKIP() << "no mount namespace here";
  find(ByName);
  ::umount2(again.c_str(), MNT_DETACH);
  EXPECT_EQ(groups(), (Groups{{"a/again/x", "a/x"}}));
}

} // namespace
} // namespace zandrex::test
