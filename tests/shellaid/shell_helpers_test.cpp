#include "settings/message_texts.h"
#include "shellaid/shell_helpers.h"
#include "test_support.h"

#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>

namespace zandrex {
namespace {

constexpr const char* kSupport = "support@zandrex.org";

// The mailto text: parts in order, only the first after "?", escaping that leaves "%" alone.
TEST(MailUrlTest, BuildsTheLinkOfTheWindowsAndEscapesEveryLineBreak) {
  EXPECT_EQ(buildMailUrl(kSupport, mailSubject(2, 0, true), "", "", "", ""),
            "mailto:support@zandrex.org?Subject=Zandrex%20v2.0%20Error%20report");
  EXPECT_EQ(buildMailUrl(kSupport, mailSubject(1, 5, false), "", "", "", ""),
            "mailto:support@zandrex.org?Subject=Zandrex%20v1.5");
  EXPECT_EQ(buildMailUrl("a@b", "A&B", "Hi", "x", "", ""),
            "mailto:a@b?Subject=A%26B&Body=Hi%0D%0A&CC=x");
  EXPECT_EQ(buildMailUrl("a@b", "", "", "c d", "e&f", "/tmp/r.txt"),
            "mailto:a@b?CC=c d&BCC=e&f&Attacth=\"/tmp/r.txt\"");
  EXPECT_EQ(buildMailUrl("a%20b@c", "", "", "", "", ""), "mailto:a%20b@c");
  EXPECT_EQ(buildMailUrl("a@b", "", "line\r\n", "", "", ""), "mailto:a@b?Body=line%0D%0A%0D%0A");
  EXPECT_EQ(escapeMailText("50%20off"), "50%20off");
  EXPECT_EQ(escapeMailText("a\r\nb\rc\nd"), "a%0D%0Ab%0Dc%0Ad");
  // "&" goes first, so the "%26" it makes is not escaped again.
  EXPECT_EQ(escapeMailText("x & y"), "x%20%26%20y");
}

TEST(AboutTextTest, MinorVersionHasTwoDigitsInTheWindowAndNoneInTheSubject) {
  SetLanguageTexts();
  EXPECT_EQ(aboutVersionText(2, 0), "Version 2.00");
  EXPECT_EQ(aboutVersionText(1, 5), "Version 1.05");
  EXPECT_EQ(aboutVersionText(3, 0), "Version 3.00");
  EXPECT_EQ(aboutVersionText(2, 12), "Version 2.12");
  EXPECT_EQ(mailSubject(3, 0, false), "Zandrex v3.0");
}

TEST(ShellErrorTest, KnownCodesHaveTextsOthersNone) {
  EXPECT_EQ(shellErrorText(2), "The specified file was not found.");
  EXPECT_EQ(shellErrorText(26), "A sharing violation occurred.");
  for (int code : {0, 3, 5, 8, 11, 27, 31})
    EXPECT_FALSE(shellErrorText(code).empty()) << code;
  for (int code : {1, 28, 29, 30, 32, 33})
    EXPECT_EQ(shellErrorText(code), "") << code;
}

TEST(ShellErrorTest, ErrnoMapsToTheNearestShellCode) {
  const std::pair<int, int> codes[] = {{ENOENT, 2}, {ENOTDIR, 3},  {EACCES, 5},   {EPERM, 5},
                                       {ENOMEM, 8}, {ENOEXEC, 11}, {ETXTBSY, 26}, {EINVAL, 31}};
  for (const auto& [error, code] : codes)
    EXPECT_EQ(shellCodeForErrno(error), code) << error;
}

TEST(FileManagerTest, RealPaths) {
  const test::TempDir temp;
  const std::string file = temp.write("photos/a b.jpg", "x");
  EXPECT_EQ(checkFileManagerPath(file), FileManagerCheck::Ok);
  EXPECT_EQ(checkFileManagerPath(temp.path() + "photos"), FileManagerCheck::Ok);
  EXPECT_EQ(checkFileManagerPath(temp.path() + "photos/missing.jpg"),
            FileManagerCheck::FileNotFound);
  EXPECT_EQ(checkFileManagerPath("\\\\server\\share\\a.txt"), FileManagerCheck::DriveNotPresent);
  EXPECT_EQ(checkFileManagerPath("C:\\Data\\a.txt"), FileManagerCheck::DriveNotPresent);
  EXPECT_EQ(checkFileManagerPath("relative/a.txt"), FileManagerCheck::DriveNotPresent);
  EXPECT_EQ(checkFileManagerPath(""), FileManagerCheck::DriveNotPresent);
}

TEST(FileManagerTest, DriveIsTheLongestCoveringMountPoint) {
  const test::TempDir temp;
  const std::string file = temp.write("disk/a.txt", "x");
  const std::string gone = temp.path() + "gone"; // a mount point that cannot be asked
  EXPECT_EQ(checkFileManagerPath(gone + "/a.txt", {"/", gone}), FileManagerCheck::NoDisk);
  // "gone" is not a leading folder of "goner".
  EXPECT_EQ(checkFileManagerPath(file, {"/", gone + "r"}), FileManagerCheck::Ok);
  EXPECT_EQ(checkFileManagerPath(file, {temp.path() + "other"}), FileManagerCheck::DriveNotPresent);
  EXPECT_EQ(checkFileManagerPath(file, {}), FileManagerCheck::DriveNotPresent);
}

TEST(FileManagerTest, MountInfoFieldsAreDecoded) {
  const std::string text = "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
                           "40 22 8:2 / /media/my\\040disk rw - vfat /dev/sdb1 rw\n"
                           "short line\n";
  EXPECT_EQ(mountPointsFromMountInfo(text), (std::vector<std::string>{"/", "/media/my disk"}));
  EXPECT_FALSE(currentMountPoints().empty());
}

TEST(FileManagerTest, MessagesComeFromTheMessageTexts) {
  SetLanguageTexts();
  EXPECT_EQ(fileManagerMessage(FileManagerCheck::Ok), "");
  EXPECT_EQ(fileManagerMessage(FileManagerCheck::DriveNotPresent), "The drive is not present.");
  EXPECT_EQ(fileManagerMessage(FileManagerCheck::NoDisk), "No disk in the drive.");
  EXPECT_EQ(fileManagerMessage(FileManagerCheck::FileNotFound),
            "The specified file was not found.");
}

} // namespace
} // namespace zandrex
