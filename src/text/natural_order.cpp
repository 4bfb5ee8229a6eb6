#include "text/natural_order.h"

#include <algorithm>

namespace zandrex {

namespace {

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

int sign(int value) {
  return (value > 0) - (value < 0);
}

} // namespace

int naturalCompare(std::string_view a, std::string_view b) {
  std::size_t i = 0;
  std::size_t j = 0;
  // Decides only when the texts are equal as numbers and bytes: "file01" after "file1".
  int zerosTieBreak = 0;
  while (i < a.size() && j < b.size()) {
    if (!isDigit(a[i]) || !isDigit(b[j])) {
      if (a[i] != b[j])
        return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]) ? -1 : 1;
      ++i;
      ++j;
      continue;
    }
    const std::size_t zerosA =
        std::find_if(a.begin() + i, a.end(), [](char c) { return c != '0'; }) - (a.begin() + i);
    const std::size_t zerosB =
        std::find_if(b.begin() + j, b.end(), [](char c) { return c != '0'; }) - (b.begin() + j);
    std::size_t endA = i + zerosA;
    std::size_t endB = j + zerosB;
    while (endA < a.size() && isDigit(a[endA]))
      ++endA;
    while (endB < b.size() && isDigit(b[endB]))
      ++endB;
    const std::string_view digitsA = a.substr(i + zerosA, endA - i - zerosA);
    const std::string_view digitsB = b.substr(j + zerosB, endB - j - zerosB);
    // Without leading zeros the longer number is the larger one; equal lengths compare as text.
    if (digitsA.size() != digitsB.size())
      return digitsA.size() < digitsB.size() ? -1 : 1;
    if (const int byDigits = digitsA.compare(digitsB); byDigits != 0)
      return sign(byDigits);
    if (zerosTieBreak == 0 && zerosA != zerosB)
      zerosTieBreak = zerosA < zerosB ? -1 : 1;
    i = endA;
    j = endB;
  }
  if (i < a.size() || j < b.size())
    return i < a.size() ? 1 : -1;
  if (zerosTieBreak != 0)
    return zerosTieBreak;
  return sign(a.compare(b));
}

} // namespace zandrex
