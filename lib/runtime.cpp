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
  auto found = RGBValues.find(c);
  return found != RGBValues.end() ? found->second : ColorTable[Black];
}

GC GetGraphicsContext(unsigned long drawable, unsigned long foreground, unsigned long background) {
  XGCValues values;
  values.foreground = foreground;
  values.background = background;
  return XCreateGC(display, drawable, GCForeground | GCBackground, &values);
}
