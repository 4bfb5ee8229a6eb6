#include "flow_fixture.h"
#include "loop_mount.h"
#include "platform/trash_can.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <set>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zandrex::test {
namespace {

struct Stat {
  struct stat st {};
  bool ok = false;
};

Stat statOf(const std::string& path) {
  Stat out;
  out.ok = ::lstat(path.c_str(), &out.st) == 0;
  return out;
}

std::set<std::string> namesIn(const std::string& folder) {
  std::set<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir)
    return names;
  while (dirent* entry = ::readdir(dir))
    if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..")
      names.insert(entry->d_name);
  ::closedir(dir);
  return names;
}

// What a command printed on standard output, and whether it ran and exited 0.
struct Command {
  bool ok = false;
  std::string out;
};

Command run(const std::string& command) {
  Command result;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe)
    return result;
  char buffer[4096];
  while (std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe))
    result.out.append(buffer, got);
  result.ok = ::pclose(pipe) == 0;
  return result;
}

bool haveProgram(const std::string& name) {
  return run("command -v " + name + " >/dev/null 2>&1").ok;
}

// Finds whose home trash lives in a folder of their own.
class ReclaimTest : public FlowTest {
protected:
  TempDir data;
  ScopedEnv dataHome{"XDG_DATA_HOME", data.path().substr(0, data.path().size() - 1)};
  std::string trash = data.path() + "Trash/";

  void reclaim(ReclaimWay way) { core.reclaimTicked(way); }
};

TEST(TrashInfoPath, KeepsLettersDigitsAndSlashesAndEncodesEveryOtherByte) {
  EXPECT_EQ(percentEncodedPath("/data/a-b_c.d~e/F9"), "/data/a-b_c.d~e/F9");
  EXPECT_EQ(percentEncodedPath("/a b/100%/\xC3\xBC\n"), "/a%20b/100%25/%C3%BC%0A");
}

TEST_F(ReclaimTest, TrashedFilesAreListedAndRestoredByTheDesktopsTrashTools) {
  tree.write("keep/report 1.txt", "same");
  tree.write("copy/report 1.txt", "same");
  find(ByName);
  tick({"copy/report 1.txt"});
  reclaim(ReclaimWay::Trash);

  EXPECT_FALSE(exists("copy/report 1.txt"));
  EXPECT_TRUE(exists("keep/report 1.txt"));
  EXPECT_TRUE(view.failureWindows.empty());
  EXPECT_EQ(groups(), (Groups{{"keep/report 1.txt"}}));
  EXPECT_EQ(readFile(trash + "files/report 1.txt"), "same");
  const std::string info = readFile(trash + "info/report 1.txt.trashinfo");
  EXPECT_EQ(info.rfind("[Trash Info]\nPath=" + percentEncodedPath(tree.path()) +
                           "copy/report%201.txt\nDeletionDate=",
                       0),
            0u)
      << info;
  EXPECT_EQ(statOf(trash).st.st_mode & 0777, 0700u);

  if (!haveProgram("trash-list") || !haveProgram("trash-restore"))
    GTEST_SKIP() << "trash-cli (trash-list, trash-restore) is not installed";
  const Command listed = run("trash-list");
  ASSERT_TRUE(listed.ok);
  EXPECT_NE(listed.out.find(tree.path() + "copy/report 1.txt"), std::string::npos) << listed.out;
  // trash-restore offers what was trashed from its working folder; 0 is the only one.
  EXPECT_TRUE(run("cd '" + tree.path() + "copy' && echo 0 | trash-restore >/dev/null").ok);
  EXPECT_EQ(readFile(tree.path() + "copy/report 1.txt"), "same");
  EXPECT_TRUE(namesIn(trash + "files").empty());
}

