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

class ReclaimTallyTest : public ::testing::Test {
protected:
  test::TempDir settingsDir;
  test::TempDir tree;
  test::TempDir trashHome;
  std::unique_ptr<QtSettings> settings =
      std::make_unique<QtSettings>(QString::fromStdString(settingsDir.path() + "z.ini"));
  std::unique_ptr<Form1> form;
  std::vector<std::string> failureWindows;

  void SetUp() override { ::setenv("XDG_DATA_HOME", trashHome.path().c_str(), 1); }
  void TearDown() override { ::unsetenv("XDG_DATA_HOME"); }

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
    form->show();
    form->findChild<QPushButton*>("Command2")->click();
    form->findChild<QPushButton*>("Command3")->click();
    return *form;
  }
  void choose(const char* caption) {
    for (QAction* action : form->gridActions()->selectMenu()->actions())
      if (action->text() == caption)
        return action->trigger();
    FAIL() << caption << " is not in the Select menu";
  }
  FileGridModel& model() { return *form->gridModel(); }
  QModelIndex fileIndex(const std::string& relative) {
    for (int group = 0; group < model().rowCount(); ++group) {
      const QModelIndex parent = model().index(group, 0);
      for (int file = 0; file < model().rowCount(parent); ++file) {
        const QModelIndex at = model().index(file, 0, parent);
        const RecordId record = form->core().grid().row(model().rowPosition(at)).record;
        if (form->core().fullPath(record) == tree.path() + relative)
          return at;
      }
    }
    ADD_FAILURE() << "not listed: " << relative;
    return {};
  }
  void tick(const std::string& relative) {
    ASSERT_TRUE(model().setData(fileIndex(relative), Qt::Checked, Qt::CheckStateRole));
  }
  std::string tally() { return form->tallyField()->shownTally().toStdString(); }
  std::string warning() { return form->tallyField()->shownWarning().toStdString(); }
  std::vector<std::string> headings() {
    std::vector<std::string> texts;
    for (int group = 0; group < model().rowCount(); ++group)
      texts.push_back(model().index(group, 0).data().toString().toStdString());
    return texts;
  }
};

TEST_F(ReclaimTallyTest, Explore) {
  tree.writeEach({"a/x", "b/x", "c/x"}, "same");
  tree.writeEach({"d/y", "e/y"}, "1");
  openAndFind();
  choose(kKeepFirstCaption);
  tick("d/y");
  std::cerr << tally() << " | " << warning() << "\n";
  for (auto& h : headings()) std::cerr << h << "\n";
  choose(kHardLinksCaption);
  std::cerr << tally() << " | " << warning() << "\n";
  for (auto& h : headings()) std::cerr << h << "\n";
  for (auto& f : failureWindows) std::cerr << f << "\n";
  choose(kMoveToTrashCaption);
  std::cerr << tally() << " | " << warning() << "\n";
  for (auto& h : headings()) std::cerr << h << "\n";
  for (auto& f : failureWindows) std::cerr << f << "\n";
}

TEST_F(ReclaimTallyTest, ExploreProtected) {
  tree.writeEach({"keep/x", "b/x", "c/x"}, "same");
  saveProtectedFolders(*settings, {tree.path() + "keep"});
  openAndFind();
  tick("keep/x");
  std::cerr << tally() << " | " << warning() << "\n";
  form->gridActions()->invertGroupAt(model().index(0, 0));
  std::cerr << tally() << " | " << warning() << "\n";
  for (auto& h : headings()) std::cerr << h << "\n";
  form->findChild<QPushButton*>("Command4")->click();
  std::cerr << tally() << " | " << warning() << "\n";
  for (auto& h : headings()) std::cerr << h << "\n";
  for (auto& f : failureWindows) std::cerr << f << "\n";
}

} // namespace
} // namespace zandrex::desktop
