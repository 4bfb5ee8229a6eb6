#include "grid/file_record.h"

namespace zandrex {

std::string diskNameOf(const ReportGrid& grid, RecordId record) {
  const std::string_view disk = grid.diskName(record);
  return std::string(disk.empty() ? grid.item(record, col::kFile).asText() : disk);
}

std::string fullPathOf(const ReportGrid& grid, RecordId record) {
  std::string path(grid.item(record, col::kPath).asText());
  const std::string_view disk = grid.diskName(record);
  path += disk.empty() ? grid.item(record, col::kFile).asText() : disk;
  return path;
}

} // namespace zandrex
