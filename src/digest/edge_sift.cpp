#include "digest/edge_sift.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>
#include <xxhash.h>

namespace zandrex {

namespace {

constexpr std::uint32_t kNoGroup = UINT32_MAX;
// What the sift knows of a file's edges.
constexpr std::uint8_t kUnknown = 0;
constexpr std::uint8_t kKnown = 1;
constexpr std::uint8_t kRememberable = 2;
constexpr auto kWaitSlice = std::chrono::milliseconds(20);

bool needsSift(const HashAhead::File& file, std::uint32_t group) {
  return group != kNoGroup && file.size >= kEdgeSiftMinSize;
}

// Reads count bytes at offset, or fails: a short read means the file is not what the walk saw.
bool readExactly(int fd, std::uint8_t* buffer, std::size_t count, std::uint64_t offset) {
  std::size_t done = 0;
  while (done < count) {
    const ssize_t got = ::pread(fd, buffer + done, count - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR)
      continue;
    if (got <= 0)
      return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

// The edges' hash, or nothing when the file cannot be looked at as the walk saw it. ctimeNs gets
// the change time the open file showed (nothing when it does not fit).
std::optional<std::uint64_t> edgeHash(const HashAhead::File& file, FolderResolver& folders,
                                      std::uint8_t* buffer, std::optional<std::int64_t>& ctimeNs) {
  const int folderFd = folders.resolve(file.folder);
  if (folderFd < 0)
    return std::nullopt;
  thread_local std::string name;
  name.assign(file.name);
  UniqueFd fd = openFileIn(folderFd, name.c_str());
  if (!fd.valid())
    return std::nullopt;
  FileStatus status;
  if (!statOpen(fd.get(), status) || !HashAhead::unchangedSinceWalk(status, file))
    return std::nullopt;
  // Looked at before the edges are read: a write after this look moves the change time past it,
  // so what is remembered under it is never recalled for other bytes.
  ctimeNs = nanosecondsOf(status.ctimeSec, status.ctimeNsec);
  // Only the edges are wanted: the kernel's read-ahead would fetch what the full read may never
  // need.
  ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_RANDOM);
  if (!readExactly(fd.get(), buffer, kEdgeBlock, 0))
    return std::nullopt;
  std::uint64_t hash = XXH3_64bits(buffer, kEdgeBlock);
  if (file.size < kEdgeTailMinSize)
    return hash;
  if (!readExactly(fd.get(), buffer, kEdgeBlock, file.size - kEdgeBlock))
    return std::nullopt;
  return XXH3_64bits_withSeed(buffer, kEdgeBlock, hash);
}

class SiftWorkers {
public:
  // hashes and known hold the recalled edges; the files of order are read.
  SiftWorkers(int sourceFd, const FolderTable& folders, const PodArray<HashAhead::File>& files,
              std::vector<std::uint32_t> order, std::vector<std::uint64_t> hashes,
              std::vector<std::uint8_t> known, const EdgeMemory& memory, unsigned workers)
      : sourceFd_(sourceFd), folders_(folders), files_(files), memory_(memory),
        order_(std::move(order)), hashes_(std::move(hashes)), known_(std::move(known)) {
    if (memory_.remember)
      changeTimes_.resize(files.size());
    if (workers == 0)
      workers = std::max(1u, std::thread::hardware_concurrency());
    workers = static_cast<unsigned>(std::min<std::size_t>(workers, order_.size()));
    for (unsigned i = 0; i < workers; ++i)
      threads_.emplace_back([this] { work(); });
  }
  ~SiftWorkers() {
    stop_ = true;
    for (auto& thread : threads_)
      thread.join();
  }
  SiftWorkers(const SiftWorkers&) = delete;
  SiftWorkers& operator=(const SiftWorkers&) = delete;

  // False when cancelled first.
  bool wait(const EdgeSiftHooks& hooks) {
    for (;;) {
      {
        std::unique_lock lock(mutex_);
        if (finished_.wait_for(lock, kWaitSlice, [&] { return done_ == order_.size(); }))
          return true;
      }
      hooks.whileWaiting();
      if (hooks.cancelled())
        return false;
    }
  }

  // Valid after wait() returned true.
  bool known(std::size_t index) const { return known_[index] != kUnknown; }
  std::uint64_t hash(std::size_t index) const { return hashes_[index]; }
  // Valid after wait() returned true: the edges read that may be remembered, by file.
  PodArray<ReadEdges> fresh() const {
    PodArray<ReadEdges> out;
    for (std::uint32_t i = 0; i < known_.size(); ++i) {
      if (known_[i] == kRememberable)
        out.push_back({i, changeTimes_[i], hashes_[i]});
    }
    return out;
  }

private:
  void work() {
    std::vector<std::uint8_t> buffer(kEdgeBlock);
    FolderResolver folders(sourceFd_, folders_);
    for (;;) {
      const std::size_t position = next_.fetch_add(1);
      if (position >= order_.size() || stop_)
        return;
      const std::uint32_t index = order_[position];
      try {
        const std::int64_t readStart = memory_.remember ? realNanoseconds() : 0;
        std::optional<std::int64_t> ctimeNs;
        if (std::optional<std::uint64_t> hash =
                edgeHash(files_[index], folders, buffer.data(), ctimeNs)) {
          hashes_[index] = *hash;
          known_[index] = kKnown;
          if (memory_.remember && ctimeNs && *ctimeNs <= readStart - memory_.settleNs) {
            changeTimes_[index] = *ctimeNs;
            known_[index] = kRememberable;
          }
        }
      } catch (...) {
        // Undecided: the content pass meets this file and whatever went wrong with it.
      }
      std::lock_guard lock(mutex_);
      if (++done_ == order_.size())
        finished_.notify_all();
    }
  }

  int sourceFd_;
  const FolderTable& folders_;
  const PodArray<HashAhead::File>& files_;
  const EdgeMemory& memory_;
  std::vector<std::uint32_t> order_;
  // Each slot written by the one worker that took its file, read after all are done.
  std::vector<std::uint64_t> hashes_;
  std::vector<std::uint8_t> known_;
  std::vector<std::int64_t> changeTimes_;
  std::atomic<std::size_t> next_{0};
  std::atomic<bool> stop_{false};
  std::size_t done_ = 0; // under mutex_
  std::mutex mutex_;
  std::condition_variable finished_;
  std::vector<std::thread> threads_;
};

} // namespace

std::optional<PodArray<std::uint8_t>> siftByEdges(int sourceFd, const FolderTable& folders,
                                                  const PodArray<HashAhead::File>& files,
                                                  const PodArray<std::uint32_t>& groupOf,
                                                  const EdgeSiftHooks& hooks, unsigned workers) {
  std::optional<EdgeSiftResult> result =
      siftByEdges(sourceFd, folders, files, groupOf, hooks, workers, EdgeMemory{});
  if (!result)
    return std::nullopt;
  return std::move(result->unique);
}

std::optional<EdgeSiftResult> siftByEdges(int sourceFd, const FolderTable& folders,
                                          const PodArray<HashAhead::File>& files,
                                          const PodArray<std::uint32_t>& groupOf,
                                          const EdgeSiftHooks& hooks, unsigned workers,
                                          const EdgeMemory& memory) {
  EdgeSiftResult result;
  PodArray<std::uint8_t>& unique = result.unique;
  unique.resizeForOverwrite(files.size());
  std::fill(unique.begin(), unique.end(), std::uint8_t{0});

  std::vector<std::uint32_t> order;
  for (std::uint32_t i = 0; i < files.size(); ++i) {
    if (needsSift(files[i], groupOf[i]))
      order.push_back(i);
  }
  if (order.empty())
    return result;
  std::vector<std::uint64_t> hashes(files.size());
  std::vector<std::uint8_t> known(files.size(), kUnknown);
  std::vector<std::uint32_t> toRead;
  const bool recalls = memory.recalled && !memory.recalled->empty();
  for (std::uint32_t i : order) {
    if (recalls && (*memory.recalled)[i].edgesKnown) {
      hashes[i] = (*memory.recalled)[i].edges;
      known[i] = kKnown;
      continue;
    }
    toRead.push_back(i);
  }
  // The same order the content pass reads in: a folder's files together, by inode.
  HashAhead::sortForReading(toRead, files);
  SiftWorkers sift(sourceFd, folders, files, std::move(toRead), std::move(hashes), std::move(known),
                   memory, workers);
  if (!sift.wait(hooks))
    return std::nullopt;

  // By group, then edge hash: a file is cleared when it is alone with its hash in a group whose
  // every file was read (an unread one might be its twin).
  std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    if (groupOf[a] != groupOf[b])
      return groupOf[a] < groupOf[b];
    return sift.hash(a) < sift.hash(b);
  });
  std::size_t first = 0;
  while (first < order.size()) {
    std::size_t end = first;
    bool allRead = true;
    while (end < order.size() && groupOf[order[end]] == groupOf[order[first]]) {
      allRead = allRead && sift.known(order[end]);
      ++end;
    }
    for (std::size_t i = first; allRead && i < end; ++i) {
      const std::uint64_t hash = sift.hash(order[i]);
      const bool sharedBefore = i > first && sift.hash(order[i - 1]) == hash;
      const bool sharedAfter = i + 1 < end && sift.hash(order[i + 1]) == hash;
      unique[order[i]] = !sharedBefore && !sharedAfter;
    }
    first = end;
  }
  if (memory.remember)
    result.fresh = sift.fresh();
  return result;
}

} // namespace zandrex
