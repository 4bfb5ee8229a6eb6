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

TEST(WindowsNamingTest, NamesByPlatformAndVersion) {
  const OSVersionRecord xp =
      nameWindowsVersion(windows(2, 5, 1, 2600, std::string("Service Pack 3\0junk", 19)));
  EXPECT_EQ(osReportText(xp), "Windows XP 5.1 build 2600 (Service Pack 3)");
  EXPECT_EQ(xp.PlatformId, 2);
  EXPECT_EQ(osReportText(nameWindowsVersion(windows(2, 6, 0, 6002))),
            "Windows NT 6.0 build 6002 ()");
  const std::pair<OSVersionInfo, const char*> names[] = {
      {windows(2, 5, 0), "Windows 2000"}, {windows(2, 5, 2), "Windows NT"},
      {windows(2, 4, 0), "Windows NT"},   {windows(1, 4, 0), "Windows 95"},
      {windows(1, 4, 10), "Windows 98"},  {windows(1, 4, 90), "Windows ME"},
      {windows(0, 3, 11), "Win32s"},      {windows(3, 1, 0), ""}};
  for (const auto& [info, name] : names)
    EXPECT_EQ(nameWindowsVersion(info).Name, name)
        << info.platformId << " " << info.major << "." << info.minor;
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
  const Case cases[] = {{windows(2, 5, 0), true, false},
                        {windows(2, 5, 1), false, true},
                        {windows(2, 5, 2), false, true},
                        {windows(2, 6, 0), false, true},
                        {windows(2, 6, 3), false, true},
                        {windows(2, 4, 0), false, false},
                        {windows(2, 5, 3), false, false},
                        {windows(2, 10, 0), false, false},
                        {windows(1, 4, 90), false, false},
                        {windows(1, 5, 0), false, false},
                        {failed, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.info.platformId) + " " + std::to_string(c.info.major) + "." +
                 std::to_string(c.info.minor));
    EXPECT_EQ(IsWin2000(c.info), c.win2000);
    EXPECT_EQ(IsWinXP(c.info), c.winXP);
  }
}

TEST(RunningSystemTest, KernelFillsTheRecordAndIsSupported) {
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
