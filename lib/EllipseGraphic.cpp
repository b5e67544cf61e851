// EllipseGraphic: a filled ellipse with a one-pixel black outline.
#include "internal.h"

EllipseGraphic::EllipseGraphic() : GraphicNode(EllipseGraphicType) {}

EllipseGraphic::EllipseGraphic(color const& c, Position const& upperLeft, Position const& lowerRight,
                               unsigned long window)
    : GraphicNode(EllipseGraphicType, c, upperLeft, lowerRight) {
  if (window != 0) EllipseGraphic::Draw(window);
}

void EllipseGraphic::Draw(unsigned long window) {
  GraphicPosition upperLeft = GetUpperLeft();
  GraphicPosition lowerRight = GetLowerRight();
  int x = upperLeft.GetXCoordinate();
  int y = upperLeft.GetYCoordinate();
  unsigned int width = static_cast<unsigned int>(lowerRight.GetXCoordinate() - x);
  unsigned int height = static_cast<unsigned int>(lowerRight.GetYCoordinate() - y);

  if (!slate::Kept()) return;
  GC gc = slate::Kept()->Paint(slate::PaletteColor(GetColor()), ColorTable[White]);
  // The fill goes first so that it never covers the outline.
  XFillArc(display, window, gc, x, y, width, height, 0, DeviceTwoPi);
  XSetForeground(display, gc, BlackPixel(display, ScreenNbr));
  XDrawArc(display, window, gc, x, y, width, height, 0, DeviceTwoPi);
}
