#include "source/special_folders.h"

#include "platform/platform.h"

namespace zandrex {

namespace {

// On this platform installed programs live under /usr and the system's own files under /etc.
constexpr const char* kProgramFilesFolder = "/usr";
constexpr const char* kSystemFolder = "/etc";

std::function<std::string(int)>& specialFolderOverride() {
  static std::function<std::string(int)> override;
  return override;
}

} // namespace

void setSpecialFolderOverride(std::function<std::string(int)> override) {
  specialFolderOverride() = std::move(override);
}

std::string SpecialFolderPath(long /*owner*/, int folderNumber) {
  if (specialFolderOverride())
    return specialFolderOverride()(folderNumber);
  switch (folderNumber) {
  case CSIDL_PERSONAL:
    return platform::documentsFolder();
  case CSIDL_PROGRAM_FILES:
    return kProgramFilesFolder;
  case CSIDL_WINDOWS:
    return kSystemFolder;
  default:
    return {};
  }
}

} // namespace zandrex
