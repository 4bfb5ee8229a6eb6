// The failure, error and About windows on the offscreen platform: what they show, where their
// links lead, and the error window opened by a real trapped error; and the shell helpers behind
// the links, which hand the desktop exactly the texts the rules build.
#include "about_window.h"
#include "deletion_failure_window.h"
#include "desktop_shell.h"
#include "dialog_geometry.h"
#include "errors/err_trap.h"
#include "link_label.h"
#include "program_error_window.h"
#include "program_icon.h"
#include "settings/message_texts.h"
#include "settings/settings_store.h"
#include "shellaid/loaded_windows.h"
#include "shellaid/program_environment.h"
#include "shellaid/shell_helpers.h"
#include "test_support.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace zandrex::desktop {
namespace {

QString cell(const QTreeView* view, int row, int column) {
  return view->model()->index(row, column).data().toString();
}

void click(const QWidget* window, const char* name) {
  QWidget* target = window->findChild<QWidget*>(name);
  ASSERT_NE(target, nullptr) << name;
  QTest::mouseClick(target, Qt::LeftButton);
}

// Each label's text; texts holds object names, each followed by the text it must show.
void expectLabels(const QWidget& window, const std::vector<std::string>& texts) {
  for (std::size_t k = 0; k < texts.size(); k += 2) {
    const auto* label = window.findChild<QLabel*>(QString::fromStdString(texts[k]));
    ASSERT_NE(label, nullptr) << texts[k];
    EXPECT_EQ(label->text().toStdString(), texts[k + 1]) << texts[k];
  }
}

// Runs check on the active modal window once the modal loop has started, then closes it.
void whenModal(std::function<void(QWidget*)> check) {
  QTimer::singleShot(0, [check] {
    QWidget* modal = QApplication::activeModalWidget();
    ASSERT_NE(modal, nullptr);
    check(modal);
    if (modal->isVisible())
      modal->close();
  });
}

std::string expectedMailUrl(bool errorReport) {
  return std::string("mailto:") + kSupportAddress + "?Subject=Zandrex%20v" +
         std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) +
         (errorReport ? "%20Error%20report" : "");
}

struct ShownBox {
  QMessageBox::Icon icon;
  QString text;
};

// Captures everything the windows and the shell helpers would hand to the desktop.
class SecondaryWindowsTest : public ::testing::Test {
protected:
  void SetUp() override {
    SetLanguageTexts();
    reportEnvironment().reportFolder = [this] { return reportFolder; };
    setUrlOpener([this](const QUrl& url) {
      opened.push_back(url);
      return openerAnswers;
    });
    setItemShower([this](const QStringList& urls) {
      shownItems.push_back(urls);
      return fileManagerAnswers;
    });
    setMessageBoxShower(
        [this](QWidget*, QMessageBox::Icon icon, const QString& title, const QString& text) {
          EXPECT_EQ(title, "Zandrex");
          boxes.push_back({icon, text});
        });
  }
  void TearDown() override {
    setUrlOpener({});
    setItemShower({});
    setMessageBoxShower({});
    setErrorPresenter(nullptr);
    reportEnvironment() = programReportEnvironment();
    resetErrTrap();
  }

  test::TempDir temp;
  std::string reportFolder = temp.path() + "Zandrex";
  std::vector<QUrl> opened;
  std::vector<QStringList> shownItems;
  std::vector<ShownBox> boxes;
  bool openerAnswers = true;
  bool fileManagerAnswers = true;
};

