// zandrex: the desktop program.
//
// For the documentation's pictures the program has a screenshot mode, used only by
// scripts/take-screenshots.sh: ZANDREX_SCREENSHOT=file.png grabs a window into the PNG and ends.
// ZANDREX_DEMO_SOURCE=folder and ZANDREX_DEMO_MODE=n (an index of the comparison list) run a
// find first; ZANDREX_DEMO_TICK=1 then runs "Keep the first in path order", and
// ZANDREX_DEMO_TICK_GROUP=n ticks every file of the n-th group (from 0) as well.
// ZANDREX_SCREENSHOT_WINDOW names the window to grab ("main", the default).
#include "grid_actions.h"
#include "main_window.h"
#include "screenshot_windows.h"
#include "shellaid/program_environment.h"
#include "startup.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <cstdio>

namespace {

using namespace zandrex::desktop;

constexpr int kExitDone = 0;
constexpr int kExitStartFailed = 1;
constexpr int kExitScreenshotFailed = 3;

QString environment(const char* name) {
  return qEnvironmentVariable(name);
}

void keepFirstInEachGroup(Form1& form) {
  for (QAction* action : form.findChild<QToolButton*>("bnSelect")->menu()->actions())
    if (action->text() == kKeepFirstCaption)
      action->trigger();
}

void tickWholeGroup(Form1& form, int group) {
  FileGridModel& model = *form.gridModel();
  if (group < 0 || group >= model.rowCount())
    return;
  const QModelIndex parent = model.index(group, 0);
  for (int file = 0; file < model.rowCount(parent); ++file)
    model.setData(model.index(file, 0, parent), Qt::Checked, Qt::CheckStateRole);
}

void runDemoFind(Form1& form) {
  const QString source = environment("ZANDREX_DEMO_SOURCE");
  if (source.isEmpty())
    return;
  form.dialogs.chooseFolder = [source](const QString&) { return source; };
  form.findChild<QPushButton*>("Command2")->click();
  bool modeGiven = false;
  const int mode = environment("ZANDREX_DEMO_MODE").toInt(&modeGiven);
  if (modeGiven)
    form.findChild<QComboBox*>("cmbBy")->setCurrentIndex(mode);
  form.findChild<QPushButton*>("Command3")->click();
  if (!environment("ZANDREX_DEMO_TICK").isEmpty())
    keepFirstInEachGroup(form);
  bool groupGiven = false;
  const int group = environment("ZANDREX_DEMO_TICK_GROUP").toInt(&groupGiven);
  if (groupGiven)
    tickWholeGroup(form, group);
}

// The window a screenshot shows.
QWidget* screenshotWindow(DesktopProgram& program, const QString& name) {
  if (name.isEmpty() || name == "main")
    return program.mainWindow();
  return secondaryScreenshotWindow(name, program.failureWindow(), program.mainWindow());
}

void takeScreenshot(DesktopProgram& program, const QString& path) {
  QTimer::singleShot(0, [&program, path] {
    if (program.mainWindow())
      runDemoFind(*program.mainWindow());
    QCoreApplication::processEvents();
    QWidget* window = screenshotWindow(program, environment("ZANDREX_SCREENSHOT_WINDOW"));
    if (!window || !window->grab().save(path)) {
      std::fprintf(stderr, "zandrex: could not write the screenshot %s\n", qPrintable(path));
      QCoreApplication::exit(kExitScreenshotFailed);
      return;
    }
    QCoreApplication::exit(kExitDone);
  });
}

bool anyWindowShown() {
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (widget->isVisible())
      return true;
  return false;
}

} // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  zandrex::reportEnvironment() = zandrex::programReportEnvironment();
  std::unique_ptr<DesktopProgram> program = Main();
  if (!program)
    return kExitDone;
  // A start that failed before the main window leaves at most the error window to close.
  if (!program->mainWindow() && !anyWindowShown())
    return kExitStartFailed;
  const QString screenshot = environment("ZANDREX_SCREENSHOT");
  if (!screenshot.isEmpty())
    takeScreenshot(*program, screenshot);
  return app.exec();
}
