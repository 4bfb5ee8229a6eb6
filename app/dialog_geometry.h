// Design geometry of the secondary windows: their layouts are kept in twips (1/1440 inch) and
// drawn at 96 dots per inch, where 15 twips make one pixel.
#pragma once

#include <QRect>
#include <vector>

class QLabel;
class QWidget;

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

// A control's design rectangle, in twips.
struct DesignRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

// The controls of a fixed-size window at their design rectangles. The designs were drawn for a
// narrower font than the desktop's usual one, so the whole window may be drawn wider than
// designed (never narrower, never taller) for its one-line texts to fit.
class DesignLayout {
public:
  // widget's rectangle is relative to its parent, like the design's.
  void add(QWidget* widget, const DesignRect& at);
  // A label whose text must fit on one line in its design width.
  void addOneLine(QLabel* label, const DesignRect& at);
  // The smallest width scale (at least 1) at which every one-line text fits.
  double fitScale() const;
  // Places every control, its horizontal geometry times widthScale.
  void apply(double widthScale) const;

private:
  struct Entry {
    QWidget* widget;
    DesignRect at;
    QLabel* oneLine;
  };
  std::vector<Entry> entries_;
};

// A design rectangle drawn with its horizontal geometry times widthScale.
QRect scaledTwipsRect(const DesignRect& at, double widthScale);

} // namespace zandrex::desktop
