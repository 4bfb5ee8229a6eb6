#include "shellaid/loaded_windows.h"

#include <gtest/gtest.h>

namespace zandrex {
namespace {

TEST(LoadedWindowsTest, NamesCompareExactlyAndInstancesCount) {
  EXPECT_FALSE(isLoad("Form11"));
  markWindowLoaded("Form11");
  markWindowLoaded("Form11");
  EXPECT_TRUE(isLoad("Form11"));
  EXPECT_FALSE(isLoad("form11"));
  EXPECT_FALSE(isLoad("Form1"));
  markWindowUnloaded("Form11");
  EXPECT_TRUE(isLoad("Form11"));
  markWindowUnloaded("Form11");
  EXPECT_FALSE(isLoad("Form11"));
  markWindowUnloaded("Form11"); // nothing left to forget
  EXPECT_FALSE(isLoad("Form11"));
}

} // namespace
} // namespace zandrex
