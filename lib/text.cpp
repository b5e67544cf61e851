// Text (see text.h), and SimpleWindow's calls that write it: RenderText in
// the core font, WriteText and MeasureText at any size.
#include "text.h"

#include <X11/Xft/Xft.h>
#include FT_OUTLINE_H
#include FT_SYNTHESIS_H

#include <climits>
#include <cmath>
#include <iostream>
#include <map>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "event_loop.h"
#include "protocol.h"
#include "runtime.h"
#include "surface.h"

namespace slate {

namespace {

// A line is at most this many characters: far more than any screen shows,
// and it keeps the work of an absurd string bounded.
constexpr size_t MaxCharacters = 1 << 16;
constexpr FcChar32 Replacement = 0xfffd;

// The characters of a UTF-8 string. Each maximal invalid subsequence (a
// stray continuation byte, a cut-off sequence, an overlong form, a
// surrogate, a value past U+10FFFF) becomes one U+FFFD.
void Decode(const std::string& text, std::vector<FcChar32>& out) {
  out.clear();
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text.data());
  size_t n = text.size(), i = 0;
  while (i < n && out.size() < MaxCharacters) {
    unsigned char b = s[i];
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    int length = 0;
    FcChar32 c = 0;
    unsigned char low = 0x80, high = 0xbf;  // the range of the second byte
    if (b >= 0xc2 && b <= 0xdf) {
      length = 2, c = b & 0x1f;
    } else if (b >= 0xe0 && b <= 0xef) {
      length = 3, c = b & 0x0f;
      if (b == 0xe0) low = 0xa0;   // overlong
      if (b == 0xed) high = 0x9f;  // surrogates
    } else if (b >= 0xf0 && b <= 0xf4) {
      length = 4, c = b & 0x07;
      if (b == 0xf0) low = 0x90;   // overlong
      if (b == 0xf4) high = 0x8f;  // past U+10FFFF
    }
    ++i;
    int taken = 1;
    for (; length && taken < length && i < n; ++taken, ++i) {
      unsigned char next = s[i];
      if (next < (taken == 1 ? low : 0x80) || next > (taken == 1 ? high : 0xbf)) break;
      c = (c << 6) | (next & 0x3f);
    }
    out.push_back(length && taken == length ? c : Replacement);
  }
}

// Whether a point can travel in the protocol's 16-bit coordinates.
bool Drawable16(long long x, long long y) {
  return x >= SHRT_MIN && x <= SHRT_MAX && y >= SHRT_MIN && y <= SHRT_MAX;
}

// The header of the request that uploads a glyph's bitmap (RenderAddGlyphs)
// with one glyph: its own, the glyph's id and its metrics.
constexpr long AddGlyphHeader = 12 + 4 + 12;

// Less than a run of glyphs drawn in one request may span, across and
// down: the server draws nothing of a request whose glyphs' ink spans more
// than 32767 pixels.
constexpr long long Span = 32000;

// Generic names as fontconfig spells them.
std::string FamilyPattern(const std::string& family) {
  if (family == "sans") return "sans-serif";
  if (family == "mono") return "monospace";
  return family;
}

// Frees what fontconfig holds, once the display (and Xft's fonts with it)
// has closed.
void ReleaseFontconfig() {
  FcFini();
}

bool FontconfigUsed = false;  // by this process's text, since it started

// A scalable font of family at a pixel size, or null.
XftFont* OpenScalable(const std::string& family, bool bold, double pixelSize) {
  if (!FontconfigUsed) OnClose(ReleaseFontconfig, true);
  FontconfigUsed = true;
  FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(FamilyPattern(family).c_str()));
  // A name fontconfig cannot parse gets its default font.
  if (!pattern) pattern = FcPatternCreate();
  if (!pattern) return nullptr;
  FcPatternDel(pattern, FC_SIZE);
  FcPatternDel(pattern, FC_PIXEL_SIZE);
  FcPatternAddDouble(pattern, FC_PIXEL_SIZE, pixelSize);
  if (bold) {
    FcPatternDel(pattern, FC_WEIGHT);
    FcPatternAddInteger(pattern, FC_WEIGHT, FC_WEIGHT_BOLD);
  }
  FcResult result;
  FcPattern* match = XftFontMatch(display, ScreenNbr, pattern, &result);
  FcPatternDestroy(pattern);
  if (!match) return nullptr;
  XftFont* font = XftFontOpenPattern(display, match);  // owns match from now on
  if (!font) FcPatternDestroy(match);
  return font;
}

