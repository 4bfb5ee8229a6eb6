// The per-user settings store: text values addressed by application, section and key.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <tuple>

namespace zandrex {

inline constexpr const char* kAppTitle = "Zandrex";

class SettingsStore {
public:
  virtual ~SettingsStore() = default;
  // The stored value, or def when the key is absent.
  virtual std::string GetSetting(const std::string& appName, const std::string& section,
                                 const std::string& key, const std::string& def) = 0;
  virtual void SaveSetting(const std::string& appName, const std::string& section,
                           const std::string& key, const std::string& value) = 0;
};

// A store held in memory (tests, the command line).
class MemorySettings : public SettingsStore {
public:
  std::string GetSetting(const std::string& appName, const std::string& section,
                         const std::string& key, const std::string& def) override;
  void SaveSetting(const std::string& appName, const std::string& section, const std::string& key,
                   const std::string& value) override;
  std::optional<std::string> find(const std::string& section, const std::string& key) const;

private:
  std::map<std::tuple<std::string, std::string, std::string>, std::string> values_;
};

// Converts a stored text to a 16-bit integer the way the program reads numbers: surrounding
// blanks allowed, a whole number in range. nullopt when the text is not one.
std::optional<short> toInteger16(const std::string& text);

// The program's version.
inline constexpr int kVersionMajor = 2;
inline constexpr int kVersionMinor = 0;
inline constexpr int kVersionRevision = 0;

// Writes "Version"/"Major", "Minor", "Revision" and "Path"/"AppPath".
void SaveVersion(SettingsStore& store, const std::string& appPath);

} // namespace zandrex
