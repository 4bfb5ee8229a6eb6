// Writing a file in full or not at all.
#pragma once

#include <functional>
#include <ostream>
#include <string>

namespace zandrex {

// Writes what write puts into its stream to a new file beside path (a hidden name in the same
// folder), and renames it over path only once every byte is written, flushed and synced to the
// disk. A file already at path keeps its permissions and is replaced whole; a failure at any step
// (a full disk, a folder that cannot be written, write throwing) leaves path as it was and no
// temporary file behind. path's folder is opened once; the file is created, renamed and removed
// relative to it, and no link is followed: a symbolic link at path is replaced, not written
// through.
// Returns "" when path holds the new contents, otherwise why not ("No space left on device").
std::string writeWholeFile(const std::string& path,
                           const std::function<void(std::ostream&)>& write);

} // namespace zandrex
