// Reads one file front to back in blocks. One reader serves one file; it owns its open file
// until a Read finds nothing left, until Dispose, or until it is destroyed.
//
// Positions are 64-bit: files of 2 GiB and more are read to their end.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace zandrex {

// Raises error 53 with the source "<executable name>.File": what attaching a file that does not
// exist raises, wherever a file is opened for its content.
[[noreturn]] void raiseAttachNotFound();

class cBinaryFileStream {
public:
  cBinaryFileStream() = default;
  ~cBinaryFileStream();
  cBinaryFileStream(const cBinaryFileStream&) = delete;
  cBinaryFileStream& operator=(const cBinaryFileStream&) = delete;

  // The attached path.
  const std::string& file() const { return fileName_; }
  // Attaches a file: closes a file still open, stores the path, and opens it when it exists
  // (Length then holds its size at this moment). A path that does not exist raises error 53 with
  // the source "<executable name>.File"; a refused open raises the system's error. The open does
  // not follow a symbolic link that replaced the file since the walk.
  void file(const std::string& sFile);
  // Attaches like file(), with the same errors, in one open and one fstat instead of three path
  // lookups: the checksum workers' way in, where a million small files pay for every lookup.
  // With folderFd >= 0 the file is opened as name relative to that folder (sFile's folder).
  // A knownLength (the size the walk just saw) saves asking the file for it.
  static constexpr std::uint64_t kUnknownLength = UINT64_MAX;
  void attachDirect(const std::string& sFile, int folderFd = -1, std::string_view name = {},
                    std::uint64_t knownLength = kUnknownLength);
  // The size captured when the file was attached.
  std::uint64_t Length() const { return length_; }
  std::uint64_t Position() const { return position_; }

  // Places up to readSize bytes at the start of buffer (which holds at least readSize bytes) and
  // returns how many; never more than Length in total. Returns 0 at the end and closes the file.
  // A file that shrank since it was attached ends early.
  std::int64_t Read(std::span<std::uint8_t> buffer, std::int64_t readSize);

  // Closes the file if one is open; safe any number of times.
  void Dispose();
  // The open descriptor, -1 when none (a closed reader holds no file).
  int descriptor() const { return fd_; }

private:
  std::string fileName_;
  int fd_ = -1;
  std::uint64_t length_ = 0;
  std::uint64_t position_ = 0;
};

} // namespace zandrex
