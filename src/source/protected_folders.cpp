#include "source/protected_folders.h"

#include <algorithm>
#include <tuple>

namespace zandrex {

namespace {

bool identityLess(const FileIdentity& a, const FileIdentity& b) {
  return std::tie(a.device, a.inode) < std::tie(b.device, b.inode);
}

} // namespace

std::vector<std::string> ProtectedFolders::set(std::vector<std::string> folders) {
  folders_ = std::move(folders);
  identities_.clear();
  return lookUp();
}

void ProtectedFolders::refresh() {
  lookUp();
}

std::vector<std::string> ProtectedFolders::lookUp() {
  std::vector<std::string> missing;
  for (const std::string& folder : folders_) {
    std::optional<SourceAnchor> opened = SourceAnchor::open(folder);
    if (!opened) {
      missing.push_back(folder);
      continue;
    }
    identities_.push_back(opened->identity());
  }
  std::sort(identities_.begin(), identities_.end(), identityLess);
  identities_.erase(std::unique(identities_.begin(), identities_.end()), identities_.end());
  return missing;
}

bool ProtectedFolders::contains(FileIdentity identity) const {
  return std::binary_search(identities_.begin(), identities_.end(), identity, identityLess);
}

void ProtectedMarks::mark(const FolderTable& folders, const ProtectedFolders& protectedFolders,
                          bool sourceInside) {
  clear();
  if (protectedFolders.empty())
    return;
  flags_.resize(folders.size());
  for (FolderId folder = 0; folder < folders.size(); ++folder) {
    const FolderId parent = folders.parent(folder);
    const bool inherited = parent == kNoFolder ? sourceInside : flags_[parent] != 0;
    const bool marked = inherited || protectedFolders.contains(folders.identity(folder));
    flags_[folder] = marked ? 1 : 0;
    any_ = any_ || marked;
  }
}

void ProtectedMarks::clear() {
  flags_.clear();
  any_ = false;
}

bool insideProtected(const std::vector<FileIdentity>& ancestors,
                     const ProtectedFolders& protectedFolders) {
  return std::any_of(ancestors.begin(), ancestors.end(),
                     [&](const FileIdentity& id) { return protectedFolders.contains(id); });
}

} // namespace zandrex
