#include "main_window_layout.h"

#include <algorithm>

namespace zandrex::desktop {

void Form_Resize(ResizableLayout& layout, int clientWidth, int clientHeight, int statusBarHeight) {
  TwipsRect& grid = layout.grid;
  grid.height = std::max(0, clientHeight - kHeightBesidesGrid - statusBarHeight);
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
  return kHeightBesidesGrid + statusBarHeight + kMinimumGridHeight;
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
