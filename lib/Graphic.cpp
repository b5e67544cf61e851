// Fonts and graphics contexts shared by every drawing call, and the base of
// the retained drawables.
#include <iostream>

#include "internal.h"

int LoadFont(XFontStruct** font, const std::string& name) {
  *font = display ? XLoadQueryFont(display, name.c_str()) : nullptr;
  if (*font) return 1;
  std::cout << "Unable to load the desired font: " << name << std::endl;
  return 0;
}

GC GetGraphicsContext(unsigned long drawable, unsigned long foreground, unsigned long background) {
  XGCValues values;
  values.foreground = foreground;
  values.background = background;
  return XCreateGC(display, drawable, GCForeground | GCBackground, &values);
}

long long slate::TextWidth(XFontStruct* font, const char* text, size_t length) {
  // In pieces, each well within XTextWidth's int, summed wide.
  constexpr size_t Piece = 4096;
  long long width = 0;
  for (size_t at = 0; at < length; at += Piece)
    width += XTextWidth(font, text + at, static_cast<int>(std::min(Piece, length - at)));
  return width;
}

void slate::DrawImageText(Drawable target, GC gc, XFontStruct* font, long long x, long long y,
                          const char* text, size_t length) {
  // Drawables span 0 to SHRT_MAX: a line outside that band shows nothing,
  // and only the characters that reach into it are sent. A text of any
  // length then costs a few requests, and no position has to wrap into 16
  // bits. The margin keeps glyphs that reach past their advance.
  if (y < -font->descent || y > SHRT_MAX) return;
  const long long margin = font->max_bounds.width;
  size_t first = 0;
  for (long long w; first + 4096 <= length && x + (w = TextWidth(font, text + first, 4096)) <= -margin;
       first += 4096)
    x += w;
  for (int w; first < length && x + (w = XTextWidth(font, text + first, 1)) <= -margin; ++first) x += w;
  size_t end = first;
  for (long long right = x; end < length && right < SHRT_MAX + margin; ++end)
    right += XTextWidth(font, text + end, 1);
  if (end > first)
    XDrawImageString(display, target, gc, static_cast<int>(x), static_cast<int>(y), text + first,
                     static_cast<int>(end - first));
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

// ---------------------------------------------------------------------------
// GraphicNode: a drawable with a link to the next one in its list
// ---------------------------------------------------------------------------

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
