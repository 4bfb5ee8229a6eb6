#include "digest/cache_peer.h"
#include "digest/digest_cache.h"
#include "digest/recorded_tree.h"
#include "flow_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zandrex::test {
namespace {

// Counts the files opened in one folder while it lives (not the folders).
class FileOpenWatch {
public:
  explicit FileOpenWatch(const std::string& folder) : fd_(::inotify_init1(IN_NONBLOCK)) {
    EXPECT_GE(::inotify_add_watch(fd_.get(), folder.c_str(), IN_OPEN), 0);
  }
  int fileOpens() {
    int opens = 0;
    alignas(inotify_event) char buffer[4096];
    ssize_t got;
    while ((got = ::read(fd_.get(), buffer, sizeof buffer)) > 0) {
      for (char* at = buffer; at < buffer + got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(at);
        opens += (event->mask & IN_ISDIR) ? 0 : 1;
        at += sizeof(inotify_event) + event->len;
      }
    }
    return opens;
  }

private:
  UniqueFd fd_;
};

class CachedFindTest : public FlowTest {
protected:
  TempDir cacheHome;
  const std::string cacheFile = cacheHome.path() + "zandrex/digests.sqlite";

  // Small files are read whole, big ones sifted by their edges first.
  void SetUp() override {
    FlowTest::SetUp();
    tree.write("a", "twin bytes 1");
    tree.write("b", "twin bytes 1");
    tree.write("c", "other bytes ");
    tree.write("d", "unique size");
    tree.writeEach({"big1", "big2"}, std::string(100 * 1024, 'q'));
  }

  void useCache(bool enabled, std::chrono::nanoseconds settle = std::chrono::nanoseconds(0)) {
    DigestCacheChoice choice;
    choice.enabled = enabled;
    choice.file = cacheFile;
    choice.settle = settle;
    core.setDigestCache(choice);
  }

  // Each listed file with its checksum, in row order.
  std::vector<std::string> checksums() const {
    std::vector<std::string> out;
    const ReportGrid& grid = core.grid();
    for (std::size_t i = 0; i < grid.rowCount(); ++i) {
      const GridRow& row = grid.row(i);
      if (!row.isGroup())
        out.push_back(core.fullPath(row.record).substr(tree.path().size()) + " " +
                      std::string(grid.item(row.record, col::kChecksum).asText()));
    }
    return out;
  }
};

TEST_F(CachedFindTest, ASecondFindGroupsAsWithoutTheCacheAndOpensNoFile) {
  useCache(false);
  find(ByContent);
  const Groups expected = groups();
  const std::vector<std::string> sums = checksums();
  ASSERT_EQ(expected, (Groups{{"a", "b"}, {"big1", "big2"}}));
  EXPECT_FALSE(fileExists(cacheFile));

  // Files changed within the settle time are not remembered yet.
  useCache(true, std::chrono::hours(1));
  find(ByContent);
  FileOpenWatch unsettled(tree.path());
  find(ByContent);
  EXPECT_GT(unsettled.fileOpens(), 0);

  useCache(true);
  find(ByContent);
  EXPECT_EQ(groups(), expected);
  FileOpenWatch watch(tree.path());
  find(ByContent);
  EXPECT_EQ(watch.fileOpens(), 0);
  EXPECT_EQ(groups(), expected);
  EXPECT_EQ(checksums(), sums);
  EXPECT_EQ(core.statusText(), "4 files");
}

TEST_F(CachedFindTest, AFileWhoseChangeTimeMovedIsReadAgainAndOnlyIt) {
  useCache(true);
  find(ByContent);
  ASSERT_EQ(groups(), (Groups{{"a", "b"}, {"big1", "big2"}}));

  // The walk's look is the only one: a change time it saw move is enough to read the file again.
  const std::string a = tree.path() + "a";
  const FileStatus before = statusOf(a);
  const auto changeTimeMoved = [&] {
    const FileStatus now = statusOf(a);
    return now.ctimeSec != before.ctimeSec || now.ctimeNsec != before.ctimeNsec;
  };
  do
    ASSERT_EQ(::chmod(a.c_str(), 0640), 0);
  while (!changeTimeMoved());
  FileOpenWatch watch(tree.path());
  find(ByContent);
  EXPECT_EQ(watch.fileOpens(), 1);
  EXPECT_EQ(groups(), (Groups{{"a", "b"}, {"big1", "big2"}}));

  // Rewritten in place and given its old modification time again.
  tree.write("a", "other bytes ");
  const struct timespec times[2] = {{0, UTIME_OMIT}, {before.mtimeSec, before.mtimeNsec}};
  // Once the clock has moved on, the change time shows the write whatever else was set back.
  const FileStatus chmodded = statusOf(a);
  do
    ASSERT_EQ(::utimensat(AT_FDCWD, a.c_str(), times, 0), 0);
  while (statusOf(a).ctimeSec == chmodded.ctimeSec && statusOf(a).ctimeNsec == chmodded.ctimeNsec);
  ASSERT_EQ(statusOf(a).mtimeNsec, before.mtimeNsec);

  find(ByContent);
  EXPECT_EQ(groups(), (Groups{{"a", "c"}, {"big1", "big2"}}));
}

// Files of the big pair's size that differ from it, and each other, in their first block.
class EdgeCachedFindTest : public CachedFindTest {
protected:
  static constexpr std::size_t kBigSize = 100 * 1024;
  const std::string pairBytes = std::string(kBigSize, 'q');

