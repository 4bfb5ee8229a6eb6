#include "digest/digest_pass.h"

#include "common/run_aside.h"
#include "digest/content_digest.h"
#include "digest/edge_sift.h"
#include "digest/hash_ahead.h"
#include "errors/err_trap.h"
#include "grid/file_identity.h"
#include "grid/file_record.h"
#include "platform/file_system.h"

#include <algorithm>
#include <atomic>
#include <vector>

namespace zandrex {

std::string changedFilesNote(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " file" : " files") +
         " changed during the find and " + (count == 1 ? "was" : "were") + " left out";
}

namespace {

constexpr std::uint32_t kUngrouped = UINT32_MAX;
// Hints the grid that the record of the row kPrefetchRows ahead of row i is wanted soon.
void prefetchAhead(const ReportGrid& grid, std::size_t i) {
  if (i + kPrefetchRows < grid.rowCount())
    grid.prefetch(grid.row(i + kPrefetchRows).record);
}

// The files under the rows as last built, the size group of each, and their records.
void listFiles(const ReportGrid& grid, PodArray<HashAhead::File>& files,
               PodArray<std::uint32_t>& groupOf, PodArray<RecordId>& records) {
  // Grown step by step, each list would be moved about a dozen times on a big tree.
  files.reserve(grid.recordCount());
  groupOf.reserve(grid.recordCount());
  records.reserve(grid.recordCount());
  std::uint32_t group = kUngrouped;
  for (std::size_t i = 0; i < grid.rowCount(); ++i) {
    prefetchAhead(grid, i);
    const GridRow& row = grid.row(i);
    if (row.isGroup()) {
      group = group == kUngrouped ? 0 : group + 1;
      continue;
    }
    if (row.record == kNoRecord)
      continue;
    std::string_view name = grid.diskName(row.record);
    const FileFacts facts = grid.facts(row.record);
    files.push_back({name.empty() ? grid.item(row.record, col::kFile).asText() : name, facts.folder,
                     identityOf(facts), facts.size, facts.mtimeSec, facts.mtimeNsec,
                     facts.ctimeNs});
    groupOf.push_back(group);
    records.push_back(row.record);
  }
}

// The digest cache's part in one pass: which devices it may serve, what it knows of the listed
// files, and what the pass read that it keeps.
class CacheSession {
public:
  CacheSession(DigestMemory& memory, int sourceFd, const FolderTable& folders,
               const PodArray<HashAhead::File>& listed)
      : memory_(memory), listed_(listed), today_(dayOf(realNanoseconds())) {
    if (memory.choice().enabled && sourceFd >= 0)
      findLastingDevices(sourceFd, folders);
  }

  // Opens the cache and looks the listed files up while the window keeps answering; false when
  // cancelled meanwhile (nothing is recalled then).
  bool recall(const PassHooks& hooks) {
    if (lasting_.empty())
      return true;
    PodArray<DigestKey> wanted;
    wanted.resize(listed_.size());
    for (std::size_t i = 0; i < listed_.size(); ++i) {
      const HashAhead::File& file = listed_[i];
      wanted[i].identity = file.identity;
      wanted[i].size = file.size;
      wanted[i].mtimeNs = nanosecondsOf(file.mtimeSec, file.mtimeNsec).value_or(0);
      wanted[i].ctimeNs = file.ctimeNs;
    }
    std::atomic<bool> stop{false};
    std::optional<PodArray<Recalled>> found;
    runAside(
        [&] {
          memory_.waitForWrite();
          cache_ = DigestCache::open(digestCacheFile(memory_.choice()));
          if (cache_)
            found = cache_->recall(wanted, today_, stop);
        },
        [&] {
          hooks.whileWaiting();
          if (!stop && hooks.cancelled())
            stop = true;
        });
    if (stop)
      return false;
    if (!found)
      return true;
    recalled_ = std::move(*found);
    for (std::size_t i = 0; i < listed_.size(); ++i) {
      const HashAhead::File& file = listed_[i];
      if (!lasting(file.identity.device) || !nanosecondsOf(file.mtimeSec, file.mtimeNsec) ||
          file.ctimeNs == kNoChangeTime)
        recalled_[i] = Recalled{};
    }
    return true;
  }

  // Takes the size groups whose every file the cache knows out of the edge sift, which would
  // only open them twice. A group with an unknown file is sifted as without the cache: its known
  // files' edges are needed to tell the others unique.
  void spareKnownGroups(PodArray<std::uint32_t>& groupOf) const {
    if (recalled_.empty())
      return;
    std::vector<std::uint8_t> unknown;
    for (std::size_t i = 0; i < groupOf.size(); ++i) {
      if (groupOf[i] == kUngrouped)
        continue;
      unknown.resize(std::max<std::size_t>(unknown.size(), groupOf[i] + 1));
      unknown[groupOf[i]] |= recalled_[i].known ? 0 : 1;
    }
    for (std::uint32_t& group : groupOf) {
      if (group != kUngrouped && !unknown[group])
        group = kUngrouped;
    }
  }

