// Whether what a file system says of a file can stand for the file's bytes from one find to the
// next: the digest cache trusts a remembered digest only on such file systems.
#pragma once

#include <optional>

namespace zandrex {

// True when the file system holding the open descriptor fd gives each file an inode number of
// its own for the file's whole life, across mounts and restarts, and stamps every change of a
// file with a change time nobody can set back: the local disk file systems (ext2/3/4, XFS,
// Btrfs, F2FS, ZFS, bcachefs) and tmpfs. False for every other one and when the system cannot
// say: FAT and exFAT number their files afresh at every mount, and network and FUSE file
// systems may answer from a stale cache or make the numbers up.
bool keepsLastingIdentities(int fd);

// Whether the disk holding the open descriptor fd says it spins (the block device's rotational
// flag, a partition asking its whole disk). Nothing when there is no block device behind it
// (tmpfs, network and FUSE file systems, volumes spanning disks), when it is a virtual disk (whose
// flag says nothing of what stores it) or the system does not say.
std::optional<bool> onSpinningDisk(int fd);

// How many files a content pass reads at once from the disk holding fd: one from a spinning
// disk, else at least eight (one per core when there are more).
unsigned readersFor(int fd);

} // namespace zandrex
