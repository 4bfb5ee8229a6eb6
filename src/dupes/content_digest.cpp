#include "dupes/content_digest.h"

#include "dupes/binary_file_stream.h"
#include "dupes/crc32.h"

#include <cstdio>
#include <memory>
#include <xxhash.h>

namespace zandrex {

namespace {
struct XxhStateDeleter {
  void operator()(XXH3_state_t* state) const { XXH3_freeState(state); }
};
} // namespace

ContentDigest digestStream(cBinaryFileStream& stream, std::span<std::uint8_t> buffer) {
  static thread_local std::unique_ptr<XXH3_state_t, XxhStateDeleter> state(XXH3_createState());
  XXH3_128bits_reset(state.get());
  ContentDigest digest;
  const auto block = static_cast<std::int64_t>(buffer.size());
  for (std::int64_t n = stream.Read(buffer, block); n > 0; n = stream.Read(buffer, block)) {
    digest.crc = crc32Update(digest.crc, buffer.data(), static_cast<std::size_t>(n));
    XXH3_128bits_update(state.get(), buffer.data(), static_cast<std::size_t>(n));
  }
  XXH128_hash_t hash = XXH3_128bits_digest(state.get());
  digest.xxhHigh = hash.high64;
  digest.xxhLow = hash.low64;
  return digest;
}

std::string checksumText(std::uint32_t crc) {
  char text[16];
  int n = std::snprintf(text, sizeof text, "%X", crc);
  return std::string(text, static_cast<std::size_t>(n));
}

std::string contentKey(std::uint64_t size, const ContentDigest& digest) {
  char text[80];
  int n = std::snprintf(text, sizeof text, "%llu:%08X:%016llX%016llX",
                        static_cast<unsigned long long>(size), digest.crc,
                        static_cast<unsigned long long>(digest.xxhHigh),
                        static_cast<unsigned long long>(digest.xxhLow));
  return std::string(text, static_cast<std::size_t>(n));
}

} // namespace zandrex
