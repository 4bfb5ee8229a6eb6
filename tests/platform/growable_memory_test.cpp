#include "platform/growable_memory.h"

#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>

namespace zandrex::platform {
namespace {

void fill(void* block, std::size_t bytes, std::uint8_t seed) {
  auto* bytesOf = static_cast<std::uint8_t*>(block);
  for (std::size_t i = 0; i < bytes; i += 4093)
    bytesOf[i] = static_cast<std::uint8_t>(seed + i / 4093);
}

bool holds(const void* block, std::size_t bytes, std::uint8_t seed) {
  const auto* bytesOf = static_cast<const std::uint8_t*>(block);
  for (std::size_t i = 0; i < bytes; i += 4093)
    if (bytesOf[i] != static_cast<std::uint8_t>(seed + i / 4093))
      return false;
  return true;
}

TEST(GrowableMemory, ABlockKeepsItsBytesThroughEveryGrowthAndShrink) {
  // Small pages, then whole huge pages, and back: each step across the way blocks are made.
  const std::size_t steps[] = {1,         4096,      100'000, 300'000,   2'000'000,
                               5'000'000, 2'100'000, 200'000, 9'000'000, 3'000};
  std::size_t bytes = steps[0];
  void* block = reserveMemory(bytes);
  fill(block, bytes, 7);
  for (std::size_t next : steps) {
    ASSERT_GE(blockBytes(next), next);
    ASSERT_EQ(blockBytes(blockBytes(next)), blockBytes(next)) << next;
    block = resizeMemory(block, bytes, next);
    // The whole room of the old block counts: an array keeps values there.
    const std::size_t kept = std::min(blockBytes(bytes), next);
    ASSERT_TRUE(holds(block, kept, 7)) << bytes << " -> " << next;
    // The room handed out is all usable.
    fill(block, blockBytes(next), 7);
    bytes = next;
  }
  releaseMemory(block, bytes);
}

} // namespace
} // namespace zandrex::platform
