#include "dupes/hash_ahead.h"

#include "dupes/binary_file_stream.h"

#include <chrono>
#include <fcntl.h>

namespace zandrex {

namespace {
// Bigger than the stream's 8 KiB contract block: fewer system calls, same bytes.
constexpr std::size_t kReadBlock = 256 * 1024;
// How long take() waits for a file before it lets the window breathe.
constexpr auto kWaitSlice = std::chrono::milliseconds(20);
} // namespace

HashAhead::HashAhead(std::vector<std::string> paths, unsigned workers)
    : paths_(std::move(paths)), slots_(paths_.size()), done_(new std::atomic<bool>[paths_.size()]) {
  for (std::size_t i = 0; i < paths_.size(); ++i)
    done_[i].store(false, std::memory_order_relaxed);
  if (workers == 0)
    workers = std::max(1u, std::thread::hardware_concurrency());
  workers = static_cast<unsigned>(std::min<std::size_t>(workers, paths_.size()));
  for (unsigned i = 0; i < workers; ++i)
    threads_.emplace_back([this] { work(); });
}

HashAhead::~HashAhead() {
  stop_ = true;
  for (auto& thread : threads_)
    thread.join();
}

void HashAhead::work() {
  std::vector<std::uint8_t> buffer(kReadBlock);
  for (;;) {
    std::size_t index = next_.fetch_add(1);
    if (index >= paths_.size() || stop_)
      return;
    Slot& slot = slots_[index];
    try {
      cBinaryFileStream reader;
      reader.file(paths_[index]);
      if (reader.descriptor() >= 0)
        posix_fadvise(reader.descriptor(), 0, 0, POSIX_FADV_SEQUENTIAL);
      slot.digest = digestStream(reader, buffer);
    } catch (...) {
      // Kept for the pass, which raises it when it reaches this file, as if it read it itself.
      slot.error = std::current_exception();
    }
    {
      std::lock_guard lock(mutex_);
      done_[index].store(true, std::memory_order_release);
    }
    finished_.notify_all();
  }
}

bool HashAhead::ready(std::size_t index) {
  if (done_[index].load(std::memory_order_acquire))
    return true;
  std::unique_lock lock(mutex_);
  return finished_.wait_for(lock, kWaitSlice,
                            [&] { return done_[index].load(std::memory_order_acquire); });
}

ContentDigest HashAhead::result(std::size_t index) {
  if (slots_[index].error)
    std::rethrow_exception(slots_[index].error);
  return slots_[index].digest;
}

} // namespace zandrex
