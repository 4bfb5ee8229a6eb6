// The running system: the error report's "OS:" line and the start-up check of the kernel.
#pragma once

#include "platform/platform.h"

#include <string>

namespace zandrex {

// The running system for the report's "OS:" line. All fields start empty.
struct OSVersionRecord {
  std::string Name;        // the kernel's name: "Linux"
  std::string Version;     // "6.1"
  std::string ServicePack; // the distribution's name
  std::string Build;       // the release's third number
};

// Fills record from the running kernel: Name the kernel's name ("Linux"), Version "major.minor",
// Build the release's third number, ServicePack the distribution's PRETTY_NAME. Leaves record
// untouched when the kernel cannot be asked. No trap.
void GetOSVersionRecord(OSVersionRecord& record);

// The report's system text: Name + " " + Version + " build " + Build + " (" + ServicePack + ")".
// An empty record gives "  build  ()".
std::string osReportText(const OSVersionRecord& record);

// True for a Linux kernel that answered the version query; the start routine refuses the rest.
bool isSupportedKernel(const platform::KernelVersion& kernel);
// isSupportedKernel of the running kernel.
bool isSupportedSystem();

} // namespace zandrex
