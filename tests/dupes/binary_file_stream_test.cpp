#include "dupes/binary_file_stream.h"
#include "dupes/crc32.h"
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

std::uint32_t fileCrc(const std::string& path) {
  cBinaryFileStream stream;
  stream.file(path);
  return static_cast<std::uint32_t>(cCRC32().GetFileCrc32(stream));
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

TEST(BinaryFileStream, EmptyFileEndsAtOnceAndCloses) {
  test::TempDir dir;
  const std::string path = dir.write("empty", "");
  cBinaryFileStream stream;
  stream.file(path);
  EXPECT_EQ(stream.file(), path);
  EXPECT_EQ(stream.Length(), 0u);
  EXPECT_GE(stream.descriptor(), 0);
  EXPECT_EQ(readCounts(stream), (std::vector<std::int64_t>{0}));
  EXPECT_EQ(stream.descriptor(), -1);
  EXPECT_EQ(fileCrc(path), 0u);
}

TEST(BinaryFileStream, BlockBoundaries) {
  test::TempDir dir;
  const std::string exact = randomText(kBlock, 1);
  const std::string overByOne = randomText(kBlock + 1, 2);

  cBinaryFileStream stream;
  stream.file(dir.write("exact", exact));
  EXPECT_EQ(readCounts(stream), (std::vector<std::int64_t>{kBlock, 0}));
  EXPECT_EQ(stream.Position(), static_cast<std::uint64_t>(kBlock));
  EXPECT_EQ(stream.descriptor(), -1);

  stream.file(dir.write("over", overByOne));
  EXPECT_EQ(stream.Position(), 0u) << "attaching starts over";
  EXPECT_EQ(readCounts(stream), (std::vector<std::int64_t>{kBlock, 1, 0}));

  EXPECT_EQ(fileCrc(dir.path() + "exact"), crcOf(exact));
  EXPECT_EQ(fileCrc(dir.path() + "over"), crcOf(overByOne));
}

TEST(BinaryFileStream, LastBlockFillsOnlyTheStartOfTheBuffer) {
  test::TempDir dir;
  cBinaryFileStream stream;
  stream.file(dir.write("abc", "abc"));
  std::array<std::uint8_t, kBlock> buffer;
  buffer.fill(kSentinel);
  ASSERT_EQ(stream.Read(buffer, kBlock), 3);
  EXPECT_EQ(buffer[0], 'a');
  EXPECT_EQ(buffer[2], 'c');
  EXPECT_EQ(buffer[3], kSentinel);
  EXPECT_EQ(buffer[kBlock - 1], kSentinel);
}

TEST(BinaryFileStream, CheckValuesFromFiles) {
  test::TempDir dir;
  const cCRC32 crc;
  cBinaryFileStream stream;
  stream.file(dir.write("abc", "abc"));
  EXPECT_EQ(static_cast<std::uint32_t>(crc.GetFileCrc32(stream)), 0x352441C2u);
  stream.file(dir.write("digits", "123456789"));
  const std::int32_t digits = crc.GetFileCrc32(stream);
  EXPECT_EQ(static_cast<std::uint32_t>(digits), 0xCBF43926u);
  EXPECT_LT(digits, 0);
}

TEST(BinaryFileStream, FileCrcEqualsByteArrayCrc) {
  test::TempDir dir;
  const std::string content = randomText(100003, 3);
  const std::string path = dir.write("data", content);
  const cCRC32 crc;
  cBinaryFileStream stream;
  stream.file(path);
  const auto bytes =
      std::span(reinterpret_cast<const std::uint8_t*>(content.data()), content.size());
  EXPECT_EQ(crc.GetFileCrc32(stream), crc.GetByteArrayCrc32(bytes));
  EXPECT_EQ(stream.descriptor(), -1);
}

TEST(BinaryFileStream, GrownFileIsReadOnlyToItsLengthAtAttach) {
  test::TempDir dir;
  const std::string original = randomText(10000, 4);
  const std::string path = dir.write("grows", original);
  cBinaryFileStream stream;
  stream.file(path);
  std::ofstream(path, std::ios::binary | std::ios::app) << randomText(5000, 5);
  EXPECT_EQ(static_cast<std::uint32_t>(cCRC32().GetFileCrc32(stream)), crcOf(original));
  EXPECT_EQ(stream.Position(), original.size());
}

TEST(BinaryFileStream, ShrunkFileEndsEarly) {
  test::TempDir dir;
  const std::string original = randomText(20000, 6);
  const std::string path = dir.write("shrinks", original);
  cBinaryFileStream stream;
  stream.file(path);
  ASSERT_EQ(::truncate(path.c_str(), 10000), 0);
  EXPECT_EQ(readCounts(stream), (std::vector<std::int64_t>{kBlock, 10000 - kBlock, 0}));
  EXPECT_EQ(stream.descriptor(), -1);
  stream.file(dir.write("shrinks2", original));
  ASSERT_EQ(::truncate((dir.path() + "shrinks2").c_str(), 10000), 0);
  EXPECT_EQ(static_cast<std::uint32_t>(cCRC32().GetFileCrc32(stream)),
            crcOf(std::string_view(original).substr(0, 10000)));
}

TEST(BinaryFileStream, MissingFileRaisesFileNotFound) {
  test::TempDir dir;
  const std::string path = dir.path() + "absent";
  cBinaryFileStream stream;
  try {
    stream.file(path);
    FAIL() << "no error raised";
  } catch (const AppError& e) {
    EXPECT_EQ(e.number, errnum::kFileNotFound);
    EXPECT_TRUE(e.source.ends_with(".File")) << e.source;
    EXPECT_GT(e.source.size(), std::string_view(".File").size());
  }
  EXPECT_EQ(stream.file(), path);
  EXPECT_EQ(stream.descriptor(), -1);
  std::array<std::uint8_t, kBlock> buffer;
  EXPECT_EQ(stream.Read(buffer, kBlock), 0);
}

TEST(BinaryFileStream, SymbolicLinkIsNotFollowed) {
  test::TempDir dir;
  const std::string target = dir.write("target", "content");
  const std::string link = dir.path() + "link";
  std::filesystem::create_symlink(target, link);
  cBinaryFileStream stream;
  EXPECT_THROW(stream.file(link), AppError);
  EXPECT_EQ(stream.descriptor(), -1);
}

TEST(BinaryFileStream, UnreadableFileRaisesPermissionDenied) {
  if (::geteuid() == 0)
    GTEST_SKIP() << "root reads every file";
  test::TempDir dir;
  const std::string path = dir.write("secret", "content");
  ASSERT_EQ(::chmod(path.c_str(), 0), 0);
  cBinaryFileStream stream;
  try {
    stream.file(path);
    FAIL() << "no error raised";
  } catch (const AppError& e) {
    EXPECT_EQ(e.number, errnum::kPermissionDenied);
  }
}

TEST(BinaryFileStream, DisposeIsIdempotent) {
  cBinaryFileStream never;
  never.Dispose();
  never.Dispose();
  EXPECT_EQ(never.descriptor(), -1);

  test::TempDir dir;
  cBinaryFileStream stream;
  stream.file(dir.write("data", "data"));
  ASSERT_GE(stream.descriptor(), 0);
  stream.Dispose();
  stream.Dispose();
  EXPECT_EQ(stream.descriptor(), -1);
}

TEST(BinaryFileStream, ReadSizeBeyondTheBufferIsRefused) {
  test::TempDir dir;
  cBinaryFileStream stream;
  stream.file(dir.write("data", "data"));
  std::array<std::uint8_t, 2> small;
  EXPECT_THROW(stream.Read(small, 3), AppError);
  EXPECT_THROW(stream.Read(small, -1), AppError);
  EXPECT_EQ(stream.Position(), 0u);
}

// Memory-backed folders read holes from the shared zero page, several times faster than a disk
// file system, so the 2 GiB file goes there when the machine has one.
constexpr const char* kMemoryFolder = "/dev/shm";

struct RemoveOnExit {
  std::string path;
  ~RemoveOnExit() { ::unlink(path.c_str()); }
};

std::string sparseFolder(const test::TempDir& fallback) {
  return ::access(kMemoryFolder, W_OK) == 0 ? std::string(kMemoryFolder) + "/" : fallback.path();
}

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
  const RemoveOnExit file{sparseFolder(dir) + "zandrex-sparse-" + std::to_string(::getpid())};
  const std::string& path = file.path;
  {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
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
    for (; at < patch.offset; at += std::min<std::uint64_t>(kBigBlock, patch.offset - at))
      expected = crc32Update(expected, zeros.data(),
                             std::min<std::uint64_t>(kBigBlock, patch.offset - at));
    expected = crc32Update(expected, patch.bytes.data(), patch.bytes.size());
    at += patch.bytes.size();
  }
  ASSERT_EQ(at, kLength);

  cBinaryFileStream stream;
  stream.file(path);
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
