#include "twips.h"

#include <cmath>

namespace zandrex::desktop {

int twipsToPixels(double twips, double dpi) {
  return static_cast<int>(std::lround(twips * dpi / kTwipsPerInch));
}

int pixelsToTwips(int pixels, double dpi) {
  return static_cast<int>(std::lround(pixels * kTwipsPerInch / dpi));
}

QRect twipsToPixels(const TwipsRect& rect, double dpi) {
  const int left = twipsToPixels(rect.left, dpi);
  const int top = twipsToPixels(rect.top, dpi);
  return QRect(left, top, twipsToPixels(rect.right(), dpi) - left,
               twipsToPixels(rect.bottom(), dpi) - top);
}

} // namespace zandrex::desktop
