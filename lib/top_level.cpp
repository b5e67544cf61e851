// Creating top-level windows (see top_level.h).
#include "top_level.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <iostream>

#include "event_loop.h"
#include "protocol.h"
#include "runtime.h"

namespace {

// Tells the window manager, before the window is mapped, that it is a
// dialog that can be moved and closed only (not minimised, maximised or
// resized), and, when it belongs to a window, a modal one kept over it.
void MarkDialog(Window window, const slate::Dialog& dialog) {
  char* names[] = {const_cast<char*>("_NET_WM_WINDOW_TYPE"), const_cast<char*>("_NET_WM_WINDOW_TYPE_DIALOG"),
                   const_cast<char*>("_MOTIF_WM_HINTS"), const_cast<char*>("_NET_WM_STATE"),
                   const_cast<char*>("_NET_WM_STATE_MODAL")};
  Atom atoms[5];
  if (!XInternAtoms(display, names, 5, False, atoms)) return;
  XChangeProperty(display, window, atoms[0], XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&atoms[1]), 1);
  // Flags (functions given), functions (move, close), decorations, input
  // mode, status.
  long functions[5] = {1, 4 | 32, 0, 0, 0};
  XChangeProperty(display, window, atoms[2], atoms[2], 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(functions), 5);
  if (dialog.Owner == 0) return;
  XSetTransientForHint(display, window, dialog.Owner);
  XChangeProperty(display, window, atoms[3], XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&atoms[4]), 1);
}

}  // namespace

int CreateWindow(unsigned long& window, std::string const& title, int x, int y, int width, int height,
                 unsigned long /*unused*/, int const& fixedSize) {
  return slate::CreateTopLevel(window, title, x, y, width, height, fixedSize, PPosition);
}

int SetWindowHints(unsigned long const& window, std::string const& title, int x, int y, int width, int height,
                   int const& fixedSize) {
  return slate::SetHints(window, title, x, y, width, height, fixedSize, PPosition);
}

int slate::CreateTopLevel(unsigned long& window, std::string const& title, int x, int y, int width,
                          int height, int fixedSize, long placement, const Dialog* dialog, long events) {
  window = XCreateSimpleWindow(display, RootWindow(display, ScreenNbr), x, y, width, height, BorderSize,
                               BlackPixel(display, ScreenNbr), ColorTable[White]);
  if (window == 0) {
    std::cerr << "Error opening window in function CreateWindow.\n";
    return 0;
  }
  // Visibility changes only while the window is being shown: they tell
  // whether an exposure is to come at all.
  XSelectInput(display, window, events | VisibilityChangeMask);
  if (!SetHints(window, title, x, y, width, height, fixedSize, placement)) {
    std::cout << "Window hints were unacceptible\n";
    XDestroyWindow(display, window);
    return 0;
  }
  if (dialog) MarkDialog(window, *dialog);
  // Close requests asked for before the window is shown: a window manager
  // asked to close a window that has not asked for them kills its program.
  SetWMCloseWindow(window);
  XMapRaised(display, window);
  // A window not shown in time is drawn on when its first exposure comes;
  // one destroyed meanwhile is closed by its DestroyNotify, kept by the
  // loop, once it is registered.
  EventLoop::Showing shown = Loop().AwaitShown(window);
  if (shown == EventLoop::Showing::Destroyed) return 1;
  XSelectInput(display, window, events);
  // The first exposure is taken and dropped: the caller draws the window's
  // first contents itself. A window with nothing on the screen (off its
  // edges, say) gets none, and is not waited for.
  if (shown == EventLoop::Showing::Shown) Loop().TakeFirstExposure(window);
  return 1;
}