TEST_F(ReclaimTest, TrashNamesNeverTakeAnotherFilesPlaceInTheTrash) {
  tree.writeEach({"a/x", "b/x", "c/x"}, "1");
  // Another program's claim on "x": an info file without its file.
  ::mkdir(trash.c_str(), 0700);
  ::mkdir((trash + "files").c_str(), 0700);
  ::mkdir((trash + "info").c_str(), 0700);
  const std::string foreign = "[Trash Info]\nPath=/elsewhere/x\nDeletionDate=2020-01-01T00:00:00\n";
  {
    UniqueFd fd(::open((trash + "info/x.trashinfo").c_str(), O_WRONLY | O_CREAT, 0600));
    ASSERT_EQ(::write(fd.get(), foreign.data(), foreign.size()),
              static_cast<ssize_t>(foreign.size()));
  }
  find(ByName);
  tick({"b/x", "c/x"});
  reclaim(ReclaimWay::Trash);
  EXPECT_TRUE(view.failureWindows.empty());
  EXPECT_EQ(readFile(trash + "info/x.trashinfo"), foreign);
  EXPECT_EQ(namesIn(trash + "files"), (std::set<std::string>{"x.2", "x.3"}));
  EXPECT_EQ(namesIn(trash + "info"),
            (std::set<std::string>{"x.trashinfo", "x.2.trashinfo", "x.3.trashinfo"}));
  // Each info file names the file that went under its name.
  const std::string c = readFile(trash + "info/x.2.trashinfo");
  const std::string b = readFile(trash + "info/x.3.trashinfo");
  EXPECT_NE(c.find("c/x\n"), std::string::npos) << c;
  EXPECT_NE(b.find("b/x\n"), std::string::npos) << b;
}

TEST_F(ReclaimTest, ATrashThatIsALinkOrOpenToOthersIsNotUsedAndTheFileStays) {
  tree.writeEach({"a/x", "b/x"}, "1");
  find(ByName);
  tick({"b/x"});
  const std::string elsewhere = tree.mkdir("elsewhere");
  ASSERT_EQ(::symlink(elsewhere.c_str(), (data.path() + "Trash").c_str()), 0);
  reclaim(ReclaimWay::Trash);
  EXPECT_TRUE(exists("b/x"));
  EXPECT_TRUE(namesIn(elsewhere).empty());
  EXPECT_EQ(
      failureColumn(failcol::kReason),
      std::vector<std::string>{"The trash folder is not the user's own or others may write to it"});
  EXPECT_EQ(view.failureWindows,
            std::vector<std::string>{"Moving to the trash failed for 1 file(s)"});
  EXPECT_EQ(core.failures().title(), "Moving to the trash failure");

  ::unlink((data.path() + "Trash").c_str());
  ASSERT_EQ(::mkdir((data.path() + "Trash").c_str(), 0777), 0);
  ::chmod((data.path() + "Trash").c_str(), 0777);
  reclaim(ReclaimWay::Trash);
  EXPECT_TRUE(exists("b/x"));
  EXPECT_EQ(failureColumn(failcol::kReason).size(), 1u);
  EXPECT_TRUE(namesIn(data.path() + "Trash").empty());
}

TEST_F(ReclaimTest, TheTickedNameBecomesAHardLinkOfTheKeptCopy) {
  tree.writeEach({"a/x", "b/x", "c/x"}, "same bytes");
  find(ByContent);
  tick({"b/x", "c/x"});
  reclaim(ReclaimWay::HardLink);
  EXPECT_TRUE(view.failureWindows.empty());
  const Stat kept = statOf(tree.path() + "a/x");
  for (const char* linked : {"b/x", "c/x"}) {
    const Stat now = statOf(tree.path() + linked);
    ASSERT_TRUE(now.ok) << linked;
    EXPECT_EQ(now.st.st_ino, kept.st.st_ino) << linked;
  }
  EXPECT_EQ(kept.st.st_nlink, 3u);
  EXPECT_EQ(readFile(tree.path() + "b/x"), "same bytes");
  // No temporary names left behind.
  EXPECT_EQ(namesIn(tree.path() + "b"), std::set<std::string>{"x"});
  EXPECT_EQ(groups(), (Groups{{"a/x"}}));
  // Links lose no group.
  EXPECT_EQ(core.groupsLostLastRun(), 0u);
}

