#include "platform/file_system.h"

#include <cerrno>
#include <linux/magic.h>
#include <sys/vfs.h>

namespace zandrex {

namespace {

// Not in every kernel's headers.
constexpr unsigned long kZfsMagic = 0x2FC12FC1;
constexpr unsigned long kBcachefsMagic = 0xCA451A4E;

constexpr unsigned long kLastingIdentities[] = {
    EXT4_SUPER_MAGIC, XFS_SUPER_MAGIC, BTRFS_SUPER_MAGIC, F2FS_SUPER_MAGIC,
    TMPFS_MAGIC,      kZfsMagic,       kBcachefsMagic,
};

} // namespace

bool keepsLastingIdentities(int fd) {
  struct statfs info;
  int result;
  do
    result = ::fstatfs(fd, &info);
  while (result != 0 && errno == EINTR);
  if (result != 0)
    return false;
  // f_type is signed on some targets: compare its 32 bits.
  const auto type = static_cast<unsigned long>(static_cast<unsigned int>(info.f_type));
  for (unsigned long known : kLastingIdentities)
    if (type == known)
      return true;
  return false;
}

} // namespace zandrex
