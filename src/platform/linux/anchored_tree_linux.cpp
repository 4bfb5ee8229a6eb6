#include "platform/anchored_tree.h"

#include "platform/linux/file_open_flags.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace zandrex {

namespace {

// Descriptors a resolver keeps open along its chain: enough for any usual tree, few enough that
// a 20,000-level tree cannot exhaust the process's limit.
constexpr std::size_t kHeldLevels = 48;
constexpr std::size_t kListingBuffer = 64 * 1024;
// No real path climbs this far; a cycle of ".." (a broken file system) must still end.
constexpr std::size_t kMostAncestors = 1 << 16;

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
// O_PATH: a folder the user may pass through but not list is still reached, as by the kernel.
constexpr int kPassFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
using platform::kNoAccessTimeFlag;
using platform::kReadFlags;

FileStatus toStatus(const struct stat& st) {
  FileStatus status;
  status.identity = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
  status.size = static_cast<std::uint64_t>(st.st_size);
  status.mtimeSec = st.st_mtim.tv_sec;
  status.mtimeNsec = st.st_mtim.tv_nsec;
  status.ctimeSec = st.st_ctim.tv_sec;
  status.ctimeNsec = st.st_ctim.tv_nsec;
  status.regular = S_ISREG(st.st_mode);
  status.folder = S_ISDIR(st.st_mode);
  return status;
}

bool identityOfFd(int fd, FileIdentity& identity) {
  struct stat st;
  if (::fstat(fd, &st) != 0)
    return false;
  identity = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
  return true;
}

// Opens an absolute path one name at a time from "/", following no link on the way.
UniqueFd openAbsoluteNoLinks(const std::string& path) {
  UniqueFd current(::open("/", kFolderFlags));
  std::size_t start = 0;
  while (current.valid() && start < path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos)
      end = path.size();
    if (end > start) {
      const std::string name = path.substr(start, end - start);
      current = UniqueFd(::openat(current.get(), name.c_str(), kFolderFlags));
    }
    start = end + 1;
  }
  return current;
}

} // namespace

void FolderTable::clear() {
  entries_.clear();
  names_.clear();
}

FolderId FolderTable::add(FolderId parent, std::string_view name, FileIdentity identity) {
  entries_.push_back({parent, static_cast<std::uint32_t>(name.size()), names_.size(), identity});
  names_.append(name);
  return static_cast<FolderId>(entries_.size() - 1);
}

std::string_view FolderTable::name(FolderId folder) const {
  const Entry& entry = entries_[folder];
  return std::string_view(names_).substr(entry.nameOffset, entry.nameLength);
}

void FoundTree::clear() {
  sourceRealPath.clear();
  sourceIdentity = {};
  folders.clear();
}

std::optional<SourceAnchor> FoundTree::reopenSource() const {
  if (sourceRealPath.empty())
    return std::nullopt;
  return SourceAnchor::reopen(sourceRealPath, sourceIdentity);
}

bool isResourceExhaustion(int error) {
  return error == EMFILE || error == ENFILE || error == ENOMEM;
}

std::optional<SourceAnchor> SourceAnchor::open(const std::string& chosenPath) {
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(chosenPath.c_str(), nullptr),
                                                   &std::free);
  if (!real)
    return std::nullopt;
  SourceAnchor anchor;
  anchor.realPath_ = real.get();
  anchor.fd_ = openAbsoluteNoLinks(anchor.realPath_);
  if (!anchor.fd_.valid() || !identityOfFd(anchor.fd_.get(), anchor.identity_))
    return std::nullopt;
  return anchor;
}

std::optional<SourceAnchor> SourceAnchor::reopen(const std::string& realPath,
                                                 FileIdentity identity) {
  SourceAnchor anchor;
  anchor.realPath_ = realPath;
  anchor.fd_ = openAbsoluteNoLinks(realPath);
  if (!anchor.fd_.valid() || !identityOfFd(anchor.fd_.get(), anchor.identity_))
    return std::nullopt;
  if (anchor.identity_ != identity) {
    errno = ESTALE;
    return std::nullopt;
  }
  return anchor;
}

FolderResolver::FolderResolver(int sourceFd, const FolderTable& folders)
    : sourceFd_(sourceFd), folders_(folders) {}

int FolderResolver::fail(Reach outcome, int error) {
  outcome_ = outcome;
  error_ = error;
  return -1;
}

