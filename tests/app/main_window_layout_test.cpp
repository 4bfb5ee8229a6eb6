// The pure geometry: twips to pixels, the main window's layout in twips and the scale that widens
// a design for a larger font.
#include "dialog_geometry.h"
#include "main_window_layout.h"

#include <gtest/gtest.h>

namespace zandrex::desktop {
namespace {

TEST(Twips, EveryWindowRoundsAlikeAndKeepsSharedEdges) {
  EXPECT_EQ(twipsToPixels(1440), 96);
  EXPECT_EQ(twipsToPixels(1440, 144), 144);
  EXPECT_EQ(pixelsToTwips(96), 1440);
  EXPECT_EQ(pixelsToTwips(144, 144), 1440);
  // To the nearest pixel, halves away from zero.
  EXPECT_EQ(twipsToPixels(7), 0);
  EXPECT_EQ(twipsToPixels(7.5), 1);
  EXPECT_EQ(twipsToPixels(-7.5), -1);
  // A rectangle converts its edges: 8 twips from 8 is a pixel edge, not a pixel of width.
  EXPECT_EQ(twipsToPixels(TwipsRect{8, 8, 8, 8}), QRect(1, 1, 0, 0));

  // Neighbours meet in pixels, widened or not: a width rounded on its own would leave a gap.
  constexpr double kWidened = 1.37;
  const TwipsRect left{100, 8, 333, 8};
  const TwipsRect right{left.right(), left.bottom(), 100, 15};
  for (const double scale : {1.0, kWidened}) {
    SCOPED_TRACE(scale);
    EXPECT_EQ(scaledTwipsRect(left, scale).right() + 1, scaledTwipsRect(right, scale).left());
    EXPECT_EQ(scaledTwipsRect(left, scale).bottom() + 1, scaledTwipsRect(right, scale).top());
  }
}

// Each resize starts from the design, whatever size came before.
TEST(MainWindowLayout, ALargerWindowGrowsTheGridAndMovesTheBandAlongItsEdges) {
  ResizableLayout layout;
  Form_Resize(layout, 20000, 12000, 400);
  EXPECT_EQ(layout.grid, (TwipsRect{120, 1200, 19750, 8850}));
  for (const TwipsRect& rightAligned :
       {layout.Command4, layout.ProgressBar1, layout.ProgressBar2, layout.bnAbout})
    EXPECT_EQ(rightAligned.right(), layout.grid.right());
  EXPECT_EQ(layout.Command4.top, layout.grid.bottom() + kBandGap);
  // "Select" follows "Delete selected files" at the band's gap, on the same line.
  EXPECT_EQ(layout.bnSelect.right() + kBandGap, layout.Command4.left);
  EXPECT_EQ(layout.bnSelect.top, layout.Command4.top);
  EXPECT_EQ(layout.ProgressBar1.top, layout.lblprb1.top);
  EXPECT_EQ(layout.ProgressBar2.top, layout.lblprb2.top);
  EXPECT_EQ(layout.bnAbout.top, layout.ProgressBar2.bottom() + kBandGap);

  Form_Resize(layout, kOpeningClientWidth, kOpeningClientHeight, kDesignStatusBarHeight);
  EXPECT_EQ(layout.grid, (TwipsRect{120, 1200, 10730, 4720}));
  EXPECT_EQ(layout.Text1, layout.grid);
  EXPECT_EQ(layout.Command4, (TwipsRect{8675, 6000, 2175, 420}));
  EXPECT_EQ(layout.bnSelect, (TwipsRect{7500, 6000, 1095, 420}));
  EXPECT_EQ(layout.lblprb1, (TwipsRect{120, 6500, 855, 255}));
  EXPECT_EQ(layout.ProgressBar1, (TwipsRect{960, 6500, 9890, 220}));
  EXPECT_EQ(layout.lblprb2, (TwipsRect{120, 6835, 855, 255}));
  EXPECT_EQ(layout.ProgressBar2, (TwipsRect{960, 6835, 9890, 220}));
  EXPECT_EQ(layout.bnAbout, (TwipsRect{9755, 7135, 1095, 300}));
  // The band ends above the status bar.
  EXPECT_LE(layout.bnAbout.bottom(), kOpeningClientHeight - kDesignStatusBarHeight);
}

TEST(MainWindowLayout, TooSmallAnAreaLeavesTheGridEmptyAndTheMinimumLeavesItsMinimum) {
  ResizableLayout layout;
  Form_Resize(layout, 100, 1000, kDesignStatusBarHeight);
  EXPECT_EQ(layout.grid.width, 0);
  EXPECT_EQ(layout.grid.height, 0);
  Form_Resize(layout, kMinimumClientWidth, minimumClientHeight(kDesignStatusBarHeight),
              kDesignStatusBarHeight);
  EXPECT_EQ(layout.grid.height, kMinimumGridHeight);
}

TEST(MainWindowLayout, FitScaleGrowsOnlyForCaptionsThatDoNotFit) {
  constexpr double kScreenDpi = 96;
  // 855 twips are 57 pixels.
  EXPECT_DOUBLE_EQ(fitScale({{50, 855}}, kScreenDpi), 1.0);
  EXPECT_DOUBLE_EQ(fitScale({{57, 855}, {114, 855}}, kScreenDpi), 2.0);
  EXPECT_DOUBLE_EQ(fitScale({{10, 0}}, kScreenDpi), 1.0);
}

} // namespace
} // namespace zandrex::desktop
