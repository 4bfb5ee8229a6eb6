// The digest cache: the digests the content pass took, remembered between finds (and shared by
// the desktop and the command line), so that a second find of an unchanged tree reads nothing
// but the folders.
//
// Key. An entry holds a file's device, inode, size, modification time and change time (both to
// the nanosecond) and what was read of it: its whole ContentDigest, the hash of its edges (the
// edge sift's, digest/edge_sift.h), or both. Either is recalled only when all five are what the
// caller saw of the file (the walk's look at it). An edge hash alone only ever clears a file of
// having a twin; the file of a group is still digested whole. The change time is the part nobody
// can fake: every write, rename, link, chmod and every setting of the modification time moves it,
// and it cannot be set back, so a file rewritten in place and given its old modification time again
// is read again.
//
// What is remembered. Only a file whose change time lies at least a settle time before its read
// began: a file written again within its file system's timestamp step could otherwise keep both
// times with other bytes. Only files on file systems with lasting inode numbers
// (platform/file_system.h); the caller sees to that.
//
// Never trusted in doubt. The database is one SQLite file, opened without following a link, in
// a folder of the user's own that others cannot write to. A file that is not such a database,
// is damaged (SQLite says so at any step, or the daily quick check fails) or comes from an older
// version or another program is deleted and started afresh; one from a newer version is left
// alone and not used. Every entry carries a check value over its key and digest: one whose value
// does not match counts as damage. A database locked by another copy (50 ms at most) or on a full
// disk is bypassed for the find: what could not be written is simply not remembered. Any failure
// while recalling leaves every file unknown, so it is read as without the cache.
//
// Bound. Entries not used for forgetAfterDays are dropped once a day; when the file grows beyond
// maxBytes, the entries used longest ago are dropped until the rest fill at most three quarters
// of it, and the file is compacted. A find of one folder never drops the entries of the rest of
// the disk: entries age by the day they were last used, not by being missed.
//
// Layout. One table keyed by (device, inode), WITHOUT ROWID, so the key is the B-tree's own; the
// digest is one 20-byte blob and the edge hash one integer, either NULL when not known; the
// times are nanoseconds in one integer each; the last use is a day number. About 72 bytes a file
// on disk, 9 more for one whose edges are kept too.
//
// One DigestCache is used by one thread at a time.
#pragma once

#include "digest/content_digest.h"
#include "grid/pod_array.h"
#include "platform/file_identity.h"
#include "platform/unique_fd.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <future>
#include <memory>
#include <optional>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace zandrex {

inline constexpr std::chrono::seconds kDigestSettle{2};
inline constexpr const char* kDigestCacheFolderName = "zandrex";
inline constexpr const char* kDigestCacheFileName = "digests.sqlite";
inline constexpr std::uint64_t kDigestCacheMaxBytes = std::uint64_t{256} << 20;
inline constexpr std::int32_t kDigestForgetAfterDays = 60;

// Whether and where the content pass remembers digests.
struct DigestCacheChoice {
  bool enabled = true;
  // The database file; "" for zandrex/digests.sqlite in the user's cache folder.
  std::string file;
  // See "What is remembered" above. Tests shorten it so that the files they just wrote count.
  std::chrono::nanoseconds settle = kDigestSettle;
};

// The database file the choice names; "" when none can be formed (no home folder).
std::string digestCacheFile(const DigestCacheChoice& choice);

// A time as nanoseconds since the epoch; nothing when it does not fit (such a file is neither
// remembered nor recalled).
std::optional<std::int64_t> nanosecondsOf(std::int64_t sec, std::int64_t nsec);
// Days since the epoch of a time in nanoseconds: the unit of an entry's last use.
std::int32_t dayOf(std::int64_t ns);
// The real time now, in nanoseconds since the epoch (what change times are compared with).
std::int64_t realNanoseconds();

// What a file is recalled by: the whole key the walk saw.
struct DigestKey {
  FileIdentity identity;
  std::uint64_t size = 0;
  std::int64_t mtimeNs = 0;
  std::int64_t ctimeNs = 0;
};

