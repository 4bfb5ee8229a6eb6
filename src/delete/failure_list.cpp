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

Form3Core::Form3Core() {
  ReportControl1.addColumn(failcol::kPath, "Path", kPathWidth, true);
  ReportControl1.addColumn(failcol::kFile, "File", kFileWidth, true);
  ReportControl1.addColumn(failcol::kSize, "Size", kSizeWidth, true);
  ReportControl1.addColumn(failcol::kDate, "Date", kDateWidth, true);
  ReportControl1.addColumn(failcol::kReason, "Reason", kReasonWidth, true);
  ReportControl1.setColumnInterned(failcol::kPath, true);
}

void Form3Core::AddRecord(const std::string& pPatn, const std::string& pFileName,
                          const std::string& pDate, const std::string& pSize,
                          const std::string& reason) {
  trapInner(
      "Form3.AddRecord(pPatn,pFileName,pDate,pSize)",
      [&] {
        RecordId record = ReportControl1.addRecord();
        ReportControl1.addItem(record, GridValue::text(pPatn));
        ReportControl1.addItem(record, GridValue::text(pFileName));
        ReportControl1.addItem(record, GridValue::text(pSize));
        ReportControl1.addItem(record, GridValue::text(pDate));
        ReportControl1.addItem(record, GridValue::text(reason));
      },
      pPatn, pFileName, pDate, pSize);
}

void Form3Core::setLastDiskName(std::string_view diskName) {
  if (ReportControl1.recordCount() == 0)
    return;
  RecordId last = ReportControl1.recordAt(ReportControl1.recordCount() - 1);
  ReportControl1.setFacts(last, FileFacts{}, diskName);
}

std::string Form3Core::fullPath(RecordId record) const {
  std::string path(ReportControl1.item(record, failcol::kPath).asText());
  std::string_view disk = ReportControl1.diskName(record);
  path += disk.empty() ? ReportControl1.item(record, failcol::kFile).asText() : disk;
  return path;
}

std::string failureCountText(std::size_t count) {
  return "Deletion failed for " + std::to_string(count) + " file(s)";
}

} // namespace zandrex
