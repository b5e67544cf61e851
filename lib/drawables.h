// What the alert box's drawables share with the box: the face of their
// text, the scale of their layout, and the surface a drawable draws into.
#ifndef SLATE_LIB_DRAWABLES_H
#define SLATE_LIB_DRAWABLES_H

#include "slate.h"
#include "surface.h"
#include "text.h"

namespace slate {

// The alert box and its drawables are laid out in pixels of a screen of
// this many pixels a centimetre; other screens scale those lengths, so that
// the box keeps its size in centimetres.
constexpr int AlertScale = 47;
// A length of that layout on this screen, truncated like l_to_d.
int AlertPixels(int pixels);

// Line height of the alert box's text, pixels of its layout.
constexpr int AlertTextHeight = 15;
// The face of the alert box's text at the screen's scale: sans, bold for
// the button's label. The core font it has always been drawn in (WindowFont,
// or ButtonFont for bold) must be there, and stands in where no scalable
// font is. Null, after LoadFont's message, while that font is missing.
const Face* AlertFace(bool bold);

// The surface a drawable draws into when it is given a window: the
// library's own target of that window, or, for any other window, one made
// for the call that draws into it directly.
class SurfaceOf {
 public:
  explicit SurfaceOf(unsigned long window);
  Surface& operator*() { return *Into; }
  Surface* operator->() { return Into; }

 private:
  Surface Own;
  Surface* Into;
};

}  // namespace slate

#endif  // SLATE_LIB_DRAWABLES_H
