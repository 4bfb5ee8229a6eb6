// The saved list: a CSV table that a strict reader parses back into the exact paths, whatever
// bytes the names hold, and a file that is written whole or left as it was.
#include "flow_fixture.h"
#include "listing/list_writer.h"
#include "platform/whole_file.h"

#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zandrex::test {
namespace {

using Row = std::vector<std::string>;

// Reads a whole RFC 4180 text: fields by commas, records ended by CR LF, quoted fields with
// doubled quotes. Fails the test on anything else (a bare LF or CR, a stray quote).
std::vector<Row> parseCsv(const std::string& text) {
  std::vector<Row> rows;
  Row row;
  std::string field;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '"') {
      for (++i; i < text.size(); ++i) {
        if (text[i] != '"') {
          field += text[i];
          continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '"') {
          field += '"';
          ++i;
          continue;
        }
        break;
      }
      ++i;
    } else {
      while (i < text.size() && text[i] != ',' && text[i] != '\r') {
        EXPECT_NE(text[i], '"') << "a quote in an unquoted field at " << i;
        EXPECT_NE(text[i], '\n') << "a bare line feed at " << i;
        field += text[i++];
      }
    }
    if (i < text.size() && text[i] == ',') {
      row.push_back(std::move(field));
      field.clear();
      ++i;
      continue;
    }
    EXPECT_EQ(text.compare(i, 2, "\r\n"), 0) << "no CR LF at " << i;
    row.push_back(std::move(field));
    field.clear();
    rows.push_back(std::move(row));
    row.clear();
    i += 2;
  }
  return rows;
}

// Undoes the escapes of a field that holds a backslash.
std::string unescaped(const std::string& field) {
  if (field.find('\\') == std::string::npos)
    return field;
  std::string bytes;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '\\') {
      bytes += field[i];
      continue;
    }
    if (field.compare(i, 2, "\\\\") == 0) {
      bytes += '\\';
      ++i;
      continue;
    }
    EXPECT_EQ(field.compare(i, 4, "\\udc"), 0) << field;
    bytes += static_cast<char>(std::stoi(field.substr(i + 4, 2), nullptr, 16));
    i += 5;
  }
  return bytes;
}

std::string csvOf(const ReportGrid& grid) {
  std::ostringstream out;
  writeCsv(out, grid);
  return out.str();
}

class ListWriterTest : public FlowTest {};

TEST_F(ListWriterTest, CsvRowsReadBackIntoTheExactPathsOfAwkwardNames) {
  const std::vector<std::string> names = {"a,b.txt",         "say \"hi\".txt", "two\nlines.txt",
                                          "cr\rname.txt",    "back\\slash",    "odd-\xff\xfe.bin",
                                          "caf\xc3\xa9.txt", "plain.txt"};
  for (const std::string& name : names) {
    tree.write("one/" + name, "same");
    tree.write("two/" + name, "same");
  }
  find(ByName);
  core.grid().setTicked(recordOf("two/a,b.txt"), true);
  const std::string text = csvOf(core.grid());
  // Valid UTF-8 throughout: the stray bytes are escaped, not copied.
  EXPECT_EQ(text.find('\xff'), std::string::npos);

  const std::vector<Row> rows = parseCsv(text);
  ASSERT_EQ(rows.size(), 1 + 2 * names.size());
  EXPECT_EQ(rows[0], (Row{"group", "key", "path", "folder", "name", "size", "date", "checksum",
                          "ticked", "protected"}));
  std::set<std::string> paths;
  for (std::size_t r = 1; r < rows.size(); ++r) {
    const Row& row = rows[r];
    ASSERT_EQ(row.size(), 10u) << r;
    EXPECT_EQ(row[0], std::to_string((r + 1) / 2)) << r;
    const std::string path = unescaped(row[2]);
    EXPECT_EQ(path, unescaped(row[3]) + unescaped(row[4])) << r;
    EXPECT_EQ(unescaped(row[1]), unescaped(row[4])) << r; // the key of a find by name
    EXPECT_EQ(row[5], "4");
    EXPECT_EQ(row[8], path == tree.path() + "two/a,b.txt" ? "1" : "0") << path;
    paths.insert(path);
  }
  std::set<std::string> expected;
  for (const std::string& name : names)
    for (const char* folder : {"one/", "two/"})
      expected.insert(tree.path() + folder + name);
  EXPECT_EQ(paths, expected);
}

TEST(CsvField, QuotesOnlyWhatRfc4180AsksAndEscapesBackslashesOnlyWhereTheyAre) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain", "plain"},
      {"", ""},
      {"a,b", "\"a,b\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"two\nlines", "\"two\nlines\""},
      {"back\\slash", "back\\\\slash"},
      {"odd\xff", "odd\\udcff"},
      {"odd\xff,\\", "\"odd\\udcff,\\\\\""},
      {"caf\xc3\xa9", "caf\xc3\xa9"},
  };
  for (const auto& [text, field] : cases)
    EXPECT_EQ(csvField(text), field) << text;
}

class WholeFileTest : public ::testing::Test {
protected:
  TempDir folder;
  std::string path = folder.path() + "list.csv";

  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.path().c_str()), ::closedir);
    while (const dirent* entry = ::readdir(dir.get()))
      if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..")
        names.push_back(entry->d_name);
    return names;
  }
};

TEST_F(WholeFileTest, ReplacesTheFileWholeAndKeepsItsPermissions) {
  folder.write("list.csv", "old");
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  EXPECT_EQ(writeWholeFile(path, [](std::ostream& out) { out << "new contents"; }), "");
  EXPECT_EQ(readFile(path), "new contents");
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(entries(), (std::vector<std::string>{"list.csv"}));
  EXPECT_NE(writeWholeFile(folder.path() + "missing/list.csv", [](std::ostream&) {}), "");
  EXPECT_NE(writeWholeFile(folder.path(), [](std::ostream&) {}), "");
}

// A disk that fills up halfway: the file size limit makes the write fail as a full disk would.
TEST_F(WholeFileTest, AWriteThatFailsHalfwayLeavesTheOldFileAndNoTemporaryOne) {
  folder.write("list.csv", "old");
  constexpr rlim_t kLimit = 64 * 1024;
  rlimit before{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = before;
  limited.rlim_cur = kLimit;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
  const std::string error = writeWholeFile(path, [](std::ostream& out) {
    const std::string line(1000, 'x');
    for (int k = 0; k < 1000; ++k)
      out << line << '\n';
  });
  ::setrlimit(RLIMIT_FSIZE, &before);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(error, "File too large");
  EXPECT_EQ(readFile(path), "old");
  EXPECT_EQ(entries(), (std::vector<std::string>{"list.csv"}));

  // A writer that throws leaves nothing behind either, and its error goes on to the caller.
  EXPECT_THROW(writeWholeFile(folder.path() + "other.csv",
                              [](std::ostream& out) {
                                out << "partial";
                                throw std::runtime_error("stopped");
                              }),
               std::runtime_error);
  EXPECT_EQ(entries(), (std::vector<std::string>{"list.csv"}));
}

} // namespace
} // namespace zandrex::test
