#include "select/group_stats.h"

#include "grid/file_identity.h"
#include "grid/file_record.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace zandrex {

namespace {

// A child of a group with an identity; sorting these brings the names of one file together.
struct Member {
  FileIdentity id;
  std::uint64_t size = 0;
  std::uint32_t child = 0;
};

// Walks the children of the group row at position; marks repeated files in hardLink if given.
// Sorting a reused list instead of hashing keeps a million rows free of per-group allocation
// (a hash set's clear() also costs its largest bucket count, every group after a big one).
GroupStats statsOfGroup(const ReportGrid& grid, std::size_t position, std::vector<Member>& members,
                        std::vector<bool>* hardLink) {
  GroupStats stats;
  const std::size_t children = grid.row(position).childCount;
  stats.files = static_cast<std::uint32_t>(children);
  members.clear();
  std::uint64_t total = 0;
  std::uint64_t largest = 0;
  auto count = [&](std::uint64_t size) {
    total += size;
    largest = std::max(largest, size);
  };
  for (std::size_t k = 1; k <= children; ++k) {
    const FileFacts& facts = grid.facts(grid.row(position + k).record);
    // Records without an identity (inode 0) are counted as distinct files.
    if (facts.inode == 0)
      count(facts.size);
    else
      members.push_back({identityOf(facts), facts.size, static_cast<std::uint32_t>(k)});
  }
  auto byIdentityThenRow = [](const Member& a, const Member& b) {
    if (a.id.device != b.id.device)
      return a.id.device < b.id.device;
    if (a.id.inode != b.id.inode)
      return a.id.inode < b.id.inode;
    return a.child < b.child;
  };
  std::sort(members.begin(), members.end(), byIdentityThenRow);
  for (std::size_t m = 0; m < members.size(); ++m) {
    // The first-listed name of a file counts; later names of it are the repeats.
    const bool repeated = m > 0 && members[m - 1].id == members[m].id;
    if (hardLink && repeated)
      (*hardLink)[position + members[m].child] = true;
    if (!repeated)
      count(members[m].size);
  }
  stats.reclaimable = total - largest;
  return stats;
}

} // namespace

GroupStats groupStatsAt(const ReportGrid& grid, std::size_t position, std::vector<bool>* hardLink) {
  std::vector<Member> members;
  return statsOfGroup(grid, position, members, hardLink);
}

std::uint64_t totalReclaimable(const ReportGrid& grid) {
  std::uint64_t total = 0;
  std::vector<Member> members;
  const std::size_t rows = grid.rowCount();
  for (std::size_t i = 0; i < rows; i += 1 + grid.row(i).childCount) {
    if (grid.row(i).isGroup())
      total += statsOfGroup(grid, i, members, nullptr).reclaimable;
  }
  return total;
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

bool groupedByContent(const ReportGrid& grid) {
  const auto& order = grid.groupOrder();
  return order.size() == 1 && order.front() == col::kContent;
}

std::string groupHeading(const ReportGrid& grid, std::size_t position) {
  const auto& order = grid.groupOrder();
  if (order.empty())
    return {};
  int column = order.front();
  std::string key = grid.column(column).caption + ": " + grid.groupKey(position).displayText();
  if (column == col::kContent && grid.row(position).childCount > 0) {
    RecordId first = grid.row(position + 1).record;
    key = grid.column(col::kChecksum).caption + ": " +
          std::string(grid.item(first, col::kChecksum).asText());
  }
  GroupStats stats = groupStatsAt(grid, position);
  const std::string files =
      withThousands(stats.files) + (stats.files == 1 ? " file, " : " files, ");
  if (!groupedByContent(grid))
    return key + " (" + files + "not verified)";
  return key + " (" + files + formatBytes(stats.reclaimable) + " reclaimable)";
}

} // namespace zandrex
