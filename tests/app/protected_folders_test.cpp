// Protected folders in the desktop: the dialog that edits the list, the list kept in the
// settings, and the main window marking protected files, never ticking them from a menu and
// refusing to delete one ticked by hand.
#include "grid/file_record.h"
#include "main_window.h"
#include "protected_folders_dialog.h"
#include "qt_settings.h"
#include "settings/protected_folder_settings.h"
#include "test_support.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QListWidget>
#include <QMenu>
#include <QPalette>
#include <QPushButton>
#include <QToolButton>
#include <gtest/gtest.h>

namespace zandrex::desktop {
namespace {

using Paths = std::vector<std::string>;

TEST(ProtectedFoldersDialog, AddsEachFolderOnceRemovesTheSelectedAndKeepsTheBytes) {
  // A name that is not UTF-8 must come back as the same bytes.
  const std::string odd = "/data/odd-\xff";
  QString answer;
  int asked = 0;
  ProtectedFoldersDialog dialog(
      {"/data/photos", odd},
      [&](const QString&) {
        ++asked;
        return answer;
      },
      nullptr);
  EXPECT_EQ(dialog.folders(), (Paths{"/data/photos", odd}));
  EXPECT_FALSE(dialog.bnRemove()->isEnabled());

  answer = "/home/me/keep";
  dialog.bnAdd()->click();
  answer = "/data/photos"; // listed already: chosen again, not added
  dialog.bnAdd()->click();
  answer = ""; // cancelled
  dialog.bnAdd()->click();
  EXPECT_EQ(asked, 3);
  EXPECT_EQ(dialog.folders(), (Paths{"/data/photos", odd, "/home/me/keep"}));
  EXPECT_EQ(dialog.list()->currentRow(), 0);

  dialog.list()->item(0)->setSelected(true);
  dialog.list()->item(2)->setSelected(true);
  EXPECT_TRUE(dialog.bnRemove()->isEnabled());
  dialog.bnRemove()->click();
  EXPECT_EQ(dialog.folders(), Paths{odd});
}

class ProtectedWindowTest : public ::testing::Test {
protected:
  test::TempDir settingsDir;
  test::TempDir tree;
  std::unique_ptr<QtSettings> settings =
      std::make_unique<QtSettings>(QString::fromStdString(settingsDir.path() + "z.ini"));
  std::unique_ptr<Form1> form;
  std::vector<std::string> failureWindows;
  // What the "Protected folders..." dialog answers; none is a cancel.
  std::optional<Paths> protectedAnswer;
  Paths protectedShown;

  void SetUp() override {
    for (const char* file : {"lib/photo.jpg", "lib/sub/photo.jpg", "out/photo.jpg"})
      tree.write(file, "AAAA");
    tree.setMtime("lib/photo.jpg", 1000);
    tree.setMtime("lib/sub/photo.jpg", 2000);
    tree.setMtime("out/photo.jpg", 3000);
  }

  Form1& openAndFind() {
    form = std::make_unique<Form1>(*settings);
    form->dialogs.chooseFolder = [this](const QString&) {
      return QString::fromStdString(tree.path());
    };
    form->dialogs.systemFolderWarning = [](const std::string&) { return true; };
    form->dialogs.exclamation = [](const QString&) {};
    form->dialogs.failureWindow = [this](const std::string& count) {
      failureWindows.push_back(count);
    };
    form->dialogs.protectedFolders = [this](const Paths& folders) {
      protectedShown = folders;
      return protectedAnswer;
    };
    form->show();
    form->findChild<QPushButton*>("Command2")->click();
    form->findChild<QPushButton*>("Command3")->click();
    return *form;
  }

