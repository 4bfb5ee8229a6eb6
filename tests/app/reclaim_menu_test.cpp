// The Select menu's other ways to reclaim the ticked files, in the real main window on the
// offscreen platform: each runs the guarded run with its way, and its failures reach the failure
// window with the way's count line, while "Delete selected files" stays a deletion.
#include "deletion_failure_window.h"
#include "grid_actions.h"
#include "main_window.h"
#include "qt_settings.h"
#include "reclaim_actions.h"
#include "test_support.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>

namespace zandrex::desktop {
namespace {

ino_t inodeOf(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

class ReclaimMenuTest : public ::testing::Test {
protected:
  test::TempDir settingsDir;
  test::TempDir tree;
  test::TempDir data;
  std::unique_ptr<QtSettings> settings =
      std::make_unique<QtSettings>(QString::fromStdString(settingsDir.path() + "z.ini"));
  std::unique_ptr<Form1> form;
  std::vector<std::string> failureWindows;

  void SetUp() override {
    ::setenv("XDG_DATA_HOME", data.path().c_str(), 1);
    tree.writeEach({"a/x", "b/x", "c/x"}, "same");
    form = std::make_unique<Form1>(*settings);
    form->dialogs.chooseFolder = [this](const QString&) {
      return QString::fromStdString(tree.path());
    };
    form->dialogs.systemFolderWarning = [](const std::string&) { return true; };
    form->dialogs.exclamation = [](const QString&) {};
    form->dialogs.failureWindow = [this](const std::string& count) {
      failureWindows.push_back(count);
    };
    form->show();
    form->findChild<QPushButton*>("Command2")->click();
    form->findChild<QPushButton*>("Command3")->click();
    // Keep the first in path order: b/x and c/x ticked.
    choose(kKeepFirstCaption);
  }
  void TearDown() override { ::unsetenv("XDG_DATA_HOME"); }

  QMenu& selectMenu() const { return *form->findChild<QToolButton*>("bnSelect")->menu(); }
  void choose(const char* caption) {
    for (QAction* action : selectMenu().actions())
      if (action->text() == caption)
        return action->trigger();
    FAIL() << caption << " is not in the Select menu";
  }
};

TEST_F(ReclaimMenuTest, HardLinksKeepEveryNameAndTrashRefusalsShowTheirCountLine) {
  // The progress label says what the run does while it runs, and "Deleting:" again after it.
  QLabel* progressLabel = form->findChild<QLabel*>("lblprb2");
  std::vector<QString> labelsSeen;
  form->core().setDeletionStepHook(
      [&](RecordId, std::string_view) { labelsSeen.push_back(progressLabel->text()); });
  choose(kHardLinksCaption);
  ASSERT_FALSE(labelsSeen.empty());
  EXPECT_EQ(labelsSeen.front(), "Linking:");
  EXPECT_EQ(progressLabel->text(), "Deleting:");
  EXPECT_TRUE(failureWindows.empty());
  EXPECT_EQ(inodeOf(tree.path() + "b/x"), inodeOf(tree.path() + "a/x"));
  EXPECT_EQ(inodeOf(tree.path() + "c/x"), inodeOf(tree.path() + "a/x"));

  // A trash others may write to is refused: the file stays, the window says why.
  tree.write("d/y", "1");
  tree.write("e/y", "1");
  form->findChild<QPushButton*>("Command3")->click();
  choose(kKeepFirstCaption);
  ASSERT_EQ(::mkdir((data.path() + "Trash").c_str(), 0777), 0);
  ::chmod((data.path() + "Trash").c_str(), 0777);
  choose(kMoveToTrashCaption);
  EXPECT_EQ(failureWindows, std::vector<std::string>{"Moving to the trash failed for 1 file(s)"});
  EXPECT_NE(inodeOf(tree.path() + "e/y"), 0u);
}

TEST_F(ReclaimMenuTest, TheFailureWindowTakesTheTitleOfTheLastRunsWay) {
  FailureList list;
  Form3 window(list, nullptr);
  list.clear(ReclaimWay::Reflink);
  list.finish();
  window.refreshFromCore();
  EXPECT_EQ(window.windowTitle(), "Linking failure");
  list.clear(ReclaimWay::Delete);
  list.finish();
  window.refreshFromCore();
  EXPECT_EQ(window.windowTitle(), "Deletion failure");
}

} // namespace
} // namespace zandrex::desktop
