// The one event loop (see event_loop.h): the registry, the handler table,
// the modes, timers, and the look-ahead of key and pointer events. Nothing
// else in the library reads the X queue.
#include "event_loop.h"

#include <poll.h>
#include <sys/time.h>

#include <algorithm>
#include <array>
#include <climits>
#include <iostream>

#include "keys.h"
#include "owner.h"
#include "runtime.h"

namespace slate {

namespace {

// What an event is to the loop's modes.
enum Kind : unsigned {
  Other = 0,
  Input = 1,        // keys, buttons, motion
  Close = 2,        // client messages: the window manager's close request
  Destruction = 4,  // a window destroyed, or asked to close by Terminate
  Structure = 8,    // moved, resized, mapped, reparented
  Exposure = 16,
  Keyboard = 32,      // the keyboard's mapping changed
  Showing = 64,       // a window's visibility
  FocusChange = 128,  // the keyboard's focus
};

// The buttons a pointer event's state may hold.
constexpr unsigned int AnyButtonMask = Button1Mask | Button2Mask | Button3Mask | Button4Mask | Button5Mask;

// ---------------------------------------------------------------------------
// The handler table: for each event type, its kind, its filter (none: every
// event passes) and its handler, one small function each.
// ---------------------------------------------------------------------------

using Filter = bool (*)(XEvent& event, Target* target);
using Handler = int (*)(XEvent& event, Target* target);

struct Row {
  unsigned Of = Other;
  Handler Handle = nullptr;
  Filter Accept = nullptr;
  bool Anywhere = false;  // concerns no window: handled without a target
};

int ButtonPressed(XEvent& event, Target* target) {
  return target->Pressed(event.xbutton);
}

int ButtonReleased(XEvent& event, Target* target) {
  return target->Released(event.xbutton);
}

int PointerMoved(XEvent& event, Target* target) {
  // With a button held the pointer drags; without, it moves.
  bool held = event.xmotion.state & AnyButtonMask;
  if (!(target->Takes() & (held ? DragEventMask : MoveEventMask))) return 2;
  Loop().TakeLatestMotion(event);
  return target->Moved(event.xmotion, held);
}

int PointerEntered(XEvent& event, Target* target) {
  if (!(target->Takes() & EnterEventMask)) return 2;
  return target->Crossed(event.xcrossing, true);
}

int PointerLeft(XEvent& event, Target* target) {
  if (!(target->Takes() & LeaveEventMask)) return 2;
  return target->Crossed(event.xcrossing, false);
}

int KeyPressed(XEvent& event, Target* target) {
  // Keys reach only targets that take them.
  if (!(target->Takes() & KeyEventMask)) return 2;
  // A press of keycode 0 is the input method's, with the text it commits.
  if (event.xkey.keycode) Loop().NoteKey(event.xkey, true);
  return target->KeyPressed(ReadKey(event.xkey, false, target->Input));
}

int KeyReleased(XEvent& event, Target* target) {
  if (!(target->Takes() & KeyEventMask)) return 2;
  // Half of an auto-repeat: the press behind it comes instead, as a repeat.
  if (Loop().TakeRepeatPress(event)) return target->KeyPressed(ReadKey(event.xkey, true, target->Input));
  Loop().NoteKey(event.xkey, false);
  return target->KeyReleased(ReadKey(event.xkey, false, target->Input));
}

int Exposed(XEvent&, Target* target) {
  return target->Exposed();
}

int Destroyed(XEvent& event, Target* target) {
  // Not sent by a program (Terminate's request), but reported by the server:
  // another client destroyed the window.
  return target->Destroyed(!event.xany.send_event);
}

int Configured(XEvent& event, Target* target) {
  return target->Configured(event.xconfigure);
}

int Reparented(XEvent& event, Target* target) {
  return target->Reparented(event.xreparent.parent != RootWindow(display, ScreenNbr));
}

int FocusWent(XEvent& event, Target* target) {
  // Not the focus moving within the window, or a grab's.
  if (event.xfocus.detail == NotifyInferior || event.xfocus.mode != NotifyNormal) return 2;
  return target->FocusLost();
}

int CloseRequest(XEvent& event, Target* target) {
  return Kept() && Kept()->IsCloseRequest(event.xclient) ? target->CloseRequested() : 2;
}

// The pointer crossing the window's edge itself: not the crossings a grab
// makes (a window manager's, or a button held) without a move.
bool Crossing(XEvent& event, Target*) {
  return event.xcrossing.mode == NotifyNormal;
}

// Only the last exposure of a series repaints.
bool LastOfSeries(XEvent& event, Target*) {
  return event.xexpose.count == 0;
}

bool Changed(XEvent& event, Target* target) {
  return !target || !target->Unchanged(event.xconfigure);
}

// A change of the keyboard's mapping is taken in, and goes no further.
bool Remapped(XEvent& event, Target*) {
  XRefreshKeyboardMapping(&event.xmapping);
  return false;
}

const Row& RowOf(int type) {
  static const std::array<Row, LASTEvent> table = [] {
    std::array<Row, LASTEvent> t{};
    t[ButtonPress] = {Input, ButtonPressed};
    t[ButtonRelease] = {Input, ButtonReleased};
    t[MotionNotify] = {Input, PointerMoved};
    t[EnterNotify] = {Input, PointerEntered, Crossing};
    t[LeaveNotify] = {Input, PointerLeft, Crossing};
    t[KeyPress] = {Input, KeyPressed};
    t[KeyRelease] = {Input, KeyReleased};
    t[Expose] = {Exposure, Exposed, LastOfSeries};
    t[DestroyNotify] = {Destruction, Destroyed};
    t[ConfigureNotify] = {Structure, Configured, Changed};
    t[ReparentNotify] = {Structure, Reparented};
    for (int type : {MapNotify, UnmapNotify, GravityNotify, CirculateNotify}) t[type] = {Structure};
    t[ClientMessage] = {Close, CloseRequest};
    t[FocusOut] = {FocusChange, FocusWent};
    t[FocusIn] = {FocusChange};
    t[MappingNotify] = {Keyboard, nullptr, Remapped, true};
    t[VisibilityNotify] = {Showing};
    return t;
  }();
  static const Row none;
  return type >= 0 && type < LASTEvent ? table[type] : none;
}

Bool OfKinds(Display*, XEvent* event, XPointer kinds) {
  return (RowOf(event->type).Of & *reinterpret_cast<unsigned*>(kinds)) != 0;
}

// How long a new window is waited for to be shown, milliseconds: a window
// manager may take its time, or never map the window at all.
constexpr int ShowWait = 3000;

Bool ShownOrGone(Display*, XEvent* event, XPointer window) {
  return event->xany.window == *reinterpret_cast<Window*>(window) &&
         (RowOf(event->type).Of & (Showing | Destruction)) != 0;
}

// How long a release waits for an auto-repeat's press when none is queued,
// milliseconds. The server sends the two together, but now and then in two
// writes; the press is readable a fraction of a millisecond later.
constexpr int RepeatPressWait = 5;

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
  if ((event->xmotion.state & AnyButtonMask) != s->Buttons) {
    s->Blocked = true;
    return False;
  }
  return True;
}

void Sleep(int timeout) {
  pollfd connection = {ConnectionNumber(display), POLLIN, 0};
  poll(&connection, 1, timeout);
}

}  // namespace

