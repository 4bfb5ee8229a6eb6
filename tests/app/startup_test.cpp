#include "deletion_failure_window.h"
#include "errors/err_trap.h"
#include "main_window.h"
#include "program_icon.h"
#include "settings/message_texts.h"
#include "shellaid/loaded_windows.h"
#include "startup.h"
#include "test_support.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <QTest>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace zandrex::desktop {
namespace {

class StartupTest : public ::testing::Test {
protected:
  test::TempDir dir;
  int settingsOpened = 0;
  std::vector<QString> refusals;
  MemorySettings* settings = nullptr;

  QString lockPath() const { return QString::fromStdString(dir.path() + "zandrex.lock"); }
  QString raisePath() const { return QString::fromStdString(dir.path() + "raise"); }
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
    o.raiseSocketPath = raisePath();
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
  EXPECT_EQ(settings->find("Version", "Major"), std::to_string(kVersionMajor));
  EXPECT_EQ(settings->find("Version", "Minor"), std::to_string(kVersionMinor));
  EXPECT_EQ(settings->find("Version", "Revision"), std::to_string(kVersionRevision));
  EXPECT_EQ(settings->find("Path", "AppPath"), "/opt/zandrex/bin");
  // Every window shows the program's icon.
  EXPECT_EQ(QApplication::windowIcon().availableSizes(), programIcon().availableSizes());
  EXPECT_EQ(program->failureWindow()->windowIcon().pixmap(16).toImage(),
            programIcon().pixmap(16).toImage());

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

// The second start's "raise" reaches the running copy's window, counted through the listener.
TEST_F(StartupTest, ASecondStartBringsTheRunningWindowToTheFront) {
  // A copy that ended left its socket behind; nobody listens there, so nobody is asked.
  dir.write("raise", "left behind");
  EXPECT_FALSE(askRunningCopyToRaise(raisePath()));

  std::unique_ptr<DesktopProgram> program = Main(options());
  ASSERT_NE(program, nullptr);
  RaiseListener* listener = program->raiseListener();
  ASSERT_NE(listener, nullptr);
  EXPECT_TRUE(listener->listening());
  int raised = 0;
  listener->raise = [&raised, next = listener->raise] {
    ++raised;
    next();
  };
  Form1* window = program->mainWindow();
  window->showMaximized();
  window->showMinimized();
  ASSERT_TRUE(window->isMinimized());

  EXPECT_EQ(Main(options()), nullptr);
  EXPECT_TRUE(QTest::qWaitFor([&] { return raised > 0; }));
  EXPECT_EQ(raised, 1);
  EXPECT_FALSE(window->isMinimized());
  EXPECT_TRUE(window->isMaximized());
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(refusals.empty());
  EXPECT_EQ(settingsOpened, 1);
}

void writeFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

// A process id that surely ran and ended.
pid_t endedProcess() {
  const pid_t child = fork();
  if (child == 0)
    _exit(0);
  waitpid(child, nullptr, 0);
  return child;
}

bool isRegularFile(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Whatever a crashed copy, a stray program or a person left in the lock's place: anything that
// no running copy holds is taken over without following a link, a live holder is never taken
// over whatever its file holds, and what can be neither taken nor replaced is said.
TEST_F(StartupTest, TheLockTakesOverWhateverNoRunningCopyHoldsAndSaysWhyWhenItCannot) {
  const std::string outside = dir.write("outside/keep.txt", "not a lock\n");
  struct Case {
    const char* name;
    std::function<void(const std::string& lock)> leave;
    LockOutcome outcome;
  };
  int liveHolder = -1;
  const std::vector<Case> cases = {
      {"nothing", [](const std::string&) {}, LockOutcome::Acquired},
      {"garbage", [&](const std::string& lock) { writeFile(lock, "\x01\xff lock?"); },
       LockOutcome::Acquired},
      {"an ended copy's lock",
       [&](const std::string& lock) {
         writeFile(lock, std::to_string(endedProcess()) + "\nzandrex\n" +
                             QSysInfo::machineHostName().toStdString() + "\n");
       },
       LockOutcome::Acquired},
      {"unreadable file",
       [&](const std::string& lock) {
         writeFile(lock, "x");
         chmod(lock.c_str(), 0);
       },
       LockOutcome::Acquired},
      {"empty folder", [](const std::string& lock) { mkdir(lock.c_str(), 0700); },
       LockOutcome::Acquired},
      {"link to a file", [&](const std::string& lock) { symlink(outside.c_str(), lock.c_str()); },
       LockOutcome::Acquired},
      {"dangling link", [](const std::string& lock) { symlink("/nonexistent/x", lock.c_str()); },
       LockOutcome::Acquired},
      {"fifo", [](const std::string& lock) { mkfifo(lock.c_str(), 0600); }, LockOutcome::Acquired},
      {"garbage held by a running copy",
       [&](const std::string& lock) {
         writeFile(lock, "");
         liveHolder = open(lock.c_str(), O_RDONLY | O_CLOEXEC);
         flock(liveHolder, LOCK_EX | LOCK_NB);
       },
       LockOutcome::HeldByRunningCopy},
      {"folder not empty",
       [](const std::string& lock) {
         mkdir(lock.c_str(), 0700);
         mkdir((lock + "/inside").c_str(), 0700);
       },
       LockOutcome::CannotTake},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string folder = dir.mkdir(std::string("case ") + c.name);
    const std::string lock = folder + "zandrex.lock";
    c.leave(lock);
    auto taker = std::make_unique<SingleInstanceLock>(QString::fromStdString(lock));
    const LockAttempt attempt = taker->acquire();
    EXPECT_EQ(attempt.outcome, c.outcome) << attempt.reason.toStdString();
    if (c.outcome == LockOutcome::Acquired) {
      EXPECT_TRUE(isRegularFile(lock));
      EXPECT_EQ(test::readFile(lock).rfind(std::to_string(getpid()) + "\nzandrex\n", 0), 0u);
      // The temporary file it was made under is gone; nothing else was touched.
      EXPECT_EQ(
          QDir(QString::fromStdString(folder))
              .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot | QDir::Hidden),
          QStringList{"zandrex.lock"});
      EXPECT_EQ(test::readFile(outside), "not a lock\n");
      // Held now: a second taker finds a running copy; released, the file goes.
      EXPECT_EQ(SingleInstanceLock(QString::fromStdString(lock)).acquire().outcome,
                LockOutcome::HeldByRunningCopy);
      taker.reset();
      EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(lock)));
    } else if (c.outcome == LockOutcome::HeldByRunningCopy) {
      EXPECT_EQ(test::readFile(lock), "");
      close(liveHolder);
      EXPECT_TRUE(SingleInstanceLock(QString::fromStdString(lock)).tryAcquire())
          << "the holder ended";
    } else {
      EXPECT_TRUE(attempt.reason.contains("folder")) << attempt.reason.toStdString();
      EXPECT_TRUE(QFileInfo(QString::fromStdString(lock + "/inside")).isDir());
    }
  }

