#include "event_pump.h"

#include <gtest/gtest.h>

namespace zandrex::desktop {
namespace {

using namespace std::chrono_literals;

struct PumpProbe {
  EventPump pump;
  EventPump::Clock::time_point time{};
  int clockReads = 0;
  int passes = 0;
  int flushes = 0;

  PumpProbe() {
    pump.now = [this] {
      ++clockReads;
      return time;
    };
    pump.processEvents = [this] { ++passes; };
    pump.beforeEvents = [this] { ++flushes; };
    // A start well past the clock's epoch, so the first check may run the events.
    time += 1h;
  }
};

TEST(EventPump, ReadsTheClockOnlyEveryNthCallAndRunsEventsOncePerInterval) {
  PumpProbe probe;
  for (unsigned k = 1; k < EventPump::kDefaultCallsPerClockRead; ++k)
    EXPECT_FALSE(probe.pump.pump());
  EXPECT_EQ(probe.clockReads, 0);

  EXPECT_TRUE(probe.pump.pump());
  EXPECT_EQ(probe.passes, 1);
  EXPECT_EQ(probe.flushes, 1);

  // Within the interval, later clock reads do not run the events.
  probe.time += EventPump::kDefaultInterval / 2;
  for (unsigned k = 0; k < EventPump::kDefaultCallsPerClockRead; ++k)
    probe.pump.pump();
  EXPECT_EQ(probe.clockReads, 2);
  EXPECT_EQ(probe.passes, 1);

  probe.time += EventPump::kDefaultInterval;
  for (unsigned k = 0; k < EventPump::kDefaultCallsPerClockRead; ++k)
    probe.pump.pump();
  EXPECT_EQ(probe.passes, 2);

  // Configured so, every call pumps.
  probe.pump.setCallsPerClockRead(0);
  probe.pump.setInterval(0ms);
  for (int k = 0; k < 5; ++k)
    EXPECT_TRUE(probe.pump.pump());
  EXPECT_EQ(probe.passes, 7);
}

} // namespace
} // namespace zandrex::desktop