// In the program the failure window is a child of the main window, which destroys the list
// first: the window must outlive its list. "OK" hides the window with its rows; the close box
// unloads it, and the next run loads it afresh, at its design size with its design columns.
TEST_F(SecondaryWindowsTest, FailureWindowListsFailuresModalOverItsOwnerAndOutlivesItsList) {
  QWidget owner;
  owner.setGeometry(100, 100, 1200, 900);
  owner.show();
  auto core = std::make_unique<FailureList>();
  auto window = std::make_unique<Form3>(*core, &owner);
  QTreeView* grid = window->ReportControl1();
  EXPECT_EQ(grid->model()->headerData(4, Qt::Horizontal).toString(), "Reason");
  EXPECT_EQ(window->lbFilesCount()->text(), "0 files");
  EXPECT_TRUE(isLoad("Form3"));
  const QSize designSize = window->size();
  const int designPathWidth = grid->header()->sectionSize(0);

  core->add("/data/b/", "later.txt", "2024.03.02 10:00:00", "200", "Permission denied");
  core->add("/data/a/", "earlier.txt", "2024.03.01 09:00:00", "100", "Busy");
  core->finish();
  bool sawWindow = false;
  whenModal([&](QWidget* modal) {
    sawWindow = modal == window.get();
    EXPECT_EQ(window->lbFilesCount()->text(), "Deletion failed for 2 file(s)");
    const QPointF offset =
        QRectF(window->frameGeometry()).center() - QRectF(owner.frameGeometry()).center();
    EXPECT_LE(offset.manhattanLength(), 1.0);
    QTest::mouseClick(window->bnOK(), Qt::LeftButton);
  });
  window->showModalOverOwner();
  EXPECT_TRUE(sawWindow);
  EXPECT_FALSE(window->isVisible());
  EXPECT_TRUE(isLoad("Form3"));
  ASSERT_EQ(grid->model()->rowCount(), 2);
  const char* firstRow[] = {"/data/b/", "later.txt", "200", "2024.03.02 10:00:00",
                            "Permission denied"};
  for (int column = 0; column < 5; ++column)
    EXPECT_EQ(cell(grid, 0, column), firstRow[column]);
  EXPECT_EQ(cell(grid, 1, 1), "earlier.txt");

  // Enlarged, a column widened, then closed with the close box: unloaded.
  whenModal([&](QWidget* modal) {
    window->resize(designSize + QSize(200, 100));
    grid->header()->resizeSection(0, designPathWidth + 100);
    modal->close();
  });
  window->showModalOverOwner();
  EXPECT_FALSE(window->isVisible());
  EXPECT_FALSE(window->loaded());
  EXPECT_FALSE(isLoad("Form3"));
  EXPECT_EQ(grid->model(), nullptr) << "an unloaded window shows no list";

  // The next run loads it again: registered, at the design size, with the new list only.
  core->clear();
  core->add("/data/c/", "new.txt", "2024.03.03 08:00:00", "300", "Busy");
  core->finish();
  whenModal([&](QWidget*) {
    EXPECT_TRUE(isLoad("Form3"));
    EXPECT_EQ(window->size(), designSize);
    EXPECT_EQ(grid->header()->sectionSize(0), designPathWidth);
    ASSERT_NE(grid->model(), nullptr);
    EXPECT_EQ(grid->model()->rowCount(), 1);
    EXPECT_EQ(cell(grid, 0, 1), "new.txt");
    EXPECT_EQ(window->lbFilesCount()->text(), "Deletion failed for 1 file(s)");
  });
  window->showModalOverOwner();
  EXPECT_FALSE(isLoad("Form3")) << "closed by the close box again";
  window->show();
  core.reset();
  window.reset();
}

// At the design size every column shows whole, the reason too, also when the rows outgrow the
// grid and its scroll bar takes a strip; a path too long for its column is cut in the middle.
TEST_F(SecondaryWindowsTest, FailureWindowShowsEveryColumnAtItsDesignSize) {
  for (const int failures : {2, 80}) {
    SCOPED_TRACE(failures);
    FailureList core;
    for (int k = 0; k < failures; ++k)
      core.add("/home/user/Photos/2024/Holidays/Trip to the seaside/", "beach copy.jpg",
               "2024.07.02 11:40:57", "3170304", "Changed since the search");
    core.finish();
    Form3 window(core, nullptr);
    window.refreshFromCore();
    window.show();
    QApplication::processEvents();
    QTreeView* grid = window.ReportControl1();
    const QHeaderView* header = grid->header();
    const int viewport = grid->viewport()->width();
    EXPECT_EQ(grid->verticalScrollBar()->isVisible(), failures == 80);
    EXPECT_FALSE(grid->horizontalScrollBar()->isVisible());
    for (int column = 0; column < header->count(); ++column) {
      SCOPED_TRACE(column);
      EXPECT_GE(header->sectionViewportPosition(column), 0);
      EXPECT_LE(header->sectionViewportPosition(column) + header->sectionSize(column), viewport);
      EXPECT_GE(header->sectionSize(column),
                header->fontMetrics().horizontalAdvance(
                    grid->model()->headerData(column, Qt::Horizontal).toString()));
    }
    const QFontMetrics metrics = grid->fontMetrics();
    for (const char* text : {"3170304", "2024.07.02 11:40:57"}) {
      const int column = QString(text).contains('.') ? 3 : 2;
      EXPECT_LT(metrics.horizontalAdvance(text), header->sectionSize(column)) << text;
    }
    EXPECT_EQ(grid->textElideMode(), Qt::ElideMiddle);
  }
}

