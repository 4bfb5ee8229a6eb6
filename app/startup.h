// The program's start: message texts, the system check, one running copy, the main window, the
// hidden deletion-failure window and the version keys.
#pragma once

#include "settings/settings_store.h"

#include <QLockFile>
#include <QString>
#include <functional>
#include <memory>

namespace zandrex::desktop {

class DesktopErrorPresenter;
class Form1;
class Form3;

// Holds the lock that marks the running copy of the program.
class SingleInstanceLock {
public:
  explicit SingleInstanceLock(const QString& path);
  // True when no other running copy holds the lock; this one then holds it until destroyed.
  // A lock left behind by a copy that no longer runs (it crashed) counts as free, whatever its
  // age; a lock of a running copy never goes stale.
  bool tryAcquire();

private:
  QLockFile lock_;
};

// "zandrex.lock" in the user's runtime folder, or in the temporary folder when there is none.
QString defaultLockPath();

// What Main asks of the world; each part can be replaced (tests, demos).
struct StartupOptions {
  // True on a system the program runs on; isSupportedSystem() by default.
  std::function<bool()> supportedSystem;
  // Shows the refusal text; an exclamation box titled "Zandrex" by default.
  std::function<void(const QString& text)> refuse;
  // The single-instance lock file; defaultLockPath() when empty.
  QString lockPath;
  // The settings store; the user's INI store by default.
  std::function<std::unique_ptr<SettingsStore>()> openSettings;
  // The folder saved as "Path"/"AppPath"; the executable's folder when empty.
  QString appPath;
};

// The running program: what Main made, kept for the program's whole life.
class DesktopProgram {
public:
  DesktopProgram();
  ~DesktopProgram();
  DesktopProgram(const DesktopProgram&) = delete;
  DesktopProgram& operator=(const DesktopProgram&) = delete;

  // Null when the start failed before the main window was made.
  Form1* mainWindow() const { return mainWindow_.get(); }
  // Owned by the main window; null when the start failed before it was made.
  Form3* failureWindow() const { return failureWindow_; }
  SettingsStore* settings() const { return settings_.get(); }

private:
  friend std::unique_ptr<DesktopProgram> Main(StartupOptions options);

  std::unique_ptr<SingleInstanceLock> lock_;
  std::unique_ptr<DesktopErrorPresenter> presenter_;
  std::unique_ptr<SettingsStore> settings_;
  std::unique_ptr<Form1> mainWindow_;
  Form3* failureWindow_ = nullptr;
};

// The start routine. Null when the program must end at once: the system is refused (after the
// message) or another copy runs (silently); in both cases no window opens and no setting is
// written. Otherwise the main window is shown and the failure window loaded hidden; an error on
// the way is reported and the program goes on with what was made.
std::unique_ptr<DesktopProgram> Main(StartupOptions options = {});

} // namespace zandrex::desktop
