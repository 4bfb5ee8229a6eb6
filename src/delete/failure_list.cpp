#include "delete/failure_list.h"

#include "errors/err_trap.h"

namespace zandrex {

namespace {
constexpr int kPathWidth = 300;
constexpr int kFileWidth = 220;
constexpr int kSizeWidth = 120;
constexpr int kDateWidth = 120;
constexpr int kReasonWidth = 260;
} // namespace

FailureList::FailureList() {
  grid_.addColumn(failcol::kPath, "Path", kPathWidth, true);
  grid_.addColumn(failcol::kFile, "File", kFileWidth, true);
  grid_.addColumn(failcol::kSize, "Size", kSizeWidth, true);
  grid_.addColumn(failcol::kDate, "Date", kDateWidth, true);
  grid_.addColumn(failcol::kReason, "Reason", kReasonWidth, true);
  grid_.setColumnInterned(failcol::kPath, true);
}

void FailureList::clear(ReclaimWay way) {
  grid_.deleteAll();
  way_ = way;
}

std::string FailureList::title() const {
  return std::string(reclaimNoun(way_)) + " failure";
}

void FailureList::add(const std::string& folder, const std::string& name, const std::string& date,
                      const std::string& size, const std::string& reason,
                      std::string_view diskName) {
  trapInner(
      "Form3.AddRecord(pPatn,pFileName,pDate,pSize)",
      [&] {
        RecordId record = grid_.addRecord();
        grid_.addItem(record, GridValue::text(folder));
        grid_.addItem(record, GridValue::text(name));
        grid_.addItem(record, GridValue::text(size));
        grid_.addItem(record, GridValue::text(date));
        grid_.addItem(record, GridValue::text(reason));
        if (!diskName.empty() && diskName != name)
          grid_.setFacts(record, FileFacts{}, diskName);
      },
      folder, name, date, size);
}

void FailureList::finish() {
  grid_.rebuildRows();
  countLabel_ = failureCountText(grid_.recordCount(), way_);
}

std::string FailureList::fullPath(RecordId record) const {
  std::string path(grid_.item(record, failcol::kPath).asText());
  std::string_view disk = grid_.diskName(record);
  path += disk.empty() ? grid_.item(record, failcol::kFile).asText() : disk;
  return path;
}

std::string failureCountText(std::size_t count, ReclaimWay way) {
  return std::string(reclaimNoun(way)) + " failed for " + std::to_string(count) + " file(s)";
}

} // namespace zandrex
