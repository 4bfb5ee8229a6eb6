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

struct GridStats {
  // Indexed by row position: filled for group rows, default for file rows.
  std::vector<GroupStats> byRow;
  // Indexed by row position: true for a file row whose file is listed earlier in its group.
  std::vector<bool> hardLink;
  std::uint64_t totalReclaimable = 0;
};

// One pass over the built rows, O(rows).
GridStats computeGridStats(const ReportGrid& grid);
// The stats of the group whose group row stands at position.
GroupStats groupStatsAt(const ReportGrid& grid, std::size_t position);

// "4,812".
std::string withThousands(std::uint64_t value);
// "0 bytes", "512 bytes", "1.5 kB", "12.3 MB", "4.0 GB" (powers of 1000).
std::string formatBytes(std::uint64_t bytes);
// The second field of the status bar after a find: "12.3 MB reclaimable".
std::string reclaimableText(std::uint64_t bytes);

} // namespace zandrex
