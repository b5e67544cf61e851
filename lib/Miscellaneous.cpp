// Conversions between centimetres and pixels.
#include <climits>
#include <cmath>

#include "slate.h"

// Centimetres to pixels: the product is exact in double precision and is
// truncated toward zero. Values beyond the int range (or NaN) saturate
// instead of invoking undefined behaviour.
int l_to_d(float centimetres) {
  double pixels = static_cast<double>(centimetres) * static_cast<double>(PixelsPerCentimeter);
  if (std::isnan(pixels)) return 0;
  if (pixels >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (pixels <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(pixels);
}

float d_to_l(int pixels) {
  return static_cast<float>(static_cast<double>(pixels) / static_cast<double>(PixelsPerCentimeter));
}

GraphicPosition l_to_d(const Position& p) {
  return GraphicPosition(l_to_d(p.GetXDistance()), l_to_d(p.GetYDistance()));
}

Position d_to_l(const GraphicPosition& p) {
  return Position(d_to_l(p.GetXCoordinate()), d_to_l(p.GetYCoordinate()));
}
