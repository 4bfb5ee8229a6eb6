#include "digest/digest_cache.h"

#include "platform/anchored_tree.h"
#include "platform/own_folder.h"
#include "platform/platform.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <sqlite3.h>
#include <string_view>
#include <utility>
#include <vector>
#include <xxhash.h>

namespace zandrex {

namespace {

// 2: the edge hash beside the digest, either of them NULL.
constexpr std::int32_t kSchemaVersion = 2;
// "ZDXC": tells this program's database from any other SQLite file.
constexpr std::int32_t kApplicationId = 0x5A445843;
constexpr int kBusyMilliseconds = 50;
// A crash or power cut can leave old and new entries side by side, each still a true fact about
// its key, or damage that SQLite or the entries' check values reveal: no need to wait for the disk.
constexpr const char* kSessionPragmas = "PRAGMA synchronous = OFF";
// Page caches kept small (negative: KiB): reading goes through the entries once, in key order,
// and a write stores them in key order, so few pages are wanted twice, while every page of cache
// is fresh memory, which costs more here than reading or spilling the page again. Measured on
// 25,000 and 284,000 entries (bench/RESULTS.md): a scan 14-16 ms with 2 MiB, 7 ms with 256 KiB;
// a write 255 ms with 32 MiB, 159 ms with 2 MiB.
constexpr const char* kReadingCache = "PRAGMA cache_size = -256";
constexpr const char* kWritingCache = "PRAGMA cache_size = -2048";
constexpr const char* kSchema =
    "CREATE TABLE digests (device INTEGER NOT NULL, inode INTEGER NOT NULL, "
    "size INTEGER NOT NULL, mtime INTEGER NOT NULL, ctime INTEGER NOT NULL, "
    "digest BLOB, edges INTEGER, used INTEGER NOT NULL, tag INTEGER NOT NULL, "
    "PRIMARY KEY (device, inode)) WITHOUT ROWID;"
    "CREATE TABLE upkeep (day INTEGER NOT NULL);";
constexpr const char* kSelectRange =
    "SELECT inode, size, mtime, ctime, digest, edges, used, tag FROM digests "
    "WHERE device = ?1 AND inode BETWEEN ?2 AND ?3 ORDER BY inode";
constexpr const char* kStore =
    "INSERT OR REPLACE INTO digests VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)";
constexpr int kStoreColumns = 9;
// Entries are written this many to a statement: one step for many rows costs a third less than a
// step each (bench/RESULTS.md).
constexpr std::size_t kStoreRows = 32;
constexpr const char* kTouch = "UPDATE digests SET used = ?3 WHERE device = ?1 AND inode = ?2";
constexpr const char* kJournalSuffixes[] = {"-journal", "-wal", "-shm"};

constexpr std::size_t kDigestBytes = 20;
// The key, which parts are kept, the digest and the edge hash.
constexpr std::size_t kTaggedBytes =
    5 * sizeof(std::int64_t) + 1 + kDigestBytes + sizeof(std::uint64_t);
// The wanted files of a device are looked up this many at a time, by reading the entries of their
// inode range in order: cheaper than as many lookups while the range holds mostly wanted files.
constexpr std::size_t kRangeFiles = 256;
// More entries than this in a row that no wanted file has (files of other trees between them): the
// rest of the range is searched for afresh from its next file. A search costs about what reading
// four to eight entries does (bench/RESULTS.md).
constexpr std::size_t kGapRows = 8;
// Files ahead of the one at hand whose key and answer are fetched meanwhile.
constexpr std::size_t kFetchAhead = 16;
constexpr std::int32_t kRenewAfterDays = 7;
// No entry takes more once compacted (about 80 bytes), so this many per byte of the bound fit.
constexpr std::uint64_t kRowBytesBound = 96;
constexpr std::int64_t kNsPerSecond = 1'000'000'000;
constexpr std::int64_t kSecondsPerDay = 86'400;

bool damaged(int result) {
  const int primary = result & 0xFF;
  return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

bool fine(int result) {
  return result == SQLITE_OK || result == SQLITE_ROW || result == SQLITE_DONE;
}

void putBigEndian(std::uint8_t* out, std::uint64_t value, std::size_t bytes) {
  for (std::size_t i = 0; i < bytes; ++i)
    out[i] = static_cast<std::uint8_t>(value >> (8 * (bytes - 1 - i)));
}

std::uint64_t getBigEndian(const std::uint8_t* in, std::size_t bytes) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < bytes; ++i)
    value = value << 8 | in[i];
  return value;
}

void packDigest(const ContentDigest& digest, std::uint8_t* out) {
  putBigEndian(out, digest.crc, 4);
  putBigEndian(out + 4, digest.xxhHigh, 8);
  putBigEndian(out + 12, digest.xxhLow, 8);
}

ContentDigest unpackDigest(const std::uint8_t* in) {
  return {static_cast<std::uint32_t>(getBigEndian(in, 4)), getBigEndian(in + 4, 8),
          getBigEndian(in + 12, 8)};
}

// The check value over an entry's key and digest, as stored (32 bits, signed).
std::int64_t tagOf(const RememberedDigest& entry) {
  std::uint8_t bytes[kTaggedBytes];
  putBigEndian(bytes, entry.identity.device, 8);
  putBigEndian(bytes + 8, entry.identity.inode, 8);
  putBigEndian(bytes + 16, entry.size, 8);
  putBigEndian(bytes + 24, static_cast<std::uint64_t>(entry.mtimeNs), 8);
  putBigEndian(bytes + 32, static_cast<std::uint64_t>(entry.ctimeNs), 8);
  bytes[40] = static_cast<std::uint8_t>((entry.hasDigest ? 1 : 0) | (entry.hasEdges ? 2 : 0));
  if (entry.hasDigest)
    packDigest(entry.digest, bytes + 41);
  else
    std::memset(bytes + 41, 0, kDigestBytes);
  putBigEndian(bytes + 41 + kDigestBytes, entry.hasEdges ? entry.edges : 0, 8);
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(XXH3_64bits(bytes, sizeof bytes)));
}

