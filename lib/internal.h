// What the library's units share and applications do not see: the palette
// guard, the 16-bit clamps of the X protocol, owners for resources that live
// for one call, the "say why, then shut down" step, and what the event
// dispatch reads from key and pointer events.
#ifndef SLATE_LIB_INTERNAL_H
#define SLATE_LIB_INTERNAL_H

// X's headers come first: the public header then declares its calls in
// X's own types too.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/xpm.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "slate.h"

struct _XftFont;  // XftFont, declared here so that every unit names the same type

namespace slate {

class TextCache;  // scalable text's faces, targets and colours (lib/Text.cpp)

// What the runtime keeps for the life of the display: the contexts every
// drawing call uses, the window font once it has loaded, the colours
// RGBColor allocated, and what scalable text opened. Released, in the
// reverse order of their creation, before the display closes.
class Runtime {
 public:
  Runtime();  // the contexts, on the default screen's root window
  ~Runtime();
  Runtime(const Runtime&) = delete;
  Runtime& operator=(const Runtime&) = delete;

  GC Paint(unsigned long foreground, unsigned long background);  // fills, text and copies
  GC Line(unsigned long colour, int width);                      // lines of a width, round ends
  GC Outline(unsigned long colour, int width);                   // outlines of a width, sharp corners
  XFontStruct* Font(const std::string& name);  // a core font, loaded on first use; null while it is missing
  color AllocateColor(int red, int green, int blue);  // RGBColor's work
  unsigned long RGBPixel(color c) const;              // pixel of a colour from RGBColor; black for others
  TextCache& Text();                                  // made on first use (lib/Text.cpp)
  void ReleaseText();                                 // frees it; the destructor calls it first

 private:
  GC PaintGC;
  GC LineGC;
  std::map<std::string, XFontStruct*> Fonts;  // the fonts that loaded, by name
  std::map<int, unsigned long> RGBValues;     // RGBColor's value to its pixel
  TextCache* TextKept = nullptr;
};

// The runtime's kept resources; null before the palette is allocated and
// after the display has closed.
Runtime* Kept();

// Defined with the library's main (lib/main.cpp), and for programs with a
// main of their own by lib/OwnMain.cpp.
extern const int EntryPoint;

// Values of RGBColor: this base plus 0xRRGGBB, clear of the palette's indices.
constexpr int RGBColorBase = 0x1000000;

// Pixel value of a colour: a palette entry or a colour from RGBColor; any
// other value draws in black rather than reading past the table.
inline unsigned long PaletteColor(color c) {
  int index = static_cast<int>(c);
  if (index >= 0 && index < MaxColors) return ColorTable[index];
  return Kept() ? Kept()->RGBPixel(c) : ColorTable[Black];
}

// A wide intermediate result brought back into int, saturating.
inline int ToInt(long long v) {
  return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX));
}

// X coordinates travel as 16-bit signed values, sizes as 16-bit unsigned.
inline short ToShort(long v) {
  return static_cast<short>(std::clamp<long>(v, SHRT_MIN, SHRT_MAX));
}
inline unsigned short ToSize(long v) {
  return static_cast<unsigned short>(std::clamp<long>(v, 0, USHRT_MAX));
}

// The most bytes one request can carry after a header of headerBytes: what
// the server takes less the header, and less the longer length field of a
// big request when the server has them.
inline long RequestRoom(long headerBytes) {
  long words = XExtendedMaxRequestSize(display);
  if (words != 0) return words * 4 - headerBytes - 4;
  return XMaxRequestSize(display) * 4 - headerBytes;
}
// Header sizes of the requests whose length the program's data decides.
constexpr long ChangePropertyHeader = 24;
constexpr long FillPolyHeader = 16;
constexpr long PolyLineHeader = 12;
constexpr long PointBytes = 4;  // a point of a request: x and y, 16 bits each

// The width in pixels of length characters of text in font, however many.
long long TextWidth(XFontStruct* font, const char* text, size_t length);
// Text on its band, with (x, y) the left end of its baseline, as far as it
// can show on a drawable; gc carries the font.
void DrawImageText(Drawable target, GC gc, XFontStruct* font, long long x, long long y, const char* text,
                   size_t length);

