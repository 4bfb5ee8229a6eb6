#include "digest/hash_ahead.h"
#include "digest/recorded_tree.h"
#include "errors/app_error.h"
#include "test_support.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zandrex::test {
namespace {

ContentDigest digestOf(const std::string& path) {
  const std::string bytes = readFile(path);
  DigestBuilder builder;
  builder.add(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  return builder.finish();
}

const auto pump = [] {};
const auto never = [] { return false; };

// Counted out by folder, then sorted within each: the order must be the one comparison sort's,
// ties (hard links) by list position, and a file without a folder must not break it.
TEST(HashAhead, ReadingOrderIsByFolderThenInodeThenListPosition) {
  std::mt19937 random(7);
  PodArray<HashAhead::File> files;
  for (int i = 0; i < 3000; ++i) {
    HashAhead::File file;
    file.folder = static_cast<FolderId>(random() % 97);
    file.identity.inode = random() % 40;
    files.push_back(file);
  }
  const auto expectedOrder = [&](std::vector<std::uint32_t> indexes) {
    std::sort(indexes.begin(), indexes.end(), [&](std::uint32_t a, std::uint32_t b) {
      const HashAhead::File& x = files[a];
      const HashAhead::File& y = files[b];
      if (x.folder != y.folder)
        return x.folder < y.folder;
      return x.identity.inode != y.identity.inode ? x.identity.inode < y.identity.inode : a < b;
    });
    return indexes;
  };
  std::vector<std::uint32_t> some;
  for (std::uint32_t i = 0; i < files.size(); i += 1 + random() % 3)
    some.push_back(i);
  for (int round = 0; round < 2; ++round) {
    std::vector<std::uint32_t> sorted = some;
    HashAhead::sortForReading(sorted, files);
    EXPECT_EQ(sorted, expectedOrder(some)) << "round " << round;
    files[some[5]].folder = kNoFolder;
  }
}

TEST(HashAhead, ResultsAndErrorsArriveInListOrderWhateverOrderWorkersTake) {
  Recorded r;
  const FolderId b = r.folder("b");
  const FolderId a = r.folder("a");
  std::vector<std::string> relatives = {"b/one", "a/two", "b/three"};
  for (std::size_t i = 0; i < relatives.size(); ++i)
    r.tree.write(relatives[i], std::string(1000 + i, 'x'));
  PodArray<HashAhead::File> files;
  files.push_back(r.file(b, relatives[0]));
  files.push_back(r.file(a, relatives[1]));
  files.push_back(r.file(b, relatives[2]));
  // A listed file that vanished before it was read.
  r.tree.write("a/gone", "x");
  files.push_back(r.file(a, "a/gone"));
  ::unlink((r.tree.path() + "a/gone").c_str());

  HashAhead ahead(r.source->fd(), r.folders, files, 2);
  for (std::size_t i = 0; i < relatives.size(); ++i) {
    std::optional<HashAhead::Taken> taken = ahead.take(i, pump, never);
    ASSERT_TRUE(taken);
    ASSERT_FALSE(taken->changed);
    ContentDigest expected = digestOf(r.tree.path() + relatives[i]);
    EXPECT_EQ(taken->digest.crc, expected.crc);
    EXPECT_EQ(taken->digest.xxhLow, expected.xxhLow);
  }
  try {
    ahead.take(3, pump, never);
    FAIL() << "a missing file must raise its error when its turn comes";
  } catch (const AppError& error) {
    EXPECT_EQ(error.number, errnum::kFileNotFound);
  }
  // The vanished file counts its size though nothing of it was read: the count ends at the total.
  EXPECT_EQ(ahead.bytesDone(), 1000u + 1001u + 1002u + 1u);
}

// Small files are read many at once where the system allows: each must still get the digest of
// its own bytes, whether it was read with others of its folder, alone (too big), or in a run cut
// short by a full buffer or by the next folder.
TEST(HashAhead, EveryFileGetsItsOwnDigestHoweverFilesAreGroupedForReading) {
  constexpr std::size_t kFiles = 240;
  constexpr std::size_t kSizeStep = 997;
  constexpr std::size_t kLargest = 70000; // a little over what is read together
  Recorded r;
  const std::vector<FolderId> folders = {r.folder("a"), r.folder("b"), r.folder("c")};
  const std::vector<std::string> folderNames = {"a/", "b/", "c/"};
  std::mt19937 random(11);
  PodArray<HashAhead::File> files;
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < kFiles; ++i) {
    std::string bytes(i * kSizeStep % kLargest, '\0');
    for (char& byte : bytes)
      byte = static_cast<char>(random());
    const std::size_t folder = i % folders.size();
    // The same names in every folder: a file looked for in the wrong one would be found.
    const std::string relative = folderNames[folder] + std::to_string(i / folders.size());
    paths.push_back(r.tree.write(relative, bytes));
    files.push_back(r.file(folders[folder], relative));
  }
  struct rlimit usual {};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &usual), 0);
  // The last round allows so few descriptors that the workers read every file alone, as where
  // the system cannot batch.
  constexpr rlim_t kFewDescriptors = 30;
  struct Round {
    unsigned workers;
    rlim_t descriptors;
  };
  for (const Round round : {Round{1, usual.rlim_cur}, Round{2, usual.rlim_cur},
                            Round{2, std::min(kFewDescriptors, usual.rlim_cur)}}) {
    const unsigned workers = round.workers;
    struct rlimit lowered = usual;
    lowered.rlim_cur = round.descriptors;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
    const std::unique_ptr<void, void (*)(void*)> restore(&usual, [](void* limit) {
      ::setrlimit(RLIMIT_NOFILE, static_cast<struct rlimit*>(limit));
    });
    HashAhead ahead(r.source->fd(), r.folders, files, workers);
    for (std::size_t i = 0; i < kFiles; ++i) {
      std::optional<HashAhead::Taken> taken = ahead.take(i, pump, never);
      ASSERT_TRUE(taken && !taken->changed) << i;
      const ContentDigest expected = digestOf(paths[i]);
      ASSERT_EQ(taken->digest.crc, expected.crc)
          << workers << " workers, " << round.descriptors << " descriptors, file " << i;
      ASSERT_EQ(taken->digest.xxhHigh, expected.xxhHigh) << i;
    }
    EXPECT_EQ(ahead.filesDone(), kFiles);
  }
}