// Identities sort as the table stores them: signed.
std::int64_t stored(std::uint64_t value) {
  return static_cast<std::int64_t>(value);
}

// An identity as a key whose unsigned order is the table's (signed) order, and the item it is of.
struct Keyed {
  std::uint64_t device;
  std::uint64_t inode;
  std::uint32_t item;
};

constexpr std::uint64_t kSignBit = std::uint64_t{1} << 63;
constexpr unsigned kDigitBits = 8;
constexpr std::size_t kDigits = std::size_t{1} << kDigitBits;
// A pass per byte of the two key words, least significant first.
constexpr unsigned kKeyPasses = 2 * 64 / kDigitBits;

unsigned digitOf(const Keyed& key, unsigned pass) {
  const std::uint64_t word = pass < kKeyPasses / 2 ? key.inode : key.device;
  return static_cast<unsigned>(word >> (pass % (kKeyPasses / 2) * kDigitBits)) & (kDigits - 1);
}

// Sorts keys by device, then inode, keeping equal ones in their order: a byte at a time from the
// last, each pass stable, skipping the bytes every key shares (a tree's device, the high bytes of
// its inodes), so that a few passes do what takes a comparison sort twenty (bench/RESULTS.md).
void sortKeyed(PodArray<Keyed>& keys) {
  const std::size_t count = keys.size();
  std::vector<std::array<std::uint32_t, kDigits>> counts(kKeyPasses);
  for (const Keyed& key : keys) {
    for (unsigned pass = 0; pass < kKeyPasses; ++pass)
      ++counts[pass][digitOf(key, pass)];
  }
  PodArray<Keyed> spare;
  for (unsigned pass = 0; pass < kKeyPasses; ++pass) {
    std::array<std::uint32_t, kDigits>& starts = counts[pass];
    if (count == 0 || starts[digitOf(keys[0], pass)] == count)
      continue;
    std::uint32_t start = 0;
    for (std::uint32_t& bucket : starts)
      start += std::exchange(bucket, start);
    spare.resizeForOverwrite(count);
    for (const Keyed& key : keys)
      spare[starts[digitOf(key, pass)]++] = key;
    std::swap(keys, spare);
  }
}

