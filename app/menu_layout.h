// Layout of the ZINDRA menu picture, shared by the picture generator and the
// demo driver: the clickable regions of the menu window in centimetres, and
// their translation into whole pixels at a given scale.
//
// A click at pixel p of the window arrives as the float p / scale (cm), and
// a region matches only when the click lies strictly inside its four edges.
// The pixel spans below are computed with that exact conversion, so a pixel
// inside a span is guaranteed to be a click inside the region.
#ifndef ZINDRA_MENU_LAYOUT_H
#define ZINDRA_MENU_LAYOUT_H

#include <cmath>

namespace zindra {

constexpr double kPictureWidthCm = 15.0;
constexpr double kPictureHeightCm = 12.0;

struct Region {
  double left, right, top, bottom;  // cm, from the window's upper-left corner
};

// The five menu buttons, top to bottom, and the close control.
constexpr int kButtonCount = 5;
constexpr Region kButtonRegions[kButtonCount] = {
    {10.518, 14.688, 1.968, 3.114},  // PLAY
    {10.518, 14.688, 3.642, 4.716},  // HIGHSCORES
    {10.518, 14.688, 5.25, 6.582},   // OPTIONS
    {10.518, 14.688, 7.026, 8.316},  // INSTRUCTIONS
    {10.518, 14.688, 8.7, 10.14},    // MORE GAMES
};
constexpr const char* kButtonLabels[kButtonCount] = {"PLAY", "HIGHSCORES", "OPTIONS", "INSTRUCTIONS",
                                                     "MORE GAMES"};
constexpr Region kCloseRegion = {0.54, 1.44, 0.676, 1.86};

// An inclusive rectangle of whole pixels.
struct PixelBox {
  int x0, y0, x1, y1;
  int Width() const { return x1 - x0 + 1; }
  int Height() const { return y1 - y0 + 1; }
};

// Centimetres of a pixel coordinate, as a click reports them.
inline float PixelToCm(int pixel, double scale) {
  return static_cast<float>(pixel / scale);
}

// Pixels of a centimetre value, truncated toward zero.
inline int CmToPixel(double cm, double scale) {
  return static_cast<int>(cm * scale);
}

// First pixel whose click value lies strictly above edge.
inline int FirstPixelAbove(double edge, double scale) {
  int p = static_cast<int>(std::floor(edge * scale)) - 2;
  while (!(PixelToCm(p, scale) > edge)) ++p;
  return p;
}

// Last pixel whose click value lies strictly below edge.
inline int LastPixelBelow(double edge, double scale) {
  int p = static_cast<int>(std::ceil(edge * scale)) + 2;
  while (!(PixelToCm(p, scale) < edge)) --p;
  return p;
}

// The pixels of a region whose clicks match it.
inline PixelBox RegionPixels(const Region& r, double scale) {
  return {FirstPixelAbove(r.left, scale), FirstPixelAbove(r.top, scale), LastPixelBelow(r.right, scale),
          LastPixelBelow(r.bottom, scale)};
}

}  // namespace zindra

#endif  // ZINDRA_MENU_LAYOUT_H
