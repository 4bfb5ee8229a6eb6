// Special folders: the documents folder, the folder of installed programs, the system folder.
#pragma once

#include <functional>
#include <string>

namespace zandrex {

// Shell folder numbers the program asks for.
inline constexpr int CSIDL_PERSONAL = 5;
inline constexpr int CSIDL_WINDOWS = 36;
inline constexpr int CSIDL_PROGRAM_FILES = 38;

// The folder's path without a trailing "/": 5 the documents folder, 38 "/usr", 36 "/etc";
// "" for any other number. owner is unused on this platform.
std::string SpecialFolderPath(long owner, int folderNumber);

// Replaces the answers of SpecialFolderPath (tests point the system folders at temporary
// folders); an empty function restores the real ones.
void setSpecialFolderOverride(std::function<std::string(int)> override);

} // namespace zandrex
