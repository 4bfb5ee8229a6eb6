// The system-folder guard: is the source, does it contain, or does it lie inside the folder of
// installed programs or the system folder?
#pragma once

#include <string>

namespace zandrex {

// The list of system folders related to pSourcePath: each match as its path and CR LF, in the
// order of the tests; the folder alone (no line end) when the source is exactly that folder;
// "" when none is involved. "Contains" is a prefix test on whole path components.
std::string SystemFolder(const std::string& pSourcePath);

// The warning window's texts.
inline constexpr const char* kWarningCaption = "Warning";
inline constexpr const char* kWarningBand =
    "The selected source folder contains the following system folders or is located inside of "
    "them:";
inline constexpr const char* kWarningDamage =
    "Deleting files in these folders may damage the operating system. In order to avoid this, it "
    "is strongly recommended to select another source folder.";
inline constexpr const char* kWarningQuestion = "Continue working with this source folder anyway?";
inline constexpr const char* kWarningAlwaysShow = "Always show this warning";
inline constexpr const char* kWarningYes = "Yes";
inline constexpr const char* kWarningNo = "NO!";

} // namespace zandrex
