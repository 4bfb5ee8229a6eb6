// The command line's listings of a find's result.
#pragma once

#include "find/duplicate_finder.h"

#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>

namespace zandrex::cli {

// The mode names of --by, indexed by comparison mode.
inline constexpr const char* kModeNames[] = {"filename", "size", "filename-size", "content"};

// The groups as the grid lists them: a heading line per group, one full path per file, a blank
// line between groups, then the status text. Paths, and names in headings, as quotedName gives
// them; a file in a protected folder has a tab and "(protected)" after its path.
void printText(std::ostream& out, const DuplicateFinder& core);

// The groups for scripts: every file's full path as it is on disk, each followed by a NUL; after
// each group's last path one more NUL (an empty record). No headings, no status text.
void printNullSeparated(std::ostream& out, const DuplicateFinder& core);

// One JSON document; each file says whether it lies in a protected folder. Text is written as
// UTF-8; a byte that is not part of valid UTF-8 is written as the escape \udcXX (XX its value), the
// lone-surrogate convention that lets a reader restore the exact bytes.
void printJson(std::ostream& out, const DuplicateFinder& core, int mode);

// A JSON string literal of text, quotes included, escaped as described above.
std::string jsonString(std::string_view text);

// A name or path for a line of text output. Text without control characters (C0, DEL, C1),
// backslashes, quotes or bytes that are not UTF-8 is returned as it is. Other text is quoted the
// way GNU ls quotes for a terminal (its shell-escape style), so that a shell reads it back as the
// exact bytes: the text in '…', each ' written as \' outside the quotes, and every control
// character or stray byte as $'…' with \n, \t, \r, \a, \b, \f, \v or a three-digit octal escape
// per byte: "a<newline>b" becomes 'a'$'\n''b'. A quoted path thus starts with ' or $, a plain
// one as it always did (with "/" for the paths a find lists), and a quoted text never holds a
// line end or a control character.
std::string quotedName(std::string_view text);
// The same, but always in quotes (for messages that name a path): '/tmp/x'.
std::string quotedAlways(std::string_view text);

// A stream buffer that writes to a file descriptor and remembers why it could not: once a write
// has failed, everything after it is dropped and the stream using the buffer goes bad.
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

} // namespace zandrex::cli