// The size of family whose ascent and descent add up to lineHeight: their
// ratio to the size differs between fonts, and both are whole pixels, so the
// size is searched for. Null when no scalable font opens.
XftFont* OpenAtLineHeight(const std::string& family, bool bold, int lineHeight) {
  XftFont* best = nullptr;
  int bestError = INT_MAX;
  double size = lineHeight / 1.2, below = 0, above = HUGE_VAL;
  for (int attempt = 0; attempt < 12; ++attempt) {
    XftFont* font = OpenScalable(family, bold, size);
    if (!font) break;
    int got = font->ascent + font->descent;
    int error = std::abs(got - lineHeight);
    if (error < bestError) {
      if (best) XftFontClose(display, best);
      best = font;
      bestError = error;
    } else {
      XftFontClose(display, font);
    }
    if (error == 0 || got <= 0) break;
    (got < lineHeight ? below : above) = size;
    double next = size * lineHeight / got;
    if (next <= below || next >= above) next = std::isinf(above) ? size * 2 : (below + above) / 2;
    if (std::abs(next - size) < 1e-3) break;
    size = next;
  }
  return best;
}

// Where a character's ink lies relative to its pen position, and how far
// it moves the pen, in pixels.
struct Metrics {
  int InkLeft, InkWidth, Advance;
  int InkTop, InkBottom;  // from the baseline, downwards
};

// Whole pixels of 1/64 pixels, rounded down and up.
long long Floor64(long long v) {
  return v >= 0 ? v / 64 : -((-v + 63) / 64);
}
long long Ceil64(long long v) {
  return -Floor64(-v);
}

// Loads a glyph of font into its face's slot as an outline, as the font
// draws it: XftLockFace has set the face's size and matrix; emboldened when
// the font is. False when the glyph has no outline.
bool LoadOutline(XftFont* font, FT_Face face, FT_UInt glyph) {
  if (FT_Load_Glyph(face, glyph, FT_LOAD_NO_BITMAP | FT_LOAD_NO_HINTING) != 0 ||
      face->glyph->format != FT_GLYPH_FORMAT_OUTLINE)
    return false;
  FcBool embolden = FcFalse;
  if (FcPatternGetBool(font->pattern, FC_EMBOLDEN, 0, &embolden) == FcResultMatch && embolden)
    FT_GlyphSlot_Embolden(face->glyph);
  return true;
}

// The glyphs of a font too large for Xft, which uploads a glyph's bitmap
// in one request (RenderAddGlyphs) and keeps its metrics in 16 bits: they
// are measured and drawn here, from their outlines, in bands.
class Oversized {
 public:
  explicit Oversized(XftFont* font);
  // Whether glyph is one of them, and then its metrics.
  bool Is(FT_UInt glyph, Metrics* metrics);

 private:
  enum Kind : unsigned char { Unknown, Fits, Large };
  XftFont* Font;
  int BytesPerPixel = 1;
  std::vector<Kind> Kinds;  // by glyph
  std::unordered_map<FT_UInt, Metrics> Measured;
};

Oversized::Oversized(XftFont* font) : Font(font) {
  // Glyphs coloured for each part of a pixel take four bytes a pixel, grey
  // ones one; a pixel's bit counts as a byte.
  int rgba = FC_RGBA_UNKNOWN;
  FcBool antialias = FcTrue;
  FcPatternGetInteger(font->pattern, FC_RGBA, 0, &rgba);
  FcPatternGetBool(font->pattern, FC_ANTIALIAS, 0, &antialias);
  if (antialias && rgba != FC_RGBA_UNKNOWN && rgba != FC_RGBA_NONE) BytesPerPixel = 4;
  if (FT_Face face = XftLockFace(font)) {
    Kinds.assign(static_cast<size_t>(std::max(0L, face->num_glyphs)), Unknown);
    XftUnlockFace(font);
  }
}