EventLoop& Loop() {
  // Never destroyed: windows close while globals are destroyed, in
  // whatever order those go.
  static auto* loop = new EventLoop;
  return *loop;
}

// ---------------------------------------------------------------------------
// The registry
// ---------------------------------------------------------------------------

void EventLoop::Add(Target& target) {
  Targets.push_back(&target);
  if (target.Window()) ++WindowCount;
}

void EventLoop::Remove(Target& target) {
  auto found = std::find(Targets.rbegin(), Targets.rend(), &target);
  if (found == Targets.rend()) return;
  Targets.erase(std::next(found).base());
  if (target.Window()) --WindowCount;
}

Target* EventLoop::Find(unsigned long id) const {
  for (auto t = Targets.rbegin(); t != Targets.rend(); ++t)
    if ((*t)->Id == id) return *t;
  return nullptr;
}

SimpleWindow* EventLoop::FindWindow(unsigned long id) const {
  for (auto t = Targets.rbegin(); t != Targets.rend(); ++t)
    if ((*t)->Id == id && (*t)->Window()) return (*t)->Window();
  return nullptr;
}

std::vector<SimpleWindow*> EventLoop::ProgramWindows() const {
  std::vector<SimpleWindow*> windows;
  for (auto t = Targets.rbegin(); t != Targets.rend(); ++t)
    if (SimpleWindow* w = (*t)->Window()) windows.push_back(w);
  return windows;
}

