#include "deletion_failure_window.h"
#include "errors/err_trap.h"
#include "main_window.h"
#include "settings/message_texts.h"
#include "shellaid/loaded_windows.h"
#include "startup.h"
#include "test_support.h"

#include <QFile>
#include <QSysInfo>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zandrex::desktop {
namespace {

class StartupTest : public ::testing::Test {
protected:
  test::TempDir dir;
  int settingsOpened = 0;
  std::vector<QString> refusals;
  MemorySettings* settings = nullptr;

  QString lockPath() const { return QString::fromStdString(dir.path() + "zandrex.lock"); }
  StartupOptions options(bool supported = true) {
    StartupOptions o;
    o.supportedSystem = [supported] { return supported; };
    o.refuse = [this](const QString& text) { refusals.push_back(text); };
    o.lockPath = lockPath();
    o.openSettings = [this] {
      ++settingsOpened;
      auto store = std::make_unique<MemorySettings>();
      settings = store.get();
      return store;
    };
    o.appPath = "/opt/zandrex/bin";
    return o;
  }
};

TEST_F(StartupTest, UnsupportedSystemShowsTheMessageAndEndsWithoutWindowsOrSettings) {
  EXPECT_EQ(Main(options(false)), nullptr);
  EXPECT_EQ(refusals, std::vector<QString>{"Zandrex supports only Windows 2000/XP/2003/Vista"});
  EXPECT_EQ(settingsOpened, 0);
  EXPECT_FALSE(isLoad("Form1"));
  EXPECT_FALSE(QFile::exists(lockPath()));
}

TEST_F(StartupTest, StartShowsTheMainWindowLoadsTheFailureWindowAndSavesTheVersion) {
  std::unique_ptr<DesktopProgram> program = Main(options());
  ASSERT_NE(program, nullptr);
  ASSERT_NE(program->mainWindow(), nullptr);
  EXPECT_TRUE(program->mainWindow()->isVisible());
  EXPECT_TRUE(isLoad("Form1"));
  ASSERT_NE(program->failureWindow(), nullptr);
  EXPECT_FALSE(program->failureWindow()->isVisible());
  EXPECT_EQ(program->failureWindow()->parent(), program->mainWindow());
  EXPECT_NE(errorPresenter(), nullptr);
  EXPECT_EQ(msgProductName, "Zandrex");
  EXPECT_EQ(settings->find("Version", "Major"), std::to_string(kVersionMajor));
  EXPECT_EQ(settings->find("Version", "Minor"), std::to_string(kVersionMinor));
  EXPECT_EQ(settings->find("Version", "Revision"), std::to_string(kVersionRevision));
  EXPECT_EQ(settings->find("Path", "AppPath"), "/opt/zandrex/bin");

  // A second copy ends silently and touches no setting.
  EXPECT_EQ(Main(options()), nullptr);
  EXPECT_TRUE(refusals.empty());
  EXPECT_EQ(settingsOpened, 1);

  // The error presenter, the window's registration and the lock go with the program.
  program.reset();
  EXPECT_EQ(errorPresenter(), nullptr);
  EXPECT_FALSE(isLoad("Form1"));
  EXPECT_NE(Main(options()), nullptr);
}

TEST_F(StartupTest, OnlyOneLockHolderAtATimeAndALockLeftByAnEndedCopyIsTakenOver) {
  {
    SingleInstanceLock first(lockPath());
    SingleInstanceLock second(lockPath());
    EXPECT_TRUE(first.tryAcquire());
    EXPECT_FALSE(second.tryAcquire());
  }
  // A process id that surely ran and ended.
  const pid_t child = fork();
  if (child == 0)
    _exit(0);
  ASSERT_GT(child, 0);
  waitpid(child, nullptr, 0);
  dir.write("zandrex.lock", std::to_string(child) + "\nzandrex\n" +
                                QSysInfo::machineHostName().toStdString() + "\n");
  EXPECT_TRUE(SingleInstanceLock(lockPath()).tryAcquire());
  EXPECT_TRUE(defaultLockPath().endsWith("/zandrex.lock"));
}

} // namespace
} // namespace zandrex::desktop
