#include "screenshot_windows.h"

#include "about_window.h"
#include "deletion_failure_window.h"
#include "errors/err_trap.h"
#include "program_error_window.h"

namespace zandrex::desktop {

namespace {

// Example paths: the real ones would show the screenshot run's temporary folders.
constexpr const char* kExampleReportFolder = "/home/user/Documents/Zandrex";

struct ExampleFailure {
  const char* folder;
  const char* name;
  const char* date;
  const char* size;
  const char* reason;
};
constexpr ExampleFailure kExampleFailures[] = {
    {"/home/user/Photos/Backup/", "sunset.jpg", "2024.06.21 20:14:03", "2481152",
     "Permission denied"},
    {"/home/user/Photos/2024/Trip/", "beach copy.jpg", "2024.07.02 11:40:57", "3170304",
     "Changed since the search"},
};

template <typename Window> QWidget* showNew(QWidget* owner) {
  auto* window = new Window(owner);
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->show();
  return window;
}

QWidget* showFailures(Form3* window) {
  if (!window)
    return nullptr;
  FailureList& core = window->core();
  core.clear();
  for (const ExampleFailure& failure : kExampleFailures)
    core.add(failure.folder, failure.name, failure.date, failure.size, failure.reason);
  core.finish();
  window->refreshFromCore();
  window->centreOverOwner();
  window->show();
  return window;
}

} // namespace

QWidget* secondaryScreenshotWindow(const QString& name, Form3* failureWindow, QWidget* owner) {
  if (name == QLatin1String("failure"))
    return showFailures(failureWindow);
  if (name == QLatin1String("error")) {
    reportEnvironment().reportFolder = [] { return std::string(kExampleReportFolder); };
    return showNew<Form11>(owner);
  }
  if (name == QLatin1String("about"))
    return showNew<Form10>(owner);
  return nullptr;
}

} // namespace zandrex::desktop
