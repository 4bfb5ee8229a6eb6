#include "flow_fixture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zandrex::test {
namespace {

using GuardRunTest = FlowTest;

TEST_F(GuardRunTest, RefusesAHardLinkOfTheKeptCopy) {
  tree.write("a/x", "same");
  tree.mkdir("b");
  ASSERT_EQ(::link((tree.path() + "a/x").c_str(), (tree.path() + "b/x").c_str()), 0);
  find(ByName);
  tick({"b/x"});
  core.Command4_Click();
  EXPECT_TRUE(exists("b/x"));
  EXPECT_EQ(failureColumn(failcol::kReason),
            std::vector<std::string>{"Same file as a copy being kept (hard link)"});
}

TEST_F(GuardRunTest, RefusesChangedSizeOrTime) {
  tree.writeEach({"a/x", "b/x", "c/x"}, "same");
  find(ByName);
  tick({"a/x", "b/x"});
  tree.write("a/x", "longer");
  tree.setMtime("b/x", 1000000000);
  core.Command4_Click();
  EXPECT_TRUE(exists("a/x"));
  EXPECT_TRUE(exists("b/x"));
  EXPECT_EQ(failureColumn(failcol::kReason),
            (std::vector<std::string>{"Changed since the search", "Changed since the search"}));
}

TEST_F(GuardRunTest, ContentModeDeletesOnlyAgainstAnIdenticalKeptTwin) {
  tree.writeEach({"g1/keep", "g1/dup"}, "content-one");
  tree.writeEach({"g2/keep", "g2/dup"}, "content-two");
  tree.writeEach({"g3/keep", "g3/dup"}, "content-333");
  find(ByContent);
  tick({"g1/dup", "g2/dup", "g3/dup"});
  // Same size and time cannot save a twin whose bytes changed; a vanished twin saves nobody.
  struct stat before;
  ::stat((tree.path() + "g2/keep").c_str(), &before);
  tree.write("g2/keep", "CONTENT-two");
  struct timespec times[2] = {before.st_mtim, before.st_mtim};
  ::utimensat(AT_FDCWD, (tree.path() + "g2/keep").c_str(), times, 0);
  ::unlink((tree.path() + "g3/keep").c_str());
  core.Command4_Click();
  EXPECT_FALSE(exists("g1/dup"));
  EXPECT_TRUE(exists("g2/dup"));
  EXPECT_TRUE(exists("g3/dup"));
  EXPECT_EQ(failureColumn(failcol::kReason),
            (std::vector<std::string>{"The copy being kept no longer exists",
                                      "The copy being kept no longer has the same content"}));
}

TEST_F(GuardRunTest, AllTickedGroupsAreDeletedAndCounted) {
  tree.writeEach({"a/x", "b/x"}, "same");
  tree.writeEach({"a/y", "b/y"}, "other");
  find(ByContent);
  tick({"a/x", "b/x", "a/y"});
  core.Command4_Click();
  EXPECT_FALSE(exists("a/x"));
  EXPECT_FALSE(exists("b/x"));
  EXPECT_FALSE(exists("a/y"));
  EXPECT_EQ(core.groupsLostLastRun(), 1u);
  EXPECT_EQ(core.statusText2(), "0 bytes reclaimable; 1 group lost every copy");
}

} // namespace
} // namespace zandrex::test
