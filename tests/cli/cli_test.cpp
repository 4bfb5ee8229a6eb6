#include "cli/cli_run.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <set>
#include <thread>

namespace zandrex::test {
namespace {

using Paths = std::set<std::string>;

std::vector<std::string> split(const std::string& text, char end) {
  std::vector<std::string> parts;
  std::size_t from = 0;
  for (std::size_t at; (at = text.find(end, from)) != std::string::npos; from = at + 1)
    parts.push_back(text.substr(from, at - from));
  EXPECT_EQ(from, text.size()) << "the last part is not ended";
  return parts;
}

// What a shell makes of each line, as bash reads a quoted line pasted into it; a line that is
// not quoted (it starts with "/") stands for itself.
std::vector<std::string> readBack(const std::vector<std::string>& lines) {
  const TempDir scratch;
  std::string script = "printf '%s\\0'";
  for (const std::string& line : lines)
    if (line.starts_with("'") || line.starts_with("$"))
      script += " " + line;
  script += "\n";
  const std::string scriptPath = scratch.write("script", script);
  FILE* pipe = ::popen(("bash " + scriptPath).c_str(), "r");
  std::string decoded;
  char buffer[4096];
  while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
    decoded.append(buffer, n);
  EXPECT_EQ(::pclose(pipe), 0);
  std::vector<std::string> words = split(decoded, '\0');
  std::vector<std::string> result;
  std::size_t next = 0;
  for (const std::string& line : lines) {
    if (line.starts_with("'") || line.starts_with("$"))
      result.push_back(next < words.size() ? words[next++] : "<missing>");
    else
      result.push_back(line);
  }
  return result;
}

Paths asSet(const std::vector<std::string>& items) {
  return {items.begin(), items.end()};
}

// A plain path as a JSON string.
std::string jsonQuoted(const std::string& text) {
  return "\"" + text + "\"";
}

std::string asciiLower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  return text;
}

TEST(Cli, ListsGroupsLikeTheGridAndEndsWithTheStatusText) {
  TempDir tree;
  tree.write("a/Song.mp3", "1");
  tree.write("b/song.mp3", "22");
  tree.write("b/other", "x");
  tree.writeEach({"top1", "top2"}, "same");
  RunResult r = runCli({tree.path()});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "File: song.mp3 (2 files, not verified)\n" + tree.path() + "a/Song.mp3\n" +
                       tree.path() + "b/song.mp3\n\n2 files\n");
  // Without subfolders the one-byte files below do not meet.
  r = runCli({"--by", "size", "--no-subfolders", tree.path()});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "Size: 4 (2 files, not verified)\n" + tree.path() + "top1\n" + tree.path() +
                       "top2\n\n2 files\n");
  EXPECT_EQ(runCli({"--by", "filename-size", tree.path()}).out, "0 files\n");
}

TEST(Cli, ContentModeAsJson) {
  TempDir tree;
  tree.writeEach({"x/one", "y/two"}, "abc");
  tree.write("z/three", "abd");
  tree.writeEach({"odd-\xff", "odd-\xfe"}, "zz");
  RunResult r = runCli({"--by", "content", "--json", tree.path()});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("\"mode\":\"content\",\"files\":4,"), std::string::npos);
  EXPECT_NE(r.out.find("\"checksum\":\"352441C2\""), std::string::npos);
  // The key reads as size, CRC-32 and XXH3-128.
  EXPECT_NE(r.out.find("{\"key\":\"3:352441C2:"), std::string::npos);
  EXPECT_NE(r.out.find("\"name\":\"one\",\"size\":3"), std::string::npos);
  EXPECT_NE(r.out.find("odd-\\udcff"), std::string::npos);
  EXPECT_EQ(r.out.find('\xff'), std::string::npos);
  // However many files are read at once, the same groups in the same order.
  for (const char* readers : {"--readers=1", "--readers=64"})
    EXPECT_EQ(runCli({"--by", "content", "--json", readers, tree.path()}).out, r.out) << readers;
}

