// The command line's word on the error report, from the real zandrex-cli: it says where the
// report was written only when it was, and otherwise why not, with the report itself.
#include "test_support.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>

namespace zandrex::test {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(undefined_behavior_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif
// The sanitizers' runtime needs descriptors of its own to check the error being thrown, and the
// way these tests end the command leaves it none: it stops the program with a report of its own.
constexpr const char* kSanitizedSkip =
    "the command line is ended by running out of descriptors, which the sanitizer runtime cannot "
    "run without";

struct RunResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

std::string quoted(const std::string& text) {
  return "'" + text + "'";
}

// Runs the command line over a folder chain deeper than its descriptor limit lets it walk, so an
// error ends the find, with home as its home folder and no XDG folders of the caller's.
RunResult runOutOfDescriptors(const TempDir& home) {
  const TempDir tree;
  makeFolderChain(tree.path(), "d", 60);
  const TempDir scratch;
  const std::string errPath = scratch.path() + "stderr";
  const std::string command =
      "ulimit -n 12 && exec env -u XDG_CONFIG_HOME HOME=" + quoted(home.path()) + " " +
      ZANDREX_CLI_PATH + " --by filename " + quoted(tree.path()) + " 2>" + quoted(errPath);
  FILE* pipe = ::popen(command.c_str(), "r");
  RunResult result;
  char buffer[4096];
  while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
    result.out.append(buffer, n);
  const int status = ::pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.err = readFile(errPath);
  return result;
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

constexpr const char* kEnded = "zandrex-cli: an error ended the command; ";
constexpr const char* kLastLine = "  Call Stack: Form1.bnFillPreview_Click() ---";

TEST(CliErrorReport, AMissingDocumentsFolderIsMadeAndTheReportWrittenWhereTheMessageSays) {
  if (kSanitized)
    GTEST_SKIP() << kSanitizedSkip;
  const TempDir home;
  const RunResult r = runOutOfDescriptors(home);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "");
  const std::string file = home.path() + "Documents/Zandrex/ErrorReport.txt";
  EXPECT_TRUE(r.err.starts_with(std::string(kEnded) + "the report was added to " + file + "\n"))
      << r.err;
  const std::string report = readFile(file);
  EXPECT_TRUE(contains(report, "Too many open files")) << report;
  EXPECT_TRUE(contains(report, kLastLine)) << report;
  struct stat entry {};
  ASSERT_EQ(::stat((home.path() + "Documents").c_str(), &entry), 0);
  EXPECT_EQ(entry.st_mode & 0077, 0u);
}

TEST(CliErrorReport, AReportThatCannotBeWrittenIsSaidSoWithWhyAndShownInFull) {
  if (kSanitized)
    GTEST_SKIP() << kSanitizedSkip;
  const TempDir home;
  home.write("Documents", "a file where the folder should be");
  const RunResult r = runOutOfDescriptors(home);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(contains(r.err, "was added")) << r.err;
  const std::string folder = home.path() + "Documents/Zandrex";
  EXPECT_TRUE(r.err.starts_with(std::string(kEnded) + "the report could not be written to " +
                                folder + "/ErrorReport.txt: cannot create the folder '" + folder +
                                "': Not a directory\nzandrex-cli: the report follows:\n"))
      << r.err;
  // All of it, to its last call-stack line: it is nowhere else.
  EXPECT_TRUE(contains(r.err, "\n  Too many open files \n")) << r.err;
  EXPECT_TRUE(contains(r.err, "\n  " + std::string(kLastLine))) << r.err;
  EXPECT_EQ(readFile(home.path() + "Documents"), "a file where the folder should be");
}

} // namespace
} // namespace zandrex::test
