#include "platform/file_batch.h"
#include "platform/linux/file_open_flags.h"

#include <array>
#include <cerrno>
#include <climits>
#include <liburing.h>
#include <unistd.h>

namespace zandrex {

namespace {

using platform::kNoAccessTimeFlag;
using platform::kReadFlags;

// One request per entry is in flight at a time.
constexpr unsigned kRingEntries = FileBatch::kMaxEntries;
// A submission the kernel could not take (out of request memory) is tried again this many times
// before the ring is given up for the one-by-one reads.
constexpr int kMostSubmitTries = 100;

class UringFileBatch final : public FileBatch {
public:
  explicit UringFileBatch(const io_uring& ring) : ring_(ring) {}
  ~UringFileBatch() override { io_uring_queue_exit(&ring_); }
  UringFileBatch(const UringFileBatch&) = delete;
  UringFileBatch& operator=(const UringFileBatch&) = delete;

  void openAndRead(int folderFd, std::span<Entry> entries) override {
    for (Entry& entry : entries) {
      entry.fd = -1;
      entry.error = 0;
      entry.got = 0;
    }
    // More than a batch holds is refused whole (each entry then read on its own by the caller):
    // the ring and the bookkeeping have room for kMaxEntries only.
    if (entries.size() > kMaxEntries) {
      for (Entry& entry : entries)
        entry.error = EINVAL;
      return;
    }
    openWith(folderFd, entries, kReadFlags | kNoAccessTimeFlag, [](const Entry&) { return true; });
    // Other users' files refuse O_NOATIME: they are opened again without it, as one by one.
    openWith(folderFd, entries, kReadFlags,
             [](const Entry& entry) { return entry.fd < 0 && entry.error == EPERM; });

    Pending pending{};
    for (std::size_t i = 0; i < entries.size(); ++i) {
      Entry& entry = entries[i];
      if (entry.fd < 0 || entry.want == 0)
        continue;
      if (entry.want > UINT_MAX) {
        entry.error = EINVAL;
        continue;
      }
      if (!prepare(pending, i, [&](io_uring_sqe* request) {
            // At offset 0: read as pread, whatever the descriptor's position.
            io_uring_prep_read(request, entry.fd, entry.buffer, static_cast<unsigned>(entry.want),
                               0);
          }))
        entry.error = EIO;
    }
    complete(pending, [&](std::size_t i, int result) {
      if (result < 0)
        entries[i].error = -result;
      else
        entries[i].got = static_cast<std::size_t>(result);
    });
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if ((pending[i] == kUnsent || pending[i] == kLost) && entries[i].error == 0)
        entries[i].error = EIO;
    }
  }

  void closeAll(std::span<Entry> entries) override {
    // openAndRead opened nothing for more than a batch holds.
    if (entries.size() > kMaxEntries) {
      for (Entry& entry : entries)
        entry.fd = -1;
      return;
    }
    Pending pending{};
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const int fd = entries[i].fd;
      if (fd >= 0 &&
          !prepare(pending, i, [&](io_uring_sqe* request) { io_uring_prep_close(request, fd); }))
        ::close(fd);
    }
    complete(pending, [](std::size_t, int) {});
    for (std::size_t i = 0; i < entries.size(); ++i) {
      // A close the ring took but never answered may have happened: closing the number again
      // could close another thread's new descriptor, so it is left (the ring has failed).
      if (pending[i] == kUnsent)
        ::close(entries[i].fd);
      entries[i].fd = -1;
    }
  }

private:
  // Where each entry's request of one step stands.
  enum Stage : std::uint8_t { kNone, kUnsent, kSent, kDone, kLost };
  using Pending = std::array<Stage, FileBatch::kMaxEntries>;

  template <typename Pick>
  void openWith(int folderFd, std::span<Entry> entries, int flags, Pick&& pick) {
    Pending pending{};
    for (std::size_t i = 0; i < entries.size(); ++i) {
      Entry& entry = entries[i];
      if (!pick(entry))
        continue;
      entry.error = EIO; // until the open answers
      prepare(pending, i, [&](io_uring_sqe* request) {
        io_uring_prep_openat(request, folderFd, entry.name, flags, 0);
      });
    }
    complete(pending, [&](std::size_t i, int result) {
      if (result < 0) {
        entries[i].error = -result;
        return;
      }
      entries[i].fd = result;
      entries[i].error = 0;
    });
  }

  // Queues one request for entry i; false when the ring is out of order (nothing queued).
  template <typename Fill> bool prepare(Pending& pending, std::size_t i, Fill&& fill) {
    if (broken_)
      return false;
    io_uring_sqe* request = io_uring_get_sqe(&ring_);
    if (!request)
      return false;
    fill(request);
    io_uring_sqe_set_data64(request, i);
    pending[i] = kUnsent;
    return true;
  }

  // Sends what was queued and takes every answer, each(i, result) for each. A request the ring
  // never took is left kUnsent (it had no effect); one taken but not answered, kLost.
  template <typename Each> void complete(Pending& pending, Each&& each) {
    unsigned queued = 0;
    for (Stage stage : pending)
      queued += stage == kUnsent;
    if (queued == 0)
      return;
    int tries = 0;
    while (io_uring_sq_ready(&ring_) > 0 && !broken_) {
      const int sent = io_uring_submit(&ring_);
      if (sent > 0 || sent == -EINTR)
        continue;
      // Nothing taken, or out of request memory for now.
      if ((sent == 0 || sent == -EAGAIN || sent == -EBUSY) && ++tries < kMostSubmitTries)
        continue;
      broken_ = true;
    }
    // The kernel takes queued requests in order: the first ones sent are those no longer queued.
    unsigned sent = queued - io_uring_sq_ready(&ring_);
    for (Stage& stage : pending) {
      if (stage == kUnsent && sent > 0) {
        stage = kSent;
        --sent;
      }
    }
    for (unsigned answered = 0; answered < queued - io_uring_sq_ready(&ring_);) {
      io_uring_cqe* answer = nullptr;
      const int waited = io_uring_wait_cqe(&ring_, &answer);
      if (waited == -EINTR)
        continue;
      if (waited < 0) {
        broken_ = true;
        break;
      }
      const std::size_t i = static_cast<std::size_t>(io_uring_cqe_get_data64(answer));
      const int result = answer->res;
      io_uring_cqe_seen(&ring_, answer);
      ++answered;
      if (i < pending.size() && pending[i] == kSent) {
        pending[i] = kDone;
        each(i, result);
      }
    }
    for (Stage& stage : pending) {
      if (stage == kSent)
        stage = kLost;
    }
  }

  io_uring ring_;
  bool broken_ = false;
};

} // namespace

std::unique_ptr<FileBatch> FileBatch::create() {
  io_uring ring;
  // Every request queued is sent even when one of them fails early: what complete() relies on.
  if (io_uring_queue_init(kRingEntries, &ring, IORING_SETUP_SUBMIT_ALL) < 0)
    return nullptr;
  return std::make_unique<UringFileBatch>(ring);
}

} // namespace zandrex
