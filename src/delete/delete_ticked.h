// The deletion run's loop: every ticked file is reclaimed by the way chosen (deleted outright, no
// prompt; moved to the trash; or made a link of the kept copy) once the deletion guard has let it
// go; the others are listed with the reason.
#pragma once

#include "common/pass_hooks.h"
#include "delete/failure_list.h"
#include "delete/reclaim_way.h"
#include "grid/report_grid.h"
#include "platform/anchored_tree.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace zandrex {

class ProtectedMarks;

struct DeletionRun {
  // Groups whose every member the run deleted.
  std::uint32_t groupsLost = 0;
  bool cancelled = false;
};

// A way in between the steps of the run: called with the record and "check" just before the
// guard looks at a ticked file, with "remove" just before its name is removed, and with "removed"
// once it is gone (the record is still readable then; it is tombstoned right after).
using DeletionStepHook = std::function<void(RecordId, std::string_view)>;

// Visits the records from the last to the first (removals keep the indexes of those not yet
// visited), letting events run and counting a step for each. A reclaimed file's record is removed
// from grid (a linked file's name stays on disk, but its space is no longer the grid's to free);
// a refused one stays, ticked, and is added to failures. The rows are left stale. A cancel stops
// the run before the next record. In the content mode (grouped by the content key) a file goes
// only when a kept copy of its group holds the very same bytes; a file to be linked, in every
// mode, only when a kept copy on its file system does (the copy it is then linked to). The
// "remove" and "removed" steps are those of the way's action. Only deleted and trashed files
// count towards the groups lost. A file protectedFiles marks is never reclaimed.
DeletionRun reclaimTickedFiles(ReportGrid& grid, FailureList& failures, const FoundTree& found,
                               bool contentMode, ReclaimWay way, const PassHooks& hooks,
                               const DeletionStepHook& onStep = {},
                               const ProtectedMarks* protectedFiles = nullptr);

// reclaimTickedFiles() by deletion.
DeletionRun deleteTickedFiles(ReportGrid& grid, FailureList& failures, const FoundTree& found,
                              bool contentMode, const PassHooks& hooks,
                              const DeletionStepHook& onStep = {},
                              const ProtectedMarks* protectedFiles = nullptr);

// Removes name from the folder folderFd: nonzero on success, 0 on failure with errno left as the
// system set it. The path is only for the error report.
std::int32_t removeFile(const std::string& lpFileName, int folderFd, const std::string& name);

} // namespace zandrex