bool Oversized::Is(FT_UInt glyph, Metrics* metrics) {
  if (glyph >= Kinds.size()) return false;  // Xft draws nothing for it
  if (Kinds[glyph] == Unknown) {
    Kinds[glyph] = Fits;
    FT_Face face = XftLockFace(Font);
    if (face && LoadOutline(Font, face, glyph)) {
      FT_BBox box;
      FT_Outline_Get_CBox(&face->glyph->outline, &box);
      long long left = Floor64(box.xMin), right = Ceil64(box.xMax);
      long long top = -Ceil64(box.yMax), bottom = -Floor64(box.yMin);
      // Xft's bitmap, with a few pixels for its rounding and filters; rows
      // of whole 32-bit units.
      long long row = ((right - left + 8) * BytesPerPixel + 3) / 4 * 4;
      long long advance = Floor64(face->glyph->advance.x + 32);
      bool metrics16 = std::max({-left, right, -top, bottom, std::abs(advance)}) < SHRT_MAX - 8;
      if (!metrics16 || row * (bottom - top + 8) > RequestRoom(AddGlyphHeader)) {
        Kinds[glyph] = Large;
        Metrics& m = Measured[glyph];
        m = {0, 0, ToInt(advance), 0, 0};
        if (right > left && bottom > top)
          m = {ToInt(left), ToInt(right - left), m.Advance, ToInt(top), ToInt(bottom)};
      }
    }
    if (face) XftUnlockFace(Font);
  }
  if (Kinds[glyph] != Large) return false;
  *metrics = Measured[glyph];
  return true;
}

// What scalable text keeps: the faces opened, the Xft colours of pixel
// values, and the buffers of the line being laid out.
class TextCache {
 public:
  TextCache() = default;
  TextCache(const TextCache&) = delete;
  TextCache& operator=(const TextCache&) = delete;
  ~TextCache();

  const Face* Open(const std::string& family, bool bold, int lineHeight);
  // Lays text out at face: its box, and where the pen starts in it.
  struct Line {
    long long Width = 0;
    long long Pen = 0;  // from the box's left edge
    // How far the ink reaches above and below the baseline.
    long long InkAbove = 0, InkBelow = 0;
  };
  Line Lay(const Face& face, const std::string& text);
  // Draws the line laid out last with its box's left edge at left and its
  // baseline at baseline.
  void Draw(Surface& surface, const Face& face, const Line& line, long long left, long long baseline,
            const Ink& foreground, const Ink* band);

 private:
  XftColor Colour(const Ink& ink);
  Metrics Measure(const Face& face, size_t i);
  // The glyphs of the line laid out last that show within 16-bit
  // coordinates, the first at pen.
  void DrawGlyphs(Surface& surface, XftFont* font, long long pen, long long baseline, const XftColor& colour);
  // One glyph from its outline.
  void DrawOutline(Surface& surface, XftFont* font, FT_UInt glyph, long long pen, long long baseline,
                   const PixelBox& ink, const XftColor& colour);

  std::map<std::tuple<std::string, bool, int>, Face> Faces;  // nodes stay put: callers keep pointers
  Face CoreFace;                                             // the stand-in, once no scalable font opens
  bool NoScalable = false;
  std::unordered_map<unsigned long, XftColor> Colours;
  std::unordered_map<const XftFont*, Oversized> Large;  // of each font, once it has drawn
  std::vector<FcChar32> Characters;                     // of the line laid out last
  std::vector<FT_UInt> Glyphs;                          // its glyphs, with a scalable face
  std::vector<Metrics> Laid;                            // theirs
  std::vector<bool> Outlined;                           // those drawn from their outlines
  std::vector<FT_UInt> Loaded;                          // those Xft loads
  std::vector<XftGlyphSpec> Run;                        // those Xft draws next, in one request
  std::string Bytes;                                    // its Latin-1 bytes, with the core font
};

TextCache& Text() {
  return KeptUntilClose<TextCache>();
}