bool EventLoop::Forgives(const XErrorEvent& error) {
  // No request may be made here: the target is marked, and the DestroyNotify
  // the server sent before this error closes it.
  for (Target* target : Targets) {
    if (error.resourceid == target->Id) {
      target->Gone = true;
      return true;
    }
    if (target->Canvas.Backing() && error.resourceid == target->Canvas.Backing()) return true;
  }
  return false;
}

bool OursGone(const XErrorEvent& error) {
  return Loop().Forgives(error);
}

// ---------------------------------------------------------------------------
// Taking events
// ---------------------------------------------------------------------------

bool EventLoop::TakeAny(XEvent& event) {
  if (!Deferred.empty()) {
    event = Deferred.front();
    Deferred.pop_front();
    return true;
  }
  if (XPending(display) <= 0) return false;
  XNextEvent(display, &event);
  return true;
}

bool EventLoop::TakeOf(unsigned kinds, XEvent& event) {
  for (auto e = Deferred.begin(); e != Deferred.end(); ++e) {
    if (!(RowOf(e->type).Of & kinds)) continue;
    event = *e;
    Deferred.erase(e);
    return true;
  }
  return XCheckIfEvent(display, &event, OfKinds, reinterpret_cast<XPointer>(&kinds));
}

bool EventLoop::TakeRepeatPress(XEvent& event) {
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

void EventLoop::TakeLatestMotion(XEvent& event) {
  XEvent later;
  MotionSearch search{event.xmotion.window, event.xmotion.state & AnyButtonMask, false};
  // Each search starts at the head of the queue.
  while (XCheckIfEvent(display, &later, LaterMotion, reinterpret_cast<XPointer>(&search))) {
    event = later;
    search.Blocked = false;
  }
}

void EventLoop::NoteKey(const XKeyEvent& event, bool down) {
  auto key = std::make_pair(event.window, event.keycode);
  if (down)
    HeldKeys[key] = event;
  else
    HeldKeys.erase(key);
}

std::vector<XEvent> EventLoop::MissedKeyReleases() {
  std::vector<XEvent> releases;
  if (HeldKeys.empty()) return releases;
  char down[32];
  XQueryKeymap(display, down);
  for (auto held = HeldKeys.begin(); held != HeldKeys.end();) {
    const XKeyEvent& press = held->second;
    if (!FindWindow(press.window)) {
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

// ---------------------------------------------------------------------------
// The route
// ---------------------------------------------------------------------------

int EventLoop::Route(XEvent& event) {
  Target* target = Find(event.xany.window);
  const Row& row = RowOf(event.type);
  if (!target && !row.Anywhere) return 2;
  // While a box is up, the program's other windows take no input and no
  // close request, and their destruction (which runs quit callbacks and may
  // end the program) waits, in order, until the last box has gone.
  if (target && Modal() && target->Dialog != Boxes.back()) {
    if (row.Of & (Input | Close)) return 2;
    if (row.Of & Destruction) {
      if (!event.xany.send_event) target->Gone = true;
      KeptWhileModal.push_back(event);
      return 2;
    }
  }
  if (!Accepts(event, target)) return 2;
  return Dispatch(event, target);
}

bool EventLoop::Accepts(XEvent& event, Target* target) {
  // An input method may take the event.
  if (XFilterEvent(&event, None)) return false;
  const Row& row = RowOf(event.type);
  return !row.Accept || row.Accept(event, target);
}

int EventLoop::Dispatch(XEvent& event, Target* target) {
  const Row& row = RowOf(event.type);
  if (!row.Handle || !target) return 2;
  return row.Handle(event, target);
}

// ---------------------------------------------------------------------------
// The modes
// ---------------------------------------------------------------------------

int EventLoop::Run() {
  int keepGoing = 1;
  while (keepGoing && WindowCount > 0) {
    XEvent event;
    if (TakeAny(event))
      keepGoing = Route(event);
    else
      Wait();
    CheckTimers();
    Surface::PresentAll();
  }
  return keepGoing;
}

void EventLoop::Pump() {
  // One flush at the end sends what the caller drew with its copy to the
  // window: a flush is a write to the connection, and a drawing call from
  // ApiMain makes one.
  // A pass already running further up, or a box's, decides alone.
  if (!Pumping && !Modal()) {
    Pumping = true;
    AtExit done([this] { Pumping = false; });
    // The queue is read again only when it may hold something new: other
    // than what the last pass left, or, at most once a millisecond, what
    // the connection brought.
    bool changed = !Deferred.empty() || XQLength(display) != LeftQueued;
    auto now = std::chrono::steady_clock::now();
    if (!changed && now - LastRead >= std::chrono::milliseconds(1)) {
      LastRead = now;
      changed = XEventsQueued(display, QueuedAfterReading) != LeftQueued;
    }
    if (changed) {
      XEvent event;
      while (TakeOf(Structure | Destruction | Close, event)) Route(event);
      LeftQueued = XQLength(display);
    }
    CheckTimers();
  }
  Surface::PresentAll();
  XFlush(display);
}

void EventLoop::RunModal(const Target& box, const bool& up) {
  Boxes.push_back(&box);
  // However the box's loop ends (a program's callback may throw), the box
  // goes from the stack, and what was kept from the windows beneath comes
  // back to be routed again: first the keys let go meanwhile, then the
  // destruction of windows. Beneath another box, that box's loop keeps
  // what is not its own again.
  AtExit restore([this] {
    Boxes.pop_back();
    std::vector<XEvent> releases = MissedKeyReleases();
    Deferred.insert(Deferred.begin(), KeptWhileModal.begin(), KeptWhileModal.end());
    Deferred.insert(Deferred.begin(), releases.begin(), releases.end());
    KeptWhileModal.clear();
    XFlush(display);
  });
  while (up) {
    XEvent event;
    if (TakeAny(event))
      Route(event);
    else
      Wait();
    Surface::PresentAll();
  }
}

EventLoop::Showing EventLoop::AwaitShown(unsigned long window) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ShowWait);
  XEvent event;
  Window id = window;
  for (;;) {
    if (XCheckIfEvent(display, &event, ShownOrGone, reinterpret_cast<XPointer>(&id))) break;
    // The check flushed the requests and took in what had come: the next
    // event is still to arrive.
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return Showing::NotInTime;
    Sleep(static_cast<int>(left.count()));
  }
  if (RowOf(event.type).Of & Destruction) {
    // Closes the window once it is registered.
    Deferred.push_back(event);
    return Showing::Destroyed;
  }
  return event.xvisibility.state == VisibilityFullyObscured ? Showing::Obscured : Showing::Shown;
}

void EventLoop::TakeFirstExposure(unsigned long window) {
  // Visible may still mean that only the border is on the screen, and the
  // interior gets no exposure. The server reports a window's exposure right
  // after its visibility, so once a round trip has followed, an exposure not
  // in the queue is not coming.
  XEvent event;
  if (!XCheckWindowEvent(display, window, ExposureMask, &event)) {
    XSync(display, False);
    XCheckWindowEvent(display, window, ExposureMask, &event);
  }
}

void EventLoop::Wait() {
  Surface::PresentAll();
  if (!Deferred.empty() || XPending(display) > 0) return;
  int timeout = NextTimerDue();
  if (timeout == 0) return;
  // Whatever was asked of the server since (a shutdown request, say) must
  // reach it before the program sleeps; flushing may also queue events.
  XFlush(display);
  if (XQLength(display) > 0) return;
  Sleep(timeout);
}

// ---------------------------------------------------------------------------
// Timers
// ---------------------------------------------------------------------------

void EventLoop::CheckTimers() {
  if (Modal()) return;  // timers pause while a box is up
  // Timer callbacks may close windows or open new ones: walk a snapshot,
  // the newest first, and check that each is still registered with a
  // running timer before polling it.
  std::vector<Target*> running;
  for (auto t = Targets.rbegin(); t != Targets.rend(); ++t)
    if ((*t)->TimerRunning()) running.push_back(*t);
  for (Target* target : running)
    if (std::find(Targets.begin(), Targets.end(), target) != Targets.end() && target->TimerRunning())
      target->CheckTimer();
}

int EventLoop::NextTimerDue() const {
  if (Modal()) return -1;
  int timeout = -1;
  unsigned int now = 0;
  bool clockRead = false;
  for (const Target* target : Targets) {
    if (!target->TimerRunning()) continue;
    // The clock is read only when a timer runs.
    if (!clockRead) {
      now = GetMilliseconds();
      clockRead = true;
    }
    unsigned int remaining = target->TimerLeft(now);
    int wait = remaining > static_cast<unsigned int>(INT_MAX) ? INT_MAX : static_cast<int>(remaining);
    if (timeout < 0 || wait < timeout) timeout = wait;
  }
  return timeout;
}

// ---------------------------------------------------------------------------
// The shutdown request
// ---------------------------------------------------------------------------

void EventLoop::Terminate() {
  if (!display || WindowCount == 0) return;
  // A window that another client has destroyed, and whose destruction has
  // not been dispatched yet, cannot take the request (the error is
  // forgiven); its own DestroyNotify closes it.
  for (auto t = Targets.rbegin(); t != Targets.rend(); ++t) {
    if (!(*t)->Window() || (*t)->Gone) continue;
    unsigned long id = (*t)->Id;
    XEvent event{};
    event.xdestroywindow.type = DestroyNotify;
    event.xdestroywindow.send_event = True;
    event.xdestroywindow.display = display;
    event.xdestroywindow.event = id;
    event.xdestroywindow.window = id;
    XSendEvent(display, id, False, StructureNotifyMask, &event);
  }
  // Back from the server before the caller goes on: the next pass of the
  // pump or the loop closes the windows.
  XSync(display, False);
}

void Pump() {
  if (display && !Loop().ApiMainDone) Loop().Pump();
}

void Show() {
  if (!display || Loop().ApiMainDone) return;
  Surface::PresentAll();
  XFlush(display);
}

void ShutDown(std::ostream& stream, const std::string& message) {
  stream << message << std::flush;
  Loop().Terminate();
}

}  // namespace slate

void Terminate() {
  slate::Loop().Terminate();
}

unsigned int GetMilliseconds() {
  static unsigned int LastGoodTime = 0;
  struct timeval tv;
  if (gettimeofday(&tv, nullptr) == -1) {
    slate::ShutDown(std::cout, "A clock error occured\n");
    return LastGoodTime;
  }
  LastGoodTime = static_cast<unsigned int>(tv.tv_sec) * 1000u + static_cast<unsigned int>(tv.tv_usec / 1000);
  return LastGoodTime;
}