// The indexes of count items in the order the table stores their identities, equal ones by index.
// The keys are sorted apart from the items: items spread over memory sort several times slower.
// In flat arrays: a million keys take their memory in huge pages instead of small ones, each a
// fault that costs more than its share of the sort.
template <typename IdentityOf>
PodArray<std::uint32_t> storedOrder(std::size_t count, IdentityOf&& identityOf) {
  PodArray<Keyed> keyed;
  keyed.resizeForOverwrite(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    const FileIdentity& identity = identityOf(i);
    keyed[i] = {identity.device ^ kSignBit, identity.inode ^ kSignBit, i};
  }
  sortKeyed(keyed);
  PodArray<std::uint32_t> order;
  order.resizeForOverwrite(count);
  for (std::size_t i = 0; i < count; ++i)
    order[i] = keyed[i].item;
  return order;
}

void removeFiles(int folder, const std::string& name) {
  removeIn(folder, name.c_str());
  for (const char* suffix : kJournalSuffixes)
    removeIn(folder, (name + suffix).c_str());
}

enum class Verdict { Ready, Damaged, Unusable };

Verdict verdictOf(int result) {
  return damaged(result) ? Verdict::Damaged : Verdict::Unusable;
}

std::optional<std::int64_t> askNumber(sqlite3* db, const char* sql, int& result) {
  sqlite3_stmt* statement = nullptr;
  result = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
  std::optional<std::int64_t> value;
  if (result == SQLITE_OK) {
    result = sqlite3_step(statement);
    if (result == SQLITE_ROW)
      value = sqlite3_column_int64(statement, 0);
  }
  sqlite3_finalize(statement);
  return value;
}

// Creates the tables in an empty database, unless another copy just did.
Verdict createSchema(sqlite3* db) {
  int result = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  if (result != SQLITE_OK)
    return verdictOf(result);
  std::optional<std::int64_t> version = askNumber(db, "PRAGMA user_version", result);
  if (version && *version == 0) {
    // A new database has its daily upkeep done for today: it holds nothing to forget or check.
    const std::string sql = std::string(kSchema) + "INSERT INTO upkeep VALUES (" +
                            std::to_string(dayOf(realNanoseconds())) + ");" +
                            "PRAGMA application_id = " + std::to_string(kApplicationId) +
                            "; PRAGMA user_version = " + std::to_string(kSchemaVersion) + ";";
    result = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  }
  if (result != SQLITE_OK && result != SQLITE_ROW) {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return verdictOf(result);
  }
  result = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  if (result == SQLITE_OK)
    return Verdict::Ready;
  sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  return verdictOf(result);
}

// Opens path and sees that it holds this version's tables (creating them in an empty file).
Verdict connect(const std::string& path, sqlite3*& db) {
  int result =
      sqlite3_open_v2(path.c_str(), &db,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_NOMUTEX, nullptr);
  if (result != SQLITE_OK)
    return verdictOf(result);
  sqlite3_busy_timeout(db, kBusyMilliseconds);
  result = sqlite3_exec(db, kSessionPragmas, nullptr, nullptr, nullptr);
  if (result != SQLITE_OK)
    return verdictOf(result);
  const std::optional<std::int64_t> pages = askNumber(db, "PRAGMA page_count", result);
  if (!pages)
    return verdictOf(result);
  if (*pages == 0)
    return createSchema(db);
  const std::optional<std::int64_t> application = askNumber(db, "PRAGMA application_id", result);
  const std::optional<std::int64_t> version = askNumber(db, "PRAGMA user_version", result);
  if (!application || !version)
    return verdictOf(result);
  // A newer version's cache is its own: left as it is, not used.
  if (*application == kApplicationId && *version > kSchemaVersion)
    return Verdict::Unusable;
  if (*application != kApplicationId || *version != kSchemaVersion)
    return Verdict::Damaged;
  return Verdict::Ready;
}

} // namespace

std::string digestCacheFile(const DigestCacheChoice& choice) {
  if (!choice.file.empty())
    return choice.file;
  const std::string folder = platform::cacheFolder();
  if (folder.empty())
    return {};
  return folder + "/" + kDigestCacheFolderName + "/" + kDigestCacheFileName;
}

