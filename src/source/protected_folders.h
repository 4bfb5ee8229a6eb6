// Protected folders: folders whose files are listed like any other but never ticked by a helper
// and never deleted. A folder is known by its identity (device and inode), taken when it is
// chosen, so a protected folder renamed or moved afterwards stays protected, and one reached
// through a link protects the folder the link leads to. Its files are protected at any depth.
#pragma once

#include "grid/report_grid.h"
#include "platform/anchored_tree.h"

#include <string>
#include <vector>

namespace zandrex {

// The folders the user protects, as chosen (paths) and as found (identities).
class ProtectedFolders {
public:
  // Replaces the list and looks each folder up now (links followed). Returns the folders that
  // could not be opened as folders; they are kept in the list and looked up again by refresh().
  std::vector<std::string> set(std::vector<std::string> folders);
  // Looks every folder up again, keeping the identities found before: a folder renamed since it
  // was chosen stays protected, and whatever folder its path names now is protected too.
  void refresh();
  const std::vector<std::string>& folders() const { return folders_; }
  // Sorted, without repeats.
  const std::vector<FileIdentity>& identities() const { return identities_; }
  bool contains(FileIdentity identity) const;
  bool empty() const { return identities_.empty(); }

private:
  // Adds the identity of each folder that can be opened; returns those that cannot.
  std::vector<std::string> lookUp();

  std::vector<std::string> folders_;
  std::vector<FileIdentity> identities_;
};

// Which folders of a find lie in a protected folder, worked out once per folder so that asking
// about a file costs one array look-up.
class ProtectedMarks {
public:
  // One pass over the folders in the order the walk recorded them (a parent before its
  // children): a folder is protected when it is one of protectedFolders, or its parent is.
  // sourceInside says the searched folder itself lies below a protected folder (decided from its
  // ancestors, which the table does not hold): then every folder is.
  void mark(const FolderTable& folders, const ProtectedFolders& protectedFolders,
            bool sourceInside);
  void clear();
  bool folder(FolderId folder) const {
    return any_ && folder < flags_.size() && flags_[folder] != 0;
  }
  // Reads the record's facts only when some folder is protected.
  bool file(const ReportGrid& grid, RecordId record) const {
    return any_ && folder(grid.facts(record).folder);
  }
  // Some folder of the find is protected.
  bool any() const { return any_; }

private:
  std::vector<std::uint8_t> flags_;
  bool any_ = false;
};

// True when one of ancestors (the identities of the folders above the searched one) is protected.
bool insideProtected(const std::vector<FileIdentity>& ancestors,
                     const ProtectedFolders& protectedFolders);

} // namespace zandrex
