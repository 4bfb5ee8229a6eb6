#include "settings/settings_store.h"

#include <charconv>
#include <limits>

namespace zandrex {

std::string MemorySettings::GetSetting(const std::string& appName, const std::string& section,
                                       const std::string& key, const std::string& def) {
  auto it = values_.find({appName, section, key});
  return it == values_.end() ? def : it->second;
}

void MemorySettings::SaveSetting(const std::string& appName, const std::string& section,
                                 const std::string& key, const std::string& value) {
  values_[{appName, section, key}] = value;
}

std::optional<std::string> MemorySettings::find(const std::string& section,
                                                const std::string& key) const {
  auto it = values_.find({kAppTitle, section, key});
  if (it == values_.end())
    return std::nullopt;
  return it->second;
}

std::optional<short> toInteger16(const std::string& text) {
  auto first = text.find_first_not_of(" \t");
  auto last = text.find_last_not_of(" \t");
  if (first == std::string::npos)
    return std::nullopt;
  const char* begin = text.data() + first;
  const char* end = text.data() + last + 1;
  if (*begin == '+')
    ++begin;
  int value = 0;
  auto [ptr, ec] = std::from_chars(begin, end, value);
  if (ec != std::errc() || ptr != end || value < std::numeric_limits<short>::min() ||
      value > std::numeric_limits<short>::max())
    return std::nullopt;
  return static_cast<short>(value);
}

void SaveVersion(SettingsStore& store, const std::string& appPath) {
  store.SaveSetting(kAppTitle, "Version", "Major", std::to_string(kVersionMajor));
  store.SaveSetting(kAppTitle, "Version", "Minor", std::to_string(kVersionMinor));
  store.SaveSetting(kAppTitle, "Version", "Revision", std::to_string(kVersionRevision));
  store.SaveSetting(kAppTitle, "Path", "AppPath", appPath);
}

} // namespace zandrex
