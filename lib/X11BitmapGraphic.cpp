// X11BitMapGraphic: a one-bit image, set bits black and clear bits in the
// drawable's colour; and the alert box's exclamation mark.
#include <iostream>

#include "internal.h"

// 10 x 30 pixels, two bytes a row, least significant bit leftmost: a bar
// eight pixels wide, a blank row and a round dot.
char exclam_bits[60] = {
    '\x00', '\xfc', '\x00', '\xfc',                                  // rows 0-1
    '\xfe', '\xfd', '\xfe', '\xfd', '\xfe', '\xfd', '\xfe', '\xfd',  // rows 2-5
    '\xfe', '\xfd', '\xfe', '\xfd', '\xfe', '\xfd', '\xfe', '\xfd',  // rows 6-9
    '\xfe', '\xfd', '\xfe', '\xfd', '\xfe', '\xfd', '\xfe', '\xfd',  // rows 10-13
    '\xfe', '\xfd', '\xfe', '\xfd', '\xfe', '\xfd', '\xfe', '\xfd',  // rows 14-17
    '\xfe', '\xfd', '\xfe', '\xfd',                                  // rows 18-19
    '\x00', '\xfc',                                                  // row 20
    '\x30', '\xfc',                                                  // row 21
    '\xfc', '\xfc', '\xfc', '\xfc',                                  // rows 22-23
    '\xfe', '\xfd', '\xfe', '\xfd',                                  // rows 24-25
    '\xfc', '\xfc', '\xfc', '\xfc',                                  // rows 26-27
    '\x30', '\xfc',                                                  // row 28
    '\x00', '\xfc',                                                  // row 29
};

X11BitMapGraphic::X11BitMapGraphic() : GraphicNode(X11BitMapGraphicType), Bits(nullptr) {}

X11BitMapGraphic::X11BitMapGraphic(char* bits, color const& c, Position const& upperLeft,
                                   GraphicPosition const& size, unsigned long window)
    : GraphicNode(X11BitMapGraphicType, c, upperLeft, Position()), Bits(bits) {
  // The lower-right corner holds the image's size in pixels, not a corner.
  SetLowerRight(size);
  if (window != 0) X11BitMapGraphic::Draw(window);
}

void X11BitMapGraphic::Draw(unsigned long window) {
  GraphicPosition upperLeft = GetUpperLeft();
  GraphicPosition size = GetLowerRight();
  int width = size.GetXCoordinate();
  int height = size.GetYCoordinate();
  // No image, nothing to draw.
  if (Bits == nullptr || width <= 0 || height <= 0 || !slate::Kept()) return;

  // Made on the root window, of the window's screen: nothing made from a
  // window fails in turn when another client destroys it.
  slate::OwnedPixmap bitmap(XCreateBitmapFromData(display, RootWindow(display, ScreenNbr), Bits,
                                                  static_cast<unsigned int>(width),
                                                  static_cast<unsigned int>(height)));
  if (bitmap.Get() == 0) {
    slate::ShutDown(std::cout,
                    "Function: X11BitmapGraphic::Draw\n\tUnable to allocate "
                    "memory for a Pixmap\n");
    return;
  }
  GC gc = slate::Kept()->Paint(BlackPixel(display, ScreenNbr), slate::PaletteColor(GetColor()));
  XCopyPlane(display, bitmap.Get(), window, gc, 0, 0, static_cast<unsigned int>(width),
             static_cast<unsigned int>(height), upperLeft.GetXCoordinate(), upperLeft.GetYCoordinate(),
             DefaultPlane);
}
