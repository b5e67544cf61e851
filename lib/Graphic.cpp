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
