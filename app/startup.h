// The program's start: message texts, the system check, one running copy, the main window, the
// hidden deletion-failure window and the version keys.
#pragma once

#include "settings/settings_store.h"

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace zandrex::desktop {

class DesktopErrorPresenter;
class Form1;
class Form3;

// What became of an attempt to take the single-instance lock.
enum class LockOutcome {
  Acquired,          // this copy holds the lock now
  HeldByRunningCopy, // another running copy holds it: end silently
  CannotTake,        // the lock can be neither taken nor replaced: say why and end
};

struct LockAttempt {
  LockOutcome outcome = LockOutcome::CannotTake;
  // For CannotTake: what is in the way, in words ("a folder that cannot be removed is in its
  // place (Directory not empty)").
  QString reason;
};

// Holds the lock that marks the running copy of the program: a file that the running copy keeps
// open with an exclusive advisory lock (flock) for its whole life, and which names its process
// ("pid\nzandrex\nhost\n"). The advisory lock alone decides who runs: the system drops it when
// its holder ends in any way, so a copy that crashed leaves no live lock behind.
class SingleInstanceLock {
public:
  explicit SingleInstanceLock(const QString& path);
  ~SingleInstanceLock();
  SingleInstanceLock(const SingleInstanceLock&) = delete;
  SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

  // Takes the lock unless a running copy holds it. Whatever else is found in its place is
  // stale and is taken over: a file that nobody holds (left by a copy that ended, empty, or
  // garbage), an empty folder (removed), a symbolic link or any other kind of file (replaced
  // atomically by a new lock file; a link is never followed). The lock file is only ever opened
  // without following links. A lock that can be neither taken nor replaced (a folder that is not
  // empty, a folder that cannot be written to or does not exist) is CannotTake, with the reason.
  LockAttempt acquire();
  // acquire() == Acquired.
  bool tryAcquire();
  bool held() const { return fd_ >= 0; }
  const QString& path() const { return path_; }

private:
  QString path_;
  int fd_ = -1;
};

// "zandrex.lock" in the user's runtime folder, or "zandrex-UID.lock" in the temporary folder
// when there is none (the temporary folder is shared by every user).
QString defaultLockPath();

// The running copy's door for later starts: a local socket, open to this user only, on which a
// later start says "raise" before it ends silently, so that starting the program again shows the
// window already open instead of nothing.
class RaiseListener : public QObject {
  Q_OBJECT
public:
  // Listens at path. Whatever is in its place is what a copy that ended left there and is
  // removed first: only the holder of the single-instance lock listens.
  explicit RaiseListener(const QString& path, QObject* parent = nullptr);
  bool listening() const { return server_.isListening(); }

  // Runs for every "raise" received.
  std::function<void()> raise;

private:
  void accept();

  QLocalServer server_;
};

// Says "raise" to the copy listening at path; false when none took it. Never waits longer than
// twice kRaiseWaitMilliseconds, so a copy that hangs cannot hold up this start.
inline constexpr int kRaiseWaitMilliseconds = 200;
bool askRunningCopyToRaise(const QString& path);

// "zandrex-UID" in the user's runtime folder, or in the temporary folder when there is none.
QString defaultRaiseSocketPath();

// What start-up does with a lock attempt.
struct StartDecision {
  enum Action { Start, EndSilently, RefuseWithMessage } action = Start;
  // For RefuseWithMessage: the text of the message box.
  QString message;
};
StartDecision decideStart(const LockAttempt& attempt, const QString& lockPath);

// What Main asks of the world; each part can be replaced (tests, demos).
struct StartupOptions {
  // True on a system the program runs on; isSupportedSystem() by default.
  std::function<bool()> supportedSystem;
  // Shows why the program cannot start (an unsupported system, a lock that cannot be taken); an
  // exclamation box titled "Zandrex" by default.
  std::function<void(const QString& text)> refuse;
  // The single-instance lock file; defaultLockPath() when empty.
  QString lockPath;
  // The settings store; the user's INI store by default.
  std::function<std::unique_ptr<SettingsStore>()> openSettings;
  // The folder saved as "Path"/"AppPath"; the executable's folder when empty.
  QString appPath;
  // Where the running copy listens for later starts; defaultRaiseSocketPath() when empty.
  QString raiseSocketPath;
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
  // Null when the start failed before the main window was shown.
  RaiseListener* raiseListener() const { return raiseListener_.get(); }

private:
  friend std::unique_ptr<DesktopProgram> Main(StartupOptions options);

  std::unique_ptr<SingleInstanceLock> lock_;
  std::unique_ptr<DesktopErrorPresenter> presenter_;
  std::unique_ptr<SettingsStore> settings_;
  std::unique_ptr<Form1> mainWindow_;
  Form3* failureWindow_ = nullptr;
  // Goes before the window it raises.
  std::unique_ptr<RaiseListener> raiseListener_;
};

// The start routine. Null when the program must end at once: the system is refused or the lock
// can be neither taken nor replaced (after the message), or another copy runs (silently, after
// asking it to raise its window); in every case no window opens and no setting is written.
// Otherwise the main window is shown and the failure window loaded hidden; an error on the way is
// reported and the program goes on with what was made.
std::unique_ptr<DesktopProgram> Main(StartupOptions options = {});

} // namespace zandrex::desktop
