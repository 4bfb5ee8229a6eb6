// The walk with files stat'ed ahead on a worker: the sink must see exactly what the one-thread
// walk shows it, and what goes wrong on the worker must surface on the walk's own thread.
#include "errors/err_trap.h"
#include "test_support.h"
#include "walk/tree_walk.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <dirent.h>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace zandrex::test {
namespace {

constexpr std::size_t kOneThread = SIZE_MAX;
constexpr std::size_t kEveryFolder = 1;

// The stand-in stat's settings: one walk at a time, so file-wide state will do.
std::thread::id gCallingThread;
std::atomic<int> gWorkerStats{0};
std::atomic<int> gWorkerFailure{0}; // the errno the worker's stats fail with; 0: none fail
std::atomic<bool> gSlowCallingThread{false};

// statIn, noting which thread calls it, with a pause on some names so that the worker and the
// walk overtake each other in both directions.
bool jitteredStat(int folderFd, const char* name, FileStatus& status) {
  const std::size_t mark = std::hash<std::string_view>{}(name);
  const bool calling = std::this_thread::get_id() == gCallingThread;
  if (!calling) {
    ++gWorkerStats;
    if (gWorkerFailure != 0) {
      errno = gWorkerFailure;
      return false;
    }
  }
  if (mark % (calling ? 5 : 7) == 0 || (calling && gSlowCallingThread))
    std::this_thread::sleep_for(std::chrono::microseconds(calling ? 200 : 30));
  return statIn(folderFd, name, status);
}

std::size_t entriesOf(const char* folder) {
  std::size_t count = 0;
  if (DIR* dir = ::opendir(folder)) {
    while (::readdir(dir))
      ++count;
    ::closedir(dir);
  }
  return count;
}

// Every call the walk makes on its sink, as text; subfolders() says no to every fifth question.
class RecordingSink : public WalkSink {
public:
  std::vector<std::string> calls;
  std::size_t files = 0;
  std::size_t cancelAfter = SIZE_MAX;
  std::function<void(const WalkedFile&)> onFile = [](const WalkedFile&) {};

  void beforeEntry() override {
    EXPECT_EQ(std::this_thread::get_id(), gCallingThread);
    calls.push_back("entry");
  }
  bool cancelled() override { return files >= cancelAfter; }
  bool subfolders() override {
    EXPECT_EQ(std::this_thread::get_id(), gCallingThread);
    const bool yes = ++questions_ % 5 != 0;
    calls.push_back(yes ? "subfolders" : "no subfolders");
    return yes;
  }
  void file(const WalkedFile& file) override {
    EXPECT_EQ(std::this_thread::get_id(), gCallingThread);
    ++files;
    calls.push_back(std::string(file.parentName) + " | " + std::string(file.folderPath) +
                    std::string(file.diskName) + " | " + std::to_string(file.status.size) +
                    " | folder " + std::to_string(file.folder));
    onFile(file);
  }

private:
  int questions_ = 0;
};

class StatAheadTest : public ::testing::Test {
protected:
  void SetUp() override {
    resetErrTrap();
    gCallingThread = std::this_thread::get_id();
    gWorkerStats = 0;
    gWorkerFailure = 0;
    gSlowCallingThread = false;
  }
  void TearDown() override { resetErrTrap(); }

  // Files of many sizes (a status given to the wrong name shows), folders large and small,
  // entries the walk passes over and names the filter leaves out.
  static void makeTree(const TempDir& dir) {
    auto files = [&](const std::string& folder, const char* stem, int count) {
      for (int i = 0; i < count; ++i) {
        const std::string name = stem + std::to_string(1000 + i).substr(1);
        dir.write(folder + name, std::string((i * 37 + folder.size()) % 101, 'x'));
      }
    };
    files("", "f", 40);
    files("a/", "k", 200);
    files("a/b/", "k", 3);
    files("a/c/", "k", 50);
    files("a/c/d/", "k", 20);
    files("m/", "k", 15);
    files("m/e/", "k", 17);
    files("x/", "k", 100);
    files("z/", "k", 30);
    files(".hidden/", "k", 20);
    for (const char* skipped : {"a/skip.tmp", "x/skip.tmp", "x/zz.tmp"})
      dir.write(skipped, "left out by name");
    ASSERT_EQ(::symlink("k001", (dir.path() + "x/link").c_str()), 0);
    ASSERT_EQ(::symlink("../a", (dir.path() + "x/folder-link").c_str()), 0);
    ASSERT_EQ(::mkfifo((dir.path() + "a/pipe").c_str(), 0600), 0);
  }

