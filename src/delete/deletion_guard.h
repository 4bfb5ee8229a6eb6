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
// hold the very same bytes, compared through the two open descriptors. A file in a protected
// folder is refused whatever else holds, and stands as a kept copy of its group: it stays.
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
  DeletionGuard(const ReportGrid& grid, const FoundTree& found, bool contentMode,
                const ProtectedMarks* protectedFiles = nullptr);

  // Why the file of record must not be deleted; "" when it may (its folder handle is then
  // folderFd()). keepGoing is called during a byte compare; false ends it with a refusal.
  std::string refusal(RecordId record, const std::function<bool()>& keepGoing);
  // One more look just before the removal: "" when the name still is the file checked.
  std::string lastLook(RecordId record);
  // The handle of the folder of the record checked last; valid until the next refusal().
  int folderFd() const { return folderFd_; }

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
  const ProtectedMarks* protectedFiles_ = nullptr;
  std::optional<SourceAnchor> source_;
  std::optional<FolderResolver> files_;
  std::optional<FolderResolver> twins_;
  int folderFd_ = -1;
  std::vector<Group> groups_;
  std::unordered_map<RecordId, std::size_t> groupOf_;
  std::unordered_map<FileIdentity, std::uint32_t, FileIdentityHash> keptIdentities_;
};

} // namespace zandrex
