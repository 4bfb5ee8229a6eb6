#include "errors/app_error.h"
#include "source/path_routines.h"

#include <gtest/gtest.h>

namespace zandrex {
namespace {

TEST(LowerCaseName, LowersEveryLetterAndKeepsEveryOtherByte) {
  // The whole ASCII range: only A to Z change, their neighbours '@' and '[' do not.
  std::string ascii;
  std::string lowered;
  for (int c = 1; c < 0x80; ++c) {
    ascii += static_cast<char>(c);
    lowered += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  }
  EXPECT_EQ(lowerCaseName(ascii), lowered);
  EXPECT_EQ(lowerCaseName("@AZ[`az{"), "@az[`az{");

  // Letters of two and three bytes; bytes that are not UTF-8 stay as they are, lower-case
  // letters around them included.
  EXPECT_EQ(lowerCaseName("\xC3\x89\x43OLE.Txt"), "\xC3\xA9\x63ole.txt");
  EXPECT_EQ(lowerCaseName("\xEF\xBC\xA1"), "\xEF\xBD\x81"); // fullwidth A
  EXPECT_EQ(lowerCaseName("\xC0\x81X\xFF\xC3"), "\xC0\x81x\xFF\xC3");
}

TEST(PathRoutines, TextsAndSizes) {
  EXPECT_EQ(withTrailingSlash("/music"), "/music/");
  EXPECT_EQ(withTrailingSlash("/"), "/");
  EXPECT_EQ(withTrailingSlash(""), "");
  EXPECT_EQ(withoutTrailingSlash("/music/"), "/music");
  EXPECT_EQ(withoutTrailingSlash(""), "");
  EXPECT_EQ(lastPathPiece("/data/music", "/"), "music");
  EXPECT_EQ(lastPathPiece("music", "/"), "");
  EXPECT_EQ(lastPathPiece("", "/"), "");
  EXPECT_EQ(lastPathPiece(withoutTrailingSlash("/"), "/"), "");
  EXPECT_EQ(sizeFromHalves(1, 705032704), 5000000000.0);
  EXPECT_EQ(sizeFromHalves(0, static_cast<std::int32_t>(3000000000u)), 3000000000.0);
  EXPECT_EQ(sizeFromHalves(-1, 5), 5.0);
  EXPECT_THROW(sizeFromHalves(0x7FFFFFFF, -1), AppError);
  EXPECT_EQ(formatListDate(0, 0, true), "");
}

} // namespace
} // namespace zandrex
