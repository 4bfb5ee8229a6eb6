// The command line's listings of a find's result.
#pragma once

#include "find/duplicate_finder.h"

#include <ostream>
#include <string>
#include <string_view>

namespace zandrex::cli {

// The mode names of --by, indexed by comparison mode.
inline constexpr const char* kModeNames[] = {"filename", "size", "filename-size", "content"};

// The groups as the grid lists them: a heading line per group, one full path per file, a blank
// line between groups, then the status text.
void printText(std::ostream& out, const DuplicateFinder& core);

// One JSON document. Text is written as UTF-8; a byte that is not part of valid UTF-8 is written
// as the escape \udcXX (XX its value), the lone-surrogate convention that lets a reader restore
// the exact bytes.
void printJson(std::ostream& out, const DuplicateFinder& core, int mode);

// A JSON string literal of text, quotes included, escaped as described above.
std::string jsonString(std::string_view text);

} // namespace zandrex::cli
