#include "source/system_folder_guard.h"

#include "errors/err_trap.h"
#include "source/special_folders.h"

namespace zandrex {

namespace {

constexpr const char* kLineEnd = "\r\n";

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
        // Paths are anchored at "/", so "contains" becomes "starts with": a folder named usr
        // deep inside a backup is no system folder.
        std::string list;
        if (s.starts_with(programs() + "/"))
          list += programs() + kLineEnd;
        if (s.starts_with(system() + "/"))
          list += system() + kLineEnd;
        if ((programs() + "/").starts_with(s))
          list += programs() + kLineEnd;
        if ((system() + "/").starts_with(s))
          list += system() + kLineEnd;
        return list;
      },
      pSourcePath);
}

} // namespace zandrex
