// The desktop's settings store: one per-user INI file, sections and keys as "Section/Key".
#pragma once

#include "settings/settings_store.h"

#include <QSettings>
#include <QString>
#include <memory>

namespace zandrex::desktop {

class QtSettings : public SettingsStore {
public:
  // The user's store: the INI file "Zandrex/Zandrex.ini" in the user's configuration folder.
  QtSettings();
  // A store in the INI file at filePath (tests, demos). The file is created on the first write.
  explicit QtSettings(const QString& filePath);

  // The application name is always the program's title here; it is not part of the key.
  std::string GetSetting(const std::string& appName, const std::string& section,
                         const std::string& key, const std::string& def) override;
  // Written through to the file at once, so a crash loses nothing already saved.
  void SaveSetting(const std::string& appName, const std::string& section, const std::string& key,
                   const std::string& value) override;

  QString fileName() const;

private:
  std::unique_ptr<QSettings> settings_;
};

// A stored whole number in minimum..maximum; def when the key is absent, is not a 16-bit whole
// number or lies outside the range, so a hand-edited file never stops the window from loading.
int integerSetting(SettingsStore& store, const std::string& section, const std::string& key,
                   int def, int minimum, int maximum);

} // namespace zandrex::desktop
