// Reads and checksums the listed files on worker threads ahead of the checksum pass, which takes
// the results in row order. The pass still walks its rows one by one on its own thread, so what
// it writes, when it polls "Cancel" and where it stops on an error stay as they were.
//
// Workers take the files folder by folder, in inode order within a folder (what keeps a cold disk
// from seeking), and open them relative to their folder, so a folder's path is looked up once.
#pragma once

#include "dupes/content_digest.h"
#include "grid/pod_array.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace zandrex {

class HashAhead {
public:
  struct File {
    // Views into texts that stay put and unchanged while the workers run (the grid's pool).
    std::string_view folder; // ends with "/"
    std::string_view name;   // as found on disk
    std::uint64_t inode = 0;
    std::uint64_t size = 0; // as the walk saw it: what is read at most
  };

  // Starts workers on files. workers = 0 picks one per core.
  explicit HashAhead(PodArray<File> files, unsigned workers = 0);
  // Stops the workers (files not yet started are skipped) and waits for them.
  ~HashAhead();
  HashAhead(const HashAhead&) = delete;
  HashAhead& operator=(const HashAhead&) = delete;

  // Waits for the digest of files[index], calling pump every few milliseconds meanwhile;
  // rethrows the error reading it raised. Returns nothing when stopWaiting() turned true first.
  // Files are taken in list order, each once: what the files before index needed is given back.
  template <typename Pump, typename Stop>
  std::optional<ContentDigest> take(std::size_t index, Pump&& pump, Stop&& stopWaiting) {
    while (!ready(index)) {
      pump();
      if (stopWaiting())
        return std::nullopt;
    }
    return result(index);
  }

  // The full path of files[index]; only for a file not taken yet.
  std::string path(std::size_t index) const;

private:
  enum State : std::uint8_t { kPending, kDigested, kFailed };

  void work();
  // True once files[index] is done; waits a short while for it first.
  bool ready(std::size_t index);
  ContentDigest result(std::size_t index);

  PodArray<File> files_;
  std::vector<std::uint32_t> order_; // indexes of files_ in inode order
  // Written by a worker before it marks the file done.
  PodArray<ContentDigest> digests_;
  std::unique_ptr<std::atomic<State>[]> state_;
  // Errors are rare: kept apart, under mutex_, so a digest's slot stays small.
  std::vector<std::pair<std::size_t, std::exception_ptr>> errors_;
  std::atomic<std::size_t> next_{0};
  std::atomic<bool> stop_{false};
  // The file the pass is waiting for, SIZE_MAX when it is not waiting.
  std::atomic<std::size_t> awaited_{SIZE_MAX};
  std::mutex mutex_;
  std::condition_variable finished_;
  std::vector<std::thread> threads_;
};

} // namespace zandrex
