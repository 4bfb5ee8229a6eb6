#include "delete/content_compare.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zandrex {

namespace {

constexpr std::size_t kBlock = 128 * 1024;

class File {
public:
  explicit File(const std::string& path)
      : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK)) {}
  ~File() {
    if (fd_ >= 0)
      ::close(fd_);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  bool isRegular() const {
    struct stat st;
    return fd_ >= 0 && ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
  }
  // Fills buffer as far as the file allows; -1 on a read error.
  ssize_t fill(std::uint8_t* buffer, std::size_t size) const {
    std::size_t got = 0;
    while (got < size) {
      ssize_t n = ::read(fd_, buffer + got, size - got);
      if (n < 0 && errno == EINTR)
        continue;
      if (n < 0)
        return -1;
      if (n == 0)
        break;
      got += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(got);
  }

private:
  int fd_;
};

} // namespace

CompareOutcome compareFileContents(const std::string& keptPath, const std::string& filePath) {
  File kept(keptPath);
  if (!kept.isRegular())
    return CompareOutcome::KeptMissing;
  File file(filePath);
  if (!file.isRegular())
    return CompareOutcome::FileMissing;
  thread_local std::vector<std::uint8_t> a(kBlock);
  thread_local std::vector<std::uint8_t> b(kBlock);
  for (;;) {
    ssize_t na = kept.fill(a.data(), kBlock);
    ssize_t nb = file.fill(b.data(), kBlock);
    if (na < 0)
      return CompareOutcome::KeptMissing;
    if (nb < 0)
      return CompareOutcome::FileMissing;
    if (na != nb || std::memcmp(a.data(), b.data(), static_cast<std::size_t>(na)) != 0)
      return CompareOutcome::Differs;
    if (na == 0)
      return CompareOutcome::Same;
  }
}

} // namespace zandrex
