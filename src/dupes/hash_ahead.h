// Reads and checksums a list of files on worker threads ahead of the checksum pass, which takes
// the results in list order. The pass still walks its rows one by one on its own thread, so
// what it writes, when it polls "Cancel" and where it stops on an error stay as they were.
#pragma once

#include "dupes/content_digest.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zandrex {

class HashAhead {
public:
  // Starts workers on paths (taken in order). workers = 0 picks one per core.
  explicit HashAhead(std::vector<std::string> paths, unsigned workers = 0);
  // Stops the workers (files not yet started are skipped) and waits for them.
  ~HashAhead();
  HashAhead(const HashAhead&) = delete;
  HashAhead& operator=(const HashAhead&) = delete;

  // Waits for the digest of paths[index]; rethrows the error reading it raised. While waiting,
  // calls pump about every few milliseconds so the window stays responsive.
  template <typename Pump> ContentDigest take(std::size_t index, Pump&& pump) {
    while (!ready(index))
      pump();
    return result(index);
  }

  const std::string& path(std::size_t index) const { return paths_[index]; }

private:
  struct Slot {
    ContentDigest digest;
    std::exception_ptr error;
  };

  void work();
  // True once paths[index] is done; waits a short while for it first.
  bool ready(std::size_t index);
  ContentDigest result(std::size_t index);

  std::vector<std::string> paths_;
  std::vector<Slot> slots_;
  std::unique_ptr<std::atomic<bool>[]> done_;
  std::atomic<std::size_t> next_{0};
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable finished_;
  std::vector<std::thread> threads_;
};

} // namespace zandrex
