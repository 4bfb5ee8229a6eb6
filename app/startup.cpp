#include "startup.h"

#include "deletion_failure_window.h"
#include "errors/err_trap.h"
#include "local_path.h"
#include "main_window.h"
#include "program_error_window.h"
#include "program_icon.h"
#include "qt_settings.h"
#include "settings/message_texts.h"
#include "shellaid/os_version.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QMessageBox>
#include <QStandardPaths>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace zandrex::desktop {

namespace {

constexpr const char* kLockFileName = "zandrex.lock";
constexpr const char* kRaiseSocketName = "zandrex-%1";
constexpr char kRaiseMessage[] = "raise\n";
// A sender that says more than this without ending its line is not a later start.
constexpr qint64 kLongestMessage = 64;
constexpr const char* kAppName = "zandrex";
// How often the lock is looked at again when what was in its place went away meanwhile.
constexpr int kTakeOverRounds = 8;
// How long a start waits for another starting copy to finish its take-over.
constexpr int kGuardWaitMilliseconds = 2000;
constexpr int kGuardPollMilliseconds = 10;
constexpr int kTempNameTries = 100;

void refuseWithMessage(const QString& text) {
  QMessageBox::warning(nullptr, kAppTitle, text);
}

QString systemText(int error) {
  return QString::fromLocal8Bit(std::strerror(error));
}

LockAttempt cannotTake(const QString& what, int error) {
  return {LockOutcome::CannotTake, QStringLiteral("%1 (%2)").arg(what, systemText(error))};
}

// A descriptor closed when it goes.
class Descriptor {
public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0)
      ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

private:
  int fd_;
};

// Two starts at the same moment take turns at looking at the lock and replacing it: each holds
// an exclusive advisory lock on the lock's folder meanwhile. A folder that someone else keeps
// locked for longer is not waited for; the take-over below is then merely unguarded.
class FolderGuard {
public:
  explicit FolderGuard(int folder) : folder_(folder) {
    for (int waited = 0; waited <= kGuardWaitMilliseconds; waited += kGuardPollMilliseconds) {
      if (::flock(folder_, LOCK_EX | LOCK_NB) == 0) {
        held_ = true;
        return;
      }
      if (errno != EWOULDBLOCK)
        return;
      std::this_thread::sleep_for(std::chrono::milliseconds(kGuardPollMilliseconds));
    }
  }
  ~FolderGuard() {
    if (held_)
      ::flock(folder_, LOCK_UN);
  }
  FolderGuard(const FolderGuard&) = delete;
  FolderGuard& operator=(const FolderGuard&) = delete;

private:
  int folder_;
  bool held_ = false;
};

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The owner's lines, as QLockFile writes them: process id, program name, host name.
std::string ownerText() {
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0)
    host[0] = '\0';
  return std::to_string(::getpid()) + "\n" + kAppName + "\n" + host + "\n";
}

bool writeAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0)
      return false;
    done += static_cast<std::size_t>(written);
  }
  return true;
}

// A new lock file under a temporary name beside the lock, already locked and naming this
// process, so that it is complete the moment it takes the lock's name. -1 (errno set) on failure.
int newLockedFile(int folder, const std::string& lockName, std::string& tempName) {
  static unsigned counter = 0;
  for (int attempt = 0; attempt < kTempNameTries; ++attempt) {
    tempName = lockName + ".new-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    Descriptor fd(::openat(folder, tempName.c_str(),
                           O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (fd.get() < 0) {
      if (errno == EEXIST)
        continue;
      return -1;
    }
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0 || !writeAll(fd.get(), ownerText())) {
      const int error = errno ? errno : EIO;
      ::unlinkat(folder, tempName.c_str(), 0);
      errno = error;
      return -1;
    }
    return fd.release();
  }
  errno = EEXIST;
  return -1;
}

} // namespace

SingleInstanceLock::SingleInstanceLock(const QString& path) : path_(path) {}

SingleInstanceLock::~SingleInstanceLock() {
  if (fd_ < 0)
    return;
  // Only our own file goes: never a lock that replaced ours meanwhile.
  const QByteArray path = QFile::encodeName(path_);
  struct stat ours {};
  struct stat there {};
  if (::fstat(fd_, &ours) == 0 && ::lstat(path.constData(), &there) == 0 && sameFile(ours, there))
    ::unlink(path.constData());
  ::close(fd_);
}