// Swapped after the guard compared it: the name would now link to another file.
TEST_F(ReclaimTest, AKeptCopyReplacedJustBeforeTheLinkIsNotLinkedTo) {
  tree.writeEach({"a/x", "b/x"}, "same");
  find(ByContent);
  tick({"b/x"});
  core.setDeletionStepHook([&](RecordId, std::string_view step) {
    if (step != "remove")
      return;
    tree.write("a/other", "different");
    ::rename((tree.path() + "a/other").c_str(), (tree.path() + "a/x").c_str());
  });
  const Stat before = statOf(tree.path() + "b/x");
  reclaim(ReclaimWay::HardLink);
  EXPECT_EQ(failureColumn(failcol::kReason),
            std::vector<std::string>{"The copy being kept was replaced"});
  EXPECT_EQ(statOf(tree.path() + "b/x").st.st_ino, before.st.st_ino);
  EXPECT_EQ(readFile(tree.path() + "b/x"), "same");
  EXPECT_EQ(namesIn(tree.path() + "b"), std::set<std::string>{"x"});
}

TEST_F(ReclaimTest, LinkingNeedsAKeptCopyWithTheSameBytesInEveryMode) {
  tree.write("a/x", "one");
  tree.write("b/x", "two");
  tree.writeEach({"c/y", "d/y"}, "1");
  find(ByName);
  tick({"b/x", "c/y", "d/y"});
  const Stat before = statOf(tree.path() + "b/x");
  reclaim(ReclaimWay::HardLink);
  EXPECT_EQ(readFile(tree.path() + "b/x"), "two");
  EXPECT_EQ(statOf(tree.path() + "b/x").st.st_ino, before.st.st_ino);
  EXPECT_TRUE(exists("c/y"));
  EXPECT_TRUE(exists("d/y"));
  EXPECT_EQ(failureColumn(failcol::kReason),
            (std::vector<std::string>{"No copy is being kept to link to",
                                      "No copy is being kept to link to",
                                      "Not the same content as the copy being kept"}));
  EXPECT_EQ(view.failureWindows, std::vector<std::string>{"Linking failed for 3 file(s)"});
}

// Tests with a second file system, loop-mounted at m/ inside the searched tree.
class MountedReclaimTest : public ReclaimTest {
protected:
  LoopMount mount{tree.path() + "m"};

  void SetUp() override {
    ReclaimTest::SetUp();
    if (!mount.ready())
      GTEST_SKIP() << mount.skipReason();
  }
  void TearDown() override {
    ReclaimTest::TearDown();
    mount.unmount();
  }
};

// Whether every extent of the file at path is shared with another file.
bool extentsShared(const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  constexpr std::size_t kExtents = 64;
  std::vector<unsigned char> buffer(sizeof(fiemap) + kExtents * sizeof(fiemap_extent));
  auto* map = reinterpret_cast<fiemap*>(buffer.data());
  map->fm_length = FIEMAP_MAX_OFFSET;
  map->fm_flags = FIEMAP_FLAG_SYNC;
  map->fm_extent_count = kExtents;
  if (!fd.valid() || ::ioctl(fd.get(), FS_IOC_FIEMAP, map) != 0 || map->fm_mapped_extents == 0)
    return false;
  for (std::uint32_t k = 0; k < map->fm_mapped_extents; ++k)
    if ((map->fm_extents[k].fe_flags & FIEMAP_EXTENT_SHARED) == 0)
      return false;
  return true;
}

TEST_F(MountedReclaimTest, ReflinkedCopiesShareTheirExtentsAndKeepTheirNamesAndBytes) {
  // Past the kernel's per-call range, and not a whole number of blocks.
  std::string big(20 * 1024 * 1024 + 5, '\0');
  for (std::size_t k = 0; k < big.size(); ++k)
    big[k] = static_cast<char>(k * 7 + k / 4096);
  tree.writeEach({"m/a/big", "m/b/big"}, big);
  find(ByContent);
  tick({"m/b/big"});
  const Stat before = statOf(tree.path() + "m/b/big");
  ASSERT_FALSE(extentsShared(tree.path() + "m/b/big"));
  reclaim(ReclaimWay::Reflink);
  EXPECT_TRUE(view.failureWindows.empty()) << failureColumn(failcol::kReason).front();
  EXPECT_TRUE(extentsShared(tree.path() + "m/b/big"));
  EXPECT_TRUE(extentsShared(tree.path() + "m/a/big"));
  const Stat after = statOf(tree.path() + "m/b/big");
  EXPECT_EQ(after.st.st_ino, before.st.st_ino);
  EXPECT_EQ(after.st.st_nlink, 1u);
  EXPECT_EQ(readFile(tree.path() + "m/b/big"), big);
  EXPECT_EQ(groups(), (Groups{{"m/a/big"}}));
}