struct RememberedDigest {
  FileIdentity identity;
  std::uint64_t size = 0;
  std::int64_t mtimeNs = 0;
  std::int64_t ctimeNs = 0;
  // At least one of the two is kept.
  bool hasDigest = true;
  bool hasEdges = false;
  ContentDigest digest;
  std::uint64_t edges = 0;
};

// What the cache holds for one file.
struct Recalled {
  // An unharmed entry with the file's whole key (identity, size, modification and change time)
  // and its whole digest.
  bool known = false;
  // The same with the file's edge hash.
  bool edgesKnown = false;
  // Its last use is old enough to be renewed when what it holds is used (remember's `used`).
  bool renew = false;
  ContentDigest digest;
  std::uint64_t edges = 0;
};

struct DigestCacheLimits {
  std::uint64_t maxBytes = kDigestCacheMaxBytes;
  std::int32_t forgetAfterDays = kDigestForgetAfterDays;
};

class DigestCache {
public:
  // Opens the database file (an absolute path), creating it (mode 0600) and its missing folders
  // (mode 0700) first. Nothing when it cannot be used for this find: the folder or the file is a
  // link, is not the user's own, or the folder can be written by others; another copy holds it
  // locked; it is from a newer version; the disk refuses. A file that is not a usable database of
  // this version is deleted and created anew.
  static std::unique_ptr<DigestCache> open(const std::string& file,
                                           const DigestCacheLimits& limits = {});
  ~DigestCache();
  DigestCache(const DigestCache&) = delete;
  DigestCache& operator=(const DigestCache&) = delete;

  // Looks up each file by identity, size, modification and change time (its digest and edges are
  // not read) and returns one Recalled per file, in order; hard links share one entry. today is a
  // dayOf(). Nothing when the database failed or stop turned true: then nothing recalled may be
  // used (damage deletes the file).
  std::optional<PodArray<Recalled>> recall(const PodArray<DigestKey>& files, std::int32_t today,
                                           const std::atomic<bool>& stop);

  // In one transaction: stores fresh (replacing entries of the same identity) and marks used
  // today the entries of the identities in used; once a day drops the entries not used for
  // forgetAfterDays and checks the database; then keeps the file within maxBytes. False when
  // nothing was written (locked, full disk, damage: damage deletes the file).
  bool remember(const PodArray<RememberedDigest>& fresh, const PodArray<FileIdentity>& used,
                std::int32_t today);

private:
  DigestCache(sqlite3* db, UniqueFd folder, std::string name, const DigestCacheLimits& limits);
  // False on failure; damage also deletes the file.
  bool check(int result);
  bool exec(const char* sql);
  std::optional<std::int64_t> number(const char* sql);
  bool prepare();
  bool upkeep(std::int32_t today);
  bool keepWithinBound();

  sqlite3* db_;
  UniqueFd folder_;
  std::string name_;
  DigestCacheLimits limits_;
  sqlite3_stmt* selectRange_ = nullptr;
  sqlite3_stmt* store_ = nullptr;
  sqlite3_stmt* storeMany_ = nullptr; // kStoreRows entries at once
  sqlite3_stmt* touch_ = nullptr;
};

// The digest cache as a finder keeps it from one find to the next: the choice, and the write of
// the last find's digests, which goes on while that find shows its groups. Not copyable.
class DigestMemory {
public:
  explicit DigestMemory(DigestCacheChoice choice = {}) : choice_(std::move(choice)) {}
  // Waits for the write under way.
  ~DigestMemory() { waitForWrite(); }
  DigestMemory(const DigestMemory&) = delete;
  DigestMemory& operator=(const DigestMemory&) = delete;

  // Waits for the write under way, then takes the new choice.
  void choose(DigestCacheChoice choice);
  const DigestCacheChoice& choice() const { return choice_; }
  // Returns once the last write is done, so that what it wrote can be recalled.
  void waitForWrite();
  // Starts cache->remember(fresh, used, today) on a thread of its own (after the write before).
  void rememberAside(std::unique_ptr<DigestCache> cache, PodArray<RememberedDigest> fresh,
                     PodArray<FileIdentity> used, std::int32_t today);

private:
  DigestCacheChoice choice_;
  std::future<void> writing_;
};

} // namespace zandrex