std::optional<std::int64_t> nanosecondsOf(std::int64_t sec, std::int64_t nsec) {
  std::int64_t ns = 0;
  if (__builtin_mul_overflow(sec, kNsPerSecond, &ns) || __builtin_add_overflow(ns, nsec, &ns))
    return std::nullopt;
  return ns;
}

std::int32_t dayOf(std::int64_t ns) {
  const std::int64_t seconds = ns / kNsPerSecond;
  return static_cast<std::int32_t>(seconds / kSecondsPerDay - (seconds % kSecondsPerDay < 0));
}

std::int64_t realNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::unique_ptr<DigestCache> DigestCache::open(const std::string& file,
                                               const DigestCacheLimits& limits) {
  const std::size_t slash = file.rfind('/');
  if (file.empty() || file.front() != '/' || slash + 1 == file.size())
    return nullptr;
  const std::string folderPath = slash == 0 ? "/" : file.substr(0, slash);
  const std::string name = file.substr(slash + 1);
  UniqueFd folder = openOwnFolder(folderPath);
  if (!folder.valid())
    return nullptr;
  // SQLite is handed a path free of links, so that its refusal to follow one is about the file
  // alone.
  const std::string realFolder = realFolderPath(folderPath, folder.get());
  if (realFolder.empty())
    return nullptr;
  const std::string path = (realFolder == "/" ? "" : realFolder) + "/" + name;
  // A damaged or outdated file gets one fresh start.
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (!preparePrivateFileIn(folder.get(), name.c_str()))
      return nullptr;
    sqlite3* db = nullptr;
    const Verdict verdict = connect(path, db);
    if (verdict == Verdict::Ready) {
      std::unique_ptr<DigestCache> cache(new DigestCache(db, std::move(folder), name, limits));
      return cache->prepare() ? std::move(cache) : nullptr;
    }
    sqlite3_close(db);
    if (verdict == Verdict::Unusable)
      return nullptr;
    removeFiles(folder.get(), name);
  }
  return nullptr;
}

DigestCache::DigestCache(sqlite3* db, UniqueFd folder, std::string name,
                         const DigestCacheLimits& limits)
    : db_(db), folder_(std::move(folder)), name_(std::move(name)), limits_(limits) {}

DigestCache::~DigestCache() {
  for (sqlite3_stmt* statement : {selectRange_, store_, storeMany_, touch_})
    sqlite3_finalize(statement);
  sqlite3_close(db_);
}

bool DigestCache::check(int result) {
  if (fine(result))
    return true;
  if (damaged(result) && db_) {
    for (sqlite3_stmt** statement : {&selectRange_, &store_, &storeMany_, &touch_}) {
      sqlite3_finalize(*statement);
      *statement = nullptr;
    }
    sqlite3_close(db_);
    db_ = nullptr;
    removeFiles(folder_.get(), name_);
  }
  return false;
}

bool DigestCache::exec(const char* sql) {
  return db_ && check(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr));
}

std::optional<std::int64_t> DigestCache::number(const char* sql) {
  if (!db_)
    return std::nullopt;
  int result = SQLITE_OK;
  std::optional<std::int64_t> value = askNumber(db_, sql, result);
  check(result);
  return value;
}

bool DigestCache::prepare() {
  std::string storeMany = "INSERT OR REPLACE INTO digests VALUES ";
  for (std::size_t row = 0; row < kStoreRows; ++row)
    storeMany += row == 0 ? "(?,?,?,?,?,?,?,?,?)" : ",(?,?,?,?,?,?,?,?,?)";
  const std::pair<const char*, sqlite3_stmt**> statements[] = {{kSelectRange, &selectRange_},
                                                               {kStore, &store_},
                                                               {storeMany.c_str(), &storeMany_},
                                                               {kTouch, &touch_}};
  for (const auto& [sql, statement] : statements) {
    const int result =
        sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, statement, nullptr);
    // This version's tables are missing or different: the file is not what it claims.
    if (result != SQLITE_OK)
      return check(result == SQLITE_BUSY ? result : SQLITE_CORRUPT);
  }
  return true;
}

