#include "startup.h"

#include "deletion_failure_window.h"
#include "errors/err_trap.h"
#include "local_path.h"
#include "main_window.h"
#include "program_error_window.h"
#include "qt_settings.h"
#include "settings/message_texts.h"
#include "shellaid/os_version.h"

#include <QCoreApplication>
#include <QDir>
#include <QMessageBox>
#include <QStandardPaths>

namespace zandrex::desktop {

namespace {

constexpr const char* kLockFileName = "zandrex.lock";
// Only a lock whose process is gone is stale; age alone never is (a copy may run for days).
constexpr int kNeverStaleByAge = 0;

void refuseWithMessage(const QString& text) {
  QMessageBox::warning(nullptr, kAppTitle, text);
}

} // namespace

SingleInstanceLock::SingleInstanceLock(const QString& path) : lock_(path) {
  lock_.setStaleLockTime(kNeverStaleByAge);
}

bool SingleInstanceLock::tryAcquire() {
  return lock_.tryLock(0);
}

QString defaultLockPath() {
  QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (folder.isEmpty())
    folder = QDir::tempPath();
  return QDir(folder).filePath(kLockFileName);
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
    if (!program->lock_->tryAcquire()) {
      endAtOnce = true;
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

    const QString appPath =
        options.appPath.isEmpty() ? QCoreApplication::applicationDirPath() : options.appPath;
    SaveVersion(*program->settings_, localPath(appPath));
  });
  if (endAtOnce)
    return nullptr;
  return program;
}

} // namespace zandrex::desktop
