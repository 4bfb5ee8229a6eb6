#include "scan/system_folder_guard.h"

#include "errors/err_trap.h"
#include "scan/special_folders.h"

namespace zandrex {

namespace {

constexpr const char* kLineEnd = "\r\n";

// Paths are anchored at "/", so "contains" becomes "starts with": a folder named usr deep inside
// a backup is no system folder.
bool startsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

std::string SystemFolder(const std::string& pSourcePath) {
  return trapInner(
      "Form1.SystemFolder(pSourcePath)",
      [&]() -> std::string {
        const std::string& s = pSourcePath;
        auto programs = [] { return SpecialFolderPath(0, CSIDL_PROGRAM_FILES); };
        auto system = [] { return SpecialFolderPath(0, CSIDL_WINDOWS); };
        if (s == programs() + "/")
          return programs();
        if (s == system() + "/")
          return system();
        std::string list;
        if (startsWith(s, programs() + "/"))
          list += programs() + kLineEnd;
        if (startsWith(s, system() + "/"))
          list += system() + kLineEnd;
        if (startsWith(programs() + "/", s))
          list += programs() + kLineEnd;
        if (startsWith(system() + "/", s))
          list += system() + kLineEnd;
        return list;
      },
      pSourcePath);
}

} // namespace zandrex
