#include "digest/content_digest.h"

#include "digest/crc32.h"

#include <cstdio>
#include <memory>
#include <xxhash.h>

namespace zandrex {

namespace {
// Size, CRC-32 and both halves of the XXH3-128.

struct XxhStateDeleter {
  void operator()(XXH3_state_t* state) const { XXH3_freeState(state); }
};

XXH3_state_t* threadState() {
  static thread_local std::unique_ptr<XXH3_state_t, XxhStateDeleter> state(XXH3_createState());
  return state.get();
}
} // namespace

DigestBuilder::DigestBuilder() {
  XXH3_128bits_reset(threadState());
}

void DigestBuilder::add(const std::uint8_t* bytes, std::size_t count) {
  digest_.crc = crc32Update(digest_.crc, bytes, count);
  XXH3_128bits_update(threadState(), bytes, count);
}

ContentDigest DigestBuilder::finish() {
  XXH128_hash_t hash = XXH3_128bits_digest(threadState());
  digest_.xxhHigh = hash.high64;
  digest_.xxhLow = hash.low64;
  return digest_;
}

std::string checksumText(std::uint32_t crc) {
  constexpr int kDigitBits = 4;
  constexpr int kMaxDigits = 8;
  constexpr std::string_view kDigits = "0123456789ABCDEF";
  char text[kMaxDigits];
  int start = kMaxDigits;
  do {
    text[--start] = kDigits[crc & 0xF];
    crc >>= kDigitBits;
  } while (crc != 0);
  return std::string(text + start, text + kMaxDigits);
}

ContentKeyBytes contentKeyBytes(std::uint64_t size, const ContentDigest& digest) {
  ContentKeyBytes key;
  std::size_t at = 0;
  auto put = [&](std::uint64_t value, int bytes) {
    for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8)
      key[at++] = static_cast<char>(value >> shift & 0xFF);
  };
  put(size, sizeof size);
  put(digest.crc, sizeof digest.crc);
  put(digest.xxhHigh, sizeof digest.xxhHigh);
  put(digest.xxhLow, sizeof digest.xxhLow);
  return key;
}

std::string contentKey(std::uint64_t size, const ContentDigest& digest) {
  const ContentKeyBytes key = contentKeyBytes(size, digest);
  return std::string(key.data(), key.size());
}

std::string contentKeyText(std::string_view key) {
  if (key.size() != kContentKeyBytes)
    return std::string(key);
  std::size_t at = 0;
  auto take = [&](int bytes) {
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
      value = value << 8 | static_cast<unsigned char>(key[at++]);
    return value;
  };
  const std::uint64_t size = take(8);
  const std::uint64_t crc = take(4);
  const std::uint64_t high = take(8);
  const std::uint64_t low = take(8);
  char text[80];
  const int n =
      std::snprintf(text, sizeof text, "%llu:%08llX:%016llX%016llX",
                    static_cast<unsigned long long>(size), static_cast<unsigned long long>(crc),
                    static_cast<unsigned long long>(high), static_cast<unsigned long long>(low));
  return std::string(text, static_cast<std::size_t>(n));
}

} // namespace zandrex