  // What the workers need to know of the listed files. Valid while this session lives.
  HashAhead::Memory memory() const {
    HashAhead::Memory memory;
    memory.remember = cache_ != nullptr;
    memory.settleNs = memory_.choice().settle.count();
    if (!recalled_.empty())
      memory.recalled = &recalled_;
    return memory;
  }

  // What the edge sift is to take from the cache and whether it keeps what it reads.
  EdgeMemory edgeMemory() const {
    EdgeMemory memory;
    memory.recalled = &recalled_;
    memory.remember = cache_ != nullptr;
    memory.settleNs = memory_.choice().settle.count();
    return memory;
  }

  // The edges the sift read that may be remembered, by listed file.
  void noteEdges(PodArray<ReadEdges> fresh) {
    freshEdges_ = std::move(fresh);
    edgesTaken_.resize(freshEdges_.size());
  }

  bool knows(std::size_t listedIndex) const {
    return !recalled_.empty() && recalled_[listedIndex].known;
  }

  // A file the sift cleared: its remembered edges were used.
  void noteCleared(std::size_t listedIndex) {
    if (!recalled_.empty() && recalled_[listedIndex].edgesKnown && recalled_[listedIndex].renew)
      used_.push_back(listed_[listedIndex].identity);
  }

  void noteTaken(std::size_t listedIndex, const HashAhead::Taken& taken) {
    const HashAhead::File& file = listed_[listedIndex];
    if (taken.recalled && recalled_[listedIndex].renew)
      used_.push_back(file.identity);
    if (taken.rememberable)
      keep(listedIndex, taken.digest, taken.ctimeNs);
  }

  // Has what the pass read (and what the workers read ahead of it) written into the cache while
  // the caller goes on.
  void save(HashAhead& ahead) {
    if (!cache_)
      return;
    ahead.forEachRememberableUntaken([&](std::size_t index, const ContentDigest& digest,
                                         std::int64_t ctimeNs) { keep(index, digest, ctimeNs); });
    // Edges read of files not kept whole above: beside the digest the cache already holds
    // under the same key, or alone.
    for (std::size_t i = 0; i < freshEdges_.size(); ++i) {
      const ReadEdges& read = freshEdges_[i];
      if (edgesTaken_[i])
        continue;
      const HashAhead::File& file = listed_[read.file];
      const std::optional<std::int64_t> mtimeNs = nanosecondsOf(file.mtimeSec, file.mtimeNsec);
      if (!mtimeNs || !lasting(file.identity.device))
        continue;
      RememberedDigest entry{file.identity, file.size, *mtimeNs, read.ctimeNs,
                             false,         true,      {},       read.edges};
      if (knows(read.file) && read.ctimeNs == file.ctimeNs) {
        entry.hasDigest = true;
        entry.digest = recalled_[read.file].digest;
      }
      fresh_.push_back(entry);
    }
    memory_.rememberAside(std::move(cache_), std::move(fresh_), std::move(used_), today_);
  }

private:
  // The devices of the listed files whose file systems keep lasting inode numbers, asked through
  // a folder the walk entered on each.
  void findLastingDevices(int sourceFd, const FolderTable& folders) {
    std::vector<std::uint64_t> devices;
    for (const HashAhead::File& file : listed_) {
      if (std::find(devices.begin(), devices.end(), file.identity.device) == devices.end())
        devices.push_back(file.identity.device);
    }
    FolderResolver resolver(sourceFd, folders);
    for (std::uint64_t device : devices) {
      for (FolderId folder = 0; folder < folders.size(); ++folder) {
        if (folders.identity(folder).device != device)
          continue;
        const int fd = resolver.resolve(folder);
        if (fd >= 0 && keepsLastingIdentities(fd))
          lasting_.push_back(device);
        break;
      }
    }
  }

  bool lasting(std::uint64_t device) const {
    return std::find(lasting_.begin(), lasting_.end(), device) != lasting_.end();
  }

