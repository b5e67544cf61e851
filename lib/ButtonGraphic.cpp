// ButtonGraphic: the bevelled push button with a bold label, filling its
// window from the origin to its lower-right corner.
#include <iostream>

#include "internal.h"

ButtonGraphic::ButtonGraphic()
    : MessageGraphic(ButtonGraphicType),
      TopLeftEdgeColor(display ? BlackPixel(display, ScreenNbr) : 0),
      BottomRightEdgeColor(display ? BlackPixel(display, ScreenNbr) : 0) {}

ButtonGraphic::ButtonGraphic(std::string const& label, Position const& upperLeft, Position const& lowerRight,
                             unsigned long topLeftEdge, unsigned long bottomRightEdge, unsigned long window)
    : MessageGraphic(label, NoColorNeeded, upperLeft, lowerRight, 0),
      TopLeftEdgeColor(topLeftEdge),
      BottomRightEdgeColor(bottomRightEdge) {
  SetType(ButtonGraphicType);
  if (window != 0) ButtonGraphic::Draw(window);
}

void ButtonGraphic::Draw(unsigned long window) {
  if (!slate::Kept()) return;
  const int w = GetLowerRight().GetXCoordinate();
  const int h = GetLowerRight().GetYCoordinate();
  const int bevel = slate::AlertPixels(BevelSize);
  GC gc = slate::Kept()->Paint(ButtonColorTable[0], ColorTable[White]);
  XFillRectangle(display, window, gc, 0, 0, static_cast<unsigned int>(std::max(w, 0)),
                 static_cast<unsigned int>(std::max(h, 0)));

  // Top and left edges, then right and bottom: the later colour wins where
  // they meet, which gives the diagonal joins at the two off corners. The
  // lines at x = w and y = h fall outside the window and are clipped.
  XSetForeground(display, gc, TopLeftEdgeColor);
  for (int i = 0; i < bevel; ++i) {
    XDrawLine(display, window, gc, 0, i, w - i, i);
    XDrawLine(display, window, gc, i, 0, i, h - i);
  }
  XSetForeground(display, gc, BottomRightEdgeColor);
  for (int i = 0; i < bevel; ++i) {
    XDrawLine(display, window, gc, w - i, i, w - i, h - i);
    XDrawLine(display, window, gc, i, h - i, w, h - i);
  }

  // The label, centred between the two corners: moving the upper-left
  // corner by two pixels (the pressed look) moves it by one.
  const slate::Face* face = slate::DrawableFace(true);
  if (!face) return;
  slate::CentreText(*this, *face, GetMessage());
  GraphicPosition origin = GetLocation();
  unsigned long band = ButtonColorTable[0];
  slate::DrawText(window, *face, origin.GetXCoordinate(), origin.GetYCoordinate() - face->Ascent,
                  GetMessage(), BlackPixel(display, ScreenNbr), &band);
}
