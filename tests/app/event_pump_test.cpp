#include "event_pump.h"

#include <gtest/gtest.h>

namespace zandrex::desktop {
namespace {

TEST(EventPump, ReadsTheClockOnlyEveryNthCallAndRunsEventsOncePerInterval) {
  EventPump pump;
  // A start well past the clock's epoch, so the first check may run the events.
  EventPump::Clock::time_point time = EventPump::Clock::time_point() + std::chrono::hours(1);
  int clockReads = 0;
  int flushes = 0;
  pump.now = [&] {
    ++clockReads;
    return time;
  };
  int passes = 0;
  pump.processEvents = [&] { ++passes; };
  pump.beforeEvents = [&] { ++flushes; };
  // How many of a round of calls ran the events.
  const auto round = [&] {
    unsigned ran = 0;
    for (unsigned k = 0; k < EventPump::kDefaultCallsPerClockRead; ++k)
      ran += pump.pump();
    return ran;
  };
  EXPECT_EQ(round(), 1u);
  EXPECT_EQ(clockReads, 1);
  EXPECT_EQ(flushes, 1);
  // Within the interval, the next clock read does not run the events.
  time += EventPump::kDefaultInterval / 2;
  EXPECT_EQ(round(), 0u);
  EXPECT_EQ(clockReads, 2);
  time += EventPump::kDefaultInterval;
  EXPECT_EQ(round(), 1u);
  EXPECT_EQ(passes, 2);

  // Configured so, every call pumps.
  pump.setCallsPerClockRead(0);
  pump.setInterval(std::chrono::milliseconds(0));
  EXPECT_EQ(round(), EventPump::kDefaultCallsPerClockRead);
}

} // namespace
} // namespace zandrex::desktop
