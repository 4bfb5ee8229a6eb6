#include "delete/content_compare.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

namespace zandrex {

namespace {

constexpr std::size_t kBlock = 128 * 1024;

// Fills buffer as far as the file allows; -1 on a read error.
ssize_t fill(int fd, std::uint8_t* buffer, std::size_t size) {
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = ::read(fd, buffer + got, size - got);
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

} // namespace

CompareOutcome compareOpenFiles(int keptFd, int fileFd, const std::function<bool()>& keepGoing) {
  thread_local std::vector<std::uint8_t> a(kBlock);
  thread_local std::vector<std::uint8_t> b(kBlock);
  for (;;) {
    if (keepGoing && !keepGoing())
      return CompareOutcome::Stopped;
    const ssize_t na = fill(keptFd, a.data(), kBlock);
    const ssize_t nb = fill(fileFd, b.data(), kBlock);
    if (na < 0)
      return CompareOutcome::KeptUnreadable;
    if (nb < 0)
      return CompareOutcome::FileUnreadable;
    if (na != nb || std::memcmp(a.data(), b.data(), static_cast<std::size_t>(na)) != 0)
      return CompareOutcome::Differs;
    if (na == 0)
      return CompareOutcome::Same;
  }
}

} // namespace zandrex
