#include "main_window_layout.h"

#include <gtest/gtest.h>

namespace zandrex::desktop {
namespace {

TEST(MainWindowLayout, OpeningSizeGivesTheDesignPositions) {
  ResizableLayout layout;
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

  // Each resize starts from the design, not from the last one.
  ResizableLayout twice;
  Form_Resize(twice, 30000, 20000, kDesignStatusBarHeight);
  Form_Resize(twice, kOpeningClientWidth, kOpeningClientHeight, kDesignStatusBarHeight);
  for (const auto& [once, again] : {std::pair{layout.grid, twice.grid},
                                    {layout.bnAbout, twice.bnAbout},
                                    {layout.Command4, twice.Command4},
                                    {layout.bnSelect, twice.bnSelect}})
    EXPECT_EQ(again, once);
}

TEST(MainWindowLayout, LargerWindowGrowsTheGridAndMovesTheBandAlongItsEdges) {
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
  EXPECT_EQ(layout.bnSelect.height, layout.Command4.height);
  EXPECT_EQ(layout.ProgressBar1.top, layout.lblprb1.top);
  EXPECT_EQ(layout.ProgressBar2.top, layout.lblprb2.top);
  EXPECT_EQ(layout.bnAbout.top, layout.ProgressBar2.bottom() + kBandGap);
  // Fixed parts stay.
  EXPECT_EQ(layout.lblprb1.left, 120);
  EXPECT_EQ(layout.ProgressBar1.left, 960);
  EXPECT_EQ(layout.Command4.width, 2175);
}

TEST(MainWindowLayout, TooSmallAreaNeverGivesNegativeSizes) {
  ResizableLayout layout;
  Form_Resize(layout, 100, 1000, kDesignStatusBarHeight);
  EXPECT_EQ(layout.grid.width, 0);
  EXPECT_EQ(layout.grid.height, 0);

  // The minimum window leaves the grid its minimum height and every design width.
  Form_Resize(layout, kMinimumClientWidth, minimumClientHeight(kDesignStatusBarHeight),
              kDesignStatusBarHeight);
  EXPECT_EQ(layout.grid.height, kMinimumGridHeight);
  EXPECT_GE(layout.ProgressBar1.width, 0);
  EXPECT_GE(layout.Command4.left, layout.lblprb1.right());
}

TEST(MainWindowLayout, PixelsKeepSharedEdges) {
  constexpr double kScreenDpi = 96;
  ResizableLayout layout;
  Form_Resize(layout, kOpeningClientWidth, kOpeningClientHeight, kDesignStatusBarHeight);
  // 10850 twips is not a whole number of pixels; right-aligned elements still line up.
  const QRect grid = twipsToPixels(layout.grid, kScreenDpi);
  EXPECT_EQ(twipsToPixels(layout.Command4, kScreenDpi).right(), grid.right());
  EXPECT_EQ(twipsToPixels(layout.bnAbout, kScreenDpi).right(), grid.right());
  EXPECT_EQ(twipsToPixels(layout.ProgressBar2, kScreenDpi).right(), grid.right());
  EXPECT_EQ(grid.topLeft(), QPoint(8, 80));
}

TEST(MainWindowLayout, FitScaleGrowsOnlyForCaptionsThatDoNotFit) {
  constexpr double kScreenDpi = 96;
  // 855 twips are 57 pixels.
  EXPECT_DOUBLE_EQ(fitScale({{50, 855}}, kScreenDpi), 1.0);
  EXPECT_DOUBLE_EQ(fitScale({{57, 855}, {114, 855}}, kScreenDpi), 2.0);
  EXPECT_DOUBLE_EQ(fitScale({{10, 0}}, kScreenDpi), 1.0);
  EXPECT_DOUBLE_EQ(fitScale({}, kScreenDpi), 1.0);
}

} // namespace
} // namespace zandrex::desktop
