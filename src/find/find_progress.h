// What a find is doing, for the status bar's third field and the command line's progress line:
// the stages bump a few numbers as they go, and the text is put together only when someone looks.
#pragma once

#include "digest/digest_pass.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace zandrex {

struct FindProgress {
  enum class Phase : std::uint8_t { Idle, Listing, Grouping, Reading };
  Phase phase = Phase::Idle;
  // Listing: files met so far; Grouping: the files being grouped.
  std::uint64_t files = 0;
  // Reading: the content pass's own numbers.
  ReadProgress read;
  // The find was cancelled, in its walk or in a pass.
  bool cancelled = false;
};

// The content pass's share done, 0 to 1: files and bytes together (a file weighs one byte more
// than its size), so that a pass over empty files or files the edge sift clears moves too.
double readFraction(const ReadProgress& read);

// "Listing: 120,345 files", "Grouping: 1,000,000 files", "Comparing first blocks: 5,000 files",
// "Reading: 1,234 of 5,000 files; 1.2 GB of 10.7 GB; /data/big/file.iso"; "" while idle. pathOf
// gives the path of the file being read (only called when there is one); a control character or
// a byte that is not UTF-8 in it shows as "?", so a name can neither break the line nor reach a
// terminal as an escape sequence.
std::string formatProgress(const FindProgress& progress,
                           const std::function<std::string(RecordId)>& pathOf);

// The find's note after a cancel, in the status bar's third field.
inline constexpr std::string_view kCancelledNote = "Cancelled";

} // namespace zandrex