namespace {

// One row of the select statements from column first on (size, mtime, ctime, digest, edges, used,
// tag), checked; false when it is damaged.
bool readEntry(sqlite3_stmt* row, int first, RememberedDigest& entry, std::int64_t& used) {
  entry.size = static_cast<std::uint64_t>(sqlite3_column_int64(row, first));
  entry.mtimeNs = sqlite3_column_int64(row, first + 1);
  entry.ctimeNs = sqlite3_column_int64(row, first + 2);
  entry.hasDigest = sqlite3_column_type(row, first + 3) != SQLITE_NULL;
  if (entry.hasDigest) {
    const void* blob = sqlite3_column_blob(row, first + 3);
    if (!blob || sqlite3_column_bytes(row, first + 3) != static_cast<int>(kDigestBytes))
      return false;
    entry.digest = unpackDigest(static_cast<const std::uint8_t*>(blob));
  }
  entry.hasEdges = sqlite3_column_type(row, first + 4) == SQLITE_INTEGER;
  if (entry.hasEdges)
    entry.edges = static_cast<std::uint64_t>(sqlite3_column_int64(row, first + 4));
  else if (sqlite3_column_type(row, first + 4) != SQLITE_NULL)
    return false;
  used = sqlite3_column_int64(row, first + 5);
  return (entry.hasDigest || entry.hasEdges) &&
         sqlite3_column_int64(row, first + 6) == tagOf(entry);
}

void fill(Recalled& out, const DigestKey& wanted, const RememberedDigest& entry, std::int64_t used,
          std::int32_t today) {
  if (entry.size != wanted.size || entry.mtimeNs != wanted.mtimeNs ||
      entry.ctimeNs != wanted.ctimeNs)
    return;
  out.known = entry.hasDigest;
  out.edgesKnown = entry.hasEdges;
  out.renew = used < today - kRenewAfterDays;
  out.digest = entry.digest;
  out.edges = entry.edges;
}

// Looks order[0..count) up (files of one device, in inode order) by reading the entries of their
// inode range with select: how many of them it decided, at least one unless it failed (it stops
// at a gap of others' entries). SQLITE_DONE in result when it went well, else the error,
// SQLITE_CORRUPT for a damaged entry.
std::size_t recallRange(sqlite3_stmt* select, std::int64_t device, const PodArray<DigestKey>& files,
                        const std::uint32_t* order, std::size_t count, std::int32_t today,
                        PodArray<Recalled>& out, int& result) {
  const auto inodeAt = [&](std::size_t i) { return stored(files[order[i]].identity.inode); };
  sqlite3_bind_int64(select, 1, device);
  sqlite3_bind_int64(select, 2, inodeAt(0));
  sqlite3_bind_int64(select, 3, inodeAt(count - 1));
  std::size_t next = 0;
  std::size_t unwanted = 0;
  result = SQLITE_DONE;
  bool whole = true;
  // Both sides in inode order: each entry meets the wanted files of its inode, if any; the files
  // before next are decided. The range starts at the first file's inode, so the first entry
  // decides that file.
  while (next < count && unwanted <= kGapRows && (result = sqlite3_step(select)) == SQLITE_ROW) {
    // The files lie in the caller's order, not in the table's: fetched ahead of need.
    if (next + kFetchAhead < count) {
      __builtin_prefetch(files.data() + order[next + kFetchAhead]);
      __builtin_prefetch(out.data() + order[next + kFetchAhead]);
    }
    const std::int64_t inode = sqlite3_column_int64(select, 0);
    while (next < count && inodeAt(next) < inode)
      ++next;
    if (next == count || inodeAt(next) != inode) {
      ++unwanted;
      continue;
    }
    unwanted = 0;
    RememberedDigest entry;
    entry.identity = files[order[next]].identity;
    std::int64_t used = 0;
    whole = readEntry(select, 1, entry, used);
    if (!whole)
      break;
    for (; next < count && inodeAt(next) == inode; ++next)
      fill(out[order[next]], files[order[next]], entry, used, today);
  }
  sqlite3_reset(select);
  if (!whole) {
    result = SQLITE_CORRUPT;
    return next;
  }
  // Every entry of the range read: the files left have none.
  if (result == SQLITE_DONE)
    return count;
  // Every file decided, or a gap of others' entries left (the caller searches on from next).
  if (result == SQLITE_ROW)
    result = SQLITE_DONE;
  return next;
}

// Looks order[0..count) up (files in key order) with select, a device's files a range at a time.
// SQLITE_DONE when every file was decided, else the error (SQLITE_CORRUPT for damage), or
// SQLITE_INTERRUPT once stop turned true.
int recallAll(sqlite3_stmt* select, const PodArray<DigestKey>& files, const std::uint32_t* order,
              std::size_t count, std::int32_t today, PodArray<Recalled>& out,
              const std::atomic<bool>& stop) {
  for (std::size_t first = 0; first < count;) {
    const std::uint64_t device = files[order[first]].identity.device;
    const std::size_t most = std::min(kRangeFiles, count - first);
    std::size_t end = first + 1;
    while (end < first + most && files[order[end]].identity.device == device)
      ++end;
    int result = SQLITE_DONE;
    // Each search decides a file at least; should one not, its file stays unknown and is read.
    for (std::size_t next = first; result == SQLITE_DONE && next < end;)
      next += std::max<std::size_t>(1, recallRange(select, stored(device), files, order + next,
                                                   end - next, today, out, result));
    if (result != SQLITE_DONE)
      return result;
    if (stop.load(std::memory_order_relaxed))
      return SQLITE_INTERRUPT;
    first = end;
  }
  return SQLITE_DONE;
}

} // namespace

