#include "source/special_folders.h"
#include "source/system_folder_guard.h"

#include <gtest/gtest.h>

namespace zandrex::test {
namespace {

class GuardTest : public ::testing::Test {
protected:
  void SetUp() override {
    setSpecialFolderOverride([](int number) -> std::string {
      return number == CSIDL_PROGRAM_FILES ? "/usr" : number == CSIDL_WINDOWS ? "/etc" : "";
    });
  }
  void TearDown() override { setSpecialFolderOverride({}); }
};

TEST_F(GuardTest, ListsInTheOrderOfTheTests) {
  EXPECT_EQ(SystemFolder("/"), "/usr\r\n/etc\r\n");
  EXPECT_EQ(SystemFolder("/etc/"), "/etc");
  EXPECT_EQ(SystemFolder("/usr/"), "/usr");
  EXPECT_EQ(SystemFolder("/etc/ssh/"), "/etc\r\n");
  EXPECT_EQ(SystemFolder("/usr/share/doc/"), "/usr\r\n");
}

TEST_F(GuardTest, WholeComponentsAndLetterCaseDecide) {
  EXPECT_EQ(SystemFolder("/usr-local/"), "");
  EXPECT_EQ(SystemFolder("/home/me/backup/usr/"), "");
  EXPECT_EQ(SystemFolder("/ETC/"), "");
  EXPECT_EQ(SystemFolder("/home/"), "");
  // A folder without a path warns with an empty line.
  setSpecialFolderOverride(
      [](int number) -> std::string { return number == CSIDL_PROGRAM_FILES ? "" : "/etc"; });
  EXPECT_EQ(SystemFolder("/home/"), "\r\n");
}

TEST(SpecialFolders, ThisPlatformsFolders) {
  EXPECT_EQ(SpecialFolderPath(0, CSIDL_PROGRAM_FILES), "/usr");
  EXPECT_EQ(SpecialFolderPath(0, CSIDL_WINDOWS), "/etc");
  EXPECT_FALSE(SpecialFolderPath(0, CSIDL_PERSONAL).empty());
  EXPECT_EQ(SpecialFolderPath(0, 12345), "");
}

} // namespace
} // namespace zandrex::test
