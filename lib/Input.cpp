// Colours beyond the palette, and the keyboard and pointer: what key and
// pointer events carry, the callbacks that take them, the events a window
// selects for its callbacks, and the keys let go while an alert box was up.
#include <poll.h>

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

#include "internal.h"

// ---------------------------------------------------------------------------
// Colours from red, green and blue
// ---------------------------------------------------------------------------

color RGBColor(int red, int green, int blue) {
  return slate::Kept() ? slate::Kept()->AllocateColor(red, green, blue) : Black;
}

color slate::Runtime::AllocateColor(int red, int green, int blue) {
  red = std::clamp(red, 0, 255);
  green = std::clamp(green, 0, 255);
  blue = std::clamp(blue, 0, 255);
  color value = static_cast<color>(slate::RGBColorBase + (red << 16) + (green << 8) + blue);
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

// ---------------------------------------------------------------------------
// What key and pointer events carry
// ---------------------------------------------------------------------------

Key slate::ReadKey(XKeyEvent& event, bool repeat) {
  char text[32];
  KeySym typed = NoSymbol;
  int length =
      std::clamp(XLookupString(&event, text, sizeof text, &typed, nullptr), 0, static_cast<int>(sizeof text));
  // The key itself, without Shift and Caps Lock: a press and its release
  // name the same key whatever happened to those meanwhile.
  XKeyEvent plain = event;
  plain.state &= ~static_cast<unsigned int>(ShiftMask | LockMask);
  KeySym symbol = NoSymbol;
  char ignored[32];
  XLookupString(&plain, ignored, sizeof ignored, &symbol, nullptr);
  return Key{symbol != NoSymbol ? symbol : typed, std::string(text, static_cast<size_t>(length)), repeat};
}

namespace {

// How long a release waits for an auto-repeat's press when none is queued,
// milliseconds. The server sends the two together, but now and then in two
// writes; the press is readable a fraction of a millisecond later.
constexpr int RepeatPressWait = 5;

}  // namespace

bool slate::TakeRepeatPress(XEvent& event) {
  if (XEventsQueued(display, QueuedAfterReading) == 0) {
    pollfd connection = {ConnectionNumber(display), POLLIN, 0};
    if (poll(&connection, 1, RepeatPressWait) <= 0 || XEventsQueued(display, QueuedAfterReading) == 0)
      return false;
  }
  XEvent next;
  XPeekEvent(display, &next);
  if (next.type != KeyPress || next.xkey.window != event.xkey.window ||
      next.xkey.keycode != event.xkey.keycode || next.xkey.time != event.xkey.time)
    return false;
  XNextEvent(display, &event);
  return true;
}

namespace {

// Finds a motion of one window in the queue, with the same buttons held,
// but none behind a button event of that window: a drag never runs on past
// its button's release, nor a move into a drag.
struct MotionSearch {
  Window Id;
  unsigned int Buttons;
  bool Blocked;
};

Bool LaterMotion(Display*, XEvent* event, XPointer search) {
  MotionSearch* s = reinterpret_cast<MotionSearch*>(search);
  if (event->xany.window != s->Id || s->Blocked) return False;
  if (event->type == ButtonPress || event->type == ButtonRelease) s->Blocked = true;
  if (event->type != MotionNotify) return False;
  if ((event->xmotion.state & slate::AnyButtonMask) != s->Buttons) {
    s->Blocked = true;
    return False;
  }
  return True;
}

}  // namespace

void slate::TakeLatestMotion(XEvent& event) {
  XEvent later;
  MotionSearch search{event.xmotion.window, event.xmotion.state & slate::AnyButtonMask, false};
  // Each search starts at the head of the queue.
  while (XCheckIfEvent(display, &later, LaterMotion, reinterpret_cast<XPointer>(&search))) {
    event = later;
    search.Blocked = false;
  }
}

// ---------------------------------------------------------------------------
// SimpleWindow: key and pointer callbacks
// ---------------------------------------------------------------------------

long SimpleWindow::InputMask() const {
  long mask = NormalWindowEventMask;
  if (MouseClickCallback || MousePressCallback || MouseReleaseCallback || MouseDragCallback)
    mask |= ButtonEventMask;
  // Presses come with either key callback: an auto-repeat's release is known
  // by the press behind it.
  if (KeyPressCallback || KeyReleaseCallback) mask |= KeyEventMask;
  if (MouseDragCallback) mask |= DragEventMask;
  if (MouseMoveCallback) mask |= MoveEventMask;
  return mask;
}

void SimpleWindow::SelectInput() {
  if (IsLive()) XSelectInput(display, WindowId, InputMask());
}

void SimpleWindow::SetKeyPressCallback(int (*const& f)(const Key&)) {
  SetKeyPressCallback(slate::Callback<const Key&>(f));
}

void SimpleWindow::SetKeyReleaseCallback(int (*const& f)(const Key&)) {
  SetKeyReleaseCallback(slate::Callback<const Key&>(f));
}

void SimpleWindow::SetMousePressCallback(int (*const& f)(const Position&, int)) {
  SetMousePressCallback(slate::Callback<const Position&, int>(f));
}

void SimpleWindow::SetMouseReleaseCallback(int (*const& f)(const Position&, int)) {
  SetMouseReleaseCallback(slate::Callback<const Position&, int>(f));
}

void SimpleWindow::SetMouseDragCallback(int (*const& f)(const Position&)) {
  SetMouseDragCallback(slate::Callback<const Position&>(f));
}

void SimpleWindow::SetMouseMoveCallback(int (*const& f)(const Position&)) {
  SetMouseMoveCallback(slate::Callback<const Position&>(f));
}

void SimpleWindow::SetResizeCallback(int (*const& f)(const Position&)) {
  SetResizeCallback(slate::Callback<const Position&>(f));
}

void SimpleWindow::SetKeyPressCallback(slate::Callback<const Key&> f) {
  KeyPressCallback = std::move(f);
  SelectInput();
  slate::Pump();
}

void SimpleWindow::SetKeyReleaseCallback(slate::Callback<const Key&> f) {
  KeyReleaseCallback = std::move(f);
  SelectInput();
  slate::Pump();
}

void SimpleWindow::SetMousePressCallback(slate::Callback<const Position&, int> f) {
  MousePressCallback = std::move(f);
  SelectInput();
  slate::Pump();
}

void SimpleWindow::SetMouseReleaseCallback(slate::Callback<const Position&, int> f) {
  MouseReleaseCallback = std::move(f);
  SelectInput();
  slate::Pump();
}

void SimpleWindow::SetMouseDragCallback(slate::Callback<const Position&> f) {
  MouseDragCallback = std::move(f);
  SelectInput();
  slate::Pump();
}

void SimpleWindow::SetMouseMoveCallback(slate::Callback<const Position&> f) {
  MouseMoveCallback = std::move(f);
  SelectInput();
  slate::Pump();
}

void SimpleWindow::SetResizeCallback(slate::Callback<const Position&> f) {
  ResizeCallback = std::move(f);
  slate::Pump();
}

int SimpleWindow::KeyPressEvent(const Key& key) {
  return KeyPressCallback ? KeyPressCallback(key) : 0;
}

int SimpleWindow::KeyReleaseEvent(const Key& key) {
  return KeyReleaseCallback ? KeyReleaseCallback(key) : 0;
}

int SimpleWindow::MousePressEvent(const Position& at, int button) {
  return MousePressCallback ? MousePressCallback(at, button) : 0;
}

int SimpleWindow::MouseReleaseEvent(const Position& at, int button) {
  return MouseReleaseCallback ? MouseReleaseCallback(at, button) : 0;
}

int SimpleWindow::MouseDragEvent(const Position& at) {
  return MouseDragCallback ? MouseDragCallback(at) : 0;
}

int SimpleWindow::MouseMoveEvent(const Position& at) {
  return MouseMoveCallback ? MouseMoveCallback(at) : 0;
}

int SimpleWindow::ResizeEvent(const Position& size) {
  return ResizeCallback ? ResizeCallback(size) : 0;
}

// ---------------------------------------------------------------------------
// Keys let go while the program was not listening
// ---------------------------------------------------------------------------

namespace {

// The presses of the keys delivered as pressed and not yet as released, by
// window and key.
std::map<std::pair<Window, unsigned int>, XKeyEvent> HeldKeys;

}  // namespace

void slate::NoteKey(const XKeyEvent& event, bool down) {
  auto key = std::make_pair(event.window, event.keycode);
  if (down)
    HeldKeys[key] = event;
  else
    HeldKeys.erase(key);
}

std::vector<XEvent> slate::MissedKeyReleases() {
  std::vector<XEvent> releases;
  if (HeldKeys.empty()) return releases;
  char down[32];
  XQueryKeymap(display, down);
  for (auto held = HeldKeys.begin(); held != HeldKeys.end();) {
    const XKeyEvent& press = held->second;
    if (!WinManager.GetWindow(press.window)) {
      held = HeldKeys.erase(held);  // its window has closed
      continue;
    }
    if (!(down[press.keycode / 8 % 32] & (1 << press.keycode % 8))) {
      XEvent release{};
      release.xkey = press;
      release.type = KeyRelease;
      releases.push_back(release);
    }
    ++held;
  }
  return releases;
}
