// UTF-8 as file names, reports and JSON meet it: names on Linux are bytes, so every reader of
// text here must tell valid sequences from stray bytes the same way.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zandrex {

// Length (1 to 4) of the valid UTF-8 sequence that starts at text[at]; 0 when the byte there
// starts none: a continuation byte, an overlong form, a surrogate, a code point past U+10FFFF or
// a sequence the text's end cuts short. at must lie inside text.
std::size_t utf8SequenceLength(std::string_view text, std::size_t at);

// The code point of the sequence at text[at] whose utf8SequenceLength is length (not 0).
char32_t utf8CodePoint(std::string_view text, std::size_t at, std::size_t length);

// Appends the encoding of codePoint, which must be a scalar value (at most U+10FFFF, no
// surrogate).
void appendUtf8(std::string& out, char32_t codePoint);

// Characters as a reader sees them: one per valid sequence, one per stray byte.
std::size_t utf8CharacterCount(std::string_view text);

} // namespace zandrex
