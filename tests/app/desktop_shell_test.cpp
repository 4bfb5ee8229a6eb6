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

TEST_F(DesktopShellTest, SendMailHandsOverTheEscapedTextUnchanged) {
  SendMail(nullptr, "help@example.org", "Zandrex v2.0 Error report");
  SendMail(nullptr, "help@example.org", "A&B", "Hi", "x");
  SendMail(nullptr, "help@example.org", "100%20 done");
  SendMail(nullptr, "help@example.org", "");
  SendMail(nullptr, "help@example.org", "", "two\r\nlines", "", "hidden@example.org");

  ASSERT_EQ(opened.size(), 5u);
  EXPECT_EQ(opened[0].toEncoded(),
            "mailto:help@example.org?Subject=Zandrex%20v2.0%20Error%20report");
  EXPECT_EQ(opened[1].toEncoded(), "mailto:help@example.org?Subject=A%26B&Body=Hi%0D%0A&CC=x");
  // A "%" the caller wrote stays as it is.
  EXPECT_EQ(opened[2].toEncoded(), "mailto:help@example.org?Subject=100%20%20done");
  EXPECT_EQ(opened[3].toEncoded(), "mailto:help@example.org");
  EXPECT_EQ(opened[4].toEncoded(),
            "mailto:help@example.org?Body=two%0D%0Alines%0D%0A&BCC=hidden@example.org");
  EXPECT_TRUE(boxes.empty());
}

TEST_F(DesktopShellTest, SendMailIgnoresAMissingMailClient) {
  openerAnswers = false;
  SendMail(nullptr, "help@example.org", "x");
  EXPECT_EQ(opened.size(), 1u);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(DesktopShellTest, OpenWebsiteOpensTheAddress) {
  openWebsite("https://example.org/a%20b");
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].toEncoded(), "https://example.org/a%20b");
}

TEST_F(DesktopShellTest, MissingFileStopsAtTheCheckWithItsMessage) {
  test::TempDir dir;
  OpenInExplorerList(nullptr, QString::fromStdString(dir.path() + "ErrorReport.txt"));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
  EXPECT_EQ(boxes[0].title, "Zandrex");
  EXPECT_EQ(boxes[0].text.toStdString(), msgFileNotFound);
  EXPECT_TRUE(shownItems.empty());
  EXPECT_TRUE(opened.empty());
}

TEST_F(DesktopShellTest, PathWithoutADriveIsRefused) {
  OpenInExplorerList(nullptr, "\\\\server\\share\\ErrorReport.txt");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text.toStdString(), msgDriveNotPresent);
  EXPECT_TRUE(shownItems.empty());
}

TEST_F(DesktopShellTest, FileManagerIsAskedToSelectTheFile) {
  test::TempDir dir;
  const std::string file = dir.write("with space/ErrorReport.txt", "report");
  OpenInExplorerList(nullptr, QString::fromStdString(file));
  ASSERT_EQ(shownItems.size(), 1u);
  ASSERT_EQ(shownItems[0].size(), 1);
  EXPECT_EQ(QUrl(shownItems[0][0]).toLocalFile().toStdString(), file);
  EXPECT_TRUE(shownItems[0][0].startsWith("file:///"));
  EXPECT_TRUE(opened.empty());
  EXPECT_TRUE(boxes.empty());
}

TEST_F(DesktopShellTest, WithoutAFileManagerTheFolderOpens) {
  test::TempDir dir;
  const std::string file = dir.write("ErrorReport.txt", "report");
  fileManagerAnswers = false;
  OpenInExplorerList(nullptr, QString::fromStdString(file));
  ASSERT_EQ(opened.size(), 1u);
  const std::string folder = dir.path().substr(0, dir.path().size() - 1);
  EXPECT_EQ(opened[0].toLocalFile().toStdString(), folder);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(DesktopShellTest, WhenNothingOpensTheShellReasonIsShown) {
  test::TempDir dir;
  const std::string file = dir.write("ErrorReport.txt", "report");
  fileManagerAnswers = false;
  openerAnswers = false;
  OpenInExplorerList(nullptr, QString::fromStdString(file));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].icon, QMessageBox::Warning);
  EXPECT_EQ(boxes[0].text.toStdString(), shellErrorText(31));
}

} // namespace
} // namespace zandrex::desktop
