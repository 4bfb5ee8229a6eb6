// The command line's words for each way of reclaiming the selected files: the option that asks
// for it and what its lines say of a file ("deleted: PATH", "not trashed: PATH: REASON").
#pragma once

#include "delete/reclaim_way.h"

#include <optional>
#include <string_view>

namespace zandrex::cli {

struct ReclaimWords {
  std::string_view option;      // "--delete"
  std::string_view done;        // "deleted": a file's line, and "nothing was deleted"
  std::string_view run;         // "deletion": "an error ended the deletion"
  std::string_view summary;     // "Deleted": "Deleted 3 files; ..."
  std::string_view summaryTail; // what follows the count: "" or " to the trash"
};

constexpr ReclaimWords reclaimWords(ReclaimWay way) {
  switch (way) {
  case ReclaimWay::Trash:
    return {"--trash", "trashed", "move to the trash", "Moved", " to the trash"};
  case ReclaimWay::HardLink:
    return {"--link hard", "linked", "linking", "Linked", ""};
  case ReclaimWay::Reflink:
    return {"--link reflink", "linked", "linking", "Linked", ""};
  case ReclaimWay::Delete:
    break;
  }
  return {"--delete", "deleted", "deletion", "Deleted", ""};
}

// The way a --link value names ("hard", "reflink"); nothing for any other value.
constexpr std::optional<ReclaimWay> linkWayFromName(std::string_view name) {
  if (name == "hard")
    return ReclaimWay::HardLink;
  if (name == "reflink")
    return ReclaimWay::Reflink;
  return std::nullopt;
}

} // namespace zandrex::cli
