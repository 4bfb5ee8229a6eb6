// Reads and checksums the listed files on worker threads ahead of the checksum pass, which takes
// the results in row order. The pass still walks its rows one by one on its own thread, so what
// it writes, when it polls "Cancel" and where it stops on an error stay as they were.
//
// Every file is reached through its folder, descended to from the searched folder and checked
// to be the folder the walk recorded. The open file is read to the end the walk saw and looked at
// afterwards: unless it is still the regular file the walk saw (device and inode), with the same
// size and modification time (to the nanosecond), it is reported as changed, never digested on
// bytes it does not have now. Workers take the files folder by folder, in inode order within a
// folder (what keeps a cold disk from seeking), and look at the stop flag at every block, so
// stopping never waits for a big file to be read to its end. Where the system can batch, a
// worker opens, reads and closes a run of a folder's small files together (FileBatch), and looks
// at each open file alone as above.
//
// With the digest cache, a file the cache knows under the whole key the walk saw (identity, size,
// modification and change time) is done from the start with its remembered digest: it is neither
// opened nor looked at again, and no worker is given it. Its digest is that of the file as the
// walk saw it, as a read's would be; a change after the walk shows at the next find (and a
// deletion checks the file again). Every other file is read; a file read may be remembered when
// its change time lies at least the settle time before its read began.
#pragma once

#include "digest/content_digest.h"
#include "digest/digest_cache.h"
#include "grid/pod_array.h"
#include "grid/report_grid.h"
#include "platform/anchored_tree.h"
#include "platform/file_batch.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

namespace zandrex {

class HashAhead {
public:
  struct File {
    // A view into a text that stays put and unchanged while the workers run (the grid's pool).
    std::string_view name; // as found on disk
    FolderId folder = kNoFolder;
    // What the walk saw.
    FileIdentity identity;
    std::uint64_t size = 0;
    std::int64_t mtimeSec = 0;
    std::int64_t mtimeNsec = 0;
    std::int64_t ctimeNs = kNoChangeTime;
  };
  struct Taken {
    ContentDigest digest;
    // The file was replaced, changed or grew while the find ran: it has no digest.
    bool changed = false;
    // The digest is the cache's: the file was not read.
    bool recalled = false;
    // The file was read and may be remembered under this change time.
    bool rememberable = false;
    std::int64_t ctimeNs = 0;
  };
  // How the workers use the digest cache.
  struct Memory {
    // One per file, or none at all (null or empty): what the cache knows of each under the key
    // the walk saw. Not copied: it must outlive the HashAhead.
    const PodArray<Recalled>* recalled = nullptr;
    // Whether files read are to be judged rememberable, and by what settle time.
    bool remember = false;
    std::int64_t settleNs = 0;
  };

  // True when status (of the open file) shows the regular file the walk saw, at the same size and
  // modification time.
  static bool unchangedSinceWalk(const FileStatus& status, const File& file);
  // Sorts indexes of files into the order files are best read in: a folder's files together (its
  // handle is reached once), by inode within it (what keeps a cold disk from seeking).
  static void sortForReading(std::vector<std::uint32_t>& indexes, const PodArray<File>& files);

  // Starts workers on files, reaching them from sourceFd through folders; the three must outlive
  // this object (the files are not copied: a million of them would be faulted in twice).
  // workers = 0 picks one per core.
  HashAhead(int sourceFd, const FolderTable& folders, const PodArray<File>& files,
            unsigned workers = 0)
      : HashAhead(sourceFd, folders, files, Memory{}, workers) {}
  // A file marked in cleared (one byte per file, non-zero; null for none) is neither read nor
  // taken: what the edge sift told unique. It must outlive this object too.
  HashAhead(int sourceFd, const FolderTable& folders, const PodArray<File>& files, Memory memory,
            unsigned workers = 0, const PodArray<std::uint8_t>* cleared = nullptr);
  // Stops the workers (a file being read is left at its next block) and waits for them.
  ~HashAhead();
  HashAhead(const HashAhead&) = delete;
  HashAhead& operator=(const HashAhead&) = delete;

  // Waits for files[index], calling pump every few milliseconds meanwhile; rethrows the error
  // reading it raised. Returns nothing when stopWaiting() turned true first.
  // Files are taken in list order, each once (the cleared ones never): what the files before
  // index needed is given back.
  template <typename Pump, typename Stop>
  std::optional<Taken> take(std::size_t index, Pump&& pump, Stop&& stopWaiting) {
    return take(index, pump, stopWaiting, [] {});
  }
  // The same; onFailed() runs first when reading the file failed, before its error is raised:
  // the pass names the file whose read failed.
  template <typename Pump, typename Stop, typename OnFailed>
  std::optional<Taken> take(std::size_t index, Pump&& pump, Stop&& stopWaiting,
                            OnFailed&& onFailed) {
    while (!ready(index)) {
      pump();
      if (stopWaiting())
        return std::nullopt;
    }
    if (state_[index].load(std::memory_order_acquire) == kFailed)
      onFailed();
    return result(index);
  }

