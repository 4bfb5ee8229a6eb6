#include "find/find_progress.h"

#include "select/group_stats.h"
#include "text/utf8.h"

#include <algorithm>

namespace zandrex {

namespace {

constexpr char kUnshown = '?';
constexpr char32_t kLastC0Control = 0x1F;
constexpr char32_t kDelete = 0x7F;
constexpr char32_t kLastC1Control = 0x9F;
constexpr char32_t kLineSeparator = 0x2028;
constexpr char32_t kParagraphSeparator = 0x2029;

bool breaksTheLine(char32_t c) {
  return c <= kLastC0Control || (c >= kDelete && c <= kLastC1Control) || c == kLineSeparator ||
         c == kParagraphSeparator;
}

std::string shownPath(std::string_view path) {
  std::string out;
  out.reserve(path.size());
  for (std::size_t at = 0; at < path.size();) {
    const std::size_t length = utf8SequenceLength(path, at);
    if (length == 0) {
      out += kUnshown;
      ++at;
      continue;
    }
    if (breaksTheLine(utf8CodePoint(path, at, length)))
      out += kUnshown;
    else
      out.append(path.substr(at, length));
    at += length;
  }
  return out;
}

std::string filesCount(std::uint64_t count) {
  return withThousands(count) + (count == 1 ? " file" : " files");
}

std::string readingText(const ReadProgress& read,
                        const std::function<std::string(RecordId)>& pathOf) {
  switch (read.stage) {
  case ReadProgress::Stage::Recalling:
    return "Looking up remembered checksums: " + filesCount(read.filesTotal);
  case ReadProgress::Stage::Sifting:
    return "Comparing first blocks: " + filesCount(read.filesTotal);
  case ReadProgress::Stage::Reading:
    break;
  }
  std::string text =
      "Reading: " + withThousands(read.filesDone) + " of " + filesCount(read.filesTotal);
  // Nothing left to read whole (every file cleared by the sift, or empty): no bytes to count.
  if (read.bytesTotal > 0)
    text += "; " + formatBytes(read.bytesDone) + " of " + formatBytes(read.bytesTotal);
  if (read.file != kNoRecord)
    text += "; " + shownPath(pathOf(read.file));
  return text;
}

} // namespace

double readFraction(const ReadProgress& read) {
  const double total = static_cast<double>(read.bytesTotal) + static_cast<double>(read.filesTotal);
  if (total <= 0)
    return 0;
  const double done = static_cast<double>(read.bytesDone) + static_cast<double>(read.filesDone);
  return std::min(1.0, done / total);
}

std::string formatProgress(const FindProgress& progress,
                           const std::function<std::string(RecordId)>& pathOf) {
  switch (progress.phase) {
  case FindProgress::Phase::Idle:
    return {};
  case FindProgress::Phase::Listing:
    return "Listing: " + filesCount(progress.files);
  case FindProgress::Phase::Grouping:
    return "Grouping: " + filesCount(progress.files);
  case FindProgress::Phase::Reading:
    return readingText(progress.read, pathOf);
  }
  return {};
}

} // namespace zandrex
