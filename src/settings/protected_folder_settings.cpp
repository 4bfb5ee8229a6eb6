#include "settings/protected_folder_settings.h"

#include "text/utf8.h"

#include <algorithm>
#include <charconv>

namespace zandrex {

namespace {

constexpr const char* kSection = "Protected";
constexpr const char* kCountKey = "Count";
constexpr const char* kFolderKeyPrefix = "Folder";

constexpr char kEscape = '%';
constexpr int kEscapeDigits = 2;
constexpr int kHexBase = 16;

std::string folderKey(int index) {
  return kFolderKeyPrefix + std::to_string(index + 1);
}

std::string escaped(std::string_view path) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (std::size_t i = 0; i < path.size();) {
    const std::size_t length = utf8SequenceLength(path, i);
    if (length > 0 && path[i] != kEscape) {
      out.append(path.substr(i, length));
      i += length;
      continue;
    }
    const auto byte = static_cast<unsigned char>(path[i++]);
    out += kEscape;
    out += kDigits[byte / kHexBase];
    out += kDigits[byte % kHexBase];
  }
  return out;
}

// A "%" not followed by two hex digits (a hand-edited value) stands for itself.
std::string unescaped(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned value = 0;
    const char* digits = text.data() + i + 1;
    if (text[i] == kEscape && i + kEscapeDigits < text.size() &&
        std::from_chars(digits, digits + kEscapeDigits, value, kHexBase).ptr ==
            digits + kEscapeDigits) {
      out += static_cast<char>(value);
      i += kEscapeDigits;
      continue;
    }
    out += text[i];
  }
  return out;
}

} // namespace

std::vector<std::string> loadProtectedFolders(SettingsStore& store) {
  std::vector<std::string> folders;
  const std::optional<short> count =
      toInteger16(store.GetSetting(kAppTitle, kSection, kCountKey, "0"));
  if (!count || *count < 0 || *count > kMostProtectedFolders)
    return folders;
  for (int k = 0; k < *count; ++k) {
    std::string folder = unescaped(store.GetSetting(kAppTitle, kSection, folderKey(k), ""));
    if (!folder.empty())
      folders.push_back(std::move(folder));
  }
  return folders;
}

void saveProtectedFolders(SettingsStore& store, const std::vector<std::string>& folders) {
  const int count = static_cast<int>(std::min<std::size_t>(folders.size(), kMostProtectedFolders));
  for (int k = 0; k < count; ++k)
    store.SaveSetting(kAppTitle, kSection, folderKey(k),
                      escaped(folders[static_cast<std::size_t>(k)]));
  store.SaveSetting(kAppTitle, kSection, kCountKey, std::to_string(count));
}

} // namespace zandrex