  // Keeps a file read whole, with its edges when they are known under the same change time.
  void keep(std::size_t listedIndex, const ContentDigest& digest, std::int64_t ctimeNs) {
    const HashAhead::File& file = listed_[listedIndex];
    const std::optional<std::int64_t> mtimeNs = nanosecondsOf(file.mtimeSec, file.mtimeNsec);
    RememberedDigest entry{file.identity, file.size, mtimeNs.value_or(0), ctimeNs, true, false,
                           digest,        0};
    const auto read = std::lower_bound(
        freshEdges_.begin(), freshEdges_.end(), listedIndex,
        [](const ReadEdges& edges, std::size_t index) { return edges.file < index; });
    if (read != freshEdges_.end() && read->file == listedIndex) {
      if (read->ctimeNs == ctimeNs) {
        entry.hasEdges = true;
        entry.edges = read->edges;
      }
      // Kept here or not at all: alone, it would take the place of the digest.
      edgesTaken_[static_cast<std::size_t>(read - freshEdges_.begin())] = 1;
    } else if (!recalled_.empty() && recalled_[listedIndex].edgesKnown && file.ctimeNs == ctimeNs) {
      entry.hasEdges = true;
      entry.edges = recalled_[listedIndex].edges;
    }
    if (mtimeNs && lasting(file.identity.device))
      fresh_.push_back(entry);
  }

  DigestMemory& memory_;
  const PodArray<HashAhead::File>& listed_;
  const std::int32_t today_;
  std::vector<std::uint64_t> lasting_;
  std::unique_ptr<DigestCache> cache_;
  // One per listed file once recalled; empty when the cache knows nothing.
  PodArray<Recalled> recalled_;
  PodArray<RememberedDigest> fresh_;
  PodArray<FileIdentity> used_;
  // By listed file, and whether each was kept with the file's digest.
  PodArray<ReadEdges> freshEdges_;
  PodArray<std::uint8_t> edgesTaken_;
};

// Brings what the workers did over into the pass's progress, when someone may look.
class ProgressUpdate {
public:
  // records: the record of each file the workers read; cleared: the files the sift cleared.
  ProgressUpdate(const HashAhead& ahead, PodArray<RecordId> records, std::uint64_t cleared,
                 ReadProgress& progress)
      : ahead_(ahead), records_(std::move(records)), cleared_(cleared), progress_(progress) {}

  void operator()() const {
    progress_.bytesDone = ahead_.bytesDone();
    progress_.filesDone = cleared_ + ahead_.filesDone();
    const std::size_t reading = ahead_.fileBeingRead();
    if (reading != HashAhead::kNoFile)
      progress_.file = records_[reading];
  }
  // Once every file is taken: the counts stand at their totals, and no file is being read.
  void end() const {
    (*this)();
    progress_.file = kNoRecord;
  }

private:
  const HashAhead& ahead_;
  const PodArray<RecordId> records_;
  const std::uint64_t cleared_;
  ReadProgress& progress_;
};

// Names the file the pass read last. A file only notes its record as it is taken: its path is
// made when a report asks for it while the pass runs, and once where the pass ends, so that
// CurrentReadFile names it afterwards.
class LastReadFile {
public:
  explicit LastReadFile(const ReportGrid& grid) : grid_(grid) {
    // Room enough that naming the file while an error leaves the pass needs no memory.
    CurrentReadFile().reserve(kNamedWithoutMemory);
    setReadFileNamer(
        [this] { return record_ == kNoRecord ? CurrentReadFile() : fullPathOf(grid_, record_); });
  }
  ~LastReadFile() {
    setReadFileNamer(nullptr);
    // An error on its way out of the pass: named only when that needs no memory.
    if (record_ != kNoRecord && !settled_ &&
        fullPathLength(grid_, record_) <= CurrentReadFile().capacity())
      assignFullPath(grid_, record_, CurrentReadFile());
  }
  LastReadFile(const LastReadFile&) = delete;
  LastReadFile& operator=(const LastReadFile&) = delete;

  void note(RecordId record) {
    record_ = record;
    settled_ = false;
  }
  // CurrentReadFile names the file noted last: where the pass ends, and before a read error
  // leaves it.
  void settle() {
    if (record_ == kNoRecord)
      return;
    assignFullPath(grid_, record_, CurrentReadFile());
    settled_ = true;
  }

private:
  static constexpr std::size_t kNamedWithoutMemory = 4096;

