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
