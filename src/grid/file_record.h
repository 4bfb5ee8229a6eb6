// A file's record in the main grid: its columns, in item order, and the paths it stands for.
#pragma once

#include "grid/report_grid.h"

#include <string>
#include <string_view>

namespace zandrex {

namespace col {
constexpr int kPath = 0;     // folder, ending with "/"; carries the tick box
constexpr int kFile = 1;     // lower-case name (the grouping key; shown as found on disk)
constexpr int kSize = 2;     // size in bytes (number)
constexpr int kDate = 3;     // "yyyy.mm.dd hh:mm:ss"
constexpr int kNameSize = 4; // hidden: "name, Size: N"
constexpr int kChecksum = 5; // hidden: CRC-32 text
constexpr int kContent = 6;  // hidden: size, CRC-32 and XXH3-128 of the content
constexpr int kCount = 7;
} // namespace col

// The name-and-size key of item 4: the lower-case name, ", Size: ", the size as the grid shows it.
std::string nameSizeKey(std::string_view lowerName, const GridValue& size);
// Fills item 4 of every record that lacks it (the walk stores it only when the find groups by
// it), so that a grouping by it is right whatever records the grid holds.
void fillNameSizeKeys(ReportGrid& grid);

// The name the record's file has on disk (the "File" column's item holds it lower-cased; the
// window shows this one).
std::string diskNameOf(const ReportGrid& grid, RecordId record);
// The file's path as text: folder + the name as found on disk. For showing and reporting only:
// files are reached through their folder handles, never by this path.
std::string fullPathOf(const ReportGrid& grid, RecordId record);
// The same written over path, whose memory is kept: no allocation when it has room.
void assignFullPath(const ReportGrid& grid, RecordId record, std::string& path);
// The length of that path.
std::size_t fullPathLength(const ReportGrid& grid, RecordId record);

} // namespace zandrex
