#include "shellaid/os_version.h"

namespace zandrex {

namespace {

constexpr const char* kSupportedKernelName = "Linux";

} // namespace

void GetOSVersionRecord(OSVersionRecord& record) {
  const platform::KernelVersion kernel = platform::kernelVersion();
  if (!kernel.ok)
    return;
  record.Name = kernel.name;
  record.Version = std::to_string(kernel.major) + "." + std::to_string(kernel.minor);
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
