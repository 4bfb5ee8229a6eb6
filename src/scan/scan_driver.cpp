// The scan driver and the grid record of a file.
#include "errors/err_trap.h"
#include "form1/form1_core.h"
#include "scan/path_routines.h"
#include "scan/system_folder_guard.h"

#include <algorithm>

namespace zandrex {

namespace {
constexpr int kWarningOn = 1;
} // namespace

void Form1Core::bnFillPreview_Click() {
  trapEvent("Form1.bnFillPreview_Click", [&] {
    if (fdFromForRename.empty())
      return;
    std::string list = SystemFolder(fdFromForRename);
    // A stored switch that is not a number counts as on: the warning errs on the safe side.
    auto check = toInteger16(settings_.GetSetting(kAppTitle, "Settings", "CheckForSystemFolders",
                                                  std::to_string(kWarningOn)));
    if (!list.empty() && check.value_or(kWarningOn) == kWarningOn &&
        !view_.showSystemFolderWarning(list))
      return;
    view_.setMousePointer(MousePointer::Hourglass);
    ReportControl1.deleteAll();
    ReportControl1.rebuildRows();
    if (SourcePath.empty())
      return;
    CancelRequested = 0;
    ScannedFileCount = 0;
    enteredFolders_.clear();
    scannedSource_ = SourcePath;
    std::string top = SplitingFolder(GetPathWithNoSlash(SourcePath), "/");
    ShowDir3_FillPreview(top, SourcePath);
    if (CancelRequested != 0) {
      CancelRequested = 0;
      setStatusText(filesText(0));
      return;
    }
    rebuildRowsWhileHidden();
  });
}

void Form1Core::AddRecord(const std::string& pParentName, const std::string& pPatn,
                          const std::string& pFileName, const std::string& pDate, double pSize,
                          std::string_view diskName, const FileFacts& facts) {
  trapInner(
      "Form1.AddRecord(pParentName,pPatn,pFileName,pDate)",
      [&] {
        GridValue size = GridValue::number(pSize);
        RecordId record = ReportControl1.addRecord();
        ReportControl1.addItem(record, GridValue::text(pPatn));
        ReportControl1.setCheckbox(record, true);
        ReportControl1.addItem(record, GridValue::text(pFileName));
        ReportControl1.addItem(record, size);
        ReportControl1.addItem(record, GridValue::text(pDate));
        // The name-and-size text is only ever a grouping key, hidden from view: a million of
        // them are not kept when the find groups by something else.
        const auto& order = ReportControl1.groupOrder();
        if (std::find(order.begin(), order.end(), col::kNameSize) != order.end())
          ReportControl1.addItem(record,
                                 GridValue::text(pFileName + ", Size: " + size.displayText()));
        else
          ReportControl1.addItem(record, GridValue::text(""));
        ReportControl1.addItem(record, GridValue::text(""));
        ReportControl1.addItem(record, GridValue::text(""));
        ReportControl1.setFacts(record, facts,
                                diskName == pFileName ? std::string_view{} : diskName);
      },
      pParentName, pPatn, pFileName, pDate);
}

void Form1Core::ReportControl1_RowExpanded(std::size_t rowPosition) {
  trapEvent(
      "Form1.ReportControl1_RowExpanded(Row)",
      [&] { ReportControl1.setRowExpanded(rowPosition, true); }, ParamValue::object("ReportRow"));
}

} // namespace zandrex