TEST(Cli, CsvListsOneRowPerFileWithItsGroupAndTick) {
  TempDir tree;
  tree.writeEach({"x/a,b", "y/a,b"}, "abc");
  tree.writeEach({"x/odd-\xff", "y/odd-\xff"}, "zz");
  RunResult r = runCli({"--csv", tree.path()});
  EXPECT_EQ(r.exitCode, 0);
  const std::string path = tree.path();
  EXPECT_EQ(r.out.find("group,key,path,folder,name,size,date,checksum,ticked,protected\r\n"
                       "1,\"a,b\",\"" +
                       path + "x/a,b\"," + path + "x/,\"a,b\",3,"),
            0u);
  EXPECT_NE(r.out.find("\r\n2,odd-\\udcff," + path + "y/odd-\\udcff," + path + "y/,odd-\\udcff,2,"),
            std::string::npos);
  EXPECT_EQ(r.out.substr(r.out.size() - 7), ",,0,0\r\n");
  EXPECT_EQ(r.out.find('\xff'), std::string::npos);
}

TEST(Cli, BadUsageAndUnreadableSourcesExitWithTwo) {
  // No folder, unknown words, options that do not go together, a file for a folder, an option
  // word where the folder should be, filters that cannot be read.
  const Args cases[] = {{},
                        {"--by", "colour", "/tmp"},
                        {"--frobnicate", "/tmp"},
                        {"--delete", "/tmp"},
                        {"--select", "first", "--json", "/tmp"},
                        {"--null", "--json", "/tmp"},
                        {"--readers", "0", "/tmp"},
                        {"--readers=65", "/tmp"},
                        {"--readers", "-1", "/tmp"},
                        {"-0", "--by", "size", "--json", "/tmp"},
                        {"--csv", "--json", "/tmp"},
                        {"--csv", "--select", "first", "/tmp"},
                        {"/etc/passwd"},
                        {"-x"},
                        {"/tmp", "/etc/passwd"},
                        {"--min-size", "1.5M", "/tmp"},
                        {"--min-size=", "/tmp"},
                        {"/tmp", "--min-size"},
                        {"--exclude", "sub/*.tmp", "/tmp"},
                        {"--exclude=", "/tmp"}};
  for (const Args& args : cases) {
    const RunResult r = runCli(args);
    EXPECT_EQ(r.exitCode, 2) << ::testing::PrintToString(args);
    EXPECT_EQ(r.out, "") << ::testing::PrintToString(args);
  }
  const RunResult r = runCli({"/nonexistent/zandrex"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("'/nonexistent/zandrex'"), std::string::npos);
  const RunResult help = runCli({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("--allow-system-folders"), std::string::npos);
}

TEST(Cli, SeveralFoldersListEachFileOnceHoweverTheyNestAndJsonNamesThemAll) {
  TempDir tree;
  tree.writeEach({"a/x", "a/b/x", "c/x"}, "1");
  ASSERT_EQ(::symlink("a/b", (tree.path() + "link").c_str()), 0);
  const std::string listing = "File: x (3 files, not verified)\n" + tree.path() + "a/b/x\n" +
                              tree.path() + "a/x\n" + tree.path() + "c/x\n\n3 files\n";
  // Nested, linked and repeated: the engine's several-folder cases hold the other orders.
  const RunResult listed =
      runCli({tree.path() + "link", tree.path() + "c", tree.path() + "a", tree.path() + "c/"});
  EXPECT_EQ(listed.exitCode, 0) << listed.err;
  EXPECT_EQ(listed.out, listing);
  // "source" only for one folder, "sources" always; each as its real path.
  RunResult r = runCli({"--json", tree.path() + "link"});
  EXPECT_TRUE(r.out.starts_with("{\"source\":\"" + tree.path() + "a/b/\",\"sources\":[\"" +
                                tree.path() + "a/b/\"],\"mode\":"))
      << r.out;
  r = runCli({"--json", tree.path() + "c", tree.path() + "a"});
  EXPECT_TRUE(r.out.starts_with("{\"sources\":[\"" + tree.path() + "c/\",\"" + tree.path() +
                                "a/\"],\"mode\":"))
      << r.out;
}

// The deletion across folders is the engine's (several folders); here the refusal looks at every
// folder given, not only the first.
TEST(Cli, DeleteAcrossFoldersRefusesAnySystemFolderAmongThem) {
  if (runCli({"--help"}, unprivileged()).exitCode == kCannotRunUnprivileged)
    GTEST_SKIP() << "no user here who may not write into /etc";
  TempDir first;
  ::chmod(first.path().c_str(), 0755);
  const RunResult r = runCli(
      {"--no-subfolders", "--select", "first", "--delete", first.path(), "/etc"}, unprivileged());
  EXPECT_EQ(r.exitCode, 2) << r.err;
  EXPECT_NE(r.err.find("refusing to delete in a system folder: /etc"), std::string::npos) << r.err;
}

TEST(Cli, MinSizeAndExcludeLeaveOutFilesAndFoldersWhileTheDefaultsChangeNothing) {
  TempDir tree;
  tree.writeEach({"small/a", "small/b"}, "x");
  tree.writeEach({"exact/a", "exact/b"}, std::string(1024, 'x'));
  tree.writeEach({"drop/a.tmp", "drop/b.tmp", "cache/a", "cache/b", "empty/a", "empty/b"}, "");
  const std::string all = runCli({"--by", "size", "--json", tree.path()}).out;
  EXPECT_NE(all.find("\"files\":10,"), std::string::npos) << all;
  EXPECT_EQ(runCli({"--by", "size", "--json", "--min-size", "0", tree.path()}).out, all);
  EXPECT_EQ(runCli({"--by", "size", "--json", "--exclude", "no-such-*", tree.path()}).out, all);

  RunResult r = runCli({"--by", "size", "--min-size=1k", tree.path()});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "Size: 1024 (2 files, not verified)\n" + tree.path() + "exact/a\n" +
                       tree.path() + "exact/b\n\n2 files\n");
  r = runCli(
      {"--by", "size", "--exclude", "*.tmp", "--exclude=cache", "--exclude", "[es]*", tree.path()});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "0 files\n");
}

