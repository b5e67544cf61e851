// Text: scalable faces opened through Xft and fontconfig at a line height
// in pixels and kept for the life of the display, UTF-8 read into
// characters, lines measured by their ink, the one rule that places a line,
// and drawing through a surface; the core font's text too.
#ifndef SLATE_LIB_TEXT_H
#define SLATE_LIB_TEXT_H

#include <X11/Xlib.h>

#include <cstddef>
#include <string>

#include "runtime.h"
#include "slate.h"

struct _XftFont;

namespace slate {

class Surface;

// A typeface opened at a line height in pixels, kept by the runtime until
// the display closes: a scalable font through Xft, or, on a machine where
// fontconfig finds none, the core font WindowFont standing in.
struct Face {
  struct _XftFont* Scalable = nullptr;  // null when the core font stands in
  XFontStruct* Core = nullptr;          // the stand-in, owned by the runtime
  int Ascent = 0, Descent = 0;          // pixels above and below the baseline
};

// The box a string takes at a face, in pixels: from the left edge of its
// first ink to the right edge of its last (spaces at either end add their
// width), Ascent above the baseline and Descent below it: all of the ink,
// but for a pixel of anti-aliasing.
struct TextBox {
  long long Width = 0;
  int Ascent = 0, Descent = 0;
  long long InkAbove = 0, InkBelow = 0;  // how far this string's ink reaches from the baseline
};

// The face of a family ("sans", "serif", "mono" or any fontconfig pattern,
// nearest match for unknown names), bold or regular, whose ascent and
// descent add up to lineHeight pixels (to within one; the line height is
// capped at the screen's height). Opened once, then kept. Null when
// lineHeight is not positive, or when no font at all can be had.
const Face* OpenFace(const std::string& family, bool bold, int lineHeight);
// The box of a UTF-8 string at a face; each invalid sequence counts as one
// U+FFFD.
TextBox MeasureText(const Face& face, const std::string& text);

// How a line stands on the point it is placed at, up and down: the point is
// the top of its line, the middle of its line, the middle of its ink, or
// on its baseline.
enum class Standing { LineTop, LineMiddle, InkMiddle, Baseline };
// Where a line's box starts (its left edge) and its baseline, when the box
// is placed at (x, y): its left end, middle or right end at x as align
// says (any other value: the left end), standing on y as standing says.
// The one rule of the library's text: WriteText's (the top of the line),
// RenderText's (the middle of the font's line) and the drawables' (the
// middle of the ink, in the middle of a rectangle).
struct TextOrigin {
  long long Left, Baseline;
};
TextOrigin PlaceText(const TextBox& box, long long x, long long y, TextAlignment align, Standing standing);

// Draws a UTF-8 string through a surface, placed at (x, y) as PlaceText
// says: its ink in foreground, over its box filled with *band when band is
// not null.
void DrawText(Surface& surface, const Face& face, const std::string& text, long long x, long long y,
              TextAlignment align, Standing standing, const Ink& foreground, const Ink* band = nullptr);

// The width in pixels of length characters of text in a core font, however many.
long long TextWidth(XFontStruct* font, const char* text, size_t length);
// Core-font text, on its band in background when band is true, with (x, y)
// the left end of its baseline, as far as it can show on a drawable.
void DrawCoreText(Surface& surface, XFontStruct* font, unsigned long foreground, unsigned long background,
                  bool band, long long x, long long y, const char* text, size_t length);

}  // namespace slate

#endif  // SLATE_LIB_TEXT_H