TEST(HashAhead, FilesTakenLongAfterTheFirstAreStillListedRight) {
  // Enough entries that what listed the taken ones is given back several times over.
  constexpr std::size_t kListed = 40000;
  Recorded r;
  r.tree.write("same", "abc");
  PodArray<HashAhead::File> files;
  for (std::size_t i = 0; i < kListed; ++i)
    files.push_back(r.file(kSourceFolder, "same"));
  HashAhead ahead(r.source->fd(), r.folders, files, 2);
  for (std::size_t i = 0; i < kListed; ++i) {
    std::optional<HashAhead::Taken> taken = ahead.take(i, pump, never);
    ASSERT_TRUE(taken && !taken->changed) << i;
    ASSERT_EQ(taken->digest.crc, 0x352441C2u) << i;
  }
}

// Whatever took the walked file's place, its bytes are never digested as the file's.
TEST(HashAhead, FilesThatChangedSinceTheWalkAreReportedNotDigested) {
  Recorded r;
  const FolderId d = r.folder("d");
  const std::vector<std::string> names = {"grown",   "retimed", "fifo", "link",
                                          "renewed", "shrunk",  "kept"};
  for (const std::string& name : names)
    r.tree.write("d/" + name, "abc");
  PodArray<HashAhead::File> files;
  for (const std::string& name : names)
    files.push_back(r.file(d, "d/" + name));
  const std::string dir = r.tree.path() + "d/";
  r.tree.write("d/grown", "abcdef");
  // Only the nanoseconds differ.
  struct timespec times[2] = {{0, UTIME_OMIT}, {files[1].mtimeSec, files[1].mtimeNsec + 1}};
  ::utimensat(AT_FDCWD, (dir + "retimed").c_str(), times, 0);
  ::unlink((dir + "fifo").c_str());
  ::mkfifo((dir + "fifo").c_str(), 0600);
  ::unlink((dir + "link").c_str());
  ::symlink((dir + "kept").c_str(), (dir + "link").c_str());
  // A new file with the same size and time: another inode.
  ::rename((dir + "renewed").c_str(), (dir + "old").c_str());
  r.tree.write("d/renewed", "xyz");
  struct timespec same[2] = {{0, UTIME_OMIT}, {files[4].mtimeSec, files[4].mtimeNsec}};
  ::utimensat(AT_FDCWD, (dir + "renewed").c_str(), same, 0);
  ASSERT_EQ(::truncate((dir + "shrunk").c_str(), 1), 0);

  HashAhead ahead(r.source->fd(), r.folders, files, 2);
  for (std::size_t i = 0; i + 1 < names.size(); ++i) {
    std::optional<HashAhead::Taken> taken = ahead.take(i, pump, never);
    ASSERT_TRUE(taken);
    EXPECT_TRUE(taken->changed) << names[i];
  }
  std::optional<HashAhead::Taken> kept = ahead.take(names.size() - 1, pump, never);
  ASSERT_TRUE(kept);
  EXPECT_FALSE(kept->changed);
}

