#include "dialog_geometry.h"

#include <QLabel>
#include <algorithm>

namespace zandrex::desktop {

QRect scaledTwipsRect(const TwipsRect& at, double widthScale) {
  const QRect unscaled = twipsToPixels(at);
  const int left = twipsToPixels(at.left * widthScale);
  const int right = twipsToPixels(at.right() * widthScale);
  return QRect(left, unscaled.top(), right - left, unscaled.height());
}

void DesignLayout::add(QWidget* widget, const TwipsRect& at) {
  entries_.push_back({widget, at, nullptr});
}

void DesignLayout::addOneLine(QLabel* label, const TwipsRect& at) {
  entries_.push_back({label, at, label});
}

double DesignLayout::fitScale() const {
  double scale = 1.0;
  for (const Entry& entry : entries_) {
    if (!entry.oneLine || entry.at.width <= 0)
      continue;
    const QLabel& label = *entry.oneLine;
    const int needed = label.fontMetrics().horizontalAdvance(label.text()) + 2 * label.margin() +
                       2 * label.frameWidth() + std::max(0, label.indent());
    scale = std::max(scale, static_cast<double>(pixelsToTwips(needed)) / entry.at.width);
  }
  return scale;
}

void DesignLayout::apply(double widthScale) const {
  for (const Entry& entry : entries_)
    entry.widget->setGeometry(scaledTwipsRect(entry.at, widthScale));
}

} // namespace zandrex::desktop
