#include "shellaid/loaded_windows.h"

#include "errors/err_trap.h"

#include <algorithm>
#include <vector>

namespace zandrex {

namespace {

// In load order, the order the platform would list them.
std::vector<std::string>& loadedWindows() {
  static std::vector<std::string> windows;
  return windows;
}

} // namespace

void markWindowLoaded(const std::string& name) {
  loadedWindows().push_back(name);
}

void markWindowUnloaded(const std::string& name) {
  auto& windows = loadedWindows();
  const auto found = std::find(windows.begin(), windows.end(), name);
  if (found != windows.end())
    windows.erase(found);
}

bool isLoad(const std::string& sFormName) {
  return trapInner(
      "mMain.isLoad(sFormName)",
      [&] {
        const auto& windows = loadedWindows();
        return std::find(windows.begin(), windows.end(), sFormName) != windows.end();
      },
      sFormName);
}

} // namespace zandrex
