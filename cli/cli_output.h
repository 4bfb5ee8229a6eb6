// The command line's listings of a find's result.
#pragma once

#include "find/duplicate_finder.h"

#include <ostream>
#include <string>
#include <string_view>

namespace zandrex::cli {

// The groups as the grid lists them: a heading line per group, one full path per file, a blank
// line between groups, then the status text. Paths, and names in headings, as quotedName gives
// them; a file in a protected folder has a tab and "(protected)" after its path.
void printText(std::ostream& out, const DuplicateFinder& core);

// The groups for scripts: every file's full path as it is on disk, each followed by a NUL; after
// each group's last path one more NUL (an empty record). No headings, no status text.
void printNullSeparated(std::ostream& out, const DuplicateFinder& core);

// One JSON document, as the desktop saves it (see writeJson); mode indexes kModeNames.
void printJson(std::ostream& out, const DuplicateFinder& core, int mode);
// The CSV table, as the desktop saves it (see writeCsv).
void printCsv(std::ostream& out, const DuplicateFinder& core);

// A name or path for a line of text output. Text without control characters (C0, DEL, C1),
// backslashes, quotes or bytes that are not UTF-8 is returned as it is. Other text is quoted the
// way GNU ls quotes for a terminal (its shell-escape style), so that a shell reads it back as the
// exact bytes: the text in '…', each ' written as \' outside the quotes, and every control
// character or stray byte as $'…' with \n, \t, \r, \a, \b, \f, \v or a three-digit octal escape
// per byte: "a<newline>b" becomes 'a'$'\n''b'. A quoted path thus starts with ' or $, a plain
// one as it always did (with "/" for the paths a find lists), and a quoted text never holds a
// line end or a control character.
std::string quotedName(std::string_view text);
// The same, but always in quotes (for messages that name a path): '/tmp/x'.
std::string quotedAlways(std::string_view text);

} // namespace zandrex::cli
