// "Find": scan, group by the chosen key, prune single-file groups and, in the content mode,
// checksum, regroup and prune again.
#include "errors/err_trap.h"
#include "form1/busy_scope.h"
#include "form1/form1_core.h"

namespace zandrex {

void Form1Core::finishEmpty() {
  view_.setMousePointer(MousePointer::Default);
  view_.setPleaseWaitVisible(false);
  view_.setGridVisible(true);
  ReportControl1.deleteAll();
  ReportControl1.rebuildRows();
  progressBar1_.value = 0;
  view_.progressChanged(1);
  updateStatusText2(false);
}

void Form1Core::Command3_Click() {
  // Re-entering from a pumped event would rebuild the grid under a running pass.
  if (busy_)
    return;
  BusyScope busy(busy_);
  trapEvent("Form1.Command3_Click", [&] {
    CancelRequested = 0;
    findNote_.clear();
    view_.findNoteChanged();
    view_.setGridVisible(false);
    view_.setPleaseWaitVisible(true);
    view_.setDeleteEnabled(false);
    ReportControl1.groupOrderClear();
    progressBar1_.value = 0;
    progressBar2_.value = 0;
    view_.progressChanged(1);
    view_.progressChanged(2);
    if (view_.comparisonIndex() == ByName)
      ReportControl1.groupOrderAdd(col::kFile);
    if (view_.comparisonIndex() == BySize)
      ReportControl1.groupOrderAdd(col::kSize);
    if (view_.comparisonIndex() == ByNameAndSize)
      ReportControl1.groupOrderAdd(col::kNameSize);
    if (view_.comparisonIndex() == ByContent)
      ReportControl1.groupOrderAdd(col::kSize);

    bnFillPreview_Click();
    auto startPass = [&] {
      progressBar1_ = ProgressBar{0, 0, static_cast<float>(ReportControl1.rowCount())};
      view_.progressChanged(1);
    };
    if (ReportControl1.rowCount() == 0) {
      finishEmpty();
      return;
    }
    startPass();
    SetPreview();
    rebuildRowsWhileHidden();

    if (view_.comparisonIndex() == ByContent) {
      if (ReportControl1.rowCount() == 0) {
        finishEmpty();
        return;
      }
      startPass();
      CheckCRC();
      ReportControl1.groupOrderClear();
      // Size, CRC-32 and XXH3-128 together: a CRC-32 alone lets different files meet.
      ReportControl1.groupOrderAdd(col::kContent);
      rebuildRowsWhileHidden();
      startPass();
      SetPreview();
      rebuildRowsWhileHidden();
    }

    if (CancelRequested != 0) {
      CancelRequested = 0;
      progressBar1_.value = 0;
      view_.progressChanged(1);
      ReportControl1.deleteAll();
      rebuildRowsWhileHidden();
      progressBar1_.value = 0;
      view_.progressChanged(1);
    } else {
      rebuildRowsWhileHidden();
    }
    view_.setMousePointer(MousePointer::Default);
    view_.setPleaseWaitVisible(false);
    view_.setGridVisible(true);
    if (ReportControl1.rowCount() > 0)
      view_.setDeleteEnabled(true);
    updateStatusText2(false);
  });
}

} // namespace zandrex
