#include "qt_settings.h"
#include "test_support.h"

#include <QSettings>
#include <gtest/gtest.h>

namespace zandrex::desktop {
namespace {

TEST(QtSettings, ValuesRoundTripThroughTheFileAsSectionSlashKey) {
  test::TempDir dir;
  const QString file = QString::fromStdString(dir.path() + "Zandrex.ini");
  {
    QtSettings store(file);
    EXPECT_EQ(store.GetSetting(kAppTitle, "Path", "Path", "none"), "none");
    store.SaveSetting(kAppTitle, "Path", "Path", "/data/photos, old/");
    store.SaveSetting(kAppTitle, "Settings", "Find duplicates by", "2");
  }
  EXPECT_EQ(QSettings(file, QSettings::IniFormat).value("Settings/Find duplicates by"), "2");
  QtSettings reopened(file);
  EXPECT_EQ(reopened.GetSetting(kAppTitle, "Path", "Path", ""), "/data/photos, old/");
  // A stored empty text is a value, not an absent key.
  reopened.SaveSetting(kAppTitle, "Path", "Path", "");
  EXPECT_EQ(reopened.GetSetting(kAppTitle, "Path", "Path", "default"), "");

  // A comma list edited by hand reads back as one text.
  dir.write("Hand.ini", "[Path]\nPath=/a, b/\n");
  QtSettings hand(QString::fromStdString(dir.path() + "Hand.ini"));
  EXPECT_EQ(hand.GetSetting(kAppTitle, "Path", "Path", ""), "/a, b/");
}

TEST(QtSettings, IntegerSettingFallsBackOnAbsentInvalidOrOutOfRangeValues) {
  MemorySettings store;
  EXPECT_EQ(integerSetting(store, "Path", "Subfolders", 1, 0, 2), 1);
  for (const char* bad : {"x", "", "1.5", "3", "-1", "99999999"}) {
    store.SaveSetting(kAppTitle, "Path", "Subfolders", bad);
    EXPECT_EQ(integerSetting(store, "Path", "Subfolders", 1, 0, 2), 1) << bad;
  }
  store.SaveSetting(kAppTitle, "Path", "Subfolders", " 2 ");
  EXPECT_EQ(integerSetting(store, "Path", "Subfolders", 1, 0, 2), 2);
  store.SaveSetting(kAppTitle, "Settings", "Find duplicates by", "-1");
  EXPECT_EQ(integerSetting(store, "Settings", "Find duplicates by", 0, -1, 3), -1);
}

} // namespace
} // namespace zandrex::desktop
