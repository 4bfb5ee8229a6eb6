#include "shellaid/os_version.h"

namespace zandrex {

namespace {

constexpr std::uint32_t kBuildMask = 0xFFFF;
constexpr std::uint32_t kMinorWindows95 = 0;
constexpr std::uint32_t kMinorWindowsME = 90;
constexpr const char* kSupportedKernelName = "Linux";

std::string versionText(unsigned major, unsigned minor) {
  return std::to_string(major) + "." + std::to_string(minor);
}

std::string windowsName(const OSVersionInfo& info) {
  switch (static_cast<std::int32_t>(info.platformId)) {
  case osplatform::kWin32s:
    return "Win32s";
  case osplatform::kWindows95Family:
    if (info.minor == kMinorWindows95)
      return "Windows 95";
    if (info.minor == kMinorWindowsME)
      return "Windows ME";
    return "Windows 98";
  case osplatform::kWindowsNT:
    if (info.major == 5 && info.minor == 0)
      return "Windows 2000";
    if (info.major == 5 && info.minor == 1)
      return "Windows XP";
    return "Windows NT";
  default:
    return {};
  }
}

bool isNT(const OSVersionInfo& info) {
  return info.ok && static_cast<std::int32_t>(info.platformId) == osplatform::kWindowsNT;
}

} // namespace

OSVersionRecord nameWindowsVersion(const OSVersionInfo& info) {
  OSVersionRecord record;
  if (!info.ok)
    return record;
  record.PlatformId = static_cast<std::int32_t>(info.platformId);
  record.Name = windowsName(info);
  record.Version = versionText(info.major, info.minor);
  record.Build = std::to_string(info.build & kBuildMask);
  // The query's buffer always ends in a NUL; text without one is treated as unreadable.
  const auto nul = info.csd.find('\0');
  if (nul != std::string::npos)
    record.ServicePack = info.csd.substr(0, nul);
  return record;
}

bool IsWin2000(const OSVersionInfo& info) {
  return isNT(info) && info.major == 5 && info.minor == 0;
}

bool IsWinXP(const OSVersionInfo& info) {
  if (!isNT(info))
    return false;
  return (info.major == 5 && (info.minor == 1 || info.minor == 2)) || info.major == 6;
}

void GetOSVersionRecord(OSVersionRecord& record) {
  const platform::KernelVersion kernel = platform::kernelVersion();
  if (!kernel.ok)
    return;
  record.PlatformId = osplatform::kNotWindows;
  record.Name = kernel.name;
  record.Version = versionText(kernel.major, kernel.minor);
  record.Build = std::to_string(kernel.build);
  record.ServicePack = kernel.prettyName;
}

std::string osReportText(const OSVersionRecord& record) {
  return record.Name + " " + record.Version + " build " + record.Build + " (" + record.ServicePack +
         ")";
}

bool isSupportedKernel(const platform::KernelVersion& kernel) {
  return kernel.ok && kernel.name == kSupportedKernelName;
}

bool isSupportedSystem() {
  return isSupportedKernel(platform::kernelVersion());
}

} // namespace zandrex
