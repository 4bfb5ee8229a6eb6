#include "platform/platform.h"
#include "platform/trash_can.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace zandrex {

namespace {

constexpr const char* kDefaultDataFolder = "/.local/share";
constexpr const char* kTrashFolder = "Trash";
constexpr const char* kTopTrash = ".Trash";
constexpr const char* kTopTrashPrefix = ".Trash-";
constexpr const char* kFilesFolder = "files";
constexpr const char* kInfoFolder = "info";
constexpr std::string_view kInfoSuffix = ".trashinfo";
constexpr mode_t kTrashMode = 0700;
constexpr mode_t kInfoMode = 0600;
// Writable by the group or by others: someone else could swap what is in it.
constexpr mode_t kOthersWrite = S_IWGRP | S_IWOTH;
// Names tried for one file before giving up ("a.txt", "a.txt.2", ... "a.txt.999").
constexpr int kMaxNameTries = 999;
// Room kept in a name for the ".N" of a taken name.
constexpr std::size_t kNumberRoom = 4;

constexpr const char* kReasonNoTrash = "No trash on this file system";
constexpr const char* kReasonTrashUnsafe =
    "The trash folder is not the user's own or others may write to it";
constexpr const char* kReasonNoFreeName = "No free name in the trash";
constexpr const char* kReasonOtherMount = "The trash is on another mount of this file system";

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr int kPassFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

std::string systemReason(int error) {
  return platform::systemMessage(static_cast<std::uint32_t>(error));
}

// A folder of the trash, created when missing, opened without following a link and checked to
// be the user's own and closed to others.
UniqueFd openOwnFolder(int parentFd, const char* name, std::string& refusal) {
  if (::mkdirat(parentFd, name, kTrashMode) != 0 && errno != EEXIST) {
    refusal = kReasonNoTrash;
    return UniqueFd();
  }
  UniqueFd fd(::openat(parentFd, name, kFolderFlags));
  if (!fd.valid()) {
    refusal = errno == ELOOP || errno == ENOTDIR ? kReasonTrashUnsafe : kReasonNoTrash;
    return UniqueFd();
  }
  struct stat st;
  if (::fstat(fd.get(), &st) != 0 || st.st_uid != ::getuid() || (st.st_mode & kOthersWrite) != 0) {
    refusal = kReasonTrashUnsafe;
    return UniqueFd();
  }
  return fd;
}

// Creates path's missing folders (the user's own data folder may not exist yet) and opens it.
UniqueFd openCreatingParents(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1))
    ::mkdir(path.substr(0, slash).c_str(), kTrashMode);
  ::mkdir(path.c_str(), kTrashMode);
  return UniqueFd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

bool deviceOf(int fd, std::uint64_t& device) {
  struct stat st;
  if (::fstat(fd, &st) != 0)
    return false;
  device = static_cast<std::uint64_t>(st.st_dev);
  return true;
}

// The top of folderFd's file system: climbs ".." while the device stays the same. levels is the
// number of climbs; false when a step could not be taken.
bool climbToTop(int folderFd, std::uint64_t device, UniqueFd& top, std::size_t& levels) {
  levels = 0;
  top = UniqueFd(::openat(folderFd, ".", kPassFlags));
  struct stat here;
  if (!top.valid() || ::fstat(top.get(), &here) != 0)
    return false;
  for (;;) {
    UniqueFd parent(::openat(top.get(), "..", kPassFlags));
    struct stat up;
    if (!parent.valid() || ::fstat(parent.get(), &up) != 0)
      return false;
    const bool atRoot = up.st_dev == here.st_dev && up.st_ino == here.st_ino;
    if (atRoot || static_cast<std::uint64_t>(up.st_dev) != device)
      return true;
    top = std::move(parent);
    here = up;
    ++levels;
  }
}

// The path below the top of the file system: the last levels names of folderRealPath, then name.
bool pathBelowTop(const std::string& folderRealPath, std::size_t levels, const char* name,
                  std::string& relative) {
  std::size_t cut = folderRealPath.size();
  for (std::size_t k = 0; k < levels; ++k) {
    const std::size_t slash = folderRealPath.rfind('/', cut - 1);
    if (slash == std::string::npos || cut == 0)
      return false;
    cut = slash;
  }
  relative = cut + 1 < folderRealPath.size() ? folderRealPath.substr(cut + 1) + "/" : "";
  relative += name;
  return true;
}

