// What each group of the built rows costs: its file count and the space that deleting all but
// one copy would free. Names that are hard links of a file listed earlier in the same group
// free nothing and are marked.
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

// A group row's heading as the grid shows it: the caption of the grouping column, the key, the
// file count and the space deleting all but one copy would free ("File: photo.jpg (2 files,
// 1.2 MB reclaimable)"); in the content mode the checksum text stands for the key.
std::string groupHeading(const ReportGrid& grid, std::size_t position);

} // namespace zandrex
