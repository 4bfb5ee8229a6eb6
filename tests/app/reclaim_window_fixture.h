// The real main window on the offscreen platform over a temporary tree, with its trash in a
// temporary home: what the tests of the ways to reclaim ticked files, of the tick tally and of
// the protected folders share.
#pragma once

#include "grid_actions.h"
#include "main_window.h"
#include "qt_settings.h"
#include "test_support.h"
#include "tick_tally_field.h"

#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace zandrex::desktop {

class ReclaimWindowTest : public ::testing::Test {
protected:
  test::TempDir settingsDir;
  test::TempDir tree;
  test::TempDir trashHome;
  std::unique_ptr<QtSettings> settings =
      std::make_unique<QtSettings>(QString::fromStdString(settingsDir.path() + "z.ini"));
  std::unique_ptr<Form1> form;
  std::vector<std::string> failureWindows;

  test::ScopedEnv dataHome{"XDG_DATA_HOME", trashHome.path()};

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

} // namespace zandrex::desktop
