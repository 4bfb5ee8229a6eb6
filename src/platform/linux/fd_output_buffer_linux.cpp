#include "platform/fd_output_buffer.h"

#include <cerrno>
#include <unistd.h>

namespace zandrex {

FdOutputBuffer::FdOutputBuffer(int fd) : fd_(fd) {
  setp(buffer_, buffer_ + kSize);
}

FdOutputBuffer::~FdOutputBuffer() {
  drain();
}

bool FdOutputBuffer::writeAll(const char* data, std::size_t count) {
  while (count > 0 && error_ == 0) {
    ssize_t written = ::write(fd_, data, count);
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0) {
      error_ = written < 0 ? errno : EIO;
      break;
    }
    data += written;
    count -= static_cast<std::size_t>(written);
  }
  return error_ == 0;
}

bool FdOutputBuffer::drain() {
  const std::size_t pending = static_cast<std::size_t>(pptr() - pbase());
  setp(buffer_, buffer_ + kSize);
  // After a failure nothing more is written: the output must not go on past a gap.
  return error_ == 0 && writeAll(buffer_, pending);
}

FdOutputBuffer::int_type FdOutputBuffer::overflow(int_type c) {
  if (!drain())
    return traits_type::eof();
  if (traits_type::eq_int_type(c, traits_type::eof()))
    return traits_type::not_eof(c);
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  return c;
}

std::streamsize FdOutputBuffer::xsputn(const char* data, std::streamsize count) {
  if (error_ != 0)
    return 0;
  const auto room = static_cast<std::streamsize>(epptr() - pptr());
  if (count <= room) {
    traits_type::copy(pptr(), data, static_cast<std::size_t>(count));
    pbump(static_cast<int>(count));
    return count;
  }
  if (!drain() || !writeAll(data, static_cast<std::size_t>(count)))
    return 0;
  return count;
}

int FdOutputBuffer::sync() {
  return drain() ? 0 : -1;
}

} // namespace zandrex
