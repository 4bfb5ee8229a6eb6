#include "event_pump.h"

#include <QCoreApplication>

namespace zandrex::desktop {

EventPump::EventPump()
    : processEvents([] { QCoreApplication::processEvents(); }), now([] { return Clock::now(); }) {}

bool EventPump::pump() {
  if (++calls_ < callsPerClockRead_)
    return false;
  return pumpIfDue();
}

bool EventPump::pumpIfDue() {
  calls_ = 0;
  const Clock::time_point time = now();
  if (time - last_ < interval_)
    return false;
  last_ = time;
  if (beforeEvents)
    beforeEvents();
  processEvents();
  return true;
}

} // namespace zandrex::desktop
