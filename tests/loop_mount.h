// A small XFS file system with shared extents, made in a sparse file and mounted through a loop
// device below a folder of a test's tree; for tests that need a second file system or one that
// shares extents. Needs root and the mkfs.xfs and mount programs: ready() is false otherwise,
// and skipReason() says why.
#pragma once

#include "test_support.h"

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace zandrex::test {

class LoopMount {
public:
  // Mounts a fresh file system at mountPoint (created, inside a tree the test owns).
  explicit LoopMount(const std::string& mountPoint) : mountPoint_(mountPoint) {
    if (::geteuid() != 0) {
      reason_ = "mounting a file system image needs root";
      return;
    }
    const std::string image = images_.path() + "xfs.img";
    const std::string make = "truncate -s " + std::to_string(kImageMegabytes) + "M '" + image +
                             "' && mkfs.xfs -q -m reflink=1 '" + image + "' >/dev/null 2>&1";
    if (std::system(make.c_str()) != 0) {
      reason_ = "mkfs.xfs could not make an XFS image (xfsprogs missing?)";
      return;
    }
    ::mkdir(mountPoint_.c_str(), 0755);
    const std::string mount = "mount -o loop '" + image + "' '" + mountPoint_ + "' 2>/dev/null";
    if (std::system(mount.c_str()) != 0) {
      reason_ = "mounting a loop device is not permitted here";
      return;
    }
    mounted_ = true;
  }
  ~LoopMount() { unmount(); }
  LoopMount(const LoopMount&) = delete;
  LoopMount& operator=(const LoopMount&) = delete;

  bool ready() const { return mounted_; }
  const std::string& skipReason() const { return reason_; }
  // Lazily, so that a descriptor a failed test left open cannot keep it mounted.
  void unmount() {
    if (!mounted_)
      return;
    const std::string command = "umount -l '" + mountPoint_ + "'";
    mounted_ = std::system(command.c_str()) != 0;
  }

private:
  // XFS's smallest size; the file stays sparse.
  static constexpr int kImageMegabytes = 300;
  TempDir images_;
  std::string mountPoint_;
  bool mounted_ = false;
  std::string reason_;
};

} // namespace zandrex::test
