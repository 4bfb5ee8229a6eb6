// Lets pending window events run from inside a long loop, but not too often: the loops call it
// once per file or row, and a million calls to the event loop would cost more than the work.
#pragma once

#include <chrono>
#include <functional>

namespace zandrex::desktop {

class EventPump {
public:
  using Clock = std::chrono::steady_clock;
  // Events run at most once per interval.
  static constexpr std::chrono::milliseconds kDefaultInterval{30};
  // The clock is read only on every this many calls, keeping a call to a counter increment.
  static constexpr unsigned kDefaultCallsPerClockRead = 64;

  EventPump();

  // Runs the pending events when the interval has passed since they last ran (checked on every
  // callsPerClockRead-th call). True when they ran.
  bool pump();
  // As pump(), but reads the clock at once: for callers that wait between calls rather than
  // work, where counting calls would stretch the interval.
  bool pumpIfDue();

  void setInterval(std::chrono::milliseconds interval) { interval_ = interval; }
  // 1 reads the clock on every call (tests); 0 counts as 1.
  void setCallsPerClockRead(unsigned calls) { callsPerClockRead_ = calls == 0 ? 1 : calls; }

  // What "run the pending events" means; QCoreApplication::processEvents by default.
  std::function<void()> processEvents;
  // Runs just before the events run (the window brings its status and progress up to date).
  std::function<void()> beforeEvents;
  // The clock; replaceable for tests.
  std::function<Clock::time_point()> now;

private:
  std::chrono::milliseconds interval_ = kDefaultInterval;
  unsigned callsPerClockRead_ = kDefaultCallsPerClockRead;
  unsigned calls_ = 0;
  Clock::time_point last_{};
};

} // namespace zandrex::desktop
