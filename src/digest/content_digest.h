// The content of one file as the content mode compares it: its CRC-32 and its XXH3-128, taken
// in one read.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace zandrex {

struct ContentDigest {
  std::uint32_t crc = 0;
  std::uint64_t xxhHigh = 0;
  std::uint64_t xxhLow = 0;
};

// Both checksums of bytes fed block by block. One builder at a time per thread.
class DigestBuilder {
public:
  DigestBuilder();
  void add(const std::uint8_t* bytes, std::size_t count);
  ContentDigest finish();

private:
  ContentDigest digest_;
};

// The checksum text: upper-case hexadecimal without prefix or leading zeros ("0", "ABCDEF1").
std::string checksumText(std::uint32_t crc);
// The grouping key of the content mode: size, CRC-32 and XXH3-128, so that files only group
// when their sizes and both checksums agree. 28 bytes, not text for reading: the numbers
// big-endian one after the other, so keys sort by size first, as numbers.
std::string contentKey(std::uint64_t size, const ContentDigest& digest);
// The same bytes in place, for a pass that writes a million keys: no allocation each.
inline constexpr std::size_t kContentKeyBytes = 8 + 4 + 8 + 8;
using ContentKeyBytes = std::array<char, kContentKeyBytes>;
ContentKeyBytes contentKeyBytes(std::uint64_t size, const ContentDigest& digest);
// A content key for reading: "size:CRC-32:XXH3-128", the numbers in decimal and upper-case
// hexadecimal ("4:352441C2:…"); any other text comes back as it is.
std::string contentKeyText(std::string_view key);

} // namespace zandrex
