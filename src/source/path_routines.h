// The small path and file routines the program shares. Paths use "/"; folder texts end with "/".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zandrex {

// "yyyy.mm.dd" or, with WithTime, "yyyy.mm.dd hh:mm:ss" (local time, seconds truncated) of a
// modification time given as seconds and nanoseconds since the epoch. "" when both are 0 or the
// conversion fails.
std::string formatListDate(std::int64_t seconds, std::int64_t nanoseconds, bool WithTime);

// The size from the two 32-bit signed halves of a size. Raises the overflow error (6) above
// 922,337,203,685,477 bytes.
double sizeFromHalves(std::int32_t plngFileSizeHigh, std::int32_t plngFileSizeLow);

// sPath with "/" appended when it does not end with one; "" stays "".
std::string withTrailingSlash(const std::string& sPath);
// sBrowse without its last character when that is "/", else unchanged.
std::string withoutTrailingSlash(const std::string& sBrowse);
// The last piece of sFullPath split at every point, when there are at least two pieces; else "".
std::string lastPathPiece(const std::string& sFullPath, const std::string& point);

// The deepest folder holding every one of the absolute real paths (no trailing "/" but for
// "/" itself), compared name by name: "/a/b" and "/a/bc" give "/a". "/" when they share none;
// "" for no paths.
std::string commonFolder(const std::vector<std::string>& realPaths);
// realPath below folder (commonFolder of it and others), as names joined by "/"; "" when it is
// folder itself.
std::string pathBelow(const std::string& realPath, const std::string& folder);

// Lower case of a file name: ASCII and valid UTF-8 letters are lowered, every other byte is kept
// as it is, so names that are not UTF-8 are never corrupted.
std::string lowerCaseName(std::string_view name);

} // namespace zandrex
