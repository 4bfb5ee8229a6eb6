// The user's trash as the desktop's file managers keep it: a file moved there can be listed and
// put back by them. Each trash is a folder with files/ (the moved files) and info/ (for each, a
// NAME.trashinfo saying where it was and when it was moved).
//
// A file goes to the trash on its own file system, by a rename and never by a copy: the home
// trash ($XDG_DATA_HOME/Trash, else ~/.local/share/Trash) when it is on the same file system;
// otherwise the trash at the top of the file's file system, $topdir/.Trash/$uid when .Trash is a
// real folder (not a link) with the sticky bit, else $topdir/.Trash-$uid. The trash folders are
// opened without following links and must belong to the user and be writable by no one else;
// missing ones are created (0700). A file without such a trash stays where it is.
#pragma once

#include "platform/unique_fd.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zandrex {

// The home trash's path: $XDG_DATA_HOME/Trash when XDG_DATA_HOME is an absolute path, else
// ~/.local/share/Trash; "" when there is no home folder.
std::string homeTrashPath();

// "Path=" text of a .trashinfo: every byte but letters, digits, "-._~" and "/" as %XX.
std::string percentEncodedPath(const std::string& path);

// Moves files into the trash of their own file system. Each trash is looked up and opened once,
// on first need, and held open for the mover's life; one mover serves one run on one thread.
class TrashMover {
public:
  // homeTrash: where the home trash is (homeTrashPath(), or a test's folder); "" for none.
  explicit TrashMover(std::string homeTrash);

  // Moves name out of folderFd (a folder whose real path is folderRealPath, without a trailing
  // "/" but for the root) into the trash: first its .trashinfo under a name no other file of
  // the trash holds (created exclusively), then the file renamed in next to it, never over
  // another. "" when the file is in the trash; otherwise why not, and nothing was moved (the
  // .trashinfo written for it is removed again).
  std::string moveToTrash(int folderFd, const std::string& folderRealPath, const char* name);

private:
  struct Can {
    std::uint64_t device = 0;
    UniqueFd files;
    UniqueFd info;
    // The home trash takes absolute paths; a trash at the top of a file system takes paths
    // relative to that top.
    bool home = false;
    std::string refusal; // why there is no trash for this file system; "" when there is one
  };

  Can* canFor(int folderFd, std::uint64_t device);
  Can openHome();
  Can openTopDir(int folderFd, std::uint64_t device);

  std::string homeTrash_;
  bool homeTried_ = false;
  Can homeCan_;
  std::vector<Can> topCans_;
};

} // namespace zandrex
