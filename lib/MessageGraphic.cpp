// MessageGraphic: one line of black text centred in a rectangle, drawn over
// a band of the drawable's colour; the graphics context that loads its font;
// and the text of the alert box.
#include <iostream>

#include "internal.h"

void slate::CentreText(MessageGraphic& drawable, const Face& face, const std::string& text) {
  // SetTextLocation puts the baseline half a height below the middle: half
  // of the ink above it less the ink below centres the ink.
  TextBox box = MeasureText(face, text);
  drawable.SetTextLocation(static_cast<unsigned int>(std::max(box.Width, 0)),
                           static_cast<unsigned int>(std::max(box.InkAbove - box.InkBelow, 0)));
}

namespace {
constexpr char FontFailure[] =
    "In function: LoadFont\n"
    "Unable to allocate memory to a font structure.\n";
}  // namespace

const slate::Face* slate::AlertFace(bool bold) {
  const char* name = bold ? ButtonFont : WindowFont;
  XFontStruct* core = Kept() ? Kept()->Font(name) : nullptr;
  if (!core) {
    std::cout << "Unable to load the desired font: " << name << std::endl;
    return nullptr;
  }
  const Face* scalable = OpenFace("sans", bold, AlertPixels(AlertTextHeight));
  if (scalable && scalable->Scalable) return scalable;
  // The core font stands in; it lives as long as the runtime that keeps it.
  static Face standIn[2];
  Face& face = standIn[bold ? 1 : 0];
  face.Core = core;
  face.Ascent = core->ascent;
  face.Descent = core->descent;
  return &face;
}

const slate::Face* slate::DrawableFace(bool bold) {
  const Face* face = AlertFace(bold);
  if (!face) ShutDown(std::cout, FontFailure);
  return face;
}

GC GetGraphicsContext(unsigned long window, unsigned long foreground, unsigned long background,
                      std::string const& text, MessageGraphic* drawable, XFontStruct** font,
                      std::string const& fontName) {
  if (LoadFont(font, fontName) == 0) {
    slate::ShutDown(std::cout, FontFailure);
    // The caller still gets a context it can draw through and must free.
    return XCreateGC(display, window, 0, nullptr);
  }
  slate::Face face;
  face.Core = *font;
  face.Ascent = (*font)->ascent;
  face.Descent = (*font)->descent;
  slate::CentreText(*drawable, face, text);

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
  const slate::Face* face = slate::DrawableFace(false);
  if (!face) return;
  slate::CentreText(*this, *face, Text);
  unsigned long band = slate::PaletteColor(GetColor());
  slate::DrawText(window, *face, TextLocation.GetXCoordinate(), TextLocation.GetYCoordinate() - face->Ascent,
                  Text, BlackPixel(display, ScreenNbr), &band);
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