  // No place for a lock at all.
  const std::string file = dir.write("a file", "");
  for (const std::string& lock : {dir.path() + "missing/zandrex.lock", file + "/zandrex.lock"}) {
    const LockAttempt attempt = SingleInstanceLock(QString::fromStdString(lock)).acquire();
    EXPECT_EQ(attempt.outcome, LockOutcome::CannotTake) << lock;
    EXPECT_FALSE(attempt.reason.isEmpty());
  }
  EXPECT_TRUE(defaultLockPath().endsWith(".lock"));
}

TEST_F(StartupTest, ALockThatCannotBeTakenEndsTheStartWithItsReason) {
  EXPECT_EQ(decideStart({LockOutcome::Acquired, {}}, "/run/x.lock").action, StartDecision::Start);
  const StartDecision silent = decideStart({LockOutcome::HeldByRunningCopy, {}}, "/run/x.lock");
  EXPECT_EQ(silent.action, StartDecision::EndSilently);
  EXPECT_TRUE(silent.message.isEmpty());
  const StartDecision refused =
      decideStart({LockOutcome::CannotTake, "a folder is in its place"}, "/run/x.lock");
  EXPECT_EQ(refused.action, StartDecision::RefuseWithMessage);
  EXPECT_TRUE(refused.message.startsWith("Zandrex cannot start")) << refused.message.toStdString();
  EXPECT_TRUE(refused.message.contains("/run/x.lock"));
  EXPECT_TRUE(refused.message.contains("a folder is in its place"));

  // Main shows it and opens nothing.
  dir.mkdir("zandrex.lock/inside");
  EXPECT_EQ(Main(options()), nullptr);
  ASSERT_EQ(refusals.size(), 1u);
  EXPECT_TRUE(refusals[0].contains(lockPath())) << refusals[0].toStdString();
  EXPECT_EQ(settingsOpened, 0);
  EXPECT_FALSE(isLoad("Form1"));
}

} // namespace
} // namespace zandrex::desktop
