// The description of the running system for the error report, and the start-up system tests.
// The Windows naming rules are kept as pure functions of a version-query record so that the
// report and the start-up check read the same on every platform; this platform fills the record
// from the running kernel instead.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <string>

namespace zandrex {

// Platform identifiers of the Windows version query.
namespace osplatform {
constexpr std::int32_t kWin32s = 0;
constexpr std::int32_t kWindows95Family = 1;
constexpr std::int32_t kWindowsNT = 2;
// Not a Windows platform: what GetOSVersionRecord reports for a Linux kernel.
constexpr std::int32_t kNotWindows = -1;
} // namespace osplatform

// What the Windows version query returns. ok = the query returned exactly 1.
struct OSVersionInfo {
  bool ok = false;
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t build = 0;
  std::uint32_t platformId = 0;
  // The service-pack text as the query's fixed buffer holds it: up to a NUL, then anything.
  std::string csd;
};

// The running system for the report's "OS:" line. All fields start empty or 0.
struct OSVersionRecord {
  std::int32_t PlatformId = 0;
  std::string Name;        // "Windows XP", "Linux", ... ; "" for an unknown platform
  std::string Version;     // "5.1"
  std::string ServicePack; // "Service Pack 3", or the distribution's name here
  std::string Build;       // "2600"
};

// The record the Windows naming rules give: platform 0 "Win32s"; platform 1 "Windows 95"
// (minor 0), "Windows ME" (minor 90), else "Windows 98"; platform 2 "Windows 2000" (5.0),
// "Windows XP" (5.1), every other NT version "Windows NT" (Vista 6.0 included); another platform
// leaves Name empty. Build is the low 16 bits; ServicePack the csd text before its first NUL, and
// empty when csd holds no NUL. A failed query (!ok) gives an empty record.
OSVersionRecord nameWindowsVersion(const OSVersionInfo& info);

// NT 5.0. False for a failed query.
bool IsWin2000(const OSVersionInfo& info);
// NT 5.1, 5.2 or any 6.x. False for a failed query.
bool IsWinXP(const OSVersionInfo& info);

// Fills record from the running kernel: Name the kernel's name ("Linux"), Version "major.minor",
// Build the release's third number, ServicePack the distribution's PRETTY_NAME, PlatformId
// osplatform::kNotWindows. Leaves record untouched when the kernel cannot be asked. No trap.
void GetOSVersionRecord(OSVersionRecord& record);

// The report's system text: Name + " " + Version + " build " + Build + " (" + ServicePack + ")".
// An empty record gives "  build  ()".
std::string osReportText(const OSVersionRecord& record);

// True for a Linux kernel that answered the version query; the start routine refuses the rest.
bool isSupportedKernel(const platform::KernelVersion& kernel);
// isSupportedKernel of the running kernel.
bool isSupportedSystem();

} // namespace zandrex
