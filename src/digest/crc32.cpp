#include "digest/crc32.h"

#include "digest/crc32_detail.h"

#include <array>
#include <bit>
#include <cstring>

namespace zandrex {

namespace {

constexpr std::uint32_t kReflectedPolynomial = 0xEDB88320u;
constexpr std::uint32_t kAllOnes = 0xFFFFFFFFu;
constexpr int kBitsPerByte = 8;
constexpr std::uint32_t kByteMask = 0xFFu;
constexpr std::size_t kTableSize = 256;
constexpr std::size_t kSlices = 8;

constexpr std::uint32_t tableEntry(std::uint32_t n) {
  std::uint32_t c = n;
  for (int bit = 0; bit < kBitsPerByte; ++bit)
    c = (c & 1u) ? (c >> 1) ^ kReflectedPolynomial : c >> 1;
  return c;
}

using ByteTable = std::array<std::uint32_t, kTableSize>;

constexpr ByteTable makeByteTable() {
  ByteTable table{};
  for (std::uint32_t n = 0; n < kTableSize; ++n)
    table[n] = tableEntry(n);
  return table;
}

// Slice k maps a byte to the register change it causes when k zero bytes follow it, so eight
// bytes can be folded with eight independent lookups.
constexpr std::array<ByteTable, kSlices> makeSliceTables() {
  std::array<ByteTable, kSlices> slices{};
  slices[0] = makeByteTable();
  for (std::size_t k = 1; k < kSlices; ++k)
    for (std::size_t n = 0; n < kTableSize; ++n) {
      const std::uint32_t prev = slices[k - 1][n];
      slices[k][n] = (prev >> kBitsPerByte) ^ slices[0][prev & kByteMask];
    }
  return slices;
}

// The reference keeps a table of its own so that it shares nothing with the paths it checks.
constexpr ByteTable kReferenceTable = makeByteTable();
constexpr std::array<ByteTable, kSlices> kSliceTables = makeSliceTables();

inline std::uint32_t updateByte(const std::uint32_t* table, std::uint32_t c, std::uint8_t byte) {
  return (c >> kBitsPerByte) ^ table[(byte ^ c) & kByteMask];
}

inline std::uint64_t loadLittleEndian64(const std::uint8_t* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  if constexpr (std::endian::native == std::endian::big)
    word = __builtin_bswap64(word);
  return word;
}

using Kernel = std::uint32_t (*)(std::uint32_t, const std::uint8_t*, std::size_t);

Kernel pickKernel() {
  if (detail::crc32CpuHasVpclmul512())
    return detail::crc32Vpclmul512Register;
  if (detail::crc32CpuHasPclmul())
    return detail::crc32PclmulRegister;
  return detail::crc32Slice8Register;
}

Kernel fastKernel() {
  static const Kernel kernel = pickKernel();
  return kernel;
}

} // namespace

namespace detail {

std::uint32_t crc32Slice8Register(std::uint32_t reg, const std::uint8_t* data, std::size_t size) {
  const auto& t = kSliceTables;
  while (size >= kSlices) {
    const std::uint64_t w = loadLittleEndian64(data) ^ reg;
    reg = t[7][w & kByteMask] ^ t[6][(w >> 8) & kByteMask] ^ t[5][(w >> 16) & kByteMask] ^
          t[4][(w >> 24) & kByteMask] ^ t[3][(w >> 32) & kByteMask] ^ t[2][(w >> 40) & kByteMask] ^
          t[1][(w >> 48) & kByteMask] ^ t[0][w >> 56];
    data += kSlices;
    size -= kSlices;
  }
  for (; size > 0; --size)
    reg = updateByte(t[0].data(), reg, *data++);
  return reg;
}

} // namespace detail

std::uint32_t crc32UpdateBytewise(std::uint32_t crc, const void* data, std::size_t size) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  std::uint32_t c = ~crc;
  for (std::size_t i = 0; i < size; ++i)
    c = updateByte(kReferenceTable.data(), c, p[i]);
  return ~c;
}

std::uint32_t crc32UpdateSlice8(std::uint32_t crc, const void* data, std::size_t size) {
  return ~detail::crc32Slice8Register(~crc, static_cast<const std::uint8_t*>(data), size);
}

std::uint32_t crc32Update(std::uint32_t crc, const void* data, std::size_t size) {
  return ~fastKernel()(~crc, static_cast<const std::uint8_t*>(data), size);
}

bool crc32HasHardwarePath() {
  return fastKernel() != detail::crc32Slice8Register;
}

} // namespace zandrex
