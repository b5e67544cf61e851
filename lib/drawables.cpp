// The retained drawables of the alert box: the base Graphic (a kind, a
// palette colour and a pixel rectangle), the list that owns them, text
// centred in a rectangle, a filled ellipse, the bevelled button, a one-bit
// bitmap such as the exclamation mark; each draws through the surface of
// the window it is given. And the core-font calls of the old interface.
#include "drawables.h"

#include <X11/Xlib.h>

#include <algorithm>
#include <climits>
#include <iostream>
#include <vector>

#include "event_loop.h"
#include "owner.h"
#include "protocol.h"
#include "runtime.h"

namespace slate {

int AlertPixels(int pixels) {
  return ToInt(static_cast<long long>(pixels) * static_cast<long long>(PixelsPerCentimeter) / AlertScale);
}

SurfaceOf::SurfaceOf(unsigned long window) : Into(&Own) {
  if (Target* target = Loop().Find(window))
    Into = &target->Canvas;
  else
    Own.Bind(window, 0, 0, 0, 0, 0);
}

namespace {

constexpr char FontFailure[] =
    "In function: LoadFont\n"
    "Unable to allocate memory to a font structure.\n";

// AlertFace for a drawable's text: when the core font is missing, also says
// so and asks for shutdown, and gives null.
const Face* DrawableFace(bool bold) {
  const Face* face = AlertFace(bold);
  if (!face) ShutDown(std::cout, FontFailure);
  return face;
}

// The one rule by which the drawables place a line of text: its ink centred
// in their rectangle, across and up and down.
void CentreText(MessageGraphic& drawable, const Face& face, const std::string& text) {
  TextBox box = MeasureText(face, text);
  drawable.SetTextLocation(
      static_cast<unsigned int>(std::clamp<long long>(box.Width, 0, UINT_MAX)),
      static_cast<unsigned int>(std::clamp<long long>(box.InkAbove - box.InkBelow, 0, UINT_MAX)));
}

}  // namespace

const Face* AlertFace(bool bold) {
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

}  // namespace slate

using slate::SurfaceOf;

// ---------------------------------------------------------------------------
// The core-font calls of the old interface
// ---------------------------------------------------------------------------

int LoadFont(XFontStruct** font, const std::string& name) {
  *font = display ? XLoadQueryFont(display, name.c_str()) : nullptr;
  if (*font) return 1;
  std::cout << "Unable to load the desired font: " << name << std::endl;
  return 0;
}

GC GetGraphicsContext(unsigned long window, unsigned long foreground, unsigned long background,
                      std::string const& text, MessageGraphic* drawable, XFontStruct** font,
                      std::string const& fontName) {
  if (LoadFont(font, fontName) == 0) {
    slate::ShutDown(std::cout, slate::FontFailure);
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

// ---------------------------------------------------------------------------
// Graphic: a kind, a palette colour and a pixel rectangle
// ---------------------------------------------------------------------------

Graphic::Graphic(GraphicType const& type)
    : Type(type), Color(DefaultColor), UpperLeft(DeviceOrigin), LowerRight(DeviceOrigin) {}

Graphic::Graphic(GraphicType const& type, color const& c, Position const& upperLeft,
                 Position const& lowerRight)
    : Type(type), Color(c), UpperLeft(l_to_d(upperLeft)), LowerRight(l_to_d(lowerRight)) {}

Graphic::~Graphic() = default;

void Graphic::SetType(GraphicType const& type) {
  Type = type;
}

GraphicType Graphic::GetType() const {
  return Type;
}

void Graphic::SetColor(color const& c) {
  Color = c;
}

color Graphic::GetColor() const {
  return Color;
}

void Graphic::SetUpperLeft(GraphicPosition const& p) {
  UpperLeft = p;
}

void Graphic::SetLowerRight(GraphicPosition const& p) {
  LowerRight = p;
}

GraphicPosition Graphic::GetUpperLeft() const {
  return UpperLeft;
}

GraphicPosition Graphic::GetLowerRight() const {
  return LowerRight;
}

void Graphic::SetLocation(GraphicPosition const& upperLeft, GraphicPosition const& lowerRight) {
  UpperLeft = upperLeft;
  LowerRight = lowerRight;
}

void Graphic::SetLocationWithConversion(Position const& upperLeft, Position const& lowerRight) {
  UpperLeft = l_to_d(upperLeft);
  LowerRight = l_to_d(lowerRight);
}

GraphicNode::GraphicNode(GraphicType const& type) : Graphic(type), Next(nullptr) {}

GraphicNode::GraphicNode(GraphicType const& type, color const& c, Position const& upperLeft,
                         Position const& lowerRight)
    : Graphic(type, c, upperLeft, lowerRight), Next(nullptr) {}

void GraphicNode::SetNext(GraphicNode* next) {
  Next = next;
}

GraphicNode* GraphicNode::GetNext() const {
  return Next;
}

// ---------------------------------------------------------------------------
// GraphicManager: an ordered list of drawables that it owns
// ---------------------------------------------------------------------------

GraphicManager::GraphicManager() : Size(0), Head(nullptr), Tail(nullptr), Cursor(nullptr) {}

GraphicManager::~GraphicManager() {
  EmptyList();
}

int GraphicManager::GetListSize() const {
  return Size;
}

int GraphicManager::IsEmpty() const {
  return Size == 0 ? 1 : 0;
}

void GraphicManager::AppendGraphic(GraphicNode* node) {
  if (node == nullptr) {
    slate::ShutDown(std::cout, "Unable to allocate memory in function: GraphicManager\n");
    return;
  }
  if (Tail != nullptr) {
    Tail->SetNext(node);
    Tail = node;
  } else {
    Head = node;
    Tail = node;
  }
  ++Size;
}

void GraphicManager::InsertGraphic(GraphicNode* node) {
  if (node == nullptr) {
    slate::ShutDown(std::cout, "Unable to allocate memory in function: InsertGraphic\n");
    return;
  }
  if (Head != nullptr) {
    node->SetNext(Head);
    Head = node;
  } else {
    Head = node;
    Tail = node;
  }
  ++Size;
}

GraphicNode* GraphicManager::First() {
  Cursor = Head;
  return Head;
}

GraphicNode* GraphicManager::Next() {
  if (Cursor == nullptr) return nullptr;
  Cursor = Cursor->GetNext();
  return Cursor;
}

void GraphicManager::EmptyList() {
  while (Head != nullptr) {
    GraphicNode* node = Head;
    Head = node->GetNext();
    delete node;
  }
  Size = 0;
  Tail = nullptr;
  // The cursor pointed into the deleted nodes; a walk must start again with First().
  Cursor = nullptr;
}

GraphicNode* GraphicManager::GetFirstMessage() const {
  for (GraphicNode* node = Head; node != nullptr; node = node->GetNext()) {
    if (node->GetType() == MessageGraphicType) return node;
  }
  return nullptr;
}

GraphicPosition GraphicManager::GetLowerRightOfFirstMessage() const {
  GraphicNode* message = GetFirstMessage();
  if (message != nullptr) return message->GetLowerRight();
  slate::ShutDown(std::cout,
                  "A request has been made to retrieve information from the "
                  "first item in a GraphicManager when there are no items "
                  "in the list.\n"
                  "The program is being terminated.\n");
  return DeviceOrigin;
}

// ---------------------------------------------------------------------------
// MessageGraphic: one line of black text centred in a rectangle, over a band
// of the drawable's colour
// ---------------------------------------------------------------------------

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
  slate::Ink band = slate::PaletteColor(GetColor());
  SurfaceOf surface(window);
  slate::DrawText(*surface, *face, Text, TextLocation.GetXCoordinate(), TextLocation.GetYCoordinate(),
                  AlignLeft, slate::Standing::Baseline, BlackPixel(display, ScreenNbr), &band);
  slate::Show();
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
  // The middle of the rectangle: corner sums halve toward zero. A text of
  // this width whose ink rises height above its baseline, centred there.
  GraphicPosition upperLeft = GetUpperLeft();
  GraphicPosition lowerRight = GetLowerRight();
  long long centreX = (static_cast<long long>(lowerRight.GetXCoordinate()) + upperLeft.GetXCoordinate()) / 2;
  long long centreY = (static_cast<long long>(lowerRight.GetYCoordinate()) + upperLeft.GetYCoordinate()) / 2;
  slate::TextBox box;
  box.Width = width;
  box.InkAbove = height;
  slate::TextOrigin origin = slate::PlaceText(box, centreX, centreY, AlignCenter, slate::Standing::InkMiddle);
  TextLocation.SetXCoordinate(slate::ToInt(origin.Left));
  TextLocation.SetYCoordinate(slate::ToInt(origin.Baseline));
}

// ---------------------------------------------------------------------------
// EllipseGraphic: a filled ellipse with a one-pixel black outline
// ---------------------------------------------------------------------------

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
  SurfaceOf surface(window);
  // The fill goes first so that it never covers the outline.
  surface->FillEllipse(slate::PaletteColor(GetColor()), x, y, width, height);
  surface->StrokeEllipse(BlackPixel(display, ScreenNbr), 0, x, y, width, height);
  slate::Show();
}

// ---------------------------------------------------------------------------
// ButtonGraphic: the bevelled push button with a bold label, filling its
// window from the origin to its lower-right corner
// ---------------------------------------------------------------------------

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
  SurfaceOf surface(window);
  surface->FillRectangle(ButtonColorTable[0], 0, 0, static_cast<unsigned int>(std::max(w, 0)),
                         static_cast<unsigned int>(std::max(h, 0)));