// Changed between the guard's compare and the file system's own: the file system refuses.
TEST_F(MountedReclaimTest, AKeptCopyChangedAfterTheCheckIsRefusedByTheFileSystem) {
  tree.writeEach({"m/a/x", "m/b/x"}, std::string(8192, 'a'));
  find(ByContent);
  tick({"m/b/x"});
  core.setDeletionStepHook([&](RecordId, std::string_view step) {
    if (step == "remove")
      tree.write("m/a/x", std::string(8192, 'b'));
  });
  reclaim(ReclaimWay::Reflink);
  EXPECT_EQ(failureColumn(failcol::kReason), std::vector<std::string>{"The contents differ"});
  EXPECT_EQ(readFile(tree.path() + "m/b/x"), std::string(8192, 'a'));
}

TEST_F(MountedReclaimTest, AHardLinkToACopyOnAnotherFileSystemIsRefused) {
  tree.writeEach({"a/x", "m/x"}, "1");
  find(ByContent);
  tick({"m/x"});
  reclaim(ReclaimWay::HardLink);
  EXPECT_EQ(failureColumn(failcol::kReason),
            std::vector<std::string>{"The copy being kept is on another file system"});
  EXPECT_EQ(statOf(tree.path() + "m/x").st.st_nlink, 1u);
}

TEST_F(MountedReclaimTest, FilesOfAnotherFileSystemGoToTheUsersTrashAtItsTop) {
  tree.writeEach({"a/x", "m/sub dir/x"}, "1");
  find(ByName);
  tick({"m/sub dir/x"});
  reclaim(ReclaimWay::Trash);
  EXPECT_TRUE(view.failureWindows.empty());
  const std::string top = tree.path() + "m/.Trash-" + std::to_string(::getuid()) + "/";
  EXPECT_EQ(statOf(top).st.st_mode & 07777, 0700u);
  EXPECT_EQ(readFile(top + "files/x"), "1");
  // Paths relative to the top of the file system.
  EXPECT_EQ(readFile(top + "info/x.trashinfo").rfind("[Trash Info]\nPath=sub%20dir/x\n", 0), 0u);
  // Never into the home trash by a copy.
  EXPECT_TRUE(namesIn(trash + "files").empty());
}

TEST_F(MountedReclaimTest, ASharedTrashAtTheTopIsUsedOnlyWithItsStickyBitAndNeverAsALink) {
  tree.writeEach({"a/x", "m/b/x", "m/c/x"}, "1");
  const std::string shared = tree.path() + "m/.Trash";
  ASSERT_EQ(::mkdir(shared.c_str(), 0777), 0);
  ::chmod(shared.c_str(), 01777);
  find(ByName);
  tick({"m/b/x"});
  reclaim(ReclaimWay::Trash);
  const std::string own = shared + "/" + std::to_string(::getuid()) + "/";
  EXPECT_EQ(readFile(own + "files/x"), "1");
  EXPECT_EQ(readFile(own + "info/x.trashinfo").rfind("[Trash Info]\nPath=b/x\n", 0), 0u);

  // Without the sticky bit anyone could take it away: the user's own .Trash-UID instead.
  ::chmod(shared.c_str(), 0777);
  tick({"m/c/x"});
  reclaim(ReclaimWay::Trash);
  const std::string fallback = tree.path() + "m/.Trash-" + std::to_string(::getuid()) + "/";
  EXPECT_EQ(readFile(fallback + "files/x"), "1");
  EXPECT_EQ(namesIn(own + "files"), std::set<std::string>{"x"});
}

TEST_F(MountedReclaimTest, AFileSystemWithoutRoomForATrashKeepsItsFiles) {
  tree.writeEach({"a/x", "m/x"}, "1");
  find(ByName);
  tick({"m/x"});
  ASSERT_TRUE(run("mount -o remount,ro '" + tree.path() + "m'").ok);
  reclaim(ReclaimWay::Trash);
  EXPECT_EQ(failureColumn(failcol::kReason),
            std::vector<std::string>{"No trash on this file system"});
  EXPECT_TRUE(exists("m/x"));
  EXPECT_TRUE(namesIn(trash + "files").empty());
}

} // namespace
} // namespace zandrex::test
