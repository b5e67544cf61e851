// The runtime: the display and its scale, the palette, and what every
// drawing call shares for the life of the display (see runtime.h).
#include "runtime.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <vector>

#include "units.h"

// ---------------------------------------------------------------------------
// Process-wide state
// ---------------------------------------------------------------------------

int ScreenNbr;
float PixelsPerCentimeter;
Display* display;
unsigned long ColorTable[MaxColors];
unsigned long ButtonColorTable[NbrButtonColors];

const char* ColorName[MaxColors] = {"black", "white",   "red1",  "green1",
                                    "blue1", "yellow1", "cyan1", "magenta1"};
const char* SecondChoiceColors[MaxColors] = {"black", "white",   "red2",  "green2",
                                             "blue2", "yellow2", "cyan2", "magenta2"};
const char* ButtonColorName[NbrButtonColors] = {"gray85", "gray92", "gray41"};
const char* SecondChoiceButtonColors[NbrButtonColors] = {"gray86", "gray93", "gray42"};

namespace {
slate::Runtime* KeptResources = nullptr;

// libX11 cannot free a very large number of colours in one request: they
// go back in batches.
constexpr size_t ColorsFreedAtOnce = 4096;
}  // namespace

void slate::OpenDisplay() {
  display = XOpenDisplay(nullptr);
  if (!display) {
    // A failure, not a success: the program ends with status 1.
    std::cerr << "ERROR opening display [" << XDisplayName(nullptr) << "]\n";
    exit(1);
  }
  ScreenNbr = DefaultScreen(display);
  PixelsPerCentimeter = ScaleOf(DisplayWidth(display, ScreenNbr));
}

void slate::KeepResources() {
  KeptResources = new Runtime();
}

namespace {

// The steps run before and after the display closes. Made on first use and
// never destroyed: the display closes as the last globals are destroyed.
std::vector<void (*)()>& Steps(bool afterwards) {
  static auto* before = new std::vector<void (*)()>;
  static auto* after = new std::vector<void (*)()>;
  return afterwards ? *after : *before;
}

}  // namespace

void slate::OnClose(void (*release)(), bool afterwards) {
  Steps(afterwards).push_back(release);
}

void slate::CloseDisplay() {
  const std::vector<void (*)()>& before = Steps(false);
  for (auto step = before.rbegin(); step != before.rend(); ++step) (*step)();
  delete KeptResources;
  KeptResources = nullptr;
  XCloseDisplay(display);
  // Objects destroyed after this one find no connection to use.
  display = nullptr;
  for (auto step : Steps(true)) step();
}

slate::Runtime* slate::Kept() {
  return KeptResources;
}

int WindowManager::InitializeColors(const char** names, const char** fallbacks, unsigned long* table,
                                    int count) {
  Colormap colormap = DefaultColormap(display, ScreenNbr);
  for (int i = 0; i < count; ++i) {
    XColor screen, exact;
    if (XAllocNamedColor(display, colormap, names[i], &screen, &exact) ||
        XAllocNamedColor(display, colormap, fallbacks[i], &screen, &exact)) {
      table[i] = screen.pixel;
      continue;
    }
    std::cerr << "In function: WindowManager\n"
              << "\tFailed to find a color match for colors: " << names[i] << " and " << fallbacks[i]
              << ".\n\tClose down any applications that might be using\n\t"
              << "these colors and try again.\n";
    return 0;
  }
  return 1;
}

// ---------------------------------------------------------------------------
// What every drawing call shares
// ---------------------------------------------------------------------------

slate::Runtime::Runtime() {
  // The contexts every drawing call of every window uses: drawables of the
  // screen's depth share them, window and backing pixmap alike.
  Window root = RootWindow(display, ScreenNbr);
  PaintGC = GetGraphicsContext(root, ColorTable[Black], ColorTable[White]);
  LineGC = GetGraphicsContext(root, ColorTable[Black], ColorTable[Black]);
  PaintValues.Foreground = LineValues.Foreground = LineValues.Background = ColorTable[Black];
  PaintValues.Background = ColorTable[White];
  // Copies come from pixmaps, which are never obscured: the NoExpose event
  // the server would send for each copy tells nothing, and would pile up
  // in the queue while ApiMain runs.
  XSetGraphicsExposures(display, PaintGC, False);
  // Render 0.10 has what pictures at a size and colours with an alpha
  // need: transforms, filters and solid colours.
  int event, error, major = 0, minor = 0;
  Visual* visual = DefaultVisual(display, ScreenNbr);
  HasRender = XRenderQueryExtension(display, &event, &error) &&
              XRenderQueryVersion(display, &major, &minor) && (major > 0 || minor >= 10) &&
              XRenderFindVisualFormat(display, visual) &&
              XRenderFindStandardFormat(display, PictStandardARGB32) &&
              XRenderFindStandardFormat(display, PictStandardA8) &&
              XRenderFindStandardFormat(display, PictStandardA1);
  CanBlend = HasRender && (visual->c_class == TrueColor || visual->c_class == DirectColor);
  ProtocolsAtom = XInternAtom(display, "WM_PROTOCOLS", False);
  DeleteWindowAtom = XInternAtom(display, "WM_DELETE_WINDOW", False);
}

