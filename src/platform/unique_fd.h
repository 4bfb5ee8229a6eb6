// The one owner of a file descriptor: closes it once, moves but never copies.
#pragma once

#include <unistd.h>
#include <utility>

namespace zandrex {

class UniqueFd {
public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other)
      reset(std::exchange(other.fd_, -1));
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  // -1 when none is held.
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Gives up the descriptor without closing it (to close it oneself and see the result).
  int release() { return std::exchange(fd_, -1); }
  // Closes the held descriptor (if any) and holds fd instead.
  void reset(int fd = -1) {
    if (fd_ >= 0)
      ::close(fd_);
    fd_ = fd;
  }

private:
  int fd_ = -1;
};

} // namespace zandrex
