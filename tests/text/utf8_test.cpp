#include "text/utf8.h"

#include <gtest/gtest.h>

namespace zandrex {
namespace {

// Each lead byte's edges: the last accepted sequence and the first rejected one next to it.
TEST(Utf8, ExactlyTheValidFormsAreAcceptedAndDecodeAndEncodeBothWays) {
  const std::pair<std::string_view, char32_t> valid[] = {{"A", U'A'},
                                                         {"\x7F", U'\x7F'},
                                                         {"\xC2\x80", U'\u0080'},
                                                         {"\xDF\xBF", U'\u07FF'},
                                                         {"\xE0\xA0\x80", U'\u0800'},
                                                         {"\xED\x9F\xBF", U'\uD7FF'},
                                                         {"\xEF\xBF\xBF", U'\uFFFF'},
                                                         {"\xF0\x90\x80\x80", U'\U00010000'},
                                                         {"\xF4\x8F\xBF\xBF", U'\U0010FFFF'}};
  for (const auto& [text, codePoint] : valid) {
    SCOPED_TRACE(testing::PrintToString(text));
    EXPECT_EQ(utf8SequenceLength(text, 0), text.size());
    EXPECT_EQ(utf8CodePoint(text, 0, text.size()), codePoint);
    std::string encoded;
    appendUtf8(encoded, codePoint);
    EXPECT_EQ(encoded, text);
  }
  // Overlong, surrogate, past U+10FFFF, a continuation byte leading, a broken continuation.
  for (std::string_view invalid :
       {"\xC1\xBF", "\xE0\x9F\xBF", "\xF0\x8F\xBF\xBF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
        "\xF5\x80\x80\x80", "\x80", "\xC3\x28", "\xE2\x82\x28", "\xF0\x90\x80\xC0"})
    EXPECT_EQ(utf8SequenceLength(invalid, 0), 0u) << testing::PrintToString(invalid);

  // A sequence the text's end cuts short, though the bytes after the end would complete it.
  const std::string_view euro = "x\xE2\x82\xAC";
  EXPECT_EQ(utf8SequenceLength(euro, 1), 3u);
  EXPECT_EQ(utf8SequenceLength(euro.substr(0, 3), 1), 0u);
  // One character per sequence, one per stray byte.
  EXPECT_EQ(utf8CharacterCount("caf\xC3\xA9-\xFF\xE2\x82"), 8u);
}

} // namespace
} // namespace zandrex
