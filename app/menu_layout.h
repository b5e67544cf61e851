// Layout of the ZINDRA menu window: its click map in centimetres, shared by
// the menu itself, the picture generator and the benchmark,
// and the translation of a region into whole pixels at a given scale.
//
// A click at pixel p of the window arrives as the float p / scale (cm), and
// a region matches only when the click lies strictly inside its four edges.
// The pixel spans below are computed with that exact conversion, so a pixel
// inside a span is guaranteed to be a click inside the region.
#ifndef ZINDRA_MENU_LAYOUT_H
#define ZINDRA_MENU_LAYOUT_H

#include <cmath>

namespace zindra {

constexpr double PictureWidthCm = 15.0, PictureHeightCm = 12.0;

struct Region {
  double Left, Right, Top, Bottom;  // cm, from the window's upper-left corner
};

// The regions of the click map, in the order the menu tests them.
enum RegionIndex { PlayButton, ScoresButton, OptionsButton, InstructionsButton, MoreGamesButton, CloseBox };
constexpr int RegionCount = 6;
constexpr int ButtonCount = 5;  // the labelled buttons come first

constexpr Region ClickMap[RegionCount] = {
    {10.518, 14.688, 1.968, 3.114},  // PLAY
    {10.518, 14.688, 3.642, 4.716},  // HIGHSCORES
    {10.518, 14.688, 5.25, 6.582},   // OPTIONS
    {10.518, 14.688, 7.026, 8.316},  // INSTRUCTIONS
    {10.518, 14.688, 8.7, 10.14},    // MORE GAMES
    {0.54, 1.44, 0.676, 1.86},       // close box
};
constexpr const char* ButtonLabels[ButtonCount] = {"PLAY", "HIGHSCORES", "OPTIONS", "INSTRUCTIONS",
                                                   "MORE GAMES"};

// Whether a click at (x, y) cm lies strictly inside the region.
inline bool Contains(const Region& r, float x, float y) {
  return x > r.Left && x < r.Right && y > r.Top && y < r.Bottom;
}

// An inclusive rectangle of whole pixels: (X0, Y0) and (X1, Y1) belong to it.
struct PixelRect {
  int X0, Y0, X1, Y1;
  int Width() const { return X1 - X0 + 1; }
  int Height() const { return Y1 - Y0 + 1; }
  PixelRect Moved(int dx, int dy) const { return {X0 + dx, Y0 + dy, X1 + dx, Y1 + dy}; }
};

// Centimetres of a pixel coordinate, as a click reports them.
inline float PixelToCm(int pixel, double scale) {
  return static_cast<float>(pixel / scale);
}

// Pixels of a centimetre value, truncated toward zero.
inline int CmToPixel(double cm, double scale) {
  return static_cast<int>(cm * scale);
}

// The pixels of a region whose clicks match it: from the first pixel whose
// click value is strictly greater than the low edge to the last one whose
// click value is strictly less than the high edge.
inline PixelRect RegionPixels(const Region& r, double scale) {
  auto first = [scale](double edge) {
    int p = static_cast<int>(std::floor(edge * scale)) - 2;
    while (!(PixelToCm(p, scale) > edge)) ++p;
    return p;
  };
  auto last = [scale](double edge) {
    int p = static_cast<int>(std::ceil(edge * scale)) + 2;
    while (!(PixelToCm(p, scale) < edge)) --p;
    return p;
  };
  return {first(r.Left), first(r.Top), last(r.Right), last(r.Bottom)};
}

}  // namespace zindra

#endif  // ZINDRA_MENU_LAYOUT_H
