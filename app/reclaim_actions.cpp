#include "reclaim_actions.h"

#include <QAction>
#include <QMenu>

namespace zandrex::desktop {

namespace {

struct ReclaimItem {
  const char* name;
  const char* caption;
  ReclaimWay way;
};

constexpr ReclaimItem kReclaimItems[] = {
    {"actMoveToTrash", kMoveToTrashCaption, ReclaimWay::Trash},
    {"actHardLinks", kHardLinksCaption, ReclaimWay::HardLink},
    {"actReflinks", kReflinksCaption, ReclaimWay::Reflink},
};

} // namespace

const char* progressCaption(ReclaimWay way) {
  switch (way) {
  case ReclaimWay::Trash:
    return "Moving to the trash:";
  case ReclaimWay::HardLink:
  case ReclaimWay::Reflink:
    return "Linking:";
  case ReclaimWay::Delete:
    break;
  }
  return "Deleting:";
}

void addReclaimActions(QMenu& menu, const std::function<void(ReclaimWay)>& run) {
  menu.addSeparator();
  for (const ReclaimItem& item : kReclaimItems) {
    QAction* action = menu.addAction(QString::fromUtf8(item.caption));
    action->setObjectName(item.name);
    QObject::connect(action, &QAction::triggered, &menu, [run, way = item.way] { run(way); });
  }
}

} // namespace zandrex::desktop
