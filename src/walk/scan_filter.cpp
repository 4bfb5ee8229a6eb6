#include "walk/scan_filter.h"

#include "platform/name_pattern.h"

#include <limits>

namespace zandrex {

namespace {

struct SizeUnit {
  char letter; // read in either case
  const char* written;
  const char* name;
  std::uint64_t bytes;
};
// Largest first: the size texts take the first that holds a size whole.
constexpr SizeUnit kSizeUnits[] = {
    {'G', "G", "GiB", 1ull << 30},
    {'M', "M", "MiB", 1ull << 20},
    {'K', "k", "KiB", 1ull << 10},
};

constexpr std::uint64_t kMaxSize = std::numeric_limits<std::uint64_t>::max();

} // namespace

bool ScanFilter::leavesOutName(const char* name) const {
  for (const std::string& pattern : excludedNames)
    if (nameMatchesPattern(pattern.c_str(), name))
      return true;
  return false;
}

std::optional<std::uint64_t> parseSizeText(std::string_view text) {
  std::uint64_t unit = 1;
  if (!text.empty()) {
    const char last = text.back();
    const char upper = last >= 'a' && last <= 'z' ? static_cast<char>(last - 'a' + 'A') : last;
    for (const SizeUnit& candidate : kSizeUnits) {
      if (candidate.letter != upper)
        continue;
      unit = candidate.bytes;
      text.remove_suffix(1);
      break;
    }
  }
  if (text.empty())
    return std::nullopt;
  std::uint64_t number = 0;
  for (const char c : text) {
    if (c < '0' || c > '9')
      return std::nullopt;
    const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
    if (number > (kMaxSize - digit) / 10)
      return std::nullopt;
    number = number * 10 + digit;
  }
  if (number > kMaxSize / unit)
    return std::nullopt;
  return number * unit;
}

std::string sizeInUnits(std::uint64_t bytes) {
  for (const SizeUnit& unit : kSizeUnits)
    if (bytes >= unit.bytes && bytes % unit.bytes == 0)
      return std::to_string(bytes / unit.bytes) + " " + unit.name;
  return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
}

std::string sizeText(std::uint64_t bytes) {
  for (const SizeUnit& unit : kSizeUnits)
    if (bytes >= unit.bytes && bytes % unit.bytes == 0)
      return std::to_string(bytes / unit.bytes) + unit.written;
  return std::to_string(bytes);
}

std::string patternProblem(std::string_view pattern) {
  if (pattern.empty())
    return "an empty pattern";
  if (pattern.find('/') != std::string_view::npos)
    return "a pattern matches names, not paths: it cannot hold \"/\"";
  if (pattern.find_first_of("\r\n") != std::string_view::npos)
    return "a pattern cannot hold a line end";
  return "";
}

std::string filterSummary(const ScanFilter& filter) {
  if (filter.leavesOutNothing())
    return "Filters: none";
  std::string summary = "Filters: ";
  if (filter.minSize > 0)
    summary += "\u2265 " + sizeInUnits(filter.minSize);
  const std::size_t patterns = filter.excludedNames.size();
  if (patterns > 0) {
    if (filter.minSize > 0)
      summary += ", ";
    summary += std::to_string(patterns) + (patterns == 1 ? " pattern" : " patterns");
  }
  return summary;
}

} // namespace zandrex