TEST_F(SecondaryWindowsTest, FailureWindowLayoutFollowsItsSizeAndNeverGoesNegative) {
  FailureList core;
  Form3 window(core, nullptr);
  window.show();
  window.resize(900, 700);
  QApplication::processEvents();
  const QRect grid = window.ReportControl1()->geometry();
  const QRect ok = window.bnOK()->geometry();
  EXPECT_GT(ok.top(), grid.bottom());
  EXPECT_EQ(window.lbFilesCount()->geometry().top(), ok.top());
  EXPECT_EQ(ok.right(), grid.right());
  EXPECT_LE(ok.bottom(), window.height());

  // Smaller than its margins: the grid shrinks to nothing, the button stops at the left edge.
  window.resize(10, 10);
  QApplication::processEvents();
  EXPECT_EQ(window.ReportControl1()->size(), QSize(0, 0));
  EXPECT_EQ(window.bnOK()->x(), 0);
}

// Before any report is written the folder links say so.
TEST_F(SecondaryWindowsTest, ErrorWindowShowsItsTextsMailsSupportAndOpensTheReportFolder) {
  Form11 window;
  EXPECT_EQ(window.windowTitle(), "Program Error");
  EXPECT_TRUE(isLoad("Form11"));
  EXPECT_FALSE(window.findChild<QLabel*>("picExclamation")->pixmap().isNull());
  expectLabels(window, {"Label55", kSupportAddress, "Label58", reportFolder, "Label56",
                        reportFolder, "Label57", reportFolder});
  EXPECT_EQ(window.findChild<QPushButton*>("bnOK")->text(), "OK");

  window.show();
  click(&window, "Label58");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text.toStdString(), msgFileNotFound);
  EXPECT_TRUE(shownItems.empty());
  const std::string report = temp.write("Zandrex/ErrorReport.txt", "report");
  click(&window, "Label55");
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].toEncoded().toStdString(), expectedMailUrl(true));
  for (const char* link : {"Label58", "Label56", "Label57"})
    click(&window, link);
  ASSERT_EQ(shownItems.size(), 3u);
  for (const QStringList& items : shownItems)
    EXPECT_EQ(QUrl(items.value(0)).toLocalFile().toStdString(), report);
  EXPECT_EQ(boxes.size(), 1u);
}

// Modeless while the main window is not loaded, modal over it when it is.
TEST_F(SecondaryWindowsTest, ARealErrorWritesTheReportAndOpensTheErrorWindow) {
  DesktopErrorPresenter presenter;
  setErrorPresenter(&presenter);
  ASSERT_FALSE(isLoad("Form1"));
  EXPECT_FALSE(trapEvent("Test.Handler_Click", [] { raiseError(53, "File not found"); }));
  const std::string report = test::readFile(reportFolder + "/ErrorReport.txt");
  EXPECT_NE(report.find("Method: Test.Handler_Click"), std::string::npos) << report;
  QPointer<Form11> shown;
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (auto* candidate = qobject_cast<Form11*>(widget); candidate && candidate->isVisible())
      shown = candidate;
  ASSERT_FALSE(shown.isNull());
  EXPECT_FALSE(shown->isModal());
  click(shown, "bnOK");
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(shown.isNull()) << "a modeless error window deletes itself when closed";
  EXPECT_FALSE(isLoad("Form11"));

  QWidget mainWindow;
  mainWindow.setObjectName("Form1");
  mainWindow.show();
  markWindowLoaded("Form1");
  bool sawModal = false;
  whenModal([&](QWidget* modal) {
    sawModal = qobject_cast<Form11*>(modal) != nullptr;
    EXPECT_EQ(modal->parentWidget(), &mainWindow);
    click(modal, "bnOK");
  });
  trapEvent("Test.Other_Click", [] { raiseError(76, "Path not found"); });
  markWindowUnloaded("Form1");
  EXPECT_TRUE(sawModal);
  EXPECT_FALSE(isLoad("Form11")) << "the modal window is released once closed";
}

