// A temporary tree as a walk would have recorded it, for the content readers' tests.
#pragma once

#include "digest/hash_ahead.h"
#include "test_support.h"

#include <deque>
#include <fcntl.h>
#include <optional>
#include <string>

namespace zandrex::test {

inline FileStatus statusOf(const std::string& path) {
  FileStatus status;
  UniqueFd fd(::open(path.c_str(), O_PATH | O_CLOEXEC));
  statOpen(fd.get(), status);
  return status;
}

// The source and the named subfolders, with files listed as the walk saw them.
struct Recorded {
  TempDir tree;
  std::optional<SourceAnchor> source = SourceAnchor::open(tree.path());
  FolderTable folders;
  std::deque<std::string> names; // the files' names stay put while workers read them
  Recorded() { folders.add(kNoFolder, "", source->identity()); }
  FolderId folder(const std::string& name) {
    return folders.add(kSourceFolder, name, statusOf(tree.mkdir(name)).identity);
  }
  HashAhead::File file(FolderId folder, const std::string& relative) {
    const FileStatus st = statusOf(tree.path() + relative);
    const std::size_t slash = relative.rfind('/');
    const std::string& name =
        names.emplace_back(slash == std::string::npos ? relative : relative.substr(slash + 1));
    return {name,
            folder,
            st.identity,
            st.size,
            st.mtimeSec,
            st.mtimeNsec,
            nanosecondsOf(st.ctimeSec, st.ctimeNsec).value_or(kNoChangeTime)};
  }
};

} // namespace zandrex::test
