#include "cli_output.h"

#include "digest/content_digest.h"
#include "select/group_stats.h"
#include "text/utf8.h"

#include <cstdio>

namespace zandrex::cli {

namespace {

void forEachRow(const ReportGrid& grid, auto&& onGroup, auto&& onFile) {
  for (std::size_t i = 0; i < grid.rowCount(); ++i) {
    const GridRow& row = grid.row(i);
    if (row.isGroup())
      onGroup(i);
    else
      onFile(row.record);
  }
}

} // namespace

std::string jsonString(std::string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    auto c = static_cast<unsigned char>(text[i]);
    std::size_t length = utf8SequenceLength(text, i);
    char escape[8];
    if (length == 0) {
      std::snprintf(escape, sizeof escape, "\\udc%02x", c);
      out += escape;
      ++i;
      continue;
    }
    if (length > 1) {
      out.append(text.substr(i, length));
      i += length;
      continue;
    }
    ++i;
    switch (c) {
    case '"':
      out += "\\\"";
      break;
    case '\\':
      out += "\\\\";
      break;
    case '\n':
      out += "\\n";
      break;
    case '\r':
      out += "\\r";
      break;
    case '\t':
      out += "\\t";
      break;
    default:
      if (c < 0x20) {
        std::snprintf(escape, sizeof escape, "\\u%04x", c);
        out += escape;
      } else {
        out += static_cast<char>(c);
      }
    }
  }
  return out + "\"";
}

void printText(std::ostream& out, const DuplicateFinder& core) {
  bool first = true;
  forEachRow(
      core.grid(),
      [&](std::size_t position) {
        if (!first)
          out << '\n';
        first = false;
        out << groupHeading(core.grid(), position) << '\n';
      },
      [&](RecordId record) {
        first = false;
        out << core.fullPath(record) << '\n';
      });
  if (!first)
    out << '\n';
  out << core.statusText() << '\n';
}

void printJson(std::ostream& out, const DuplicateFinder& core, int mode) {
  const ReportGrid& grid = core.grid();
  std::size_t files = 0;
  for (std::size_t i = 0; i < grid.rowCount(); ++i)
    files += grid.row(i).isGroup() ? 0 : 1;
  out << "{\"source\":" << jsonString(core.scannedSource())
      << ",\"mode\":" << jsonString(kModeNames[mode]) << ",\"files\":" << files << ",\"groups\":[";
  bool firstGroup = true;
  bool firstFile = true;
  auto valueJson = [](const GridValue& value) {
    return value.isNumber() ? value.displayText() : jsonString(value.displayText());
  };
  forEachRow(
      core.grid(),
      [&](std::size_t position) {
        if (!firstGroup)
          out << "]},";
        firstGroup = false;
        firstFile = true;
        GridValue key = grid.groupKey(position);
        const bool byContent = grid.groupOrder().front() == col::kContent;
        out << "{\"key\":"
            << (byContent ? jsonString(contentKeyText(key.asText())) : valueJson(key))
            << ",\"files\":[";
      },
      [&](RecordId record) {
        if (!firstFile)
          out << ',';
        firstFile = false;
        out << "{\"path\":" << jsonString(core.fullPath(record))
            << ",\"folder\":" << jsonString(grid.item(record, col::kPath).asText())
            << ",\"name\":" << jsonString(grid.item(record, col::kFile).asText())
            << ",\"size\":" << grid.item(record, col::kSize).displayText()
            << ",\"date\":" << jsonString(grid.item(record, col::kDate).asText())
            << ",\"checksum\":" << jsonString(grid.item(record, col::kChecksum).asText()) << '}';
      });
  if (!firstGroup)
    out << "]}";
  out << "]}\n";
}

} // namespace zandrex::cli
