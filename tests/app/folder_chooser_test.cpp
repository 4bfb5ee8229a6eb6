#include "folder_chooser.h"
#include "test_support.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace zandrex::desktop {
namespace {

QPushButton* chooseButton(QFileDialog& dialog) {
  return dialog.findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Open);
}

// The home folder is a temporary one while it lives.
class TemporaryHome {
public:
  TemporaryHome() : saved_(qgetenv("HOME")) { qputenv("HOME", QFile::encodeName(path)); }
  ~TemporaryHome() { qputenv("HOME", saved_); }
  test::TempDir dir;
  const QString path = QDir(QString::fromStdString(dir.path())).absolutePath();

private:
  QByteArray saved_;
};

// Answers the dialog once its modal loop has started.
void answer(std::function<void(QFileDialog&)> with) {
  QTimer::singleShot(0, [with] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    with(*dialog);
  });
}

TEST(FolderChooser, OpensAtTheNearestExistingFolderAndReturnsTheConfirmedOneOrNothing) {
  test::TempDir dir;
  const QString base = QString::fromStdString(dir.mkdir("photos"));
  const QString absolute = QDir(base).absolutePath();
  EXPECT_EQ(startFolder(base), absolute);
  EXPECT_EQ(startFolder(base + "gone/deeper/"), absolute);
  EXPECT_EQ(mountedRoots().constFirst(), QDir::rootPath());
  EXPECT_EQ(mountedRoots().count(QDir::rootPath()), 1);

  QString title;
  QString instruction;
  // The stored folder is chosen at once: "Choose" is enabled and Enter takes it.
  bool chooseEnabled = false;
  answer([&](QFileDialog& dialog) {
    title = dialog.windowTitle();
    instruction = dialog.labelText(QFileDialog::LookIn);
    chooseEnabled = chooseButton(dialog)->isEnabled();
    QTest::keyClick(&dialog, Qt::Key_Return);
  });
  EXPECT_EQ(BrowseDrive(nullptr, base + "gone/"), absolute);
  EXPECT_TRUE(chooseEnabled);
  EXPECT_EQ(title, kBrowseCaption);
  EXPECT_EQ(instruction, kBrowseInstruction);
  answer([](QFileDialog& dialog) { dialog.reject(); });
  EXPECT_EQ(BrowseDrive(nullptr, base), "");
}

// Without a source nothing is chosen: the dialog opens in the home folder, and neither "Choose"
// nor Enter takes anything until a folder is picked, by typing its name or selecting it in the
// list.
TEST(FolderChooser, WithoutASourceItOpensAtHomeAndChoosesNothingUntilAFolderIsPicked) {
  TemporaryHome home;
  home.dir.mkdir("photos");
  home.dir.mkdir("music");
  EXPECT_EQ(startFolder(""), home.path);

  for (const bool typed : {true, false}) {
    SCOPED_TRACE(typed ? "typed" : "selected");
    QString openedAt;
    bool enabledBeforePick = true;
    bool enabledAfterPick = false;
    bool stillOpenAfterEnter = false;
    answer([&](QFileDialog& dialog) {
      openedAt = QDir(dialog.directory()).absolutePath();
      auto* list = dialog.findChild<QListView*>("listView");
      ASSERT_NE(list, nullptr);
      // The folder's listing comes from another thread; the button must stay off after it.
      ASSERT_TRUE(QTest::qWaitFor([&] { return list->model()->rowCount(list->rootIndex()) == 2; }));
      QTest::qWait(50);
      QPushButton* choose = chooseButton(dialog);
      enabledBeforePick = choose->isEnabled();
      QTest::keyClick(&dialog, Qt::Key_Return);
      static_cast<QDialog&>(dialog).accept();
      stillOpenAfterEnter = dialog.isVisible();
      auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
      if (typed) {
        QTest::keyClicks(name, "photos");
      } else {
        QModelIndex photos;
        for (int row = 0; row < list->model()->rowCount(list->rootIndex()); ++row) {
          const QModelIndex index = list->model()->index(row, 0, list->rootIndex());
          if (index.data().toString() == "photos")
            photos = index;
        }
        ASSERT_TRUE(photos.isValid());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(photos).center());
      }
      enabledAfterPick = choose->isEnabled();
      QTest::keyClick(name, Qt::Key_Return);
      if (dialog.isVisible())
        dialog.reject();
    });
    EXPECT_EQ(BrowseDrive(nullptr, ""), home.path + "/photos");
    EXPECT_EQ(openedAt, home.path);
    EXPECT_FALSE(enabledBeforePick);
    EXPECT_TRUE(stillOpenAfterEnter);
    EXPECT_TRUE(enabledAfterPick);
  }
}

} // namespace
} // namespace zandrex::desktop