TextCache::~TextCache() {
  for (auto& face : Faces)
    if (face.second.Scalable) XftFontClose(display, face.second.Scalable);
}

const Face* TextCache::Open(const std::string& family, bool bold, int lineHeight) {
  lineHeight = std::min(lineHeight, std::max(1, DisplayHeight(display, ScreenNbr)));
  auto key = std::make_tuple(family, bold, lineHeight);
  auto found = Faces.find(key);
  if (found != Faces.end()) return &found->second;
  if (!NoScalable) {
    XftFont* font = OpenAtLineHeight(family, bold, lineHeight);
    // Whatever the name asked for, the default font is the nearest match.
    if (!font) font = OpenAtLineHeight("", bold, lineHeight);
    if (font) {
      Face& face = Faces[key];
      face.Scalable = font;
      face.Ascent = font->ascent;
      face.Descent = font->descent;
      return &face;
    }
    NoScalable = true;
    std::cerr << "No scalable font could be opened through fontconfig: text is drawn in the core font "
              << WindowFont << "\n";
  }
  // The core font, asked for again while the server lacks it.
  if (!CoreFace.Core && (CoreFace.Core = Kept()->Font(WindowFont))) {
    CoreFace.Ascent = CoreFace.Core->ascent;
    CoreFace.Descent = CoreFace.Core->descent;
  }
  return CoreFace.Core ? &CoreFace : nullptr;
}

Metrics TextCache::Measure(const Face& face, size_t i) {
  if (face.Scalable) {
    Metrics m;
    if (Outlined[i] && Large.at(face.Scalable).Is(Glyphs[i], &m)) return m;
    XGlyphInfo info;
    XftGlyphExtents(display, face.Scalable, &Glyphs[i], 1, &info);
    if (info.width == 0 || info.height == 0) return {0, 0, info.xOff, 0, 0};
    return {-info.x, info.width, info.xOff, -info.y, info.height - info.y};
  }
  int direction, ascent, descent;
  XCharStruct c;
  XTextExtents(face.Core, &Bytes[i], 1, &direction, &ascent, &descent, &c);
  if (c.rbearing <= c.lbearing) return {0, 0, c.width, 0, 0};
  return {c.lbearing, c.rbearing - c.lbearing, c.width, -c.ascent, c.descent};
}

TextCache::Line TextCache::Lay(const Face& face, const std::string& text) {
  Decode(text, Characters);
  size_t count = Characters.size();
  if (face.Scalable) {
    Oversized& large = Large.try_emplace(face.Scalable, face.Scalable).first->second;
    Glyphs.resize(count);
    Outlined.assign(count, false);
    Loaded.clear();
    Metrics unused;
    for (size_t i = 0; i < count; ++i) {
      Glyphs[i] = XftCharIndex(display, face.Scalable, Characters[i]);
      Outlined[i] = large.Is(Glyphs[i], &unused);
      if (!Outlined[i]) Loaded.push_back(Glyphs[i]);
    }
    // One call loads every glyph not loaded yet, in one go.
    XGlyphInfo all;
    if (!Loaded.empty())
      XftGlyphExtents(display, face.Scalable, Loaded.data(), static_cast<int>(Loaded.size()), &all);
  } else {
    // The core font has Latin-1 only.
    Bytes.resize(count);
    for (size_t i = 0; i < count; ++i)
      Bytes[i] = static_cast<char>(Characters[i] < 0x100 ? Characters[i] : '?');
  }
  // The box runs from the first ink to the last; blanks at either end (no
  // ink) count with their whole advance.
  long long pen = 0, inkLeft = LLONG_MAX, inkRight = LLONG_MIN, inkTop = 0, inkBottom = 0;
  bool blankFirst = false, blankLast = false;
  Laid.resize(count);
  for (size_t i = 0; i < count; ++i) {
    Metrics m = Laid[i] = Measure(face, i);
    bool ink = m.InkWidth > 0;
    if (i == 0) blankFirst = !ink;
    blankLast = !ink;
    if (ink) {
      inkLeft = std::min(inkLeft, pen + m.InkLeft);
      inkRight = std::max(inkRight, pen + m.InkLeft + m.InkWidth);
      inkTop = std::min<long long>(inkTop, m.InkTop);
      inkBottom = std::max<long long>(inkBottom, m.InkBottom);
    }
    pen += m.Advance;
  }
  Line line;
  line.InkAbove = -inkTop;
  line.InkBelow = inkBottom;
  if (inkLeft > inkRight) {  // no ink at all
    line.Width = std::max(0LL, pen);
    return line;
  }
  long long left = blankFirst ? std::min(0LL, inkLeft) : inkLeft;
  long long right = blankLast ? std::max(pen, inkRight) : inkRight;
  line.Width = right - left;
  line.Pen = -left;
  return line;
}

