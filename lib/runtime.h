// What the runtime keeps for the life of the display: the connection, the
// screen and its scale, the palette, the graphics contexts every drawing
// call uses, the core fonts that loaded, the colours RGBColor allocated and
// the atoms of the close-request protocol.
#ifndef SLATE_LIB_RUNTIME_H
#define SLATE_LIB_RUNTIME_H

#include <X11/Xlib.h>
#include <X11/extensions/Xrender.h>

#include <map>
#include <string>
#include <vector>

#include "slate.h"

namespace slate {

// Opens the display named by the environment, or says so on standard error
// and ends the process with status 1; sets the screen and its scale.
void OpenDisplay();
// Makes what the runtime keeps, once the palette is allocated.
void KeepResources();
// A step that frees what a unit keeps for the life of the display, run when
// the display closes: before, for what needs the connection (in the reverse
// order of registering), or after.
void OnClose(void (*release)(), bool afterwards = false);
// Closes the display: the steps before, what the runtime keeps, the
// connection, the steps after.
void CloseDisplay();

// The one T a unit keeps for the life of the display: made on first use,
// freed before the display closes.
template <typename T>
T& KeptUntilClose() {
  static T* kept = nullptr;
  if (!kept) {
    kept = new T();
    OnClose([] {
      delete kept;
      kept = nullptr;
    });
  }
  return *kept;
}

// What a figure is painted with: a pixel value, drawn as it is, or a
// colour less than opaque, blended over what is there through Render.
struct Ink {
  Ink() = default;
  Ink(unsigned long pixel) : Pixel(pixel) {}  // an opaque pixel value
  unsigned long Pixel = 0;                    // the colour's pixel, opaque
  XRenderColor Colour{0, 0, 0, 0xffff};       // its parts and alpha, premultiplied; 16 bits each
  bool Blended = false;                       // less than opaque, and the server blends it
  bool Shown = true;                          // false: nothing is drawn (see InkOf)
};

class Runtime {
 public:
  Runtime();  // the contexts, on the default screen's root window
  ~Runtime();
  Runtime(const Runtime&) = delete;
  Runtime& operator=(const Runtime&) = delete;

  GC Paint(unsigned long foreground, unsigned long background);                     // fills, text and copies
  GC Paint(unsigned long foreground, unsigned long background, XFontStruct* font);  // text in a core font
  GC Line(unsigned long colour, int width);     // lines of a width, round ends
  GC Outline(unsigned long colour, int width);  // outlines of a width, sharp corners
  XFontStruct* Font(const std::string& name);   // a core font, loaded on first use; null while it is missing
  color AllocateColor(int red, int green, int blue);             // RGBColor's work
  color AllocateColor(int red, int green, int blue, int alpha);  // with an alpha
  unsigned long RGBPixel(color c) const;  // pixel of a colour from RGBColor (opaque); black for others
  Ink InkOf(color c);                     // see slate::InkOf
  // Whether the server has Render (0.10 or later: transforms, solid fills),
  // and whether it blends colours on the screen's visual (true colours).
  bool Renders() const { return HasRender; }
  bool Blends() const { return CanBlend; }
  bool IsCloseRequest(const XClientMessageEvent& event) const;  // the window manager's, format 32
  Atom DeleteWindow() const { return DeleteWindowAtom; }

 private:
  // What a context was last set to: Xlib locks the connection for every
  // call, even one that changes nothing, and a figure costs little more.
  struct Values {
    unsigned long Foreground = 0, Background = 0;
    int Width = 0, Style = LineSolid, Cap = CapButt, Join = JoinMiter;
    ::Font CoreFont = 0;
  };
  void Set(GC gc, Values& now, const Values& wanted);

  GC PaintGC;
  GC LineGC;
  Values PaintValues, LineValues;
  Atom ProtocolsAtom, DeleteWindowAtom;
  std::map<std::string, XFontStruct*> Fonts;  // the fonts that loaded, by name
  std::map<int, unsigned long> RGBValues;     // RGBColor's value to its pixel
  // Colours with an alpha below 255, by index (their value less
  // TranslucentBase), and their parts' index.
  struct Translucent {
    int Red, Green, Blue, Alpha;
    color Opaque;  // the colour of the same parts, for what cannot blend
  };
  std::vector<Translucent> Translucents;
  std::map<unsigned int, int> TranslucentIndex;
  std::map<unsigned long, XRenderColor> PixelParts;  // the parts of palette pixels, asked once
  bool HasRender = false, CanBlend = false;
};

// The runtime's kept resources; null before the palette is allocated and
// after the display has closed.
Runtime* Kept();

// Defined with the library's main (lib/main.cpp), and for programs with a
// main of their own by lib/own_main.cpp.
extern const int EntryPoint;

// Values of RGBColor: this base plus 0xRRGGBB, clear of the palette's indices;
// with an alpha below 255, the second base plus an index of the runtime's.
constexpr int RGBColorBase = 0x1000000;
constexpr int TranslucentBase = 0x2000000;
constexpr int MostTranslucent = 0x1000000;  // distinct colours with an alpha

// How a colour is painted: its pixel, its parts and alpha. A colour less
// than opaque is blended where the server can blend; where it cannot (no
// Render, or a screen of 8 bits with a colormap) it is drawn opaque when at
// least half opaque and not at all otherwise, as pictures are, and one line
// on standard error says so, once.
Ink InkOf(color c);
// Says on standard error, once, what the server's lack of Render, or of
// blending on this screen, changes: called where it first changes something.
void ReportNoBlending();

// Pixel value of a colour: a palette entry or a colour from RGBColor; any
// other value draws in black rather than reading past the table.
unsigned long PaletteColor(color c);

}  // namespace slate

#endif  // SLATE_LIB_RUNTIME_H
