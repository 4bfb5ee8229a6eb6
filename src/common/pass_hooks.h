// What a long pass over the grid needs from whoever runs it: a window that keeps answering,
// word of a cancel, and a place to count its steps.
#pragma once

#include <functional>

namespace zandrex {

struct PassHooks {
  // Let pending events run: once per unit of work (the pass decides how often).
  std::function<void()> letEventsRun = [] {};
  // The same, every few milliseconds while the pass waits for work done elsewhere.
  std::function<void()> whileWaiting = [] {};
  // Polled right after letting events run; true stops the pass.
  std::function<bool()> cancelled = [] { return false; };
  // One step of the pass's progress done.
  std::function<void()> step = [] {};
};

} // namespace zandrex
