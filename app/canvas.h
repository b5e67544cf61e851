// An off-screen picture drawn with Xlib and written as an XPM file: a pixmap
// of the screen's depth with the few drawing operations the ZINDRA pictures
// need, and text in scalable fonts. Everything is in pixels; colours are
// given as "#rrggbb".
#ifndef ZINDRA_CANVAS_H
#define ZINDRA_CANVAS_H

#include <X11/Xft/Xft.h>
#include <X11/Xlib.h>

#include <climits>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "menu_layout.h"

namespace zindra {

// The typefaces of the pictures, all from Debian's fonts-dejavu-core.
enum Typeface { Sans, SansBold, SerifBold, TypefaceCount };

// The files of the typefaces, found through fontconfig by their full names,
// so that every machine draws the pictures with the same outlines.
struct FontFiles {
  std::string Path[TypefaceCount];
  int Index[TypefaceCount] = {};
  // False, naming each face it cannot find on standard error, if one is missing.
  bool Find();
};

// A typeface at a size: its em in pixels (fractions included), and a width
// factor below 1 for a narrower face.
struct Lettering {
  Typeface Face;
  double Size;
  double Narrow = 1;
};

// How much of each pixel a text covers, from 0 (none) to 255 (all), with the
// pixel where the text's baseline starts.
struct Coverage {
  int Width = 0, Height = 0;
  int OriginX = 0, OriginY = 0;
  std::vector<unsigned char> Values;

  int At(int x, int y) const { return Values[static_cast<size_t>(y) * Width + x]; }
  // The box of the pixels at least half covered; Width() is 0 when none is.
  PixelRect Ink() const;
  // The coverage grown by radius pixels all round (the text's outline at
  // that distance), as large as it needs to be.
  Coverage Grown(int radius) const;
};

class Canvas {
 public:
  Canvas(Display* display, const FontFiles& fonts, int width, int height);
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

  // The width in pixels of a text's ink, from its glyphs' boxes.
  int TextWidth(const Lettering& lettering, const std::string& text);
  // A text's coverage, anti-aliased; empty if its font cannot be opened.
  Coverage Render(const Lettering& lettering, const std::string& text);
  // Blends colour over the picture by a coverage whose pixel (0, 0) goes at
  // (x, y), rows [firstRow, endRow) only.
  void Paint(const Coverage& coverage, int x, int y, const char* colour, int firstRow = 0,
             int endRow = INT_MAX);
  // Text with its baseline starting at (x, y); returns its ink box.
  PixelRect Text(const Lettering& lettering, int x, int y, const std::string& text, const char* colour);

  // Writes the picture as an XPM file and reports the file's colour count;
  // false, with a message on standard error, when it cannot be written or a
  // text could not be drawn.
  bool Write(const std::string& path, int* colours);

  const int Width;
  const int Height;

 private:
  struct Rgb {
    int R, G, B;
  };
  unsigned long Pixel(const std::string& colour);
  XftFont* Font(const Lettering& lettering);

  Display* Connection;
  const FontFiles& Files;
  Pixmap Picture;
  GC Context;
  std::map<std::string, unsigned long> Pixels;
  std::map<unsigned long, Rgb> Colours;  // what each pixel of the picture stands for
  std::map<std::tuple<int, double, double>, XftFont*> Fonts;
  bool TextFailed = false;
};

}  // namespace zindra

#endif  // ZINDRA_CANVAS_H
