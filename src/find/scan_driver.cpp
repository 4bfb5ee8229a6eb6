// The scan: the system-folder warning, the walk, and the grid record of each file it meets.
#include "errors/err_trap.h"
#include "find/duplicate_finder.h"
#include "source/path_routines.h"
#include "source/system_folder_guard.h"

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
class DuplicateFinder::WalkToGrid : public WalkSink {
public:
  explicit WalkToGrid(DuplicateFinder& core) : core_(core) {}
  void beforeEntry() override { core_.view_.doEvents(); }
  bool cancelled() override { return core_.cancelRequested_ != 0; }
  bool subfolders() override { return core_.view_.subfoldersValue() != 0; }
  void file(const WalkedFile& file) override {
    if (core_.scannedFileCount_ == INT32_MAX)
      raiseOverflow();
    ++core_.scannedFileCount_;
    ++core_.progress_.files;
    core_.setStatusText(filesText(core_.scannedFileCount_));
    const FileStatus& st = file.status;
    const FileFacts facts{st.identity.device,
                          st.identity.inode,
                          st.mtimeSec,
                          st.mtimeNsec,
                          st.size,
                          file.folder,
                          nanosecondsOf(st.ctimeSec, st.ctimeNsec).value_or(kNoChangeTime)};
    parentName_.assign(file.parentName);
    folderPath_.assign(file.folderPath);
    core_.addFileRecord(parentName_, folderPath_, lowerCaseName(file.diskName),
                        formatListDate(st.mtimeSec, st.mtimeNsec, true),
                        sizeFromHalves(static_cast<std::int32_t>(high32(st.size)),
                                       static_cast<std::int32_t>(low32(st.size))),
                        file.diskName, facts);
  }

private:
  DuplicateFinder& core_;
  // Reused: most files share their folder with the one before.
  std::string parentName_;
  std::string folderPath_;
};

void DuplicateFinder::setSource(const std::string& folder) {
  source_ = withTrailingSlash(folder);
}

void DuplicateFinder::walkSource(const std::string& topName, std::optional<SourceAnchor>& source,
                                 int openError) {
  found_.clear();
  if (!source) {
    // A source that cannot be listed contributes nothing; a process out of descriptors is not that.
    const int error = openError;
    if (isResourceExhaustion(error))
      trapInner(
          "mScanCD.ShowDir3_FillPreview(pParentName,sParentPath)",
          [error] { raiseSystemError(error); }, topName, source_);
    return;
  }
  found_.sourceRealPath = source->realPath();
  found_.sourceIdentity = source->identity();
  WalkToGrid sink(*this);
  walk_.run(*source, source_, topName, found_.folders, sink);
}

void DuplicateFinder::scan() {
  trapEvent("Form1.bnFillPreview_Click", [&] {
    if (source_.empty())
      return;
    // The folder walked is the source's real path, links resolved: the warning is decided on
    // it, so that an alias (/bin, a link to /usr/bin) warns as its target does. The very folder
    // checked is the one walked. One that cannot be opened is checked as given (nothing of it
    // is listed).
    std::optional<SourceAnchor> source = SourceAnchor::open(source_);
    const int openError = source ? 0 : errno;
    std::string list = SystemFolder(source ? withTrailingSlash(source->realPath()) : source_);
    // A stored switch that is not a number counts as on: the warning errs on the safe side.
    auto check = toInteger16(settings_.GetSetting(kAppTitle, "Settings", "CheckForSystemFolders",
                                                  std::to_string(kWarningOn)));
    if (!list.empty() && check.value_or(kWarningOn) == kWarningOn &&
        !view_.showSystemFolderWarning(list))
      return;
    view_.setMousePointer(MousePointer::Hourglass);
    grid_.deleteAll();
    nameSizeKeysMissing_ = false;
    grid_.rebuildRows();
    cancelRequested_ = 0;
    scannedFileCount_ = 0;
    scannedSource_ = source_;
    walkSource(lastPathPiece(withoutTrailingSlash(source_), "/"), source, openError);
    if (cancelRequested_ != 0) {
      cancelRequested_ = 0;
      progress_.cancelled = true;
      setStatusText(filesText(0));
      return;
    }
    startGrouping();
    rebuildRowsWhileHidden();
  });
}

void DuplicateFinder::addFileRecord(const std::string& pParentName, const std::string& pPatn,
                                    const std::string& pFileName, const std::string& pDate,
                                    double pSize, std::string_view diskName,
                                    const FileFacts& facts) {
  trapInner(
      "Form1.AddRecord(pParentName,pPatn,pFileName,pDate)",
      [&] {
        GridValue size = GridValue::number(pSize);
        RecordId record = grid_.addRecord();
        grid_.addItem(record, GridValue::text(pPatn));
        grid_.setCheckbox(record, true);
        grid_.addItem(record, GridValue::text(pFileName));
        grid_.addItem(record, size);
        grid_.addItem(record, GridValue::text(pDate));
        // The name-and-size text is only ever a grouping key, hidden from view: a million of
        // them are not kept when the find groups by something else. A later grouping by it
        // fills it first (fillGroupKeys).
        const auto& order = grid_.groupOrder();
        if (std::find(order.begin(), order.end(), col::kNameSize) != order.end()) {
          grid_.addItem(record, GridValue::text(nameSizeKey(pFileName, size)));
        } else {
          grid_.addItem(record, GridValue::text(""));
          nameSizeKeysMissing_ = true;
        }
        grid_.addItem(record, GridValue::text(""));
        grid_.addItem(record, GridValue::text(""));
        grid_.setFacts(record, facts, diskName == pFileName ? std::string_view{} : diskName);
      },
      pParentName, pPatn, pFileName, pDate);
}

void DuplicateFinder::expandRow(std::size_t rowPosition) {
  trapEvent(
      "Form1.ReportControl1_RowExpanded(Row)", [&] { grid_.setRowExpanded(rowPosition, true); },
      ParamValue::object("ReportRow"));
}

} // namespace zandrex