  const ReportGrid& grid_;
  RecordId record_ = kNoRecord;
  bool settled_ = false;
};

// Takes the digests in row order and writes them into the rows.
DigestOutcome takeDigests(ReportGrid& grid, const PodArray<HashAhead::File>& listed,
                          HashAhead& ahead, const PodArray<std::uint8_t>& unique,
                          CacheSession& cache, const PassHooks& hooks,
                          const ProgressUpdate& updateProgress) {
  DigestOutcome outcome;
  std::size_t listedIndex = 0;
  LastReadFile lastRead(grid);
  const auto whileWaiting = [&] {
    updateProgress();
    hooks.whileWaiting();
  };
  for (std::size_t i = 0; i < grid.rowCount(); ++i) {
    prefetchAhead(grid, i);
    updateProgress();
    hooks.letEventsRun();
    if (hooks.cancelled()) {
      lastRead.settle();
      outcome.cancelled = true;
      return outcome;
    }
    hooks.step();
    const GridRow& row = grid.row(i);
    if (row.isGroup() || row.record == kNoRecord)
      continue;
    // Its edges match no file of its size: it cannot have a twin, and would only be pruned
    // after the regrouping.
    const std::size_t index = listedIndex++;
    if (unique[index]) {
      cache.noteCleared(index);
      grid.removeRecord(row.record);
      continue;
    }
    // A file is the one read before its long wait; one the cache knows is not read.
    if (!cache.knows(index))
      lastRead.note(row.record);
    std::optional<HashAhead::Taken> result =
        ahead.take(index, whileWaiting, hooks.cancelled, [&] { lastRead.settle(); });
    // A cancel while waiting ends the pass as at the next row.
    if (!result) {
      lastRead.settle();
      outcome.cancelled = true;
      return outcome;
    }
    cache.noteTaken(index, *result);
    if (result->changed) {
      grid.removeRecord(row.record);
      ++outcome.changed;
      continue;
    }
    // From the list, in order: the row's own cell lies anywhere in the grid, and a million of them
    // cost a cache miss each.
    const std::uint64_t size = listed[index].size;
    grid.setItem(row.record, col::kChecksum, GridValue::text(checksumText(result->digest.crc)));
    const ContentKeyBytes key = contentKeyBytes(size, result->digest);
    grid.setItem(row.record, col::kContent, GridValue::text({key.data(), key.size()}));
    ++outcome.digested;
  }
  lastRead.settle();
  updateProgress.end();
  return outcome;
}

} // namespace

DigestOutcome digestListed(ReportGrid& grid, const FoundTree& found, const PassHooks& hooks) {
  DigestMemory memory;
  return digestListed(grid, found, hooks, memory);
}

DigestOutcome digestListed(ReportGrid& grid, const FoundTree& found, const PassHooks& hooks,
                           DigestMemory& memory) {
  ReadProgress progress;
  return digestListed(grid, found, hooks, memory, progress);
}

DigestOutcome digestListed(ReportGrid& grid, const FoundTree& found, const PassHooks& hooks,
                           DigestMemory& memory, ReadProgress& progress, unsigned readers) {
  progress = ReadProgress{};
  return trapInner("Form1.CheckCRC", [&] {
    // The names sit in the grid's pool, which only grows during this pass.
    PodArray<HashAhead::File> listed;
    PodArray<std::uint32_t> groupOf;
    PodArray<RecordId> records;
    listFiles(grid, listed, groupOf, records);
    progress.filesTotal = listed.size();
    // A source swapped since the walk leaves every file out rather than read another tree.
    const std::optional<SourceAnchor> source = found.reopenSource();
    const int sourceFd = source ? source->fd() : -1;

    DigestOutcome outcome;
    CacheSession cache(memory, sourceFd, found.folders, listed);
    if (!cache.recall(hooks)) {
      outcome.cancelled = true;
      return outcome;
    }
    PodArray<std::uint32_t> siftGroups;
    siftGroups.resizeForOverwrite(groupOf.size());
    std::copy(groupOf.begin(), groupOf.end(), siftGroups.begin());
    cache.spareKnownGroups(siftGroups);
    progress.stage = ReadProgress::Stage::Sifting;
    if (readers == 0 && sourceFd >= 0)
      readers = readersFor(sourceFd);
    std::optional<EdgeSiftResult> sifted =
        siftByEdges(sourceFd, found.folders, listed, siftGroups,
                    {hooks.whileWaiting, hooks.cancelled}, readers, cache.edgeMemory());
    if (!sifted) {
      outcome.cancelled = true;
      return outcome;
    }
    cache.noteEdges(std::move(sifted->fresh));
    const PodArray<std::uint8_t>& unique = sifted->unique;
    std::uint64_t cleared = 0;
    for (std::uint32_t i = 0; i < listed.size(); ++i) {
      if (unique[i]) {
        ++cleared;
        continue;
      }
      progress.bytesTotal += listed[i].size;
    }
    progress.stage = ReadProgress::Stage::Reading;
    // The files the sift cleared stay in the list, marked: a copy of the rest would cost more than
    // the workers' passing them by.
    HashAhead ahead(sourceFd, found.folders, listed, cache.memory(), readers, &unique);
    const ProgressUpdate updateProgress(ahead, std::move(records), cleared, progress);
    outcome = takeDigests(grid, listed, ahead, unique, cache, hooks, updateProgress);
    cache.save(ahead);
    return outcome;
  });
}

} // namespace zandrex