  FileGridModel& model() const { return *form->gridModel(); }
  QModelIndex fileIndex(const std::string& relative) const {
    const QModelIndex group = model().index(0, 0);
    for (int file = 0; file < model().rowCount(group); ++file) {
      const QModelIndex at = model().index(file, 0, group);
      const RecordId record = form->core().grid().row(model().rowPosition(at)).record;
      if (form->core().fullPath(record) == tree.path() + relative)
        return at;
    }
    ADD_FAILURE() << "not listed: " << relative;
    return {};
  }
  bool ticked(const std::string& relative) const {
    return fileIndex(relative).data(Qt::CheckStateRole).toInt() == Qt::Checked;
  }
  static void triggerIn(const QMenu& menu, const char* caption) {
    for (QAction* action : menu.actions())
      if (action->text() == caption)
        return action->trigger();
    ADD_FAILURE() << "not in the menu: " << caption;
  }
  void trigger(const char* caption) {
    triggerIn(*form->findChild<QToolButton*>("bnSelect")->menu(), caption);
  }
};

// Stored before the window opens, the list protects from the first find: the rows are marked
// and greyed, no menu action ticks them, and one ticked by hand is refused with its reason.
TEST_F(ProtectedWindowTest, StoredFoldersAreMarkedNeverTickedByTheMenusAndRefusedWhenTickedByHand) {
  saveProtectedFolders(*settings, {tree.path() + "lib"});
  openAndFind();
  const QModelIndex name = fileIndex("lib/sub/photo.jpg").siblingAtColumn(col::kFile);
  EXPECT_EQ(name.data().toString(), "photo.jpg (protected)");
  EXPECT_TRUE(name.siblingAtColumn(col::kPath).data(Qt::ForegroundRole).isValid());
  EXPECT_TRUE(name.data(Qt::ToolTipRole).toString().startsWith("In a protected folder"));
  EXPECT_EQ(fileIndex("out/photo.jpg").siblingAtColumn(col::kFile).data().toString(), "photo.jpg");
  EXPECT_FALSE(fileIndex("out/photo.jpg").data(Qt::ForegroundRole).isValid());

  trigger(kKeepNewestCaption);
  EXPECT_TRUE(ticked("out/photo.jpg"));
  EXPECT_FALSE(ticked("lib/photo.jpg") || ticked("lib/sub/photo.jpg"));
  EXPECT_TRUE(form->selectionReport().endsWith("1 protected file left unticked"))
      << form->selectionReport().toStdString();
  form->gridActions()->tickFolder(tree.path());
  EXPECT_FALSE(ticked("lib/photo.jpg") || ticked("lib/sub/photo.jpg"));

  ASSERT_TRUE(model().setData(fileIndex("lib/photo.jpg"), Qt::Checked, Qt::CheckStateRole));
  form->findChild<QPushButton*>("Command4")->click();
  EXPECT_EQ(failureWindows.size(), 1u);
  EXPECT_TRUE(QFile::exists(QString::fromStdString(tree.path() + "lib/photo.jpg")));
  EXPECT_FALSE(QFile::exists(QString::fromStdString(tree.path() + "out/photo.jpg")));
  EXPECT_EQ(form->core()
                .failures()
                .grid()
                .item(form->core().failures().grid().recordAt(0), failcol::kReason)
                .asText(),
            "In a protected folder");
}

// The menu item shows the stored list; OK stores the new one and marks the rows shown at once;
// a cancel changes nothing. The grid's own menu has it too (the "Select" button waits for a find).
TEST_F(ProtectedWindowTest, TheMenuItemEditsTheStoredListAndMarksTheRowsAtOnce) {
  saveProtectedFolders(*settings, {tree.path() + "gone"});
  openAndFind();
  EXPECT_EQ(fileIndex("out/photo.jpg").siblingAtColumn(col::kFile).data().toString(), "photo.jpg");

  protectedAnswer = Paths{tree.path() + "out"};
  trigger(kProtectedFoldersCaption);
  EXPECT_EQ(protectedShown, Paths{tree.path() + "gone"});
  EXPECT_EQ(loadProtectedFolders(*settings), Paths{tree.path() + "out"});
  EXPECT_EQ(fileIndex("out/photo.jpg").siblingAtColumn(col::kFile).data().toString(),
            "photo.jpg (protected)");

  protectedAnswer.reset();
  triggerIn(*form->gridActions()->gridMenu({}), kProtectedFoldersCaption);
  EXPECT_EQ(protectedShown, Paths{tree.path() + "out"});
  EXPECT_EQ(loadProtectedFolders(*settings), Paths{tree.path() + "out"});
}

} // namespace
} // namespace zandrex::desktop