  // Walks dir with its folder texts as "T/", changing "z" while "a" is walked: removed files, a
  // file swapped for a link and another for a folder, a new file.
  static std::vector<std::string> walk(const TempDir& dir, std::size_t sharedFrom) {
    std::optional<SourceAnchor> source = SourceAnchor::open(dir.path());
    EXPECT_TRUE(source);
    RecordingSink sink;
    sink.onFile = [&](const WalkedFile& file) {
      if (file.folderPath != "T/a/" || file.diskName != "k010")
        return;
      const std::string z = dir.path() + "z/";
      ::unlink((z + "k003").c_str());
      ::unlink((z + "k004").c_str());
      ::unlink((z + "k005").c_str());
      ::symlink("k006", (z + "k005").c_str());
      ::unlink((z + "k007").c_str());
      dir.write("z/k007/inside", "moved in");
      dir.write("z/k0055", "new");
    };
    ScanFilter filter;
    filter.excludedNames = {"*.tmp"};
    FolderTable folders;
    TreeWalk walk(jitteredStat, sharedFrom);
    walk.run(*source, "T/", "T", folders, sink, filter);
    return sink.calls;
  }
};

TEST_F(StatAheadTest, TheSinkSeesTheOneThreadWalkWhateverTheWorkerDoes) {
  TempDir one;
  makeTree(one);
  const std::vector<std::string> expected = walk(one, kOneThread);
  EXPECT_EQ(gWorkerStats, 0);
  ASSERT_GT(expected.size(), 500u);
  // The change to "z" was seen: its removed file is not there, the new ones are.
  auto seen = [&](const std::string& start) {
    return std::any_of(expected.begin(), expected.end(),
                       [&](const std::string& call) { return call.starts_with(start); });
  };
  EXPECT_FALSE(seen("z | T/z/k004 |"));
  EXPECT_TRUE(seen("z | T/z/k0055 |"));
  EXPECT_TRUE(seen("k007 | T/z/k007/inside |"));
  for (std::size_t sharedFrom : {kEveryFolder, kStatAheadMin}) {
    for (int round = 0; round < 3; ++round) {
      TempDir again;
      makeTree(again);
      gWorkerStats = 0;
      EXPECT_EQ(walk(again, sharedFrom), expected) << "from " << sharedFrom << ", round " << round;
      EXPECT_GT(gWorkerStats, 0);
    }
  }
}

TEST_F(StatAheadTest, AFailedStatOnTheWorkerActsOnTheCallingThreadAsIfMadeThere) {
  TempDir dir;
  for (int i = 0; i < 100; ++i)
    dir.write("many/k" + std::to_string(100 + i), "x");
  const std::size_t threadsBefore = entriesOf("/proc/self/task");
  const std::size_t handlesBefore = entriesOf("/proc/self/fd");
  const struct {
    int error;
    bool raised;
  } cases[] = {{ENOMEM, true}, {EACCES, false}, {ENOENT, false}};
  for (const auto& c : cases) {
    resetErrTrap();
    gWorkerFailure = c.error;
    gWorkerStats = 0;
    // The walk stats slowly, so the worker takes slots it then fails on.
    gSlowCallingThread = true;
    std::optional<SourceAnchor> source = SourceAnchor::open(dir.path());
    ASSERT_TRUE(source);
    RecordingSink sink;
    FolderTable folders;
    TreeWalk walk(jitteredStat, kEveryFolder);
    bool raised = false;
    try {
      walk.run(*source, "T/", "T", folders, sink);
    } catch (const AppError& error) {
      raised = true;
      EXPECT_EQ(preservedError().systemError, static_cast<std::uint32_t>(c.error));
      EXPECT_NE(error.description.find("mScanCD.ShowDir3_FillPreview"), std::string::npos);
    }
    EXPECT_GT(gWorkerStats, 0);
    EXPECT_EQ(raised, c.raised) << c.error;
    // Files the worker failed on are left out (but for one it was slow on, which the walk may
    // have stat'ed itself); the walk went on with the others.
    EXPECT_LT(sink.files, 100u);
    if (!c.raised) {
      EXPECT_GE(sink.files + static_cast<std::size_t>(gWorkerStats), 100u);
    }
    EXPECT_EQ(entriesOf("/proc/self/task"), threadsBefore);
    EXPECT_EQ(entriesOf("/proc/self/fd"), handlesBefore + 1); // the anchor's
  }
}

TEST_F(StatAheadTest, ACancelInALargeFolderEndsTheWorkerAndGivesEveryHandleBack) {
  TempDir dir;
  for (int i = 0; i < 300; ++i)
    dir.write("d/e/k" + std::to_string(100 + i), "x");
  const std::size_t threadsBefore = entriesOf("/proc/self/task");
  std::optional<SourceAnchor> source = SourceAnchor::open(dir.path());
  ASSERT_TRUE(source);
  const std::size_t handlesBefore = entriesOf("/proc/self/fd");
  RecordingSink sink;
  sink.cancelAfter = 10;
  FolderTable folders;
  TreeWalk walk(jitteredStat, kEveryFolder);
  walk.run(*source, "T/", "T", folders, sink);
  EXPECT_EQ(sink.files, 10u);
  EXPECT_EQ(entriesOf("/proc/self/task"), threadsBefore);
  EXPECT_EQ(entriesOf("/proc/self/fd"), handlesBefore);
  // The same walk object walks again, whole, with a worker of its own.
  RecordingSink again;
  walk.run(*source, "T/", "T", folders, again);
  EXPECT_EQ(again.files, 300u);
}

} // namespace
} // namespace zandrex::test