TEST(HashAhead, AFolderSwappedForALinkIsNotFollowed) {
  Recorded r;
  const FolderId d = r.folder("d");
  r.tree.write("d/x", "abc");
  r.tree.write("elsewhere/x", "abc");
  PodArray<HashAhead::File> files;
  files.push_back(r.file(d, "d/x"));
  ::rename((r.tree.path() + "d").c_str(), (r.tree.path() + "d-old").c_str());
  ::symlink((r.tree.path() + "elsewhere").c_str(), (r.tree.path() + "d").c_str());
  HashAhead ahead(r.source->fd(), r.folders, files, 1);
  std::optional<HashAhead::Taken> taken = ahead.take(0, pump, never);
  ASSERT_TRUE(taken);
  EXPECT_TRUE(taken->changed);
}

TEST(HashAhead, StoppingDoesNotWaitForABigFileToBeRead) {
  Recorded r;
  const std::string path = r.tree.write("big", "");
  // Sparse: reading it to its end would take many seconds; nothing is written to the disk.
  constexpr off_t kBig = off_t{64} << 30;
  ASSERT_EQ(::truncate(path.c_str(), kBig), 0);
  PodArray<HashAhead::File> files;
  files.push_back(r.file(kSourceFolder, "big"));
  files.push_back(r.file(kSourceFolder, "big"));
  auto ahead = std::make_unique<HashAhead>(r.source->fd(), r.folders, std::move(files), 2);
  // Both workers are inside the file now.
  auto stopAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
  EXPECT_FALSE(ahead->take(0, pump, [&] { return std::chrono::steady_clock::now() > stopAt; }));
  // Their bytes are counted as they are read, long before either file is done.
  EXPECT_GT(ahead->bytesDone(), 0u);
  EXPECT_LT(ahead->bytesDone(), static_cast<std::uint64_t>(kBig));
  const auto start = std::chrono::steady_clock::now();
  ahead.reset();
  // Far below the time a whole read takes; generous for a loaded machine.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST(HashAhead, FilesReadBeforeACancelCanStillBeRemembered) {
  Recorded r;
  r.tree.write("first", "abc");
  r.tree.write("second", "abd");
  PodArray<HashAhead::File> files;
  files.push_back(r.file(kSourceFolder, "first"));
  files.push_back(r.file(kSourceFolder, "second"));
  // The one worker reads in inode order: the file listed second is read first.
  if (files[0].identity.inode < files[1].identity.inode)
    std::swap(files[0], files[1]);
  HashAhead::Memory memory;
  memory.remember = true;
  HashAhead ahead(r.source->fd(), r.folders, files, std::move(memory), 1);
  std::optional<HashAhead::Taken> taken = ahead.take(0, pump, never);
  ASSERT_TRUE(taken && taken->rememberable);
  // The file listed second, read first.
  std::vector<std::size_t> kept;
  ahead.forEachRememberableUntaken(
      [&](std::size_t index, const ContentDigest&, std::int64_t) { kept.push_back(index); });
  EXPECT_EQ(kept, std::vector<std::size_t>{1});
}

} // namespace
} // namespace zandrex::test