TEST(Cli, SystemFolderSourceWarnsOnStandardErrorAndGoesOn) {
  RunResult r = runCli({"--no-subfolders", "--by", "size", "/etc"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.err.find("Warning"), std::string::npos);
  EXPECT_NE(r.err.find("/etc\n"), std::string::npos);
  EXPECT_NE(r.out.find(" files\n"), std::string::npos);
}

TEST(Cli, SelectPrintsAndDeleteRemovesThroughTheGuard) {
  TempDir tree;
  tree.writeEach({"a/x", "c/x"}, "same");
  tree.mkdir("b");
  // A hard link of the kept copy frees nothing: it is not selected.
  ASSERT_EQ(::link((tree.path() + "a/x").c_str(), (tree.path() + "b/x").c_str()), 0);
  RunResult r = runCli({"--by", "content", "--select", "first", tree.path()});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, tree.path() + "c/x\n");
  EXPECT_NE(r.err.find("Ticked 1 file in 1 group; 1 hard link of a kept copy left unticked\n"),
            std::string::npos)
      << r.err;
  EXPECT_TRUE(exists(tree.path() + "c/x"));

  r = runCli({"--by", "content", "--select", "first", "--delete", tree.path()});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("Deleted 1 file;"), std::string::npos) << r.err;
  EXPECT_TRUE(exists(tree.path() + "b/x"));
  EXPECT_FALSE(exists(tree.path() + "c/x"));

  // Several groups: the count is of the files the run removed, told apart from those it kept
  // although the records are renumbered once it ends.
  for (const std::string name : {"p", "q", "r"})
    tree.writeEach({"m/" + name, "n/" + name}, name);
  r = runCli({"--by", "content", "--select", "first", "--delete", tree.path()});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.err.find("Deleted 3 files;"), std::string::npos) << r.err;
}

