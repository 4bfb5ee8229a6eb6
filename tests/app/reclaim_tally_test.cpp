// The tick tally, the red "all copies ticked" headings, protected folders and the filter working
// together in the real main window on the offscreen platform: the figures follow the rows that
// a trash or link run takes out of the grid, and a protected file ticked by hand never counts
// as a copy that goes.
#include "filter_controls.h"
#include "filter_dialog.h"
#include "grid_actions.h"
#include "main_window.h"
#include "qt_settings.h"
#include "reclaim_actions.h"
#include "reclaim_window_fixture.h"
#include "settings/filter_settings.h"
#include "settings/protected_folder_settings.h"
#include "source/special_folders.h"
#include "test_support.h"
#include "tick_tally_field.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>

namespace zandrex::desktop {
namespace {

using ReclaimTallyTest = ReclaimWindowTest;

// Rows a link or trash run takes out leave the figures; the failed rows keep theirs.
TEST_F(ReclaimTallyTest, LinkAndTrashRunsLeaveTheFiguresOfTheRowsThatStay) {
  tree.writeEach({"a/x", "b/x", "c/x"}, "same");
  tree.writeEach({"d/y", "e/y"}, "1");
  openAndFind();
  choose(kKeepFirstCaption);
  tick("d/y");
  EXPECT_EQ(tally(), "4 ticked \u00b7 10 bytes to free");
  EXPECT_EQ(warning(), "\u00b7 1 group with all copies ticked");
  EXPECT_EQ(headings(), (std::vector<std::string>{"File: x (3 files, not verified)",
                                                  "File: y (2 files, not verified) \u2014 all "
                                                  "copies ticked"}));
  // With no copy kept, y cannot be linked: its two rows stay ticked and red.
  choose(kHardLinksCaption);
  EXPECT_EQ(failureWindows, std::vector<std::string>{"Linking failed for 2 file(s)"});
  EXPECT_EQ(tally(), "2 ticked \u00b7 2 bytes to free");
  EXPECT_EQ(warning(), "\u00b7 1 group with all copies ticked");
  EXPECT_EQ(headings(), (std::vector<std::string>{"File: x (1 file, not verified)",
                                                  "File: y (2 files, not verified) \u2014 all "
                                                  "copies ticked"}));
  choose(kMoveToTrashCaption);
  EXPECT_EQ(failureWindows.size(), 1u);
  EXPECT_EQ(tally(), "0 ticked \u00b7 0 bytes to free");
  EXPECT_EQ(warning(), "");
  EXPECT_EQ(headings(), std::vector<std::string>{"File: x (1 file, not verified)"});
}

// A protected file ticked by hand stays whatever happens: it frees nothing, and its group is
// never one that would lose every copy, before the deletion or after it.
TEST_F(ReclaimTallyTest, AProtectedFileTickedByHandIsNeverACopyThatGoes) {
  tree.writeEach({"keep/x", "b/x", "c/x"}, "same");
  tree.writeEach({"keep/y", "d/y"}, "1");
  saveProtectedFolders(*settings, {tree.path() + "keep"});
  openAndFind();
  tick("keep/x");
  EXPECT_EQ(tally(), "1 ticked \u00b7 0 bytes to free");
  // Inverting leaves the protected tick alone and ticks the two others.
  form->gridActions()->invertGroupAt(model().index(0, 0));
  EXPECT_EQ(tally(), "3 ticked \u00b7 8 bytes to free");
  EXPECT_EQ(warning(), "");
  EXPECT_EQ(headings()[0], "File: x (3 files, not verified)");
  // Every unprotected copy ticked is fine too: the protected one is kept.
  tick("d/y");
  EXPECT_EQ(warning(), "");
  form->findChild<QPushButton*>("Command4")->click();
  EXPECT_EQ(failureWindows, std::vector<std::string>{"Deletion failed for 1 file(s)"});
  EXPECT_EQ(tally(), "1 ticked \u00b7 0 bytes to free");
  EXPECT_EQ(warning(), "");

  // Unprotected again through the menu item, the ticked file is the group's last copy.
  form->dialogs.protectedFolders = [](const std::vector<std::string>&) {
    return std::optional<std::vector<std::string>>(std::vector<std::string>{});
  };
  form->gridActions()->editProtectedFolders();
  EXPECT_EQ(tally(), "1 ticked \u00b7 4 bytes to free");
  EXPECT_EQ(warning(), "\u00b7 1 group with all copies ticked");
}

// The filter and the protected folders live side by side in one settings file: storing one
// keeps the other, and a new window finds with both.
TEST_F(ReclaimTallyTest, TheFilterAndTheProtectedFoldersAreStoredTogether) {
  tree.writeEach({"keep/big", "b/big"}, std::string(2048, 'z'));
  tree.writeEach({"keep/small", "b/small"}, "z");
  saveProtectedFolders(*settings, {tree.path() + "keep"});
  openAndFind();
  form->filterControls()->runDialog = [](FilterDialog& dialog) {
    dialog.minimumSize()->setText("1k");
    dialog.patterns()->setPlainText("*.tmp");
    dialog.okButton()->click();
    return dialog.result() == QDialog::Accepted;
  };
  form->filterControls()->button()->click();
  form.reset();
  settings = std::make_unique<QtSettings>(QString::fromStdString(settingsDir.path() + "z.ini"));
  EXPECT_EQ(loadProtectedFolders(*settings), std::vector<std::string>{tree.path() + "keep"});
  EXPECT_EQ(loadFilter(*settings).minSize, 1024u);
  openAndFind();
  EXPECT_EQ(headings(), std::vector<std::string>{"File: big (2 files, not verified)"});
  choose(kKeepNewestCaption);
  EXPECT_EQ(form->selectionReport(), "Ticked 1 file in 1 group");
  EXPECT_TRUE(
      fileIndex("keep/big").siblingAtColumn(col::kFile).data().toString().endsWith(" (protected)"));
  EXPECT_EQ(tally(), "1 ticked \u00b7 2.0 kB to free");
}

} // namespace
} // namespace zandrex::desktop
