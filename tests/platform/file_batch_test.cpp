#include "platform/file_batch.h"
#include "test_support.h"

#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zandrex::test {
namespace {

bool isOpen(int fd) {
  return ::fcntl(fd, F_GETFD) != -1;
}

// Whatever took a file's name, the batch opens and reads it as a file is opened one by one:
// never through a link, never hanging on a FIFO, and it says what it met instead of guessing.
TEST(FileBatch, ReadsEachFileAndSaysWhatItMetForTheRest) {
  std::unique_ptr<FileBatch> batch = FileBatch::create();
  if (!batch)
    GTEST_SKIP() << "this system does not batch file reads";
  TempDir tree;
  tree.write("d/small", "abc");
  tree.write("d/short", "ab");
  tree.write("d/empty", "");
  tree.write("d/target", "xyz");
  tree.mkdir("d/folder");
  const std::string dir = tree.path() + "d/";
  ASSERT_EQ(::symlink((dir + "target").c_str(), (dir + "link").c_str()), 0);
  ASSERT_EQ(::mkfifo((dir + "fifo").c_str(), 0600), 0);
  const int folderFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(folderFd, 0);

  struct Case {
    const char* name;
    std::size_t want;
    bool opens;
    std::size_t got;
    int error;
  };
  const std::vector<Case> cases = {
      {"small", 3, true, 3, 0},       {"short", 3, true, 2, 0},
      {"empty", 0, true, 0, 0},       {"link", 3, false, 0, ELOOP},
      {"gone", 3, false, 0, ENOENT},  {"fifo", 3, true, 0, 0}, // no writer: it reads as empty
      {"folder", 3, true, 0, EISDIR},
  };
  std::vector<std::uint8_t> buffer(64);
  std::vector<FileBatch::Entry> entries(cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    entries[i].name = cases[i].name;
    entries[i].buffer = buffer.data() + 8 * i;
    entries[i].want = cases[i].want;
  }
  batch->openAndRead(folderFd, entries);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].name);
    EXPECT_EQ(entries[i].fd >= 0, cases[i].opens);
    EXPECT_EQ(entries[i].got, cases[i].got);
    EXPECT_EQ(entries[i].error, cases[i].error);
  }
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.data()), 3), "abc");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.data() + 8), 2), "ab");

  std::vector<int> opened;
  for (const FileBatch::Entry& entry : entries) {
    if (entry.fd >= 0)
      opened.push_back(entry.fd);
  }
  batch->closeAll(entries);
  for (const FileBatch::Entry& entry : entries)
    EXPECT_EQ(entry.fd, -1);
  for (int fd : opened)
    EXPECT_FALSE(isOpen(fd)) << fd;
  ::close(folderFd);
}

// A full batch, then a smaller one with the same object: nothing of the first is left over; more
// than a batch holds is refused.
TEST(FileBatch, AFullBatchAndTheNextEachGetTheirOwnBytes) {
  std::unique_ptr<FileBatch> batch = FileBatch::create();
  if (!batch)
    GTEST_SKIP() << "this system does not batch file reads";
  TempDir tree;
  constexpr std::size_t kSlot = 16;
  std::vector<std::string> names;
  for (std::size_t i = 0; i < FileBatch::kMaxEntries; ++i) {
    names.push_back("f" + std::to_string(i));
    tree.write(names.back(), std::string(1 + i % kSlot, static_cast<char>('A' + i % 26)));
  }
  const int folderFd = ::open(tree.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(folderFd, 0);
  for (std::size_t count : {FileBatch::kMaxEntries, std::size_t{5}}) {
    std::vector<std::uint8_t> buffer(FileBatch::kMaxEntries * kSlot, 0);
    std::vector<FileBatch::Entry> entries(count);
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t file = FileBatch::kMaxEntries - 1 - i;
      entries[i].name = names[file].c_str();
      entries[i].buffer = buffer.data() + i * kSlot;
      entries[i].want = 1 + file % kSlot;
    }
    batch->openAndRead(folderFd, entries);
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t file = FileBatch::kMaxEntries - 1 - i;
      ASSERT_EQ(entries[i].error, 0) << i;
      ASSERT_EQ(std::string(reinterpret_cast<char*>(entries[i].buffer), entries[i].got),
                std::string(1 + file % kSlot, static_cast<char>('A' + file % 26)))
          << i;
    }
    batch->closeAll(entries);
  }
  // One more than a batch holds: refused whole, nothing opened.
  std::vector<FileBatch::Entry> tooMany(FileBatch::kMaxEntries + 1);
  std::vector<std::uint8_t> buffer(1);
  for (FileBatch::Entry& entry : tooMany) {
    entry.name = names[0].c_str();
    entry.buffer = buffer.data();
    entry.want = 1;
  }
  batch->openAndRead(folderFd, tooMany);
  for (const FileBatch::Entry& entry : tooMany)
    ASSERT_TRUE(entry.fd == -1 && entry.error == EINVAL);
  batch->closeAll(tooMany);
  ::close(folderFd);
}

} // namespace
} // namespace zandrex::test
