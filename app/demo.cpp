// zindra-demo: plays through a running ZINDRA menu as a player would and
// takes a screenshot (xwd) of every screen on the way.
//
//   zindra-demo OUTPUT_DIRECTORY
//
// Start it right after zindra on the same display. It waits for the loading
// screen and the menu, clicks each of the five buttons and closes each window
// that opens with a window-manager close request, then opens the game once
// more, clicks the menu's close box and closes the game, which ends zindra.
// Screenshots are written as NN-name.xwd into the output directory. It exits
// with status 0 when every step was seen to happen, 1 otherwise.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "menu_layout.h"

extern char** environ;

namespace {

Display* display = nullptr;
std::string out_dir;
int shot_number = 0;

double Now() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

void Pause(int ms) {
  usleep(ms * 1000);
}

// Windows of zindra come and go while they are looked at; a request about a
// window that has just gone fails, and that is not an error here.
int IgnoreErrors(Display*, XErrorEvent*) {
  return 0;
}

// The viewable top-level window with this title, or 0.
Window FindWindow(const char* title) {
  Window root = DefaultRootWindow(display), parent, *children = nullptr;
  unsigned int n = 0;
  Window found = 0;
  if (!XQueryTree(display, root, &root, &parent, &children, &n)) return 0;
  for (unsigned int i = 0; i < n && !found; ++i) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, children[i], &attributes) || attributes.map_state != IsViewable) {
      continue;
    }
    char* name = nullptr;
    if (XFetchName(display, children[i], &name) && name) {
      if (std::string(name) == title) found = children[i];
      XFree(name);
    }
  }
  if (children) XFree(children);
  return found;
}

// Waits up to ten seconds for a window with this title to be shown (or,
// with shown false, to be gone).
Window WaitFor(const char* title, bool shown = true) {
  double deadline = Now() + 10.0;
  while (Now() < deadline) {
    Window w = FindWindow(title);
    if (shown ? w != 0 : w == 0) return shown ? w : 1;
    Pause(20);
  }
  std::fprintf(stderr, "zindra-demo: window \"%s\" was %s\n", title, shown ? "never shown" : "never closed");
  return 0;
}

// Screenshot of one window with xwd.
bool Shoot(Window w, const char* name) {
  XSync(display, False);
  char file[512];
  std::snprintf(file, sizeof file, "%s/%02d-%s.xwd", out_dir.c_str(), ++shot_number, name);
  char id[32];
  std::snprintf(id, sizeof id, "0x%lx", w);
  char arg0[] = "xwd", arg1[] = "-silent", arg2[] = "-id", arg4[] = "-out";
  char* argv[] = {arg0, arg1, arg2, id, arg4, file, nullptr};
  pid_t pid;
  if (posix_spawnp(&pid, "xwd", nullptr, nullptr, argv, environ) != 0) {
    std::fprintf(stderr, "zindra-demo: cannot run xwd\n");
    return false;
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "zindra-demo: xwd failed for %s\n", file);
    return false;
  }
  std::printf("  saved %s\n", file);
  return true;
}

// A left click at pixel (x, y) of window w.
void Click(Window w, int x, int y) {
  int rx, ry;
  Window child;
  XTranslateCoordinates(display, w, DefaultRootWindow(display), x, y, &rx, &ry, &child);
  XTestFakeMotionEvent(display, DefaultScreen(display), rx, ry, CurrentTime);
  XTestFakeButtonEvent(display, 1, True, CurrentTime);
  XTestFakeButtonEvent(display, 1, False, CurrentTime);
  XSync(display, False);
}

void ClickRegion(Window w, const zindra::Region& r, double scale) {
  zindra::PixelRect b = zindra::RegionPixels(r, scale);
  Click(w, (b.X0 + b.X1) / 2, (b.Y0 + b.Y1) / 2);
}

// What a window manager sends when the user closes a window.
void RequestClose(Window w) {
  XEvent e = {};
  e.xclient.type = ClientMessage;
  e.xclient.window = w;
  e.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, w, False, NoEventMask, &e);
  XSync(display, False);
}

bool Run() {
  int screen = DefaultScreen(display);
  double scale = std::floor(static_cast<float>(DisplayWidth(display, screen) / 29.0));

  std::printf("Waiting for the loading screen...\n");
  Window loading = WaitFor("laoding");
  if (!loading) return false;
  Pause(400);
  if (!Shoot(loading, "loading")) return false;

  std::printf("Waiting for the menu...\n");
  Window menu = WaitFor("ZINDRA");
  if (!menu || !WaitFor("laoding", false)) return false;
  Pause(500);
  if (!Shoot(menu, "menu")) return false;

  struct Step {
    const char* title;
    const char* shot;
  };
  const Step steps[zindra::ButtonCount] = {{"game", "game"},
                                           {"HIGHSCORES", "highscores"},
                                           {"OPTIONS", "options"},
                                           {"about game and instructions", "instructions"},
                                           {"more games", "more-games"}};
  for (int i = 0; i < zindra::ButtonCount; ++i) {
    std::printf("Clicking %s...\n", zindra::ButtonLabels[i]);
    ClickRegion(menu, zindra::ClickMap[i], scale);
    Window w = WaitFor(steps[i].title);
    if (!w) return false;
    Pause(400);
    if (!Shoot(w, steps[i].shot)) return false;
    RequestClose(w);
    if (!WaitFor(steps[i].title, false)) return false;
  }

  std::printf("Opening the game, then closing the menu with its close box...\n");
  ClickRegion(menu, zindra::ClickMap[zindra::PlayButton], scale);
  Window game = WaitFor("game");
  if (!game) return false;
  // The game opened on top of the menu; bring the menu forward, as a player
  // would, to reach its close box.
  XRaiseWindow(display, menu);
  XSync(display, False);
  Pause(200);
  ClickRegion(menu, zindra::ClickMap[zindra::CloseBox], scale);
  if (!WaitFor("ZINDRA", false)) return false;
  std::printf("Closing the game window...\n");
  RequestClose(game);
  return WaitFor("game", false) != 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: zindra-demo OUTPUT_DIRECTORY\n");
    return 2;
  }
  out_dir = argv[1];
  display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "zindra-demo: cannot open display %s\n", XDisplayName(nullptr));
    return 1;
  }
  XSetErrorHandler(IgnoreErrors);
  int event, error, major, minor;
  if (!XTestQueryExtension(display, &event, &error, &major, &minor)) {
    std::fprintf(stderr, "zindra-demo: the X server lacks the XTEST extension\n");
    XCloseDisplay(display);
    return 1;
  }
  bool ok = Run();
  XCloseDisplay(display);
  std::fflush(stdout);
  return ok ? 0 : 1;
}
