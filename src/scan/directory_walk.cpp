// The recursive folder walk. One directory handle per level, names read before they are
// handled, metadata from fstatat relative to that handle; no file is ever opened.
#include "errors/err_trap.h"
#include "form1/form1_core.h"
#include "scan/path_routines.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <numeric>
#include <sys/stat.h>
#include <unistd.h>

namespace zandrex {

namespace {

class FdCloser {
public:
  explicit FdCloser(int fd) : fd_(fd) {}
  ~FdCloser() {
    if (fd_ >= 0)
      close(fd_);
  }
  FdCloser(const FdCloser&) = delete;
  FdCloser& operator=(const FdCloser&) = delete;

private:
  int fd_;
};

std::uint32_t low32(std::uint64_t value) {
  return static_cast<std::uint32_t>(value);
}
std::uint32_t high32(std::uint64_t value) {
  return static_cast<std::uint32_t>(value >> 32);
}

} // namespace

void Form1Core::ShowDir3_FillPreview(const std::string& pParentName,
                                     const std::string& sParentPath) {
  walkFolder(pParentName, sParentPath, AT_FDCWD, sParentPath.c_str(), 0);
}

void Form1Core::readEntries(int dirFd, FolderEntries& entries) {
  entries.names.clear();
  entries.offsets.clear();
  entries.types.clear();
  // fdopendir takes the descriptor; keep ours for fstatat and openat.
  int readFd = openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (readFd < 0)
    return;
  DIR* dir = fdopendir(readFd);
  if (!dir) {
    close(readFd);
    return;
  }
  while (dirent* entry = readdir(dir)) {
    entries.offsets.push_back(static_cast<std::uint32_t>(entries.names.size()));
    entries.names.append(entry->d_name);
    entries.names.push_back('\0');
    entries.types.push_back(entry->d_type);
  }
  closedir(dir);
}

void Form1Core::walkFolder(const std::string& pParentName, const std::string& sParentPath,
                           int parentFd, const char* openName, std::size_t depth) {
  trapInner(
      "mScanCD.ShowDir3_FillPreview(pParentName,sParentPath)",
      [&] {
        // A folder that cannot be listed contributes nothing, as does a symbolic link to one.
        int dirFd = openat(parentFd, openName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (dirFd < 0)
          return;
        FdCloser closer(dirFd);
        struct stat self;
        if (fstat(dirFd, &self) != 0)
          return;
        // Bind mounts and loops: a folder is entered once per walk.
        if (!enteredFolders_
                 .insert({static_cast<std::uint64_t>(self.st_dev),
                          static_cast<std::uint64_t>(self.st_ino)})
                 .second)
          return;

        if (entriesByDepth_.size() <= depth)
          entriesByDepth_.resize(depth + 1);
        readEntries(dirFd, entriesByDepth_[depth]);
        // Deeper levels may grow entriesByDepth_; refer to this level by index, not reference.
        auto nameAt = [&](std::uint32_t k) {
          const FolderEntries& e = entriesByDepth_[depth];
          return e.names.data() + e.offsets[k];
        };
        std::vector<std::uint32_t> order(entriesByDepth_[depth].offsets.size());
        std::iota(order.begin(), order.end(), 0u);
        // Name order makes every listing repeatable, whatever order the file system keeps.
        std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
          return std::string_view(nameAt(a)) < std::string_view(nameAt(b));
        });

        for (std::uint32_t k : order) {
          view_.doEvents();
          if (CancelRequested != 0)
            return;
          const char* name = nameAt(k);
          unsigned char type = entriesByDepth_[depth].types[k];
          if (type == DT_DIR && name[0] == '.')
            continue;
          if (type != DT_UNKNOWN && type != DT_DIR && type != DT_REG)
            continue; // links, FIFOs, sockets, devices
          if (type == DT_DIR) {
            if (view_.subfoldersValue() != 0) {
              std::string folderName(name);
              walkFolder(folderName, sParentPath + folderName + "/", dirFd, name, depth + 1);
            }
            continue;
          }
          struct stat st;
          if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
          if (S_ISDIR(st.st_mode)) {
            if (name[0] != '.' && view_.subfoldersValue() != 0) {
              std::string folderName(name);
              walkFolder(folderName, sParentPath + folderName + "/", dirFd, name, depth + 1);
            }
            continue;
          }
          if (!S_ISREG(st.st_mode))
            continue;
          if (ScannedFileCount == INT32_MAX)
            raiseOverflow();
          ++ScannedFileCount;
          setStatusText(filesText(ScannedFileCount));
          auto size = static_cast<std::uint64_t>(st.st_size);
          FileFacts facts{static_cast<std::uint64_t>(st.st_dev),
                          static_cast<std::uint64_t>(st.st_ino), st.st_mtim.tv_sec,
                          st.st_mtim.tv_nsec, size};
          std::string_view diskName(name);
          AddRecord(pParentName, sParentPath, lowerCaseName(diskName),
                    SysToVBTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec, true),
                    FileSizeWFD(static_cast<std::int32_t>(high32(size)),
                                static_cast<std::int32_t>(low32(size))),
                    diskName, facts);
        }
      },
      pParentName, sParentPath);
}

} // namespace zandrex
