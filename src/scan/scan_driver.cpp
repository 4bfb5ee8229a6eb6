// The scan driver and the grid record of a file.
#include "errors/err_trap.h"
#include "form1/form1_core.h"
#include "scan/path_routines.h"
#include "scan/system_folder_guard.h"

#include <algorithm>
#include <cerrno>
#include <climits>

namespace zandrex {

namespace {
constexpr int kWarningOn = 1;

std::uint32_t low32(std::uint64_t value) {
  return static_cast<std::uint32_t>(value);
}
std::uint32_t high32(std::uint64_t value) {
  return static_cast<std::uint32_t>(value >> 32);
}
} // namespace

// Turns each file the walk meets into a grid record, counting them in the status text.
class Form1Core::WalkToGrid : public WalkSink {
public:
  explicit WalkToGrid(Form1Core& core) : core_(core) {}
  void beforeEntry() override { core_.view_.doEvents(); }
  bool cancelled() override { return core_.CancelRequested != 0; }
  bool subfolders() override { return core_.view_.subfoldersValue() != 0; }
  void file(const WalkedFile& file) override {
    if (core_.ScannedFileCount == INT32_MAX)
      raiseOverflow();
    ++core_.ScannedFileCount;
    core_.setStatusText(filesText(core_.ScannedFileCount));
    const FileStatus& st = file.status;
    const FileFacts facts{st.identity.device, st.identity.inode, st.mtimeSec,
                          st.mtimeNsec,       st.size,           file.folder};
    parentName_.assign(file.parentName);
    folderPath_.assign(file.folderPath);
    core_.AddRecord(parentName_, folderPath_, lowerCaseName(file.diskName),
                    SysToVBTime(st.mtimeSec, st.mtimeNsec, true),
                    FileSizeWFD(static_cast<std::int32_t>(high32(st.size)),
                                static_cast<std::int32_t>(low32(st.size))),
                    file.diskName, facts);
  }

private:
  Form1Core& core_;
  // Reused: most files share their folder with the one before.
  std::string parentName_;
  std::string folderPath_;
};

void Form1Core::ShowDir3_FillPreview(const std::string& pParentName,
                                     const std::string& sParentPath) {
  folders_.clear();
  sourceRealPath_.clear();
  std::optional<SourceAnchor> source = SourceAnchor::open(sParentPath);
  if (!source) {
    // A source that cannot be listed contributes nothing; a process out of descriptors is not that.
    const int error = errno;
    if (isResourceExhaustion(error))
      trapInner(
          "mScanCD.ShowDir3_FillPreview(pParentName,sParentPath)",
          [error] { raiseSystemError(error); }, pParentName, sParentPath);
    return;
  }
  sourceRealPath_ = source->realPath();
  sourceIdentity_ = source->identity();
  WalkToGrid sink(*this);
  walk_.run(*source, sParentPath, pParentName, folders_, sink);
}

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
