// Points and extents in centimetres and in pixels, and the conversions
// between them at the screen's scale.
#include "units.h"

float Position::GetXDistance() const {
  return XDistance;
}
float Position::GetYDistance() const {
  return YDistance;
}
void Position::SetXDistance(float x) {
  XDistance = x;
}
void Position::SetYDistance(float y) {
  YDistance = y;
}

Position operator+(const Position& a, const Position& b) {
  return Position(a.GetXDistance() + b.GetXDistance(), a.GetYDistance() + b.GetYDistance());
}

Position operator-(const Position& a, const Position& b) {
  return Position(a.GetXDistance() - b.GetXDistance(), a.GetYDistance() - b.GetYDistance());
}

bool operator==(const Position& a, const Position& b) {
  return a.GetXDistance() == b.GetXDistance() && a.GetYDistance() == b.GetYDistance();
}

bool operator!=(const Position& a, const Position& b) {
  return !(a == b);
}

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

int l_to_d(float centimetres) {
  return slate::ToPixels(centimetres, PixelsPerCentimeter);
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
