#include "shellaid/os_version.h"

#include <gtest/gtest.h>

namespace zandrex {
namespace {

OSVersionInfo windows(std::uint32_t platformId, std::uint32_t major, std::uint32_t minor,
                      std::uint32_t build = 0, std::string csd = std::string(1, '\0')) {
  OSVersionInfo info;
  info.ok = true;
  info.platformId = platformId;
  info.major = major;
  info.minor = minor;
  info.build = build;
  info.csd = std::move(csd);
  return info;
}

TEST(WindowsNamingTest, NTFamily) {
  const OSVersionRecord xp =
      nameWindowsVersion(windows(2, 5, 1, 2600, std::string("Service Pack 3\0junk", 19)));
  EXPECT_EQ(osReportText(xp), "Windows XP 5.1 build 2600 (Service Pack 3)");
  EXPECT_EQ(xp.PlatformId, 2);

  EXPECT_EQ(nameWindowsVersion(windows(2, 5, 0)).Name, "Windows 2000");
  EXPECT_EQ(nameWindowsVersion(windows(2, 5, 2)).Name, "Windows NT");
  EXPECT_EQ(nameWindowsVersion(windows(2, 4, 0)).Name, "Windows NT");
  const OSVersionRecord vista = nameWindowsVersion(windows(2, 6, 0, 6002));
  EXPECT_EQ(osReportText(vista), "Windows NT 6.0 build 6002 ()");
}

TEST(WindowsNamingTest, OtherPlatformsAndOddInput) {
  EXPECT_EQ(nameWindowsVersion(windows(1, 4, 0)).Name, "Windows 95");
  EXPECT_EQ(nameWindowsVersion(windows(1, 4, 10)).Name, "Windows 98");
  EXPECT_EQ(nameWindowsVersion(windows(1, 4, 90)).Name, "Windows ME");
  EXPECT_EQ(nameWindowsVersion(windows(0, 3, 11)).Name, "Win32s");
  EXPECT_EQ(nameWindowsVersion(windows(3, 1, 0)).Name, "");
  // The build keeps its low 16 bits (the 95 family packs the version into the high ones).
  EXPECT_EQ(nameWindowsVersion(windows(1, 4, 10, 0x040A08AE)).Build, "2222");
  // A service-pack text without its NUL is not trusted.
  EXPECT_EQ(nameWindowsVersion(windows(2, 5, 1, 2600, "Service Pack 2")).ServicePack, "");

  OSVersionInfo failed = windows(2, 5, 1, 2600);
  failed.ok = false;
  const OSVersionRecord empty = nameWindowsVersion(failed);
  EXPECT_EQ(osReportText(empty), "  build  ()");
  EXPECT_EQ(empty.PlatformId, 0);
}

TEST(WindowsVersionTestsTest, StartUpAcceptsWindows2000ToVersion6) {
  struct Case {
    OSVersionInfo info;
    bool win2000;
    bool winXP;
  };
  OSVersionInfo failed = windows(2, 5, 1);
  failed.ok = false;
  const Case cases[] = {
      {windows(2, 5, 0), true, false},
      {windows(2, 5, 1), false, true},
      {windows(2, 5, 2), false, true},
      {windows(2, 6, 0), false, true},
      {windows(2, 6, 3), false, true},
      {windows(2, 4, 0), false, false},
      {windows(2, 5, 3), false, false},
      {windows(2, 10, 0), false, false},
      {windows(1, 4, 90), false, false},
      {windows(1, 5, 0), false, false},
      {failed, false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsWin2000(c.info), c.win2000)
        << c.info.platformId << " " << c.info.major << "." << c.info.minor;
    EXPECT_EQ(IsWinXP(c.info), c.winXP)
        << c.info.platformId << " " << c.info.major << "." << c.info.minor;
  }
}

TEST(RunningSystemTest, KernelFillsTheRecord) {
  OSVersionRecord record;
  GetOSVersionRecord(record);
  const platform::KernelVersion kernel = platform::kernelVersion();
  ASSERT_TRUE(kernel.ok);
  EXPECT_EQ(record.Name, "Linux");
  EXPECT_EQ(record.Version, std::to_string(kernel.major) + "." + std::to_string(kernel.minor));
  EXPECT_EQ(record.Build, std::to_string(kernel.build));
  EXPECT_EQ(record.ServicePack, kernel.prettyName);
  EXPECT_EQ(record.PlatformId, osplatform::kNotWindows);
  EXPECT_TRUE(isSupportedSystem());
}

TEST(RunningSystemTest, OnlyAnAnsweringLinuxKernelIsSupported) {
  platform::KernelVersion kernel;
  kernel.name = "Linux";
  EXPECT_FALSE(isSupportedKernel(kernel));
  kernel.ok = true;
  EXPECT_TRUE(isSupportedKernel(kernel));
  kernel.name = "FreeBSD";
  EXPECT_FALSE(isSupportedKernel(kernel));
}

} // namespace
} // namespace zandrex