// Files under a --protect folder are listed and marked, never selected nor deleted; the folder
// is known by identity, so one given through a link protects where the link leads.
TEST(Cli, ProtectedFoldersAreListedMarkedAndNeverSelected) {
  TempDir tree;
  tree.writeEach({"lib/x", "lib/sub/x", "out/x"}, "same");
  ASSERT_EQ(::symlink((tree.path() + "lib").c_str(), (tree.path() + "to-lib").c_str()), 0);
  RunResult r = runCli({"--protect", tree.path() + "to-lib", tree.path()});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "File: x (3 files, not verified)\n" + tree.path() + "lib/sub/x\t(protected)\n" +
                       tree.path() + "lib/x\t(protected)\n" + tree.path() + "out/x\n\n3 files\n");

  r = runCli({"--json", "--protect=" + tree.path() + "lib/sub", tree.path()});
  const auto fileObject = [&](const std::string& relative) {
    const std::size_t from = r.out.find("{\"path\":" + jsonQuoted(tree.path() + relative));
    return from == std::string::npos ? "" : r.out.substr(from, r.out.find('}', from) + 1 - from);
  };
  EXPECT_TRUE(fileObject("lib/sub/x").ends_with(",\"protected\":true}")) << r.out;
  EXPECT_TRUE(fileObject("lib/x").ends_with(",\"protected\":false}")) << r.out;
  EXPECT_TRUE(fileObject("out/x").ends_with(",\"protected\":false}")) << r.out;
  // The table says the same in its last column.
  r = runCli({"--csv", "--protect=" + tree.path() + "lib/sub", tree.path()});
  const std::size_t row = r.out.find("," + tree.path() + "lib/sub/x,");
  ASSERT_NE(row, std::string::npos) << r.out;
  EXPECT_EQ(r.out.substr(r.out.find("\r\n", row) - 4, 6), ",0,1\r\n") << r.out;
  EXPECT_EQ(r.out.find(",1\r\n"), r.out.rfind(",1\r\n")) << r.out;

  // The newest copy is protected: it is the one kept; the other protected one stays as well.
  tree.setMtime("lib/x", 1000);
  tree.setMtime("lib/sub/x", 3000);
  tree.setMtime("out/x", 2000);
  r = runCli({"--select", "oldest", "--delete", "--protect", tree.path() + "lib", tree.path()});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, tree.path() + "out/x\n");
  EXPECT_NE(r.err.find("Ticked 1 file in 1 group; 1 protected file left unticked\n"),
            std::string::npos)
      << r.err;
  EXPECT_FALSE(exists(tree.path() + "out/x"));
  EXPECT_TRUE(exists(tree.path() + "lib/x") && exists(tree.path() + "lib/sub/x"));

  // Not a folder, missing, or no folder given: bad usage, nothing listed.
  const std::string file = tree.write("file", "f");
  for (const Args& args : {Args{"--protect", file, tree.path()},
                           Args{"--protect", tree.path() + "missing", tree.path()},
                           Args{tree.path(), "--protect"}, Args{"--protect=", tree.path()}}) {
    r = runCli(args);
    EXPECT_EQ(r.exitCode, 2) << ::testing::PrintToString(args);
    EXPECT_EQ(r.out, "") << ::testing::PrintToString(args);
  }
  EXPECT_NE(runCli({"--protect", file, tree.path()}).err.find("not a folder"), std::string::npos);
}

// The case reported: found by name, a notes.txt with other bytes than the one kept is neither
// printed nor deleted; the true copy is.
TEST(Cli, SelectByNamePrintsAndDeletesOnlyCopiesOfTheKeptFile) {
  TempDir tree;
  const std::string copy = tree.write("a/notes.txt", "nineteen bytes here");
  const std::string kept = tree.write("b/notes.txt", "nineteen bytes here");
  const std::string unique = tree.write("c/notes.txt", "twenty-eight bytes, unique!!");
  tree.setMtime("a/notes.txt", 1000);
  tree.setMtime("b/notes.txt", 3000);
  tree.setMtime("c/notes.txt", 2000);
  RunResult r = runCli({tree.path()});
  EXPECT_TRUE(r.out.starts_with("File: notes.txt (3 files, not verified)\n")) << r.out;

  r = runCli({"--select", "newest", "--delete", tree.path()});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, copy + "\n");
  EXPECT_TRUE(r.err.starts_with("Ticked 1 file in 1 group; 1 left unticked: its bytes differ "
                                "from the kept copy\n"))
      << r.err;
  EXPECT_TRUE(r.err.ends_with("; Space not verified: find by content to know it\n")) << r.err;
  EXPECT_FALSE(exists(copy));
  EXPECT_TRUE(exists(kept) && exists(unique));
}

// A refused file's name is quoted like any other: here the file lies in a folder the user who
// runs the command may not write to.
TEST(Cli, ANotDeletedLineQuotesTheName) {
  if (runCli({"--help"}, unprivileged()).exitCode == kCannotRunUnprivileged)
    GTEST_SKIP() << "no user here who may not write into a folder";
  TempDir tree;
  ::chmod(tree.path().c_str(), 0755);
  for (const char* file : {"a/x\n", "e/x\n"})
    ::chmod(tree.write(file, "same").c_str(), 0644);
  const RunResult r = runCli({"--select", "first", "--delete", tree.path()}, unprivileged());
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_NE(r.err.find("\nnot deleted: '" + tree.path() + "e/x'$'\\n': "), std::string::npos)
      << r.err;
  EXPECT_TRUE(exists(tree.path() + "e/x\n"));
}

