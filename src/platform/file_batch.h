// Opens, reads and closes many small files of one folder with a few system calls for all of them
// rather than several for each, where the system offers a way (on Linux, io_uring). On a machine
// where each system call costs a microsecond or more, that is about half of what reading a small
// file costs.
//
// Files are opened exactly as openFileIn() opens them (never through a link, never blocking on a
// FIFO, without touching the access time where allowed). Nothing here judges whether a file is
// the one expected: the caller looks at each open descriptor (statOpen) as it would after
// openFileIn(), and does a file again on its own where an entry failed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace zandrex {

class FileBatch {
public:
  // At most this many entries per call; more are refused (EINVAL in each, nothing opened).
  static constexpr std::size_t kMaxEntries = 64;

  struct Entry {
    const char* name = nullptr;     // in: relative to the folder
    std::uint8_t* buffer = nullptr; // in: where the bytes go
    std::size_t want = 0;           // in: bytes to read from the file's start
    int fd = -1;                    // out: the open descriptor, -1 when the open failed
    int error = 0;                  // out: errno of the failed open or read, else 0
    std::size_t got = 0;            // out: bytes read; fewer than want when shorter or failed
  };

  // Nothing where the system cannot batch (too old a kernel, or batching refused or turned off):
  // the caller then reads file by file. One per thread.
  static std::unique_ptr<FileBatch> create();
  virtual ~FileBatch() = default;

  // Opens each entry's name in folderFd and reads `want` bytes of each one opened, in one read
  // from its start (a regular file gives them all unless it is shorter). folderFd must stay open
  // until this returns. Every descriptor opened is in its entry's fd, to be given to closeAll().
  virtual void openAndRead(int folderFd, std::span<Entry> entries) = 0;
  // Closes every descriptor the entries hold and sets their fd to -1.
  virtual void closeAll(std::span<Entry> entries) = 0;
};

} // namespace zandrex
