#include "program_icon.h"

#include <QString>

// The icons are resources of a static library: the linker keeps them only when called for.
// (Q_INIT_RESOURCE must be used outside every namespace.)
static void loadIconResources() {
  static const bool loaded = [] {
    Q_INIT_RESOURCE(zandrex);
    return true;
  }();
  (void)loaded;
}

namespace zandrex::desktop {

QIcon programIcon() {
  loadIconResources();
  QIcon icon;
  for (const int size : {16, 24, 32, 48, 64, 128, 256})
    icon.addFile(QStringLiteral(":/zandrex/zandrex-%1.png").arg(size), QSize(size, size));
  return icon;
}

} // namespace zandrex::desktop