TEST_F(SecondaryWindowsTest, AboutWindowShowsVersionAndLinks) {
  Form10 window;
  EXPECT_EQ(window.windowTitle(), "About Zandrex");
  expectLabels(window, {"Label2", aboutVersionText(kVersionMajor, kVersionMinor), "Label4",
                        kWebsiteAddress, "Label5", kSupportAddress});
  // The program's own icon, not a stock one.
  const QPixmap shown = window.findChild<QLabel*>("Image1")->pixmap();
  ASSERT_FALSE(shown.isNull());
  EXPECT_EQ(shown.size(), QSize(32, 32));
  EXPECT_EQ(shown.toImage(), programIcon().pixmap(32).toImage());
  EXPECT_NE(shown.toImage(),
            window.style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(32).toImage());
  window.show();
  click(&window, "Label4");
  click(&window, "Label5");
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[0].toString(), kWebsiteAddress);
  // No " Error report" tail here, unlike the error window's link.
  EXPECT_EQ(opened[1].toEncoded().toStdString(), expectedMailUrl(false));
  click(&window, "bnOK");
  EXPECT_FALSE(window.isVisible());
}

// The designs were drawn for a narrower font: the windows widen rather than cut a text short.
TEST_F(SecondaryWindowsTest, OneLineTextsFitTheirLabels) {
  Form11 error;
  Form10 about;
  for (const QDialog* window : {static_cast<QDialog*>(&error), static_cast<QDialog*>(&about)}) {
    EXPECT_GE(window->width(), twipsToPixels(window == &error ? 7680 : 4800));
    for (const QLabel* label : window->findChildren<QLabel*>()) {
      if (label->wordWrap() || label->text().isEmpty())
        continue;
      const std::string name = label->objectName().toStdString();
      EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width()) << name;
      EXPECT_LE(label->mapTo(window, QPoint(label->width(), 0)).x(), window->width()) << name;
    }
  }
}

TEST_F(SecondaryWindowsTest, LinkClickNeedsPressAndReleaseOverTheLabel) {
  LinkLabel link("x");
  link.resize(100, 20);
  link.show();
  int clicks = 0;
  QObject::connect(&link, &LinkLabel::clicked, [&] { ++clicks; });
  QTest::mouseClick(&link, Qt::RightButton);
  QTest::mousePress(&link, Qt::LeftButton, {}, QPoint(5, 5));
  QTest::mouseRelease(&link, Qt::LeftButton, {}, QPoint(500, 5)); // released outside
  EXPECT_EQ(clicks, 0);
  QTest::mouseClick(&link, Qt::LeftButton);
  EXPECT_EQ(clicks, 1);
}

// The mailto rules themselves are the engine's (shell_helpers_test); here every part must reach
// them in its place and the link the desktop as built, with no message when no mail client
// answers.
TEST_F(SecondaryWindowsTest, MailLinksAreHandedOverAsBuilt) {
  openerAnswers = false;
  SendMail(nullptr, "help@example.org", "A&B", "two\r\nlines", "cc@example.org",
           "hidden@example.org");
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].toEncoded(), "mailto:help@example.org?Subject=A%26B&Body=two%0D%0Alines%0D%0A"
                                   "&CC=cc@example.org&BCC=hidden@example.org");
  EXPECT_TRUE(boxes.empty());
}

TEST_F(SecondaryWindowsTest, ShowingAFileTriesTheCheckTheFileManagerTheFolderThenAMessage) {
  // A missing file, or a path without a drive, stops at the check with its message.
  OpenInExplorerList(nullptr, QString::fromStdString(temp.path() + "ErrorReport.txt"));
  OpenInExplorerList(nullptr, "\\\\server\\share\\ErrorReport.txt");
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
  EXPECT_EQ(boxes[0].text.toStdString(), msgFileNotFound);
  EXPECT_EQ(boxes[1].text.toStdString(), msgDriveNotPresent);
  EXPECT_TRUE(shownItems.empty());

  const std::string file = temp.write("with space/ErrorReport.txt", "report");
  OpenInExplorerList(nullptr, QString::fromStdString(file));
  ASSERT_EQ(shownItems.size(), 1u);
  EXPECT_EQ(shownItems[0], QStringList{"file://" + QString::fromStdString(temp.path()) +
                                       "with%20space/ErrorReport.txt"});
  fileManagerAnswers = false;
  OpenInExplorerList(nullptr, QString::fromStdString(file));
  openerAnswers = false;
  OpenInExplorerList(nullptr, QString::fromStdString(file));
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[0].toLocalFile().toStdString(), temp.path() + "with space");
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[2].icon, QMessageBox::Warning);
  EXPECT_EQ(boxes[2].text.toStdString(), shellErrorText(31));
}

} // namespace
} // namespace zandrex::desktop
