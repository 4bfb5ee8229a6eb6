// For the documentation's pictures: the secondary windows shown with example contents, ready to
// be grabbed. Used only by the program's screenshot mode.
#pragma once

#include <QString>

class QWidget;

namespace zandrex::desktop {

class Form3;

// The window to grab for name, shown (modeless) over owner:
// - "failure": failureWindow with two example failures (its list is replaced);
// - "error": a new "Program Error" window, showing an example report folder;
// - "about": a new About window.
// The new windows delete themselves when closed. nullptr for any other name, or for "failure"
// without a failure window.
QWidget* secondaryScreenshotWindow(const QString& name, Form3* failureWindow, QWidget* owner);

} // namespace zandrex::desktop
