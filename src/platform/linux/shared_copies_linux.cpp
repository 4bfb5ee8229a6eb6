#include "platform/shared_copies.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zandrex {

namespace {

constexpr const char* kLinkPrefix = ".zandrex-link-";
// Temporary names tried before giving up: a clash means another run uses the same number.
constexpr int kLinkNameTries = 100;
// The most Btrfs takes in one call; XFS takes as much, so one size serves both.
constexpr std::uint64_t kDedupeRange = 16ULL * 1024 * 1024;

std::atomic<std::uint64_t> linkCounter{0};

std::string temporaryLinkName() {
  return kLinkPrefix + std::to_string(::getpid()) + "-" + std::to_string(++linkCounter);
}

ShareResult failed(int error) {
  return {ShareOutcome::Failed, error};
}

ShareResult fromError(int error) {
  if (error == EOPNOTSUPP || error == ENOTTY || error == EINVAL || error == ENOSYS)
    return {ShareOutcome::NotSupported, error};
  return failed(error);
}

} // namespace

ShareResult replaceWithHardLink(int keptFolderFd, const char* keptName, FileIdentity kept,
                                int folderFd, const char* name) {
  std::string temporary;
  for (int attempt = 0;; ++attempt) {
    temporary = temporaryLinkName();
    if (::linkat(keptFolderFd, keptName, folderFd, temporary.c_str(), 0) == 0)
      break;
    if (errno != EEXIST || attempt + 1 == kLinkNameTries)
      return failed(errno);
  }
  const auto dropTemporary = [&] { ::unlinkat(folderFd, temporary.c_str(), 0); };
  struct stat st;
  if (::fstatat(folderFd, temporary.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    const int error = errno;
    dropTemporary();
    return failed(error);
  }
  const FileIdentity linked{static_cast<std::uint64_t>(st.st_dev),
                            static_cast<std::uint64_t>(st.st_ino)};
  if (linked != kept) {
    dropTemporary();
    return {ShareOutcome::KeptReplaced, 0};
  }
  if (::renameat(folderFd, temporary.c_str(), folderFd, name) != 0) {
    const int error = errno;
    dropTemporary();
    return failed(error);
  }
  return {};
}

ShareResult shareExtents(int keptFd, int fileFd, std::uint64_t length,
                         const std::function<bool()>& keepGoing) {
  std::vector<unsigned char> buffer(sizeof(file_dedupe_range) + sizeof(file_dedupe_range_info));
  auto* range = reinterpret_cast<file_dedupe_range*>(buffer.data());
  file_dedupe_range_info& target = range->info[0];
  std::uint64_t offset = 0;
  while (offset < length) {
    if (!keepGoing())
      return {ShareOutcome::Stopped, 0};
    std::fill(buffer.begin(), buffer.end(), 0);
    range->src_offset = offset;
    range->src_length = std::min(kDedupeRange, length - offset);
    range->dest_count = 1;
    target.dest_fd = fileFd;
    target.dest_offset = offset;
    if (::ioctl(keptFd, FIDEDUPERANGE, range) != 0)
      return fromError(errno);
    if (target.status == FILE_DEDUPE_RANGE_DIFFERS)
      return {ShareOutcome::Differs, 0};
    if (target.status < 0)
      return fromError(-target.status);
    // A call that shares nothing would loop for ever.
    if (target.bytes_deduped == 0)
      return failed(EIO);
    offset += target.bytes_deduped;
  }
  return {};
}

} // namespace zandrex
