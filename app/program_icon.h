// Zandrex's own icon (data/icons/zandrex.svg, rendered to PNG sizes), built into the program.
#pragma once

#include <QIcon>

namespace zandrex::desktop {

// Every size of the icon, 16 to 256 pixels.
QIcon programIcon();

} // namespace zandrex::desktop
