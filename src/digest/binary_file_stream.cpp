#include "digest/binary_file_stream.h"

#include "errors/app_error.h"
#include "platform/platform.h"
#include "source/path_routines.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zandrex {

namespace {

constexpr const char* kAttachSourceSuffix = ".File";
constexpr const char* kFileNotFoundText = "File not found";
constexpr const char* kReadSizeText = "Read size is negative or larger than the buffer";
// read() moves at most this much per call on Linux; asking for more only gets a short read.
constexpr std::int64_t kMaxReadChunk = 0x7FFFF000;

// O_NONBLOCK keeps a FIFO that took a listed file's place from hanging the open; on regular files
// it has no effect. O_NOATIME spares the access-time write but is refused for other users' files.
constexpr int kOpenFlags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;

// Sequential read-ahead pays off only for files bigger than the kernel's default window.
constexpr std::uint64_t kSequentialHintMin = 1 << 20;

int tryOpenAt(int folderFd, const char* path) {
  int fd = ::openat(folderFd, path, kOpenFlags | O_NOATIME);
  if (fd < 0 && errno == EPERM)
    fd = ::openat(folderFd, path, kOpenFlags);
  return fd;
}

int tryOpen(const std::string& path) {
  return tryOpenAt(AT_FDCWD, path.c_str());
}

int openForReading(const std::string& path) {
  const int fd = tryOpen(path);
  if (fd < 0)
    raiseSystemError(errno);
  return fd;
}

} // namespace

void raiseAttachNotFound() {
  throw AppError(errnum::kFileNotFound, platform::executableName() + kAttachSourceSuffix,
                 kFileNotFoundText);
}

cBinaryFileStream::~cBinaryFileStream() {
  Dispose();
}

void cBinaryFileStream::file(const std::string& sFile) {
  Dispose();
  fileName_ = sFile;
  length_ = 0;
  position_ = 0;
  if (!FileExist(sFile))
    raiseAttachNotFound();
  fd_ = openForReading(sFile);
  length_ = static_cast<std::uint64_t>(std::max(0.0, GetFileSize(sFile)));
  if (length_ >= kSequentialHintMin)
    ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
}

void cBinaryFileStream::attachDirect(const std::string& sFile, int folderFd, std::string_view name,
                                     std::uint64_t knownLength) {
  Dispose();
  fileName_ = sFile;
  length_ = 0;
  position_ = 0;
  fd_ = folderFd >= 0 ? tryOpenAt(folderFd, std::string(name).c_str()) : tryOpen(sFile);
  if (fd_ < 0 && errno == ENOENT)
    raiseAttachNotFound();
  if (fd_ < 0)
    raiseSystemError(errno);
  if (knownLength != kUnknownLength) {
    length_ = knownLength;
  } else {
    struct stat st;
    if (::fstat(fd_, &st) != 0)
      raiseSystemError(errno);
    length_ = static_cast<std::uint64_t>(st.st_size);
  }
  if (length_ >= kSequentialHintMin)
    ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
}

std::int64_t cBinaryFileStream::Read(std::span<std::uint8_t> buffer, std::int64_t readSize) {
  if (readSize < 0 || static_cast<std::uint64_t>(readSize) > buffer.size())
    raiseError(errnum::kInternal, kReadSizeText);

  std::int64_t want = readSize;
  if (position_ + static_cast<std::uint64_t>(readSize) >= length_) {
    const std::int64_t remaining =
        position_ < length_ ? static_cast<std::int64_t>(length_ - position_) : 0;
    if (remaining <= 0) {
      Dispose();
      return 0;
    }
    want = remaining;
  }

  std::int64_t count = 0;
  while (count < want) {
    const std::int64_t chunk = std::min(want - count, kMaxReadChunk);
    const ssize_t got = ::read(fd_, buffer.data() + count, static_cast<std::size_t>(chunk));
    if (got < 0) {
      if (errno == EINTR)
        continue;
      raiseSystemError(errno);
    }
    if (got == 0)
      break; // the file shrank since it was attached: deliver what is there
    count += got;
  }
  if (count == 0 && want > 0) {
    Dispose();
    return 0;
  }
  position_ += static_cast<std::uint64_t>(count);
  return count;
}

void cBinaryFileStream::Dispose() {
  if (fd_ < 0)
    return;
  ::close(fd_);
  fd_ = -1;
}

} // namespace zandrex
