// The pure geometry: twips to pixels, the main window's layout in twips and the scale that widens
// a design for a larger font.
#include "dialog_geometry.h"
#include "main_window_layout.h"

#include <gtest/gtest.h>
#include <optional>

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

// Narrower than the comparison frame's right edge, the frame moves below the source frame and
// the grid below both; at the minimum everything still lies inside the area.
TEST(MainWindowLayout, ANarrowWindowStacksTheFramesAndTheMinimumLeavesEverythingInside) {
  ResizableLayout layout;
  Form_Resize(layout, kSideBySideWidth, kOpeningClientHeight, kDesignStatusBarHeight);
  EXPECT_EQ(layout.Frame1, design::Frame1);
  EXPECT_EQ(layout.grid.top, 1200);

  Form_Resize(layout, kSideBySideWidth - 1, kOpeningClientHeight, kDesignStatusBarHeight);
  EXPECT_EQ(layout.Frame1, (TwipsRect{120, 1200, 5655, 675}));
  EXPECT_EQ(layout.grid, (TwipsRect{120, 1980, 10684, 3940}));
  EXPECT_EQ(layout.Command4.top, layout.grid.bottom() + kBandGap);

  const int minimumHeight = minimumClientHeight(kDesignStatusBarHeight);
  Form_Resize(layout, kMinimumClientWidth, minimumHeight, kDesignStatusBarHeight);
  EXPECT_EQ(layout.grid.height, kMinimumGridHeight);
  EXPECT_LE(layout.Frame1.right(), layout.grid.right());
  EXPECT_GE(layout.bnSelect.left, layout.grid.left);
  EXPECT_LE(layout.bnAbout.bottom(), minimumHeight - kDesignStatusBarHeight);

  Form_Resize(layout, 100, 1000, kDesignStatusBarHeight);
  EXPECT_EQ(layout.grid.width, 0);
  EXPECT_EQ(layout.grid.height, 0);
}

// Logical pixels. A 1600 x 1000 screen at twice the scale is 800 x 500; a panel takes 28 of it.
TEST(MainWindowLayout, TheWindowOpensInsideTheAvailableAreaFrameIncluded) {
  constexpr QMargins kFrame{4, 32, 4, 4};
  const QSize design(848, 601);
  const QSize minimum(456, 420);
  const QRect laptop(0, 0, 1366, 740);
  const QRect doubled(0, 28, 800, 472);
  struct Case {
    const char* name;
    std::optional<QRect> stored;
    QRect available;
    QRect opens;
  };
  const Case cases[] = {
      {"design centred", {}, laptop, QRect(QPoint(259, 83), design)},
      {"design on a doubled screen", {}, doubled, QRect(4, 60, 792, 436)},
      {"design on a second screen",
       {},
       laptop.translated(1366, 0),
       QRect(QPoint(1625, 83), design)},
      {"stored where it was", QRect(50, 60, 700, 500), laptop, QRect(50, 60, 700, 500)},
      {"stored off the screen", QRect(-2000, 3000, 700, 500), laptop, QRect(4, 236, 700, 500)},
      {"stored beyond the right edge", QRect(1300, 40, 700, 500), laptop, QRect(662, 40, 700, 500)},
      {"stored too big", QRect(100, 100, 3000, 2000), laptop, QRect(4, 32, 1358, 704)},
      {"stored too small", QRect(100, 100, 10, 10), laptop, QRect(QPoint(100, 100), minimum)},
      {"stored empty", QRect(100, 100, 0, 500), laptop, QRect(QPoint(259, 83), design)},
      {"screen below the minimum", {}, QRect(0, 0, 400, 300), QRect(QPoint(4, 32), minimum)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QRect opens = openingGeometry({design, c.stored, c.available, kFrame, minimum});
    EXPECT_EQ(opens, c.opens);
    if (c.available.width() >= minimum.width() + kFrame.left() + kFrame.right()) {
      EXPECT_TRUE(c.available.contains(opens.marginsAdded(kFrame)));
    }
  }
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
