// What each group of the built rows costs: its file count and the space that deleting all but
// one copy would free. Names that are hard links of a file listed earlier in the same group
// free nothing and are marked. Only groups found by content are known to hold copies; the space
// of a group found by name or size is not claimed in the texts shown.
#pragma once

#include "grid/report_grid.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zandrex {

struct GroupStats {
  std::uint32_t files = 0;
  // Sizes of the group's distinct files (by device and inode) less the largest one.
  std::uint64_t reclaimable = 0;
};

// The stats of the group whose group row stands at position. With hardLink (indexed by row
// position, at least as long as the rows), also marks each of the group's files that is listed
// earlier in the group under another name; other entries are left as they are.
GroupStats groupStatsAt(const ReportGrid& grid, std::size_t position,
                        std::vector<bool>* hardLink = nullptr);
// The space deleting all but one copy in every group would free. One pass over the rows.
std::uint64_t totalReclaimable(const ReportGrid& grid);

// "4,812".
std::string withThousands(std::uint64_t value);
// "0 bytes", "512 bytes", "1.5 kB", "12.3 MB", "4.0 GB" (powers of 1000).
std::string formatBytes(std::uint64_t bytes);
// The second field of the status bar after a find: "12.3 MB reclaimable".
std::string reclaimableText(std::uint64_t bytes);
// The second field instead when the groups are not found by content: their space is not known.
inline constexpr const char* kSpaceNotVerifiedText =
    "Space not verified: find by content to know it";

// True when the rows are grouped by content alone: each group's files then hold the same bytes.
bool groupedByContent(const ReportGrid& grid);

// A group row's heading as the grid shows it: the caption of the grouping column, the key and
// the file count. Grouped by content, the checksum text stands for the key and the space deleting
// all but one copy would free follows ("Checksum: 352441C2 (2 files, 1.2 MB reclaimable)");
// otherwise the files are not known to be copies ("File: photo.jpg (2 files, not verified)").
std::string groupHeading(const ReportGrid& grid, std::size_t position);

} // namespace zandrex
