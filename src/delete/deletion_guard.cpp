#include "delete/deletion_guard.h"

#include "delete/content_compare.h"
#include "delete/link_refusals.h"
#include "grid/file_identity.h"
#include "grid/file_record.h"
#include "platform/platform.h"
#include "source/protected_folders.h"

#include <cerrno>

namespace zandrex {

namespace {

constexpr const char* kReasonSourceReplaced = "The searched folder was replaced or moved";
constexpr const char* kReasonFolderReplaced = "The folder was replaced or moved";
constexpr const char* kReasonFileReplaced = "The file was replaced";
constexpr const char* kReasonChanged = "Changed since the search";
constexpr const char* kReasonGone = "No longer exists";
constexpr const char* kReasonNotRegular = "No longer a regular file";
constexpr const char* kReasonSameFileKept = "Same file as a copy being kept (hard link)";
constexpr const char* kReasonTwinDiffers = "The copy being kept no longer has the same content";
constexpr const char* kReasonTwinGone = "The copy being kept no longer exists";
constexpr const char* kReasonTwinReplaced = "The copy being kept was replaced";
constexpr const char* kReasonCancelled = "Cancelled";
constexpr const char* kReasonNotSameContent = "Not the same content as the copy being kept";
constexpr const char* kReasonProtected = "In a protected folder";

std::string systemReason(int error) {
  return platform::systemMessage(static_cast<std::uint32_t>(error));
}

std::string reachReason(const FolderResolver& resolver, const char* replacedReason,
                        const char* goneReason) {
  switch (resolver.outcome()) {
  case Reach::Gone:
    return goneReason;
  case Reach::Replaced:
    return replacedReason;
  default:
    return systemReason(resolver.error());
  }
}

// The twin as it is now, or why it cannot stand for the kept copy.
struct OpenTwin {
  UniqueFd fd;
  const char* refusal = nullptr;
};

} // namespace

DeletionGuard::DeletionGuard(const ReportGrid& grid, const FoundTree& found, bool contentMode,
                             bool linkToKept, const ProtectedMarks* protectedFiles)
    : grid_(grid), contentMode_(contentMode), linkToKept_(linkToKept),
      protectedFiles_(protectedFiles),
      source_(found.reopenSource()) {
  const int sourceFd = source_ ? source_->fd() : -1;
  files_.emplace(sourceFd, found.folders);
  twins_.emplace(sourceFd, found.folders);
  for (std::size_t i = 0; i < grid_.rowCount(); ++i) {
    const GridRow& row = grid_.row(i);
    if (row.isGroup()) {
      groups_.push_back({});
      continue;
    }
    if (!grid_.isLive(row.record))
      continue;
    if (groups_.empty())
      groups_.push_back({});
    Group& group = groups_.back();
    ++group.members;
    groupOf_.emplace(row.record, groups_.size() - 1);
    if (grid_.ticked(row.record) && !isProtected(row.record))
      continue;
    group.kept.push_back(row.record);
    ++keptIdentities_[identityOf(grid_.facts(row.record))];
  }
}

bool DeletionGuard::isProtected(RecordId record) const {
  return protectedFiles_ && protectedFiles_->file(grid_, record);
}

std::string DeletionGuard::fileRefusal(RecordId record) {
  if (!source_)
    return kReasonSourceReplaced;
  const FileFacts seen = grid_.facts(record);
  folderFd_ = files_->resolve(seen.folder);
  if (folderFd_ < 0)
    return reachReason(*files_, kReasonFolderReplaced, kReasonGone);
  FileStatus now;
  if (!statIn(folderFd_, diskNameOf(grid_, record).c_str(), now))
    return errno == ENOENT ? kReasonGone : systemReason(errno);
  if (now.identity != identityOf(seen))
    return kReasonFileReplaced;
  if (!now.regular)
    return kReasonNotRegular;
  if (now.size != seen.size || now.mtimeSec != seen.mtimeSec || now.mtimeNsec != seen.mtimeNsec)
    return kReasonChanged;
  if (keptIdentities_.contains(now.identity))
    return kReasonSameFileKept;
  return {};
}

std::string DeletionGuard::refusal(RecordId record, const std::function<bool()>& keepGoing) {
  folderFd_ = -1;
  keptRecord_ = kNoRecord;
  keptFolderFd_ = -1;
  keptFd_.reset();
  fileFd_.reset();
  if (isProtected(record))
    return kReasonProtected;
  std::string reason = fileRefusal(record);
  if (!reason.empty() || !(contentMode_ || linkToKept_))
    return reason;
  return twinRefusal(record, keepGoing);
}

std::string DeletionGuard::lastLook(RecordId record) {
  FileStatus now;
  if (folderFd_ < 0 || !statIn(folderFd_, diskNameOf(grid_, record).c_str(), now))
    return kReasonGone;
  return now.identity == identityOf(grid_.facts(record)) ? std::string() : kReasonFileReplaced;
}

// A content duplicate goes only when a kept twin still holds the very same bytes.
std::string DeletionGuard::twinRefusal(RecordId record, const std::function<bool()>& keepGoing) {
  auto it = groupOf_.find(record);
  if (it == groupOf_.end() || groups_[it->second].kept.empty())
    return linkToKept_ ? kReasonNoKeptCopy : std::string();
  const FileIdentity self = identityOf(grid_.facts(record));
  const char* refusal = kReasonTwinGone;
  for (RecordId twin : groups_[it->second].kept) {
    // Each compare starts from the first byte of both files.
    UniqueFd file = openFileIn(folderFd_, diskNameOf(grid_, record).c_str());
    FileStatus fileNow;
    if (!file.valid() || !statOpen(file.get(), fileNow) || fileNow.identity != self)
      return kReasonFileReplaced;

    const FileFacts twinSeen = grid_.facts(twin);
    if (linkToKept_ && identityOf(twinSeen).device != self.device) {
      refusal = kReasonKeptElsewhere;
      continue;
    }
    const int twinFolder = twins_->resolve(twinSeen.folder);
    if (twinFolder < 0) {
      if (twins_->outcome() == Reach::Replaced)
        refusal = kReasonTwinReplaced;
      continue;
    }
    UniqueFd kept = openFileIn(twinFolder, diskNameOf(grid_, twin).c_str());
    FileStatus keptNow;
    if (!kept.valid()) {
      if (reachForError(errno) == Reach::Replaced)
        refusal = kReasonTwinReplaced;
      continue;
    }
    // Never the file against itself: the kept copy must be the one the find saw, and another.
    if (!statOpen(kept.get(), keptNow) || !keptNow.regular ||
        keptNow.identity != identityOf(twinSeen) || keptNow.identity == self) {
      refusal = kReasonTwinReplaced;
      continue;
    }
    switch (compareOpenFiles(kept.get(), file.get(), keepGoing)) {
    case CompareOutcome::Same:
      keptRecord_ = twin;
      keptFolderFd_ = twinFolder;
      keptFd_ = std::move(kept);
      fileFd_ = std::move(file);
      return {};
    case CompareOutcome::Stopped:
      return kReasonCancelled;
    case CompareOutcome::FileUnreadable:
      return systemReason(errno);
    case CompareOutcome::Differs:
      refusal = contentMode_ ? kReasonTwinDiffers : kReasonNotSameContent;
      break;
    case CompareOutcome::KeptUnreadable:
      break;
    }
  }
  return refusal;
}

void DeletionGuard::deleted(RecordId record) {
  auto it = groupOf_.find(record);
  if (it != groupOf_.end())
    ++groups_[it->second].deleted;
}

std::uint32_t DeletionGuard::groupsLost() const {
  std::uint32_t lost = 0;
  for (const Group& group : groups_)
    lost += group.members > 0 && group.deleted == group.members ? 1 : 0;
  return lost;
}

} // namespace zandrex