slate::Runtime::~Runtime() {
  std::vector<unsigned long> pixels;
  for (const auto& allocated : RGBValues) pixels.push_back(allocated.second);
  Colormap colormap = DefaultColormap(display, ScreenNbr);
  for (size_t first = 0; first < pixels.size(); first += ColorsFreedAtOnce) {
    size_t count = std::min(ColorsFreedAtOnce, pixels.size() - first);
    XFreeColors(display, colormap, pixels.data() + first, static_cast<int>(count), 0);
  }
  for (auto font = Fonts.rbegin(); font != Fonts.rend(); ++font) XFreeFont(display, font->second);
  XFreeGC(display, LineGC);
  XFreeGC(display, PaintGC);
}

void slate::Runtime::Set(GC gc, Values& now, const Values& wanted) {
  if (wanted.Foreground != now.Foreground) XSetForeground(display, gc, wanted.Foreground);
  if (wanted.Background != now.Background) XSetBackground(display, gc, wanted.Background);
  if (wanted.Width != now.Width || wanted.Style != now.Style || wanted.Cap != now.Cap ||
      wanted.Join != now.Join)
    XSetLineAttributes(display, gc, static_cast<unsigned int>(wanted.Width), wanted.Style, wanted.Cap,
                       wanted.Join);
  if (wanted.CoreFont && wanted.CoreFont != now.CoreFont) XSetFont(display, gc, wanted.CoreFont);
  ::Font font = wanted.CoreFont ? wanted.CoreFont : now.CoreFont;
  now = wanted;
  now.CoreFont = font;
}

GC slate::Runtime::Paint(unsigned long foreground, unsigned long background) {
  return Paint(foreground, background, nullptr);
}

GC slate::Runtime::Paint(unsigned long foreground, unsigned long background, XFontStruct* font) {
  Values wanted = PaintValues;
  wanted.Foreground = foreground;
  wanted.Background = background;
  wanted.CoreFont = font ? font->fid : 0;
  Set(PaintGC, PaintValues, wanted);
  return PaintGC;
}

GC slate::Runtime::Line(unsigned long colour, int width) {
  // With foreground and background equal, the double-dash style paints the
  // dashes and the gaps alike: a solid line with round ends.
  Set(LineGC, LineValues, {colour, colour, width, LineDoubleDash, CapRound, JoinRound, 0});
  return LineGC;
}

GC slate::Runtime::Outline(unsigned long colour, int width) {
  Values wanted = LineValues;
  wanted.Foreground = colour;
  wanted.Width = width;
  wanted.Style = LineSolid;
  wanted.Cap = CapButt;
  wanted.Join = JoinMiter;
  Set(LineGC, LineValues, wanted);
  return LineGC;
}

XFontStruct* slate::Runtime::Font(const std::string& name) {
  // Only a font that loaded is kept; a missing one is asked for again.
  auto kept = Fonts.find(name);
  if (kept != Fonts.end()) return kept->second;
  XFontStruct* font = XLoadQueryFont(display, name.c_str());
  if (font) Fonts.emplace(name, font);
  return font;
}

bool slate::Runtime::IsCloseRequest(const XClientMessageEvent& event) const {
  return event.message_type == ProtocolsAtom && static_cast<Atom>(event.data.l[0]) == DeleteWindowAtom &&
         event.format == DeleteWindowFormat;
}

// ---------------------------------------------------------------------------
// Colours
// ---------------------------------------------------------------------------

unsigned long slate::PaletteColor(color c) {
  int index = static_cast<int>(c);
  if (index >= 0 && index < MaxColors) return ColorTable[index];
  return KeptResources ? KeptResources->RGBPixel(c) : ColorTable[Black];
}

color RGBColor(int red, int green, int blue) {
  return KeptResources ? KeptResources->AllocateColor(red, green, blue) : Black;
}