std::optional<PodArray<Recalled>> DigestCache::recall(const PodArray<DigestKey>& files,
                                                      std::int32_t today,
                                                      const std::atomic<bool>& stop) {
  if (!db_ || !exec(kReadingCache))
    return std::nullopt;
  PodArray<Recalled> out;
  out.resize(files.size());
  const PodArray<std::uint32_t> order = storedOrder(
      files.size(), [&](std::uint32_t i) -> const FileIdentity& { return files[i].identity; });
  // One read transaction for all devices: what they see is one state of the file.
  if (!exec("BEGIN"))
    return std::nullopt;
  const int result = recallAll(selectRange_, files, order.data(), order.size(), today, out, stop);
  if (db_)
    sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
  if (result == SQLITE_INTERRUPT)
    return std::nullopt;
  if (!check(result))
    return std::nullopt;
  return out;
}

bool DigestCache::upkeep(std::int32_t today) {
  int result = SQLITE_OK;
  const std::optional<std::int64_t> last = askNumber(db_, "SELECT day FROM upkeep", result);
  if (!last)
    return check(result == SQLITE_DONE ? SQLITE_CORRUPT : result);
  if (*last == today)
    return true;
  const std::string forget = "DELETE FROM digests WHERE used < " +
                             std::to_string(today - limits_.forgetAfterDays) +
                             "; UPDATE upkeep SET day = " + std::to_string(today) + ";";
  if (!exec(forget.c_str()))
    return false;
  sqlite3_stmt* statement = nullptr;
  result = sqlite3_prepare_v2(db_, "PRAGMA quick_check", -1, &statement, nullptr);
  bool whole = false;
  if (result == SQLITE_OK) {
    result = sqlite3_step(statement);
    const unsigned char* text = sqlite3_column_text(statement, 0);
    whole =
        result == SQLITE_ROW && text && std::strcmp(reinterpret_cast<const char*>(text), "ok") == 0;
  }
  sqlite3_finalize(statement);
  if (!check(result))
    return false;
  return whole || check(SQLITE_CORRUPT);
}

bool DigestCache::keepWithinBound() {
  const std::optional<std::int64_t> pages = number("PRAGMA page_count");
  const std::optional<std::int64_t> pageSize = number("PRAGMA page_size");
  if (!pages || !pageSize)
    return false;
  if (static_cast<std::uint64_t>(*pages * *pageSize) <= limits_.maxBytes)
    return true;
  const std::optional<std::int64_t> rows = number("SELECT count(*) FROM digests");
  if (!rows)
    return false;
  const auto keep = static_cast<std::int64_t>(limits_.maxBytes * 3 / 4 / kRowBytesBound);
  if (*rows <= keep)
    return true;
  const std::string drop = "DELETE FROM digests WHERE (device, inode) IN (SELECT device, inode "
                           "FROM digests ORDER BY used LIMIT " +
                           std::to_string(*rows - keep) + ")";
  return exec(drop.c_str());
}

