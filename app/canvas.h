// An off-screen picture drawn with Xlib and written as an XPM file: a pixmap
// of the screen's depth with the few drawing operations the ZINDRA pictures
// need. Everything is in pixels; colours are given as "#rrggbb".
#ifndef ZINDRA_CANVAS_H
#define ZINDRA_CANVAS_H

#include <X11/Xlib.h>

#include <map>
#include <string>
#include <vector>

#include "menu_layout.h"

namespace zindra {

// Which pixels of a text are ink, row by row.
using GlyphMask = std::vector<std::vector<bool>>;

class Canvas {
 public:
  Canvas(Display* display, int width, int height);
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;
  ~Canvas();

  void Fill(int x, int y, int width, int height, const char* colour);
  void Fill(const PixelRect& r, const char* colour) { Fill(r.X0, r.Y0, r.Width(), r.Height(), colour); }
  // An outline of the given thickness, inside the rectangle.
  void Frame(const PixelRect& r, int thickness, const char* colour) {
    Fill(r.X0, r.Y0, r.Width(), thickness, colour);
    Fill(r.X0, r.Y1 - thickness + 1, r.Width(), thickness, colour);
    Fill(r.X0, r.Y0, thickness, r.Height(), colour);
    Fill(r.X1 - thickness + 1, r.Y0, thickness, r.Height(), colour);
  }
  void Polygon(const std::vector<XPoint>& points, const char* colour);
  // Limits all drawing to r, until Unclip.
  void Clip(const PixelRect& r);
  void Unclip() { XSetClipMask(Connection, Context, None); }
  void Line(int x0, int y0, int x1, int y1, int lineWidth, const char* colour);

  // Text with its baseline starting at (x, y). Bold text is drawn twice,
  // one pixel apart, which makes it one pixel wider.
  void Text(XFontStruct* font, bool bold, int x, int y, const std::string& text, const char* colour);
  static int TextWidth(XFontStruct* font, bool bold, const std::string& text);
  static int TextHeight(XFontStruct* font) { return font->ascent + font->descent; }

  // The ink of the text drawn in font at its natural size.
  GlyphMask Mask(XFontStruct* font, const std::string& text);
  // Rows [firstRow, endRow) of a mask blown up to block x block squares
  // grown by grow pixels on each side; (x, y) is where row 0 begins.
  void FillMask(const GlyphMask& mask, int x, int y, int block, int grow, int firstRow, int endRow,
                const char* colour);

  // Writes the picture as an XPM file and reports the file's colour count;
  // false, with a message on standard error, when it cannot be written.
  bool Write(const std::string& path, int* colours);

  const int Width;
  const int Height;

 private:
  unsigned long Pixel(const char* colour);

  Display* Connection;
  Pixmap Picture;
  GC Context;
  std::map<std::string, unsigned long> Pixels;
};

}  // namespace zindra

#endif  // ZINDRA_CANVAS_H
