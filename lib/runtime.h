// What the runtime keeps for the life of the display: the connection, the
// screen and its scale, the palette, the graphics contexts every drawing
// call uses, the core fonts that loaded, the colours RGBColor allocated and
// the atoms of the close-request protocol.
#ifndef SLATE_LIB_RUNTIME_H
#define SLATE_LIB_RUNTIME_H

#include <X11/Xlib.h>

#include <map>
#include <string>

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
  color AllocateColor(int red, int green, int blue);  // RGBColor's work
  unsigned long RGBPixel(color c) const;              // pixel of a colour from RGBColor; black for others
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
};

// The runtime's kept resources; null before the palette is allocated and
// after the display has closed.
Runtime* Kept();

// Defined with the library's main (lib/main.cpp), and for programs with a
// main of their own by lib/own_main.cpp.
extern const int EntryPoint;

// Values of RGBColor: this base plus 0xRRGGBB, clear of the palette's indices.
constexpr int RGBColorBase = 0x1000000;

// Pixel value of a colour: a palette entry or a colour from RGBColor; any
// other value draws in black rather than reading past the table.
unsigned long PaletteColor(color c);

}  // namespace slate

#endif  // SLATE_LIB_RUNTIME_H
