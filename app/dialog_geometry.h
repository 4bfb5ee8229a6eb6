// Design geometry of the secondary windows: their layouts are kept in twips (1/1440 inch) and
// drawn at 96 dots per inch, where 15 twips make one pixel.
#pragma once

#include <QRect>

namespace zandrex::desktop {

inline constexpr int kTwipsPerPixel = 15;

// Twips to pixels, rounded to the nearest pixel.
constexpr int twipsToPixels(int twips) {
  return twips >= 0 ? (twips + kTwipsPerPixel / 2) / kTwipsPerPixel
                    : -((-twips + kTwipsPerPixel / 2) / kTwipsPerPixel);
}
constexpr int pixelsToTwips(int pixels) {
  return pixels * kTwipsPerPixel;
}

// A control's rectangle from its design left, top, width and height in twips.
inline QRect twipsRect(int left, int top, int width, int height) {
  return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width),
               twipsToPixels(height));
}

} // namespace zandrex::desktop
