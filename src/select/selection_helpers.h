// Ticking helpers over the built rows: keep one file per group and tick the rest, tick a folder,
// untick all, invert a group. Each returns what it did, as the status bar reports it.
#pragma once

#include "grid/report_grid.h"

#include <cstdint>
#include <functional>
#include <string>

namespace zandrex {

// Which file of a group stays unticked.
enum class KeepRule {
  Newest,  // latest modification time
  Oldest,  // earliest modification time
  First,   // first in path order
  Shortest // shortest full path
};

struct SelectionResult {
  std::uint64_t ticked = 0; // files ticked (or, for untick, unticked)
  std::uint64_t groups = 0; // groups touched
  std::uint64_t ties = 0;   // groups where equal times or lengths were broken by path order
};

// The full path of a record (folder + name as found on disk).
using PathOf = std::function<std::string(RecordId)>;

// Ticks every file of every group but the one the rule keeps, and unticks that one. Ties are
// broken by path order. Without group rows nothing happens.
SelectionResult tickAllButOne(ReportGrid& grid, KeepRule rule, const PathOf& pathOf);
// Ticks every listed file whose path lies inside folder (a "/"-terminated folder path).
SelectionResult tickInsideFolder(ReportGrid& grid, const std::string& folder, const PathOf& pathOf);
// Unticks every listed file.
SelectionResult untickAll(ReportGrid& grid);
// Inverts the ticks of the files of the group whose group row stands at position.
SelectionResult invertGroup(ReportGrid& grid, std::size_t position);

// "Ticked 4,812 files in 2,401 groups; 21 ties broken by path".
std::string tickedReport(const SelectionResult& result);
// "Unticked 12 files".
std::string untickedReport(const SelectionResult& result);
// The rule for a command-line word: newest, oldest, first, shortest.
bool keepRuleFromName(const std::string& name, KeepRule& rule);

} // namespace zandrex
