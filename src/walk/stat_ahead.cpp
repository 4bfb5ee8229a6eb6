#include "walk/stat_ahead.h"

#include <cerrno>

namespace zandrex {

namespace {

constexpr int kPending = -1;
constexpr int kStatted = 0;
// Polls of a slot the worker is on before the waiting thread gives its core away: a stat is a
// few microseconds, and the worker may share the core.
constexpr unsigned kSpinsBeforeYield = 64;

// A failed stat's outcome: its errno, never mistaken for success if a stand-in left errno unset.
int failureOf(int error) {
  return error > 0 ? error : EIO;
}

void waitBriefly(unsigned& spins) {
  if (++spins < kSpinsBeforeYield)
    return;
  std::this_thread::yield();
}

} // namespace

void StatAhead::Batch::reset(const FolderListing& listing) {
  listing_ = &listing;
  folderFd_ = -1;
  entries_.clear();
  unclaimed_.store(0, std::memory_order_relaxed);
}

void StatAhead::share(Batch& batch, int folderFd) {
  pause();
  batch.folderFd_ = folderFd;
  // Sized once all slots are known: the walk adds them between reset() and here.
  if (batch.statuses_.size() < batch.entries_.size())
    batch.statuses_.resize(batch.entries_.size());
  const std::uint32_t unclaimed = batch.unclaimed_.load(std::memory_order_relaxed);
  if (unclaimed == 0)
    batch.outcomes_.assign(batch.entries_.size(), kPending);
  if (unclaimed >= batch.entries_.size() || batch.entries_.size() - unclaimed < sharedFrom_)
    return;
  if (!worker_.joinable())
    worker_ = std::thread([this] { work(); });
  shared_.store(&batch);
  wake_.fetch_add(1);
  wake_.notify_one();
}

void StatAhead::pause() {
  if (shared_.load(std::memory_order_relaxed) == nullptr)
    return;
  shared_.store(nullptr);
  // Both sides are sequentially consistent: either the worker read shared_ after the store above
  // and claims nothing, or it said it was claiming before this load sees it.
  for (unsigned spins = 0; claiming_.load();)
    waitBriefly(spins);
}

bool StatAhead::take(Batch& batch, std::size_t slot, FileStatus& status, int& error) {
  std::atomic_ref<int> outcome(batch.outcomes_[slot]);
  const std::uint32_t slots = static_cast<std::uint32_t>(batch.entries_.size());
  for (unsigned spins = 0; outcome.load(std::memory_order_acquire) == kPending;) {
    // Rather than wait, stat the next slot nobody has claimed: this one may be among them.
    if (batch.unclaimed_.load(std::memory_order_relaxed) < slots) {
      const std::uint32_t claimed = batch.unclaimed_.fetch_add(1);
      if (claimed < slots) {
        statSlot(batch, claimed);
        continue;
      }
    }
    waitBriefly(spins);
  }
  const int result = outcome.load(std::memory_order_acquire);
  if (result != kStatted) {
    error = result;
    return false;
  }
  status = batch.statuses_[slot];
  return true;
}

void StatAhead::stop() {
  pause();
  if (!worker_.joinable())
    return;
  ending_.store(true);
  wake_.fetch_add(1);
  wake_.notify_one();
  worker_.join();
  ending_.store(false);
}

void StatAhead::work() {
  std::uint32_t seen = 0;
  for (;;) {
    wake_.wait(seen);
    seen = wake_.load();
    if (ending_.load())
      return;
    statShared();
  }
}

void StatAhead::statShared() {
  for (;;) {
    claiming_.store(true);
    Batch* batch = shared_.load();
    if (batch == nullptr)
      break;
    const std::uint32_t claimed = batch->unclaimed_.fetch_add(1);
    if (claimed >= batch->entries_.size())
      break;
    statSlot(*batch, claimed);
    claiming_.store(false);
  }
  claiming_.store(false);
}

void StatAhead::statSlot(Batch& batch, std::uint32_t slot) {
  FileStatus& status = batch.statuses_[slot];
  const int outcome = stat_(batch.folderFd_, batch.listing_->name(batch.entries_[slot]), status)
                          ? kStatted
                          : failureOf(errno);
  std::atomic_ref<int>(batch.outcomes_[slot]).store(outcome, std::memory_order_release);
}

} // namespace zandrex
