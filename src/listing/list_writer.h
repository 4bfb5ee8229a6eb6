// The list of a find's groups written for other programs: one JSON document or a CSV table. The
// command line prints them and the desktop saves them through the very same functions, so both
// write the same bytes for the same list.
//
// Names and paths are bytes on Linux, not always UTF-8. Both formats write valid UTF-8 text and
// keep the exact bytes recoverable: a byte that is not part of valid UTF-8 is written as the
// escape \udcXX (XX its value in hexadecimal), the lone-surrogate convention. JSON escapes "\"
// anyway; a CSV field that holds such a byte or a backslash has every backslash doubled, so
// that a reader restores the bytes by undoing "\\" and "\udcXX" in the fields that hold a
// backslash. Other fields are written as they are.
#pragma once

#include "grid/report_grid.h"

#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace zandrex {

// Calls onGroup(position) for each group row and onFile(record) for each file row, in row order.
void forEachRow(const ReportGrid& grid, auto&& onGroup, auto&& onFile) {
  for (std::size_t i = 0; i < grid.rowCount(); ++i) {
    const GridRow& row = grid.row(i);
    if (row.isGroup())
      onGroup(i);
    else
      onFile(row.record);
  }
}

// The names of the comparison modes (--by of the command line, "mode" of the JSON document),
// indexed by comparison mode.
inline constexpr const char* kModeNames[] = {"filename", "size", "filename-size", "content"};
// The mode the grid's rows are grouped by, as an index of kModeNames: the first column of the
// group order (the name, the size, the name-and-size key or the content key); the name mode
// when the grid has no group order.
int modeOfRows(const ReportGrid& grid);

// Whether a listed file lies in a protected folder; none does when empty.
using ProtectedTest = std::function<bool(RecordId)>;

// One JSON document: {"source":…,"sources":[…],"mode":…,"files":N,"groups":[{"key":…,"files":
// [{"path","folder","name","size","date","checksum","protected"}…]}…]} and a line end. modeName
// is one of kModeNames; sources the folders the records were walked from. "source" names the one
// folder of a find given one and is left out otherwise; "sources" lists them all, always.
void writeJson(std::ostream& out, const ReportGrid& grid, const std::vector<std::string>& sources,
               std::string_view modeName, const ProtectedTest& isProtected = {});
// A JSON string literal of text, quotes included, escaped as described above.
std::string jsonString(std::string_view text);

// A CSV table (RFC 4180: fields separated by commas, records ended by CR LF, a field that holds
// a comma, a quote, a CR or an LF in quotes with its quotes doubled): the header row
// "group,key,path,folder,name,size,date,checksum,ticked", then one row per listed file: its
// group's number (1 for the first group; 0 when the rows have no groups), the group key as the
// JSON gives it, the file's path, folder, lower-case name, size in bytes, date, checksum text
// (empty unless found by content), 1 or 0 for its tick and 1 or 0 for lying in a protected folder
// (the header's last field, "protected").
void writeCsv(std::ostream& out, const ReportGrid& grid, const ProtectedTest& isProtected = {});
// One CSV field of text, quoted and escaped as described above.
std::string csvField(std::string_view text);

} // namespace zandrex