bool DigestCache::remember(const PodArray<RememberedDigest>& fresh,
                           const PodArray<FileIdentity>& used, std::int32_t today) {
  if (!exec(kWritingCache) || !exec("BEGIN IMMEDIATE"))
    return false;
  bool ok = true;
  // In key order: each entry lands beside the last, on pages already at hand.
  const PodArray<std::uint32_t> order = storedOrder(
      fresh.size(), [&](std::uint32_t i) -> const FileIdentity& { return fresh[i].identity; });
  std::uint8_t digests[kStoreRows][kDigestBytes];
  const auto bind = [&](sqlite3_stmt* statement, std::size_t row, const RememberedDigest& entry) {
    const int at = static_cast<int>(row) * kStoreColumns;
    packDigest(entry.digest, digests[row]);
    sqlite3_bind_int64(statement, at + 1, stored(entry.identity.device));
    sqlite3_bind_int64(statement, at + 2, stored(entry.identity.inode));
    sqlite3_bind_int64(statement, at + 3, stored(entry.size));
    sqlite3_bind_int64(statement, at + 4, entry.mtimeNs);
    sqlite3_bind_int64(statement, at + 5, entry.ctimeNs);
    if (entry.hasDigest)
      sqlite3_bind_blob(statement, at + 6, digests[row], kDigestBytes, SQLITE_STATIC);
    else
      sqlite3_bind_null(statement, at + 6);
    if (entry.hasEdges)
      sqlite3_bind_int64(statement, at + 7, stored(entry.edges));
    else
      sqlite3_bind_null(statement, at + 7);
    sqlite3_bind_int64(statement, at + 8, today);
    sqlite3_bind_int64(statement, at + 9, tagOf(entry));
  };
  // Rows of one statement are written in their order, so a later entry of the same key (hard
  // links) replaces an earlier one as it would one statement each.
  std::size_t next = 0;
  while (ok && next < order.size()) {
    const bool many = order.size() - next >= kStoreRows;
    sqlite3_stmt* statement = many ? storeMany_ : store_;
    const std::size_t rows = many ? kStoreRows : 1;
    for (std::size_t row = 0; row < rows; ++row)
      bind(statement, row, fresh[order[next + row]]);
    next += rows;
    ok = check(sqlite3_step(statement));
    // A damaged database has been closed, its statements with it.
    if (db_)
      sqlite3_reset(statement);
  }
  for (std::size_t i = 0; ok && i < used.size(); ++i) {
    sqlite3_bind_int64(touch_, 1, stored(used[i].device));
    sqlite3_bind_int64(touch_, 2, stored(used[i].inode));
    sqlite3_bind_int64(touch_, 3, today);
    ok = check(sqlite3_step(touch_));
    if (touch_)
      sqlite3_reset(touch_);
  }
  ok = ok && upkeep(today) && keepWithinBound();
  if (!ok || !exec("COMMIT")) {
    if (db_)
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
  }
  // Entries were dropped for the bound: give their room back.
  const std::optional<std::int64_t> pages = number("PRAGMA page_count");
  const std::optional<std::int64_t> pageSize = number("PRAGMA page_size");
  if (pages && pageSize && static_cast<std::uint64_t>(*pages * *pageSize) > limits_.maxBytes)
    exec("VACUUM");
  return true;
}

void DigestMemory::choose(DigestCacheChoice choice) {
  waitForWrite();
  choice_ = std::move(choice);
}

void DigestMemory::waitForWrite() {
  if (writing_.valid())
    writing_.wait();
}

void DigestMemory::rememberAside(std::unique_ptr<DigestCache> cache,
                                 PodArray<RememberedDigest> fresh, PodArray<FileIdentity> used,
                                 std::int32_t today) {
  waitForWrite();
  // A write that fails is a bypass like any other: nothing to report.
  writing_ = std::async(std::launch::async,
                        [cache = std::move(cache), fresh = std::move(fresh), used = std::move(used),
                         today]() mutable { cache->remember(fresh, used, today); });
}

} // namespace zandrex