XftColor TextCache::Colour(const Ink& ink) {
  // Glyphs in a colour with alpha are blended in its parts, premultiplied;
  // none at all where it is not shown.
  if (ink.Blended || !ink.Shown) return XftColor{ink.Pixel, ink.Shown ? ink.Colour : XRenderColor{}};
  unsigned long pixel = ink.Pixel;
  auto found = Colours.find(pixel);
  if (found != Colours.end()) return found->second;
  // Glyphs are blended in the colour's red, green and blue; the server
  // knows them for any pixel of the colormap, at every depth.
  XColor parts;
  parts.pixel = pixel;
  XQueryColor(display, DefaultColormap(display, ScreenNbr), &parts);
  XftColor& colour = Colours[pixel];
  colour.pixel = pixel;
  colour.color.red = parts.red;
  colour.color.green = parts.green;
  colour.color.blue = parts.blue;
  colour.color.alpha = 0xffff;
  return colour;
}

void TextCache::Draw(Surface& surface, const Face& face, const Line& line, long long left, long long baseline,
                     const Ink& foreground, const Ink* band) {
  if (line.Width <= 0) return;
  long long top = baseline - face.Ascent;
  if (band) {
    // Clipped to what X coordinates reach.
    long long x0 = std::clamp<long long>(left, SHRT_MIN, SHRT_MAX);
    long long x1 = std::clamp<long long>(left + line.Width, SHRT_MIN, SHRT_MAX);
    long long y0 = std::clamp<long long>(top, SHRT_MIN, SHRT_MAX);
    long long y1 = std::clamp<long long>(top + face.Ascent + face.Descent, SHRT_MIN, SHRT_MAX);
    if (x1 > x0 && y1 > y0)
      surface.FillRectangle(*band, static_cast<int>(x0), static_cast<int>(y0),
                            static_cast<unsigned int>(x1 - x0), static_cast<unsigned int>(y1 - y0));
  }
  if (!face.Scalable) {
    if (foreground.Shown)
      DrawCoreText(surface, face.Core, foreground.Pixel, 0, false, left + line.Pen, baseline, Bytes.data(),
                   Bytes.size());
    return;
  }
  DrawGlyphs(surface, face.Scalable, left + line.Pen, baseline, Colour(foreground));
}

void TextCache::DrawGlyphs(Surface& surface, XftFont* font, long long pen, long long baseline,
                           const XftColor& colour) {
  // Each glyph at a place of its own: only those that show are sent, and
  // no place has to wrap into 16 bits. Xft draws runs of them whose ink
  // spans less than the server takes; the rest (too large for Xft, or
  // reaching beyond 16-bit coordinates) are drawn from their outlines.
  PixelBox runInk;
  auto flush = [&] {
    if (!Run.empty()) surface.Glyphs(font, colour, Run.data(), static_cast<int>(Run.size()), runInk.Grown(1));
    Run.clear();
  };
  Run.clear();
  for (size_t i = 0; i < Glyphs.size(); pen += Laid[i++].Advance) {
    const Metrics& m = Laid[i];
    PixelBox ink{pen + m.InkLeft, baseline + m.InkTop, pen + m.InkLeft + m.InkWidth, baseline + m.InkBottom};
    if (ink.Within(SHRT_MAX, SHRT_MAX).Empty()) continue;  // never within a drawable
    bool xft = !Outlined[i] && Drawable16(pen, baseline) && Drawable16(ink.X0 - 1, ink.Y0 - 1) &&
               Drawable16(ink.X1 + 1, ink.Y1 + 1) && ink.X1 - ink.X0 < Span && ink.Y1 - ink.Y0 < Span;
    if (!xft) {
      DrawOutline(surface, font, Glyphs[i], pen, baseline, ink, colour);
      continue;
    }
    PixelBox joined = Run.empty() ? ink : runInk;
    joined.Add(ink);
    if (joined.X1 - joined.X0 >= Span || joined.Y1 - joined.Y0 >= Span) {
      flush();
      joined = ink;
    }
    runInk = joined;
    Run.push_back({Glyphs[i], static_cast<short>(pen), static_cast<short>(baseline)});
  }
  flush();
}

