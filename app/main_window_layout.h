// The main window's geometry in twips (1/1440 inch; 15 twips are one pixel at 96 dpi): the fixed
// design rectangles and Form_Resize, which fits the grid and the bottom band to a client area.
// Pure functions, so the numbers can be checked without a window.
#pragma once

#include "twips.h"

#include <initializer_list>

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
// The window is never made smaller than this: the comparison frame ends at 10935, and the
// opening width keeps its border in sight; a grid of 1200 twips still shows a few rows. So no
// computed size can go below zero.
inline constexpr int kMinimumClientWidth = kOpeningClientWidth;
inline constexpr int kMinimumGridHeight = 1200;

// The fixed elements (never moved by Form_Resize). Frame children are in frame coordinates.
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
static_assert(kMinimumClientWidth >= design::Frame1.right(), "the minimum window cuts a frame");

// The elements Form_Resize moves or sizes, with their fixed parts filled in.
struct ResizableLayout {
  TwipsRect grid{120, 1200, 0, 0};
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

// Lays out the grid and the bottom band for a client area of clientWidth x clientHeight with a
// status bar of statusBarHeight along its bottom (all in twips). Each step reads the values the
// steps before it wrote. The grid's size is clamped at 0 for an area below the minimum.
void Form_Resize(ResizableLayout& layout, int clientWidth, int clientHeight, int statusBarHeight);

// The smallest client height that leaves the grid kMinimumGridHeight.
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

} // namespace zandrex::desktop
