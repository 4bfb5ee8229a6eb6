#include "form1/group_stats.h"

#include "grid/file_identity.h"

#include <algorithm>
#include <cstdio>
#include <unordered_set>

namespace zandrex {

namespace {

// Walks the children of the group row at position; marks repeated files in hardLink if given.
GroupStats statsOfGroup(const ReportGrid& grid, std::size_t position,
                        std::unordered_set<FileIdentity, FileIdentityHash>& seen,
                        std::vector<bool>* hardLink) {
  GroupStats stats;
  const std::size_t children = grid.row(position).childCount;
  stats.files = static_cast<std::uint32_t>(children);
  seen.clear();
  std::uint64_t total = 0;
  std::uint64_t largest = 0;
  for (std::size_t k = 1; k <= children; ++k) {
    const FileFacts& facts = grid.facts(grid.row(position + k).record);
    // Records without an identity (inode 0) are counted as distinct files.
    bool repeated = facts.inode != 0 && !seen.insert(identityOf(facts)).second;
    if (hardLink)
      (*hardLink)[position + k] = repeated;
    if (repeated)
      continue;
    total += facts.size;
    largest = std::max(largest, facts.size);
  }
  stats.reclaimable = total - largest;
  return stats;
}

} // namespace

GridStats computeGridStats(const ReportGrid& grid) {
  GridStats out;
  const std::size_t rows = grid.rowCount();
  out.byRow.resize(rows);
  out.hardLink.assign(rows, false);
  std::unordered_set<FileIdentity, FileIdentityHash> seen;
  for (std::size_t i = 0; i < rows; ++i) {
    if (!grid.row(i).isGroup())
      continue;
    out.byRow[i] = statsOfGroup(grid, i, seen, &out.hardLink);
    out.totalReclaimable += out.byRow[i].reclaimable;
  }
  return out;
}

GroupStats groupStatsAt(const ReportGrid& grid, std::size_t position) {
  std::unordered_set<FileIdentity, FileIdentityHash> seen;
  return statsOfGroup(grid, position, seen, nullptr);
}

std::string withThousands(std::uint64_t value) {
  std::string digits = std::to_string(value);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0)
      out += ',';
    out += digits[i];
  }
  return out;
}

std::string formatBytes(std::uint64_t bytes) {
  constexpr double kStep = 1000.0;
  static constexpr const char* kUnits[] = {"kB", "MB", "GB", "TB", "PB", "EB"};
  if (bytes < kStep)
    return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
  double value = static_cast<double>(bytes) / kStep;
  std::size_t unit = 0;
  while (value >= kStep && unit + 1 < std::size(kUnits)) {
    value /= kStep;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
  return text;
}

std::string reclaimableText(std::uint64_t bytes) {
  return formatBytes(bytes) + " reclaimable";
}

} // namespace zandrex