// Writes message to stream and asks every window to close: the response to
// a condition the library cannot go on from.
inline void ShutDown(std::ostream& stream, const std::string& message) {
  stream << message << std::flush;
  Terminate();
}

inline void FreeGC(GC gc) {
  XFreeGC(display, gc);
}
inline void FreeFont(XFontStruct* font) {
  XFreeFont(display, font);
}
inline void FreePixmap(Pixmap pixmap) {
  XFreePixmap(display, pixmap);
}
inline void CloseFd(int fd) {
  close(fd);
}

// One route for every event, whichever loop took it: the window it belongs
// to is looked up once, the filter decides, and the handler of its type
// runs. Gives the handler's result (1 handled, 2 not handled, 0 when the
// last window has just closed); 2 for an event of no registered window or
// one the filter drops.
int Route(XEvent& event);

// The handlers of the event types, one small function each, and the table
// DispatchMessage reads them from. Friends of the runtime and of windows.
struct Dispatch {
  using Handler = int (*)(XEvent& event, SimpleWindow& window);
  static Handler For(int type);  // null for a type nothing handles
  static int ButtonPressed(XEvent& event, SimpleWindow& window);
  static int ButtonReleased(XEvent& event, SimpleWindow& window);
  static int PointerMoved(XEvent& event, SimpleWindow& window);
  static int KeyPressed(XEvent& event, SimpleWindow& window);
  static int KeyReleased(XEvent& event, SimpleWindow& window);
  static int Exposed(XEvent& event, SimpleWindow& window);
  static int Destroyed(XEvent& event, SimpleWindow& window);
  static void MarkGone(XEvent& event, SimpleWindow& window);  // a destruction by the server, noted at once
  static int Configured(XEvent& event, SimpleWindow& window);
  static int Reparented(XEvent& event, SimpleWindow& window);
  static int CloseRequest(XEvent& event, SimpleWindow& window);
  // An X error about an open window that another client has destroyed (the
  // window is marked gone) or about its backing pixmap: true when it is one.
  static bool Gone(const XErrorEvent& error);
};

// X errors. The handler installed with the display answers errors about
// the library's own windows that have gone (see Dispatch::Gone, Closed) and
// those a Refusals waits for; every other error goes to the handler
// installed before it.
void CatchErrors();
// A window and its backing pixmap have just been destroyed and freed (or a
// Render picture made on a window, for a moment, freed): errors of the
// requests sent about them until now are forgiven.
void Closed(unsigned long window, unsigned long pixmap);
// While alive, any error of the requests sent since its making is taken as
// the server's refusal of what they asked for, and goes no further: for
// work that a server short of memory may refuse (a window's backing
// pixmap; a large picture: its pixmap, then what is drawn into it).
class Refusals {
 public:
  Refusals();
  ~Refusals();
  Refusals(const Refusals&) = delete;
  Refusals& operator=(const Refusals&) = delete;
  bool Any();  // waits for the server's answers: true when one was an error

 private:
  unsigned long Answered;  // the serial of the first request not yet answered
};

// Whether an alert box's loop is running: the event pump then takes no
// events and runs no timers.
bool ModalLoopRunning();
// Whether window is an alert box up, or its button: another client may
// destroy it meanwhile.
bool IsAlertWindow(unsigned long window);

// Runs the event pump while ApiMain is still running; afterwards the main
// loop does that work.
inline void Pump() {
  if (display && !WinManager.IsApiMainCompleted()) WinManager.CheckEvents();
}

// ---------------------------------------------------------------------------
// Scalable text (lib/Text.cpp)
// ---------------------------------------------------------------------------

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
  int Width = 0, Ascent = 0, Descent = 0;
  int InkAbove = 0, InkBelow = 0;  // how far this string's ink reaches from the baseline
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
// Draws a UTF-8 string into target, any window or pixmap of the default
// screen's depth: its box's upper-left corner at (x, top), its ink in the
// pixel value foreground, over its box filled with *band when band is not
// null. Nothing is kept for target.
void DrawText(Drawable target, const Face& face, int x, int top, const std::string& text,
              unsigned long foreground, const unsigned long* band = nullptr);
