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
                          int height, int fixedSize, long placement, const Dialog* dialog) {
  window = XCreateSimpleWindow(display, RootWindow(display, ScreenNbr), x, y, width, height, BorderSize,
                               BlackPixel(display, ScreenNbr), ColorTable[White]);
  if (window == 0) {
    std::cerr << "Error opening window in function CreateWindow.\n";
    return 0;
  }
  // Visibility changes only while the window is being shown: they tell
  // whether an exposure is to come at all.
  XSelectInput(display, window, NormalWindowEventMask | VisibilityChangeMask);
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
  XSelectInput(display, window, NormalWindowEventMask);
  // The first exposure is taken and dropped: the caller draws the window's
  // first contents itself. A window with nothing on the screen (off its
  // edges, say) gets none, and is not waited for.
  if (shown == EventLoop::Showing::Shown) Loop().TakeFirstExposure(window);
  return 1;
}

int slate::SetHints(unsigned long window, std::string const& title, int x, int y, int width, int height,
                    int fixedSize, long placement) {
  char* names[1] = {const_cast<char*>(title.c_str())};
  XTextProperty windowName;
  if (!XStringListToTextProperty(names, 1, &windowName)) {
    std::cerr << "Memory allocation for the WindowName string failed in "
              << "function SetWMHints.\n";
    return 0;
  }
  XTextProperty iconName;
  if (!XStringListToTextProperty(names, 1, &iconName)) {
    std::cerr << "Memory allocation for the IconName string failed in "
              << "function SetWMHints.\n";
    XFree(windowName.value);
    return 0;
  }

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

  // A title longer than one request can carry is cut short there.
  unsigned long room = static_cast<unsigned long>(slate::RequestRoom(ChangePropertyHeader));
  windowName.nitems = std::min(windowName.nitems, room);
  iconName.nitems = std::min(iconName.nitems, room);
  XSetWMProperties(display, window, &windowName, &iconName, nullptr, 0, &sizeHints, &wmHints, nullptr);
  XFree(windowName.value);
  XFree(iconName.value);
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
