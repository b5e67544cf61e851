// ButtonGraphic: the bevelled push button with a bold label, drawn at
// (0, 0) to (ButtonWidth, ButtonHeight) of its window.
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
  const int w = ButtonWidth;
  const int h = ButtonHeight;
  const std::string label = GetMessage();
  slate::OwnedFont loaded;
  slate::OwnedGC scoped(GetGraphicsContext(window, ButtonColorTable[0], ColorTable[White], label, this,
                                           loaded.Out(), ButtonFont));
  GC gc = scoped.Get();
  XFontStruct* font = loaded.Get();

  XFillRectangle(display, window, gc, 0, 0, w, h);

  // Top and left edges, then right and bottom: the later colour wins where
  // they meet, which gives the diagonal joins at the two off corners. The
  // lines at x = w and y = h fall outside the window and are clipped.
  XSetForeground(display, gc, TopLeftEdgeColor);
  for (int i = 0; i < BevelSize; ++i) {
    XDrawLine(display, window, gc, 0, i, w - i, i);
    XDrawLine(display, window, gc, i, 0, i, h - i);
  }
  XSetForeground(display, gc, BottomRightEdgeColor);
  for (int i = 0; i < BevelSize; ++i) {
    XDrawLine(display, window, gc, w - i, i, w - i, h - i);
    XDrawLine(display, window, gc, i, h - i, w, h - i);
  }

  // Without its font the label can be neither measured nor drawn.
  if (font != nullptr) {
    // Centre the label on the point half-way between the window's origin and
    // the upper-left corner, then put the corners back.
    GraphicPosition upperLeft = GetUpperLeft();
    GraphicPosition lowerRight = GetLowerRight();
    SetLocation(DeviceOrigin, upperLeft);
    int width = XTextWidth(font, label.c_str(), static_cast<int>(label.size()));
    SetTextLocation(static_cast<unsigned int>(width),
                    static_cast<unsigned int>(font->ascent + font->descent));

    XSetForeground(display, gc, BlackPixel(display, ScreenNbr));
    XSetBackground(display, gc, ButtonColorTable[0]);
    GraphicPosition origin = GetLocation();
    XDrawImageString(display, window, gc, origin.GetXCoordinate(), origin.GetYCoordinate(), label.c_str(),
                     static_cast<int>(label.size()));
    SetLocation(upperLeft, lowerRight);
  }
}
