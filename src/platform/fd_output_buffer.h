// A stream buffer that writes to a file descriptor and remembers why it could not.
#pragma once

#include <cstddef>
#include <streambuf>

namespace zandrex {

// Once a write has failed, everything after it is dropped and the stream using the buffer goes
// bad: an output never goes on past a gap. The descriptor is not owned.
class FdOutputBuffer : public std::streambuf {
public:
  explicit FdOutputBuffer(int fd);
  FdOutputBuffer(const FdOutputBuffer&) = delete;
  FdOutputBuffer& operator=(const FdOutputBuffer&) = delete;
  ~FdOutputBuffer() override;
  // The errno of the first failed write; 0 while every write succeeded.
  int error() const { return error_; }

protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* data, std::streamsize count) override;
  int sync() override;

private:
  // Writes the buffered bytes; false once any write has failed.
  bool drain();
  bool writeAll(const char* data, std::size_t count);

  static constexpr std::size_t kSize = 64 * 1024;
  int fd_;
  int error_ = 0;
  char buffer_[kSize];
};

} // namespace zandrex
