// The main window's geometry in twips (1/1440 inch; 15 twips are one pixel at 96 dpi): the fixed
// design rectangles and Form_Resize, which fits the grid and the bottom band to a client area.
// Pure functions, so the numbers can be checked without a window.
#pragma once

#include "twips.h"

#include <QMargins>
#include <QRect>
#include <QSize>
#include <initializer_list>
#include <optional>

namespace zandrex::desktop {

// The client area when the window first opens.
inline constexpr int kOpeningClientWidth = 10980;
inline constexpr int kOpeningClientHeight = 7785;
// The status bar's design height.
inline constexpr int kDesignStatusBarHeight = 315;
// Height taken besides the grid and the status bar: 1200 above the grid, the bottom band of 1515
// and 35 to spare.
inline constexpr int kHeightBesidesGrid = 2750;
// Width taken besides the grid: 120 left of it, 130 right of it.
inline constexpr int kWidthBesidesGrid = 250;
// The gap between the grid and the bottom band and between the band's rows.
inline constexpr int kBandGap = 80;
// The design's elements; only Frame1 is ever moved (below kSideBySideWidth). Frame children are
// in frame coordinates.
namespace design {
inline constexpr TwipsRect Frame6{120, 120, 5055, 975};
inline constexpr TwipsRect fdFromForRename{120, 240, 4335, 300};
inline constexpr TwipsRect Command2{4560, 240, 375, 300};
inline constexpr TwipsRect chSubfolders{240, 720, 1095, 255};
inline constexpr TwipsRect Frame1{5280, 120, 5655, 975};
inline constexpr TwipsRect cmbBy{120, 240, 3855, 315};
inline constexpr TwipsRect Command3{4080, 240, 615, 300};
inline constexpr TwipsRect bnCancel{4800, 240, 735, 300};
} // namespace design

// The grid's top below the two frames side by side.
inline constexpr int kGridTop = 1200;
// Narrower than this, the comparison frame would be cut off: it moves below the source frame, at
// the grid's design top, and the grid moves down by as much. At and above it the design holds.
inline constexpr int kSideBySideWidth = design::Frame1.right();
// Stacked, the frame is only as high as its one row of controls needs.
inline constexpr int kFrameBottomMargin = 120;
inline constexpr TwipsRect kStackedFrame1{design::Frame6.left, kGridTop, design::Frame1.width,
                                          design::cmbBy.bottom() + kFrameBottomMargin};
// How much lower the grid's top lies below the stacked frames.
inline constexpr int kStackedDrop = kStackedFrame1.bottom() - design::Frame1.bottom();
// The window is never made smaller than this. The stacked frames fit its width, and so does the
// bottom band's widest row ("Select" beside "Delete selected files"); a grid of 1200 twips still
// shows a few rows. So no computed size can go below zero. At 96 dpi the width is 394 pixels,
// room for a larger font within half of a 1366-pixel screen.
inline constexpr int kMinimumClientWidth =
    kStackedFrame1.right() + kWidthBesidesGrid - design::Frame6.left;
inline constexpr int kMinimumGridHeight = 1200;

// The elements Form_Resize moves or sizes, with their fixed parts filled in.
struct ResizableLayout {
  // At its design place unless the window is narrower than kSideBySideWidth.
  TwipsRect Frame1 = design::Frame1;
  TwipsRect grid{120, kGridTop, 0, 0};
  TwipsRect Text1;
  TwipsRect Command4{0, 0, 2175, 420};
  // The "Select" menu button, left of Command4 with the band's gap.
  TwipsRect bnSelect{0, 0, 1095, 420};
  TwipsRect lblprb1{120, 0, 855, 255};
  TwipsRect ProgressBar1{960, 0, 0, 220};
  TwipsRect lblprb2{120, 0, 855, 255};
  TwipsRect ProgressBar2{960, 0, 0, 220};
  TwipsRect bnAbout{0, 0, 1095, 300};
};
static_assert(ResizableLayout{}.grid.left == design::Frame6.left, "the grid and frames align");
static_assert(kWidthBesidesGrid + ResizableLayout{}.bnSelect.width + kBandGap +
                      ResizableLayout{}.Command4.width <=
                  kMinimumClientWidth,
              "the minimum window cuts the bottom band");

// Lays out the grid and the bottom band for a client area of clientWidth x clientHeight with a
// status bar of statusBarHeight along its bottom (all in twips), the comparison frame too when
// the area is narrower than kSideBySideWidth. Each step reads the values the steps before it
// wrote. The grid's size is clamped at 0 for an area below the minimum.
void Form_Resize(ResizableLayout& layout, int clientWidth, int clientHeight, int statusBarHeight);

// The smallest client height that leaves the grid kMinimumGridHeight at the minimum width.
int minimumClientHeight(int statusBarHeight);

// What a caption needs in pixels along one side of an element whose design gives it twips.
struct FitNeed {
  int pixels = 0;
  int twips = 0;
};
// How much a design drawn at dpi must grow so that every need fits: the largest ratio of needed
// to given pixels, never below 1. The design was made for a small 8-point font; a larger system
// font grows the whole window alike instead of clipping its captions.
double fitScale(std::initializer_list<FitNeed> needs, double dpi);

// The frame assumed around a window that has not been shown yet (the window manager adds it
// later): a title bar and thin borders, in logical pixels.
inline constexpr QMargins kAssumedWindowFrame{4, 32, 4, 4};

// Where the main window opens, in the screen's logical pixels.
struct OpeningPlace {
  // The client size the design opens at.
  QSize design;
  // The client rectangle the window had when it last closed, if it was stored.
  std::optional<QRect> stored;
  // The screen's area free of panels and docks; the window's frame must lie inside it.
  QRect available;
  // The window manager's frame around the client area.
  QMargins frame;
  // The smallest client size the window allows.
  QSize minimum;
};
// The client rectangle to open at: the stored one, else the design's size centred in the area.
// Neither side is larger than the area leaves inside the frame, nor below the minimum; the
// rectangle is then moved so that its frame lies inside the area. One that cannot fit (an area
// below the minimum) keeps its frame's top-left corner, and so its title bar, in the area.
QRect openingGeometry(const OpeningPlace& place);

} // namespace zandrex::desktop
