#include "text/utf8.h"

#include <gtest/gtest.h>

namespace zandrex {
namespace {

// Each lead byte's edges: the last accepted sequence and the first rejected one next to it.
TEST(Utf8, SequenceLengthAcceptsExactlyTheValidForms) {
  const std::pair<std::string_view, std::size_t> cases[] = {
      {"a", 1},
      {"\x7F", 1},
      {"\xC2\x80", 2},
      {"\xDF\xBF", 2},
      {"\xC1\xBF", 0}, // overlong
      {"\xE0\xA0\x80", 3},
      {"\xE0\x9F\xBF", 0}, // overlong
      {"\xED\x9F\xBF", 3},
      {"\xED\xA0\x80", 0}, // surrogate
      {"\xEF\xBF\xBF", 3},
      {"\xF0\x90\x80\x80", 4},
      {"\xF0\x8F\xBF\xBF", 0}, // overlong
      {"\xF4\x8F\xBF\xBF", 4},
      {"\xF4\x90\x80\x80", 0}, // past U+10FFFF
      {"\xF5\x80\x80\x80", 0},
      {"\x80", 0}, // a continuation byte cannot lead
      {"\xC3\x28", 0},
      {"\xE2\x82\x28", 0},
      {"\xF0\x90\x80\xC0", 0},
  };
  for (const auto& [text, length] : cases) {
    SCOPED_TRACE(testing::PrintToString(text));
    EXPECT_EQ(utf8SequenceLength(text, 0), length);
  }
  // A sequence the text's end cuts short, though the bytes after the end would complete it.
  const std::string_view euro = "x\xE2\x82\xAC";
  EXPECT_EQ(utf8SequenceLength(euro, 1), 3u);
  EXPECT_EQ(utf8SequenceLength(euro.substr(0, 3), 1), 0u);
}

TEST(Utf8, CodePointsDecodeAndEncodeBothWays) {
  const std::pair<std::string_view, char32_t> cases[] = {{"A", U'A'},
                                                         {"\xC3\xA9", U'\u00E9'},
                                                         {"\xDF\xBF", U'\u07FF'},
                                                         {"\xE0\xA0\x80", U'\u0800'},
                                                         {"\xE2\x82\xAC", U'\u20AC'},
                                                         {"\xEF\xBF\xBF", U'\uFFFF'},
                                                         {"\xF0\x90\x80\x80", U'\U00010000'},
                                                         {"\xF4\x8F\xBF\xBF", U'\U0010FFFF'}};
  for (const auto& [text, codePoint] : cases) {
    SCOPED_TRACE(testing::PrintToString(text));
    EXPECT_EQ(utf8CodePoint(text, 0, text.size()), codePoint);
    std::string encoded;
    appendUtf8(encoded, codePoint);
    EXPECT_EQ(encoded, text);
  }
  // One character per sequence, one per stray byte.
  EXPECT_EQ(utf8CharacterCount("caf\xC3\xA9-\xFF\xE2\x82"), 8u);
}

} // namespace
} // namespace zandrex
