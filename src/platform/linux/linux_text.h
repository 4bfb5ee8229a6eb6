// Readers of the small text files the Linux platform layer consults. Pure: they take the file's
// text, so they can be checked without touching the real files.
#pragma once

#include <string>
#include <string_view>

namespace zandrex::platform::linux_text {

// The numbers of a kernel release such as "6.1.0-18-amd64": the leading digits of the first
// three point-separated pieces. Missing or non-numeric pieces give 0. False when the release does
// not start with a digit.
bool parseKernelRelease(std::string_view release, unsigned& major, unsigned& minor,
                        unsigned& build);

// The value of key in an os-release text (KEY=value lines, value optionally in single or double
// quotes; inside double quotes a backslash escapes the next character). "" when absent.
std::string osReleaseValue(std::string_view text, std::string_view key);

// The documents folder named by a user-dirs.dirs text (XDG_DOCUMENTS_DIR="$HOME/..." or an
// absolute path), without a trailing "/". A value of "$HOME/" names the home folder itself.
// "" when the text names none or names it in a form the file's rules do not allow.
std::string userDirsDocuments(std::string_view text, const std::string& home);

} // namespace zandrex::platform::linux_text