std::string deletionDate() {
  const std::tm now = platform::localNow();
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", now.tm_year + 1900,
                now.tm_mon + 1, now.tm_mday, now.tm_hour, now.tm_min, now.tm_sec);
  return text;
}

// name cut to leave room for the info suffix and a number, at a UTF-8 character boundary.
std::string trashBaseName(std::string_view name) {
  const std::size_t room = NAME_MAX - kInfoSuffix.size() - kNumberRoom;
  if (name.size() <= room)
    return std::string(name);
  std::size_t cut = room;
  while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
    --cut;
  return std::string(name.substr(0, cut));
}

bool writeAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
    if (wrote < 0 && errno == EINTR)
      continue;
    if (wrote <= 0)
      return false;
    done += static_cast<std::size_t>(wrote);
  }
  return true;
}

// Renames without replacing an existing name. File systems that cannot promise it (network
// ones) get a look first: the exclusive .trashinfo already keeps trash-aware programs away.
bool renameNoReplace(int fromFd, const char* from, int toFd, const char* to) {
  if (::renameat2(fromFd, from, toFd, to, RENAME_NOREPLACE) == 0)
    return true;
  if (errno != EINVAL)
    return false;
  struct stat st;
  if (::fstatat(toFd, to, &st, AT_SYMLINK_NOFOLLOW) == 0) {
    errno = EEXIST;
    return false;
  }
  return errno == ENOENT && ::renameat(fromFd, from, toFd, to) == 0;
}

} // namespace

std::string homeTrashPath() {
  const char* data = std::getenv("XDG_DATA_HOME");
  // The XDG rules ignore a relative XDG_DATA_HOME.
  if (data && data[0] == '/')
    return std::string(data) + "/" + kTrashFolder;
  const std::string home = platform::homeFolder();
  return home.empty() ? std::string() : home + kDefaultDataFolder + "/" + kTrashFolder;
}

std::string percentEncodedPath(const std::string& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(path.size());
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                       (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' ||
                       byte == '~' || byte == '/';
    if (plain) {
      out.push_back(c);
      continue;
    }
    out.push_back('%');
    out.push_back(kHex[byte >> 4]);
    out.push_back(kHex[byte & 0x0F]);
  }
  return out;
}

TrashMover::TrashMover(std::string homeTrash) : homeTrash_(std::move(homeTrash)) {}

TrashMover::Can TrashMover::openHome() {
  Can can;
  can.home = true;
  can.refusal = kReasonNoTrash;
  const std::size_t slash = homeTrash_.rfind('/');
  if (homeTrash_.empty() || homeTrash_.front() != '/' || slash == std::string::npos)
    return can;
  // The data folder is the user's setting, followed as the user set it; the trash below it is
  // opened without following links.
  UniqueFd data = openCreatingParents(slash == 0 ? "/" : homeTrash_.substr(0, slash));
  // The home trash serves the file system of the data folder, even when it turns out unusable:
  // another trash of that file system is not the user's.
  if (!data.valid() || !deviceOf(data.get(), can.device))
    return can;
  can.refusal.clear();
  UniqueFd trash = openOwnFolder(data.get(), homeTrash_.c_str() + slash + 1, can.refusal);
  if (trash.valid())
    can.files = openOwnFolder(trash.get(), kFilesFolder, can.refusal);
  if (can.files.valid())
    can.info = openOwnFolder(trash.get(), kInfoFolder, can.refusal);
  std::uint64_t filesDevice = 0;
  if (!can.info.valid() || !deviceOf(can.files.get(), filesDevice) || filesDevice != can.device) {
    can.files.reset();
    can.info.reset();
    if (can.refusal.empty())
      can.refusal = kReasonNoTrash;
  }
  return can;
}

