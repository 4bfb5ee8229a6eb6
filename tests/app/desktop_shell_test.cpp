// The shell helpers hand the desktop exactly the texts the rules build, and the file-manager
// helper walks its fallbacks in order: check, file manager, folder, message.
#include "desktop_shell.h"
#include "settings/message_texts.h"
#include "shellaid/shell_helpers.h"
#include "test_support.h"

#include <QUrl>
#include <gtest/gtest.h>
#include <vector>

namespace zandrex::desktop {
namespace {

struct ShownBox {
  QMessageBox::Icon icon;
  QString title;
  QString text;
};

// Captures everything the helpers would hand to the desktop.
class DesktopShellTest : public ::testing::Test {
protected:
  void SetUp() override {
    SetLanguageTexts();
    setUrlOpener([this](const QUrl& url) {
      opened.push_back(url);
      return openerAnswers;
    });
    setMessageBoxShower(
        [this](QWidget*, QMessageBox::Icon icon, const QString& title, const QString& text) {
          boxes.push_back({icon, title, text});
        });
    setItemShower([this](const QStringList& urls) {
      shownItems.push_back(urls);
      return fileManagerAnswers;
    });
  }
  void TearDown() override {
    setUrlOpener({});
    setMessageBoxShower({});
    setItemShower({});
  }

  std::vector<QUrl> opened;
  std::vector<ShownBox> boxes;
  std::vector<QStringList> shownItems;
  bool openerAnswers = true;
  bool fileManagerAnswers = true;
};

// The mailto rules themselves are the engine's (shell_helpers_test); here they must arrive as
// built.
TEST_F(DesktopShellTest, MailAndWebLinksAreHandedOverUnchanged) {
  openerAnswers = false; // no mail client: nothing is shown
  SendMail(nullptr, "help@example.org", "A&B", "Hi", "x");
  SendMail(nullptr, "help@example.org", "100%20 done");
  SendMail(nullptr, "help@example.org", "");
  SendMail(nullptr, "help@example.org", "", "two\r\nlines", "", "hidden@example.org");
  openWebsite("https://example.org/a%20b");

  ASSERT_EQ(opened.size(), 5u);
  EXPECT_EQ(opened[0].toEncoded(), "mailto:help@example.org?Subject=A%26B&Body=Hi%0D%0A&CC=x");
  // A "%" the caller wrote stays as it is.
  EXPECT_EQ(opened[1].toEncoded(), "mailto:help@example.org?Subject=100%20%20done");
  EXPECT_EQ(opened[2].toEncoded(), "mailto:help@example.org");
  EXPECT_EQ(opened[3].toEncoded(),
            "mailto:help@example.org?Body=two%0D%0Alines%0D%0A&BCC=hidden@example.org");
  EXPECT_EQ(opened[4].toEncoded(), "https://example.org/a%20b");
  EXPECT_TRUE(boxes.empty());
}

TEST_F(DesktopShellTest, ShowingAFileTriesTheCheckTheFileManagerTheFolderThenAMessage) {
  test::TempDir dir;
  // A missing file, or a path without a drive, stops at the check with its message.
  OpenInExplorerList(nullptr, QString::fromStdString(dir.path() + "ErrorReport.txt"));
  OpenInExplorerList(nullptr, "\\\\server\\share\\ErrorReport.txt");
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
  EXPECT_EQ(boxes[0].title, "Zandrex");
  EXPECT_EQ(boxes[0].text.toStdString(), msgFileNotFound);
  EXPECT_EQ(boxes[1].text.toStdString(), msgDriveNotPresent);
  EXPECT_TRUE(shownItems.empty());
  EXPECT_TRUE(opened.empty());

  const std::string file = dir.write("with space/ErrorReport.txt", "report");
  OpenInExplorerList(nullptr, QString::fromStdString(file));
  ASSERT_EQ(shownItems.size(), 1u);
  ASSERT_EQ(shownItems[0].size(), 1);
  EXPECT_EQ(QUrl(shownItems[0][0]).toLocalFile().toStdString(), file);
  EXPECT_TRUE(shownItems[0][0].startsWith("file:///"));
  EXPECT_TRUE(opened.empty());

  fileManagerAnswers = false;
  OpenInExplorerList(nullptr, QString::fromStdString(file));
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].toLocalFile().toStdString(), dir.path() + "with space");
  EXPECT_EQ(boxes.size(), 2u);

  openerAnswers = false;
  OpenInExplorerList(nullptr, QString::fromStdString(file));
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[2].icon, QMessageBox::Warning);
  EXPECT_EQ(boxes[2].text.toStdString(), shellErrorText(31));
}

} // namespace
} // namespace zandrex::desktop
