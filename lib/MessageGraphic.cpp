// MessageGraphic: one line of black text centred in a rectangle, drawn over
// a band of the drawable's colour; and the graphics context that loads its font.
#include <iostream>

#include "internal.h"

GC GetGraphicsContext(unsigned long window, unsigned long foreground, unsigned long background,
                      std::string const& text, MessageGraphic* drawable, XFontStruct** font,
                      std::string const& fontName) {
  if (LoadFont(font, fontName) == 0) {
    slate::ShutDown(std::cout,
                    "In function: LoadFont\n"
                    "Unable to allocate memory to a font structure.\n");
    // The caller still gets a context it can draw through and must free.
    return XCreateGC(display, window, 0, nullptr);
  }
  int width = XTextWidth(*font, text.c_str(), static_cast<int>(text.size()));
  int height = (*font)->ascent + (*font)->descent;
  drawable->SetTextLocation(static_cast<unsigned int>(width), static_cast<unsigned int>(height));

  XGCValues values;
  values.foreground = foreground;
  values.background = background;
  values.font = (*font)->fid;
  return XCreateGC(display, window, GCForeground | GCBackground | GCFont, &values);
}

MessageGraphic::MessageGraphic(GraphicType const& type)
    : GraphicNode(type), Text(), TextLocation(DeviceOrigin) {}

MessageGraphic::MessageGraphic(std::string const& message, color const& c, Position const& upperLeft,
                               Position const& lowerRight, unsigned long window)
    : GraphicNode(MessageGraphicType, c, upperLeft, lowerRight), Text(message), TextLocation(DeviceOrigin) {
  if (window != 0) MessageGraphic::Draw(window);
}

void MessageGraphic::Draw(unsigned long window) {
  slate::OwnedFont font;
  slate::OwnedGC gc(GetGraphicsContext(window, BlackPixel(display, ScreenNbr),
                                       slate::PaletteColor(GetColor()), Text, this, font.Out(), WindowFont));
  if (!font.Get()) {
    // In the server's default font, which the context has.
    XDrawImageString(display, window, gc.Get(), TextLocation.GetXCoordinate(), TextLocation.GetYCoordinate(),
                     Text.c_str(), GetMessageLength());
    return;
  }
  slate::DrawImageText(window, gc.Get(), font.Get(), TextLocation.GetXCoordinate(),
                       TextLocation.GetYCoordinate(), Text.data(), Text.size());
}

int MessageGraphic::GetMessageLength() const {
  return static_cast<int>(Text.size());
}

void MessageGraphic::SetMessage(std::string const& message) {
  Text = message;
}

std::string MessageGraphic::GetMessage() const {
  return Text;
}

GraphicPosition MessageGraphic::GetLocation() const {
  return TextLocation;
}

void MessageGraphic::SetTextLocation(unsigned int width, unsigned int height) {
  GraphicPosition upperLeft = GetUpperLeft();
  GraphicPosition lowerRight = GetLowerRight();
  // Corner sums halve toward zero; the text extent is halved as unsigned.
  // Wide arithmetic, so that no corners overflow; the result saturates.
  long long centreX = (static_cast<long long>(lowerRight.GetXCoordinate()) + upperLeft.GetXCoordinate()) / 2;
  long long centreY = (static_cast<long long>(lowerRight.GetYCoordinate()) + upperLeft.GetYCoordinate()) / 2;
  TextLocation.SetXCoordinate(slate::ToInt(centreX - width / 2));
  TextLocation.SetYCoordinate(slate::ToInt(centreY + height / 2));
}
