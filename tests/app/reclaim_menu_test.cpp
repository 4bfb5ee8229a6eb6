// The Select menu's other ways to reclaim the ticked files, in the real main window on the
// offscreen platform: each runs the guarded run with its way, and its failures reach the failure
// window with the way's count line, while "Delete selected files" stays a deletion.
#include "deletion_failure_window.h"
#include "grid_actions.h"
#include "main_window.h"
#include "qt_settings.h"
#include "reclaim_actions.h"
#include "reclaim_window_fixture.h"
#include "test_support.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <gtest/gtest.h>
#include <memory>

namespace zandrex::desktop {
namespace {

class ReclaimMenuTest : public ReclaimWindowTest {
protected:
  void SetUp() override {
    ReclaimWindowTest::SetUp();
    tree.writeEach({"a/x", "b/x", "c/x"}, "same");
    openAndFind();
    // Keep the first in path order: b/x and c/x ticked.
    choose(kKeepFirstCaption);
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
  EXPECT_EQ(test::inodeOf(tree.path() + "b/x"), test::inodeOf(tree.path() + "a/x"));
  EXPECT_EQ(test::inodeOf(tree.path() + "c/x"), test::inodeOf(tree.path() + "a/x"));

  // A trash others may write to is refused: the file stays, the window says why.
  tree.write("d/y", "1");
  tree.write("e/y", "1");
  form->findChild<QPushButton*>("Command3")->click();
  choose(kKeepFirstCaption);
  ASSERT_EQ(::mkdir((trashHome.path() + "Trash").c_str(), 0777), 0);
  ::chmod((trashHome.path() + "Trash").c_str(), 0777);
  choose(kMoveToTrashCaption);
  EXPECT_EQ(failureWindows, std::vector<std::string>{"Moving to the trash failed for 1 file(s)"});
  EXPECT_NE(test::inodeOf(tree.path() + "e/y"), 0u);
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