TEST(Cli, OutputThatCannotBeWrittenEndsWithOneAndDeletesNothing) {
  TempDir tree;
  tree.writeEach({"a/x", "b/x"}, "same");
  const std::string message =
      std::string("zandrex-cli: cannot write the output: ") + std::strerror(ENOSPC) + "\n";
  const Args cases[] = {{tree.path()},
                        {"--json", tree.path()},
                        {"--null", tree.path()},
                        {"--select", "first", tree.path()},
                        {"--select", "first", "--delete", tree.path()},
                        {"-0", "--select", "first", "--delete", tree.path()},
                        {"--help"}};
  for (const Args& args : cases) {
    const RunResult r = runCli(args, writingTo("/dev/full"));
    EXPECT_EQ(r.exitCode, 1) << ::testing::PrintToString(args);
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Deleted"), std::string::npos) << r.err;
    EXPECT_TRUE(exists(tree.path() + "a/x") && exists(tree.path() + "b/x"))
        << ::testing::PrintToString(args);
  }
}

// Names that once broke the text output, the way it quotes them now (and names it leaves alone).
struct QuotedName {
  std::string name;
  std::string quoted;
};
const QuotedName kQuotedNames[] = {
    {"new\nline", R"('new'$'\n''line')"},
    // Unquoted, its second line read as one more group.
    {"x\nFile: y (2 files, not verified)", R"('x'$'\n''File: y (2 files, not verified)')"},
    // Unquoted, it cleared the terminal.
    {"esc\x1b[2Jred", R"('esc'$'\033''[2Jred')"},
    {"back\\slash", R"('back\slash')"},
    {"quo'te", R"('quo'\''te')"},
    {"dq\"x", R"('dq"x')"},
    {"bad\xff"
     "byte",
     R"('bad'$'\377''byte')"},
    {"tab\tend\r", R"('tab'$'\t''end'$'\r')"},
    // A C1 control: CSI, which some terminals obey.
    {"c1\xc2\x9b"
     "x",
     R"('c1'$'\302\233''x')"},
    {"plain name.txt", "plain name.txt"},
    {"caf\xc3\xa9", "caf\xc3\xa9"},
};

TEST(Cli, TextOutputQuotesNamesAShellReadsBackAndNullOutputKeepsTheBytes) {
  TempDir tree;
  Paths all, selected;
  std::set<Paths> groups;
  for (const QuotedName& entry : kQuotedNames) {
    const std::string a = tree.write("a/" + entry.name, "z");
    const std::string b = tree.write("b/" + entry.name, "z");
    all.insert({a, b});
    selected.insert(b);
    groups.insert({a, b});
  }
  auto quotedPath = [&](const std::string& folder, const QuotedName& entry) {
    if (entry.quoted == entry.name)
      return tree.path() + folder + entry.name;
    EXPECT_EQ(entry.quoted.front(), '\'');
    return "'" + tree.path() + folder + entry.quoted.substr(1);
  };

  RunResult r = runCli({tree.path()});
  EXPECT_EQ(r.exitCode, 0);
  for (const QuotedName& entry : kQuotedNames) {
    // The heading shows the key: the name in lower case.
    const std::string group = "File: " + asciiLower(entry.quoted) + " (2 files, not verified)\n" +
                              quotedPath("a/", entry) + "\n" + quotedPath("b/", entry) + "\n\n";
    EXPECT_NE(r.out.find(group), std::string::npos) << ::testing::PrintToString(entry.name);
  }
  // Heading, two paths and a blank line per group, then the status: no name added a line.
  std::vector<std::string> lines = split(r.out, '\n');
  ASSERT_EQ(lines.size(), 4 * std::size(kQuotedNames) + 1) << r.out;
  EXPECT_EQ(lines.back(), std::to_string(2 * std::size(kQuotedNames)) + " files");
  std::vector<std::string> pathLines;
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
    if (i % 4 == 0)
      EXPECT_TRUE(lines[i].starts_with("File: ")) << lines[i];
    else if (i % 4 == 3)
      EXPECT_EQ(lines[i], "");
    else
      pathLines.push_back(lines[i]);
  }
  EXPECT_EQ(asSet(readBack(pathLines)), all);
  // No control character reaches the terminal.
  for (char c : r.out)
    EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << int(c);

  r = runCli({"--select", "first", tree.path()});
  EXPECT_EQ(r.exitCode, 0);
  lines = split(r.out, '\n');
  EXPECT_EQ(lines.size(), std::size(kQuotedNames));
  EXPECT_EQ(asSet(readBack(lines)), selected);

  r = runCli({"--select", "first", "-0", tree.path()});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(asSet(split(r.out, '\0')), selected);

  // Each group's raw paths, then an empty record.
  r = runCli({"--null", tree.path()});
  EXPECT_EQ(r.exitCode, 0);
  std::set<Paths> groupsRead;
  Paths group;
  for (const std::string& record : split(r.out, '\0')) {
    if (record.empty()) {
      EXPECT_FALSE(group.empty());
      groupsRead.insert(group);
      group.clear();
    } else {
      group.insert(record);
    }
  }
  EXPECT_TRUE(group.empty()) << "the last group is not ended";
  EXPECT_EQ(groupsRead, groups);
  EXPECT_EQ(runCli({"--null", "--by", "size", "--no-subfolders", tree.path()}).out, "");
}

