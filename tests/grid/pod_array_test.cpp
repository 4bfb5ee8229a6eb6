#include "grid/pod_array.h"

#include <cstdint>
#include <gtest/gtest.h>

namespace zandrex {
namespace {

struct Pair {
  std::uint32_t a = 7;
  std::uint32_t b = 9;
};

TEST(PodArrayTest, ValuesSurviveEveryGrowthAndMove) {
  PodArray<std::uint64_t> values;
  constexpr std::uint64_t kCount = 300000; // several remaps past the first page
  for (std::uint64_t i = 0; i < kCount; ++i)
    values.push_back(i * 3);
  PodArray<std::uint64_t> moved(std::move(values));
  values = std::move(moved);
  ASSERT_EQ(values.size(), kCount);
  for (std::uint64_t i = 0; i < kCount; ++i)
    ASSERT_EQ(values[i], i * 3) << i;
  // Pushing one of its own values while it has to grow must not read the old block.
  PodArray<std::uint64_t> small;
  small.push_back(42);
  for (int i = 0; i < 1000; ++i)
    small.push_back(small[0]);
  EXPECT_EQ(small.back(), 42u);
}

TEST(PodArrayTest, ResizeAndAssignSetEveryNewSlot) {
  PodArray<Pair> pairs;
  pairs.resize(3);
  pairs[2].a = 1;
  pairs.resize(1);
  pairs.resize(5);
  // Memory kept from before the shrink is value-initialised again, not left as it was.
  EXPECT_EQ(pairs[2].a, 7u);
  EXPECT_EQ(pairs[4].b, 9u);
  EXPECT_EQ(pairs.emplace_back().a, 7u);
  pairs.assign(2, Pair{1, 2});
  EXPECT_EQ(pairs.size(), 2u);
  EXPECT_EQ(pairs[1].b, 2u);
  pairs.clear();
  EXPECT_TRUE(pairs.empty());
  pairs.push_back(Pair{3, 4});
  EXPECT_EQ(pairs[0].a, 3u);
}

TEST(PodArrayTest, ShrinkingToFitKeepsTheValuesAndRoomForThem) {
  PodArray<std::uint64_t> values;
  constexpr std::uint64_t kMany = 1'000'000;
  constexpr std::uint64_t kFew = 1'000;
  values.resizeForOverwrite(kMany);
  for (std::uint64_t i = 0; i < kMany; ++i)
    values[i] = i ^ 0x5A5A;
  values.resizeForOverwrite(kFew);
  values.shrinkToFit();
  EXPECT_LT(values.capacity(), kMany / 2);
  ASSERT_GE(values.capacity(), kFew);
  for (std::uint64_t i = 0; i < kFew; ++i)
    ASSERT_EQ(values[i], i ^ 0x5A5A) << i;
  values.push_back(7);
  EXPECT_EQ(values[kFew], 7u);
  values.resizeForOverwrite(0);
  values.shrinkToFit();
  EXPECT_EQ(values.capacity(), 0u);
}

TEST(PodArrayTest, ForgettingTheFrontKeepsTheRest) {
  PodArray<std::uint32_t> values;
  // Several megabytes: big arrays may sit in huge pages, which a forget must split, not drop whole.
  constexpr std::uint32_t kCount = 3000000;
  values.resizeForOverwrite(kCount);
  for (std::uint32_t i = 0; i < kCount; ++i)
    values[i] = i + 1;
  values.forgetBefore(kCount / 2 + 3);
  EXPECT_EQ(values.size(), kCount);
  for (std::uint32_t i = kCount / 2 + 3; i < kCount; ++i)
    ASSERT_EQ(values[i], i + 1) << i;
  // A forgotten value reads as zero or as it was, never as anything else.
  EXPECT_TRUE(values[10] == 0 || values[10] == 11);
}

} // namespace
} // namespace zandrex