bool SingleInstanceLock::tryAcquire() {
  return acquire().outcome == LockOutcome::Acquired;
}

LockAttempt SingleInstanceLock::acquire() {
  if (fd_ >= 0)
    return {LockOutcome::Acquired, {}};
  const QFileInfo info(path_);
  const std::string name = QFile::encodeName(info.fileName()).toStdString();
  if (name.empty())
    return cannotTake(QStringLiteral("it names no file"), EINVAL);
  Descriptor folder(::open(QFile::encodeName(info.absolutePath()).constData(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() < 0)
    return cannotTake(QStringLiteral("its folder cannot be opened"), errno);
  const FolderGuard guard(folder.get());

  for (int round = 0; round < kTakeOverRounds; ++round) {
    // A free place: the new file takes the name only if nothing has it (link never replaces).
    std::string tempName;
    Descriptor fresh(newLockedFile(folder.get(), name, tempName));
    if (fresh.get() < 0)
      return cannotTake(QStringLiteral("no lock file can be created in its folder"), errno);
    const int linked = ::linkat(folder.get(), tempName.c_str(), folder.get(), name.c_str(), 0);
    const int linkError = errno;
    if (linked == 0) {
      ::unlinkat(folder.get(), tempName.c_str(), 0);
      fd_ = fresh.release();
      return {LockOutcome::Acquired, {}};
    }
    if (linkError != EEXIST) {
      ::unlinkat(folder.get(), tempName.c_str(), 0);
      return cannotTake(QStringLiteral("it cannot be created"), linkError);
    }

    // Something is in the lock's place; it is looked at without following a link.
    auto dropFresh = [&] { ::unlinkat(folder.get(), tempName.c_str(), 0); };
    struct stat there {};
    if (::fstatat(folder.get(), name.c_str(), &there, AT_SYMLINK_NOFOLLOW) != 0) {
      const int error = errno;
      dropFresh();
      if (error == ENOENT)
        continue;
      return cannotTake(QStringLiteral("it cannot be looked at"), error);
    }
    if (S_ISDIR(there.st_mode)) {
      dropFresh();
      if (::unlinkat(folder.get(), name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT)
        continue;
      return cannotTake(QStringLiteral("a folder that cannot be removed is in its place"), errno);
    }
    // A regular file held by a running copy is its lock, whatever it holds; one that nobody
    // holds is stale. It stays held by us while it is replaced, so that nobody else can judge it
    // stale and replace our new lock in turn.
    const bool regular = S_ISREG(there.st_mode);
    Descriptor old(regular ? ::openat(folder.get(), name.c_str(),
                                      O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)
                           : -1);
    if (regular) {
      if (old.get() < 0 && (errno == ENOENT || errno == ELOOP)) {
        dropFresh();
        continue;
      }
      if (old.get() >= 0) {
        if (::flock(old.get(), LOCK_EX | LOCK_NB) != 0) {
          const int error = errno;
          dropFresh();
          if (error == EWOULDBLOCK)
            return {LockOutcome::HeldByRunningCopy, {}};
          return cannotTake(QStringLiteral("it cannot be tested"), error);
        }
        struct stat opened {};
        struct stat now {};
        if (::fstat(old.get(), &opened) != 0 ||
            ::fstatat(folder.get(), name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 ||
            !sameFile(opened, now)) {
          dropFresh();
          continue;
        }
      }
      // A file we may not read cannot name its owner either: it is replaced like the rest.
    }
    if (::renameat(folder.get(), tempName.c_str(), folder.get(), name.c_str()) != 0) {
      const int error = errno;
      dropFresh();
      return cannotTake(QStringLiteral("what is in its place cannot be replaced"), error);
    }
    fd_ = fresh.release();
    return {LockOutcome::Acquired, {}};
  }
  return {LockOutcome::CannotTake, QStringLiteral("what is in its place keeps changing")};
}

QString defaultLockPath() {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (folder.isEmpty())
    return QDir(QDir::tempPath())
        .filePath(QStringLiteral("zandrex-%1.lock").arg(static_cast<qulonglong>(::getuid())));
  return QDir(folder).filePath(kLockFileName);
}

RaiseListener::RaiseListener(const QString& path, QObject* parent) : QObject(parent) {
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  QLocalServer::removeServer(path);
  server_.listen(path);
  connect(&server_, &QLocalServer::newConnection, this, [this] { accept(); });
}

void RaiseListener::accept() {
  while (QLocalSocket* socket = server_.nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
      if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > kLongestMessage)
          socket->abort();
        return;
      }
      const bool asked = socket->readLine(kLongestMessage) == kRaiseMessage;
      socket->disconnectFromServer();
      if (asked && raise)
        raise();
    });
  }
}

