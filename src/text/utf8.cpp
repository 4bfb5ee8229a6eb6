#include "text/utf8.h"

namespace zandrex {

namespace {

constexpr unsigned char kFirstMultiByteLead = 0xC2; // 0xC0 and 0xC1 only start overlong forms
constexpr unsigned char kFirstThreeByteLead = 0xE0;
constexpr unsigned char kSurrogateLead = 0xED;
constexpr unsigned char kFirstFourByteLead = 0xF0;
constexpr unsigned char kLastLead = 0xF4;
constexpr unsigned char kContinuationLow = 0x80;
constexpr unsigned char kContinuationHigh = 0xBF;
// The second byte's range that keeps a lead's sequences from being overlong, surrogates or past
// U+10FFFF.
constexpr unsigned char kNoOverlongThreeLow = 0xA0;
constexpr unsigned char kBelowSurrogatesHigh = 0x9F;
constexpr unsigned char kNoOverlongFourLow = 0x90;
constexpr unsigned char kLastPlaneHigh = 0x8F;

constexpr unsigned kContinuationBits = 6;
constexpr char32_t kContinuationMask = 0x3F;
constexpr char32_t kLastOneByte = 0x7F;
constexpr char32_t kLastTwoByte = 0x7FF;
constexpr char32_t kLastThreeByte = 0xFFFF;
constexpr unsigned char kTwoByteMark = 0xC0;
constexpr unsigned char kThreeByteMark = 0xE0;
constexpr unsigned char kFourByteMark = 0xF0;

constexpr std::size_t kTwoBytes = 2;
constexpr std::size_t kThreeBytes = 3;
constexpr std::size_t kFourBytes = 4;

char continuation(char32_t codePoint, unsigned shift) {
  return static_cast<char>(kContinuationLow | ((codePoint >> shift) & kContinuationMask));
}

} // namespace

std::size_t utf8SequenceLength(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(at);
  if (lead <= kLastOneByte)
    return 1;
  if (lead < kFirstMultiByteLead || lead > kLastLead)
    return 0;
  std::size_t length = kTwoBytes;
  unsigned char low = kContinuationLow;
  unsigned char high = kContinuationHigh;
  if (lead >= kFirstFourByteLead) {
    length = kFourBytes;
    low = lead == kFirstFourByteLead ? kNoOverlongFourLow : low;
    high = lead == kLastLead ? kLastPlaneHigh : high;
  } else if (lead >= kFirstThreeByteLead) {
    length = kThreeBytes;
    low = lead == kFirstThreeByteLead ? kNoOverlongThreeLow : low;
    high = lead == kSurrogateLead ? kBelowSurrogatesHigh : high;
  }
  if (length > text.size() - at)
    return 0;
  if (byte(at + 1) < low || byte(at + 1) > high)
    return 0;
  for (std::size_t k = 2; k < length; ++k) {
    if (byte(at + k) < kContinuationLow || byte(at + k) > kContinuationHigh)
      return 0;
  }
  return length;
}

char32_t utf8CodePoint(std::string_view text, std::size_t at, std::size_t length) {
  const auto lead = static_cast<unsigned char>(text[at]);
  if (length <= 1)
    return lead;
  // The lead keeps 7 - length bits of the code point.
  char32_t codePoint = lead & (kLastOneByte >> length);
  for (std::size_t k = 1; k < length; ++k)
    codePoint = (codePoint << kContinuationBits) |
                (static_cast<unsigned char>(text[at + k]) & kContinuationMask);
  return codePoint;
}

void appendUtf8(std::string& out, char32_t codePoint) {
  if (codePoint <= kLastOneByte) {
    out += static_cast<char>(codePoint);
    return;
  }
  if (codePoint <= kLastTwoByte) {
    out += static_cast<char>(kTwoByteMark | (codePoint >> kContinuationBits));
    out += continuation(codePoint, 0);
    return;
  }
  if (codePoint <= kLastThreeByte) {
    out += static_cast<char>(kThreeByteMark | (codePoint >> (2 * kContinuationBits)));
    out += continuation(codePoint, kContinuationBits);
    out += continuation(codePoint, 0);
    return;
  }
  out += static_cast<char>(kFourByteMark | (codePoint >> (3 * kContinuationBits)));
  out += continuation(codePoint, 2 * kContinuationBits);
  out += continuation(codePoint, kContinuationBits);
  out += continuation(codePoint, 0);
}

std::size_t utf8CharacterCount(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t at = 0; at < text.size(); ++count) {
    const std::size_t length = utf8SequenceLength(text, at);
    at += length == 0 ? 1 : length;
  }
  return count;
}

} // namespace zandrex
