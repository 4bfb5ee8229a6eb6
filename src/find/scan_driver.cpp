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
  sources_.clear();
  if (!source_.empty())
    sources_.push_back(source_);
}

void DuplicateFinder::setSources(const std::vector<std::string>& folders) {
  sources_.clear();
  for (const std::string& folder : folders)
    if (!folder.empty())
      sources_.push_back(withTrailingSlash(folder));
  source_ = sources_.empty() ? std::string() : sources_.front();
}

std::string
DuplicateFinder::systemFoldersOf(const std::vector<std::optional<SourceAnchor>>& opened) const {
  auto listFor = [&](std::size_t k) {
    return SystemFolder(opened[k] ? withTrailingSlash(opened[k]->realPath()) : sources_[k]);
  };
  if (opened.size() == 1)
    return listFor(0);
  // Each system folder once, however many of the sources it concerns.
  std::vector<std::string> folders;
  for (std::size_t k = 0; k < opened.size(); ++k) {
    const std::string list = listFor(k);
    for (std::size_t from = 0; from < list.size();) {
      std::size_t end = list.find("\r\n", from);
      if (end == std::string::npos)
        end = list.size();
      std::string folder = list.substr(from, end - from);
      if (std::find(folders.begin(), folders.end(), folder) == folders.end())
        folders.push_back(std::move(folder));
      from = end + 2;
    }
  }
  std::string joined;
  for (const std::string& folder : folders)
    joined += folder + "\r\n";
  return joined;
}

void DuplicateFinder::walkSources(const std::vector<std::optional<SourceAnchor>>& opened,
                                  int openError) {
  found_.clear();
  sourceAncestors_.clear();
  markProtected();
  std::vector<std::size_t> order;
  for (std::size_t k = 0; k < opened.size(); ++k)
    if (opened[k])
      order.push_back(k);
  // However the folders are given, the same ones are listed the same way: an enclosing folder
  // before the folders inside it, which it then already holds.
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return opened[a]->realPath() < opened[b]->realPath();
  });
  const std::string topName = lastPathPiece(withoutTrailingSlash(source_), "/");
  // A source that cannot be listed contributes nothing; a process out of descriptors is not that.
  auto raiseIfExhausted = [&](int error) {
    if (isResourceExhaustion(error))
      trapInner(
          "mScanCD.ShowDir3_FillPreview(pParentName,sParentPath)",
          [error] { raiseSystemError(error); }, topName, source_);
  };
  if (order.empty()) {
    raiseIfExhausted(openError);
    return;
  }
  std::vector<std::string> realPaths;
  for (std::size_t k : order)
    realPaths.push_back(opened[k]->realPath());
  const std::string common = commonFolder(realPaths);
  // Every file is reached from one folder: the one that holds all sources, opened like them.
  std::optional<SourceAnchor> holder;
  const SourceAnchor* anchor = &*opened[order.front()];
  if (anchor->realPath() != common) {
    holder = SourceAnchor::open(common);
    if (!holder) {
      raiseIfExhausted(errno);
      return;
    }
    anchor = &*holder;
  }
  // The texts first: the roots view them.
  std::vector<std::string> topNames;
  std::vector<std::string> belows;
  for (std::size_t k : order) {
    topNames.push_back(lastPathPiece(withoutTrailingSlash(sources_[k]), "/"));
    belows.push_back(pathBelow(opened[k]->realPath(), common));
  }
  std::vector<WalkRoot> roots;
  for (std::size_t i = 0; i < order.size(); ++i)
    roots.push_back({sources_[order[i]], topNames[i], belows[i], opened[order[i]]->identity()});
  found_.sourceRealPath = anchor->realPath();
  found_.sourceIdentity = anchor->identity();
  // A copy: the filter may be changed while events run during the walk.
  const ScanFilter filter = filter_;
  WalkToGrid sink(*this);
  walk_.run(*anchor, roots, found_.folders, sink, filter);
  sourceAncestors_ = ancestorIdentities(anchor->fd());
  markProtected();
}

void DuplicateFinder::scan() {
  trapEvent("Form1.bnFillPreview_Click", [&] {
    if (sources_.empty())
      return;
    // Looked up before the sources are opened: a protected folder's path may name another folder
    // by now, which is then protected as well.
    protectedFolders_.refresh();
    markProtected();
    // The folders walked are the sources' real paths, links resolved: the warning is decided
    // on them, so that an alias (/bin, a link to /usr/bin) warns as its target does. The very
    // folders checked are the ones walked. One that cannot be opened is checked as given
    // (nothing of it is listed).
    std::vector<std::optional<SourceAnchor>> opened;
    int openError = 0;
    for (const std::string& source : sources_) {
      opened.push_back(SourceAnchor::open(source));
      if (!opened.back() && openError == 0)
        openError = errno;
    }
    std::string list = systemFoldersOf(opened);
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
    scannedSources_ = sources_;
    walkSources(opened, openError);
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
