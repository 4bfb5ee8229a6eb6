// The pruning pass: what turns a grouping into a list of duplicates.
#pragma once

#include "common/pass_hooks.h"
#include "grid/report_grid.h"

#include <cstdint>
#include <optional>

namespace zandrex {

// Walks the rows as last built, once, and removes the record of every group that holds a single
// file; returns the number of files left (every file row when there are no group rows). The rows
// are left as they were (stale) for the caller to rebuild. Events run every tenth row and a cancel
// stops the pass before the next row, with nothing returned; records removed until then stay
// removed. Precondition: the rows are built under the current group order.
std::optional<std::int32_t> pruneSingles(ReportGrid& grid, const PassHooks& hooks);

} // namespace zandrex
