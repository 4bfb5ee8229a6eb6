// "Program Error": shown after an error was reported, with the ways to mail the report.
#pragma once

#include "errors/err_trap.h"

#include <QDialog>

namespace zandrex::desktop {

class Form11 : public QDialog {
  Q_OBJECT
public:
  explicit Form11(QWidget* owner = nullptr);
};

// Opens a new "Program Error" window for each reported error: modal over the main window while
// it is loaded, modeless otherwise. Install it with setErrorPresenter.
class DesktopErrorPresenter : public ErrorPresenter {
public:
  void showProgramError(bool modal) override;
};

} // namespace zandrex::desktop
