#include "digest/crc32.h"
#include "digest/crc32_detail.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string_view>
#include <vector>

namespace zandrex {
namespace {

constexpr std::uint32_t kCheckDigits = 0xCBF43926u;
constexpr std::uint32_t kCheckAbc = 0x352441C2u;
constexpr std::string_view kDigits = "123456789";
constexpr std::string_view kAbc = "abc";
constexpr std::size_t kMaxExhaustiveLength = 4096;
constexpr std::size_t kMaxMisalignment = 64;
constexpr std::size_t kOneMiB = 1 << 20;

using UpdateFn = std::uint32_t (*)(std::uint32_t, const void*, std::size_t);

std::vector<std::uint8_t> randomBytes(std::size_t size, std::mt19937& rng) {
  std::vector<std::uint8_t> bytes(size);
  std::uniform_int_distribution<int> byte(0, 255);
  std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<std::uint8_t>(byte(rng)); });
  return bytes;
}

// Every fast path, under a name for failure messages; the hardware kernels are reached directly
// so that each one is checked even when the dispatcher prefers another.
struct NamedUpdate {
  const char* name;
  UpdateFn fn;
};

std::uint32_t pclmulUpdate(std::uint32_t crc, const void* data, std::size_t size) {
  return ~detail::crc32PclmulRegister(~crc, static_cast<const std::uint8_t*>(data), size);
}

std::uint32_t vpclmul512Update(std::uint32_t crc, const void* data, std::size_t size) {
  return ~detail::crc32Vpclmul512Register(~crc, static_cast<const std::uint8_t*>(data), size);
}

std::vector<NamedUpdate> fastPaths() {
  std::vector<NamedUpdate> paths{{"slice8", crc32UpdateSlice8}, {"dispatch", crc32Update}};
  if (detail::crc32CpuHasPclmul())
    paths.push_back({"pclmul", pclmulUpdate});
  if (detail::crc32CpuHasVpclmul512())
    paths.push_back({"vpclmul512", vpclmul512Update});
  return paths;
}

TEST(Crc32, CheckValuesOnEveryPath) {
  EXPECT_EQ(crc32UpdateBytewise(0, kDigits.data(), kDigits.size()), kCheckDigits);
  EXPECT_EQ(crc32UpdateBytewise(0, kAbc.data(), kAbc.size()), kCheckAbc);
  for (const auto& path : fastPaths()) {
    SCOPED_TRACE(path.name);
    EXPECT_EQ(path.fn(0, kDigits.data(), kDigits.size()), kCheckDigits);
    EXPECT_EQ(path.fn(0, kAbc.data(), kAbc.size()), kCheckAbc);
    EXPECT_EQ(path.fn(0, nullptr, 0), 0u);
    EXPECT_EQ(path.fn(kCheckAbc, nullptr, 0), kCheckAbc) << "no bytes leave the CRC as it is";
  }
}

TEST(Crc32, FastPathsMatchReferenceForEveryShortLengthAndAlignment) {
  std::mt19937 rng(20240601);
  const auto pool = randomBytes(kMaxExhaustiveLength + kMaxMisalignment, rng);
  std::uniform_int_distribution<std::size_t> offset(0, kMaxMisalignment - 1);
  std::uniform_int_distribution<std::uint32_t> seed;
  const auto paths = fastPaths();
  for (std::size_t length = 0; length <= kMaxExhaustiveLength; ++length) {
    const std::uint8_t* data = pool.data() + offset(rng);
    const std::uint32_t start = seed(rng);
    const std::uint32_t expected = crc32UpdateBytewise(start, data, length);
    for (const auto& path : paths)
      ASSERT_EQ(path.fn(start, data, length), expected) << path.name << " length " << length;
  }
}

TEST(Crc32, LargeBuffersWholeMisalignedOrInPiecesMatchTheReference) {
  std::mt19937 rng(99);
  const auto bytes = randomBytes(3 * kOneMiB + 13, rng);
  const std::uint32_t whole = crc32UpdateBytewise(0, bytes.data(), bytes.size());
  std::uniform_int_distribution<std::size_t> pieceSize(0, 300000);
  for (const auto& path : fastPaths()) {
    // Whole and misaligned by one, then in pieces of any length at any offset.
    EXPECT_EQ(path.fn(0, bytes.data(), bytes.size()), whole) << path.name;
    EXPECT_EQ(path.fn(0, bytes.data() + 1, bytes.size() - 1),
              crc32UpdateBytewise(0, bytes.data() + 1, bytes.size() - 1))
        << path.name;
    std::uint32_t crc = 0;
    for (std::size_t at = 0; at < bytes.size();) {
      const std::size_t n = std::min(pieceSize(rng), bytes.size() - at);
      crc = path.fn(crc, bytes.data() + at, n);
      at += n;
    }
    EXPECT_EQ(crc, whole) << path.name;
  }
  const std::uint32_t digits12 = crc32Update(0, kDigits.data(), 2);
  EXPECT_EQ(crc32Update(digits12, kDigits.data() + 2, kDigits.size() - 2), kCheckDigits);
}

} // namespace
} // namespace zandrex
