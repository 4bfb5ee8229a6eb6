// The operating system as the engine sees it. One implementation per target, chosen in CMake.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

namespace zandrex::platform {

// The computer's name; "" when the query fails.
std::string computerName();
// The system's message text for an error code (errno); "" when it has none.
std::string systemMessage(std::uint32_t code);
// The running executable's full path; "" when unknown.
std::string executablePath();
// The executable's folder, without a trailing "/".
std::string executableFolder();
// The executable's file name without folder and extension ("zandrex").
std::string executableName();
// The user's home folder, without a trailing "/".
std::string homeFolder();
// The user's documents folder (XDG documents folder, else ~/Documents), no trailing "/".
std::string documentsFolder();
// The user's cache folder: XDG_CACHE_HOME when it is an absolute path, else ~/.cache; no trailing
// "/". "" when there is no home folder to put it in.
std::string cacheFolder();
// The current local date and time.
std::tm localNow();
// Converts seconds since the epoch to local calendar fields; false when it cannot.
bool toLocalTime(std::int64_t secondsSinceEpoch, std::tm& out);
void sleepFor(std::chrono::milliseconds duration);
// How many descriptors the process may hold open at once (its soft limit); SIZE_MAX when it has
// no limit.
std::size_t openFileLimit();

// What the running kernel and distribution say of themselves.
struct KernelVersion {
  bool ok = false;
  std::string name; // "Linux"
  unsigned major = 0;
  unsigned minor = 0;
  unsigned build = 0;     // the release's third number
  std::string prettyName; // PRETTY_NAME of /etc/os-release, "" when absent
};
KernelVersion kernelVersion();

} // namespace zandrex::platform
