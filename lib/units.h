// The library's scale rule and its conversion of centimetres to pixels, in
// one place: slate-run, which converts a script's centimetres as the
// library does, includes this header too.
#ifndef SLATE_LIB_UNITS_H
#define SLATE_LIB_UNITS_H

#include <climits>
#include <cmath>

#include "slate.h"

namespace slate {

// Pixels a centimetre on a screen this many pixels wide: the whole part of
// the width over DisplayLengthCM, the quotient taken in single precision.
// A screen narrower than that gets 1, not 0, which every conversion to
// centimetres would divide by.
inline float ScaleOf(int screenWidth) {
  float scale = std::floor(static_cast<float>(static_cast<double>(screenWidth) / DisplayLengthCM));
  return scale < 1.0f ? 1.0f : scale;
}

// Centimetres to pixels at a scale: the product, exact in double precision,
// truncated toward zero. Values beyond the int range saturate and NaN gives
// 0, where a plain cast would be undefined.
inline int ToPixels(float centimetres, float scale) {
  double pixels = static_cast<double>(centimetres) * static_cast<double>(scale);
  if (std::isnan(pixels)) return 0;
  if (pixels >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (pixels <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(pixels);
}

}  // namespace slate

#endif  // SLATE_LIB_UNITS_H
