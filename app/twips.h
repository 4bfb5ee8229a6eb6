// The windows' designs are in twips (1/1440 inch), drawn at 96 dots per inch, where 15 twips make
// one pixel. Every window converts through here so that all round alike: to the nearest pixel,
// halves away from zero. A rectangle converts its edges, so elements that share an edge in twips
// share it in pixels too.
#pragma once

#include <QRect>

namespace zandrex::desktop {

inline constexpr double kTwipsPerInch = 1440.0;
inline constexpr double kDesignDpi = 96.0;

// A design rectangle, in twips.
struct TwipsRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  constexpr int right() const { return left + width; }
  constexpr int bottom() const { return top + height; }
  bool operator==(const TwipsRect&) const = default;
};

// Twips (whole or scaled) and pixels at dpi dots per inch.
int twipsToPixels(double twips, double dpi = kDesignDpi);
int pixelsToTwips(int pixels, double dpi = kDesignDpi);
QRect twipsToPixels(const TwipsRect& rect, double dpi = kDesignDpi);

} // namespace zandrex::desktop
