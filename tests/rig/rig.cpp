#include "rig.h"

#include <X11/extensions/XRes.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

// Runs before the library's start-up (priority 110), which would end the
// program with status 0 for want of a display: a test must fail instead.
__attribute__((constructor(105))) static void DisplayCheck() {
  Display* d = XOpenDisplay(nullptr);
  if (!d) {
    std::fprintf(stderr, "No display [%s]: run through scripts/with-xvfb (make test, make bench)\n",
                 XDisplayName(nullptr));
    _exit(1);
  }
  XCloseDisplay(d);
}

namespace rig {

bool WaitFor(const std::function<bool()>& condition, int ms) {
  return drive::WaitFor(condition, ms);
}

std::string Sh(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    pclose(pipe);
  }
  return out;
}

std::string Path(const std::string& relative) {
  return std::string(SLATE_BINARY_DIR) + "/" + relative;
}

Child::Child(const std::vector<std::string>& argv, const std::vector<std::string>& env,
             const std::string& dir) {
  if (!Program.Start(argv, env, dir)) Failure = Program.Error() + "\n";
}

std::string Child::Out() const {
  return Program.Out();
}

std::string Child::Err() const {
  return Failure.empty() ? Program.Err() : Failure;
}

bool Child::WaitOut(const std::string& text, int ms) const {
  return WaitFor([&] { return Program.Find(drive::Process::Output, text) != std::string::npos; }, ms);
}

int Child::Wait(int ms) {
  if (!Failure.empty()) return 127;
  Program.Wait(ms);
  Program.Stop(0);
  return Program.EndedByStop() || Program.Signal() ? -1 : Program.ExitStatus();
}

Server::Server(const std::string& screen, std::vector<std::string> launcher) {
  if (!X.Start(screen, launcher)) std::fprintf(stderr, "rig: %s\n", X.Error().c_str());
}

Peer::Peer(const std::string& display) : drive::Client(display) {
  if (!D) {
    std::fprintf(stderr, "rig: cannot open display %s\n", display.c_str());
    std::abort();
  }
}

Window Peer::Find(const std::string& title, int ms) {
  Window found = 0;
  WaitFor([&] { return (found = drive::Client::Find(title)) != 0; }, ms);
  return found;
}

bool Peer::Gone(const std::string& title, int ms) {
  return WaitFor([&] { return drive::Client::Find(title) == 0; }, ms);
}

unsigned long Peer::Named(const std::string& colour) {
  XColor screen, exact;
  XAllocNamedColor(D, DefaultColormap(D, DefaultScreen(D)), colour.c_str(), &screen, &exact);
  return screen.pixel;
}

void Peer::Origin(Window w, int* x, int* y) {
  Window child;
  *x = *y = 0;
  XTranslateCoordinates(D, w, DefaultRootWindow(D), 0, 0, x, y, &child);
}

std::vector<int> Peer::Geometry(Drawable d) {
  Window root;
  int x = 0, y = 0;
  unsigned int width = 0, height = 0, border = 0, depth;
  XGetGeometry(D, d, &root, &x, &y, &width, &height, &border, &depth);
  return {x, y, int(width), int(height), int(border)};
}

void Peer::Click(Window w, int x, int y, int button) {
  Move(w, x, y);
  Button(button, true);
  Button(button, false);
}

bool Peer::Shows(Window w, int x, int y) {
  // The deepest window at the point is w or within it.
  Window root = DefaultRootWindow(D), at = root, child;
  int rx, ry, cx, cy;
  if (!XTranslateCoordinates(D, w, root, x, y, &rx, &ry, &child)) return false;
  while (XTranslateCoordinates(D, root, at, rx, ry, &cx, &cy, &child) && child != None) at = child;
  for (int depth = 0; depth < 16 && at != root; ++depth) {
    if (at == w) return true;
    Window top, parent, *children = nullptr;
    unsigned int count;
    if (!XQueryTree(D, at, &top, &parent, &children, &count)) return false;
    if (children) XFree(children);
    at = parent;
  }
  return false;
}

void Peer::Key(const std::string& name, bool press) {
  drive::Client::Key(XStringToKeysym(name.c_str()), press);
}

std::vector<long> Peer::Property(Window w, const std::string& name) {
  Atom type;
  int format;
  unsigned long count = 0, left;
  unsigned char* value = nullptr;
  std::vector<long> items;
  if (XGetWindowProperty(D, w, XInternAtom(D, name.c_str(), False), 0, 64, False, AnyPropertyType, &type,
                         &format, &count, &left, &value) == Success &&
      format == 32)
    items.assign(reinterpret_cast<long*>(value), reinterpret_cast<long*>(value) + count);
  if (value) XFree(value);
  return items;
}

long Peer::Resources(XID owned) {
  int count = 0;
  XResType* types = nullptr;
  XResQueryClientResources(D, owned, &count, &types);
  long total = 0;
  for (int i = 0; i < count; ++i) total += types[i].count;
  if (types) XFree(types);
  return total;
}

unsigned long Peer::PixmapBytes(XID owned) {
  unsigned long bytes = 0;
  XResQueryClientPixmapBytes(D, owned, &bytes);
  return bytes;
}

}  // namespace rig