  // Top and left edges, then right and bottom: the later colour wins where
  // they meet, which gives the diagonal joins at the two off corners. The
  // lines at x = w and y = h fall outside the window and are clipped.
  for (int i = 0; i < bevel; ++i) {
    surface->Line(TopLeftEdgeColor, 0, 0, i, w - i, i);
    surface->Line(TopLeftEdgeColor, 0, i, 0, i, h - i);
  }
  for (int i = 0; i < bevel; ++i) {
    surface->Line(BottomRightEdgeColor, 0, w - i, i, w - i, h - i);
    surface->Line(BottomRightEdgeColor, 0, i, h - i, w, h - i);
  }

  // The label, centred between the two corners: moving the upper-left
  // corner by two pixels (the pressed look) moves it by one.
  const slate::Face* face = slate::DrawableFace(true);
  if (!face) return;
  slate::CentreText(*this, *face, GetMessage());
  GraphicPosition origin = GetLocation();
  slate::Ink band = ButtonColorTable[0];
  slate::DrawText(*surface, *face, GetMessage(), origin.GetXCoordinate(), origin.GetYCoordinate(), AlignLeft,
                  slate::Standing::Baseline, BlackPixel(display, ScreenNbr), &band);
  slate::Show();
}

// ---------------------------------------------------------------------------
// X11BitMapGraphic: a one-bit image, set bits black and clear bits in the
// drawable's colour; and the alert box's exclamation mark
// ---------------------------------------------------------------------------

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
  SurfaceOf surface(window);
  surface->CopyBitmap(bitmap.Get(), BlackPixel(display, ScreenNbr), slate::PaletteColor(GetColor()),
                      static_cast<unsigned int>(width), static_cast<unsigned int>(height),
                      upperLeft.GetXCoordinate(), upperLeft.GetYCoordinate());
  slate::Show();
}
