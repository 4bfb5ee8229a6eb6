#include "dupes/binary_file_stream.h"
#include "dupes/hash_ahead.h"
#include "errors/app_error.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace zandrex::test {
namespace {

ContentDigest digestOf(const std::string& path) {
  cBinaryFileStream reader;
  reader.file(path);
  std::vector<std::uint8_t> buffer(8192);
  return digestStream(reader, buffer);
}

std::uint64_t inodeOf(const std::string& path) {
  struct stat st;
  ::stat(path.c_str(), &st);
  return st.st_ino;
}

TEST(HashAhead, ResultsAndErrorsArriveInListOrderWhateverOrderWorkersTake) {
  TempDir tree;
  std::vector<std::string> folders = {tree.mkdir("b"), tree.mkdir("a"), tree.mkdir("b")};
  std::vector<std::string> names = {"one", "two", "three"};
  for (std::size_t i = 0; i < names.size(); ++i)
    tree.write(folders[i].substr(tree.path().size()) + names[i], std::string(1000 + i, 'x'));
  // A listed file that vanished before it was read.
  folders.push_back(folders[1]);
  names.push_back("gone");

  PodArray<HashAhead::File> files;
  for (std::size_t i = 0; i < names.size(); ++i)
    files.push_back({folders[i], names[i], inodeOf(folders[i] + names[i]), 1000 + i});
  HashAhead ahead(std::move(files), 2);
  auto pump = [] {};
  auto never = [] { return false; };
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(ahead.path(i), folders[i] + names[i]);
    std::optional<ContentDigest> digest = ahead.take(i, pump, never);
    ASSERT_TRUE(digest);
    ContentDigest expected = digestOf(folders[i] + names[i]);
    EXPECT_EQ(digest->crc, expected.crc);
    EXPECT_EQ(digest->xxhLow, expected.xxhLow);
  }
  try {
    ahead.take(3, pump, never);
    FAIL() << "a missing file must raise its error when its turn comes";
  } catch (const AppError& error) {
    EXPECT_EQ(error.number, errnum::kFileNotFound);
  }
}

TEST(HashAhead, FilesTakenLongAfterTheFirstAreStillListedRight) {
  // Enough entries that what listed the taken ones is given back several times over.
  constexpr std::size_t kListed = 40000;
  TempDir tree;
  const std::string path = tree.write("same", "abc");
  PodArray<HashAhead::File> files;
  for (std::size_t i = 0; i < kListed; ++i)
    files.push_back({tree.path(), "same", inodeOf(path), 3});
  HashAhead ahead(std::move(files), 2);
  for (std::size_t i = 0; i < kListed; ++i) {
    ASSERT_EQ(ahead.path(i), path) << i;
    std::optional<ContentDigest> digest = ahead.take(
        i, [] {}, [] { return false; });
    ASSERT_TRUE(digest);
    ASSERT_EQ(digest->crc, 0x352441C2u) << i;
  }
}

TEST(HashAhead, ReadsNoMoreThanTheSizeTheWalkSaw) {
  TempDir tree;
  std::string path = tree.write("grown", "abcdef");
  PodArray<HashAhead::File> files;
  files.push_back({tree.path(), "grown", inodeOf(path), 3});
  HashAhead ahead(std::move(files), 1);
  std::optional<ContentDigest> digest = ahead.take(
      0, [] {}, [] { return false; });
  ASSERT_TRUE(digest);
  EXPECT_EQ(digest->crc, 0x352441C2u); // "abc"
}

} // namespace
} // namespace zandrex::test