void TextCache::DrawOutline(Surface& surface, XftFont* font, FT_UInt glyph, long long pen, long long baseline,
                            const PixelBox& ink, const XftColor& colour) {
  surface.Cover(colour, ink,
                [&](long long x, long long y, int width, int rows, unsigned char* out, int stride) {
                  FT_Face face = XftLockFace(font);
                  if (!face) return;
                  if (LoadOutline(font, face, glyph)) {
                    // An outline goes up from its origin, in 1/64 pixels; the band's
                    // bitmap has its lower-left corner at 0.
                    FT_Outline_Translate(&face->glyph->outline, (pen - x) * 64, (y + rows - baseline) * 64);
                    FT_Bitmap bitmap{};
                    bitmap.rows = static_cast<unsigned int>(rows);
                    bitmap.width = static_cast<unsigned int>(width);
                    bitmap.pitch = stride;
                    bitmap.buffer = out;
                    bitmap.num_grays = 256;
                    bitmap.pixel_mode = FT_PIXEL_MODE_GRAY;
                    FT_Outline_Get_Bitmap(face->glyph->library, &face->glyph->outline, &bitmap);
                  }
                  XftUnlockFace(font);
                });
}

}  // namespace

const Face* OpenFace(const std::string& family, bool bold, int lineHeight) {
  if (!display || !Kept() || lineHeight <= 0) return nullptr;
  return Text().Open(family, bold, lineHeight);
}

namespace {

// The box of a line laid out at a face.
TextBox BoxOf(const Face& face, const TextCache::Line& line) {
  TextBox box;
  box.Width = line.Width;
  box.Ascent = face.Ascent;
  box.Descent = face.Descent;
  box.InkAbove = line.InkAbove;
  box.InkBelow = line.InkBelow;
  return box;
}

}  // namespace

TextBox MeasureText(const Face& face, const std::string& text) {
  if (!display || !Kept()) return TextBox();
  return BoxOf(face, Text().Lay(face, text));
}

TextOrigin PlaceText(const TextBox& box, long long x, long long y, TextAlignment align, Standing standing) {
  TextOrigin origin{x, y};
  if (align == AlignCenter) origin.Left -= box.Width / 2;
  if (align == AlignRight) origin.Left -= box.Width;
  switch (standing) {
    case Standing::LineTop:
      origin.Baseline += box.Ascent;
      break;
    case Standing::LineMiddle:
      origin.Baseline += (box.Ascent + box.Descent) / 2;
      break;
    case Standing::InkMiddle:
      origin.Baseline += (box.InkAbove - box.InkBelow) / 2;
      break;
    case Standing::Baseline:
      break;
  }
  return origin;
}

void DrawText(Surface& surface, const Face& face, const std::string& text, long long x, long long y,
              TextAlignment align, Standing standing, const Ink& foreground, const Ink* band) {
  if (!display || !Kept()) return;
  TextCache& cache = Text();
  TextCache::Line line = cache.Lay(face, text);
  TextOrigin origin = PlaceText(BoxOf(face, line), x, y, align, standing);
  cache.Draw(surface, face, line, origin.Left, origin.Baseline, foreground, band);
}

long long TextWidth(XFontStruct* font, const char* text, size_t length) {
  // In pieces, each well within XTextWidth's int, summed wide.
  constexpr size_t Piece = 4096;
  long long width = 0;
  for (size_t at = 0; at < length; at += Piece)
    width += XTextWidth(font, text + at, static_cast<int>(std::min(Piece, length - at)));
  return width;
}

