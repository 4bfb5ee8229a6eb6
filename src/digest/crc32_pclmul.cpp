// Carry-less multiply folding for CRC-32. Each kernel is compiled for its instruction set through
// a target attribute and chosen at run time, so the rest of the build needs no machine flags.
//
// Folding: a 128-bit lane that lies D bits ahead of another is replaced by a value congruent to it
// times x^D modulo the polynomial and added into that other lane. The congruence keeps the CRC
// intact, and because a register started at zero ignores leading zeros, the last 16-byte lane plus
// any tail can simply be run through the table at the end instead of a Barrett reduction.
#include "digest/crc32_detail.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ZANDREX_HAVE_CLMUL_KERNELS 1
#define ZANDREX_TARGET_PCLMUL __attribute__((target("pclmul,sse4.1")))
#define ZANDREX_TARGET_VPCLMUL512 __attribute__((target("pclmul,sse4.1,avx512f,vpclmulqdq")))
#endif

namespace zandrex::detail {

#ifdef ZANDREX_HAVE_CLMUL_KERNELS

namespace {

constexpr std::uint64_t kFullPolynomial = 0x104C11DB7u; // x^32 + the CRC-32 generator
constexpr std::uint64_t kDegreeBit = 1ull << 32;
constexpr unsigned kCrcBits = 32;

constexpr std::uint64_t xPowerModPolynomial(unsigned exponent) {
  std::uint64_t r = 1;
  for (unsigned i = 0; i < exponent; ++i) {
    r <<= 1;
    if (r & kDegreeBit)
      r ^= kFullPolynomial;
  }
  return r;
}

constexpr std::uint64_t reflect32(std::uint64_t v) {
  std::uint64_t r = 0;
  for (unsigned i = 0; i < kCrcBits; ++i)
    if (v & (1ull << i))
      r |= 1ull << (kCrcBits - 1 - i);
  return r;
}

// The operands are bit-reflected, so their carry-less product comes out one bit short; the
// constants are shifted left by one to make up for it.
constexpr std::uint64_t foldConstant(unsigned exponent) {
  return reflect32(xPowerModPolynomial(exponent)) << 1;
}
// A lane's low half (its earlier bytes) is multiplied by x^(D+32), its high half by x^(D-32).
constexpr std::uint64_t foldLow(unsigned distanceBits) {
  return foldConstant(distanceBits + 32);
}
constexpr std::uint64_t foldHigh(unsigned distanceBits) {
  return foldConstant(distanceBits - 32);
}

// The published 128-bit and 512-bit fold constants of this polynomial.
static_assert(foldLow(128) == 0x1751997D0u && foldHigh(128) == 0x0CCAA009Eu);
static_assert(foldLow(512) == 0x154442BD4u && foldHigh(512) == 0x1C6E41596u);

constexpr unsigned kLaneBits = 128;
constexpr std::size_t kLaneBytes = 16;
constexpr std::size_t kLanesPerBlock = 4;
constexpr std::size_t kBlockBytes = kLaneBytes * kLanesPerBlock;
constexpr unsigned kBlockBits = kLaneBits * kLanesPerBlock;
// Below two blocks the table path is as quick and the setup is not worth it.
constexpr std::size_t kPclmulMinSize = 2 * kBlockBytes;

constexpr std::size_t kWideBytes = 64; // one 512-bit register
constexpr unsigned kWideBits = 512;
constexpr std::size_t kWidePerBlock = 4;
constexpr std::size_t kWideBlockBytes = kWideBytes * kWidePerBlock;
constexpr unsigned kWideBlockBits = kWideBits * kWidePerBlock;
constexpr std::size_t kVpclmulMinSize = 2 * kWideBlockBytes;

constexpr int kLowTimesLow = 0x00;
constexpr int kHighTimesHigh = 0x11;
constexpr int kXorOfThree = 0x96; // ternary-logic truth table of a ^ b ^ c
// The zero-masked lane extract keeps GCC from warning about the plain one's undefined filler.
constexpr __mmask8 kWholeLane = 0xF;

// The constants are template arguments so they are computed by the compiler: computed at run
// time they cost microseconds per call, which small files pay in full.
template <unsigned DistanceBits> ZANDREX_TARGET_PCLMUL inline __m128i foldConstants() {
  constexpr auto kLow = static_cast<long long>(foldLow(DistanceBits));
  constexpr auto kHigh = static_cast<long long>(foldHigh(DistanceBits));
  return _mm_set_epi64x(kHigh, kLow);
}

ZANDREX_TARGET_PCLMUL inline __m128i load128(const std::uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// x folded forward by the distance its constants stand for, added to data.
ZANDREX_TARGET_PCLMUL inline __m128i foldInto(__m128i x, __m128i k, __m128i data) {
  const __m128i low = _mm_clmulepi64_si128(x, k, kLowTimesLow);
  const __m128i high = _mm_clmulepi64_si128(x, k, kHighTimesHigh);
  return _mm_xor_si128(_mm_xor_si128(low, data), high);
}

// The last lane and the bytes after it through the table, from a register of zero.
ZANDREX_TARGET_PCLMUL std::uint32_t finish(__m128i lane, const std::uint8_t* tail,
                                           std::size_t tailSize) {
  alignas(kLaneBytes) std::uint8_t bytes[kLaneBytes];
  _mm_store_si128(reinterpret_cast<__m128i*>(bytes), lane);
  return crc32Slice8Register(crc32Slice8Register(0, bytes, kLaneBytes), tail, tailSize);
}

// Folds single lanes into x while at least one lane is left, then finishes.
ZANDREX_TARGET_PCLMUL std::uint32_t foldLanesAndFinish(__m128i x, const std::uint8_t* p,
                                                       std::size_t size) {
  const __m128i k128 = foldConstants<kLaneBits>();
  for (; size >= kLaneBytes; p += kLaneBytes, size -= kLaneBytes)
    x = foldInto(x, k128, load128(p));
  return finish(x, p, size);
}

ZANDREX_TARGET_VPCLMUL512 inline __m512i load512(const std::uint8_t* p) {
  return _mm512_loadu_si512(p);
}

template <unsigned DistanceBits> ZANDREX_TARGET_VPCLMUL512 inline __m512i wideFoldConstants() {
  constexpr auto kLow = static_cast<long long>(foldLow(DistanceBits));
  constexpr auto kHigh = static_cast<long long>(foldHigh(DistanceBits));
  return _mm512_set_epi64(kHigh, kLow, kHigh, kLow, kHigh, kLow, kHigh, kLow);
}

template <int Index> ZANDREX_TARGET_VPCLMUL512 inline __m128i lane(__m512i z) {
  return _mm512_maskz_extracti32x4_epi32(kWholeLane, z, Index);
}

ZANDREX_TARGET_VPCLMUL512 inline __m512i wideFoldInto(__m512i x, __m512i k, __m512i data) {
  return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(x, k, kLowTimesLow),
                                   _mm512_clmulepi64_epi128(x, k, kHighTimesHigh), data,
                                   kXorOfThree);
}

} // namespace

bool crc32CpuHasPclmul() {
  return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
}

bool crc32CpuHasVpclmul512() {
  return crc32CpuHasPclmul() && __builtin_cpu_supports("avx512f") &&
         __builtin_cpu_supports("vpclmulqdq");
}

ZANDREX_TARGET_PCLMUL std::uint32_t crc32PclmulRegister(std::uint32_t reg, const std::uint8_t* data,
                                                        std::size_t size) {
  if (size < kPclmulMinSize)
    return crc32Slice8Register(reg, data, size);

  // The register enters as the first 32 bits of the message.
  __m128i x0 = _mm_xor_si128(load128(data), _mm_cvtsi32_si128(static_cast<int>(reg)));
  __m128i x1 = load128(data + kLaneBytes);
  __m128i x2 = load128(data + 2 * kLaneBytes);
  __m128i x3 = load128(data + 3 * kLaneBytes);
  data += kBlockBytes;
  size -= kBlockBytes;

  const __m128i k512 = foldConstants<kBlockBits>();
  for (; size >= kBlockBytes; data += kBlockBytes, size -= kBlockBytes) {
    x0 = foldInto(x0, k512, load128(data));
    x1 = foldInto(x1, k512, load128(data + kLaneBytes));
    x2 = foldInto(x2, k512, load128(data + 2 * kLaneBytes));
    x3 = foldInto(x3, k512, load128(data + 3 * kLaneBytes));
  }

  const __m128i k128 = foldConstants<kLaneBits>();
  __m128i x = foldInto(x0, k128, x1);
  x = foldInto(x, k128, x2);
  x = foldInto(x, k128, x3);
  return foldLanesAndFinish(x, data, size);
}

ZANDREX_TARGET_VPCLMUL512 std::uint32_t
crc32Vpclmul512Register(std::uint32_t reg, const std::uint8_t* data, std::size_t size) {
  if (size < kVpclmulMinSize)
    return crc32PclmulRegister(reg, data, size);

  const __m512i first =
      _mm512_inserti32x4(_mm512_setzero_si512(), _mm_cvtsi32_si128(static_cast<int>(reg)), 0);
  __m512i z0 = _mm512_xor_si512(load512(data), first);
  __m512i z1 = load512(data + kWideBytes);
  __m512i z2 = load512(data + 2 * kWideBytes);
  __m512i z3 = load512(data + 3 * kWideBytes);
  data += kWideBlockBytes;
  size -= kWideBlockBytes;

  const __m512i k2048 = wideFoldConstants<kWideBlockBits>();
  for (; size >= kWideBlockBytes; data += kWideBlockBytes, size -= kWideBlockBytes) {
    z0 = wideFoldInto(z0, k2048, load512(data));
    z1 = wideFoldInto(z1, k2048, load512(data + kWideBytes));
    z2 = wideFoldInto(z2, k2048, load512(data + 2 * kWideBytes));
    z3 = wideFoldInto(z3, k2048, load512(data + 3 * kWideBytes));
  }

  // Neighbouring 512-bit registers hold matching lanes 512 bits apart.
  const __m512i k512 = wideFoldConstants<kWideBits>();
  __m512i z = wideFoldInto(z0, k512, z1);
  z = wideFoldInto(z, k512, z2);
  z = wideFoldInto(z, k512, z3);
  for (; size >= kWideBytes; data += kWideBytes, size -= kWideBytes)
    z = wideFoldInto(z, k512, load512(data));

  const __m128i k128 = foldConstants<kLaneBits>();
  __m128i x = foldInto(lane<0>(z), k128, lane<1>(z));
  x = foldInto(x, k128, lane<2>(z));
  x = foldInto(x, k128, lane<3>(z));
  return foldLanesAndFinish(x, data, size);
}

#else // no carry-less multiply kernels on this architecture

bool crc32CpuHasPclmul() {
  return false;
}
bool crc32CpuHasVpclmul512() {
  return false;
}

std::uint32_t crc32PclmulRegister(std::uint32_t reg, const std::uint8_t* data, std::size_t size) {
  return crc32Slice8Register(reg, data, size);
}

std::uint32_t crc32Vpclmul512Register(std::uint32_t reg, const std::uint8_t* data,
                                      std::size_t size) {
  return crc32Slice8Register(reg, data, size);
}

#endif

} // namespace zandrex::detail
