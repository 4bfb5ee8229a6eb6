// What a find leaves out as it walks: files below a size, and files and folders whose names
// match a pattern. Applied in the walk, so what is left out is never recorded. The default
// leaves out nothing: a find with it lists exactly what a find without any filter lists.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zandrex {

struct ScanFilter {
  // Files with fewer bytes are left out; a file of exactly this size is kept.
  std::uint64_t minSize = 0;
  // Shell-style patterns matched against a file's or a folder's own name, never its path; a
  // matching folder is not entered. The folders a find is given are entered whatever their names.
  std::vector<std::string> excludedNames;

  bool leavesOutNothing() const { return minSize == 0 && excludedNames.empty(); }
  // True when a file or folder of this name (NUL-terminated) is left out.
  bool leavesOutName(const char* name) const;
  bool leavesOutSize(std::uint64_t size) const { return size < minSize; }
};

// A size as the user writes it: a whole number of bytes, or followed by k, M or G (also lower
// case) for KiB, MiB or GiB: "1048576", "512k", "1M". Nothing when it is not one, or too big.
std::optional<std::uint64_t> parseSizeText(std::string_view text);
// A size in the largest of GiB, MiB and KiB that holds it whole, else in bytes: "1 MiB",
// "1536 KiB", "100 bytes". parseSizeText reads back the number with the unit's letter.
std::string sizeInUnits(std::uint64_t bytes);
// A size as parseSizeText reads it back, in the largest unit that holds it whole: "1M", "512k",
// "100".
std::string sizeText(std::uint64_t bytes);
// Why a pattern cannot be used, or "" when it can: it is empty, or holds "/" or a line end
// (a name holds neither).
std::string patternProblem(std::string_view pattern);
// The filter in a few words, "Filters: ≥ 1 MiB, 2 patterns"; "Filters: none" when it leaves out
// nothing.
std::string filterSummary(const ScanFilter& filter);

} // namespace zandrex
