// The main window over a temporary tree and its own settings file, every dialog answered by the
// test, for the desktop tests that drive finds and the grid.
#pragma once

#include "main_window.h"
#include "qt_settings.h"
#include "test_support.h"

#include <QComboBox>
#include <QPushButton>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace zandrex::desktop {

class Form1Fixture : public ::testing::Test {
protected:
  test::TempDir settingsDir;
  test::TempDir tree;
  std::unique_ptr<QtSettings> settings = std::make_unique<QtSettings>(settingsFile());
  std::unique_ptr<Form1> form;
  QString chosenFolder; // what the folder chooser answers; "" is a cancel
  QString chooserStart;
  int chooserCalls = 0;
  std::vector<std::string> failureWindows;

  QString settingsFile() const { return QString::fromStdString(settingsDir.path() + "z.ini"); }

  // Opens the window; with realWarning the "Warning" window is the real one.
  Form1& open(bool realWarning = false) {
    form = std::make_unique<Form1>(*settings);
    form->dialogs.chooseFolder = [this](const QString& start) {
      ++chooserCalls;
      chooserStart = start;
      return chosenFolder;
    };
    if (!realWarning)
      form->dialogs.systemFolderWarning = [](const std::string&) { return true; };
    form->dialogs.exclamation = [](const QString&) {};
    form->dialogs.about = [] {};
    form->dialogs.failureWindow = [this](const std::string& count) {
      failureWindows.push_back(count);
    };
    form->show();
    return *form;
  }

  template <typename T = QPushButton> T* control(const char* name) const {
    T* found = form->findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  void click(const char* name) { control(name)->click(); }
  // Chooses the folder through "...".
  void choose(const std::string& folder) {
    chosenFolder = QString::fromStdString(folder);
    click("Command2");
  }
  void find(int mode) {
    control<QComboBox>("cmbBy")->setCurrentIndex(mode);
    click("Command3");
  }

  FileGridModel& model() const { return *form->gridModel(); }
  int groups() const { return model().rowCount(); }
  int filesListed() const {
    int files = 0;
    for (int group = 0; group < groups(); ++group)
      files += model().rowCount(model().index(group, 0));
    return files;
  }
};

} // namespace zandrex::desktop
