#include "settings/message_texts.h"
#include "shellaid/shell_helpers.h"
#include "test_support.h"

#include <cerrno>
#include <gtest/gtest.h>

namespace zandrex {
namespace {

// The About window pads the minor version to two digits, the mail subject does not. The mailto
// text: parts in order, only the first after "?", escaping that leaves "%" alone.
TEST(MailUrlTest, VersionTextsAndTheLinkOfTheWindowsWhichEscapesEveryLineBreak) {
  SetLanguageTexts();
  EXPECT_EQ(aboutVersionText(1, 5), "Version 1.05");
  EXPECT_EQ(aboutVersionText(2, 12), "Version 2.12");
  EXPECT_EQ(mailSubject(1, 5, false), "Zandrex v1.5");
  EXPECT_EQ(buildMailUrl("support@zandrex.org", mailSubject(2, 0, true), "", "", "", ""),
            "mailto:support@zandrex.org?Subject=Zandrex%20v2.0%20Error%20report");
  EXPECT_EQ(buildMailUrl("a@b", "A&B", "Hi", "x", "", ""),
            "mailto:a@b?Subject=A%26B&Body=Hi%0D%0A&CC=x");
  EXPECT_EQ(buildMailUrl("a@b", "", "", "c d", "e&f", "/tmp/r.txt"),
            "mailto:a@b?CC=c d&BCC=e&f&Attacth=\"/tmp/r.txt\"");
  EXPECT_EQ(buildMailUrl("a%20b@c", "", "", "", "", ""), "mailto:a%20b@c");
  EXPECT_EQ(buildMailUrl("a@b", "", "line\r\n", "", "", ""), "mailto:a@b?Body=line%0D%0A%0D%0A");
  EXPECT_EQ(escapeMailText("50%20off & more"), "50%20off%20%26%20more");
  EXPECT_EQ(escapeMailText("a\r\nb\rc\nd"), "a%0D%0Ab%0Dc%0Ad");
}

TEST(ShellErrorTest, KnownCodesHaveTextsAndErrnoMapsToTheNearestCode) {
  EXPECT_EQ(shellErrorText(2), "The specified file was not found.");
  EXPECT_EQ(shellErrorText(26), "A sharing violation occurred.");
  for (int code : {0, 3, 5, 8, 11, 27, 31})
    EXPECT_FALSE(shellErrorText(code).empty()) << code;
  for (int code : {1, 28, 29, 30, 32, 33})
    EXPECT_EQ(shellErrorText(code), "") << code;

  const std::pair<int, int> codes[] = {{ENOENT, 2}, {ENOTDIR, 3},  {EACCES, 5},   {EPERM, 5},
                                       {ENOMEM, 8}, {ENOEXEC, 11}, {ETXTBSY, 26}, {EINVAL, 31}};
  for (const auto& [error, code] : codes)
    EXPECT_EQ(shellCodeForErrno(error), code) << error;
}

TEST(FileManagerTest, RealPathsAndTheirMessages) {
  SetLanguageTexts();
  const test::TempDir temp;
  const std::string file = temp.write("photos/a b.jpg", "x");
  EXPECT_EQ(checkFileManagerPath(file), FileManagerCheck::Ok);
  EXPECT_EQ(checkFileManagerPath(temp.path() + "photos"), FileManagerCheck::Ok);
  EXPECT_EQ(checkFileManagerPath(temp.path() + "photos/missing.jpg"),
            FileManagerCheck::FileNotFound);
  for (const char* notAbsolute : {"\\\\server\\share\\a.txt", "C:\\Data\\a.txt", "relative", ""})
    EXPECT_EQ(checkFileManagerPath(notAbsolute), FileManagerCheck::DriveNotPresent);

  EXPECT_EQ(fileManagerMessage(FileManagerCheck::Ok), "");
  EXPECT_EQ(fileManagerMessage(FileManagerCheck::DriveNotPresent), "The drive is not present.");
  EXPECT_EQ(fileManagerMessage(FileManagerCheck::NoDisk), "No disk in the drive.");
  EXPECT_EQ(fileManagerMessage(FileManagerCheck::FileNotFound),
            "The specified file was not found.");
}

TEST(FileManagerTest, DriveIsTheLongestCoveringMountPoint) {
  const test::TempDir temp;
  const std::string file = temp.write("disk/a.txt", "x");
  const std::string gone = temp.path() + "gone"; // a mount point that cannot be asked
  EXPECT_EQ(checkFileManagerPath(gone + "/a.txt", {"/", gone}), FileManagerCheck::NoDisk);
  // "gone" is not a leading folder of "goner": "/" holds it, and the file is missing.
  EXPECT_EQ(checkFileManagerPath(gone + "r/a.txt", {"/", gone}), FileManagerCheck::FileNotFound);
  EXPECT_EQ(checkFileManagerPath(file, {temp.path() + "other"}), FileManagerCheck::DriveNotPresent);
  EXPECT_EQ(checkFileManagerPath(file, {}), FileManagerCheck::DriveNotPresent);

  const std::string mountInfo = "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
                                "40 22 8:2 / /media/my\\040disk rw - vfat /dev/sdb1 rw\n"
                                "short line\n";
  EXPECT_EQ(mountPointsFromMountInfo(mountInfo), (std::vector<std::string>{"/", "/media/my disk"}));
  EXPECT_FALSE(currentMountPoints().empty());
}

} // namespace
} // namespace zandrex