namespace {

// The title as UTF-8 that the window manager can show: each invalid
// sequence as U+FFFD, at most bytes long, cut between characters.
std::string ValidTitle(const std::string& title, size_t bytes) {
  std::string valid;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(title.data());
  for (size_t i = 0, n = title.size(); i < n;) {
    unsigned char b = s[i];
    size_t length = b < 0x80                 ? 1
                    : b >= 0xc2 && b <= 0xdf ? 2
                    : b >= 0xe0 && b <= 0xef ? 3
                    : b >= 0xf0 && b <= 0xf4 ? 4
                                             : 0;
    bool ok = length > 0 && i + length <= n;
    for (size_t k = 1; ok && k < length; ++k) ok = (s[i + k] & 0xc0) == 0x80;
    // Overlong forms, surrogates and values past U+10FFFF.
    if (ok && length == 3) ok = !(b == 0xe0 && s[i + 1] < 0xa0) && !(b == 0xed && s[i + 1] > 0x9f);
    if (ok && length == 4) ok = !(b == 0xf0 && s[i + 1] < 0x90) && !(b == 0xf4 && s[i + 1] > 0x8f);
    std::string character = ok ? title.substr(i, length) : "\xef\xbf\xbd";
    if (valid.size() + character.size() > bytes) break;
    valid += character;
    i += ok ? length : 1;
  }
  return valid;
}

// A name property both ways: UTF8_STRING in the _NET_ property, and the
// traditional one as the X conventions have it: STRING (Latin-1) where the
// title allows, else COMPOUND_TEXT.
void SetName(Window window, const std::string& title, Atom utf8Name,
             void (*setTraditional)(Display*, Window, XTextProperty*)) {
  Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  XChangeProperty(display, window, utf8Name, utf8, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(title.data()), static_cast<int>(title.size()));
  char* list[1] = {const_cast<char*>(title.c_str())};
  XTextProperty text{};
  // Where Xlib cannot convert (a locale it does not support), the bytes
  // themselves.
  if (Xutf8TextListToTextProperty(display, list, 1, XStdICCTextStyle, &text) < Success &&
      !XStringListToTextProperty(list, 1, &text))
    return;
  setTraditional(display, window, &text);
  XFree(text.value);
}

}  // namespace

int slate::SetHints(unsigned long window, std::string const& title, int x, int y, int width, int height,
                    int fixedSize, long placement) {
  XSizeHints sizeHints{};
  sizeHints.x = x;
  sizeHints.y = y;
  sizeHints.width = width;
  sizeHints.height = height;
  // The position asked for is that of the window itself, not of a window
  // manager's frame around it: a window reopened where it was reported to be
  // comes back to the same place.
  sizeHints.win_gravity = StaticGravity;
  if (fixedSize) {
    sizeHints.flags = placement | PSize | PMinSize | PMaxSize | PWinGravity;
    sizeHints.min_width = sizeHints.max_width = width;
    sizeHints.min_height = sizeHints.max_height = height;
  } else {
    sizeHints.flags = placement | PSize | PMinSize | PWinGravity;
    sizeHints.min_width = MinScreenWidth;
    sizeHints.min_height = MinScreenHeight;
  }

  XWMHints wmHints{};
  wmHints.flags = InputHint | StateHint;
  wmHints.input = True;
  wmHints.initial_state = NormalState;
  XSetWMProperties(display, window, nullptr, nullptr, nullptr, 0, &sizeHints, &wmHints, nullptr);

  // A title longer than one request can carry is cut short there (its
  // compound-text form may take up to four bytes a character more).
  std::string name = ValidTitle(title, static_cast<size_t>(slate::RequestRoom(ChangePropertyHeader)) / 2);
  SetName(window, name, XInternAtom(display, "_NET_WM_NAME", False), XSetWMName);
  SetName(window, name, XInternAtom(display, "_NET_WM_ICON_NAME", False), XSetWMIconName);
  return 1;
}

int IsWMCloseWindow(XClientMessageEvent const* event) {
  return slate::Kept() && slate::Kept()->IsCloseRequest(*event) ? 1 : 0;
}

void SetWMCloseWindow(unsigned long const& window) {
  if (!slate::Kept()) return;
  Atom deleteWindow = slate::Kept()->DeleteWindow();
  if (deleteWindow == 0) return;
  XSetWMProtocols(display, window, &deleteWindow, 1);
}