color slate::Runtime::AllocateColor(int red, int green, int blue) {
  red = std::clamp(red, 0, 255);
  green = std::clamp(green, 0, 255);
  blue = std::clamp(blue, 0, 255);
  color value = static_cast<color>(RGBColorBase + (red << 16) + (green << 8) + blue);
  if (RGBValues.count(value)) return value;
  // 0..255 to X's 0..65535: 255 * 257 is 65535.
  XColor wanted{};
  wanted.red = static_cast<unsigned short>(red * 257);
  wanted.green = static_cast<unsigned short>(green * 257);
  wanted.blue = static_cast<unsigned short>(blue * 257);
  wanted.flags = DoRed | DoGreen | DoBlue;
  if (!XAllocColor(display, DefaultColormap(display, ScreenNbr), &wanted)) return Black;
  RGBValues.emplace(value, wanted.pixel);
  return value;
}

unsigned long slate::Runtime::RGBPixel(color c) const {
  int index = static_cast<int>(c) - TranslucentBase;
  if (index >= 0 && index < static_cast<int>(Translucents.size())) c = Translucents[index].Opaque;
  auto found = RGBValues.find(c);
  return found != RGBValues.end() ? found->second : ColorTable[Black];
}

color RGBColor(int red, int green, int blue, int alpha) {
  return KeptResources ? KeptResources->AllocateColor(red, green, blue, alpha) : Black;
}

color slate::Runtime::AllocateColor(int red, int green, int blue, int alpha) {
  alpha = std::clamp(alpha, 0, 255);
  color opaque = AllocateColor(red, green, blue);
  if (alpha == 255) return opaque;
  red = std::clamp(red, 0, 255);
  green = std::clamp(green, 0, 255);
  blue = std::clamp(blue, 0, 255);
  unsigned int parts = static_cast<unsigned int>(red << 24 | green << 16 | blue << 8 | alpha);
  auto found = TranslucentIndex.find(parts);
  if (found != TranslucentIndex.end()) return static_cast<color>(TranslucentBase + found->second);
  if (Translucents.size() >= static_cast<size_t>(MostTranslucent)) return Black;
  Translucents.push_back({red, green, blue, alpha, opaque});
  int index = static_cast<int>(Translucents.size()) - 1;
  TranslucentIndex.emplace(parts, index);
  return static_cast<color>(TranslucentBase + index);
}

slate::Ink slate::Runtime::InkOf(color c) {
  Ink ink(PaletteColor(c));
  int value = static_cast<int>(c);
  int red, green, blue, alpha = 255;
  int index = value - TranslucentBase;
  if (index >= 0 && index < static_cast<int>(Translucents.size())) {
    const Translucent& t = Translucents[index];
    red = t.Red, green = t.Green, blue = t.Blue, alpha = t.Alpha;
  } else if (value >= RGBColorBase && value < TranslucentBase && RGBValues.count(c)) {
    red = value >> 16 & 0xff, green = value >> 8 & 0xff, blue = value & 0xff;
  } else {
    // A palette colour (or none: black) has the parts the colormap gives its pixel.
    auto known = PixelParts.find(ink.Pixel);
    if (known == PixelParts.end()) {
      XColor parts;
      parts.pixel = ink.Pixel;
      XQueryColor(display, DefaultColormap(display, ScreenNbr), &parts);
      known = PixelParts.emplace(ink.Pixel, XRenderColor{parts.red, parts.green, parts.blue, 0xffff}).first;
    }
    ink.Colour = known->second;
    return ink;
  }
  // 16 bits a part, each times alpha: Render blends premultiplied colours.
  auto times = [alpha](int part) { return static_cast<unsigned short>(part * 257 * alpha / 255); };
  ink.Colour = {times(red), times(green), times(blue), static_cast<unsigned short>(alpha * 257)};
  if (alpha == 255) return ink;
  if (CanBlend) {
    ink.Blended = true;
  } else {
    ReportNoBlending();
    ink.Shown = alpha >= 128;
    ink.Colour = {static_cast<unsigned short>(red * 257), static_cast<unsigned short>(green * 257),
                  static_cast<unsigned short>(blue * 257), 0xffff};
  }
  return ink;
}

slate::Ink slate::InkOf(color c) {
  return KeptResources ? KeptResources->InkOf(c) : Ink(ColorTable[Black]);
}

void slate::ReportNoBlending() {
  static bool reported = false;
  if (reported || !KeptResources || KeptResources->Blends()) return;
  reported = true;
  if (!KeptResources->Renders())
    std::cerr << "The X server has no Render extension: pictures are drawn at their size in pixels, "
                 "shapes aliased, and colours with an alpha opaque, or not at all when less than half "
                 "opaque.\n";
  else
    std::cerr << "The X server cannot blend on this screen: shapes are drawn aliased, and colours with "
                 "an alpha opaque, or not at all when less than half opaque.\n";
}

GC GetGraphicsContext(unsigned long drawable, unsigned long foreground, unsigned long background) {
  XGCValues values;
  values.foreground = foreground;
  values.background = background;
  return XCreateGC(display, drawable, GCForeground | GCBackground, &values);
}
