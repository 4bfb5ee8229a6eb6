#include "listing/list_writer.h"

#include "digest/content_digest.h"
#include "grid/file_record.h"
#include "text/utf8.h"

#include <algorithm>
#include <cstdio>

namespace zandrex {

namespace {

constexpr const char* kCsvHeader = "group,key,path,folder,name,size,date,checksum,ticked,protected";
constexpr const char* kCsvLineEnd = "\r\n";

// "\udcXX" for a byte that is not part of valid UTF-8.
void appendStrayByte(std::string& out, unsigned char c) {
  char escape[8];
  std::snprintf(escape, sizeof escape, "\\udc%02x", c);
  out += escape;
}

bool groupedByContentKey(const ReportGrid& grid) {
  return !grid.groupOrder().empty() && grid.groupOrder().front() == col::kContent;
}

// The group key: by content, the readable "size:CRC-32:XXH3-128" instead of the bytes.
std::string keyJson(const ReportGrid& grid, std::size_t position) {
  const GridValue key = grid.groupKey(position);
  if (groupedByContentKey(grid))
    return jsonString(contentKeyText(key.asText()));
  return key.isNumber() ? key.displayText() : jsonString(key.displayText());
}

std::string keyText(const ReportGrid& grid, std::size_t position) {
  const GridValue key = grid.groupKey(position);
  return groupedByContentKey(grid) ? contentKeyText(key.asText()) : key.displayText();
}

bool holdsStrayByte(std::string_view text) {
  for (std::size_t i = 0; i < text.size();
       i += std::max<std::size_t>(1, utf8SequenceLength(text, i)))
    if (utf8SequenceLength(text, i) == 0)
      return true;
  return false;
}

} // namespace

int modeOfRows(const ReportGrid& grid) {
  const auto& order = grid.groupOrder();
  if (order.empty())
    return 0;
  switch (order.front()) {
  case col::kSize:
    return 1;
  case col::kNameSize:
    return 2;
  case col::kContent:
    return 3;
  default:
    return 0;
  }
}

std::string jsonString(std::string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    auto c = static_cast<unsigned char>(text[i]);
    std::size_t length = utf8SequenceLength(text, i);
    if (length == 0) {
      appendStrayByte(out, c);
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
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\u%04x", c);
        out += escape;
      } else {
        out += static_cast<char>(c);
      }
    }
  }
  return out + "\"";
}

void writeJson(std::ostream& out, const ReportGrid& grid, const std::vector<std::string>& sources,
               std::string_view modeName, const ProtectedTest& isProtected) {
  std::size_t files = 0;
  for (std::size_t i = 0; i < grid.rowCount(); ++i)
    files += grid.row(i).isGroup() ? 0 : 1;
  out << '{';
  if (sources.size() == 1)
    out << "\"source\":" << jsonString(sources.front()) << ',';
  out << "\"sources\":[";
  for (std::size_t k = 0; k < sources.size(); ++k)
    out << (k > 0 ? "," : "") << jsonString(sources[k]);
  out << "],\"mode\":" << jsonString(modeName) << ",\"files\":" << files << ",\"groups\":[";
  bool firstGroup = true;
  bool firstFile = true;
  forEachRow(
      grid,
      [&](std::size_t position) {
        if (!firstGroup)
          out << "]},";
        firstGroup = false;
        firstFile = true;
        out << "{\"key\":" << keyJson(grid, position) << ",\"files\":[";
      },
      [&](RecordId record) {
        if (!firstFile)
          out << ',';
        firstFile = false;
        out << "{\"path\":" << jsonString(fullPathOf(grid, record))
            << ",\"folder\":" << jsonString(grid.item(record, col::kPath).asText())
            << ",\"name\":" << jsonString(grid.item(record, col::kFile).asText())
            << ",\"size\":" << grid.item(record, col::kSize).displayText()
            << ",\"date\":" << jsonString(grid.item(record, col::kDate).asText())
            << ",\"checksum\":" << jsonString(grid.item(record, col::kChecksum).asText())
            << ",\"protected\":" << (isProtected && isProtected(record) ? "true" : "false") << '}';
      });
  if (!firstGroup)
    out << "]}";
  out << "]}\n";
}

std::string csvField(std::string_view text) {
  std::string field;
  if (text.find('\\') == std::string_view::npos && !holdsStrayByte(text)) {
    field = text;
  } else {
    for (std::size_t i = 0; i < text.size();) {
      const std::size_t length = utf8SequenceLength(text, i);
      if (length == 0) {
        appendStrayByte(field, static_cast<unsigned char>(text[i]));
        ++i;
        continue;
      }
      if (text[i] == '\\')
        field += '\\';
      field.append(text.substr(i, length));
      i += length;
    }
  }
  if (field.find_first_of(",\"\r\n") == std::string::npos)
    return field;
  std::string quoted = "\"";
  for (char c : field) {
    if (c == '"')
      quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

void writeCsv(std::ostream& out, const ReportGrid& grid, const ProtectedTest& isProtected) {
  out << kCsvHeader << kCsvLineEnd;
  std::size_t group = 0;
  std::string key;
  forEachRow(
      grid,
      [&](std::size_t position) {
        ++group;
        key = csvField(keyText(grid, position));
      },
      [&](RecordId record) {
        out << group << ',' << key << ',' << csvField(fullPathOf(grid, record)) << ','
            << csvField(grid.item(record, col::kPath).asText()) << ','
            << csvField(grid.item(record, col::kFile).asText()) << ','
            << grid.item(record, col::kSize).displayText() << ','
            << csvField(grid.item(record, col::kDate).asText()) << ','
            << csvField(grid.item(record, col::kChecksum).asText()) << ','
            << (grid.ticked(record) ? '1' : '0') << ','
            << (isProtected && isProtected(record) ? '1' : '0') << kCsvLineEnd;
      });
}

} // namespace zandrex
