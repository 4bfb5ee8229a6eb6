#include "cli_output.h"

#include "listing/list_writer.h"
#include "select/group_stats.h"
#include "text/utf8.h"

#include <algorithm>
#include <cstdio>

namespace zandrex::cli {

namespace {

// After a protected file's path in the text output. A path printed as it is holds no tab, and a
// quoted one no control character, so the tab tells the mark from any name.
constexpr const char* kProtectedMark = "\t(protected)";

// The length of the character at text[at] when it must be written as an escape (a C0 or C1
// control, DEL, or a stray byte, which counts as 1); 0 when it may stand as it is.
std::size_t escapedLength(std::string_view text, std::size_t at) {
  auto c = static_cast<unsigned char>(text[at]);
  std::size_t length = utf8SequenceLength(text, at);
  if (length == 0)
    return 1;
  if (length == 1)
    return c < 0x20 || c == 0x7f ? 1 : 0;
  if (length == 2 && utf8CodePoint(text, at, length) <= 0x9f)
    return 2;
  return 0;
}

// The length of the character at text[at]: its UTF-8 sequence, or 1 for a stray byte.
std::size_t characterLength(std::string_view text, std::size_t at) {
  return std::max<std::size_t>(utf8SequenceLength(text, at), 1);
}

bool needsQuotes(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); i += characterLength(text, i)) {
    char c = text[i];
    if (c == '\\' || c == '\'' || c == '"' || escapedLength(text, i) != 0)
      return true;
  }
  return false;
}

void appendEscape(std::string& out, unsigned char c) {
  static constexpr char kLetters[] = "abtnvfr"; // \a is 7, \r is 13
  if (c >= 7 && c <= 13) {
    out += '\\';
    out += kLetters[c - 7];
    return;
  }
  char octal[8];
  std::snprintf(octal, sizeof octal, "\\%03o", c);
  out += octal;
}

std::string quoted(std::string_view text) {
  enum class Part { None, Literal, Escapes };
  Part open = Part::None;
  std::string out;
  auto enter = [&](Part part) {
    if (open == part)
      return;
    if (open != Part::None)
      out += '\'';
    if (part == Part::Literal)
      out += '\'';
    else if (part == Part::Escapes)
      out += "$'";
    open = part;
  };
  for (std::size_t i = 0; i < text.size();) {
    if (std::size_t length = escapedLength(text, i)) {
      enter(Part::Escapes);
      for (std::size_t k = 0; k < length; ++k)
        appendEscape(out, static_cast<unsigned char>(text[i + k]));
      i += length;
    } else if (text[i] == '\'') {
      enter(Part::None);
      out += "\\'";
      ++i;
    } else {
      enter(Part::Literal);
      const std::size_t length = characterLength(text, i);
      out.append(text.substr(i, length));
      i += length;
    }
  }
  enter(Part::None);
  // Only the empty text quotes to nothing at all.
  return out.empty() ? "''" : out;
}

} // namespace

std::string quotedName(std::string_view text) {
  return needsQuotes(text) ? quoted(text) : std::string(text);
}

std::string quotedAlways(std::string_view text) {
  return quoted(text);
}

namespace {

// The group's heading with the name in it (the "File" key of the filename modes) quoted.
std::string textHeading(const ReportGrid& grid, std::size_t position) {
  std::string heading = groupHeading(grid, position);
  const int column = grid.groupOrder().front();
  if (column != col::kFile && column != col::kNameSize)
    return heading;
  const std::string key = grid.groupKey(position).displayText();
  // The name-and-size key reads "name, Size: N"; the number holds no ", Size: ".
  const std::string name = column == col::kFile ? key : key.substr(0, key.rfind(", Size: "));
  const std::string prefix = grid.column(column).caption + ": ";
  if (!heading.starts_with(prefix + name))
    return heading;
  std::string quotedKey = quotedName(name);
  if (quotedKey == name)
    return heading;
  return prefix + quotedKey + heading.substr(prefix.size() + name.size());
}

} // namespace

void printText(std::ostream& out, const DuplicateFinder& core) {
  bool first = true;
  forEachRow(
      core.grid(),
      [&](std::size_t position) {
        if (!first)
          out << '\n';
        first = false;
        out << textHeading(core.grid(), position) << '\n';
      },
      [&](RecordId record) {
        first = false;
        out << quotedName(core.fullPath(record)) << (core.isProtected(record) ? kProtectedMark : "")
            << '\n';
      });
  if (!first)
    out << '\n';
  out << core.statusText() << '\n';
}

void printNullSeparated(std::ostream& out, const DuplicateFinder& core) {
  bool inGroup = false;
  forEachRow(
      core.grid(),
      [&](std::size_t) {
        if (inGroup)
          out << '\0';
        inGroup = true;
      },
      [&](RecordId record) { out << core.fullPath(record) << '\0'; });
  if (inGroup)
    out << '\0';
}

void printJson(std::ostream& out, const DuplicateFinder& core, int mode) {
  writeJson(out, core.grid(), core.scannedSources(), kModeNames[mode],
            [&core](RecordId record) { return core.isProtected(record); });
}

void printCsv(std::ostream& out, const DuplicateFinder& core) {
  writeCsv(out, core.grid(), [&core](RecordId record) { return core.isProtected(record); });
}

} // namespace zandrex::cli
