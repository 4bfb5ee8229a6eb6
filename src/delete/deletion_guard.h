// Decides, just before each deletion, whether a ticked file may go: it must still be the very
// file the find saw, reached the way the find reached it, and deleting it must not take the copy
// being kept.
//
// Every check goes through handles anchored at the searched folder: the source is opened again
// by its real path and must be the folder walked; the file's folder is descended to one name at
// a time, never through a link, each folder checked by device and inode; the file is looked at
// relative to that folder handle. Its device, inode, size and modification time (to the
// nanosecond) must be those of the find, in every mode. By content, a kept copy of its group,
// reached the same way, must be the file the find saw and another file than this one, and must
// hold the very same bytes, compared through the two open descriptors. A guard for linking
// makes that last check in every mode (the kept copy is what the name will be linked to) and
// also asks for a kept copy on the same file system.
// A file in a protected folder is refused whatever else holds, and stands as a kept copy of
// its group: it stays.
//
// What remains: between lastLook() and the removal of the name (microseconds, in the folder
// already checked) someone allowed to write to that folder could rename another file to this
// name. Such a user can delete the file anyway; the removal never leaves the checked folder.
#pragma once

#include "grid/report_grid.h"
#include "platform/anchored_tree.h"

#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace zandrex {

class ProtectedMarks;

class DeletionGuard {
public:
  // Reads the groups, the ticks and the kept files from grid's current rows. The grid, the
  // folders and protectedFiles (none when null) must stay unchanged, but for records removed,
  // while the guard is used.
  // linkToKept: the files are to become links of a kept copy, which must then exist, be on the
  // same file system and hold the same bytes, whatever the mode.
  DeletionGuard(const ReportGrid& grid, const FoundTree& found, bool contentMode,
                bool linkToKept = false, const ProtectedMarks* protectedFiles = nullptr);

  // Why the file of record must not be deleted; "" when it may (its folder handle is then
  // folderFd()). keepGoing is called during a byte compare; false ends it with a refusal.
  std::string refusal(RecordId record, const std::function<bool()>& keepGoing);
  // One more look just before the removal: "" when the name still is the file checked.
  std::string lastLook(RecordId record);
  // The handle of the folder of the record checked last; valid until the next refusal().
  int folderFd() const { return folderFd_; }
  // After refusal() let a file go having compared it with a kept copy: that copy's record, its
  // folder's handle and the two files open (read to their ends); valid until the next refusal().
  // kNoRecord and -1 when no copy was compared.
  RecordId keptRecord() const { return keptRecord_; }
  int keptFolderFd() const { return keptFolderFd_; }
  int keptFd() const { return keptFd_.get(); }
  int fileFd() const { return fileFd_.get(); }

  void deleted(RecordId record);
  // Groups whose every member this run deleted.
  std::uint32_t groupsLost() const;

private:
  struct Group {
    std::uint32_t members = 0;
    std::uint32_t deleted = 0;
    std::vector<RecordId> kept;
  };

  std::string twinRefusal(RecordId record, const std::function<bool()>& keepGoing);
  std::string fileRefusal(RecordId record);

  bool isProtected(RecordId record) const;

  const ReportGrid& grid_;
  bool contentMode_ = false;
  bool linkToKept_ = false;
  const ProtectedMarks* protectedFiles_ = nullptr;
  std::optional<SourceAnchor> source_;
  std::optional<FolderResolver> files_;
  std::optional<FolderResolver> twins_;
  int folderFd_ = -1;
  RecordId keptRecord_ = kNoRecord;
  int keptFolderFd_ = -1;
  UniqueFd keptFd_;
  UniqueFd fileFd_;
  std::vector<Group> groups_;
  std::unordered_map<RecordId, std::size_t> groupOf_;
  std::unordered_map<FileIdentity, std::uint32_t, FileIdentityHash> keptIdentities_;
};

} // namespace zandrex
