#include "shellaid/program_environment.h"

#include "settings/message_texts.h"
#include "settings/settings_store.h"
#include "shellaid/loaded_windows.h"
#include "shellaid/os_version.h"
#include "source/special_folders.h"

namespace zandrex {

namespace {
constexpr const char* kMainWindowName = "Form1";
} // namespace

ReportEnvironment programReportEnvironment() {
  ReportEnvironment env = defaultReportEnvironment();
  env.reportFolder = [] { return SpecialFolderPath(0, CSIDL_PERSONAL) + "/" + kAppTitle; };
  env.osLine = [] {
    OSVersionRecord record;
    GetOSVersionRecord(record);
    return osReportText(record);
  };
  env.mainWindowLoaded = [] { return isLoad(kMainWindowName); };
  env.version = std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + "." +
                std::to_string(kVersionRevision);
  env.supportAddress = kSupportAddress;
  return env;
}

} // namespace zandrex
