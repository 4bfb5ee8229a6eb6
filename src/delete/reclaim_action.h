// What is done to a ticked file once the deletion guard let it go: its name removed, the file
// moved into the trash, or its name made to share the kept copy's bytes.
#pragma once

#include "delete/deletion_guard.h"
#include "delete/reclaim_way.h"
#include "grid/report_grid.h"
#include "platform/anchored_tree.h"
#include "platform/trash_can.h"

#include <functional>
#include <optional>
#include <string>

namespace zandrex {

class ReclaimAction {
public:
  // grid and found must outlive the action. The trash, when way needs it, is the home trash of
  // the environment at construction and the trashes of the other file systems.
  ReclaimAction(ReclaimWay way, const ReportGrid& grid, const FoundTree& found);

  // Whether the guard must prove a kept copy the file can become a link of.
  bool linksToKept() const { return !takesNameAway(way_); }
  // Reclaims the file of record, which guard has just let go (guard.lastLook() included):
  // "" when done, else why not, with the file left as it was. keepGoing is asked between the
  // ranges the file system compares.
  std::string apply(const DeletionGuard& guard, RecordId record,
                    const std::function<bool()>& keepGoing);

private:
  // The real path of a folder of the find: the source's real path and the names down to it.
  std::string realFolderPath(FolderId folder) const;

  ReclaimWay way_;
  const ReportGrid& grid_;
  const FoundTree& found_;
  std::optional<TrashMover> trash_;
};

} // namespace zandrex
