// "Program Error": shown after an error was reported, with the ways to mail the report.
#pragma once

#include "errors/err_trap.h"

#include <QDialog>

namespace zandrex::desktop {

class Form11 : public QDialog {
  Q_OBJECT
public:
  explicit Form11(QWidget* owner = nullptr);
  ~Form11() override;

  // The report file the folder links open: the report folder + "/ErrorReport.txt".
  static QString reportFilePath();
  // True while a Form11 is setting itself up: a failure there must not open yet another one.
  static bool isLoading();

private:
  void Form_Load();
  void openReportFolder(const char* signature);
  void Label55_Click();
  void bnOK_Click();
};

// Opens a new "Program Error" window for each reported error: modal over the main window while
// it is loaded, modeless otherwise. Install it with setErrorPresenter.
class DesktopErrorPresenter : public ErrorPresenter {
public:
  // Modal: runs the window over the top-level widget named "Form1" (none found: no owner) and
  // returns when it closed. Modeless: shows it and returns at once; the window deletes itself
  // when closed. Nothing opens while a Form11 is loading (its own load failed).
  void showProgramError(bool modal) override;
};

} // namespace zandrex::desktop
