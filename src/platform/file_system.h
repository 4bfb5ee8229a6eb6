// Whether what a file system says of a file can stand for the file's bytes from one find to the
// next: the digest cache trusts a remembered digest only on such file systems.
#pragma once

namespace zandrex {

// True when the file system holding the open descriptor fd gives each file an inode number of
// its own for the file's whole life, across mounts and restarts, and stamps every change of a
// file with a change time nobody can set back: the local disk file systems (ext2/3/4, XFS,
// Btrfs, F2FS, ZFS, bcachefs) and tmpfs. False for every other one and when the system cannot
// say: FAT and exFAT number their files afresh at every mount, and network and FUSE file
// systems may answer from a stale cache or make the numbers up.
bool keepsLastingIdentities(int fd);

} // namespace zandrex
