#include "main_window_layout.h"

#include <algorithm>

namespace zandrex::desktop {

void Form_Resize(ResizableLayout& layout, int clientWidth, int clientHeight, int statusBarHeight) {
  const bool stacked = clientWidth < kSideBySideWidth;
  layout.Frame1 = stacked ? kStackedFrame1 : design::Frame1;
  const int drop = stacked ? kStackedDrop : 0;
  TwipsRect& grid = layout.grid;
  grid.top = kGridTop + drop;
  grid.height = std::max(0, clientHeight - kHeightBesidesGrid - drop - statusBarHeight);
  grid.width = std::max(0, clientWidth - kWidthBesidesGrid);
  layout.ProgressBar1.width = grid.right() - layout.ProgressBar1.left;
  layout.ProgressBar2.width = grid.right() - layout.ProgressBar2.left;
  layout.Command4.top = grid.bottom() + kBandGap;
  layout.lblprb1.top = layout.Command4.bottom() + kBandGap;
  layout.lblprb2.top = layout.lblprb1.bottom() + kBandGap;
  layout.ProgressBar1.top = layout.Command4.bottom() + kBandGap;
  layout.ProgressBar2.top = layout.lblprb1.bottom() + kBandGap;
  layout.bnAbout.top = layout.ProgressBar2.bottom() + kBandGap;
  layout.bnAbout.left = layout.ProgressBar2.right() - layout.bnAbout.width;
  layout.Command4.left = layout.ProgressBar2.right() - layout.Command4.width;
  layout.bnSelect.top = layout.Command4.top;
  layout.bnSelect.left = layout.Command4.left - kBandGap - layout.bnSelect.width;
  layout.Text1 = grid;
}

int minimumClientHeight(int statusBarHeight) {
  return kHeightBesidesGrid + kStackedDrop + statusBarHeight + kMinimumGridHeight;
}

namespace {

// Moves a span of length size starting at start into [low, high), keeping its low end inside
// when it is too long.
int placeInside(int start, int size, int low, int high) {
  return std::max(low, std::min(start, high - size));
}

} // namespace

QRect openingGeometry(const OpeningPlace& place) {
  const QRect inside = place.available.marginsRemoved(place.frame);
  const bool stored = place.stored && !place.stored->isEmpty();
  QSize size = stored ? place.stored->size() : place.design;
  size = size.boundedTo(inside.size()).expandedTo(place.minimum);
  QRect client(QPoint(), size);
  if (stored)
    client.moveTopLeft(place.stored->topLeft());
  else
    client.moveCenter(inside.center());
  client.moveLeft(
      placeInside(client.left(), size.width(), inside.left(), inside.left() + inside.width()));
  client.moveTop(
      placeInside(client.top(), size.height(), inside.top(), inside.top() + inside.height()));
  return client;
}

double fitScale(std::initializer_list<FitNeed> needs, double dpi) {
  double scale = 1.0;
  for (const FitNeed& need : needs) {
    const double given = need.twips * dpi / kTwipsPerInch;
    if (given > 0)
      scale = std::max(scale, need.pixels / given);
  }
  return scale;
}

} // namespace zandrex::desktop
