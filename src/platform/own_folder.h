// The program's own folders and files under the user's home (the digest cache's, the error
// report's), as opposed to the searched tree: they are reached by path, because they are found by
// name and SQLite takes a file name, and are trusted only when they are the user's own and closed
// to others.
#pragma once

#include "platform/unique_fd.h"

#include <string>

namespace zandrex {

// Creates the missing folders of an absolute path (mode 0700) and opens the last one. Invalid
// when it cannot, or when that folder is a link, is not the user's own, or can be written by its
// group or by others.
UniqueFd openOwnFolder(const std::string& path);

// The real path (links resolved) of path when it is the very folder held open as folderFd (same
// device and inode); "" when it cannot be resolved or is another folder now.
std::string realFolderPath(const std::string& path, int folderFd);

// Makes folder and every missing folder above it, each one made here with mode 0700, as mkdir -p
// does. 0 when folder is a folder afterwards (a symbolic link to one counts, as do "" and "/");
// else the errno value (ENOTDIR when something other than a folder is in the way), with failedAt
// set to the folder that could not be made or is no folder.
int makeFolderPath(const std::string& folder, std::string& failedAt);

// Sees that name in folderFd is a regular file of the user's own that only the user can read or
// write, creating it empty (mode 0600) when missing and taking others' access away when they had
// some. False when it is anything else (a link, a folder, another user's file) or the system
// refuses.
bool preparePrivateFileIn(int folderFd, const char* name);

} // namespace zandrex
