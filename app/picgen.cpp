// zindra-pictures: draws the two pictures of the ZINDRA menu, menu.xpm and
// instructions.xpm (15 x 12 cm each), at a given scale as XPM files.
//
//   zindra-pictures [--scale PIXELS_PER_CM] [OUTPUT_DIRECTORY]
//
// The scale defaults to the menu's own on the current display, floor(display
// width / 29) px/cm. The menu's buttons are drawn inside their click regions,
// and every text is sized in centimetres, or from the box it fills, so that
// the pictures look the same at every scale. It needs a display to draw on,
// with the RENDER extension, and the fonts of Debian's fonts-dejavu-core.
#include <X11/Xlib.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
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
using zindra::Coverage;
using zindra::Lettering;
using zindra::PixelRect;

// Every colour of both pictures, which keeps their colour count small. Text
// edges add blends of these.
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

// Layout shared by both pictures, in cm.
constexpr int StarCount = 140;
constexpr double StarSize = 0.03, HairLine = 0.03;  // a hair line: rules under text, the panel's outline
constexpr double FrameThickness = 0.12;             // the gold frame around the picture
constexpr zindra::Typeface TitleFace = zindra::SerifBold;  // a book title's serifs for the game's name
// The title's dark rim and drop shadow, as shares of its size.
constexpr double TitleRim = 0.035, TitleDrop = 0.06;
// The height of a capital in DejaVu Sans, as a share of the size: for
// placing lines of text by their capitals.
constexpr double CapHeight = 0.73;
// Sizes are measured at this many pixels, then scaled to the size wanted.
constexpr double MeasuringSize = 100;

// Pixels of a layout length in centimetres.
struct Scale {
  double PixelsPerCm;
  int operator()(double cm) const { return zindra::CmToPixel(cm, PixelsPerCm); }
  // A text size in pixels, fractions kept, so that text scales smoothly.
  double Size(double cm) const { return cm * PixelsPerCm; }
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
constexpr double TitleCentreX = 5.9, TitleTop = 2.6, TitleMaxWidth = 7.2, TitleMaxHeight = 2.0;
constexpr const char* Subtitle = "THE CRYSTAL CAVERNS";
constexpr double SubtitleSize = 0.34;
constexpr double SubtitleGap = 0.6;  // from the title's shadow to the subtitle
constexpr double RuleGap = 0.3;      // from the subtitle to its rule
constexpr const char* Footer = "v1.0   ZINDRA GAMES";
constexpr double FooterSize = 0.26, FooterLeft = 0.5, FooterAboveBottom = 0.45;
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
// Every label is drawn at one size: its capitals take LabelHeight of the
// button's height, unless the widest label would then take more than
// LabelWidth of the button's face. The face is narrowed so that the longest
// label fits at nearly the height the others have.
constexpr double LabelHeight = 0.45, LabelWidth = 0.9, LabelNarrow = 0.75;
constexpr double LabelShadow = 0.07;  // the shadow's offset, as a share of the capitals' height
}  // namespace menulayout

// The instructions picture, in cm: a title between two crystals and the
// rules on a parchment.
namespace ruleslayout {
constexpr unsigned StarSeed = 11;
constexpr const char* Title = "HOW TO PLAY";
constexpr double TitleTop = 0.55, TitleMaxWidth = 8.6, TitleMaxHeight = 1.5, TitleCrystalGap = 0.8;
constexpr double PanelSide = 0.9, PanelGap = 0.5, PanelBottom = 11.0, PanelEdge = 0.04;
constexpr double Margin = 0.45;  // inside the parchment
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
// The text's size is the largest at which the widest line fits the parchment
// and the lines are at least LineStep sizes apart; they are spread up to
// LineStepMost sizes apart. A bullet's text is indented by Indent sizes.
constexpr double LineStep = 1.45, LineStepMost = 1.9, Indent = 1.6;
constexpr const char* Hint = "Close this window to return to the menu.";
constexpr double HintSize = 0.28, HintTop = 11.36;
}  // namespace ruleslayout