  // Bytes of the files done or being read: each block as it is read, and the rest of a file's size
  // once it is done unread or only partly read (recalled, changed, failed), so that the count ends
  // at the files' total size. Any thread; as fresh as a relaxed load.
  std::uint64_t bytesDone() const { return bytesDone_.load(std::memory_order_relaxed); }
  // Files done: digested, recalled, changed or failed.
  std::size_t filesDone() const { return filesDone_.load(std::memory_order_relaxed); }
  // Of the files the workers are on (or last were on), the index of the one begun first: a big
  // file while small ones come and go. kNoFile before any. Any thread.
  static constexpr std::size_t kNoFile = SIZE_MAX;
  std::size_t fileBeingRead() const;

  // Stops the workers and calls each(index, digest, ctimeNs) for every rememberable file not
  // taken yet: what was read before a cancel stays useful. No take() afterwards.
  template <typename Each> void forEachRememberableUntaken(Each&& each) {
    stopWorkers();
    for (std::size_t i = untaken_; i < files_.size(); ++i) {
      if (state_[i].load() == kRememberable)
        each(i, digests_[i], changeTimes_[i]);
    }
  }

private:
  enum State : std::uint8_t { kPending, kDigested, kChanged, kFailed, kRecalled, kRememberable };

  // Small files of one folder a worker has claimed and reads together.
  struct Batch {
    std::array<std::size_t, FileBatch::kMaxEntries> positions; // in order_
    std::size_t count = 0;
    std::uint64_t bytes = 0;
    FolderId folder = kNoFolder;
    std::vector<char> names; // room for each one's name and its NUL
  };

  void stopWorkers();
  void work(unsigned worker);
  // Reads order_[position] on its own, and marks it done.
  void readOne(unsigned worker, std::size_t position, FolderResolver& folders,
               std::vector<std::uint8_t>& buffer);
  // Reads the files of pending (emptied) through batch, each into its own part of buffer, and
  // marks them done; any the batch could not read in full is read on its own.
  void readBatch(unsigned worker, FileBatch& batch, Batch& pending, FolderResolver& folders,
                 std::vector<std::uint8_t>& buffer);
  // Runs readFile(read) for files[index] and marks the file done with its state, or kFailed with
  // the error it raised kept for the pass. read: bytes already counted in bytesDone_.
  template <typename Read> void settle(std::size_t index, Read&& readFile);
  // Reads one file; kDigested with digests_[index] written, or kChanged. read counts the bytes
  // read, each block also added to bytesDone_.
  State digest(std::size_t index, FolderResolver& folders, std::vector<std::uint8_t>& buffer,
               std::uint64_t& read);
  // Ends a file whose bytes builder holds: kChanged unless fd (the file open) is still the file
  // the walk saw, else its digest written and whether it may be remembered.
  State conclude(std::size_t index, int fd, DigestBuilder& builder, std::int64_t readStart);
  // True once files[index] is done; waits a short while for it first.
  bool ready(std::size_t index);
  Taken result(std::size_t index);

  int sourceFd_;
  const FolderTable& folders_;
  const PodArray<File>& files_;
  std::vector<std::uint32_t> order_; // indexes of the files to read, by folder, then inode
  // Written by a worker before it marks the file done; a recalled file's is the cache's.
  PodArray<ContentDigest> digests_;
  Memory memory_;
  // The change time of each rememberable file (only with memory_.remember).
  PodArray<std::int64_t> changeTimes_;
  // Files before this one were taken.
  std::size_t untaken_ = 0;
  // What the files before this one needed was given back.
  std::size_t forgotten_ = 0;
  std::unique_ptr<std::atomic<State>[]> state_;
  // Errors are rare: kept apart, under mutex_, so a digest's slot stays small.
  std::vector<std::pair<std::size_t, std::exception_ptr>> errors_;
  std::atomic<std::size_t> next_{0};
  std::atomic<bool> stop_{false};
  // For progress only: one add per block of 256 KiB, a few per file; the workers sharing
  // them cost nothing measurable.
  std::atomic<std::uint64_t> bytesDone_{0};
  std::atomic<std::size_t> filesDone_{0};
  // Per worker, the position in order_ of the file it is on or last was; kNoFile before any.
  unsigned workers_ = 0;
  // The most files a worker reads in one batch; 0: each file alone.
  std::size_t batchMost_ = 0;
  std::unique_ptr<std::atomic<std::size_t>[]> reading_;
  // The file the pass is waiting for, SIZE_MAX when it is not waiting.
  std::atomic<std::size_t> awaited_{SIZE_MAX};
  std::mutex mutex_;
  std::condition_variable finished_;
  std::vector<std::thread> threads_;
};

} // namespace zandrex
