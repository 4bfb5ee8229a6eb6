#include "select/tick_verifier.h"

#include "delete/content_compare.h"
#include "grid/file_identity.h"
#include "grid/file_record.h"

#include <unistd.h>

namespace zandrex {

TickVerifier::TickVerifier(const ReportGrid& grid, const FoundTree& found,
                           std::function<bool()> keepGoing)
    : grid_(grid), folders_(found.folders), keepGoing_(std::move(keepGoing)),
      source_(found.reopenSource()) {
  // A searched folder replaced or moved since the find leaves nothing to reach: every verdict
  // that reads is then Unreadable.
  if (source_)
    resolver_.emplace(source_->fd(), folders_);
}

void TickVerifier::keep(RecordId kept) {
  kept_ = kept;
  keptFd_.reset();
  keptOpened_ = false;
}

UniqueFd TickVerifier::openAsFound(RecordId record) {
  if (!resolver_)
    return {};
  const FileFacts& seen = grid_.facts(record);
  const int folderFd = resolver_->resolve(seen.folder);
  if (folderFd < 0)
    return {};
  UniqueFd file = openFileIn(folderFd, diskNameOf(grid_, record).c_str());
  FileStatus now;
  if (!file.valid() || !statOpen(file.get(), now))
    return {};
  if (!now.regular || now.identity != identityOf(seen) || now.size != seen.size ||
      now.mtimeSec != seen.mtimeSec || now.mtimeNsec != seen.mtimeNsec)
    return {};
  return file;
}

TickVerdict TickVerifier::verdict(RecordId candidate) {
  if (grid_.facts(candidate).size != grid_.facts(kept_).size)
    return TickVerdict::Differs;
  if (!keptOpened_) {
    keptFd_ = openAsFound(kept_);
    keptOpened_ = true;
  }
  if (!keptFd_.valid())
    return TickVerdict::Unreadable;
  UniqueFd file = openAsFound(candidate);
  // The kept file is held open for the whole group: each compare starts from its first byte.
  if (!file.valid() || ::lseek(keptFd_.get(), 0, SEEK_SET) != 0)
    return TickVerdict::Unreadable;
  switch (compareOpenFiles(keptFd_.get(), file.get(), keepGoing_)) {
  case CompareOutcome::Same:
    return TickVerdict::SameBytes;
  case CompareOutcome::Differs:
    return TickVerdict::Differs;
  case CompareOutcome::Stopped:
    return TickVerdict::Stopped;
  case CompareOutcome::KeptUnreadable:
  case CompareOutcome::FileUnreadable:
    return TickVerdict::Unreadable;
  }
  return TickVerdict::Unreadable;
}

} // namespace zandrex
