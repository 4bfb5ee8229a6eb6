#include "digest/hash_ahead.h"

#include "errors/app_error.h"
#include "platform/platform.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <numeric>
#include <span>
#include <unistd.h>

namespace zandrex {

namespace {

// Fewer system calls than small blocks, same bytes.
constexpr std::size_t kReadBlock = 256 * 1024;
constexpr std::size_t kNoneAwaited = SIZE_MAX;
// How long take() waits for a file before it lets the window breathe.
constexpr auto kWaitSlice = std::chrono::milliseconds(20);
// Every this many files taken, the memory their digests took is given back: at the end of a pass
// over a million files it would otherwise sit beside the checksum texts already written.
constexpr std::size_t kForgetStep = 16384;

constexpr const char* kNotFoundSourceSuffix = ".File";
constexpr const char* kFileNotFoundText = "File not found";

// Files at most this big are read many of a folder at once where the system can batch: their
// opens, reads and closes cost one system call for the lot (all of them fit the read buffer).
constexpr std::uint64_t kBatchedFileMost = 64 * 1024;
// A worker holds a batch's files open at once: all of them together keep to this share of the
// descriptors the process may hold, so that a machine with many cores does not run out of them.
constexpr std::size_t kBatchDescriptorShare = 4;
// Fewer files than this to a batch save too little to be worth it.
constexpr std::size_t kFewestBatched = 4;
// The longest name a folder of Linux's file systems holds.
constexpr std::size_t kMostBatchedName = 255;

// Files at least this big are read with the kernel's sequential read-ahead widened.
constexpr std::uint64_t kSequentialHintMin = 1 << 20;

// A listed file that is gone raises what opening a missing file always raised: error 53 with the
// source "<executable name>.File".
[[noreturn]] void raiseFileNotFound() {
  throw AppError(errnum::kFileNotFound, platform::executableName() + kNotFoundSourceSuffix,
                 kFileNotFoundText);
}

} // namespace

bool HashAhead::unchangedSinceWalk(const FileStatus& now, const File& file) {
  return now.regular && now.identity == file.identity && now.size == file.size &&
         now.mtimeSec == file.mtimeSec && now.mtimeNsec == file.mtimeNsec;
}

void HashAhead::sortForReading(std::vector<std::uint32_t>& indexes, const PodArray<File>& files) {
  const auto byInode = [&](std::uint32_t a, std::uint32_t b) {
    const std::uint64_t x = files[a].identity.inode;
    const std::uint64_t y = files[b].identity.inode;
    return x != y ? x < y : a < b;
  };
  // Folders are numbered densely from 0: they are counted out first and only each folder's files
  // sorted, which on a million files costs a fraction of one sort of them all.
  FolderId most = 0;
  for (std::uint32_t i : indexes)
    most = std::max(most, files[i].folder);
  if (most >= kNoFolder - 1) {
    std::sort(indexes.begin(), indexes.end(), [&](std::uint32_t a, std::uint32_t b) {
      return files[a].folder != files[b].folder ? files[a].folder < files[b].folder : byInode(a, b);
    });
    return;
  }
  std::vector<std::uint32_t> start(static_cast<std::size_t>(most) + 2, 0);
  for (std::uint32_t i : indexes)
    ++start[files[i].folder + 1];
  std::partial_sum(start.begin(), start.end(), start.begin());
  std::vector<std::uint32_t> sorted(indexes.size());
  std::vector<std::uint32_t> next(start.begin(), start.end() - 1);
  for (std::uint32_t i : indexes)
    sorted[next[files[i].folder]++] = i;
  for (std::size_t folder = 0; folder + 1 < start.size(); ++folder)
    std::sort(sorted.begin() + start[folder], sorted.begin() + start[folder + 1], byInode);
  indexes.swap(sorted);
}

HashAhead::HashAhead(int sourceFd, const FolderTable& folders, const PodArray<File>& files,
                     Memory memory, unsigned workers, const PodArray<std::uint8_t>* cleared)
    : sourceFd_(sourceFd), folders_(folders), files_(files), memory_(memory),
      state_(new std::atomic<State>[files_.size()]) {
  digests_.resizeForOverwrite(files_.size());
  if (memory_.remember)
    changeTimes_.resizeForOverwrite(files_.size());
  for (std::size_t i = 0; i < files_.size(); ++i)
    state_[i].store(kPending, std::memory_order_relaxed);
  // Files the cache answers are done before any worker starts; only the rest are read.
  order_.clear();
  const bool recalls = memory_.recalled && !memory_.recalled->empty();
  for (std::uint32_t i = 0; i < files_.size(); ++i) {
    if (cleared && (*cleared)[i])
      continue;
    if (recalls && (*memory_.recalled)[i].known) {
      state_[i].store(kRecalled, std::memory_order_relaxed);
      bytesDone_.fetch_add(files_[i].size, std::memory_order_relaxed);
      filesDone_.fetch_add(1, std::memory_order_relaxed);
      continue;
    }
    order_.push_back(i);
  }
  sortForReading(order_, files_);
  if (workers == 0)
    workers = std::max(1u, std::thread::hardware_concurrency());
  workers_ = static_cast<unsigned>(std::min<std::size_t>(workers, order_.size()));
  if (workers_ > 0) {
    batchMost_ = std::min(FileBatch::kMaxEntries,
                          platform::openFileLimit() / kBatchDescriptorShare / workers_);
    if (batchMost_ < kFewestBatched)
      batchMost_ = 0;
  }
  reading_.reset(new std::atomic<std::size_t>[workers_]);
  for (unsigned i = 0; i < workers_; ++i)
    reading_[i].store(kNoFile, std::memory_order_relaxed);
  for (unsigned i = 0; i < workers_; ++i)
    threads_.emplace_back([this, i] { work(i); });
}

HashAhead::~HashAhead() {
  stopWorkers();
}

void HashAhead::stopWorkers() {
  stop_ = true;
  for (auto& thread : threads_)
    thread.join();
  threads_.clear();
}

HashAhead::State HashAhead::digest(std::size_t index, FolderResolver& folders,
                                   std::vector<std::uint8_t>& buffer, std::uint64_t& read) {
  const File& file = files_[index];
  const int folderFd = folders.resolve(file.folder);
  if (folderFd < 0) {
    if (folders.outcome() == Reach::Replaced)
      return kChanged;
    if (folders.outcome() == Reach::Gone)
      raiseFileNotFound();
    raiseSystemError(folders.error());
  }
  // Reused: most names are short, but a long one would cost an allocation per file.
  thread_local std::string name;
  name.assign(file.name);
  // Taken before the read: a change after it would show in the change time afterwards.
  const std::int64_t readStart = memory_.remember ? realNanoseconds() : 0;
  UniqueFd fd = openFileIn(folderFd, name.c_str());
  if (!fd.valid()) {
    if (errno == ENOENT)
      raiseFileNotFound();
    if (reachForError(errno) == Reach::Replaced)
      return kChanged; // a link took its place
    raiseSystemError(errno);
  }
  FileStatus status;
  // A big file is looked at before it is read, so that one replaced since the walk is not read
  // for nothing; a small one only afterwards, which decides alike for one system call less.
  if (file.size >= kSequentialHintMin) {
    if (!statOpen(fd.get(), status))
      raiseSystemError(errno);
    if (!unchangedSinceWalk(status, file))
      return kChanged;
    ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  }
  DigestBuilder builder;
  std::uint64_t total = 0;
  while (total < file.size) {
    if (stop_.load(std::memory_order_relaxed))
      return kChanged; // nobody takes it any more
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), file.size - total));
    const ssize_t got = ::read(fd.get(), buffer.data(), want);
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0)
      raiseSystemError(errno);
    if (got == 0)
      return kChanged; // shorter than the walk saw
    builder.add(buffer.data(), static_cast<std::size_t>(got));
    total += static_cast<std::uint64_t>(got);
    read = total;
    // Within a big file too: the progress moves while it is read, not only when it is done.
    bytesDone_.fetch_add(static_cast<std::uint64_t>(got), std::memory_order_relaxed);
  }
  return conclude(index, fd.get(), builder, readStart);
}

