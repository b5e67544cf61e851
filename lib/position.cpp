// Points and extents in centimetres.
#include "slate.h"

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