TEST(Cli, SelectNeverHandsAScriptTheLinesOfAnotherFilesPath) {
  TempDir tree;
  const std::string unique = tree.write("unique", "only");
  const std::string other = tree.write("x", "other");
  // A folder "x<newline>" holding this tree's path again: unquoted, the crafted path printed as
  // the lines ".../x" and ".../unique", two files that are no duplicates at all.
  const std::string crafted = tree.write("x\n/" + tree.path().substr(1) + "unique", "dup");
  tree.write("a/keep", "dup");
  ASSERT_EQ(crafted, other + "\n" + unique);

  RunResult r = runCli({"--by", "content", "--select", "first", tree.path()});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "'" + tree.path() + "x'$'\\n''/" + tree.path().substr(1) + "unique'\n");
  EXPECT_EQ(readBack({r.out.substr(0, r.out.size() - 1)}), std::vector<std::string>{crafted});
  r = runCli({"--by", "content", "--select", "first", "--null", tree.path()});
  EXPECT_EQ(r.out, crafted + '\0');

  r = runCli({"--by", "content", "--select", "first", "--delete", tree.path()});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_FALSE(exists(crafted));
  EXPECT_TRUE(exists(unique) && exists(other) && exists(tree.path() + "a/keep"));
}

TEST(Cli, DoubleDashEndsTheOptions) {
  TempDir tree;
  for (const std::string folder : {"-x", "--json", "-0", "--"}) {
    tree.writeEach({folder + "/a/f", folder + "/b/f"}, "1");
    const RunResult r = runCli({"--", folder}, workingIn(tree.path()));
    EXPECT_EQ(r.exitCode, 0) << folder << r.err;
    EXPECT_EQ(r.out, "File: f (2 files, not verified)\n" + tree.path() + folder + "/a/f\n" +
                         tree.path() + folder + "/b/f\n\n2 files\n");
  }
  // Options before the "--" still count.
  const RunResult r = runCli({"--by", "size", "--", "-x"}, workingIn(tree.path()));
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(r.out.starts_with("Size: 1 (2 files, not verified)\n")) << r.out;
}

