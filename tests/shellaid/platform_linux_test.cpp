// The Linux platform layer: its text readers, the folders it derives from the environment and
// the running system as the error report and the start-up check see it.
#include "platform/linux/linux_text.h"
#include "platform/platform.h"
#include "shellaid/os_version.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <tuple>

namespace zandrex {
namespace {

using namespace platform::linux_text;

TEST(LinuxTextTest, KernelReleaseNumbers) {
  struct Case {
    const char* release;
    unsigned major, minor, build;
  };
  for (const Case& c :
       {Case{"6.1.0-18-amd64", 6, 1, 0}, Case{"5.15.153.1-microsoft-standard-WSL2", 5, 15, 153},
        Case{"6.8", 6, 8, 0}, Case{"4.19-rc1.3", 4, 19, 0}}) {
    unsigned major = 9, minor = 9, build = 9;
    EXPECT_TRUE(parseKernelRelease(c.release, major, minor, build)) << c.release;
    EXPECT_EQ(std::tuple(major, minor, build), std::tuple(c.major, c.minor, c.build)) << c.release;
  }
  unsigned major, minor, build;
  EXPECT_FALSE(parseKernelRelease("", major, minor, build));
  EXPECT_FALSE(parseKernelRelease("v6.1", major, minor, build));
}

TEST(LinuxTextTest, OsReleaseValues) {
  const std::string text = "NAME=\"Debian GNU/Linux\"\n"
                           "# PRETTY_NAME=\"commented out\"\n"
                           "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"
                           "ID=debian\n"
                           "VARIANT='Desktop \\ Edition'\n"
                           "QUOTED=\"say \\\"hi\\\"\"\n";
  EXPECT_EQ(osReleaseValue(text, "PRETTY_NAME"), "Debian GNU/Linux 12 (bookworm)");
  EXPECT_EQ(osReleaseValue(text, "ID"), "debian");
  EXPECT_EQ(osReleaseValue(text, "VARIANT"), "Desktop \\ Edition");
  EXPECT_EQ(osReleaseValue(text, "QUOTED"), "say \"hi\"");
  EXPECT_EQ(osReleaseValue(text, "VERSION"), "");
}

TEST(LinuxTextTest, UserDirsDocuments) {
  const std::pair<const char*, const char*> cases[] = {
      {"XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n", "/home/ann/Dokumente"},
      {"XDG_DOCUMENTS_DIR=\"/data/docs/\"", "/data/docs"},
      {"XDG_DOCUMENTS_DIR=\"$HOME/\"", "/home/ann"},
      {"XDG_DOCUMENTS_DIR=\"$HOME/My\\ Files\"", "/home/ann/My Files"},
      {"XDG_DOCUMENTS_DIR=\"$HOMEWORK\"", ""},
      {"XDG_DOCUMENTS_DIR=\"docs\"", ""},
      {"XDG_MUSIC_DIR=\"$HOME/Music\"", ""}};
  for (const auto& [text, folder] : cases)
    EXPECT_EQ(userDirsDocuments(text, "/home/ann"), folder) << text;
}

TEST(PlatformTest, DocumentsFolderFollowsTheUserDirsFile) {
  const test::TempDir temp;
  const std::string home = temp.path() + "home";
  const test::ScopedEnv homeVariable("HOME", home + "/");
  const test::ScopedEnv configVariable("XDG_CONFIG_HOME", temp.path() + "config");
  EXPECT_EQ(platform::homeFolder(), home);
  EXPECT_EQ(platform::documentsFolder(), home + "/Documents");

  temp.write("config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Papiere\"\n");
  EXPECT_EQ(platform::documentsFolder(), home + "/Papiere");

  const test::ScopedEnv relativeConfig("XDG_CONFIG_HOME", "config");
  temp.write("home/.config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"/srv/docs\"\n");
  EXPECT_EQ(platform::documentsFolder(), "/srv/docs");
}

TEST(PlatformTest, ExecutableAndSystemAnswers) {
  EXPECT_TRUE(platform::executablePath().starts_with(platform::executableFolder() + "/" +
                                                     platform::executableName()));
  EXPECT_EQ(platform::systemMessage(0), "");
  EXPECT_FALSE(platform::systemMessage(2).empty());
  EXPECT_EQ(platform::systemMessage(999999), "");

  std::tm epoch{};
  EXPECT_TRUE(platform::toLocalTime(0, epoch));
  EXPECT_TRUE(epoch.tm_year == 70 || epoch.tm_year == 69);
}

TEST(RunningSystemTest, KernelFillsTheReportLineAndOnlyAnAnsweringLinuxIsSupported) {
  OSVersionRecord record;
  GetOSVersionRecord(record);
  const platform::KernelVersion kernel = platform::kernelVersion();
  ASSERT_TRUE(kernel.ok);
  EXPECT_EQ(osReportText(record),
            "Linux " + std::to_string(kernel.major) + "." + std::to_string(kernel.minor) +
                " build " + std::to_string(kernel.build) + " (" + kernel.prettyName + ")");
  EXPECT_TRUE(isSupportedSystem());

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