  static std::string startingWith(char first) {
    std::string bytes(kBigSize, 'q');
    bytes[0] = first;
    return bytes;
  }

  void SetUp() override {
    CachedFindTest::SetUp();
    tree.write("edge1", startingWith('x'));
    tree.write("edge2", startingWith('y'));
  }

  // Gives the file its old modification time again, once its change time has moved past before's.
  void restoreModificationTime(const std::string& path, const FileStatus& before) {
    const struct timespec times[2] = {{0, UTIME_OMIT}, {before.mtimeSec, before.mtimeNsec}};
    do
      ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    while (statusOf(path).ctimeSec == before.ctimeSec &&
           statusOf(path).ctimeNsec == before.ctimeNsec);
  }
};

TEST_F(EdgeCachedFindTest, FilesClearedByTheirEdgesAreNotOpenedAgain) {
  const Groups expected{{"a", "b"}, {"big1", "big2"}};
  useCache(true);
  find(ByContent);
  ASSERT_EQ(groups(), expected);
  const std::vector<std::string> sums = checksums();

  FileOpenWatch watch(tree.path());
  find(ByContent);
  EXPECT_EQ(watch.fileOpens(), 0);
  EXPECT_EQ(groups(), expected);
  EXPECT_EQ(checksums(), sums);

  // A newcomer of their size is the only file whose edges are read: the pair's were kept with
  // their digests.
  tree.write("edge3", startingWith('z'));
  FileOpenWatch newcomer(tree.path());
  find(ByContent);
  EXPECT_EQ(newcomer.fileOpens(), 1);
  EXPECT_EQ(groups(), expected);
  FileOpenWatch again(tree.path());
  find(ByContent);
  EXPECT_EQ(again.fileOpens(), 0);
}

TEST_F(EdgeCachedFindTest, RememberedEdgesOfAFileChangedSinceAreNotTrusted) {
  useCache(true);
  find(ByContent);
  ASSERT_EQ(groups(), (Groups{{"a", "b"}, {"big1", "big2"}}));

  // Its first block rewritten in place to the pair's, its modification time set back: only the
  // change time tells.
  const std::string edge1 = tree.path() + "edge1";
  const FileStatus before = statusOf(edge1);
  tree.write("edge1", pairBytes);
  restoreModificationTime(edge1, before);
  ASSERT_EQ(statusOf(edge1).mtimeNsec, before.mtimeNsec);
  find(ByContent);
  EXPECT_EQ(groups(), (Groups{{"a", "b"}, {"big1", "big2", "edge1"}}));

  // Rewritten with a new modification time.
  tree.write("edge2", pairBytes);
  find(ByContent);
  EXPECT_EQ(groups(), (Groups{{"a", "b"}, {"big1", "big2", "edge1", "edge2"}}));
}

TEST_F(CachedFindTest, ACacheThatCannotBeTrustedOrUsedNeverChangesTheGroups) {
  struct Case {
    const char* name;
    std::function<void()> spoil;
  };
  const auto inode = [&](const char* name) {
    return std::to_string(statusOf(tree.path() + name).identity.inode);
  };
  const std::string linkTarget = cacheHome.path() + "other-file";
  const Case cases[] = {
      {"garbage",
       [&] {
         std::FILE* out = std::fopen(cacheFile.c_str(), "w");
         std::fputs("not a database at all", out);
         std::fclose(out);
       }},
      {"an entry claiming another file's digest",
       [&] {
         connectTo(cacheFile, "UPDATE digests SET digest = (SELECT digest FROM digests WHERE "
                              "inode = " +
                                  inode("a") + ") WHERE inode = " + inode("c"));
       }},
      // Refused at its opening, as one another copy is committing (digest_cache_test).
      {"a link in its place", [&] {
         cacheHome.write("other-file", "keep");
         ::unlink(cacheFile.c_str());
         ::symlink(linkTarget.c_str(), cacheFile.c_str());
       }}};
  for (const Case& c : cases) {
    // Choosing waits for the last find's digests to be written.
    useCache(true);
    ::unlink(cacheFile.c_str());
    find(ByContent);
    const Groups expected = groups();
    const std::vector<std::string> sums = checksums();
    ASSERT_EQ(expected, (Groups{{"a", "b"}, {"big1", "big2"}})) << c.name;
    useCache(true);
    c.spoil();
    find(ByContent);
    EXPECT_EQ(groups(), expected) << c.name;
    EXPECT_EQ(checksums(), sums) << c.name;
  }
  EXPECT_EQ(readFile(linkTarget), "keep");
}

TEST_F(CachedFindTest, TheCommandLineLeavesTheCacheAloneWithNoCache) {
  const std::string run =
      "XDG_CACHE_HOME=" + cacheHome.path() + "home " + ZANDREX_CLI_PATH + " --by content ";
  const std::string file = cacheHome.path() + "home/zandrex/digests.sqlite";
  ASSERT_EQ(std::system((run + "--no-cache " + tree.path() + " >/dev/null").c_str()), 0);
  EXPECT_FALSE(fileExists(file));
  ASSERT_EQ(std::system((run + tree.path() + " >/dev/null").c_str()), 0);
  EXPECT_TRUE(fileExists(file));
}

} // namespace
} // namespace zandrex::test
