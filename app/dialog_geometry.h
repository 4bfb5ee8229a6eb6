// Design geometry of the secondary windows, whose layouts are kept in twips.
#pragma once

#include "twips.h"

#include <QRect>
#include <vector>

class QLabel;
class QWidget;

namespace zandrex::desktop {

// The controls of a fixed-size window at their design rectangles. The designs were drawn for a
// narrower font than the desktop's usual one, so the whole window may be drawn wider than
// designed (never narrower, never taller) for its one-line texts to fit.
class DesignLayout {
public:
  // widget's rectangle is relative to its parent, like the design's.
  void add(QWidget* widget, const TwipsRect& at);
  // A label whose text must fit on one line in its design width.
  void addOneLine(QLabel* label, const TwipsRect& at);
  // The smallest width scale (at least 1) at which every one-line text fits.
  double fitScale() const;
  // Places every control, its horizontal geometry times widthScale.
  void apply(double widthScale) const;

private:
  struct Entry {
    QWidget* widget;
    TwipsRect at;
    QLabel* oneLine;
  };
  std::vector<Entry> entries_;
};

// A design rectangle drawn with its horizontal geometry times widthScale.
QRect scaledTwipsRect(const TwipsRect& at, double widthScale);

} // namespace zandrex::desktop
