#include "qt_settings.h"

#include <QStringList>

namespace zandrex::desktop {

namespace {

QString settingKey(const std::string& section, const std::string& key) {
  return QString::fromStdString(section) + '/' + QString::fromStdString(key);
}

} // namespace

QtSettings::QtSettings()
    : settings_(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, kAppTitle,
                                            kAppTitle)) {}

QtSettings::QtSettings(const QString& filePath)
    : settings_(std::make_unique<QSettings>(filePath, QSettings::IniFormat)) {}

std::string QtSettings::GetSetting(const std::string&, const std::string& section,
                                   const std::string& key, const std::string& def) {
  const QString name = settingKey(section, key);
  if (!settings_->contains(name))
    return def;
  const QVariant value = settings_->value(name);
  // An unquoted comma in a hand-edited file makes the INI reader split the text into a list.
  if (value.typeId() == QMetaType::QStringList)
    return value.toStringList().join(", ").toStdString();
  return value.toString().toStdString();
}

void QtSettings::SaveSetting(const std::string&, const std::string& section, const std::string& key,
                             const std::string& value) {
  settings_->setValue(settingKey(section, key), QString::fromStdString(value));
  settings_->sync();
}

QString QtSettings::fileName() const {
  return settings_->fileName();
}

int integerSetting(SettingsStore& store, const std::string& section, const std::string& key,
                   int def, int minimum, int maximum) {
  auto value = toInteger16(store.GetSetting(kAppTitle, section, key, std::to_string(def)));
  if (!value || *value < minimum || *value > maximum)
    return def;
  return *value;
}

} // namespace zandrex::desktop
