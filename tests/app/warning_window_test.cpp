#include "source/system_folder_guard.h"
#include "warning_window.h"

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace zandrex::desktop {
namespace {

class WarningWindowTest : public ::testing::Test {
protected:
  MemorySettings settings;

  std::optional<std::string> stored() { return settings.find("Settings", "CheckForSystemFolders"); }
};

TEST_F(WarningWindowTest, ShowsTheListAndStoresEveryClickOnTheBox) {
  Form4 warning(settings, nullptr);
  warning.SystemFolderList = "/usr\r\n/etc\r\n";
  warning.show();
  EXPECT_EQ(warning.windowTitle(), "Warning");
  EXPECT_EQ(warning.fdSystemFolders()->toPlainText(), "/usr\n/etc\n");
  EXPECT_EQ(warning.focusWidget(), warning.fdSystemFolders());
  EXPECT_FALSE(warning.findChild<QLabel*>("picExclamation")->pixmap().isNull());
  EXPECT_EQ(warning.bnOK()->text(), "Yes");
  EXPECT_EQ(warning.bnCancel()->text(), "NO!");
  warning.chAllowSystemRename()->click();
  EXPECT_EQ(stored(), "0");
  warning.chAllowSystemRename()->click();
  EXPECT_EQ(stored(), "1");
}

// A stored value that is not a number, or none, counts as on and is written back so. Enter takes
// the safe answer.
TEST_F(WarningWindowTest, TheBoxFollowsTheSettingAndOnlyYesContinuesWhileEnterNoAndEscapeDoNot) {
  struct Case {
    const char* storedValue;
    bool ticked;
    std::function<void(Form4&)> answer;
    bool continues;
  };
  const Case cases[] = {
      {"0", false, [](Form4& window) { window.bnOK()->click(); }, true},
      {"1", true, [](Form4& window) { window.bnCancel()->click(); }, false},
      {"not a number", true,
       [](Form4& window) { QTest::keyClick(window.fdSystemFolders(), Qt::Key_Return); }, false},
      {nullptr, true,
       [](Form4& window) { QTest::keyClick(window.fdSystemFolders(), Qt::Key_Escape); }, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.storedValue ? c.storedValue : "absent");
    settings = MemorySettings();
    if (c.storedValue)
      settings.SaveSetting(kAppTitle, "Settings", "CheckForSystemFolders", c.storedValue);
    Form4 warning(settings, nullptr);
    QTimer::singleShot(0, [&] { c.answer(warning); });
    warning.exec();
    EXPECT_EQ(warning.chAllowSystemRename()->isChecked(), c.ticked);
    EXPECT_EQ(stored(), c.ticked ? "1" : "0");
    EXPECT_EQ(warning.ContinueAnyway, c.continues);
    EXPECT_FALSE(warning.isVisible());
  }
}

} // namespace
} // namespace zandrex::desktop
