#include "source/system_folder_guard.h"
#include "warning_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <optional>

namespace zandrex::desktop {
namespace {

class WarningWindowTest : public ::testing::Test {
protected:
  MemorySettings settings;

  std::optional<std::string> stored() { return settings.find("Settings", "CheckForSystemFolders"); }
  void store(const char* value) {
    settings.SaveSetting(kAppTitle, "Settings", "CheckForSystemFolders", value);
  }
};

TEST_F(WarningWindowTest, ShowsTheListAndTheDesignTexts) {
  Form4 warning(settings, nullptr);
  warning.SystemFolderList = "/usr\r\n/etc\r\n";
  warning.show();
  EXPECT_EQ(warning.windowTitle(), "Warning");
  EXPECT_EQ(warning.fdSystemFolders()->toPlainText(), "/usr\n/etc\n");
  EXPECT_TRUE(warning.fdSystemFolders()->isReadOnly());
  EXPECT_EQ(warning.fdSystemFolders()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(warning.focusWidget(), warning.fdSystemFolders());
  EXPECT_EQ(warning.findChild<QLabel*>("Label1")->text(), kWarningBand);
  EXPECT_TRUE(warning.findChild<QLabel*>("Label1")->font().bold());
  EXPECT_EQ(warning.findChild<QLabel*>("Label2")->text(), kWarningDamage);
  EXPECT_EQ(warning.findChild<QLabel*>("Label3")->text(), kWarningQuestion);
  EXPECT_FALSE(warning.findChild<QLabel*>("picExclamation")->pixmap().isNull());
  EXPECT_EQ(warning.chAllowSystemRename()->text(), kWarningAlwaysShow);
  EXPECT_EQ(warning.bnOK()->text(), "Yes");
  EXPECT_EQ(warning.bnCancel()->text(), "NO!");
  EXPECT_TRUE(warning.bnOK()->isDefault());

  // Every click on the box is stored at once.
  warning.chAllowSystemRename()->click();
  EXPECT_EQ(stored(), "0");
  warning.chAllowSystemRename()->click();
  EXPECT_EQ(stored(), "1");
  warning.chAllowSystemRename()->click();
  warning.bnCancel()->click();
  EXPECT_EQ(stored(), "0");
  EXPECT_FALSE(warning.ContinueAnyway);
}

TEST_F(WarningWindowTest, LoadTicksTheBoxFromTheSettingAndWritesItBack) {
  struct Case {
    const char* storedValue;
    bool ticked;
    const char* written;
  };
  for (const Case& c : {Case{"0", false, "0"}, Case{"1", true, "1"},
                        Case{"not a number", true, "1"}, Case{nullptr, true, "1"}}) {
    settings = MemorySettings();
    if (c.storedValue)
      store(c.storedValue);
    Form4 warning(settings, nullptr);
    warning.show();
    EXPECT_EQ(warning.chAllowSystemRename()->isChecked(), c.ticked)
        << (c.storedValue ? c.storedValue : "absent");
    EXPECT_EQ(stored(), c.written);
  }
}

TEST_F(WarningWindowTest, YesAndEnterContinueNoAndEscapeDoNot) {
  const std::pair<std::function<void(Form4&)>, bool> answers[] = {
      {[](Form4& window) { window.bnOK()->click(); }, true},
      {[](Form4& window) { window.bnCancel()->click(); }, false},
      {[](Form4& window) { QTest::keyClick(window.fdSystemFolders(), Qt::Key_Return); }, true},
      {[](Form4& window) { QTest::keyClick(window.fdSystemFolders(), Qt::Key_Escape); }, false}};
  for (const auto& [answer, continues] : answers) {
    Form4 warning(settings, nullptr);
    QTimer::singleShot(0, [&] { answer(warning); });
    warning.exec();
    EXPECT_EQ(warning.ContinueAnyway, continues);
    EXPECT_FALSE(warning.isVisible());
  }
}

} // namespace
} // namespace zandrex::desktop
