// Ticking helpers over the built rows: keep one file per group and tick the rest, tick a folder,
// untick all, invert a group. Each returns what it did, as the status bar reports it.
#pragma once

#include "common/pass_hooks.h"
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
  // Files a keep-one helper left unticked: another size or other bytes than the kept file;
  // either could not be read or is not the file found; another name (hard link) of a kept file.
  std::uint64_t differ = 0;
  std::uint64_t unreadable = 0;
  std::uint64_t hardLinks = 0;
  // Files in a protected folder the helper would otherwise have ticked.
  std::uint64_t protectedLeft = 0;
  // Stopped before its end: no tick was changed.
  bool cancelled = false;
};

// The full path of a record (folder + name as found on disk).
using PathOf = std::function<std::string(RecordId)>;

class ProtectedMarks;
class TickVerifier;

// In each group keeps the file the rule picks (ties broken by path order) and unticks it; ticks
// each other file that verifier proves a copy of it and unticks the rest. Another name (hard
// link) of a kept file, of its own group or another, is never ticked: deleting it frees nothing.
// Without a verifier the grouping is trusted, which is right only for groups found by content.
// A file protectedFiles marks is never ticked: a group holding one keeps one of them (by the
// rule, among them alone) and leaves the others unticked too, so a group of protected files only
// is left wholly unticked. Events run and a cancel is looked at before each file and during each
// compare; a cancelled run changes no tick. Each file but the kept ones is a step of progress.
// Without group rows nothing happens.
SelectionResult tickAllButOne(ReportGrid& grid, KeepRule rule, const PathOf& pathOf,
                              TickVerifier* verifier, const PassHooks& hooks,
                              const ProtectedMarks* protectedFiles = nullptr);
// The same trusting the grouping: for callers not yet moved to DuplicateFinder's
// keepOneInEachGroup, which verifies in the modes that do not compare content.
SelectionResult tickAllButOne(ReportGrid& grid, KeepRule rule, const PathOf& pathOf);
// Ticks every listed file whose path lies inside folder (a "/"-terminated folder path), but for
// those protectedFiles marks.
SelectionResult tickInsideFolder(ReportGrid& grid, const std::string& folder, const PathOf& pathOf,
                                 const ProtectedMarks* protectedFiles = nullptr);
// Unticks every listed file.
SelectionResult untickAll(ReportGrid& grid);
// Inverts the ticks of the files of the group whose group row stands at position. A file
// protectedFiles marks keeps its tick: only a click by hand ticks one.
SelectionResult invertGroup(ReportGrid& grid, std::size_t position,
                            const ProtectedMarks* protectedFiles = nullptr);

// "Ticked 4,812 files in 2,401 groups; 21 ties broken by path", then what was left unticked:
// "; 3 left unticked: their bytes differ from the kept copy", "; 1 left unticked: unreadable or
// changed since the find", "; 1 hard link of a kept copy left unticked" (each only when not 0).
// A cancelled run: "Cancelled: no tick changed".
std::string tickedReport(const SelectionResult& result);
// "Unticked 12 files".
std::string untickedReport(const SelectionResult& result);
// The rule for a command-line word: newest, oldest, first, shortest.
bool keepRuleFromName(const std::string& name, KeepRule& rule);

} // namespace zandrex
