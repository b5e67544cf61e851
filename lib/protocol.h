// What the X protocol allows: coordinates travel as 16-bit signed values,
// sizes as 16-bit unsigned ones, and a request is at most as long as the
// server takes.
#ifndef SLATE_LIB_PROTOCOL_H
#define SLATE_LIB_PROTOCOL_H

#include <X11/Xlib.h>

#include <algorithm>
#include <climits>

#include "slate.h"

namespace slate {

// A wide intermediate result brought back into int, saturating.
inline int ToInt(long long v) {
  return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX));
}

inline short ToShort(long v) {
  return static_cast<short>(std::clamp<long>(v, SHRT_MIN, SHRT_MAX));
}
inline unsigned short ToSize(long v) {
  return static_cast<unsigned short>(std::clamp<long>(v, 0, USHRT_MAX));
}

// The most bytes one request can carry after a header of headerBytes: what
// the server takes less the header, and less the longer length field of a
// big request when the server has them.
inline long RequestRoom(long headerBytes) {
  long words = XExtendedMaxRequestSize(display);
  if (words != 0) return words * 4 - headerBytes - 4;
  return XMaxRequestSize(display) * 4 - headerBytes;
}
// Header sizes of the requests whose length the program's data decides.
constexpr long ChangePropertyHeader = 24;
constexpr long FillPolyHeader = 16;
constexpr long PolyLineHeader = 12;
constexpr long PointBytes = 4;  // a point of a request: x and y, 16 bits each

}  // namespace slate

#endif  // SLATE_LIB_PROTOCOL_H
