#include "delete/reclaim_action.h"

#include "delete/delete_ticked.h"
#include "delete/link_refusals.h"
#include "grid/file_identity.h"
#include "grid/file_record.h"
#include "platform/platform.h"
#include "platform/shared_copies.h"

#include <algorithm>
#include <cerrno>
#include <vector>

namespace zandrex {

namespace {

constexpr const char* kReasonKeptReplaced = "The copy being kept was replaced";
constexpr const char* kReasonContentsDiffer = "The contents differ";
constexpr const char* kReasonNotSupported = "Not supported by this file system";
constexpr const char* kReasonCancelled = "Cancelled";

std::string systemReason(int error) {
  return platform::systemMessage(static_cast<std::uint32_t>(error));
}

std::string shareReason(const ShareResult& result) {
  switch (result.outcome) {
  case ShareOutcome::Done:
    return {};
  case ShareOutcome::KeptReplaced:
    return kReasonKeptReplaced;
  case ShareOutcome::Differs:
    return kReasonContentsDiffer;
  case ShareOutcome::NotSupported:
    return kReasonNotSupported;
  case ShareOutcome::Stopped:
    return kReasonCancelled;
  case ShareOutcome::Failed:
    break;
  }
  return result.error == EXDEV ? kReasonKeptElsewhere : systemReason(result.error);
}

} // namespace

ReclaimAction::ReclaimAction(ReclaimWay way, const ReportGrid& grid, const FoundTree& found)
    : way_(way), grid_(grid), found_(found) {
  if (way_ == ReclaimWay::Trash)
    trash_.emplace(homeTrashPath());
}

std::string ReclaimAction::realFolderPath(FolderId folder) const {
  std::vector<std::string_view> names;
  for (FolderId at = folder; at != kSourceFolder && at != kNoFolder; at = found_.folders.parent(at))
    names.push_back(found_.folders.name(at));
  std::string path = found_.sourceRealPath;
  std::reverse(names.begin(), names.end());
  for (std::string_view name : names) {
    if (path.empty() || path.back() != '/')
      path.push_back('/');
    path.append(name);
  }
  return path;
}

std::string ReclaimAction::apply(const DeletionGuard& guard, RecordId record,
                                 const std::function<bool()>& keepGoing) {
  const std::string name = diskNameOf(grid_, record);
  switch (way_) {
  case ReclaimWay::Delete:
    if (removeFile(fullPathOf(grid_, record), guard.folderFd(), name) == 0)
      return systemReason(errno);
    return {};
  case ReclaimWay::Trash:
    return trash_->moveToTrash(guard.folderFd(), realFolderPath(grid_.facts(record).folder),
                               name.c_str());
  case ReclaimWay::HardLink:
  case ReclaimWay::Reflink:
    break;
  }
  const RecordId kept = guard.keptRecord();
  if (kept == kNoRecord)
    return kReasonNoKeptCopy;
  if (way_ == ReclaimWay::HardLink)
    return shareReason(replaceWithHardLink(guard.keptFolderFd(), diskNameOf(grid_, kept).c_str(),
                                           identityOf(grid_.facts(kept)), guard.folderFd(),
                                           name.c_str()));
  return shareReason(
      shareExtents(guard.keptFd(), guard.fileFd(), grid_.facts(record).size, keepGoing));
}

} // namespace zandrex
