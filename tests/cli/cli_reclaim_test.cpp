#include "cli/cli_run.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace zandrex::test {
namespace {

class CliReclaimTest : public ::testing::Test {
protected:
  TempDir tree;
  TempDir data;
  std::string dataHome = data.path().substr(0, data.path().size() - 1);

  RunResult run(Args args) {
    args.push_back(tree.path());
    RunOptions options;
    options.environment = {{"XDG_DATA_HOME", dataHome}};
    return runCli(args, options);
  }
};

TEST_F(CliReclaimTest, TrashMovesTheSelectedFilesIntoTheTrashAndSaysSo) {
  tree.writeEach({"a/x", "b/x"}, "1");
  const RunResult result = run({"--select", "first", "--trash"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, tree.path() + "b/x\n");
  EXPECT_NE(result.err.find("Moved 1 file to the trash; "), std::string::npos) << result.err;
  EXPECT_EQ(inodeOf(tree.path() + "b/x"), 0u);
  EXPECT_EQ(readFile(data.path() + "Trash/files/x"), "1");
}

TEST_F(CliReclaimTest, HardLinksKeepEveryNameAndRefusedReflinksAreListedWithExitThree) {
  tree.writeEach({"a/x", "b/x"}, "same");
  const RunResult linked = run({"--select", "first", "--link", "hard"});
  EXPECT_EQ(linked.exitCode, 0) << linked.err;
  EXPECT_EQ(inodeOf(tree.path() + "b/x"), inodeOf(tree.path() + "a/x"));
  EXPECT_NE(linked.err.find("Linked 1 file; "), std::string::npos) << linked.err;

  tree.writeEach({"a/y", "b/y"}, "also the same");
  const RunResult refused = run({"--by", "content", "--select", "first", "--link", "reflink"});
  if (refused.exitCode == 0)
    GTEST_SKIP() << "the temporary folder's file system shares extents";
  EXPECT_EQ(refused.exitCode, 3) << refused.err;
  EXPECT_NE(
      refused.err.find("not linked: " + tree.path() + "b/y: Not supported by this file system\n"),
      std::string::npos)
      << refused.err;
  EXPECT_NE(readFile(tree.path() + "b/y"), "");
}

TEST_F(CliReclaimTest, TheWaysExcludeEachOtherAndEachNeedsSelect) {
  tree.writeEach({"a/x", "b/x"}, "1");
  struct Case {
    Args args;
    std::string message;
  };
  const Case cases[] = {
      {{"--trash"}, "--trash needs --select"},
      {{"--link=reflink"}, "--link reflink needs --select"},
      {{"--select", "first", "--delete", "--trash"}, "exclude each other"},
      {{"--select", "first", "--link", "hard", "--link", "reflink"}, "exclude each other"},
      {{"--select", "first", "--link", "soft"}, "unknown link 'soft' for --link"},
  };
  for (const Case& c : cases) {
    const RunResult result = run(c.args);
    EXPECT_EQ(result.exitCode, 2) << c.message;
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
  }
  EXPECT_NE(inodeOf(tree.path() + "b/x"), 0u);
}

} // namespace
} // namespace zandrex::test
