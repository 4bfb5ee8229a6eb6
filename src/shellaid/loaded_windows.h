// Which windows are loaded: the desktop marks its windows as they load and unload; the error
// module asks whether the main window is there to decide how to show the "Program Error" window.
// One thread, like everything that touches windows.
#pragma once

#include <string>

namespace zandrex {

// Records that a window named name has loaded. A name loaded twice (two instances) counts twice.
void markWindowLoaded(const std::string& name);
// Forgets one loaded instance of name; nothing happens when none is loaded.
void markWindowUnloaded(const std::string& name);

// True when a loaded window's name equals sFormName exactly (case-sensitive).
bool isLoad(const std::string& sFormName);

} // namespace zandrex
