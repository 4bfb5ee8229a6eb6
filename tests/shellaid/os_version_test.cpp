#include "shellaid/os_version.h"

#include <gtest/gtest.h>

namespace zandrex {
namespace {

TEST(RunningSystemTest, KernelFillsTheReportLineAndOnlyLinuxIsSupported) {
  EXPECT_EQ(osReportText(OSVersionRecord{}), "  build  ()");
  OSVersionRecord record;
  GetOSVersionRecord(record);
  const platform::KernelVersion kernel = platform::kernelVersion();
  ASSERT_TRUE(kernel.ok);
  EXPECT_EQ(osReportText(record),
            "Linux " + std::to_string(kernel.major) + "." + std::to_string(kernel.minor) +
                " build " + std::to_string(kernel.build) + " (" + kernel.prettyName + ")");
  EXPECT_TRUE(isSupportedSystem());

  // Only an answering Linux kernel is supported.
  platform::KernelVersion other;
  other.name = "Linux";
  EXPECT_FALSE(isSupportedKernel(other));
  other.ok = true;
  EXPECT_TRUE(isSupportedKernel(other));
  other.name = "FreeBSD";
  EXPECT_FALSE(isSupportedKernel(other));
}

} // namespace
} // namespace zandrex
