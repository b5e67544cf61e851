#include "display.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/xpm.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <set>

#include "process.h"
#include "slate.h"
#include "units.h"

namespace drive {

// ---------------------------------------------------------------------------
// XServer
// ---------------------------------------------------------------------------

namespace {

// The last line a failed program wrote to its standard error, to say why.
std::string LastLine(const Process& p) {
  std::string text = p.Err();
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  size_t start = text.rfind('\n');
  return start == std::string::npos ? text : text.substr(start + 1);
}

}  // namespace

XServer::XServer() = default;

XServer::~XServer() {
  Stop();
}

int XServer::Pid() const {
  return Xvfb ? Xvfb->Pid() : -1;
}

int XServer::WindowManagerPid() const {
  return Openbox ? Openbox->Pid() : -1;
}

bool XServer::Start(const std::string& screen, std::vector<std::string> launcher) {
  Stop();
  if (FindProgram("Xvfb").empty())
    return Failure = "Xvfb is not installed; it is in the Debian package xvfb (apt-get install xvfb)", false;
  Xvfb = std::make_unique<Process>();
  // The server picks a free display itself and writes its number once it
  // accepts connections.
  for (const char* arg : {"Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-noreset", "-screen", "0"})
    launcher.push_back(arg);
  launcher.push_back(screen);
  if (!Xvfb->Start(launcher)) {
    Failure = "cannot start Xvfb: " + Xvfb->Error();
    Xvfb.reset();
    return false;
  }
  auto numbered = [&] { return Xvfb->Find(Process::Output, "\n") != std::string::npos; };
  WaitFor([&] { return numbered() || Xvfb->Ended() || Interrupted(); }, 15000);
  if (!numbered()) {
    std::string why = Xvfb->Ended()   ? LastLine(*Xvfb)
                      : Interrupted() ? "interrupted"
                                      : "no display after 15 s";
    Failure = "Xvfb did not start (-screen 0 " + screen + ")" + (why.empty() ? "" : ": " + why);
    Xvfb.reset();
    return false;
  }
  Display = ":" + std::to_string(std::atoi(Xvfb->Out().c_str()));
  return true;
}

bool XServer::StartWindowManager() {
  if (FindProgram("openbox").empty())
    return Failure =
               "openbox is not installed; it is in the Debian package openbox (apt-get install openbox)",
           false;
  Openbox = std::make_unique<Process>();
  if (!Openbox->Start({"openbox", "--sm-disable"}, {"DISPLAY=" + Display}))
    return Failure = "cannot start openbox: " + Openbox->Error(), false;
  // Ready once it puts a new window into a frame of its own.
  Client client(Display);
  if (!client.D) return Failure = "cannot open the display " + Display, false;
  Window root = DefaultRootWindow(client.D), parent = root;
  Window probe = XCreateSimpleWindow(client.D, root, 0, 0, 10, 10, 0, 0, 0);
  WaitFor(
      [&] {
        XMapWindow(client.D, probe);
        Window top, *children = nullptr;
        unsigned int count;
        if (XQueryTree(client.D, probe, &top, &parent, &children, &count) && children) XFree(children);
        return parent != root || Openbox->Ended() || Interrupted();
      },
      15000);
  XDestroyWindow(client.D, probe);
  XSync(client.D, False);
  if (parent != root) return true;
  Failure = "openbox did not manage the screen";
  if (Openbox->Ended() && !LastLine(*Openbox).empty()) Failure += ": " + LastLine(*Openbox);
  return false;
}

void XServer::Stop() {
  if (Openbox) Openbox->Stop(500);
  if (Xvfb) Xvfb->Stop(1000);
  Openbox.reset();
  Xvfb.reset();
}

void XServer::Kill() {
  if (Xvfb) Xvfb->Stop(0);
}

// ---------------------------------------------------------------------------
// Client
// ---------------------------------------------------------------------------

namespace {

std::set<::Display*> Ours;
XErrorHandler Previous = nullptr;

// Errors of our requests (about a window that has just gone, say) are
// dropped; those of any other connection go where they went before.
int QuietErrors(::Display* d, XErrorEvent* error) {
  return Ours.count(d) || !Previous ? 0 : Previous(d, error);
}

Atom Intern(::Display* d, const char* name) {
  return XInternAtom(d, name, False);
}

void Send(::Display* d, Window to, Window about, Atom type, long mask, std::initializer_list<long> data,
          int format = 32) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = about;
  event.xclient.message_type = type;
  event.xclient.format = format;
  int i = 0;
  for (long value : data) event.xclient.data.l[i++] = value;
  XSendEvent(d, to, False, mask, &event);
  XSync(d, False);
}

// ISO 8859-1, the X string type's encoding, as UTF-8.
std::string FromLatin1(const unsigned char* text, size_t size) {
  std::string utf8;
  for (size_t i = 0; i < size; ++i) {
    unsigned char c = text[i];
    if (c < 0x80) {
      utf8 += static_cast<char>(c);
    } else {
      utf8 += static_cast<char>(0xC0 | (c >> 6));
      utf8 += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return utf8;
}

// A window's title in UTF-8: its _NET_WM_NAME, else its WM_NAME as its
// type says (STRING is Latin-1; COMPOUND_TEXT is converted by Xlib). False
// when it has neither.
bool TitleOf(::Display* d, Window w, std::string* title) {
  Atom utf8 = Intern(d, "UTF8_STRING"), type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  bool found = XGetWindowProperty(d, w, Intern(d, "_NET_WM_NAME"), 0, 1 << 16, False, utf8, &type, &format,
                                  &count, &after, &data) == Success &&
               data && type == utf8 && format == 8;
  if (found) title->assign(reinterpret_cast<char*>(data), count);
  if (data) XFree(data);
  if (found) return true;
  XTextProperty name{};
  if (!XGetWMName(d, w, &name) || !name.value) return false;
  if (name.encoding == XA_STRING || name.format != 8) {
    *title = FromLatin1(name.value, name.format == 8 ? name.nitems : 0);
  } else if (name.encoding == utf8) {
    title->assign(reinterpret_cast<char*>(name.value), name.nitems);
  } else {
    char** list = nullptr;
    int items = 0;
    title->clear();
    if (Xutf8TextPropertyToTextList(d, &name, &list, &items) >= Success && list) {
      for (int i = 0; i < items; ++i) *title += list[i];
      XFreeStringList(list);
    } else {
      *title = FromLatin1(name.value, name.nitems);
    }
  }
  XFree(name.value);
  return true;
}

// The viewable windows with a title among the children of parent, bottom
// to top, and those in the untitled windows (a window manager's frames) there.
void Collect(::Display* d, Window parent, int depth, std::vector<std::pair<Window, std::string>>* found) {
  Window root, up, *children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(d, parent, &root, &up, &children, &count)) return;
  for (unsigned int i = 0; i < count; ++i) {
    XWindowAttributes attributes;
    // An unviewable window's children are not viewable either.
    if (!XGetWindowAttributes(d, children[i], &attributes) || attributes.map_state != IsViewable) continue;
    std::string title;
    if (TitleOf(d, children[i], &title))
      found->emplace_back(children[i], title);
    else if (depth < 3)
      Collect(d, children[i], depth + 1, found);
  }
  if (children) XFree(children);
}

// Width and height from the values line of an XPM file, read before libXpm
// allocates what they claim.
bool PictureSize(const std::string& bytes, long* width, long* height) {
  std::string head = bytes.substr(0, 4096);
  size_t brace = head.find('{');
  size_t quote = head.find('"', brace == std::string::npos ? 0 : brace);
  return quote != std::string::npos && std::sscanf(head.c_str() + quote + 1, "%ld %ld", width, height) == 2;
}

// Whether a window's name fits the title a script gave, where '*' matches
// any text: after a mismatch, the last '*' takes one more character.
bool Matches(const std::string& title, const std::string& name) {
  size_t t = 0, n = 0, star = std::string::npos, resume = 0;
  while (n < name.size()) {
    if (t < title.size() && title[t] == '*') {
      star = t++;
      resume = n;
    } else if (t < title.size() && title[t] == name[n]) {
      ++t, ++n;
    } else if (star != std::string::npos) {
      t = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (t < title.size() && title[t] == '*') ++t;
  return t == title.size();
}

}  // namespace

Client::Client(const std::string& display) : D(XOpenDisplay(display.empty() ? nullptr : display.c_str())) {
  if (!D) return;
  static bool installed = false;
  if (!installed) Previous = XSetErrorHandler(QuietErrors), installed = true;
  Ours.insert(D);
  Visual* visual = DefaultVisual(D, DefaultScreen(D));
  TrueColour = visual->c_class == TrueColor;
  unsigned long masks[3] = {visual->red_mask, visual->green_mask, visual->blue_mask};
  for (int c = 0; c < 3; ++c) {
    unsigned long mask = masks[c];
    for (Shift[c] = 0; mask && !(mask & 1); mask >>= 1) ++Shift[c];
    for (Bits[c] = 0; mask & 1; mask >>= 1) ++Bits[c];
  }
}

Client::~Client() {
  if (!D) return;
  XCloseDisplay(D);
  Ours.erase(D);
}

// As the library converts: its own rule.
float Client::Scale() const {
  return slate::ScaleOf(DisplayWidth(D, DefaultScreen(D)));
}

int Client::ToPixels(double cm) const {
  return slate::ToPixels(static_cast<float>(cm), Scale());
}

std::vector<std::pair<Window, std::string>> Client::Shown() {
  std::vector<std::pair<Window, std::string>> shown;
  // A window manager lists the windows it manages, bottom to top: the walk
  // through its frames' many windows is not needed.
  Atom type;
  int format;
  unsigned long count = 0, after;
  unsigned char* data = nullptr;
  if (HasWindowManager() &&
      XGetWindowProperty(D, DefaultRootWindow(D), Intern(D, "_NET_CLIENT_LIST_STACKING"), 0, 4096, False,
                         XA_WINDOW, &type, &format, &count, &after, &data) == Success &&
      data && format == 32 && count > 0) {
    for (unsigned long i = 0; i < count; ++i) {
      Window w = reinterpret_cast<Window*>(data)[i];
      XWindowAttributes attributes;
      std::string title;
      if (XGetWindowAttributes(D, w, &attributes) && attributes.map_state == IsViewable &&
          TitleOf(D, w, &title))
        shown.emplace_back(w, title);
    }
  } else {
    Collect(D, DefaultRootWindow(D), 0, &shown);
  }
  if (data) XFree(data);
  return shown;
}

std::vector<Window> Client::Windows(const std::string& title) {
  std::vector<Window> found;
  for (const auto& [w, name] : Shown())
    if (Matches(title, name)) found.push_back(w);
  return found;
}

std::vector<std::string> Client::Titles() {
  std::vector<std::string> titles;
  for (const auto& shown : Shown()) titles.push_back(shown.second);
  return titles;
}

Window Client::Find(const std::string& title) {
  std::vector<Window> found = Windows(title);
  return found.empty() ? 0 : found.back();
}

bool Client::Box(Window w, int* x, int* y, int* width, int* height, int* border) {
  XWindowAttributes attributes;
  Window child;
  if (!XGetWindowAttributes(D, w, &attributes) ||
      !XTranslateCoordinates(D, w, DefaultRootWindow(D), 0, 0, x, y, &child))
    return false;
  *width = attributes.width;
  *height = attributes.height;
  if (border) *border = attributes.border_width;
  return true;
}

std::vector<unsigned long> Client::Grab(Drawable d, int x, int y, int width, int height) {
  std::vector<unsigned long> pixels;
  XImage* image = XGetImage(D, d, x, y, width, height, AllPlanes, ZPixmap);
  if (!image) return pixels;
  pixels.reserve(size_t(width) * height);
  for (int j = 0; j < height; ++j)
    for (int i = 0; i < width; ++i) pixels.push_back(XGetPixel(image, i, j));
  XDestroyImage(image);
  return pixels;
}

Rgb Client::Colour(unsigned long pixel) {
  if (TrueColour) {
    unsigned char c[3];
    for (int i = 0; i < 3; ++i) {
      unsigned long top = Bits[i] ? (1ul << Bits[i]) - 1 : 1, value = (pixel >> Shift[i]) & top;
      c[i] = static_cast<unsigned char>((value * 255 + top / 2) / top);
    }
    return {c[0], c[1], c[2]};
  }
  XColor colour{};
  colour.pixel = pixel;
  XQueryColor(D, DefaultColormap(D, DefaultScreen(D)), &colour);
  return {static_cast<unsigned char>(colour.red >> 8), static_cast<unsigned char>(colour.green >> 8),
          static_cast<unsigned char>(colour.blue >> 8)};
}

bool Client::Capture(int x, int y, int width, int height, Image* image) {
  image->Resize(width, height);
  for (size_t i = 3; i < image->Rgba.size(); i += 4) image->Rgba[i] = 0;
  int screen = DefaultScreen(D);
  int left = std::max(x, 0), top = std::max(y, 0);
  int right = std::min(x + width, DisplayWidth(D, screen)),
      bottom = std::min(y + height, DisplayHeight(D, screen));
  if (left >= right || top >= bottom) return false;
  XImage* shown =
      XGetImage(D, DefaultRootWindow(D), left, top, right - left, bottom - top, AllPlanes, ZPixmap);
  if (!shown) return false;
  // Most pictures hold few colours: the last one converted is kept.
  unsigned long last = XGetPixel(shown, 0, 0);
  Rgb lastColour = Colour(last);
  for (int j = top; j < bottom; ++j)
    for (int i = left; i < right; ++i) {
      unsigned long pixel = XGetPixel(shown, i - left, j - top);
      if (pixel != last) lastColour = Colour(last = pixel);
      image->Set(i - x, j - y, lastColour);
    }
  XDestroyImage(shown);
  return true;
}

bool Client::ReadXpm(const std::string& path, Image* image, std::string* error) {
  std::string bytes;
  if (!ReadFile(path, &bytes, error)) return false;
  long width = 0, height = 0;
  if (!PictureSize(bytes, &width, &height)) return *error = "not an XPM picture", false;
  if (width <= 0 || height <= 0 || width > 8192 || height > 8192 || width * height > 3840l * 2160)
    return *error = "the picture's size is not that of a picture for a screen", false;
  XImage *picture = nullptr, *shape = nullptr;
  int status = XpmCreateImageFromBuffer(D, &bytes[0], &picture, &shape, nullptr);
  if (status != XpmSuccess || !picture) return *error = XpmGetErrorString(status), false;
  image->Resize(picture->width, picture->height);
  for (int y = 0; y < picture->height; ++y)
    for (int x = 0; x < picture->width; ++x) {
      image->Set(x, y, Colour(XGetPixel(picture, x, y)));
      if (shape && !XGetPixel(shape, x, y)) image->Rgba[(size_t(y) * image->Width + x) * 4 + 3] = 0;
    }
  XDestroyImage(picture);
  if (shape) XDestroyImage(shape);
  return true;
}

void Client::Move(Window w, int x, int y) {
  int left = 0, top = 0;
  Window child;
  XTranslateCoordinates(D, w, DefaultRootWindow(D), 0, 0, &left, &top, &child);
  XTestFakeMotionEvent(D, DefaultScreen(D), left + x, top + y, CurrentTime);
  XSync(D, False);
}

void Client::Button(int button, bool press) {
  XTestFakeButtonEvent(D, button, press, CurrentTime);
  XSync(D, False);
}

void Client::Key(unsigned long keysym, bool press) {
  KeyCode code = XKeysymToKeycode(D, keysym);
  if (!code) return;
  XTestFakeKeyEvent(D, code, press, CurrentTime);
  XSync(D, False);
}

bool Client::KeyFor(unsigned long keysym, bool* shifted) {
  KeyCode code = XKeysymToKeycode(D, keysym);
  if (!code) {
    int min = 0, max = 0, per = 0;
    XDisplayKeycodes(D, &min, &max);
    KeySym* map = XGetKeyboardMapping(D, static_cast<KeyCode>(min), max - min + 1, &per);
    for (int k = max; k >= min && !code; --k) {
      bool empty = true;
      for (int i = 0; i < per && empty; ++i) empty = map[(k - min) * per + i] == NoSymbol;
      if (!empty) continue;
      KeySym one = keysym;
      XChangeKeyboardMapping(D, k, 1, &one, 1);
      XSync(D, False);
      code = static_cast<KeyCode>(k);
    }
    XFree(map);
    *shifted = false;
    return code != 0;
  }
  *shifted = XkbKeycodeToKeysym(D, code, 0, 0) != keysym && XkbKeycodeToKeysym(D, code, 0, 1) == keysym;
  return true;
}

bool Client::Selects(Window w, long events) {
  XWindowAttributes attributes;
  return XGetWindowAttributes(D, w, &attributes) && (attributes.all_event_masks & events);
}

Window Client::TopLevel(Window w) {
  Window root = DefaultRootWindow(D);
  for (int depth = 0; depth < 16; ++depth) {
    Window top, parent, *children = nullptr;
    unsigned int count;
    if (!XQueryTree(D, w, &top, &parent, &children, &count)) break;
    if (children) XFree(children);
    if (parent == root || parent == None) break;
    w = parent;
  }
  return w;
}

void Client::Activate(Window w) {
  // Source 2: a pager, whose requests window managers honour at once.
  Send(D, DefaultRootWindow(D), w, Intern(D, "_NET_ACTIVE_WINDOW"),
       SubstructureRedirectMask | SubstructureNotifyMask, {2, CurrentTime, 0});
}

void Client::Uncover(Window w, int x, int y) {
  Window root = DefaultRootWindow(D);
  auto covered = [&] {
    int rx, ry, cx, cy;
    Window child, at = root;
    if (!XTranslateCoordinates(D, w, root, x, y, &rx, &ry, &child)) return false;
    // The deepest window under the point...
    for (int depth = 0; depth < 16; ++depth) {
      if (!XTranslateCoordinates(D, root, at, rx, ry, &cx, &cy, &child) || child == None) break;
      at = child;
    }
    // ...is w or within it.
    for (int depth = 0; depth < 16 && at != root && at != None; ++depth) {
      if (at == w) return false;
      Window top, parent = None, *children = nullptr;
      unsigned int count;
      if (!XQueryTree(D, at, &top, &parent, &children, &count)) return false;
      if (children) XFree(children);
      at = parent;
    }
    return true;
  };
  if (!covered()) return;
  if (HasWindowManager())
    Activate(w);
  else
    XRaiseWindow(D, TopLevel(w));
  XSync(D, False);
  WaitFor([&] { return !covered(); }, 1000);
}

void Client::Focus(Window w) {
  auto focused = [&] {
    Window focus;
    int revert;
    XGetInputFocus(D, &focus, &revert);
    return focus == w;
  };
  if (focused()) return;
  if (HasWindowManager()) {
    Activate(w);
    if (WaitFor(focused, 1000)) return;
  }
  XSetInputFocus(D, w, RevertToPointerRoot, CurrentTime);
  XSync(D, False);
}

void Client::Close(Window w, int format) {
  Send(D, w, w, Intern(D, "WM_PROTOCOLS"), NoEventMask, {static_cast<long>(Intern(D, "WM_DELETE_WINDOW"))},
       format);
}

void Client::CloseThroughManager(Window w) {
  if (!HasWindowManager()) return Close(w);
  // Source 2, as if the user asked through a pager or the window's close button.
  Send(D, DefaultRootWindow(D), w, Intern(D, "_NET_CLOSE_WINDOW"),
       SubstructureRedirectMask | SubstructureNotifyMask, {CurrentTime, 2});
}

bool Client::HasWindowManager() {
  Atom check = Intern(D, "_NET_SUPPORTING_WM_CHECK"), type;
  int format;
  unsigned long count, after;
  unsigned char* data = nullptr;
  Window manager = None;
  if (XGetWindowProperty(D, DefaultRootWindow(D), check, 0, 1, False, XA_WINDOW, &type, &format, &count,
                         &after, &data) == Success &&
      data) {
    if (count == 1) manager = *reinterpret_cast<Window*>(data);
    XFree(data);
  }
  XWindowAttributes attributes;
  return manager != None && XGetWindowAttributes(D, manager, &attributes);
}

}  // namespace drive
