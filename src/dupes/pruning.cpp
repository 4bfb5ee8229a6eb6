// The pruning pass: removes the record of every group that holds a single file.
#include "errors/err_trap.h"
#include "form1/form1_core.h"

namespace zandrex {

namespace {
// Pending events run once every this many rows.
constexpr int kRowsPerEventPass = 10;
} // namespace

void Form1Core::SetPreview() {
  trapInner("Form1.SetPreview", [&] {
    const std::size_t rows = ReportControl1.rowCount();
    std::int32_t left = 0;
    int yieldCounter = 0;
    for (std::size_t i = 0; i < rows; ++i) {
      if (++yieldCounter == kRowsPerEventPass) {
        view_.doEvents();
        yieldCounter = 0;
      }
      if (CancelRequested != 0)
        return;
      addProgress(1);
      const GridRow& row = ReportControl1.row(i);
      if (!row.isGroup()) {
        ++left;
        continue;
      }
      if (row.childCount == 1) {
        // The index is read at removal time: earlier removals have renumbered the records.
        RecordId only = ReportControl1.row(i + 1).record;
        ReportControl1.removeAt(ReportControl1.recordIndex(only));
        --left;
      }
    }
    setStatusText(filesText(left));
  });
}

} // namespace zandrex