void DrawCoreText(Surface& surface, XFontStruct* font, unsigned long foreground, unsigned long background,
                  bool band, long long x, long long y, const char* text, size_t length) {
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
    surface.String(font, foreground, background, band, static_cast<int>(x), static_cast<int>(y), text + first,
                   static_cast<int>(end - first));
}

}  // namespace slate

// ---------------------------------------------------------------------------
// SimpleWindow: text
// ---------------------------------------------------------------------------

namespace {

// The centimetres of a pixel count that convert back to exactly that count:
// the plain quotient may fall just below it.
float Centimetres(long long pixels) {
  float cm = d_to_l(slate::ToInt(pixels));
  while (l_to_d(cm) < pixels && std::isfinite(cm)) cm = std::nextafter(cm, HUGE_VALF);
  return cm;
}

}  // namespace

void SimpleWindow::RenderText(Position centre, const std::string& text, const color& textColor,
                              const color& backColor) {
  if (!IsLive()) return;
  XFontStruct* font = slate::Kept()->Font(WindowFont);
  if (!font) {
    slate::ShutDown(std::cout, std::string("Unable to load the desired font: ") + WindowFont + "\n");
    return;
  }
  slate::TextBox box;
  box.Width = slate::TextWidth(font, text.data(), text.size());
  box.Ascent = font->ascent;
  box.Descent = font->descent;
  slate::TextOrigin at = slate::PlaceText(box, l_to_d(centre.GetXDistance()), l_to_d(centre.GetYDistance()),
                                          AlignCenter, slate::Standing::LineMiddle);
  slate::DrawCoreText(Canvas(), font, slate::PaletteColor(textColor), slate::PaletteColor(backColor), true,
                      at.Left, at.Baseline, text.data(), text.size());
  slate::Pump();
}

void SimpleWindow::RenderText(Position centre, const char* text, const color& textColor,
                              const color& backColor) {
  RenderText(centre, std::string(text ? text : ""), textColor, backColor);
}

void SimpleWindow::RenderText(const Position& upperLeft, const Position& lowerRight, const std::string& text,
                              const color& textColor, const color& backColor) {
  float x = (upperLeft.GetXDistance() + lowerRight.GetXDistance()) / 2;
  float y = (upperLeft.GetYDistance() + lowerRight.GetYDistance()) / 2;
  RenderText(Position(x, y), text, textColor, backColor);
}

void SimpleWindow::RenderText(const Position& upperLeft, const Position& lowerRight, const char* text,
                              const color& textColor, const color& backColor) {
  RenderText(upperLeft, lowerRight, std::string(text ? text : ""), textColor, backColor);
}

void SimpleWindow::WriteText(const Position& at, const std::string& text, const Typeface& face,
                             const color& textColor, TextAlignment align, const color& backColor) {
  if (!IsLive()) return;
  const slate::Face* f = slate::OpenFace(face.Family, face.Bold, l_to_d(face.Size));
  if (f) {
    slate::Ink band = slate::InkOf(backColor);
    slate::DrawText(Canvas(), *f, text, l_to_d(at.GetXDistance()), l_to_d(at.GetYDistance()), align,
                    slate::Standing::LineTop, slate::InkOf(textColor), backColor == NoBand ? nullptr : &band);
  }
  slate::Pump();
}

void SimpleWindow::WriteText(const Position& at, const char* text, const Typeface& face,
                             const color& textColor, TextAlignment align, const color& backColor) {
  WriteText(at, std::string(text ? text : ""), face, textColor, align, backColor);
}

Position SimpleWindow::MeasureText(const std::string& text, const Typeface& face) const {
  const slate::Face* f = slate::OpenFace(face.Family, face.Bold, l_to_d(face.Size));
  if (!f) return Position(0, 0);
  slate::TextBox box = slate::MeasureText(*f, text);
  return Position(Centimetres(box.Width), Centimetres(box.Ascent + box.Descent));
}

Position SimpleWindow::MeasureText(const char* text, const Typeface& face) const {
  return MeasureText(std::string(text ? text : ""), face);
}