// Releases what scalable text keeps for drawing into target (a window's
// backing pixmap); call it before target is freed.
void ForgetTextTarget(Drawable target);
// Frees what fontconfig holds, once the display (and Xft's fonts with it)
// has closed, if text opened any font.
void ReleaseFontconfig();

// The key of a key event, with repeat as its Repeat.
Key ReadKey(XKeyEvent& event, bool repeat);
// When the key release event is half of an auto-repeat (a press of the same
// key at the same time is next in the queue), takes that press into event.
bool TakeRepeatPress(XEvent& event);
// Replaces a motion event with the latest motion of its window queued before
// the window's next button event, with the same buttons held.
void TakeLatestMotion(XEvent& event);
// The buttons a pointer event's state may hold.
constexpr unsigned int AnyButtonMask = Button1Mask | Button2Mask | Button3Mask | Button4Mask | Button5Mask;

// Notes a key delivered to its window as pressed (down) or as released:
// the keys held are those pressed and not released yet.
void NoteKey(const XKeyEvent& event, bool down);
// Releases, made from their presses, of the noted keys the keyboard no
// longer holds: keys let go while the program was not listening.
std::vector<XEvent> MissedKeyReleases();
// Where a pointer event happened, in centimetres in its window.
inline Position PointerAt(int x, int y) {
  return Position(d_to_l(x), d_to_l(y));
}

// The alert box and its drawables are laid out in pixels of a screen of
// this many pixels a centimetre; other screens scale those lengths, so that
// the box keeps its size in centimetres.
constexpr int AlertScale = 47;
// A length of that layout on this screen, truncated like l_to_d.
inline int AlertPixels(int pixels) {
  return ToInt(static_cast<long long>(pixels) * static_cast<long long>(PixelsPerCentimeter) / AlertScale);
}

// Line height of the alert box's text, pixels of its layout.
constexpr int AlertTextHeight = 15;
// The face of the alert box's text at the screen's scale: sans, bold for
// the button's label. The core font it has always been drawn in (WindowFont,
// or ButtonFont for bold) must be there, and stands in where no scalable
// font is. Null, after LoadFont's message, while that font is missing.
const Face* AlertFace(bool bold);
// AlertFace for a drawable's text: when the core font is missing, also says
// so and asks for shutdown, and gives null.
const Face* DrawableFace(bool bold);

// The one rule by which the drawables place a line of text: its ink centred
// in their rectangle, across and up and down.
void CentreText(MessageGraphic& drawable, const Face& face, const std::string& text);

// A top-level window that is a dialog: the window manager keeps it over
// the window it belongs to (none when 0) and gives it a dialog's frame.
struct Dialog {
  unsigned long Owner;
};

// CreateWindow and SetWindowHints, with the position's origin for the window
// manager: PPosition when the program chose it, USPosition when the user
// did (by moving the window there), which window managers honour as it is.
int CreateTopLevel(unsigned long& window, std::string const& title, int x, int y, int width, int height,
                   int fixedSize, long placement, const Dialog* dialog = nullptr);
int SetHints(unsigned long window, std::string const& title, int x, int y, int width, int height,
             int fixedSize, long placement);

// Owns one resource and releases it when it goes out of scope, on every
// path out of the call; Empty means "nothing to release".
template <typename T, void (*Release)(T), T Empty = T()>
class Owner {
 public:
  explicit Owner(T value = Empty) : Value(value) {}
  Owner(const Owner&) = delete;
  Owner& operator=(const Owner&) = delete;
  ~Owner() {
    if (Value != Empty) Release(Value);
  }
  T Get() const { return Value; }
  T* Out() { return &Value; }  // for calls that load into a pointer

 private:
  T Value;
};

using OwnedGC = Owner<GC, FreeGC>;
using OwnedFont = Owner<XFontStruct*, FreeFont>;
using OwnedPixmap = Owner<Pixmap, FreePixmap>;
using OwnedFd = Owner<int, CloseFd, -1>;

}  // namespace slate

#endif  // SLATE_LIB_INTERNAL_H