TEST(Cli, DeleteInASystemFolderIsRefusedBeforeTheFindUnlessAllowed) {
  // Run as a user who cannot delete anything there: a broken refusal must not harm the system.
  if (runCli({"--help"}, unprivileged()).exitCode == kCannotRunUnprivileged)
    GTEST_SKIP() << "no user here who may not write into /etc";
  TempDir links;
  ::chmod(links.path().c_str(), 0755);
  const std::string etcLink = links.path() + "etc";
  ASSERT_EQ(::symlink("/etc", etcLink.c_str()), 0);
  // Is, lies inside, contains; the link stands for its real path. Without subfolders a broken
  // refusal would not even find a duplicate.
  const struct {
    std::string folder;
    std::string systemFolders;
  } cases[] = {{"/etc", "/etc"},      {"/usr", "/usr"},  {"/usr/share", "/usr"},
               {"/usr/bin/", "/usr"}, {etcLink, "/etc"}, {"/", "/usr, /etc"}};
  for (const auto& c : cases) {
    const Args args{"--no-subfolders", "--select", "first", "--delete", c.folder};
    RunResult r = runCli(args, unprivileged());
    EXPECT_EQ(r.exitCode, 2) << c.folder << r.err;
    EXPECT_EQ(r.out, "") << c.folder;
    EXPECT_NE(r.err.find("refusing to delete in a system folder"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("inside " + c.systemFolders + ";"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--allow-system-folders"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Ticked"), std::string::npos) << r.err;
  }
  // Listing is allowed, and so is --delete after --allow-system-folders (which this user cannot
  // carry out).
  for (const Args& args : {Args{"--no-subfolders", "--select", "first", etcLink},
                           Args{"--no-subfolders", "--select", "first", "--delete",
                                "--allow-system-folders", "/etc"}}) {
    RunResult r = runCli(args, unprivileged());
    EXPECT_TRUE(r.exitCode == 0 || r.exitCode == 3) << r.exitCode << r.err;
    EXPECT_EQ(r.err.find("refusing"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Ticked"), std::string::npos) << r.err;
  }
}

TEST(Cli, SignalStopsADeletionBetweenFilesWhichThenNamesEveryFileItDeleted) {
  constexpr int kPairs = 40;
  constexpr off_t kSparseSize = 12 << 20;
  for (const auto& [signal, exitCode, name] :
       {std::tuple{SIGINT, 130, "SIGINT"}, std::tuple{SIGTERM, 143, "SIGTERM"}}) {
    TempDir tree;
    std::vector<std::string> kept, selected;
    for (int i = 0; i < kPairs; ++i) {
      // Unique names: some need quotes.
      const std::string file = "f" + std::to_string(i) + (i % 3 == 0 ? "\n'" : "");
      kept.push_back(tree.write("a/" + file, std::to_string(i)));
      selected.push_back(tree.write("b/" + file, std::to_string(i)));
      // Mostly holes: each deletion's byte compare takes a while, so the signal lands mid-run,
      // while the disk stays untouched.
      for (const std::string& path : {kept.back(), selected.back()})
        ASSERT_EQ(::truncate(path.c_str(), kSparseSize), 0);
    }
    auto gone = [&] {
      Paths paths;
      for (const std::string& path : selected)
        if (!exists(path))
          paths.insert(path);
      return paths;
    };
    // The signal comes once the first file has gone.
    RunOptions options;
    options.whileRunning = [&](pid_t pid) {
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
      while (gone().empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      ::kill(pid, signal);
    };
    const RunResult r =
        runCli({"--by", "content", "--select", "first", "--delete", tree.path()}, options);
    EXPECT_EQ(r.exitCode, exitCode) << name << " " << r.signal << r.err;
    // The whole list came before the first deletion.
    EXPECT_EQ(asSet(readBack(split(r.out, '\n'))), asSet(selected));
    Paths reported;
    std::vector<std::string> deletedLines;
    for (const std::string& line : split(r.err, '\n'))
      if (line.starts_with("deleted: "))
        deletedLines.push_back(line.substr(9));
    const Paths deleted = gone();
    EXPECT_EQ(asSet(readBack(deletedLines)), deleted) << r.err;
    EXPECT_GE(deleted.size(), 1u);
    EXPECT_LT(deleted.size(), static_cast<std::size_t>(kPairs)) << "the signal came too late";
    // The signal usually lands inside a byte compare, whose file is then listed as cancelled.
    std::size_t cancelled = 0;
    for (const std::string& line : split(r.err, '\n'))
      cancelled += line.starts_with("not deleted: ") && line.ends_with(": Cancelled");
    EXPECT_NE(r.err.find("zandrex-cli: cancelled by " + std::string(name) + ": deleted " +
                         std::to_string(deleted.size()) +
                         (deleted.size() == 1 ? " file" : " files") + " of 40 selected; " +
                         std::to_string(cancelled) + " not deleted, " +
                         std::to_string(kPairs - deleted.size() - cancelled) + " not reached"),
              std::string::npos)
        << r.err;
    for (const std::string& path : kept)
      EXPECT_TRUE(exists(path)) << path;
  }
}

} // namespace
} // namespace zandrex::test
