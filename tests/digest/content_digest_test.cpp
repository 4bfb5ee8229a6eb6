#include "digest/content_digest.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

namespace zandrex::test {
namespace {

// Computed once with the reference libraries (zlib's crc32 and libxxhash's XXH3_128bits): a
// digest that drops or mixes up any part of either checksum no longer matches.
constexpr const char* kEmptyKey = "0:00000000:99AA06D3014798D86001C324468D497F";
constexpr const char* kAbcKey = "3:352441C2:06B05AB6733A618578AF5F94892F3950";
constexpr const char* kPatternKey = "100000:72AFC085:FAA51CDF3B1485174E16D63E05FAC6ED";
constexpr std::size_t kPatternBytes = 100000;
constexpr std::size_t kPatternStride = 251;
// Not a divisor of the pattern's length: the last block is a short one.
constexpr std::size_t kOddBlockBytes = 4099;

std::string pattern() {
  std::string bytes(kPatternBytes, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<char>(i * 7 + i / kPatternStride);
  return bytes;
}

TEST(ContentDigest, KeysArePinnedToTheReferenceChecksumsWhateverTheBlocks) {
  const std::pair<std::string, const char*> cases[] = {
      {"", kEmptyKey}, {"abc", kAbcKey}, {pattern(), kPatternKey}};
  for (const auto& [content, key] : cases) {
    SCOPED_TRACE(content.size());
    DigestBuilder builder;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(content.data());
    for (std::size_t at = 0; at < content.size(); at += kOddBlockBytes)
      builder.add(bytes + at, std::min(kOddBlockBytes, content.size() - at));
    const ContentDigest digest = builder.finish();
    EXPECT_EQ(contentKeyText(contentKey(content.size(), digest)), key);
  }
}

TEST(ContentDigest, ChecksumTextIsUpperCaseHexWithoutLeadingZeros) {
  const std::pair<std::uint32_t, const char*> cases[] = {
      {0, "0"}, {0xA, "A"}, {0x352441C2, "352441C2"}, {0x0ABCDEF1, "ABCDEF1"}, {~0u, "FFFFFFFF"}};
  for (const auto& [crc, text] : cases)
    EXPECT_EQ(checksumText(crc), text);
}

} // namespace
} // namespace zandrex::test
