// Protected folders in the desktop: the dialog that edits the list, and the main window loading
// the stored list, marking protected files, keeping its menus from ticking them and applying a
// list edited through its menu item at once.
#include "grid/file_record.h"
#include "main_window.h"
#include "protected_folders_dialog.h"
#include "qt_settings.h"
#include "reclaim_window_fixture.h"
#include "settings/protected_folder_settings.h"
#include "test_support.h"

#include <QAction>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <gtest/gtest.h>

namespace zandrex::desktop {
namespace {

using Paths = std::vector<std::string>;

TEST(ProtectedFoldersDialog, AddsEachFolderOnceRemovesTheSelectedAndKeepsTheBytes) {
  const std::string odd = "/data/odd-\xff"; // not UTF-8: must come back as the same bytes
  QString answer;
  ProtectedFoldersDialog dialog(
      {"/data/photos", odd}, [&](const QString&) { return answer; }, nullptr);
  for (const char* chosen : {"/home/me/keep", "/data/photos", ""}) {
    answer = chosen; // a folder listed already is chosen again; "" is a cancel
    dialog.bnAdd()->click();
  }
  EXPECT_EQ(dialog.folders(), (Paths{"/data/photos", odd, "/home/me/keep"}));
  EXPECT_EQ(dialog.list()->currentRow(), 0);
  dialog.list()->item(0)->setSelected(true);
  dialog.list()->item(2)->setSelected(true);
  dialog.bnRemove()->click();
  EXPECT_EQ(dialog.folders(), Paths{odd});
}

// The desktop's store keeps text: a folder whose name is not UTF-8 still comes back as its bytes.
TEST(ProtectedFoldersStore, TheStoredListKeepsEveryFoldersBytes) {
  test::TempDir settingsDir;
  const Paths folders{"/data/odd-\xff", "/data/new\nline", "/data/\xc3\xa9t\xc3\xa9 50%"};
  saveProtectedFolders(
      *std::make_unique<QtSettings>(QString::fromStdString(settingsDir.path() + "z.ini")), folders);
  QtSettings reopened(QString::fromStdString(settingsDir.path() + "z.ini"));
  EXPECT_EQ(loadProtectedFolders(reopened), folders);
}

void trigger(const QMenu& menu, const char* caption) {
  for (QAction* action : menu.actions())
    if (action->text() == caption)
      return action->trigger();
  ADD_FAILURE() << "not in the menu: " << caption;
}

using ProtectedFoldersWindow = ReclaimWindowTest;

// The stored list protects from the first find; the menu item shows it, and OK stores the new
// list and marks the rows shown at once.
TEST_F(ProtectedFoldersWindow, TheStoredListMarksTheRowsAndTheMenuItemEditsIt) {
  tree.writeEach({"lib/photo.jpg", "lib/sub/photo.jpg", "out/photo.jpg"}, "AAAA");
  tree.setMtime("out/photo.jpg", 3000);
  saveProtectedFolders(*settings, {tree.path() + "lib"});
  openAndFind();
  Paths shown;
  form->dialogs.protectedFolders = [&](const Paths& folders) {
    shown = folders;
    return std::optional<Paths>(Paths{tree.path() + "out"});
  };
  const auto nameOf = [&](const std::string& relative) {
    return fileIndex(relative).siblingAtColumn(col::kFile);
  };
  const QModelIndex sub = nameOf("lib/sub/photo.jpg");
  EXPECT_EQ(sub.data().toString(), "photo.jpg (protected)");
  EXPECT_TRUE(sub.siblingAtColumn(col::kPath).data(Qt::ForegroundRole).isValid());
  EXPECT_TRUE(sub.data(Qt::ToolTipRole).toString().startsWith("In a protected folder"));
  EXPECT_EQ(nameOf("out/photo.jpg").data().toString(), "photo.jpg");

  // The menus' helpers go through the marks.
  form->gridActions()->tickFolder(tree.path());
  EXPECT_EQ(form->selectionReport(), "Ticked 1 file in 1 group; 2 protected files left unticked");

  const QAction* item = form->gridActions()->action(kProtectedFoldersCaption);
  EXPECT_TRUE(form->gridActions()->selectMenu()->actions().contains(item));
  trigger(*form->gridActions()->gridMenu({}), kProtectedFoldersCaption);
  EXPECT_EQ(shown, Paths{tree.path() + "lib"});
  EXPECT_EQ(loadProtectedFolders(*settings), Paths{tree.path() + "out"});
  EXPECT_EQ(nameOf("out/photo.jpg").data().toString(), "photo.jpg (protected)");
  EXPECT_EQ(nameOf("lib/photo.jpg").data().toString(), "photo.jpg");
}

} // namespace
} // namespace zandrex::desktop