HashAhead::State HashAhead::conclude(std::size_t index, int fd, DigestBuilder& builder,
                                     std::int64_t readStart) {
  // The bytes digested are the file's whole content only if it is still the file the walk saw,
  // at the same size and time: one that grew, or was written to, while it was read is left out.
  FileStatus status;
  if (!statOpen(fd, status) || !unchangedSinceWalk(status, files_[index]))
    return kChanged;
  digests_[index] = builder.finish();
  if (!memory_.remember)
    return kDigested;
  const std::optional<std::int64_t> ctime = nanosecondsOf(status.ctimeSec, status.ctimeNsec);
  if (!ctime || *ctime > readStart - memory_.settleNs)
    return kDigested;
  changeTimes_[index] = *ctime;
  return kRememberable;
}

std::size_t HashAhead::fileBeingRead() const {
  std::size_t first = kNoFile;
  for (unsigned i = 0; i < workers_; ++i)
    first = std::min(first, reading_[i].load(std::memory_order_relaxed));
  return first == kNoFile ? kNoFile : order_[first];
}

void HashAhead::work(unsigned worker) {
  std::vector<std::uint8_t> buffer(kReadBlock);
  FolderResolver folders(sourceFd_, folders_);
  // Where the system cannot batch, every file is read on its own.
  const std::unique_ptr<FileBatch> batch = batchMost_ > 0 ? FileBatch::create() : nullptr;
  Batch pending;
  if (batch)
    pending.names.resize(FileBatch::kMaxEntries * (kMostBatchedName + 1));
  for (;;) {
    const std::size_t position = next_.fetch_add(1);
    if (position >= order_.size() || stop_) {
      if (batch && !stop_)
        readBatch(worker, *batch, pending, folders, buffer);
      return;
    }
    const File& file = files_[order_[position]];
    if (batch && file.size <= kBatchedFileMost && file.name.size() <= kMostBatchedName) {
      const bool fits =
          pending.count == 0 || (pending.folder == file.folder && pending.count < batchMost_ &&
                                 pending.bytes + file.size <= buffer.size());
      if (!fits)
        readBatch(worker, *batch, pending, folders, buffer);
      pending.folder = file.folder;
      pending.bytes += file.size;
      pending.positions[pending.count++] = position;
      continue;
    }
    if (batch)
      readBatch(worker, *batch, pending, folders, buffer);
    readOne(worker, position, folders, buffer);
  }
}

