// The deletion run's loop: every ticked file is deleted outright (no trash, no prompt) once the
// deletion guard has let it go; the others are listed with the reason.
#pragma once

#include "common/pass_hooks.h"
#include "delete/failure_list.h"
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
// visited), letting events run and counting a step for each. A deleted file's record is removed
// from grid; a refused one stays, ticked, and is added to failures. The rows are left stale.
// A cancel stops the run before the next record. In the content mode (grouped by the content
// key) a file goes only when a kept copy of its group holds the very same bytes. A file
// protectedFiles marks is never deleted.
DeletionRun deleteTickedFiles(ReportGrid& grid, FailureList& failures, const FoundTree& found,
                              bool contentMode, const PassHooks& hooks,
                              const DeletionStepHook& onStep = {},
                              const ProtectedMarks* protectedFiles = nullptr);

// Removes name from the folder folderFd: nonzero on success, 0 on failure with errno left as the
// system set it. The path is only for the error report.
std::int32_t removeFile(const std::string& lpFileName, int folderFd, const std::string& name);

} // namespace zandrex
