#include "digest/binary_file_stream.h"
#include "digest/crc32.h"
#include "errors/app_error.h"
#include "test_support.h"

#include <algorithm>
#include <array>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace zandrex {
namespace {

constexpr std::int64_t kBlock = 8192;
constexpr std::uint8_t kSentinel = 0xAA;

std::string randomText(std::size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> byte(0, 255);
  std::string text(size, '\0');
  std::generate(text.begin(), text.end(), [&] { return static_cast<char>(byte(rng)); });
  return text;
}

std::uint32_t crcOf(std::string_view text) {
  return crc32Update(0, text.data(), text.size());
}

// The counts successive 8,192-byte reads deliver, up to and including the first 0.
std::vector<std::int64_t> readCounts(cBinaryFileStream& stream) {
  std::array<std::uint8_t, kBlock> buffer;
  std::vector<std::int64_t> counts;
  do
    counts.push_back(stream.Read(buffer, kBlock));
  while (counts.back() > 0);
  return counts;
}

TEST(BinaryFileStream, ReadsBlocksToTheEndClosesThereAndChecksumsLikeTheBytes) {
  struct Case {
    std::string content;
    std::vector<std::int64_t> counts;
    std::uint32_t check; // the known CRC-32, 0 when none
  };
  const Case cases[] = {
      {"", {0}, 0},
      {"abc", {3, 0}, 0x352441C2u},
      {"123456789", {9, 0}, 0xCBF43926u},
      {randomText(kBlock, 1), {kBlock, 0}, 0},
      {randomText(kBlock + 1, 2), {kBlock, 1, 0}, 0},
      {randomText(5 * kBlock + 3, 3), {kBlock, kBlock, kBlock, kBlock, kBlock, 3, 0}, 0}};
  test::TempDir dir;
  const cCRC32 crc;
  cBinaryFileStream stream; // one stream for all: attaching starts over
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content.size());
    const std::string path = dir.write("f" + std::to_string(c.content.size()), c.content);
    stream.file(path);
    EXPECT_EQ(stream.Position(), 0u);
    EXPECT_EQ(stream.Length(), c.content.size());
    EXPECT_GE(stream.descriptor(), 0);
    EXPECT_EQ(readCounts(stream), c.counts);
    EXPECT_EQ(stream.Position(), c.content.size());
    EXPECT_EQ(stream.descriptor(), -1);

    stream.file(path);
    const std::int32_t fileCrc = crc.GetFileCrc32(stream);
    EXPECT_EQ(static_cast<std::uint32_t>(fileCrc), crcOf(c.content));
    if (c.check) {
      EXPECT_EQ(static_cast<std::uint32_t>(fileCrc), c.check);
    }
  }
  // The last block fills only the start of the buffer.
  stream.file(dir.path() + "f3");
  std::array<std::uint8_t, kBlock> buffer;
  buffer.fill(kSentinel);
  ASSERT_EQ(stream.Read(buffer, kBlock), 3);
  EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 4), "abc\xAA");
  EXPECT_EQ(buffer.back(), kSentinel);
}

TEST(BinaryFileStream, ReadsTheLengthSeenAtAttachAndEndsEarlyWhenTheFileShrank) {
  test::TempDir dir;
  const std::string original = randomText(20000, 4);
  const std::string path = dir.write("changes", original);
  cBinaryFileStream stream;
  stream.file(path);
  std::ofstream(path, std::ios::binary | std::ios::app) << randomText(5000, 5);
  EXPECT_EQ(static_cast<std::uint32_t>(cCRC32().GetFileCrc32(stream)), crcOf(original));
  EXPECT_EQ(stream.Position(), original.size());

  stream.file(path);
  ASSERT_EQ(::truncate(path.c_str(), 10000), 0);
  EXPECT_EQ(readCounts(stream), (std::vector<std::int64_t>{kBlock, 10000 - kBlock, 0}));
  EXPECT_EQ(stream.descriptor(), -1);
}

