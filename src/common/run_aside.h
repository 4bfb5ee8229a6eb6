// Long work kept off a thread that must stay answering: the work runs on a helper thread while
// the calling thread lets its pending events run every few milliseconds.
#pragma once

#include <chrono>
#include <functional>

namespace zandrex {

// How often runAside lets the caller's events run.
inline constexpr auto kAsideWaitSlice = std::chrono::milliseconds(5);

// Runs job on a helper thread and returns when it is done, calling whileWaiting on this thread
// every kAsideWaitSlice meanwhile; an exception of job is rethrown here. Without whileWaiting,
// job simply runs here. Whatever whileWaiting runs must not change what job reads.
void runAside(const std::function<void()>& job, const std::function<void()>& whileWaiting);

} // namespace zandrex