// A rectangle of width x height centred in r.
PixelRect CentredIn(const PixelRect& r, int width, int height) {
  int x = r.X0 + (r.Width() - width) / 2;
  int y = r.Y0 + (r.Height() - height) / 2;
  return {x, y, x + width - 1, y + height - 1};
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

// Text whose ink is centred on centreX with its top at top; returns the ink's box.
PixelRect CentredText(Canvas& c, const Lettering& lettering, int centreX, int top, const std::string& text,
                      const char* colour) {
  Coverage coverage = c.Render(lettering, text);
  PixelRect ink = coverage.Ink();
  int x = centreX - ink.Width() / 2 - ink.X0, y = top - ink.Y0;
  c.Paint(coverage, x, y, colour);
  return ink.Moved(x, y);
}

// Large lettering, centred on centreX below top, as large as fits maxWidth x
// maxHeight: a drop shadow, a dark rim and a two-tone gold face. Returns the
// face's box.
PixelRect DrawTitle(Canvas& c, const std::string& text, int centreX, int top, int maxWidth, int maxHeight) {
  PixelRect measured = c.Render({TitleFace, MeasuringSize}, text).Ink();
  if (measured.Width() == 0) return {centreX, top, centreX - 1, top - 1};
  double size =
      MeasuringSize * std::min(double(maxWidth) / measured.Width(), double(maxHeight) / measured.Height());
  Coverage face = c.Render({TitleFace, size}, text);
  PixelRect ink = face.Ink();
  int rim = std::max(1, static_cast<int>(std::lround(size * TitleRim)));
  int drop = std::max(2, static_cast<int>(std::lround(size * TitleDrop)));
  Coverage outline = face.Grown(rim);
  int x = centreX - ink.Width() / 2 - ink.X0, y = top - ink.Y0;
  c.Paint(outline, x - rim + drop, y - rim + drop, colour::TitleShadow);
  c.Paint(outline, x - rim, y - rim, colour::GoldDark);
  int middle = (ink.Y0 + ink.Y1 + 1) / 2;
  c.Paint(face, x, y, colour::GoldLight, 0, middle);
  c.Paint(face, x, y, colour::Gold, middle);
  return ink.Moved(x, y);
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

int BevelPixels(const PixelRect& r) {
  return std::max(2, std::min(r.Width(), r.Height()) / 12);
}

// A raised button with a bevel, filling r.
void DrawBevelBox(Canvas& c, const PixelRect& r, const ButtonLook& look) {
  int bevel = BevelPixels(r);
  c.Fill(r, look.Dark);
  c.Fill(r.X0, r.Y0, r.Width() - bevel, r.Height() - bevel, look.Light);
  c.Fill(r.X0 + bevel, r.Y0 + bevel, r.Width() - 2 * bevel, r.Height() - 2 * bevel, look.Front);
  c.Frame(r, 1, colour::InkShadow);
}

// The labels' size: their capitals (the tallest ink of all labels) take
// LabelHeight of the buttons' height, or less if the widest would not fit
// LabelWidth of the face.
double LabelSize(Canvas& c, int buttonWidth, int buttonHeight) {
  using namespace menulayout;
  int tallest = 1, widest = 1;
  for (const char* text : zindra::ButtonLabels) {
    PixelRect ink = c.Render({zindra::SansBold, MeasuringSize, LabelNarrow}, text).Ink();
    tallest = std::max(tallest, ink.Height());
    widest = std::max(widest, ink.Width());
  }
  int face = buttonWidth - 2 * BevelPixels({0, 0, buttonWidth - 1, buttonHeight - 1});
  return MeasuringSize * std::min(LabelHeight * buttonHeight / tallest, LabelWidth * face / widest);
}

// The five buttons, each centred in its click region with its label centred
// on it; then the close box. Labels and the cross are clipped to their
// boxes, which lie inside the regions, so that even at scales too small for
// legible text no ink strays out of a region. Returns a line per label with
// the share of its button's height it fills.
std::string DrawButtons(Canvas& c, const Scale& px) {
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
  Lettering label = {zindra::SansBold, LabelSize(c, width, height), LabelNarrow};
  std::string shares;
  for (int i = 0; i < zindra::ButtonCount; ++i) {
    PixelRect button = CentredIn(regions[i], width, height);
    DrawBevelBox(c, button, Buttons[i]);
    const char* text = zindra::ButtonLabels[i];
    Coverage coverage = c.Render(label, text);
    PixelRect ink = coverage.Ink();
    PixelRect place = CentredIn(button, ink.Width(), ink.Height());
    int x = place.X0 - ink.X0, y = place.Y0 - ink.Y0;
    int shadow = std::max(1, static_cast<int>(std::lround(ink.Height() * LabelShadow)));
    c.Clip(button);
    c.Paint(coverage, x + shadow, y + shadow, colour::InkShadow);
    c.Paint(coverage, x, y, colour::Ink);
    c.Unclip();
    char line[120];
    std::snprintf(line, sizeof line, "  %-12s label %3d px high in a %d-px button: %.0f%%\n", text,
                  ink.Height(), height, 100.0 * ink.Height() / height);
    shares += line;
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
  return shares;
}

std::string DrawMenu(Canvas& c, const Scale& px) {
  using namespace menulayout;
  DrawBackdrop(c, px, StarSeed);
  DrawCavern(c, px);

  PixelRect title =
      DrawTitle(c, Title, px(TitleCentreX), px(TitleTop), px(TitleMaxWidth), px(TitleMaxHeight));
  PixelRect subtitle = CentredText(c, {zindra::SansBold, px.Size(SubtitleSize)}, px(TitleCentreX),
                                   title.Y1 + 1 + px(SubtitleGap), Subtitle, colour::Subtitle);
  c.Fill(subtitle.X0, subtitle.Y1 + 1 + px(RuleGap), subtitle.Width(), std::max(1, px(HairLine)),
         colour::Gold);
  c.Text({zindra::Sans, px.Size(FooterSize)}, px(FooterLeft), c.Height - px(FooterAboveBottom), Footer,
         colour::Faint);

  // The panel behind the buttons stops short of the picture's frame.
  PixelRect first = zindra::RegionPixels(zindra::ClickMap[zindra::PlayButton], px.PixelsPerCm);
  PixelRect last = zindra::RegionPixels(zindra::ClickMap[zindra::MoreGamesButton], px.PixelsPerCm);
  int pad = px(PanelPadding);
  PixelRect panel = {first.X0 - pad, first.Y0 - pad,
                     std::min(last.X1 + pad / 2, c.Width - 2 - FramePixels(px)), last.Y1 + pad};
  c.Fill(panel, colour::Panel);
  c.Frame(panel, std::max(1, px(HairLine)), colour::GoldDark);
  std::string shares = DrawButtons(c, px);
  DrawFrame(c, px);
  return shares;
}

std::string DrawInstructions(Canvas& c, const Scale& px) {
  using namespace ruleslayout;
  DrawBackdrop(c, px, StarSeed);
  PixelRect title = DrawTitle(c, Title, c.Width / 2, px(TitleTop), px(TitleMaxWidth), px(TitleMaxHeight));
  for (int side : {-1, 1}) {
    int x = c.Width / 2 + side * (title.Width() / 2 + px(TitleCrystalGap));
    DrawCrystal(c, x, title.Y1 + 1, title.Height() / 2, title.Height());
  }

  PixelRect panel = {px(PanelSide), title.Y1 + 1 + px(PanelGap), c.Width - 1 - px(PanelSide),
                     px(PanelBottom)};
  c.Fill(panel, colour::Parchment);
  c.Frame(panel, std::max(2, px(PanelEdge)), colour::ParchmentEdge);

  // Every line gets the same step; headings after the first get half a step
  // more above them.
  int count = static_cast<int>(std::size(Lines));
  int gaps = static_cast<int>(
      std::count_if(Lines + 1, std::end(Lines), [](const Line& l) { return l.Kind == Heading; }));
  int margin = px(Margin);
  int room = panel.Width() - 2 * margin;
  double perLine = (panel.Height() - 2.0 * margin) * 2 / (2 * count + gaps);
  auto face = [](const Line& l) { return l.Kind == Heading ? zindra::SansBold : zindra::Sans; };
  auto widest = [&](double size) {
    int most = 0;
    for (const Line& l : Lines)
      most =
          std::max(most, c.TextWidth({face(l), size}, l.Text) + (l.Kind == Bullet ? int(Indent * size) : 0));
    return most;
  };
  double size = std::min(MeasuringSize * room / widest(MeasuringSize), perLine / LineStep);
  while (size > 1 && widest(size) > room) size *= 0.98;  // widths do not quite scale with the size
  double step = std::min(perLine, size * LineStepMost);
  int capital = static_cast<int>(std::lround(size * CapHeight));
  double top = panel.Y0 + (panel.Height() - (count + gaps / 2.0) * step) / 2;
  for (int i = 0; i < count; ++i) {
    const Line& l = Lines[i];
    bool heading = l.Kind == Heading;
    if (heading && i > 0) top += step / 2;
    int baseline = static_cast<int>(std::lround(top + (step + capital) / 2));
    int x = panel.X0 + margin;
    if (l.Kind == Bullet) {
      int height = capital * 11 / 10;
      DrawCrystal(c, x + static_cast<int>(Indent * size / 3), baseline, height * 3 / 4, height);
      x += static_cast<int>(Indent * size);
    }
    PixelRect ink = c.Text({face(l), size}, x, baseline, l.Text, heading ? colour::Heading : colour::Text);
    if (heading) {
      c.Fill(ink.X0, baseline + std::max(2, static_cast<int>(std::lround(size * 0.2))), ink.Width(),
             std::max(1, px(HairLine)), colour::ParchmentEdge);
    }
    top += step;
  }
  CentredText(c, {zindra::Sans, px.Size(HintSize)}, c.Width / 2, px(HintTop), Hint, colour::Subtitle);
  DrawFrame(c, px);
  return "";
}

// Draws both pictures into dir; false if one could not be made.
bool WritePictures(Display* display, const zindra::FontFiles& fonts, double scale, const std::string& dir) {
  const Scale px = {scale};
  auto write = [&](const char* file, std::string (*draw)(Canvas&, const Scale&)) {
    Canvas canvas(display, fonts, px(zindra::PictureWidthCm), px(zindra::PictureHeightCm));
    std::string notes = draw(canvas, px);
    std::string path = dir + "/" + file;
    int colours = 0;
    if (!canvas.Write(path, &colours)) return false;
    std::printf("%s: %dx%d pixels (%g px/cm), %d colours\n%s", path.c_str(), canvas.Width, canvas.Height,
                scale, colours, notes.c_str());
    return true;
  };
  // Both pictures are attempted even when the first cannot be written.
  return write("menu.xpm", DrawMenu) & write("instructions.xpm", DrawInstructions);
}

// Draws both pictures on the display the environment names, at its own
// scale when scale is 0; false if it cannot.
bool DrawOnDisplay(const zindra::FontFiles& fonts, double scale, const std::string& dir) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "zindra-pictures: cannot open display %s\n", XDisplayName(nullptr));
    return false;
  }
  bool ok = false;
  if (!XftDefaultHasRender(display)) {
    std::fprintf(stderr,
                 "zindra-pictures: the X server lacks the RENDER extension, which drawing text needs\n");
  } else {
    if (scale == 0) {
      scale = std::floor(static_cast<float>(DisplayWidth(display, DefaultScreen(display)) / 29.0));
      if (scale < 1) scale = 1;
    }
    ok = WritePictures(display, fonts, scale, dir);
  }
  XCloseDisplay(display);
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

  zindra::FontFiles fonts;
  bool ok = fonts.Find() && DrawOnDisplay(fonts, scale, dir);
  FcFini();  // fontconfig's caches, once Xft has closed its fonts with the display
  return ok ? 0 : 1;
}
