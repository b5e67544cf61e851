// zindra-pictures: draws the two pictures of the ZINDRA menu, menu.xpm and
// instructions.xpm (15 x 12 cm each), at a given scale as XPM files.
//
//   zindra-pictures [--scale PIXELS_PER_CM] [OUTPUT_DIRECTORY]
//
// The scale defaults to the menu's own on the current display, floor(display
// width / 29) px/cm. The menu's buttons are drawn inside their click regions.
// It needs a display to draw on, with the fonts of Debian's xfonts-base.
#include <X11/Xlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "canvas.h"
#include "menu_layout.h"

namespace {

using zindra::Canvas;
using zindra::PixelRect;

// Every colour of both pictures, which keeps their colour count small.
namespace colour {
constexpr const char *Ink = "#fff7d6", *InkShadow = "#1a0f05";  // the labels and the close mark only
constexpr const char *Gold = "#f2b632", *GoldLight = "#ffe07a", *GoldDark = "#7a4e0c", *Panel = "#150d2b";
constexpr const char *TitleShadow = "#07040f", *FrameInner = "#4a2f08", *Subtitle = "#c9b8ff";
constexpr const char* Sky[] = {"#0b1230", "#0f1636", "#131a3c", "#171d42", "#1b2048", "#1f234d",
                               "#232552", "#272756", "#2b285a", "#30295d", "#342a60", "#382b62"};
constexpr const char *Star = "#d8d4ff", *StarDim = "#8d89c9", *Rock = "#120b22", *RockEdge = "#2a1d45";
constexpr const char *Crystal = "#3fe0d0", *CrystalLight = "#b4fff6", *CrystalDark = "#168f88";
constexpr const char *Parchment = "#f4e6c3", *ParchmentEdge = "#8b5a2b", *Heading = "#8a1c1c";
constexpr const char *Text = "#3b2412", *Faint = "#6f66a3";
}  // namespace colour

// The fonts, all from Debian's xfonts-base (on the X server's default font
// path). Each is required, so that the pictures never depend on the server.
enum FontId {
  Font12x24,
  Font10x20,
  Font9x15Bold,
  Font9x15,
  Font8x13Bold,
  Font8x13,
  Font7x13Bold,
  Font7x13,
  Font6x13Bold,
  Font6x13,
  Font6x12,
  Font6x10,
  Font5x8,
  FontCount
};
constexpr const char* FontNames[FontCount] = {"12x24", "10x20",    "9x15bold", "9x15",     "8x13bold",
                                              "8x13",  "7x13bold", "7x13",     "6x13bold", "6x13",
                                              "6x12",  "6x10",     "5x8"};

using Fonts = std::array<XFontStruct*, FontCount>;

// Loads every font; false, naming each one the server lacks, if any is.
bool LoadFonts(Display* display, Fonts& fonts) {
  bool complete = true;
  for (int id = 0; id < FontCount; ++id) {
    fonts[id] = XLoadQueryFont(display, FontNames[id]);
    if (!fonts[id]) {
      std::fprintf(stderr, "zindra-pictures: no font %s on the X server; it comes with xfonts-base\n",
                   FontNames[id]);
      complete = false;
    }
  }
  return complete;
}

// A font, and whether text in it is drawn bold.
struct Face {
  FontId Font;
  bool Bold;
};

// Layout shared by both pictures, in cm.
constexpr int StarCount = 140;
constexpr double StarSize = 0.03, HairLine = 0.03;  // a hair line: rules under text, the panel's outline
constexpr double FrameThickness = 0.12;             // the gold frame around the picture
constexpr FontId TitleFont = Font9x15Bold;
constexpr double LargePrintScale = 40;  // px/cm from which small print takes the larger of two fonts

// Pixels of a layout length in centimetres.
struct Scale {
  double PixelsPerCm;
  int operator()(double cm) const { return zindra::CmToPixel(cm, PixelsPerCm); }
  FontId Pick(FontId large, FontId small) const { return PixelsPerCm >= LargePrintScale ? large : small; }
};

// Where a crystal stands and how large it is.
struct CrystalSite {
  double CentreX, Bottom, Width, Height;
};

struct ButtonLook {
  const char* Front;
  const char* Light;
  const char* Dark;
};

// The menu picture, in cm: the title centred over the left part, the cavern
// along its bottom, the buttons in their click regions on a dark panel.
namespace menulayout {
constexpr unsigned StarSeed = 7;
constexpr const char* Title = "ZINDRA";
constexpr double TitleCentreX = 5.9, TitleTop = 2.6, TitleMaxWidth = 8.0, TitleMaxHeight = 2.0;
constexpr const char* Subtitle = "THE CRYSTAL CAVERNS";
constexpr double SubtitleGap = 0.55;  // from the title to the subtitle's ascent
constexpr double RuleGap = 0.3;       // from the subtitle's baseline to its rule
constexpr const char* Footer = "v1.0   ZINDRA GAMES";
constexpr double FooterLeft = 0.5, FooterAboveBottom = 0.45;
constexpr double FloorX[] = {0.0, 0.8, 1.6, 2.3, 3.1, 3.9, 4.6, 5.5, 6.3, 7.0, 7.9, 8.6, 9.4, 10.1};
constexpr double FloorY[] = {10.6, 10.1, 10.4, 9.7, 10.2, 9.9, 10.5, 9.8, 10.3, 9.6, 10.2, 10.0, 10.4, 10.9};
constexpr double FloorRightY = 10.9, FloorEdge = 0.06;
constexpr CrystalSite Crystals[] = {
    {2.3, 9.95, 0.9, 1.8},  {3.2, 10.25, 0.6, 1.1}, {1.55, 10.3, 0.5, 0.9},
    {7.9, 10.15, 0.7, 1.4}, {8.7, 10.2, 0.45, 0.8},
};
constexpr double PanelPadding = 0.2, ButtonInset = 0.05;  // around the buttons; inside each region
constexpr ButtonLook Buttons[zindra::ButtonCount] = {
    {"#2e9e4f", "#7fdc98", "#145a29"},  // PLAY
    {"#d9822b", "#ffc27f", "#7c410c"},  // HIGHSCORES
    {"#2f6fc0", "#86b3ff", "#143a6e"},  // OPTIONS
    {"#8a46c2", "#c9a0f0", "#4a1f70"},  // INSTRUCTIONS
    {"#1f9aa0", "#7fe0e4", "#0c5558"},  // MORE GAMES
};
constexpr ButtonLook CloseLook = {"#c62828", "#ff8a80", "#6d0f0f"};
// Label fonts, largest first; a label may take this share of its button.
constexpr int LabelWidthPercent = 85, LabelHeightPercent = 65;
constexpr int LabelShadowOffset = 2;  // px
constexpr Face LabelFaces[] = {{Font12x24, true},     {Font10x20, true},     {Font9x15Bold, false},
                               {Font8x13Bold, false}, {Font7x13Bold, false}, {Font6x13Bold, false},
                               {Font6x10, false},     {Font5x8, false}};
}  // namespace menulayout

// The instructions picture, in cm: a title between two crystals and the
// rules on a parchment.
namespace ruleslayout {
constexpr unsigned StarSeed = 11;
constexpr const char* Title = "HOW TO PLAY";
constexpr double TitleTop = 0.55, TitleMaxWidth = 10.0, TitleMaxHeight = 1.5, TitleCrystalGap = 0.8;
constexpr double PanelSide = 0.9, PanelGap = 0.5, PanelBottom = 11.0, PanelEdge = 0.04;
constexpr double Margin = 0.45, Indent = 0.7;  // inside the parchment; of a bullet's text
enum LineKind { Heading, Plain, Bullet };
struct Line {
  LineKind Kind;
  const char* Text;
};
constexpr Line Lines[] = {
    {Heading, "THE STORY"},
    {Plain, "Zindra the explorer is lost deep under the mountain."},
    {Plain, "Guide her through the caverns and bring the crystals home."},
    {Heading, "THE RULES"},
    {Bullet, "Move with the ARROW keys and jump with SPACE."},
    {Bullet, "Every crystal you collect scores 10 points."},
    {Bullet, "A golden crystal gives you an extra life."},
    {Bullet, "Bats and falling rocks cost a life; you start with 3."},
    {Bullet, "Take every crystal to open the door to the next cavern."},
    {Bullet, "Each cavern is faster and darker than the one before."},
    {Bullet, "Press P to pause and ESC to go back to the menu."},
    {Heading, "GOOD LUCK, EXPLORER!"},
};
// Text fonts, largest first; headings are drawn bold.
constexpr Face TextFaces[] = {{Font12x24, false}, {Font10x20, false}, {Font9x15, false}, {Font8x13, false},
                              {Font7x13, false},  {Font6x12, false},  {Font6x10, false}, {Font5x8, false}};
constexpr const char* Hint = "Close this window to return to the menu.";
constexpr double HintBaseline = 11.55;
}  // namespace ruleslayout

// The largest whole factor by which text in font, blown up, fits a box of
// maxWidth x maxHeight pixels; at least 1.
int LargestFactorThatFits(XFontStruct* font, const std::string& text, int maxWidth, int maxHeight) {
  int factor =
      std::min(maxWidth / Canvas::TextWidth(font, false, text), maxHeight / Canvas::TextHeight(font));
  return std::max(1, factor);
}

// The first of faces, which run from the largest font to the smallest, for
// which fits(font, bold) holds; the smallest when none does.
template <size_t N, typename Fits>
Face LargestFontThatFits(const Fonts& fonts, const Face (&faces)[N], Fits fits) {
  for (const Face& face : faces) {
    if (fits(fonts[face.Font], face.Bold)) return face;
  }
  return faces[N - 1];
}

// A rectangle of width x height centred in r.
PixelRect CentredIn(const PixelRect& r, int width, int height) {
  int x = r.X0 + (r.Width() - width) / 2;
  int y = r.Y0 + (r.Height() - height) / 2;
  return {x, y, x + width - 1, y + height - 1};
}

// Text centred on centreX; returns its width.
int CentredText(Canvas& c, XFontStruct* font, bool bold, int centreX, int baseline, const std::string& text,
                const char* colour) {
  int width = Canvas::TextWidth(font, bold, text);
  c.Text(font, bold, centreX - width / 2, baseline, text, colour);
  return width;
}

// The night sky in bands, with stars. The stars come from a seeded
// std::minstd_rand, whose sequence the standard fixes, taken modulo the range
// (the standard distributions differ between libraries), so every run and
// every build draws the same sky.
void DrawBackdrop(Canvas& c, const Scale& px, unsigned seed) {
  int bands = static_cast<int>(std::size(colour::Sky));
  for (int i = 0; i < bands; ++i) {
    int y0 = c.Height * i / bands;
    int y1 = c.Height * (i + 1) / bands;
    c.Fill(0, y0, c.Width, y1 - y0, colour::Sky[i]);
  }
  std::minstd_rand random(seed);
  auto below = [&random](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  int size = std::max(1, px(StarSize));
  for (int i = 0; i < StarCount; ++i) {
    int x = below(c.Width);
    int y = below(c.Height);
    bool bright = below(4) == 0;
    c.Fill(x, y, bright ? size + 1 : size, bright ? size + 1 : size, bright ? colour::Star : colour::StarDim);
  }
}

int FramePixels(const Scale& px) {
  return std::max(3, px(FrameThickness));
}

// The double gold frame around the whole picture, drawn last.
void DrawFrame(Canvas& c, const Scale& px) {
  int t = FramePixels(px);
  c.Frame({0, 0, c.Width - 1, c.Height - 1}, t, colour::Gold);
  c.Frame({t, t, c.Width - 1 - t, c.Height - 1 - t}, std::max(1, t / 3), colour::FrameInner);
}

// Large lettering, centred on centreX below top: the glyphs of the title
// font blown up to the largest blocks that fit maxWidth x maxHeight, with a
// drop shadow, a dark rim and a two-tone gold face. Returns the face's box.
PixelRect DrawTitle(Canvas& c, const Fonts& fonts, const std::string& text, int centreX, int top,
                    int maxWidth, int maxHeight) {
  XFontStruct* font = fonts[TitleFont];
  int k = LargestFactorThatFits(font, text, maxWidth, maxHeight);
  int width = Canvas::TextWidth(font, false, text) * k;
  int height = Canvas::TextHeight(font) * k;
  int x = centreX - width / 2;
  zindra::GlyphMask mask = c.Mask(font, text);
  int rim = std::max(1, k / 4);
  int drop = std::max(2, k / 2);
  int rows = static_cast<int>(mask.size());
  c.FillMask(mask, x + drop, top + drop, k, rim, 0, rows, colour::TitleShadow);
  c.FillMask(mask, x, top, k, rim, 0, rows, colour::GoldDark);
  c.FillMask(mask, x, top, k, 0, 0, rows / 2, colour::GoldLight);
  c.FillMask(mask, x, top, k, 0, rows / 2, rows, colour::Gold);
  return {x, top, x + width - 1, top + height - 1};
}

XPoint Point(int x, int y) {
  return {static_cast<short>(x), static_cast<short>(y)};
}

// A six-sided gem standing on (x, bottom), with a light and a dark facet.
void DrawCrystal(Canvas& c, int x, int bottom, int width, int height) {
  int half = width / 2;
  int shoulder = bottom - height * 3 / 4;
  int waist = bottom - height / 5;
  XPoint top = Point(x, bottom - height), foot = Point(x, bottom);
  XPoint rightHigh = Point(x + half, shoulder), rightLow = Point(x + half, waist);
  XPoint leftHigh = Point(x - half, shoulder), leftLow = Point(x - half, waist);
  c.Polygon({top, rightHigh, rightLow, foot, leftLow, leftHigh}, colour::Crystal);
  c.Polygon({top, leftHigh, leftLow, foot}, colour::CrystalLight);
  c.Polygon({top, rightHigh, rightLow, foot}, colour::CrystalDark);
  c.Polygon({top, Point(x + half / 3, shoulder), foot, Point(x - half / 3, shoulder)}, colour::Crystal);
}

// The cavern floor along the bottom of the menu picture, with its crystals.
void DrawCavern(Canvas& c, const Scale& px) {
  using namespace menulayout;
  std::vector<XPoint> floor;
  for (size_t i = 0; i < std::size(FloorX); ++i) floor.push_back(Point(px(FloorX[i]), px(FloorY[i])));
  floor.insert(floor.end(), {Point(c.Width, px(FloorRightY)), Point(c.Width, c.Height), Point(0, c.Height)});
  std::vector<XPoint> edge = floor;
  for (XPoint& p : edge) p.y = static_cast<short>(p.y - std::max(2, px(FloorEdge)));
  c.Polygon(edge, colour::RockEdge);
  c.Polygon(floor, colour::Rock);
  for (const CrystalSite& k : Crystals)
    DrawCrystal(c, px(k.CentreX), px(k.Bottom), px(k.Width), px(k.Height));
}

// A raised button with a bevel, filling r.
void DrawBevelBox(Canvas& c, const PixelRect& r, const ButtonLook& look) {
  int bevel = std::max(2, std::min(r.Width(), r.Height()) / 12);
  c.Fill(r, look.Dark);
  c.Fill(r.X0, r.Y0, r.Width() - bevel, r.Height() - bevel, look.Light);
  c.Fill(r.X0 + bevel, r.Y0 + bevel, r.Width() - 2 * bevel, r.Height() - 2 * bevel, look.Front);
  c.Frame(r, 1, colour::InkShadow);
}

// The five buttons, each centred in its click region, with the largest label
// font that leaves a margin around every label; then the close box. Labels
// and the cross are clipped to their boxes, which lie inside the regions, so
// that even at scales too small for any font no ink strays out of a region.
void DrawButtons(Canvas& c, const Scale& px, const Fonts& fonts) {
  using namespace menulayout;
  PixelRect regions[zindra::RegionCount];
  int smallest = 1 << 30;
  for (int i = 0; i < zindra::RegionCount; ++i) {
    regions[i] = zindra::RegionPixels(zindra::ClickMap[i], px.PixelsPerCm);
    smallest = std::min({smallest, regions[i].Width(), regions[i].Height()});
  }
  int inset = std::min(std::max(2, px(ButtonInset)), (smallest - 1) / 2);  // leaves every box a pixel
  int width = regions[zindra::PlayButton].Width() - 2 * inset;
  int height = 1 << 30;
  for (int i = 0; i < zindra::ButtonCount; ++i) height = std::min(height, regions[i].Height() - 2 * inset);
  Face label = LargestFontThatFits(fonts, LabelFaces, [&](XFontStruct* font, bool bold) {
    int widest = 0;
    for (const char* text : zindra::ButtonLabels)
      widest = std::max(widest, Canvas::TextWidth(font, bold, text));
    return widest + 2 <= width * LabelWidthPercent / 100 &&
           Canvas::TextHeight(font) + 2 <= height * LabelHeightPercent / 100;
  });
  XFontStruct* font = fonts[label.Font];
  for (int i = 0; i < zindra::ButtonCount; ++i) {
    PixelRect button = CentredIn(regions[i], width, height);
    DrawBevelBox(c, button, Buttons[i]);
    const char* text = zindra::ButtonLabels[i];
    PixelRect ink = CentredIn(button, Canvas::TextWidth(font, label.Bold, text), Canvas::TextHeight(font));
    int baseline = ink.Y0 + font->ascent;
    c.Clip(button);
    c.Text(font, label.Bold, ink.X0 + LabelShadowOffset, baseline + LabelShadowOffset, text,
           colour::InkShadow);
    c.Text(font, label.Bold, ink.X0, baseline, text, colour::Ink);
    c.Unclip();
  }

  // The close box: a red button with a cross.
  const PixelRect& region = regions[zindra::CloseBox];
  int side = std::min(region.Width(), region.Height()) - 2 * inset;
  PixelRect box = CentredIn(region, side, side);
  DrawBevelBox(c, box, CloseLook);
  int m = side / 4;
  int stroke = std::max(2, side / 8);
  c.Clip(box);
  c.Line(box.X0 + m, box.Y0 + m, box.X1 - m, box.Y1 - m, stroke, colour::Ink);
  c.Line(box.X1 - m, box.Y0 + m, box.X0 + m, box.Y1 - m, stroke, colour::Ink);
  c.Unclip();
}

void DrawMenu(Canvas& c, const Scale& px, const Fonts& fonts) {
  using namespace menulayout;
  DrawBackdrop(c, px, StarSeed);
  DrawCavern(c, px);

  PixelRect title =
      DrawTitle(c, fonts, Title, px(TitleCentreX), px(TitleTop), px(TitleMaxWidth), px(TitleMaxHeight));
  XFontStruct* small = fonts[px.Pick(Font10x20, Font7x13)];
  int baseline = title.Y1 + 1 + px(SubtitleGap) + small->ascent;
  int width = CentredText(c, small, true, px(TitleCentreX), baseline, Subtitle, colour::Subtitle);
  c.Fill(px(TitleCentreX) - width / 2, baseline + px(RuleGap), width, std::max(1, px(HairLine)),
         colour::Gold);
  c.Text(fonts[px.Pick(Font6x13, Font5x8)], false, px(FooterLeft), c.Height - px(FooterAboveBottom), Footer,
         colour::Faint);

  // The panel behind the buttons stops short of the picture's frame.
  PixelRect first = zindra::RegionPixels(zindra::ClickMap[zindra::PlayButton], px.PixelsPerCm);
  PixelRect last = zindra::RegionPixels(zindra::ClickMap[zindra::MoreGamesButton], px.PixelsPerCm);
  int pad = px(PanelPadding);
  PixelRect panel = {first.X0 - pad, first.Y0 - pad,
                     std::min(last.X1 + pad / 2, c.Width - 2 - FramePixels(px)), last.Y1 + pad};
  c.Fill(panel, colour::Panel);
  c.Frame(panel, std::max(1, px(HairLine)), colour::GoldDark);
  DrawButtons(c, px, fonts);
  DrawFrame(c, px);
}

void DrawInstructions(Canvas& c, const Scale& px, const Fonts& fonts) {
  using namespace ruleslayout;
  DrawBackdrop(c, px, StarSeed);
  PixelRect title =
      DrawTitle(c, fonts, Title, c.Width / 2, px(TitleTop), px(TitleMaxWidth), px(TitleMaxHeight));
  for (int side : {-1, 1}) {
    int x = c.Width / 2 + side * (title.Width() / 2 + px(TitleCrystalGap));
    DrawCrystal(c, x, title.Y1 + 1, title.Height() / 2, title.Height());
  }

  PixelRect panel = {px(PanelSide), title.Y1 + 1 + px(PanelGap), c.Width - 1 - px(PanelSide),
                     px(PanelBottom)};
  c.Fill(panel, colour::Parchment);
  c.Frame(panel, std::max(2, px(PanelEdge)), colour::ParchmentEdge);

  // Every line gets the same step; headings after the first get half a step
  // more above them. The font is the largest in which the widest line fits
  // and the lines are a little more than their height apart.
  int count = static_cast<int>(std::size(Lines));
  int gaps = static_cast<int>(
      std::count_if(Lines + 1, std::end(Lines), [](const Line& l) { return l.Kind == Heading; }));
  int margin = px(Margin);
  int indent = px(Indent);
  int room = (panel.Height() - 2 * margin) * 2 / (2 * count + gaps);
  Face face = LargestFontThatFits(fonts, TextFaces, [&](XFontStruct* font, bool) {
    int widest = 0;
    for (const Line& l : Lines) {
      widest = std::max(widest,
                        Canvas::TextWidth(font, l.Kind == Heading, l.Text) + (l.Kind == Bullet ? indent : 0));
    }
    int height = Canvas::TextHeight(font);
    return widest <= panel.Width() - 2 * margin && std::min(height * 2, room) >= height + 2;
  });
  XFontStruct* font = fonts[face.Font];
  int step = std::min(Canvas::TextHeight(font) * 2, room);
  int y = panel.Y0 + (panel.Height() - (count * step + gaps * step / 2)) / 2 + font->ascent;
  for (int i = 0; i < count; ++i) {
    const Line& l = Lines[i];
    bool heading = l.Kind == Heading;
    if (heading && i > 0) y += step / 2;
    int x = panel.X0 + margin;
    if (l.Kind == Bullet) {
      DrawCrystal(c, x + indent / 3, y, font->ascent * 3 / 4, font->ascent);
      x += indent;
    }
    c.Text(font, heading, x, y, l.Text, heading ? colour::Heading : colour::Text);
    if (heading) {
      c.Fill(x, y + font->descent, Canvas::TextWidth(font, true, l.Text), std::max(1, px(HairLine)),
             colour::ParchmentEdge);
    }
    y += step;
  }
  CentredText(c, fonts[px.Pick(Font9x15, Font6x10)], false, c.Width / 2, px(HintBaseline), Hint,
              colour::Subtitle);
  DrawFrame(c, px);
}

// Draws both pictures into dir; false if one could not be made.
bool WritePictures(Display* display, double scale, const std::string& dir) {
  Fonts fonts{};
  const Scale px = {scale};
  auto write = [&](const char* file, void (*draw)(Canvas&, const Scale&, const Fonts&)) {
    Canvas canvas(display, px(zindra::PictureWidthCm), px(zindra::PictureHeightCm));
    draw(canvas, px, fonts);
    std::string path = dir + "/" + file;
    int colours = 0;
    if (!canvas.Write(path, &colours)) return false;
    std::printf("%s: %dx%d pixels (%g px/cm), %d colours\n", path.c_str(), canvas.Width, canvas.Height, scale,
                colours);
    return true;
  };
  // Both pictures are attempted even when the first cannot be written.
  bool ok = LoadFonts(display, fonts) &&
            (write("menu.xpm", DrawMenu) & write("instructions.xpm", DrawInstructions));
  for (XFontStruct* font : fonts) {
    if (font) XFreeFont(display, font);
  }
  return ok;
}

void Usage() {
  std::fprintf(stderr,
               "usage: zindra-pictures [--scale PIXELS_PER_CM] [OUTPUT_DIRECTORY]\n"
               "Writes menu.xpm and instructions.xpm (15 x 12 cm each) into the directory\n"
               "(default: the current one). The scale defaults to floor(display width / 29).\n");
}

}  // namespace

int main(int argc, char** argv) {
  double scale = 0;
  std::string dir = ".";
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if ((arg == "--scale" || arg == "-s") && i + 1 < argc) {
      char* end = nullptr;
      scale = std::strtod(argv[++i], &end);
      if (!end || *end != '\0' || scale < 4 || scale > 400) {
        std::fprintf(stderr, "zindra-pictures: bad scale %s\n", argv[i]);
        return 2;
      }
    } else if (arg == "-h" || arg == "--help") {
      Usage();
      return 0;
    } else if (!arg.empty() && arg[0] == '-') {
      Usage();
      return 2;
    } else {
      dir = arg;
    }
  }

  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "zindra-pictures: cannot open display %s\n", XDisplayName(nullptr));
    return 1;
  }
  if (scale == 0) {
    scale = std::floor(static_cast<float>(DisplayWidth(display, DefaultScreen(display)) / 29.0));
    if (scale < 1) scale = 1;
  }
  bool ok = WritePictures(display, scale, dir);
  XCloseDisplay(display);
  return ok ? 0 : 1;
}
