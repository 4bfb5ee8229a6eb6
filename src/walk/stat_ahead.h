// Stats the files of the folder being listed on a worker thread while the walk records the ones
// already stat'ed: the kernel's half of a walk (one fstatat per file) then overlaps the walk's
// own half instead of following it.
//
// The walk still takes every file in its own order, on its own thread, and decides everything
// itself: the worker only stats names of the one folder shared with it (relative to that folder's
// descriptor, never following a link, as statIn does) and leaves each outcome in the batch, a
// failure as the errno it met, which the walk then acts on as if it had made the call itself.
// Nothing is raised on the worker and nothing it does can throw.
//
// One batch is shared at a time: the walk shares a folder's batch when it starts listing it,
// shares its subfolder's instead when it enters one, and shares it again when it comes back.
// Before a batch's folder descriptor is closed or the batch is filled anew, release() waits until
// the worker has let go of it. A slot the worker has not claimed when the walk needs it is stat'ed
// on the calling thread, which never waits for a slot nobody is on, and takes over a slot the
// worker is on for longer than a few stats (a worker the system has put aside must not hold up
// the walk). A folder with fewer than kStatAheadMin files left is stat'ed there alone, without any
// hand-off. The worker thread is started at the first batch large enough, so a walk of small
// folders never starts it, and ends with stop() or the destruction.
#pragma once

#include "platform/anchored_tree.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>
#include <vector>

namespace zandrex {

// Fewer files than this left in a folder are stat'ed on the walk's thread: below it, waking the
// worker costs more than it saves (bench/RESULTS.md, "Statting ahead in the walk").
inline constexpr std::size_t kStatAheadMin = 4;

class StatAhead {
public:
  // What stats a name in a folder: statIn, or a stand-in for tests. Returns false with errno set.
  using StatFunction = bool (*)(int folderFd, const char* name, FileStatus& status);

  // The names of one folder to stat, in the order the walk takes them: its slots. Belongs to the
  // walk, at an address that stays put; the listing it names stays unchanged until the batch is
  // released.
  class Batch {
  public:
    // Starts the slots of another folder (none yet); keeps the memory. Only once released.
    void reset(const FolderListing& listing);
    // Appends a slot for the listing's entry.
    void add(std::uint32_t entry) { entries_.push_back(entry); }
    std::size_t size() const { return entries_.size(); }
    // The listing entry of a slot.
    std::uint32_t entry(std::size_t slot) const { return entries_[slot]; }

  private:
    friend class StatAhead;
    const FolderListing* listing_ = nullptr;
    int folderFd_ = -1;
    std::vector<std::uint32_t> entries_;
    // Written by whoever claimed the slot, before its outcome.
    std::vector<FileStatus> statuses_;
    // Per slot, read and written through atomic_ref: kPending, kStatted, or the errno.
    std::vector<int> outcomes_;
    bool sized_ = false; // statuses_ and outcomes_ hold a slot for every entry
    // The next slot nobody has claimed; claims may carry it past the end.
    std::atomic<std::uint32_t> unclaimed_{0};
    // 1 while the worker is claiming or statting a slot of this batch.
    std::atomic<std::uint32_t> visitors_{0};
  };

  // sharedFrom: the fewest unclaimed slots worth sharing (tests choose 1, or SIZE_MAX for one
  // thread).
  explicit StatAhead(StatFunction stat = statIn, std::size_t sharedFrom = kStatAheadMin)
      : stat_(stat), sharedFrom_(sharedFrom) {}
  // Stops the worker.
  ~StatAhead() { stop(); }
  StatAhead(const StatAhead&) = delete;
  StatAhead& operator=(const StatAhead&) = delete;

  // Makes batch the one whose slots are stat'ed, in folderFd, which stays open until the batch is
  // released; shares it with the worker when at least sharedFrom of its slots are unclaimed, and
  // takes back the batch shared before (the worker may finish the slot it is on). Raises
  // (std::system_error) when the worker was needed and could not start.
  void share(Batch& batch, int folderFd);
  // Waits until the worker has let go of batch, taking it back first if it is shared. Afterwards
  // its descriptor may be closed and the batch reset.
  void release(Batch& batch);
  // The outcome of slot: true with its status, or false with the stat's errno in error. Takes the
  // worker's outcome, stat'ing meanwhile what nobody has claimed yet. Slots are taken in order,
  // each once, after share().
  bool take(Batch& batch, std::size_t slot, FileStatus& status, int& error);
  // Ends the worker thread; the next share() starts it again.
  void stop();

private:
  void work();
  void statShared();
  // Claims the next slot nobody has and stats it; false when every slot is claimed.
  bool statNextUnclaimed(Batch& batch);
  void statSlot(Batch& batch, std::uint32_t slot);
  bool statHere(const Batch& batch, std::size_t slot, FileStatus& status, int& error) const;

  StatFunction stat_;
  std::size_t sharedFrom_;
  std::atomic<Batch*> shared_{nullptr};
  // Bumped to wake the worker: a batch shared, or the end.
  std::atomic<std::uint32_t> wake_{0};
  std::atomic<bool> ending_{false};
  std::thread worker_;
};

} // namespace zandrex
