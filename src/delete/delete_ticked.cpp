#include "delete/delete_ticked.h"

#include "delete/deletion_guard.h"
#include "delete/reclaim_action.h"
#include "errors/err_trap.h"
#include "grid/file_record.h"
#include "platform/platform.h"

#include <cerrno>

namespace zandrex {

namespace {
constexpr std::string_view kStepCheck = "check";
constexpr std::string_view kStepRemove = "remove";
constexpr std::string_view kStepRemoved = "removed";
} // namespace

std::int32_t removeFile(const std::string& lpFileName, int folderFd, const std::string& name) {
  return trapInner(
      "wUnicode.DeleteFile(lpFileName)",
      [&]() -> std::int32_t { return removeIn(folderFd, name.c_str()) ? 1 : 0; }, lpFileName);
}

DeletionRun deleteTickedFiles(ReportGrid& grid, FailureList& failures, const FoundTree& found,
                              bool contentMode, const PassHooks& hooks,
                              const DeletionStepHook& onStep,
                              const ProtectedMarks* protectedFiles) {
  return reclaimTickedFiles(grid, failures, found, contentMode, ReclaimWay::Delete, hooks, onStep,
                            protectedFiles);
}

DeletionRun reclaimTickedFiles(ReportGrid& grid, FailureList& failures, const FoundTree& found,
                               bool contentMode, ReclaimWay way, const PassHooks& hooks,
                               const DeletionStepHook& onStep,
                               const ProtectedMarks* protectedFiles) {
  return trapInner("Form1.RunRename", [&] {
    DeletionRun run;
    ReclaimAction action(way, grid, found);
    DeletionGuard guard(grid, found, contentMode, action.linksToKept(), protectedFiles);
    // A byte compare of two big files lets the window answer, and "Cancel" stop it.
    const std::function<bool()> keepGoing = [&] {
      hooks.whileWaiting();
      return !hooks.cancelled();
    };
    const std::size_t n = grid.recordCount();
    for (std::size_t i = n; i-- > 0;) {
      hooks.letEventsRun();
      if (hooks.cancelled()) {
        run.cancelled = true;
        break;
      }
      hooks.step();
      const RecordId record = grid.recordAt(i);
      if (!grid.ticked(record))
        continue;
      if (onStep)
        onStep(record, kStepCheck);
      std::string reason = guard.refusal(record, keepGoing);
      if (reason.empty() && onStep)
        onStep(record, kStepRemove);
      if (reason.empty())
        reason = guard.lastLook(record);
      if (reason.empty())
        reason = action.apply(guard, record, keepGoing);
      if (reason.empty()) {
        if (onStep)
          onStep(record, kStepRemoved);
        if (takesNameAway(way))
          guard.deleted(record);
        grid.removeAt(grid.recordIndex(record));
        continue;
      }
      // Listed by the name the main grid shows, the one found on disk.
      failures.add(std::string(grid.item(record, col::kPath).asText()), diskNameOf(grid, record),
                   std::string(grid.item(record, col::kDate).asText()),
                   grid.item(record, col::kSize).displayText(), reason);
    }
    run.groupsLost = guard.groupsLost();
    return run;
  });
}

} // namespace zandrex