TEST(BinaryFileStream, RefusedFilesAndReadsRaiseAndLeaveNothingOpen) {
  test::TempDir dir;
  const std::string absent = dir.path() + "absent";
  cBinaryFileStream stream;
  try {
    stream.file(absent);
    FAIL() << "no error raised";
  } catch (const AppError& e) {
    EXPECT_EQ(e.number, errnum::kFileNotFound);
    EXPECT_TRUE(e.source.ends_with(".File")) << e.source;
    EXPECT_GT(e.source.size(), std::string_view(".File").size());
  }
  EXPECT_EQ(stream.file(), absent);
  EXPECT_EQ(stream.descriptor(), -1);
  std::array<std::uint8_t, kBlock> buffer;
  EXPECT_EQ(stream.Read(buffer, kBlock), 0);

  // A symbolic link is not followed.
  const std::string target = dir.write("target", "content");
  std::filesystem::create_symlink(target, dir.path() + "link");
  EXPECT_THROW(stream.file(dir.path() + "link"), AppError);
  EXPECT_EQ(stream.descriptor(), -1);

  // A read larger than its buffer is refused; Dispose closes, any number of times.
  stream.file(target);
  std::array<std::uint8_t, 2> small;
  EXPECT_THROW(stream.Read(small, 3), AppError);
  EXPECT_THROW(stream.Read(small, -1), AppError);
  EXPECT_EQ(stream.Position(), 0u);
  stream.Dispose();
  stream.Dispose();
  EXPECT_EQ(stream.descriptor(), -1);
  cBinaryFileStream().Dispose();

  if (::geteuid() == 0)
    return; // root reads every file
  ASSERT_EQ(::chmod(target.c_str(), 0), 0);
  try {
    stream.file(target);
    FAIL() << "no error raised";
  } catch (const AppError& e) {
    EXPECT_EQ(e.number, errnum::kPermissionDenied);
  }
}

// Memory-backed folders read holes from the shared zero page, several times faster than a disk
// file system, so the 2 GiB file goes there when the machine has one.
constexpr const char* kMemoryFolder = "/dev/shm";

struct RemoveOnExit {
  std::string path;
  ~RemoveOnExit() { ::unlink(path.c_str()); }
};

// A sparse file past 2 GiB, read to its end: positions and counts must not wrap at 32 bits.
// Reading in large blocks with the fast CRC keeps this to about a second.
TEST(BinaryFileStream, SparseFileOverTwoGiBIsReadToItsEnd) {
  constexpr std::uint64_t kTwoGiB = std::uint64_t{1} << 31;
  constexpr std::uint64_t kLength = kTwoGiB + 5;
  constexpr std::size_t kBigBlock = std::size_t{32} << 20;
  struct Patch {
    std::uint64_t offset;
    std::string_view bytes;
  };
  const std::array<Patch, 3> patches{
      {{4096, "front"}, {kTwoGiB - 3, "across"}, {kLength - 2, "nd"}}};

  test::TempDir dir;
  const std::string folder =
      ::access(kMemoryFolder, W_OK) == 0 ? std::string(kMemoryFolder) + "/" : dir.path();
  const RemoveOnExit file{folder + "zandrex-sparse-" + std::to_string(::getpid())};
  {
    const int fd = ::open(file.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(kLength)), 0);
    for (const auto& patch : patches)
      ASSERT_EQ(
          ::pwrite(fd, patch.bytes.data(), patch.bytes.size(), static_cast<off_t>(patch.offset)),
          static_cast<ssize_t>(patch.bytes.size()));
    ::close(fd);
  }

  const std::vector<std::uint8_t> zeros(kBigBlock, 0);
  std::uint32_t expected = 0;
  std::uint64_t at = 0;
  for (const auto& patch : patches) {
    for (std::uint64_t n; at < patch.offset; at += n) {
      n = std::min<std::uint64_t>(kBigBlock, patch.offset - at);
      expected = crc32Update(expected, zeros.data(), n);
    }
    expected = crc32Update(expected, patch.bytes.data(), patch.bytes.size());
    at += patch.bytes.size();
  }
  ASSERT_EQ(at, kLength);

  cBinaryFileStream stream;
  stream.file(file.path);
  ASSERT_EQ(stream.Length(), kLength);
  std::vector<std::uint8_t> buffer(kBigBlock);
  std::uint32_t crc = 0;
  std::uint64_t total = 0;
  std::int64_t lastCount = 0;
  for (std::int64_t n; (n = stream.Read(buffer, kBigBlock)) > 0; lastCount = n) {
    crc = crc32Update(crc, buffer.data(), static_cast<std::size_t>(n));
    total += static_cast<std::uint64_t>(n);
  }
  EXPECT_EQ(total, kLength);
  EXPECT_EQ(lastCount, 5);
  EXPECT_EQ(stream.Position(), kLength);
  EXPECT_EQ(stream.descriptor(), -1);
  EXPECT_EQ(crc, expected);
}

} // namespace
} // namespace zandrex