TrashMover::Can TrashMover::openTopDir(int folderFd, std::uint64_t device) {
  Can can;
  can.device = device;
  UniqueFd top;
  std::size_t levels = 0;
  if (!climbToTop(folderFd, device, top, levels)) {
    can.refusal = kReasonNoTrash;
    return can;
  }
  UniqueFd trash;
  // $topdir/.Trash counts only as a real folder with the sticky bit, kept by the administrator.
  struct stat shared;
  if (::fstatat(top.get(), kTopTrash, &shared, AT_SYMLINK_NOFOLLOW) == 0 &&
      S_ISDIR(shared.st_mode) && (shared.st_mode & S_ISVTX) != 0) {
    UniqueFd sharedFd(::openat(top.get(), kTopTrash, kFolderFlags));
    struct stat opened;
    if (sharedFd.valid() && ::fstat(sharedFd.get(), &opened) == 0 &&
        opened.st_ino == shared.st_ino && opened.st_dev == shared.st_dev) {
      std::string refusal;
      trash = openOwnFolder(sharedFd.get(), std::to_string(::getuid()).c_str(), refusal);
    }
  }
  if (!trash.valid()) {
    const std::string own = kTopTrashPrefix + std::to_string(::getuid());
    trash = openOwnFolder(top.get(), own.c_str(), can.refusal);
  }
  if (trash.valid())
    can.files = openOwnFolder(trash.get(), kFilesFolder, can.refusal);
  if (can.files.valid())
    can.info = openOwnFolder(trash.get(), kInfoFolder, can.refusal);
  std::uint64_t trashDevice = 0;
  if (can.info.valid() && (!deviceOf(can.files.get(), trashDevice) || trashDevice != device)) {
    can.info.reset();
    can.refusal = kReasonNoTrash;
  }
  if (!can.info.valid()) {
    can.files.reset();
    if (can.refusal.empty())
      can.refusal = kReasonNoTrash;
  }
  return can;
}

TrashMover::Can* TrashMover::canFor(int folderFd, std::uint64_t device) {
  if (!homeTried_) {
    homeTried_ = true;
    homeCan_ = openHome();
  }
  if (homeCan_.device == device)
    return &homeCan_;
  for (Can& can : topCans_)
    if (can.device == device)
      return &can;
  topCans_.push_back(openTopDir(folderFd, device));
  return &topCans_.back();
}

std::string TrashMover::moveToTrash(int folderFd, const std::string& folderRealPath,
                                    const char* name) {
  struct stat file;
  if (::fstatat(folderFd, name, &file, AT_SYMLINK_NOFOLLOW) != 0)
    return systemReason(errno);
  const auto device = static_cast<std::uint64_t>(file.st_dev);
  Can* can = canFor(folderFd, device);
  if (!can->refusal.empty())
    return can->refusal;

  std::string path;
  if (can->home) {
    path = folderRealPath == "/" ? "/" : folderRealPath + "/";
    path += name;
  } else {
    UniqueFd top;
    std::size_t levels = 0;
    if (!climbToTop(folderFd, device, top, levels) ||
        !pathBelowTop(folderRealPath, levels, name, path))
      return kReasonNoTrash;
  }
  const std::string info =
      "[Trash Info]\nPath=" + percentEncodedPath(path) + "\nDeletionDate=" + deletionDate() + "\n";

  const std::string base = trashBaseName(name);
  for (int attempt = 1; attempt <= kMaxNameTries; ++attempt) {
    const std::string trashName = attempt == 1 ? base : base + "." + std::to_string(attempt);
    const std::string infoName = trashName + std::string(kInfoSuffix);
    // The .trashinfo first: created exclusively, it claims the name against other programs
    // trashing at the same time.
    UniqueFd infoFd(::openat(can->info.get(), infoName.c_str(),
                             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kInfoMode));
    if (!infoFd.valid() && errno == EEXIST)
      continue;
    if (!infoFd.valid())
      return systemReason(errno);
    const auto dropInfo = [&] { ::unlinkat(can->info.get(), infoName.c_str(), 0); };
    // Not synced: a sync per file made trashing thousands of files take minutes, and a crash
    // that lost the text would still leave the file itself in the trash.
    if (!writeAll(infoFd.get(), info)) {
      const int error = errno;
      dropInfo();
      return systemReason(error);
    }
    // Never over a file already in the trash whose .trashinfo went missing.
    if (renameNoReplace(folderFd, name, can->files.get(), trashName.c_str()))
      return {};
    const int error = errno;
    dropInfo();
    if (error == EEXIST)
      continue;
    if (error == EXDEV)
      return kReasonOtherMount;
    return systemReason(error);
  }
  return kReasonNoFreeName;
}

} // namespace zandrex