bool askRunningCopyToRaise(const QString& path) {
  QLocalSocket socket;
  socket.connectToServer(path);
  if (!socket.waitForConnected(kRaiseWaitMilliseconds))
    return false;
  socket.write(kRaiseMessage);
  const bool sent = socket.waitForBytesWritten(kRaiseWaitMilliseconds);
  socket.abort();
  return sent;
}

QString defaultRaiseSocketPath() {
  QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (folder.isEmpty())
    folder = QDir::tempPath();
  return QDir(folder).filePath(
      QString::fromLatin1(kRaiseSocketName).arg(static_cast<qulonglong>(::getuid())));
}

StartDecision decideStart(const LockAttempt& attempt, const QString& lockPath) {
  switch (attempt.outcome) {
  case LockOutcome::Acquired:
    return {StartDecision::Start, {}};
  case LockOutcome::HeldByRunningCopy:
    return {StartDecision::EndSilently, {}};
  case LockOutcome::CannotTake:
    break;
  }
  return {StartDecision::RefuseWithMessage,
          QStringLiteral("Zandrex cannot start: the lock file that keeps a second copy from "
                         "running,\n%1,\ncannot be taken: %2.")
              .arg(QDir::toNativeSeparators(lockPath), attempt.reason)};
}

DesktopProgram::DesktopProgram() = default;

DesktopProgram::~DesktopProgram() {
  if (presenter_ && errorPresenter() == presenter_.get())
    setErrorPresenter(nullptr);
}

std::unique_ptr<DesktopProgram> Main(StartupOptions options) {
  auto program = std::make_unique<DesktopProgram>();
  bool endAtOnce = false;
  trapEvent("mMain.Main", [&] {
    SetLanguageTexts();
    // Every window of the program shows its icon, the error window too.
    QApplication::setWindowIcon(programIcon());
    program->presenter_ = std::make_unique<DesktopErrorPresenter>();
    setErrorPresenter(program->presenter_.get());

    const bool supported =
        options.supportedSystem ? options.supportedSystem() : isSupportedSystem();
    if (!supported) {
      endAtOnce = true;
      (options.refuse ? options.refuse
                      : refuseWithMessage)(QString::fromStdString(msgOSNotSupported));
      return;
    }
    program->lock_ = std::make_unique<SingleInstanceLock>(
        options.lockPath.isEmpty() ? defaultLockPath() : options.lockPath);
    const StartDecision decision = decideStart(program->lock_->acquire(), program->lock_->path());
    const QString raisePath =
        options.raiseSocketPath.isEmpty() ? defaultRaiseSocketPath() : options.raiseSocketPath;
    if (decision.action != StartDecision::Start) {
      endAtOnce = true;
      if (decision.action == StartDecision::RefuseWithMessage)
        (options.refuse ? options.refuse : refuseWithMessage)(decision.message);
      else
        askRunningCopyToRaise(raisePath);
      return;
    }

    program->settings_ =
        options.openSettings ? options.openSettings() : std::make_unique<QtSettings>();
    program->mainWindow_ = std::make_unique<Form1>(*program->settings_);
    program->mainWindow_->show();
    program->failureWindow_ =
        new Form3(program->mainWindow_->core().failures(), program->mainWindow_.get());
    program->failureWindow_->hide();
    program->mainWindow_->setFailureWindow(program->failureWindow_);
    program->raiseListener_ = std::make_unique<RaiseListener>(raisePath);
    program->raiseListener_->raise = [window = program->mainWindow_.get()] {
      window->bringToFront();
    };

    const QString appPath =
        options.appPath.isEmpty() ? QCoreApplication::applicationDirPath() : options.appPath;
    SaveVersion(*program->settings_, localPath(appPath));
  });
  if (endAtOnce)
    return nullptr;
  return program;
}

} // namespace zandrex::desktop
