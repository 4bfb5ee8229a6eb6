#include "walk/stat_ahead.h"

#include <cerrno>

namespace zandrex {

namespace {

constexpr int kPending = -1;
constexpr int kStatted = 0;
// Polls of a slot the worker is on before the walk stats the name itself: several times what a
// stat takes. Longer means the system has put the worker aside, maybe for a whole time slice.
constexpr unsigned kPollsBeforeTakingOver = 4096;
// Polls of a batch the worker is in before the waiting thread gives its core away.
constexpr unsigned kPollsBeforeYield = 64;

// A failed stat's outcome: its errno, never mistaken for success if a stand-in left errno unset.
int failureOf(int error) {
  return error > 0 ? error : EIO;
}

} // namespace

void StatAhead::Batch::reset(const FolderListing& listing) {
  listing_ = &listing;
  folderFd_ = -1;
  entries_.clear();
  sized_ = false;
  unclaimed_.store(0, std::memory_order_relaxed);
}

void StatAhead::share(Batch& batch, int folderFd) {
  shared_.store(nullptr);
  // It changes only for a batch the worker has let go of: a new one, or one released before its
  // folder was reopened. The worker may still be on a slot of this one from before.
  if (batch.folderFd_ != folderFd)
    batch.folderFd_ = folderFd;
  // Sized once all slots are known, before the worker may see the batch.
  if (!batch.sized_) {
    if (batch.statuses_.size() < batch.entries_.size())
      batch.statuses_.resize(batch.entries_.size());
    batch.outcomes_.assign(batch.entries_.size(), kPending);
    batch.sized_ = true;
  }
  const std::uint32_t unclaimed = batch.unclaimed_.load(std::memory_order_relaxed);
  if (unclaimed >= batch.entries_.size() || batch.entries_.size() - unclaimed < sharedFrom_)
    return;
  if (!worker_.joinable())
    worker_ = std::thread([this] { work(); });
  shared_.store(&batch);
  wake_.fetch_add(1);
  wake_.notify_one();
}

void StatAhead::release(Batch& batch) {
  if (shared_.load(std::memory_order_relaxed) == &batch)
    shared_.store(nullptr);
  // Both sides are sequentially consistent: either the worker reads shared_ after the store above
  // and backs off, or this load sees it visiting.
  for (unsigned polls = 0; batch.visitors_.load() != 0;) {
    if (++polls >= kPollsBeforeYield)
      std::this_thread::yield();
  }
}

bool StatAhead::take(Batch& batch, std::size_t slot, FileStatus& status, int& error) {
  std::atomic_ref<int> outcome(batch.outcomes_[slot]);
  const std::uint32_t slots = static_cast<std::uint32_t>(batch.entries_.size());
  for (unsigned polls = 0; outcome.load(std::memory_order_acquire) == kPending; ++polls) {
    // Rather than wait, stat the next slot nobody has claimed: this one may be among them.
    if (batch.unclaimed_.load(std::memory_order_relaxed) < slots && statNextUnclaimed(batch))
      continue;
    // The worker's answer, when it comes, is left unread: this slot is taken once.
    if (polls >= kPollsBeforeTakingOver)
      return statHere(batch, slot, status, error);
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
  shared_.store(nullptr);
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
    Batch* batch = shared_.load();
    if (batch == nullptr)
      return;
    // Said before it is checked again, so that release() either sees the visit or is seen here.
    batch->visitors_.fetch_add(1);
    if (shared_.load() != batch) {
      batch->visitors_.fetch_sub(1);
      continue;
    }
    const bool claimed = statNextUnclaimed(*batch);
    batch->visitors_.fetch_sub(1);
    if (!claimed)
      return;
  }
}

bool StatAhead::statNextUnclaimed(Batch& batch) {
  const std::uint32_t claimed = batch.unclaimed_.fetch_add(1);
  if (claimed >= batch.entries_.size())
    return false;
  statSlot(batch, claimed);
  return true;
}

void StatAhead::statSlot(Batch& batch, std::uint32_t slot) {
  FileStatus& status = batch.statuses_[slot];
  const int outcome = stat_(batch.folderFd_, batch.listing_->name(batch.entries_[slot]), status)
                          ? kStatted
                          : failureOf(errno);
  std::atomic_ref<int>(batch.outcomes_[slot]).store(outcome, std::memory_order_release);
}

bool StatAhead::statHere(const Batch& batch, std::size_t slot, FileStatus& status,
                         int& error) const {
  if (stat_(batch.folderFd_, batch.listing_->name(batch.entries_[slot]), status))
    return true;
  error = failureOf(errno);
  return false;
}

} // namespace zandrex
