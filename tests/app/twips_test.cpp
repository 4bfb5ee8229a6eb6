#include "dialog_geometry.h"
#include "twips.h"

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

} // namespace
} // namespace zandrex::desktop
