#include "test_support.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zandrex::test {
namespace {

struct RunResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

RunResult runCli(const std::string& args) {
  const TempDir scratch;
  const std::string errPath = scratch.path() + "stderr";
  FILE* pipe = ::popen((std::string(ZANDREX_CLI_PATH) + " " + args + " 2>" + errPath).c_str(), "r");
  RunResult result;
  char buffer[4096];
  while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
    result.out.append(buffer, n);
  const int status = ::pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.err = readFile(errPath);
  return result;
}

std::string shellQuoted(const std::string& path) {
  return "'" + path + "'";
}

bool exists(const std::string& path) {
  return ::access(path.c_str(), F_OK) == 0;
}

TEST(Cli, ListsGroupsLikeTheGridAndEndsWithTheStatusText) {
  TempDir tree;
  tree.write("a/Song.mp3", "1");
  tree.write("b/song.mp3", "22");
  tree.write("b/other", "x");
  tree.writeEach({"top1", "top2"}, "same");
  RunResult r = runCli(shellQuoted(tree.path()));
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "File: song.mp3 (2 files, 1 byte reclaimable)\n" + tree.path() + "a/Song.mp3\n" +
                       tree.path() + "b/song.mp3\n\n2 files\n");
  // Without subfolders the one-byte files below do not meet.
  r = runCli("--by size --no-subfolders " + shellQuoted(tree.path()));
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "Size: 4 (2 files, 4 bytes reclaimable)\n" + tree.path() + "top1\n" +
                       tree.path() + "top2\n\n2 files\n");
  EXPECT_EQ(runCli("--by filename-size " + shellQuoted(tree.path())).out, "0 files\n");
}

TEST(Cli, ContentModeAsJson) {
  TempDir tree;
  tree.writeEach({"x/one", "y/two"}, "abc");
  tree.write("z/three", "abd");
  tree.writeEach({"odd-\xff", "odd-\xfe"}, "zz");
  RunResult r = runCli("--by content --json " + shellQuoted(tree.path()));
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("\"mode\":\"content\",\"files\":4,"), std::string::npos);
  EXPECT_NE(r.out.find("\"checksum\":\"352441C2\""), std::string::npos);
  // The key reads as size, CRC-32 and XXH3-128.
  EXPECT_NE(r.out.find("{\"key\":\"3:352441C2:"), std::string::npos);
  EXPECT_NE(r.out.find("\"name\":\"one\",\"size\":3"), std::string::npos);
  EXPECT_NE(r.out.find("odd-\\udcff"), std::string::npos);
  EXPECT_EQ(r.out.find('\xff'), std::string::npos);
}

TEST(Cli, BadUsageAndUnreadableSourcesExitWithTwo) {
  // No folder, unknown words, options that do not go together, a file for a folder.
  for (const char* args : {"", "--by colour /tmp", "--frobnicate /tmp", "--delete /tmp",
                           "--select first --json /tmp", "/etc/passwd"})
    EXPECT_EQ(runCli(args).exitCode, 2) << args;
  const RunResult r = runCli("/nonexistent/zandrex");
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("/nonexistent/zandrex"), std::string::npos);
}

TEST(Cli, SystemFolderSourceWarnsOnStandardErrorAndGoesOn) {
  RunResult r = runCli("--no-subfolders --by size /etc");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.err.find("Warning"), std::string::npos);
  EXPECT_NE(r.err.find("/etc\n"), std::string::npos);
  EXPECT_NE(r.out.find(" files\n"), std::string::npos);
}

TEST(Cli, SelectPrintsAndDeleteRemovesThroughTheGuardWhichEndsWithThreeWhenItRefuses) {
  TempDir tree;
  tree.writeEach({"a/x", "c/x"}, "same");
  tree.mkdir("b");
  // A hard link of the kept copy frees nothing: the guard keeps it, whoever runs the test.
  ASSERT_EQ(::link((tree.path() + "a/x").c_str(), (tree.path() + "b/x").c_str()), 0);
  RunResult r = runCli("--by content --select first " + shellQuoted(tree.path()));
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, tree.path() + "b/x\n" + tree.path() + "c/x\n");
  EXPECT_NE(r.err.find("Ticked 2 files in 1 group"), std::string::npos);
  EXPECT_TRUE(exists(tree.path() + "c/x"));

  r = runCli("--by content --select first --delete " + shellQuoted(tree.path()));
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_NE(r.err.find("not deleted: " + tree.path() + "b/x: "), std::string::npos) << r.err;
  EXPECT_TRUE(exists(tree.path() + "b/x"));
  EXPECT_FALSE(exists(tree.path() + "c/x"));

  ASSERT_EQ(::unlink((tree.path() + "b/x").c_str()), 0);
  tree.write("d/x", "same");
  r = runCli("--by content --select first --delete " + shellQuoted(tree.path()));
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_FALSE(exists(tree.path() + "d/x"));
  EXPECT_TRUE(exists(tree.path() + "a/x"));
}

} // namespace
} // namespace zandrex::test
