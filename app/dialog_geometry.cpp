#include "dialog_geometry.h"

#include <QLabel>
#include <algorithm>
#include <cmath>

namespace zandrex::desktop {

namespace {

int scaledPixels(int twips, double scale) {
  return static_cast<int>(std::lround(twips * scale / kTwipsPerPixel));
}

} // namespace

QRect scaledTwipsRect(const DesignRect& at, double widthScale) {
  const int left = scaledPixels(at.left, widthScale);
  const int right = scaledPixels(at.left + at.width, widthScale);
  return QRect(left, twipsToPixels(at.top), right - left, twipsToPixels(at.height));
}

void DesignLayout::add(QWidget* widget, const DesignRect& at) {
  entries_.push_back({widget, at, nullptr});
}

void DesignLayout::addOneLine(QLabel* label, const DesignRect& at) {
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
    scale = std::max(scale, static_cast<double>(needed) * kTwipsPerPixel / entry.at.width);
  }
  return scale;
}

void DesignLayout::apply(double widthScale) const {
  for (const Entry& entry : entries_)
    entry.widget->setGeometry(scaledTwipsRect(entry.at, widthScale));
}

} // namespace zandrex::desktop
