// Points and extents in pixels.
#include "slate.h"

int GraphicPosition::GetXCoordinate() const {
  return XCoordinate;
}
int GraphicPosition::GetYCoordinate() const {
  return YCoordinate;
}
void GraphicPosition::SetXCoordinate(int x) {
  XCoordinate = x;
}
void GraphicPosition::SetYCoordinate(int y) {
  YCoordinate = y;
}

GraphicPosition operator+(const GraphicPosition& a, const GraphicPosition& b) {
  return GraphicPosition(a.GetXCoordinate() + b.GetXCoordinate(), a.GetYCoordinate() + b.GetYCoordinate());
}

GraphicPosition operator-(const GraphicPosition& a, const GraphicPosition& b) {
  return GraphicPosition(a.GetXCoordinate() - b.GetXCoordinate(), a.GetYCoordinate() - b.GetYCoordinate());
}

bool operator==(const GraphicPosition& a, const GraphicPosition& b) {
  return a.GetXCoordinate() == b.GetXCoordinate() && a.GetYCoordinate() == b.GetYCoordinate();
}

bool operator!=(const GraphicPosition& a, const GraphicPosition& b) {
  return !(a == b);
}
