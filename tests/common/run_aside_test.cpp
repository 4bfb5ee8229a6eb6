#include "common/run_aside.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>

namespace zandrex {
namespace {

TEST(RunAsideTest, TheJobRunsElsewhereWhileTheCallerRunsItsEventsAndItsErrorsComeBack) {
  const auto callerThread = std::this_thread::get_id();
  std::atomic<bool> answered{false};
  bool sawAnswer = false;
  bool elsewhere = false;
  runAside(
      [&] {
        elsewhere = std::this_thread::get_id() != callerThread;
        // Ends once the caller has run its events at least once (or gives up after a while).
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!answered && std::chrono::steady_clock::now() < giveUp)
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        sawAnswer = answered;
      },
      [&] { answered = true; });
  EXPECT_TRUE(elsewhere);
  EXPECT_TRUE(sawAnswer);
  EXPECT_THROW(runAside([] { throw std::runtime_error("no"); }, [] {}), std::runtime_error);
  // No events to run: the job runs in place.
  runAside([&] { elsewhere = std::this_thread::get_id() != callerThread; }, nullptr);
  EXPECT_FALSE(elsewhere);
}

} // namespace
} // namespace zandrex
