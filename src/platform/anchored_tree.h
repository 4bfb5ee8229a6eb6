// Every file of a find is reached through handles anchored at the searched folder: the folder is
// opened once by its real path, and from then on no system call takes a full path. A folder is
// reached by descending from the source one name at a time, never through a symbolic link, and
// each folder on the way must be the very one the walk recorded (device and inode); files are
// opened, stat'ed and removed relative to their folder's handle. So a folder swapped for a link,
// moved or replaced after the walk is refused instead of followed out of the tree, and paths of
// any length and trees of any depth work. A find of several folders is anchored at the deepest
// folder holding them all, and reaches each of them from there the same way.
#pragma once

#include "platform/file_identity.h"
#include "platform/unique_fd.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zandrex {

using FolderId = std::uint32_t;
// The anchor (the searched folder, or the one holding all the searched folders) is always the
// first folder a walk records.
inline constexpr FolderId kSourceFolder = 0;
inline constexpr FolderId kNoFolder = UINT32_MAX;

// The folders a walk entered: each one's parent, name and identity. Append-only during a walk;
// shared read-only by the content pass's workers and the deletion guard afterwards.
class FolderTable {
public:
  void clear();
  // Records a folder; the source is added first, with parent kNoFolder and an empty name.
  FolderId add(FolderId parent, std::string_view name, FileIdentity identity);
  std::size_t size() const { return entries_.size(); }
  FolderId parent(FolderId folder) const { return entries_[folder].parent; }
  std::string_view name(FolderId folder) const;
  FileIdentity identity(FolderId folder) const { return entries_[folder].identity; }

private:
  struct Entry {
    FolderId parent;
    std::uint32_t nameLength;
    std::size_t nameOffset;
    FileIdentity identity;
  };
  std::vector<Entry> entries_;
  std::string names_;
};

// What the system says of a file, read without following a link.
struct FileStatus {
  FileIdentity identity;
  std::uint64_t size = 0;
  std::int64_t mtimeSec = 0;
  std::int64_t mtimeNsec = 0;
  // The last change of the file's bytes or of its status (which nobody can set back).
  std::int64_t ctimeSec = 0;
  std::int64_t ctimeNsec = 0;
  bool regular = false;
  bool folder = false;
};

// True for the errors that mean the process ran out of descriptors or memory: a walk must not
// take them for an unreadable folder.
bool isResourceExhaustion(int error);

// The searched folder, open. Not copyable; the descriptor lives as long as the anchor.
class SourceAnchor {
public:
  // Resolves chosenPath to its real path (the one full-path lookup of a find) and opens that
  // path one name at a time from "/" without following links. Nothing when it is not a folder
  // that can be opened; errno then says why.
  static std::optional<SourceAnchor> open(const std::string& chosenPath);
  // Opens realPath again the same way and checks that it is still the folder with identity.
  // Nothing when a folder on the way is now a link, is gone, or is another folder.
  static std::optional<SourceAnchor> reopen(const std::string& realPath, FileIdentity identity);

  // A descriptor of the folder that can be listed and that names are resolved against.
  int fd() const { return fd_.get(); }
  const std::string& realPath() const { return realPath_; }
  FileIdentity identity() const { return identity_; }

private:
  SourceAnchor() = default;
  UniqueFd fd_;
  std::string realPath_;
  FileIdentity identity_;
};

// Where a find's files are: the anchor's real path and identity, and the folders the walk passed
// or entered. Every step after the walk reaches the files through it.
struct FoundTree {
  std::string sourceRealPath; // "" before a walk
  FileIdentity sourceIdentity;
  FolderTable folders;
  void clear();
  // The source opened again and checked; nothing when it was replaced, moved or never walked.
  std::optional<SourceAnchor> reopenSource() const;
};

// How reaching a folder or a file ended.
enum class Reach {
  Reached,
  Gone,     // a name on the way no longer exists
  Replaced, // a name on the way is now a link, a file, or another folder than the walk saw
  Refused,  // the system refused (permissions, resources): error() tells
};

// Reaches recorded folders from the source, keeping the last chain open so that the next folder,
// usually a sibling or a child, costs one or two opens. A folder held open stays the folder that
// was checked, even if it is moved afterwards. Holds a bounded number of descriptors whatever the
// depth. One per thread; the table and the source must outlive it.
class FolderResolver {
public:
  FolderResolver(int sourceFd, const FolderTable& folders);
  // A descriptor of folder (for *at calls, not for listing), owned by the resolver and valid
  // until the next resolve(); -1 when it cannot be reached soundly (outcome() says why).
  int resolve(FolderId folder);
  Reach outcome() const { return outcome_; }
  int error() const { return error_; }

private:
  struct Level {
    FolderId folder;
    UniqueFd fd; // closed beyond the held bound; reopened from a held ancestor when needed
  };
  int fail(Reach outcome, int error);

  int sourceFd_;
  const FolderTable& folders_;
  std::vector<Level> levels_; // the chain below the source of the last folder resolved
  std::vector<FolderId> chain_;
  Reach outcome_ = Reach::Reached;
  int error_ = 0;
};

// A subfolder of folderFd opened for listing, never through a link; invalid with errno set.
UniqueFd openSubfolder(int folderFd, const char* name);
// A subfolder of folderFd opened only to pass through (to open names in it), never through a
// link: enough where the user may search the folder but not list it. Invalid with errno set.
UniqueFd openPassage(int folderFd, const char* name);
// The parent of folderFd, checked to be the folder with identity; invalid when it is not.
UniqueFd openParentChecked(int folderFd, FileIdentity identity);
// The identities of the folders above folderFd, its parent first, up to the root, each reached
// by ".." from the one below; shorter when one cannot be opened.
std::vector<FileIdentity> ancestorIdentities(int folderFd);
// The status of name in folderFd without following a link; false with errno set.
bool statIn(int folderFd, const char* name, FileStatus& status);
// The status of an open file; false with errno set.
bool statOpen(int fd, FileStatus& status);
// Opens name in folderFd for reading: never through a link, never blocking on a FIFO that took
// a file's place, without touching its access time where the system allows. Invalid with errno.
UniqueFd openFileIn(int folderFd, const char* name);
// Removes name from folderFd (a file, not a folder); false with errno set.
bool removeIn(int folderFd, const char* name);
// How a refused name maps to an outcome: ENOENT is Gone, ELOOP/ENOTDIR Replaced, others Refused.
Reach reachForError(int error);

// The entries of an open folder, read in one go: names with their kind as the listing says.
struct FolderListing {
  enum Kind : std::uint8_t { Unknown, Folder, File, Other };
  std::string names; // each name followed by a NUL
  std::vector<std::uint32_t> offsets;
  std::vector<Kind> kinds;
  void clear();
  std::size_t size() const { return offsets.size(); }
  const char* name(std::size_t k) const { return names.data() + offsets[k]; }
};
// Lists folderFd ("." and ".." left out); false with errno set when the listing failed midway.
bool listFolder(int folderFd, FolderListing& listing);

} // namespace zandrex
