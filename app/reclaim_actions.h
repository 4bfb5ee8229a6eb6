// "Move to Trash", "Replace with hard links" and "Replace with reflinks": the other ways to
// reclaim the ticked files, as items of the "Select" button's menu beside "Delete selected
// files", which stays as it is. Each runs the deletion's guarded run with its way and shows its
// failures in the deletion-failure window under the way's title.
#pragma once

#include "delete/reclaim_way.h"

#include <functional>

class QMenu;

namespace zandrex::desktop {

inline constexpr const char* kMoveToTrashCaption = "Move to Trash";
inline constexpr const char* kHardLinksCaption = "Replace with hard links";
inline constexpr const char* kReflinksCaption = "Replace with reflinks";

// What the second progress bar's label says while a run of way is under way: "Deleting:" (the
// label's own text), "Moving to the trash:" or "Linking:".
const char* progressCaption(ReclaimWay way);

// Adds a separator and the three items to menu (which owns them); run is called with the way of
// the item chosen.
void addReclaimActions(QMenu& menu, const std::function<void(ReclaimWay)>& run);

} // namespace zandrex::desktop
