#include "platform/linux/linux_text.h"

#include <cctype>
#include <vector>

namespace zandrex::platform::linux_text {

namespace {

constexpr std::string_view kHomeVariable = "$HOME";
constexpr std::string_view kDocumentsKey = "XDG_DOCUMENTS_DIR";

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
    text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
    text.remove_suffix(1);
  return text;
}

std::vector<std::string_view> lines(std::string_view text) {
  std::vector<std::string_view> result;
  while (!text.empty()) {
    const auto end = text.find('\n');
    result.push_back(text.substr(0, end));
    if (end == std::string_view::npos)
      break;
    text.remove_prefix(end + 1);
  }
  return result;
}

// The leading decimal number of piece; stops at the first non-digit, saturates rather than wraps.
unsigned leadingNumber(std::string_view piece) {
  constexpr unsigned kLimit = 100000000;
  unsigned value = 0;
  for (char c : piece) {
    if (!isDigit(c) || value >= kLimit)
      break;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  return value;
}

// A shell-style value: "..." with backslash escapes, '...' literal, or bare text.
std::string unquote(std::string_view value) {
  value = trim(value);
  if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'')
    return std::string(value.substr(1, value.size() - 2));
  if (value.size() < 2 || value.front() != '"' || value.back() != '"')
    return std::string(value);
  value = value.substr(1, value.size() - 2);
  std::string result;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\\' && i + 1 < value.size())
      ++i;
    result += value[i];
  }
  return result;
}

// The raw value of "key=value" in text, the last assignment winning as in a shell.
bool findAssignment(std::string_view text, std::string_view key, std::string_view& value) {
  bool found = false;
  for (std::string_view line : lines(text)) {
    line = trim(line);
    if (line.empty() || line.front() == '#')
      continue;
    const auto equals = line.find('=');
    if (equals == std::string_view::npos || trim(line.substr(0, equals)) != key)
      continue;
    value = line.substr(equals + 1);
    found = true;
  }
  return found;
}

std::string withoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/')
    path.pop_back();
  return path;
}

} // namespace

bool parseKernelRelease(std::string_view release, unsigned& major, unsigned& minor,
                        unsigned& build) {
  major = minor = build = 0;
  if (release.empty() || !isDigit(release.front()))
    return false;
  unsigned* const targets[] = {&major, &minor, &build};
  for (unsigned* target : targets) {
    *target = leadingNumber(release);
    const auto point = release.find('.');
    if (point == std::string_view::npos)
      break;
    // Only a point directly after the digits continues the version ("6.1.0-18.x" stops at "-").
    std::size_t digits = 0;
    while (digits < release.size() && isDigit(release[digits]))
      ++digits;
    if (digits != point)
      break;
    release.remove_prefix(point + 1);
  }
  return true;
}

std::string osReleaseValue(std::string_view text, std::string_view key) {
  std::string_view value;
  if (!findAssignment(text, key, value))
    return {};
  return unquote(value);
}

std::string userDirsDocuments(std::string_view text, const std::string& home) {
  std::string_view raw;
  if (!findAssignment(text, kDocumentsKey, raw))
    return {};
  const std::string value = unquote(raw);
  if (value.starts_with(kHomeVariable)) {
    const std::string rest = value.substr(kHomeVariable.size());
    if (!rest.empty() && rest.front() != '/')
      return {};
    return withoutTrailingSlash(home + rest);
  }
  if (value.starts_with('/'))
    return withoutTrailingSlash(value);
  return {};
}

} // namespace zandrex::platform::linux_text
