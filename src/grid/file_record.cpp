#include "grid/file_record.h"

namespace zandrex {

std::string nameSizeKey(std::string_view lowerName, const GridValue& size) {
  std::string key(lowerName);
  key += ", Size: ";
  key += size.displayText();
  return key;
}

void fillNameSizeKeys(ReportGrid& grid) {
  const std::size_t count = grid.recordCount();
  for (std::size_t index = 0; index < count; ++index) {
    const RecordId record = grid.recordAt(index);
    // A file name is never empty, so neither is a key once written.
    if (!grid.item(record, col::kNameSize).asText().empty())
      continue;
    grid.setItem(record, col::kNameSize,
                 GridValue::text(nameSizeKey(grid.item(record, col::kFile).asText(),
                                             grid.item(record, col::kSize))));
  }
}

std::string diskNameOf(const ReportGrid& grid, RecordId record) {
  const std::string_view disk = grid.diskName(record);
  return std::string(disk.empty() ? grid.item(record, col::kFile).asText() : disk);
}

namespace {

std::string_view nameOnDisk(const ReportGrid& grid, RecordId record) {
  const std::string_view disk = grid.diskName(record);
  return disk.empty() ? grid.item(record, col::kFile).asText() : disk;
}

} // namespace

std::string fullPathOf(const ReportGrid& grid, RecordId record) {
  std::string path;
  assignFullPath(grid, record, path);
  return path;
}

void assignFullPath(const ReportGrid& grid, RecordId record, std::string& path) {
  path.assign(grid.item(record, col::kPath).asText());
  path.append(nameOnDisk(grid, record));
}

std::size_t fullPathLength(const ReportGrid& grid, RecordId record) {
  return grid.item(record, col::kPath).asText().size() + nameOnDisk(grid, record).size();
}

} // namespace zandrex
