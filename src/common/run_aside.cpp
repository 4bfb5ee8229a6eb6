#include "common/run_aside.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace zandrex {

void runAside(const std::function<void()>& job, const std::function<void()>& whileWaiting) {
  if (!whileWaiting) {
    job();
    return;
  }
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  std::exception_ptr error;
  std::thread worker([&] {
    try {
      job();
    } catch (...) {
      error = std::current_exception();
    }
    std::lock_guard lock(mutex);
    done = true;
    finished.notify_one();
  });
  std::unique_lock lock(mutex);
  while (!finished.wait_for(lock, kAsideWaitSlice, [&] { return done; })) {
    lock.unlock();
    whileWaiting();
    lock.lock();
  }
  lock.unlock();
  worker.join();
  if (error)
    std::rethrow_exception(error);
}

} // namespace zandrex
