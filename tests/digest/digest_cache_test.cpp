#include "digest/cache_peer.h"
#include "digest/digest_cache.h"
#include "test_support.h"

#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zandrex::test {
namespace {

constexpr std::int32_t kToday = 20000;
const std::atomic<bool> kGoOn{false};

RememberedDigest entryFor(std::uint64_t device, std::uint64_t inode) {
  RememberedDigest entry;
  entry.identity = {device, inode};
  entry.size = 100 + inode;
  // Inodes may be near the top of their range: only their low part goes into the time.
  entry.mtimeNs = 1'600'000'000'000'000'000 + static_cast<std::int64_t>(inode % 1'000'000'000);
  entry.ctimeNs = entry.mtimeNs + 7;
  entry.digest = {static_cast<std::uint32_t>(inode), inode * 3, inode * 5};
  return entry;
}

PodArray<DigestKey> keysOf(const PodArray<RememberedDigest>& entries) {
  PodArray<DigestKey> keys;
  for (const RememberedDigest& entry : entries)
    keys.push_back({entry.identity, entry.size, entry.mtimeNs, entry.ctimeNs});
  return keys;
}

PodArray<RememberedDigest> entriesFor(std::uint64_t device, std::uint64_t firstInode,
                                      std::size_t count) {
  PodArray<RememberedDigest> entries;
  for (std::size_t i = 0; i < count; ++i)
    entries.push_back(entryFor(device, firstInode + i));
  return entries;
}

const PodArray<FileIdentity> kNoneUsed;

off_t fileSize(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

std::size_t knownCount(const PodArray<Recalled>& recalled) {
  std::size_t known = 0;
  for (const Recalled& one : recalled)
    known += one.known ? 1 : 0;
  return known;
}

TEST(DigestCache, RecallsAnEntryOnlyForItsWholeKey) {
  TempDir dir;
  auto cache = DigestCache::open(dir.path() + "cache/digests.sqlite");
  ASSERT_TRUE(cache);
  constexpr std::size_t kStored = 3000;
  const PodArray<RememberedDigest> stored = entriesFor(7, 10, kStored);
  ASSERT_TRUE(cache->remember(stored, kNoneUsed, kToday));
  // Wanted files close together are read as one range of entries; far apart, among entries of
  // other files, searched for again past each gap.
  for (std::size_t step : {std::size_t{1}, std::size_t{50}}) {
    PodArray<RememberedDigest> wanted;
    wanted.push_back(stored[0]);
    wanted.push_back(stored[1]);
    wanted.back().size += 1;
    wanted.push_back(stored[2]);
    wanted.back().mtimeNs += 1;
    wanted.push_back(stored[3]);
    wanted.back().ctimeNs += 1;
    wanted.push_back(stored[0]); // a hard link of the first
    wanted.push_back(entryFor(8, 10));
    wanted.push_back(entryFor(7, 5));
    for (std::size_t i = 4; i < kStored; i += step)
      wanted.push_back(stored[i]);
    std::optional<PodArray<Recalled>> recalled = cache->recall(keysOf(wanted), kToday + 1, kGoOn);
    ASSERT_TRUE(recalled);
    const std::vector<bool> expected = {true, false, false, false, true, false, false};
    for (std::size_t i = 0; i < expected.size(); ++i)
      EXPECT_EQ((*recalled)[i].known, expected[i]) << "step " << step << ", case " << i;
    EXPECT_EQ(knownCount(*recalled), wanted.size() - 5) << "step " << step;
    // Entries are written many at once: each keeps its own digest.
    for (std::size_t i = 0; i < wanted.size(); ++i) {
      if (!(*recalled)[i].known)
        continue;
      ASSERT_EQ((*recalled)[i].digest.crc, wanted[i].digest.crc) << i;
      ASSERT_EQ((*recalled)[i].digest.xxhHigh, wanted[i].digest.xxhHigh) << i;
      ASSERT_EQ((*recalled)[i].digest.xxhLow, wanted[i].digest.xxhLow) << i;
    }
    EXPECT_FALSE((*recalled)[0].renew);
  }

  // A week unused asks for renewal; marking it used answers it.
  PodArray<FileIdentity> used;
  used.push_back(stored[0].identity);
  ASSERT_TRUE(cache->remember({}, used, kToday + 8));
  std::optional<PodArray<Recalled>> recalled = cache->recall(keysOf(stored), kToday + 8, kGoOn);
  ASSERT_TRUE(recalled);
  EXPECT_FALSE((*recalled)[0].renew);
  EXPECT_TRUE((*recalled)[1].renew);
}

// Edges alone (a file cleared by them) or beside the digest, each under the file's whole key.
// Many files, in ranges of the key order: every one is decided, hard links and several devices
// included, and each gets its own digest.
TEST(DigestCache, ManyFilesAreEachRecalledWithTheirOwnDigest) {
  TempDir dir;
  auto cache = DigestCache::open(dir.path() + "digests.sqlite");
  ASSERT_TRUE(cache);
  constexpr std::size_t kEach = 15000;
  constexpr std::size_t kChangedEvery = 7;
  // The second device's number and its inodes cross the top bit, where the table's signed order
  // and an unsigned one part.
  constexpr std::uint64_t kTopBit = std::uint64_t{1} << 63;
  PodArray<RememberedDigest> stored = entriesFor(7, 10, kEach);
  for (const RememberedDigest& entry : entriesFor(kTopBit | 9, kTopBit - kEach / 2, kEach))
    stored.push_back(entry);
  ASSERT_TRUE(cache->remember(stored, kNoneUsed, kToday));
  PodArray<RememberedDigest> wanted;
  std::vector<bool> expected;
  for (std::size_t i = stored.size(); i-- > 0;) {
    wanted.push_back(stored[i]);
    expected.push_back(i % kChangedEvery != 0);
    if (i % kChangedEvery == 0)
      wanted.back().mtimeNs += 1;
  }
  // Hard links of files from either end, and a file the cache never saw.
  for (std::size_t i : {std::size_t{1}, stored.size() - 2}) {
    wanted.push_back(stored[i]);
    expected.push_back(true);
  }
  wanted.push_back(entryFor(8, 1));
  expected.push_back(false);
  std::optional<PodArray<Recalled>> recalled = cache->recall(keysOf(wanted), kToday, kGoOn);
  ASSERT_TRUE(recalled);
  for (std::size_t i = 0; i < wanted.size(); ++i) {
    ASSERT_EQ((*recalled)[i].known, expected[i]) << i;
    if (expected[i]) {
      ASSERT_EQ((*recalled)[i].digest.xxhLow, wanted[i].digest.xxhLow) << i;
    }
  }
}

TEST(DigestCache, RecallsEdgesOnlyForTheirWholeKeyAndChecksThem) {
  TempDir dir;
  const std::string file = dir.path() + "digests.sqlite";
  auto cache = DigestCache::open(file);
  ASSERT_TRUE(cache);
  PodArray<RememberedDigest> stored = entriesFor(9, 1, 6);
  for (RememberedDigest& entry : stored) {
    entry.hasEdges = true;
    entry.edges = entry.identity.inode * 0x9E3779B97F4A7C15u;
  }
  stored[0].hasDigest = false;
  stored[1].hasDigest = false;
  ASSERT_TRUE(cache->remember(stored, kNoneUsed, kToday));

  PodArray<RememberedDigest> wanted;
  for (const RememberedDigest& entry : stored)
    wanted.push_back(entry);
  wanted.push_back(stored[0]);
  wanted.back().size += 1;
  wanted.push_back(stored[0]);
  wanted.back().mtimeNs += 1;
  wanted.push_back(stored[0]);
  wanted.back().ctimeNs += 1;
  wanted.push_back(stored[0]);
  wanted.back().identity.inode = 100; // another file, or the inode used again
  std::optional<PodArray<Recalled>> recalled = cache->recall(keysOf(wanted), kToday, kGoOn);
  ASSERT_TRUE(recalled);
  for (std::size_t i = 0; i < stored.size(); ++i) {
    EXPECT_TRUE((*recalled)[i].edgesKnown) << i;
    EXPECT_EQ((*recalled)[i].edges, stored[i].edges) << i;
    EXPECT_EQ((*recalled)[i].known, stored[i].hasDigest) << i;
  }
  for (std::size_t i = stored.size(); i < wanted.size(); ++i) {
    EXPECT_FALSE((*recalled)[i].edgesKnown) << i;
    EXPECT_FALSE((*recalled)[i].known) << i;
  }

  // Another file's edges in its place are damage, not a fact.
  connectTo(file, "UPDATE digests SET edges = edges + 1 WHERE inode = 1");
  EXPECT_FALSE(cache->recall(keysOf(stored), kToday, kGoOn));
}

TEST(DigestCache, ForgetsEntriesUnusedForLongAndStaysWithinItsBound) {
  TempDir dir;
  const std::string file = dir.path() + "digests.sqlite";
  DigestCacheLimits limits;
  limits.maxBytes = 256 * 1024;
  auto cache = DigestCache::open(file, limits);
  ASSERT_TRUE(cache);
  const PodArray<RememberedDigest> old = entriesFor(1, 1, 100);
  const PodArray<RememberedDigest> recent = entriesFor(1, 1001, 100);
  ASSERT_TRUE(cache->remember(old, kNoneUsed, kToday));
  ASSERT_TRUE(cache->remember(recent, kNoneUsed, kToday + 30));
  ASSERT_TRUE(cache->remember({}, kNoneUsed, kToday + limits.forgetAfterDays + 1));
  EXPECT_EQ(knownCount(*cache->recall(keysOf(old), kToday, kGoOn)), 0u);
  EXPECT_EQ(knownCount(*cache->recall(keysOf(recent), kToday, kGoOn)), recent.size());

  // Far more entries than the bound holds, a day apart: the newest always stay.
  constexpr std::size_t kBatch = 1000;
  for (std::int32_t day = 0; day < 10; ++day) {
    const PodArray<RememberedDigest> batch = entriesFor(2, 10'000 * (day + 1), kBatch);
    ASSERT_TRUE(cache->remember(batch, kNoneUsed, kToday + 40 + day)) << day;
    EXPECT_LE(static_cast<std::uint64_t>(fileSize(file)), limits.maxBytes) << day;
    EXPECT_EQ(knownCount(*cache->recall(keysOf(batch), kToday, kGoOn)), kBatch) << day;
  }
  EXPECT_EQ(knownCount(*cache->recall(keysOf(entriesFor(2, 10'000, kBatch)), kToday, kGoOn)), 0u);
}

TEST(DigestCache, AFileThatIsNotThisVersionsCacheIsStartedAfreshOrLeftAlone) {
  struct Case {
    const char* name;
    std::function<void(const std::string&)> spoil;
    bool opens;
  };
  const Case cases[] = {
      {"garbage",
       [](const std::string& file) {
         std::FILE* out = std::fopen(file.c_str(), "w");
         std::fputs(std::string(8192, 'x').c_str(), out);
         std::fclose(out);
       },
       true},
      {"another program's database",
       [](const std::string& file) {
         ::unlink(file.c_str());
         connectTo(file, "CREATE TABLE mine (x); INSERT INTO mine VALUES (1)");
       },
       true},
      {"an older version",
       [](const std::string& file) { connectTo(file, "PRAGMA user_version = 0"); }, true},
      {"a newer version",
       [](const std::string& file) { connectTo(file, "PRAGMA user_version = 3"); }, false},
      {"the layout before edges were kept",
       [](const std::string& file) {
         ::unlink(file.c_str());
         connectTo(file,
                   "CREATE TABLE digests (device INTEGER NOT NULL, inode INTEGER NOT NULL, "
                   "size INTEGER NOT NULL, mtime INTEGER NOT NULL, ctime INTEGER NOT NULL, "
                   "digest BLOB NOT NULL, used INTEGER NOT NULL, tag INTEGER NOT NULL, "
                   "PRIMARY KEY (device, inode)) WITHOUT ROWID;"
                   "CREATE TABLE upkeep (day INTEGER NOT NULL); INSERT INTO upkeep VALUES (0);"
                   "INSERT INTO digests VALUES (3, 1, 101, 0, 0, zeroblob(20), 20000, 0);"
                   "PRAGMA application_id = 1514428483; PRAGMA user_version = 1");
       },
       true},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string file = dir.path() + "digests.sqlite";
    const PodArray<RememberedDigest> stored = entriesFor(3, 1, 5);
    ASSERT_TRUE(DigestCache::open(file)->remember(stored, kNoneUsed, kToday)) << c.name;
    c.spoil(file);
    const std::string before = readFile(file);
    auto cache = DigestCache::open(file);
    ASSERT_EQ(cache != nullptr, c.opens) << c.name;
    if (!c.opens) {
      EXPECT_EQ(readFile(file), before) << c.name;
      continue;
    }
    EXPECT_EQ(knownCount(*cache->recall(keysOf(stored), kToday, kGoOn)), 0u) << c.name;
    EXPECT_TRUE(cache->remember(stored, kNoneUsed, kToday)) << c.name;
    EXPECT_EQ(knownCount(*cache->recall(keysOf(stored), kToday, kGoOn)), stored.size()) << c.name;
  }
}

TEST(DigestCache, DamageFoundWhileRecallingTrustsNothingAndDeletesTheFile) {
  struct Case {
    const char* name;
    std::function<void(const std::string&)> spoil;
  };
  const Case cases[] = {
      {"an entry's digest changed behind its back",
       [](const std::string& file) {
         connectTo(file, "UPDATE digests SET digest = (SELECT digest FROM digests WHERE inode = "
                         "2) WHERE inode = 3");
       }},
      {"pages overwritten", [](const std::string& file) {
         const int fd = ::open(file.c_str(), O_WRONLY);
         const std::string junk(64 * 1024, '\xFF');
         ASSERT_EQ(::pwrite(fd, junk.data(), junk.size(), 64 * 1024), 64 * 1024);
         ::close(fd);
       }}};
  for (const Case& c : cases) {
    TempDir dir;
    const std::string file = dir.path() + "digests.sqlite";
    const PodArray<RememberedDigest> stored = entriesFor(4, 1, 3000);
    ASSERT_TRUE(DigestCache::open(file)->remember(stored, kNoneUsed, kToday)) << c.name;
    c.spoil(file);
    auto cache = DigestCache::open(file);
    ASSERT_TRUE(cache) << c.name;
    EXPECT_FALSE(cache->recall(keysOf(stored), kToday, kGoOn)) << c.name;
    EXPECT_FALSE(fileExists(file)) << c.name;
    EXPECT_FALSE(cache->remember(stored, kNoneUsed, kToday)) << c.name;
  }
}

TEST(DigestCache, RefusesALinkedOrSharedPlaceAndKeepsItsOwnPrivate) {
  TempDir dir;
  const std::string target = dir.write("elsewhere/target", "keep");
  ::symlink(target.c_str(), (dir.mkdir("linked-file") + "digests.sqlite").c_str());
  EXPECT_FALSE(DigestCache::open(dir.path() + "linked-file/digests.sqlite"));
  EXPECT_EQ(readFile(target), "keep");

  ::symlink(dir.mkdir("real-folder").c_str(), (dir.path() + "linked-folder").c_str());
  EXPECT_FALSE(DigestCache::open(dir.path() + "linked-folder/digests.sqlite"));
  EXPECT_FALSE(fileExists(dir.path() + "real-folder/digests.sqlite"));

  ::chmod(dir.mkdir("shared").c_str(), 0777);
  EXPECT_FALSE(DigestCache::open(dir.path() + "shared/digests.sqlite"));

  const mode_t saved = ::umask(0);
  const std::string fresh = dir.path() + "new/zandrex/digests.sqlite";
  const bool opened = DigestCache::open(fresh) != nullptr;
  ::umask(saved);
  ASSERT_TRUE(opened);
  struct stat st;
  ASSERT_EQ(::stat((dir.path() + "new/zandrex").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  ASSERT_EQ(::stat(fresh.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(DigestCache, ACacheAnotherCopyIsWritingIsReadButNotWaitedFor) {
  TempDir dir;
  const std::string file = dir.path() + "digests.sqlite";
  const PodArray<RememberedDigest> stored = entriesFor(5, 1, 5);
  ASSERT_TRUE(DigestCache::open(file)->remember(stored, kNoneUsed, kToday));
  {
    // Writing, not yet committing: what was committed can still be read, nothing written.
    auto other = connectTo(file, "BEGIN IMMEDIATE; DELETE FROM digests");
    auto cache = DigestCache::open(file);
    ASSERT_TRUE(cache);
    EXPECT_EQ(knownCount(*cache->recall(keysOf(stored), kToday, kGoOn)), stored.size());
    EXPECT_FALSE(cache->remember(entriesFor(5, 100, 1), kNoneUsed, kToday));
  }
  {
    // Committing: not even reading can wait for it.
    auto other = connectTo(file, "BEGIN EXCLUSIVE");
    EXPECT_FALSE(DigestCache::open(file));
  }
  EXPECT_EQ(knownCount(*DigestCache::open(file)->recall(keysOf(stored), kToday, kGoOn)),
            stored.size());
}

} // namespace
} // namespace zandrex::test