void HashAhead::readOne(unsigned worker, std::size_t position, FolderResolver& folders,
                        std::vector<std::uint8_t>& buffer) {
  const std::size_t index = order_[position];
  reading_[worker].store(position, std::memory_order_relaxed);
  settle(index, [&](std::uint64_t& read) { return digest(index, folders, buffer, read); });
}

void HashAhead::readBatch(unsigned worker, FileBatch& batch, Batch& pending,
                          FolderResolver& folders, std::vector<std::uint8_t>& buffer) {
  const std::size_t count = std::exchange(pending.count, 0);
  pending.bytes = 0;
  if (count == 0)
    return;
  reading_[worker].store(pending.positions[0], std::memory_order_relaxed);
  const int folderFd = folders.resolve(pending.folder);
  std::array<FileBatch::Entry, FileBatch::kMaxEntries> entries;
  // A file the batch could not open or read in full is read again on its own, which meets (and
  // reports, or finds changed) what the batch met.
  std::array<bool, FileBatch::kMaxEntries> again;
  again.fill(true);
  if (folderFd >= 0) {
    std::size_t at = 0;
    for (std::size_t i = 0; i < count; ++i) {
      const File& file = files_[order_[pending.positions[i]]];
      char* name = pending.names.data() + i * (kMostBatchedName + 1);
      std::memcpy(name, file.name.data(), file.name.size());
      name[file.name.size()] = '\0';
      entries[i].name = name;
      entries[i].buffer = buffer.data() + at;
      entries[i].want = static_cast<std::size_t>(file.size);
      at += entries[i].want;
    }
    const std::span<FileBatch::Entry> batched(entries.data(), count);
    // Taken before the opens: a change after them would show in the change time afterwards.
    const std::int64_t readStart = memory_.remember ? realNanoseconds() : 0;
    batch.openAndRead(folderFd, batched);
    for (std::size_t i = 0; i < count; ++i) {
      const FileBatch::Entry& entry = entries[i];
      if (entry.fd < 0 || entry.error != 0 || entry.got != entry.want)
        continue;
      const std::size_t index = order_[pending.positions[i]];
      again[i] = false;
      settle(index, [&](std::uint64_t&) {
        DigestBuilder builder;
        builder.add(entry.buffer, entry.got);
        return conclude(index, entry.fd, builder, readStart);
      });
    }
    batch.closeAll(batched);
  }
  for (std::size_t i = 0; i < count; ++i) {
    if (again[i])
      readOne(worker, pending.positions[i], folders, buffer);
  }
}

template <typename Read> void HashAhead::settle(std::size_t index, Read&& readFile) {
  State state = kFailed;
  std::uint64_t read = 0;
  try {
    state = readFile(read);
  } catch (...) {
    // Kept for the pass, which raises it when it reaches this file, as if it read it itself.
    std::lock_guard lock(mutex_);
    errors_.emplace_back(index, std::current_exception());
  }
  // Before the file is marked done: the pass may give its entry back once it has taken it.
  bytesDone_.fetch_add(files_[index].size - read, std::memory_order_relaxed);
  filesDone_.fetch_add(1, std::memory_order_relaxed);
  state_[index].store(state);
  // Waking the pass costs a system call; only pay it when the pass waits for this very file.
  // Both sides use sequentially consistent order, so a waiter either sees the file done or is
  // seen here.
  if (awaited_.load() == index) {
    std::lock_guard lock(mutex_);
    finished_.notify_all();
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

HashAhead::Taken HashAhead::result(std::size_t index) {
  const State state = state_[index].load(std::memory_order_acquire);
  if (state == kFailed) {
    std::lock_guard lock(mutex_);
    for (const auto& [failed, error] : errors_) {
      if (failed == index)
        std::rethrow_exception(error);
    }
  }
  // A recalled digest is read where the cache left it: copied, it would only fault in more pages.
  const ContentDigest& digest =
      state == kRecalled ? (*memory_.recalled)[index].digest : digests_[index];
  Taken taken{digest, state == kChanged, state == kRecalled, state == kRememberable};
  if (taken.rememberable)
    taken.ctimeNs = changeTimes_[index];
  untaken_ = index + 1;
  // Every file up to this one is done and taken: no worker or caller reads their entries again.
  if (untaken_ - forgotten_ >= kForgetStep) {
    digests_.forgetBefore(untaken_);
    changeTimes_.forgetBefore(untaken_);
    forgotten_ = untaken_;
  }
  return taken;
}

} // namespace zandrex
