#include "dupes/hash_ahead.h"

#include "dupes/binary_file_stream.h"

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <numeric>
#include <unistd.h>

namespace zandrex {

namespace {

// Bigger than the stream's 8 KiB contract block: fewer system calls, same bytes.
constexpr std::size_t kReadBlock = 256 * 1024;
constexpr std::size_t kNoneAwaited = SIZE_MAX;
// How long take() waits for a file before it lets the window breathe.
constexpr auto kWaitSlice = std::chrono::milliseconds(20);
// Every this many files taken, the memory that listed them is given back: at the end of a pass
// over a million files it would otherwise sit beside the checksum texts already written.
constexpr std::size_t kForgetStep = 16384;

// The folder a worker opened last: its files are opened relative to it.
class FolderHandle {
public:
  ~FolderHandle() { reset(); }
  // A descriptor for folder, reusing the open one when it is the same folder; -1 when it cannot
  // be opened (the file's own open then reports why, through its full path).
  int open(std::string_view folder) {
    if (fd_ >= 0 && folder == folder_)
      return fd_;
    reset();
    folder_.assign(folder);
    fd_ = ::open(folder_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    return fd_;
  }

private:
  void reset() {
    if (fd_ >= 0)
      ::close(fd_);
    fd_ = -1;
  }
  std::string folder_;
  int fd_ = -1;
};

} // namespace

HashAhead::HashAhead(PodArray<File> files, unsigned workers)
    : files_(std::move(files)), order_(files_.size()),
      state_(new std::atomic<State>[files_.size()]) {
  digests_.resizeForOverwrite(files_.size());
  for (std::size_t i = 0; i < files_.size(); ++i)
    state_[i].store(kPending, std::memory_order_relaxed);
  std::iota(order_.begin(), order_.end(), 0u);
  // A folder's files together (its handle is opened once), in inode order within it.
  std::sort(order_.begin(), order_.end(), [&](std::uint32_t a, std::uint32_t b) {
    const File& x = files_[a];
    const File& y = files_[b];
    if (x.folder != y.folder)
      return x.folder < y.folder;
    return x.inode != y.inode ? x.inode < y.inode : a < b;
  });
  if (workers == 0)
    workers = std::max(1u, std::thread::hardware_concurrency());
  workers = static_cast<unsigned>(std::min<std::size_t>(workers, files_.size()));
  for (unsigned i = 0; i < workers; ++i)
    threads_.emplace_back([this] { work(); });
}

HashAhead::~HashAhead() {
  stop_ = true;
  for (auto& thread : threads_)
    thread.join();
}

std::string HashAhead::path(std::size_t index) const {
  std::string full(files_[index].folder);
  full += files_[index].name;
  return full;
}

void HashAhead::work() {
  std::vector<std::uint8_t> buffer(kReadBlock);
  FolderHandle folder;
  std::string fullPath;
  for (;;) {
    const std::size_t position = next_.fetch_add(1);
    if (position >= order_.size() || stop_)
      return;
    const std::size_t index = order_[position];
    const File& file = files_[index];
    State state = kDigested;
    try {
      cBinaryFileStream reader;
      fullPath.assign(file.folder);
      fullPath += file.name;
      reader.attachDirect(fullPath, folder.open(file.folder), file.name, file.size);
      digests_[index] = digestStream(reader, buffer);
    } catch (...) {
      // Kept for the pass, which raises it when it reaches this file, as if it read it itself.
      std::lock_guard lock(mutex_);
      errors_.emplace_back(index, std::current_exception());
      state = kFailed;
    }
    state_[index].store(state);
    // Waking the pass costs a system call; only pay it when the pass waits for this very file.
    // Both sides use sequentially consistent order, so a waiter either sees the file done or is
    // seen here.
    if (awaited_.load() == index) {
      std::lock_guard lock(mutex_);
      finished_.notify_all();
    }
  }
}

bool HashAhead::ready(std::size_t index) {
  if (state_[index].load(std::memory_order_acquire) != kPending)
    return true;
  std::unique_lock lock(mutex_);
  awaited_.store(index);
  const bool done =
      finished_.wait_for(lock, kWaitSlice, [&] { return state_[index].load() != kPending; });
  awaited_.store(kNoneAwaited);
  return done;
}

ContentDigest HashAhead::result(std::size_t index) {
  if (state_[index].load(std::memory_order_acquire) == kFailed) {
    std::lock_guard lock(mutex_);
    for (const auto& [failed, error] : errors_) {
      if (failed == index)
        std::rethrow_exception(error);
    }
  }
  const ContentDigest digest = digests_[index];
  // Every file up to this one is done and taken: no worker or caller reads their entries again.
  if ((index + 1) % kForgetStep == 0) {
    files_.forgetBefore(index + 1);
    digests_.forgetBefore(index + 1);
  }
  return digest;
}

} // namespace zandrex