int FolderResolver::resolve(FolderId folder) {
  outcome_ = Reach::Reached;
  error_ = 0;
  if (sourceFd_ < 0)
    return fail(Reach::Replaced, ESTALE);
  if (folder == kSourceFolder)
    return sourceFd_;
  if (folder >= folders_.size())
    return fail(Reach::Gone, ENOENT);
  // Files come folder by folder: most calls ask for the folder of the call before.
  if (!levels_.empty() && levels_.back().folder == folder && levels_.back().fd.valid())
    return levels_.back().fd.get();
  chain_.clear();
  for (FolderId at = folder; at != kSourceFolder; at = folders_.parent(at)) {
    if (at == kNoFolder)
      return fail(Reach::Gone, ENOENT);
    chain_.push_back(at);
  }
  // chain_ runs from the folder up; levels_ from the source down.
  const std::size_t depth = chain_.size();
  std::size_t common = 0;
  while (common < levels_.size() && common < depth &&
         levels_[common].folder == chain_[depth - 1 - common])
    ++common;
  if (common == depth && levels_[depth - 1].fd.valid()) {
    levels_.resize(depth);
    return levels_.back().fd.get();
  }
  // Descend from the deepest ancestor still held open.
  std::size_t start = std::min(common, depth - 1);
  while (start > 0 && !levels_[start - 1].fd.valid())
    --start;
  levels_.resize(start);
  for (std::size_t k = start; k < depth; ++k) {
    const FolderId next = chain_[depth - 1 - k];
    const int parentFd = k == 0 ? sourceFd_ : levels_[k - 1].fd.get();
    const std::string name(folders_.name(next));
    UniqueFd fd(::openat(parentFd, name.c_str(), kPassFlags));
    if (!fd.valid())
      return fail(reachForError(errno), errno);
    FileIdentity seen;
    if (!identityOfFd(fd.get(), seen))
      return fail(Reach::Refused, errno);
    if (seen != folders_.identity(next))
      return fail(Reach::Replaced, ESTALE);
    levels_.push_back({next, std::move(fd)});
    if (k >= kHeldLevels)
      levels_[k - kHeldLevels].fd.reset();
  }
  return levels_.back().fd.get();
}

UniqueFd openSubfolder(int folderFd, const char* name) {
  return UniqueFd(::openat(folderFd, name, kFolderFlags));
}

UniqueFd openPassage(int folderFd, const char* name) {
  return UniqueFd(::openat(folderFd, name, kPassFlags));
}

UniqueFd openParentChecked(int folderFd, FileIdentity identity) {
  UniqueFd parent(::openat(folderFd, "..", kFolderFlags));
  FileIdentity seen;
  if (!parent.valid() || !identityOfFd(parent.get(), seen))
    return UniqueFd();
  if (seen != identity) {
    errno = ESTALE;
    return UniqueFd();
  }
  return parent;
}

std::vector<FileIdentity> ancestorIdentities(int folderFd) {
  std::vector<FileIdentity> ancestors;
  FileIdentity below;
  if (!identityOfFd(folderFd, below))
    return ancestors;
  UniqueFd current(::fcntl(folderFd, F_DUPFD_CLOEXEC, 0));
  // ".." of the root is the root itself: the climb ends where the identity stops changing.
  for (std::size_t level = 0; current.valid() && level < kMostAncestors; ++level) {
    UniqueFd parent(::openat(current.get(), "..", kPassFlags));
    FileIdentity above;
    if (!parent.valid() || !identityOfFd(parent.get(), above) || above == below)
      break;
    ancestors.push_back(above);
    below = above;
    current = std::move(parent);
  }
  return ancestors;
}

bool statIn(int folderFd, const char* name, FileStatus& status) {
  struct stat st;
  if (::fstatat(folderFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
    return false;
  status = toStatus(st);
  return true;
}

bool statOpen(int fd, FileStatus& status) {
  struct stat st;
  if (::fstat(fd, &st) != 0)
    return false;
  status = toStatus(st);
  return true;
}

UniqueFd openFileIn(int folderFd, const char* name) {
  int fd = ::openat(folderFd, name, kReadFlags | kNoAccessTimeFlag);
  // O_NOATIME is refused for other users' files.
  if (fd < 0 && errno == EPERM)
    fd = ::openat(folderFd, name, kReadFlags);
  return UniqueFd(fd);
}

bool removeIn(int folderFd, const char* name) {
  return ::unlinkat(folderFd, name, 0) == 0;
}

Reach reachForError(int error) {
  if (error == ENOENT)
    return Reach::Gone;
  if (error == ELOOP || error == ENOTDIR)
    return Reach::Replaced;
  return Reach::Refused;
}

void FolderListing::clear() {
  names.clear();
  offsets.clear();
  kinds.clear();
}

bool listFolder(int folderFd, FolderListing& listing) {
  listing.clear();
  // One buffer per thread: a walk lists every folder through it.
  thread_local std::unique_ptr<char[]> buffer(new char[kListingBuffer]);
  for (;;) {
    const ssize_t got = ::getdents64(folderFd, buffer.get(), kListingBuffer);
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0)
      return false;
    if (got == 0)
      return true;
    for (ssize_t at = 0; at < got;) {
      const auto* entry = reinterpret_cast<const dirent64*>(buffer.get() + at);
      at += entry->d_reclen;
      const char* name = entry->d_name;
      if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
        continue;
      FolderListing::Kind kind = FolderListing::Other;
      if (entry->d_type == DT_UNKNOWN)
        kind = FolderListing::Unknown;
      else if (entry->d_type == DT_DIR)
        kind = FolderListing::Folder;
      else if (entry->d_type == DT_REG)
        kind = FolderListing::File;
      listing.offsets.push_back(static_cast<std::uint32_t>(listing.names.size()));
      listing.names.append(name);
      listing.names.push_back('\0');
      listing.kinds.push_back(kind);
    }
  }
}

} // namespace zandrex
