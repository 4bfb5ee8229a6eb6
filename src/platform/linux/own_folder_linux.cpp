#include "platform/own_folder.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zandrex {

namespace {

constexpr mode_t kFolderMode = 0700;
constexpr mode_t kFileMode = 0600;
constexpr mode_t kOthersBits = 077;
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// The folder part of path ("" when it has none; "/" for an entry of the root).
std::string parentOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos)
    return {};
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

} // namespace

UniqueFd openOwnFolder(const std::string& path) {
  UniqueFd folder(::open(path.c_str(), kFolderFlags));
  if (!folder.valid() && errno == ENOENT) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
      if (::mkdir(path.substr(0, slash).c_str(), kFolderMode) != 0 && errno != EEXIST)
        return UniqueFd();
      if (slash == std::string::npos)
        break;
    }
    folder.reset(::open(path.c_str(), kFolderFlags));
  }
  struct stat st;
  if (!folder.valid() || ::fstat(folder.get(), &st) != 0 || st.st_uid != ::geteuid() ||
      (st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
    return UniqueFd();
  return folder;
}

std::string realFolderPath(const std::string& path, int folderFd) {
  char resolved[PATH_MAX];
  struct stat atPath;
  struct stat held;
  if (!::realpath(path.c_str(), resolved) || ::stat(resolved, &atPath) != 0 ||
      ::fstat(folderFd, &held) != 0 || atPath.st_dev != held.st_dev || atPath.st_ino != held.st_ino)
    return {};
  return resolved;
}

int makeFolderPath(const std::string& folder, std::string& failedAt) {
  if (folder.empty() || folder == "/")
    return 0;
  if (::mkdir(folder.c_str(), kFolderMode) == 0)
    return 0;
  int error = errno;
  if (error == ENOENT) {
    const int parentError = makeFolderPath(parentOf(folder), failedAt);
    if (parentError != 0)
      return parentError;
    if (::mkdir(folder.c_str(), kFolderMode) == 0)
      return 0;
    error = errno;
  }
  if (error == EEXIST) {
    struct stat entry {};
    if (::stat(folder.c_str(), &entry) == 0 && S_ISDIR(entry.st_mode))
      return 0;
    error = ENOTDIR;
  }
  failedAt = folder;
  return error;
}

bool preparePrivateFileIn(int folderFd, const char* name) {
  UniqueFd created(
      ::openat(folderFd, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kFileMode));
  if (!created.valid() && errno != EEXIST)
    return false;
  UniqueFd fd(::openat(folderFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat st;
  if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
      st.st_uid != ::geteuid())
    return false;
  return (st.st_mode & kOthersBits) == 0 || ::fchmod(fd.get(), kFileMode) == 0;
}

} // namespace zandrex
