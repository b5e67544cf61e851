// The window runtime (display, palette, registry of open windows, event
// routing, timers) and SimpleWindow (lifecycle, callbacks, drawing).
#include <poll.h>
#include <sys/time.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "internal.h"

using slate::PaletteColor;
using slate::PointerAt;
using slate::Pump;
using slate::ToShort;
using slate::ToSize;

// ---------------------------------------------------------------------------
// Process-wide state
// ---------------------------------------------------------------------------

int ScreenNbr;
float PixelsPerCentimeter;
Display* display;
// Constructed before, and destroyed after, every global object of an
// application with default priority, whatever order the translation units
// are linked in: application globals may open windows in their destructors.
__attribute__((init_priority(110))) WindowManager WinManager;
unsigned long ColorTable[MaxColors];
unsigned long ButtonColorTable[NbrButtonColors];

// Every program needs this unit; its reference brings the library's main
// into every program that links the installed library.
__attribute__((used)) static const int* const NeedsEntryPoint = &slate::EntryPoint;

const char* ColorName[MaxColors] = {"black", "white",   "red1",  "green1",
                                    "blue1", "yellow1", "cyan1", "magenta1"};
const char* SecondChoiceColors[MaxColors] = {"black", "white",   "red2",  "green2",
                                             "blue2", "yellow2", "cyan2", "magenta2"};
const char* ButtonColorName[NbrButtonColors] = {"gray85", "gray92", "gray41"};
const char* SecondChoiceButtonColors[NbrButtonColors] = {"gray86", "gray93", "gray42"};

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

void Terminate() {
  WinManager.Terminate();
}

// ---------------------------------------------------------------------------
// What the runtime keeps for the life of the display
// ---------------------------------------------------------------------------

namespace {
slate::Runtime* KeptResources = nullptr;

// libX11 cannot free a very large number of colours in one request: they
// go back in batches.
constexpr size_t ColorsFreedAtOnce = 4096;
}  // namespace

slate::Runtime* slate::Kept() {
  return KeptResources;
}

slate::Runtime::Runtime() {
  // The contexts every drawing call of every window uses: drawables of the
  // screen's depth share them, window and backing pixmap alike.
  Window root = RootWindow(display, ScreenNbr);
  PaintGC = GetGraphicsContext(root, ColorTable[Black], ColorTable[White]);
  LineGC = GetGraphicsContext(root, ColorTable[Black], ColorTable[Black]);
  // Copies come from pixmaps, which are never obscured: the NoExpose event
  // the server would send for each copy tells nothing, and would pile up
  // in the queue while ApiMain runs.
  XSetGraphicsExposures(display, PaintGC, False);
}

slate::Runtime::~Runtime() {
  ReleaseText();
  std::vector<unsigned long> pixels;
  for (const auto& allocated : RGBValues) pixels.push_back(allocated.second);
  Colormap colormap = DefaultColormap(display, ScreenNbr);
  for (size_t first = 0; first < pixels.size(); first += ColorsFreedAtOnce) {
    size_t count = std::min(ColorsFreedAtOnce, pixels.size() - first);
    XFreeColors(display, colormap, pixels.data() + first, static_cast<int>(count), 0);
  }
  for (auto font = Fonts.rbegin(); font != Fonts.rend(); ++font) XFreeFont(display, font->second);
  XFreeGC(display, LineGC);
  XFreeGC(display, PaintGC);
}

GC slate::Runtime::Paint(unsigned long foreground, unsigned long background) {
  // Xlib sends a change of the context only when a value differs.
  XSetForeground(display, PaintGC, foreground);
  XSetBackground(display, PaintGC, background);
  return PaintGC;
}

GC slate::Runtime::Line(unsigned long colour, int width) {
  // With foreground and background equal, the double-dash style paints the
  // dashes and the gaps alike: a solid line with round ends.
  XSetForeground(display, LineGC, colour);
  XSetBackground(display, LineGC, colour);
  XSetLineAttributes(display, LineGC, static_cast<unsigned int>(width), LineDoubleDash, CapRound, JoinRound);
  return LineGC;
}

GC slate::Runtime::Outline(unsigned long colour, int width) {
  XSetForeground(display, LineGC, colour);
  XSetLineAttributes(display, LineGC, static_cast<unsigned int>(width), LineSolid, CapButt, JoinMiter);
  return LineGC;
}

XFontStruct* slate::Runtime::Font(const std::string& name) {
  // Only a font that loaded is kept; a missing one is asked for again.
  auto kept = Fonts.find(name);
  if (kept != Fonts.end()) return kept->second;
  XFontStruct* font = XLoadQueryFont(display, name.c_str());
  if (font) Fonts.emplace(name, font);
  return font;
}

// ---------------------------------------------------------------------------
// WindowManager: start-up and shutdown
// ---------------------------------------------------------------------------

WindowManager::WindowManager()
    : ColorsAreObtained(0), ApiMainCompleted(0), WindowCount(0), ListHead(nullptr) {
  // This object is built before other globals, so make sure the standard
  // streams are ready for the messages below.
  static std::ios_base::Init streams;

  display = XOpenDisplay(nullptr);
  if (!display) {
    std::cerr << "ERROR opening display [" << XDisplayName(nullptr) << "]\n";
    exit(0);
  }
  ScreenNbr = DefaultScreen(display);
  slate::CatchErrors();
  PixelsPerCentimeter =
      floorf(static_cast<float>(static_cast<double>(DisplayWidth(display, ScreenNbr)) / DisplayLengthCM));
  // A screen narrower than 29 pixels would give a scale of 0 and divide by
  // zero in every conversion to centimetres.
  if (PixelsPerCentimeter < 1.0f) PixelsPerCentimeter = 1.0f;

  ColorsAreObtained = 0;
  if (InitializeColors(ColorName, SecondChoiceColors, ColorTable, MaxColors) &&
      InitializeColors(ButtonColorName, SecondChoiceButtonColors, ButtonColorTable, NbrButtonColors)) {
    ColorsAreObtained = 1;
    KeptResources = new slate::Runtime();
  }
}

WindowManager::~WindowManager() {
  if (ListHead) {
    std::cout << "Attempted to terminated the program with a nonempty "
              << "window manager\n";
    while (ListHead) {
      DispatchListEntry* entry = ListHead;
      if (entry->Win) entry->Win->Close();
      if (ListHead == entry) {
        ListHead = entry->Next;
        delete entry;
        --WindowCount;
      }
    }
  }
  if (!ColorsAreObtained) return;
  delete KeptResources;
  KeptResources = nullptr;
  XCloseDisplay(display);
  // Objects destroyed after this one find no connection to use.
  display = nullptr;
  slate::ReleaseFontconfig();
}

int WindowManager::InitializeColors(const char** names, const char** fallbacks, unsigned long* table,
                                    int count) {
  Colormap colormap = DefaultColormap(display, ScreenNbr);
  for (int i = 0; i < count; ++i) {
    XColor screen, exact;
    if (XAllocNamedColor(display, colormap, names[i], &screen, &exact) ||
        XAllocNamedColor(display, colormap, fallbacks[i], &screen, &exact)) {
      table[i] = screen.pixel;
      continue;
    }
    std::cerr << "In function: WindowManager\n"
              << "\tFailed to find a color match for colors: " << names[i] << " and " << fallbacks[i]
              << ".\n\tClose down any applications that might be using\n\t"
              << "these colors and try again.\n";
    return 0;
  }
  return 1;
}

int WindowManager::ColorsObtained() const {
  return ColorsAreObtained;
}
void WindowManager::ApiMainIsCompleted() {
  ApiMainCompleted = 1;
}
int WindowManager::IsApiMainCompleted() const {
  return ApiMainCompleted;
}
int WindowManager::Empty() const {
  return WindowCount == 0 ? 1 : 0;
}

int WindowManager::CheckTermination() {
  if (WindowCount != 0) return 1;
  ApiEnd();
  return 0;
}

void WindowManager::Terminate() {
  if (!display || !ListHead) return;
  // A window that another client has destroyed, and whose destruction has
  // not been dispatched yet, cannot take the request (the error is
  // forgiven); its own DestroyNotify closes it.
  for (DispatchListEntry* entry = ListHead; entry; entry = entry->Next) {
    if (entry->Win && entry->Win->XWindowGone) continue;
    unsigned long id = GetWindow(entry->Win);
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

// ---------------------------------------------------------------------------
// WindowManager: registry
// ---------------------------------------------------------------------------

int WindowManager::Register(SimpleWindow* window) {
  if (!window) {
    std::cout << "Error: Trying to register a nonexistent window.\n";
    return 0;
  }
  DispatchListEntry* entry = new (std::nothrow) DispatchListEntry(window, ListHead);
  if (!entry) {
    slate::ShutDown(std::cout,
                    "Error: Unable to allocate memory while trying to "
                    "register a window.\n");
    return 0;
  }
  ListHead = entry;
  ++WindowCount;
  return 1;
}

int WindowManager::Unregister(const unsigned long& id) {
  if (id == 0) {
    std::cout << "Window requested to remove doesn't exist\n";
    return 0;
  }
  DispatchListEntry* previous = nullptr;
  for (DispatchListEntry* entry = ListHead; entry; previous = entry, entry = entry->Next) {
    if (GetWindow(entry->Win) != id) continue;
    if (previous)
      previous->Next = entry->Next;
    else
      ListHead = entry->Next;
    delete entry;
    --WindowCount;
    return 1;
  }
  return 0;
}

SimpleWindow* WindowManager::GetWindow(const unsigned long& id) const {
  for (DispatchListEntry* entry = ListHead; entry; entry = entry->Next)
    if (GetWindow(entry->Win) == id) return entry->Win;
  return nullptr;
}

SimpleWindow* WindowManager::GetWindow(const XEvent& event) const {
  return GetWindow(event.xany.window);
}

unsigned long WindowManager::GetWindow(const SimpleWindow* window) const {
  return window ? window->WindowId : 0;
}

void WindowManager::DescribeContents() const {
  std::cout << "The windows manager contains the following elements:\n";
  for (DispatchListEntry* entry = ListHead; entry; entry = entry->Next)
    std::cout << "\t" << GetWindow(entry->Win) << std::endl;
}

// ---------------------------------------------------------------------------
// WindowManager: events and timers
// ---------------------------------------------------------------------------

int FilterEvent(XEvent* event, const SimpleWindow* window) {
  if (XFilterEvent(event, None)) return 0;
  switch (event->type) {
    case Expose:
      return event->xexpose.count == 0 ? 1 : 0;
    case ConfigureNotify: {
      const XConfigureEvent& c = event->xconfigure;
      if (l_to_d(window->GetWidth()) != c.width) return 1;
      if (l_to_d(window->GetHeight()) != c.height) return 1;
      if (l_to_d(window->GetXPosition()) != c.x) return 1;
      if (l_to_d(window->GetYPosition()) != c.y) return 1;
      return 0;
    }
    case MappingNotify:
      XRefreshKeyboardMapping(&event->xmapping);
      return 0;
    default:
      return 1;
  }
}

// ---------------------------------------------------------------------------
// Event handlers: one small function per event type, and one route to them
// ---------------------------------------------------------------------------

using slate::Dispatch;

int Dispatch::ButtonPressed(XEvent& event, SimpleWindow& window) {
  window.MousePressEvent(PointerAt(event.xbutton.x, event.xbutton.y), static_cast<int>(event.xbutton.button));
  return 1;
}

int Dispatch::ButtonReleased(XEvent& event, SimpleWindow& window) {
  Position at = PointerAt(event.xbutton.x, event.xbutton.y);
  window.MouseReleaseEvent(at, static_cast<int>(event.xbutton.button));
  // Unless the release callback closed the window.
  if (WinManager.GetWindow(event) == &window) window.MouseClickEvent(at);
  return 1;
}

int Dispatch::PointerMoved(XEvent& event, SimpleWindow& window) {
  // With a button held the pointer drags; without, it moves.
  bool held = event.xmotion.state & slate::AnyButtonMask;
  if (!(window.InputMask() & (held ? DragEventMask : MoveEventMask))) return 2;
  slate::TakeLatestMotion(event);
  Position at = PointerAt(event.xmotion.x, event.xmotion.y);
  held ? window.MouseDragEvent(at) : window.MouseMoveEvent(at);
  return 1;
}

int Dispatch::KeyPressed(XEvent& event, SimpleWindow& window) {
  // Keys reach only windows with key callbacks.
  if (!(window.InputMask() & KeyEventMask)) return 2;
  slate::NoteKey(event.xkey, true);
  window.KeyPressEvent(slate::ReadKey(event.xkey, false));
  return 1;
}

int Dispatch::KeyReleased(XEvent& event, SimpleWindow& window) {
  if (!(window.InputMask() & KeyEventMask)) return 2;
  // Half of an auto-repeat: the press behind it comes instead, as a repeat.
  if (slate::TakeRepeatPress(event)) {
    window.KeyPressEvent(slate::ReadKey(event.xkey, true));
  } else {
    slate::NoteKey(event.xkey, false);
    window.KeyReleaseEvent(slate::ReadKey(event.xkey, false));
  }
  return 1;
}

int Dispatch::Exposed(XEvent&, SimpleWindow& window) {
  window.RefreshEvent();
  return 1;
}

int Dispatch::Destroyed(XEvent& event, SimpleWindow& window) {
  MarkGone(event, window);
  return WinManager.CloseAWindow(&window);
}

void Dispatch::MarkGone(XEvent& event, SimpleWindow& window) {
  // A DestroyNotify from the server itself (not a shutdown request) means
  // another client destroyed the window: it must not be destroyed a second
  // time, nor drawn into.
  if (!event.xany.send_event) window.XWindowGone = 1;
}

int Dispatch::Configured(XEvent& event, SimpleWindow& window) {
  int width = window.PixelWidth, height = window.PixelHeight;
  window.ConfigureEvent(event);
  if (window.PixelWidth != width || window.PixelHeight != height)
    window.ResizeEvent(Position(d_to_l(window.PixelWidth), d_to_l(window.PixelHeight)));
  return 1;
}

int Dispatch::Reparented(XEvent& event, SimpleWindow& window) {
  // From now on the server reports the window's place relative to the
  // window manager's frame; only the manager's own reports are on the
  // screen's scale.
  window.Reparented = event.xreparent.parent != RootWindow(display, ScreenNbr);
  return 2;
}

int Dispatch::CloseRequest(XEvent& event, SimpleWindow& window) {
  if (IsWMCloseWindow(&event.xclient)) return WinManager.CloseAWindow(&window);
  return 2;
}

Dispatch::Handler Dispatch::For(int type) {
  // Event types without a handler are answered 2 and change nothing.
  static const std::array<Handler, LASTEvent> table = [] {
    std::array<Handler, LASTEvent> t{};
    t[ButtonPress] = ButtonPressed;
    t[ButtonRelease] = ButtonReleased;
    t[MotionNotify] = PointerMoved;
    t[KeyPress] = KeyPressed;
    t[KeyRelease] = KeyReleased;
    t[Expose] = Exposed;
    t[DestroyNotify] = Destroyed;
    t[ConfigureNotify] = Configured;
    t[ReparentNotify] = Reparented;
    t[ClientMessage] = CloseRequest;
    return t;
  }();
  return type >= 0 && type < LASTEvent ? table[type] : nullptr;
}

int WindowManager::DispatchMessage(XEvent& event, SimpleWindow* window) {
  Dispatch::Handler handler = Dispatch::For(event.type);
  return handler ? handler(event, *window) : 2;
}

int slate::Route(XEvent& event) {
  // A change of the keyboard's mapping concerns no window: the filter
  // takes it in.
  if (event.type == MappingNotify) {
    FilterEvent(&event, nullptr);
    return 2;
  }
  SimpleWindow* window = WinManager.GetWindow(event);
  if (!window || !FilterEvent(&event, window)) return 2;
  return WinManager.DispatchMessage(event, window);
}

int WindowManager::CloseAWindow(SimpleWindow* window) {
  unsigned long id = GetWindow(window);
  window->QuitEvent();
  // Unless the quit callback closed the window, or destroyed it.
  if (GetWindow(id) == window && window->GetStatus() == WindowIsOpen && window->Close() == WindowOpenFailed) {
    std::cout << "A window wasn't closed properly\n";
    return 2;
  }
  return CheckTermination() ? 1 : 0;
}

namespace {

// Whether the pump may find new events: the queue holds other than what the
// pump last left in it, or the connection has more. The connection is read
// at most once a millisecond: a read costs as much as the drawing call that
// runs the pump.
struct EventWatch {
  int Left = 0;  // events the pump left queued for the main loop
  std::chrono::steady_clock::time_point LastRead;
  bool Changed() {
    if (XQLength(display) != Left) return true;
    auto now = std::chrono::steady_clock::now();
    if (now - LastRead < std::chrono::milliseconds(1)) return false;
    LastRead = now;
    return XEventsQueued(display, QueuedAfterReading) != Left;
  }
};

}  // namespace

void WindowManager::CheckEvents() {
  static int Entered = 0;
  static EventWatch Watch;
  XFlush(display);
  // An alert box's loop decides alone what happens to events while it runs.
  if (Entered || slate::ModalLoopRunning()) return;
  Entered = 1;
  if (Watch.Changed()) {
    XEvent event;
    while (XCheckMaskEvent(display, StructureNotifyMask, &event) ||
           XCheckTypedEvent(display, ClientMessage, &event))
      slate::Route(event);
    Watch.Left = XQLength(display);
  }
  CheckTimers();
  Entered = 0;
}

void WindowManager::CheckTimers() {
  // Timer callbacks may close windows (freeing their entries) or open new
  // ones, so walk a snapshot and check that each window is still registered
  // with a running timer before polling it.
  std::vector<SimpleWindow*> running;
  for (DispatchListEntry* entry = ListHead; entry; entry = entry->Next)
    if (entry->Win && entry->Win->TimerActive) running.push_back(entry->Win);
  for (SimpleWindow* window : running) {
    bool registered = false;
    for (DispatchListEntry* entry = ListHead; entry && !registered; entry = entry->Next)
      registered = entry->Win == window;
    if (registered && window->TimerActive) window->CheckTimer();
  }
}

int WindowManager::NextTimerDue() const {
  int timeout = -1;
  unsigned int now = 0;
  bool clockRead = false;
  for (DispatchListEntry* entry = ListHead; entry; entry = entry->Next) {
    const SimpleWindow* window = entry->Win;
    if (!window || !window->TimerActive) continue;
    // The clock is read only when a timer runs.
    if (!clockRead) {
      now = GetMilliseconds();
      clockRead = true;
    }
    unsigned int elapsed = now - window->TimerStart;
    unsigned int interval = static_cast<unsigned int>(window->TimerInterval);
    unsigned int remaining = elapsed >= interval ? 0 : interval - elapsed;
    int wait = remaining > static_cast<unsigned int>(INT_MAX) ? INT_MAX : static_cast<int>(remaining);
    if (timeout < 0 || wait < timeout) timeout = wait;
  }
  return timeout;
}

void WindowManager::WaitForEvent() {
  if (XPending(display) > 0) return;
  int timeout = NextTimerDue();
  if (timeout == 0) return;
  // Whatever was asked of the server since (a shutdown request, say) must
  // reach it before the program sleeps; flushing may also queue events.
  XFlush(display);
  if (XQLength(display) > 0) return;
  struct pollfd connection = {ConnectionNumber(display), POLLIN, 0};
  poll(&connection, 1, timeout);
}

void SendExposeEvent(const unsigned long& id) {
  XEvent event{};
  event.xexpose.type = Expose;
  event.xexpose.send_event = True;
  event.xexpose.display = display;
  event.xexpose.window = id;
  event.xexpose.count = 0;
  XSendEvent(display, id, False, ExposureMask, &event);
}

// ---------------------------------------------------------------------------
// SimpleWindow: lifecycle
// ---------------------------------------------------------------------------

SimpleWindow::SimpleWindow(const std::string& title, float width, float height, const Position& position)
    : WindowId(0),
      BackingPixmap(0),
      XWindowGone(0),
      Reparented(0),
      UserPlaced(0),
      Title(title),
      WindowStatus(WindowIsClosed),
      RefreshCallback(nullptr),
      QuitCallback(nullptr),
      TimerCallback(nullptr),
      MouseClickCallback(nullptr),
      KeyPressCallback(nullptr),
      KeyReleaseCallback(nullptr),
      MousePressCallback(nullptr),
      MouseReleaseCallback(nullptr),
      MouseDragCallback(nullptr),
      MouseMoveCallback(nullptr),
      ResizeCallback(nullptr),
      TimerActive(0),
      TimerInterval(0),
      TimerStart(0),
      PixelX(0),
      PixelY(0),
      PixelWidth(0),
      PixelHeight(0),
      X(position.GetXDistance()),
      Y(position.GetYDistance()),
      Width(width),
      Height(height) {}

SimpleWindow::SimpleWindow(const char* title, float width, float height, const Position& position)
    : SimpleWindow(std::string(title ? title : ""), width, height, position) {}

SimpleWindow::~SimpleWindow() {
  if (WindowStatus == WindowIsOpen) Close();
  ReleaseBackingPixmap();
}

namespace {

// Pixels of a centimetre value. A value that came from pixels (a reported
// move or resize) gives those pixels back exactly, where converting it
// again could lose one.
int Pixels(float centimetres, int pixels) {
  return d_to_l(pixels) == centimetres ? pixels : l_to_d(centimetres);
}

}  // namespace

int SimpleWindow::Open() {
  // Degenerate sizes (zero, negative, NaN) are opened one pixel large rather
  // than handed to the X server, which would refuse them with a fatal error.
  PixelX = ToShort(Pixels(X, PixelX));
  PixelY = ToShort(Pixels(Y, PixelY));
  PixelHeight = std::clamp(Pixels(Height, PixelHeight), 1, SHRT_MAX);
  PixelWidth = std::clamp(Pixels(Width, PixelWidth), 1, SHRT_MAX);
  if (WindowStatus != WindowIsClosed) return WindowStatus;
  if (!display) {
    WindowStatus = WindowOpenFailed;
    return WindowStatus;
  }

  const int fixedSize = 0;
  if (!slate::CreateTopLevel(WindowId, Title, PixelX, PixelY, PixelWidth, PixelHeight, fixedSize,
                             UserPlaced ? USPosition : PPosition)) {
    WindowStatus = WindowOpenFailed;
    return WindowStatus;
  }
  if (!WinManager.Register(this)) {
    std::cout << "Unable to register a window.\n";
    XDestroyWindow(display, WindowId);
    WindowStatus = WindowOpenFailed;
    return WindowStatus;
  }

  int screenWidth = DisplayWidth(display, ScreenNbr);
  int screenHeight = DisplayHeight(display, ScreenNbr);
  ReleaseBackingPixmap();
  slate::Refusals refusals;
  BackingPixmap = XCreatePixmap(display, RootWindow(display, ScreenNbr), screenWidth, screenHeight,
                                DefaultDepth(display, ScreenNbr));
  if (refusals.Any()) {
    // The program goes on without this window.
    std::cout << "The X server has no memory left for the backing pixmap of a window.\n" << std::flush;
    BackingPixmap = 0;
    WinManager.Unregister(WindowId);
    XDestroyWindow(display, WindowId);
    slate::Closed(WindowId, 0);
    WindowStatus = WindowOpenFailed;
    return WindowStatus;
  }
  XFillRectangle(display, BackingPixmap, slate::Kept()->Paint(ColorTable[White], ColorTable[White]), 0, 0,
                 screenWidth, screenHeight);
  SetWMCloseWindow(WindowId);
  XWindowGone = 0;
  Reparented = 0;
  WindowStatus = WindowIsOpen;
  // Callbacks set earlier keep working in the new X window.
  if (InputMask() != NormalWindowEventMask) SelectInput();
  return WindowStatus;
}

int SimpleWindow::Close() {
  if (TimerActive) StopTimer();
  if (WinManager.Unregister(WindowId)) {
    // Without a connection the window went with it.
    if (!XWindowGone && display) XDestroyWindow(display, WindowId);
    unsigned long pixmap = BackingPixmap;
    ReleaseBackingPixmap();
    // Drawn into by requests still on their way, perhaps after another
    // client destroyed it.
    if (display) slate::Closed(WindowId, pixmap);
    WindowStatus = WindowIsClosed;
  } else {
    WindowStatus = WindowOpenFailed;
  }
  return WindowStatus;
}

void SimpleWindow::ReleaseBackingPixmap() {
  if (BackingPixmap && display) {
    slate::ForgetTextTarget(BackingPixmap);
    XFreePixmap(display, BackingPixmap);
  }
  BackingPixmap = 0;
}

int SimpleWindow::GetStatus() const {
  Pump();
  return WindowStatus;
}

float SimpleWindow::GetWidth() const {
  Pump();
  return d_to_l(PixelWidth);
}

float SimpleWindow::GetHeight() const {
  Pump();
  return d_to_l(PixelHeight);
}

float SimpleWindow::GetXPosition() const {
  Pump();
  return d_to_l(PixelX);
}

float SimpleWindow::GetYPosition() const {
  Pump();
  return d_to_l(PixelY);
}

Position SimpleWindow::GetPosition() const {
  Pump();
  return Position(GetXPosition(), GetYPosition());
}

Position SimpleWindow::GetCenter() const {
  Pump();
  return Position(d_to_l(PixelWidth) * 0.5f, d_to_l(PixelHeight) * 0.5f);
}

void SimpleWindow::SetRefreshCallback(int (*const& f)()) {
  SetRefreshCallback(slate::Callback<>(f));
}

void SimpleWindow::SetQuitCallback(int (*const& f)()) {
  SetQuitCallback(slate::Callback<>(f));
}

void SimpleWindow::SetTimerCallback(int (*const& f)()) {
  SetTimerCallback(slate::Callback<>(f));
}

void SimpleWindow::SetMouseClickCallback(int (*const& f)(const Position&)) {
  SetMouseClickCallback(slate::Callback<const Position&>(f));
}

void SimpleWindow::SetRefreshCallback(slate::Callback<> f) {
  Pump();
  RefreshCallback = std::move(f);
}

void SimpleWindow::SetQuitCallback(slate::Callback<> f) {
  Pump();
  QuitCallback = std::move(f);
}

void SimpleWindow::SetTimerCallback(slate::Callback<> f) {
  Pump();
  TimerCallback = std::move(f);
}

void SimpleWindow::SetMouseClickCallback(slate::Callback<const Position&> f) {
  MouseClickCallback = std::move(f);
  SelectInput();
  Pump();
}

int SimpleWindow::StartTimer(int milliseconds) {
  TimerInterval = milliseconds;
  TimerActive = 1;
  TimerStart = GetMilliseconds();
  Pump();
  return 1;
}

void SimpleWindow::StopTimer() {
  Pump();
  TimerActive = 0;
}

void SimpleWindow::CheckTimer() {
  unsigned int elapsed = GetMilliseconds() - TimerStart;
  if (elapsed >= static_cast<unsigned int>(TimerInterval)) {
    unsigned long id = WindowId;
    TimerEvent();
    // The callback may have destroyed this window.
    if (WinManager.GetWindow(id) != this) return;
    TimerStart = GetMilliseconds();
  }
}

int SimpleWindow::QuitEvent() {
  return QuitCallback ? QuitCallback() : 0;
}

int SimpleWindow::TimerEvent() {
  return TimerCallback ? TimerCallback() : 0;
}

int SimpleWindow::MouseClickEvent(const Position& click) {
  return MouseClickCallback ? MouseClickCallback(click) : 0;
}

int SimpleWindow::RefreshEvent() {
  if (RefreshCallback) return RefreshCallback();
  if (!IsLive()) return 0;
  GC gc = slate::Kept()->Paint(ColorTable[White], ColorTable[White]);
  XCopyArea(display, BackingPixmap, WindowId, gc, 0, 0, PixelWidth, PixelHeight, 0, 0);
  return 0;
}

void SimpleWindow::ConfigureEvent(const XEvent& event) {
  const XConfigureEvent& c = event.xconfigure;
  // Inside a window manager's frame, the server's own reports give the place
  // in the frame; the manager's reports (sent events) give it on the screen.
  if (c.send_event || !Reparented) {
    UserPlaced = UserPlaced || c.x != PixelX || c.y != PixelY;
    PixelX = c.x;
    X = d_to_l(c.x);
    PixelY = c.y;
    Y = d_to_l(c.y);
  }
  PixelWidth = c.width;
  Width = d_to_l(c.width);
  PixelHeight = c.height;
  Height = d_to_l(c.height);
}

// ---------------------------------------------------------------------------
// SimpleWindow: drawing
//
// Every figure is drawn into the window, then the same into its backing
// pixmap, with the runtime's contexts; then the event pump runs while
// ApiMain does.
// ---------------------------------------------------------------------------

template <typename Draw>
void SimpleWindow::DrawBoth(GC gc, Draw draw) {
  draw(WindowId, gc);
  draw(BackingPixmap, gc);
  Pump();
}

// A filled figure whose one-pixel outline is in the fill colour, or black
// with a border.
template <typename Fill, typename Outline>
void SimpleWindow::DrawFilled(const color& c, bool border, Fill fill, Outline outline) {
  GC gc = slate::Kept()->Paint(PaletteColor(c), ColorTable[White]);
  fill(WindowId, gc);
  fill(BackingPixmap, gc);
  if (border) XSetForeground(display, gc, ColorTable[Black]);
  DrawBoth(gc, outline);
}

void SimpleWindow::RenderText(Position centre, const std::string& text, const color& textColor,
                              const color& backColor) {
  if (!IsLive()) return;
  XFontStruct* font = slate::Kept()->Font(WindowFont);
  if (!font) {
    slate::ShutDown(std::cout, std::string("Unable to load the desired font: ") + WindowFont + "\n");
    return;
  }
  long long w = slate::TextWidth(font, text.data(), text.size());
  int h = font->ascent + font->descent;
  // (x, y) is the left end of the baseline; the band is filled behind the text.
  long long x = l_to_d(centre.GetXDistance()) - w / 2;
  long long y = static_cast<long long>(l_to_d(centre.GetYDistance())) + h / 2;
  GC gc = slate::Kept()->Paint(PaletteColor(textColor), PaletteColor(backColor));
  XSetFont(display, gc, font->fid);
  DrawBoth(gc, [&](Drawable target, GC g) {
    slate::DrawImageText(target, g, font, x, y, text.data(), text.size());
  });
}

void SimpleWindow::RenderText(Position centre, const char* text, const color& textColor,
                              const color& backColor) {
  RenderText(centre, std::string(text ? text : ""), textColor, backColor);
}

void SimpleWindow::RenderText(const Position& upperLeft, const Position& lowerRight, const std::string& text,
                              const color& textColor, const color& backColor) {
  float x = (upperLeft.GetXDistance() + lowerRight.GetXDistance()) / 2;
  float y = (upperLeft.GetYDistance() + lowerRight.GetYDistance()) / 2;
  RenderText(Position(x, y), text, textColor, backColor);
}

void SimpleWindow::RenderText(const Position& upperLeft, const Position& lowerRight, const char* text,
                              const color& textColor, const color& backColor) {
  RenderText(upperLeft, lowerRight, std::string(text ? text : ""), textColor, backColor);
}

namespace {

// The box between two corners in pixels: each corner converted on its own,
// the size the difference of the converted corners. Corners given the wrong
// way round are put in order.
struct CornerBox {
  CornerBox(const Position& a, const Position& b) {
    int xa = l_to_d(a.GetXDistance()), xb = l_to_d(b.GetXDistance());
    int ya = l_to_d(a.GetYDistance()), yb = l_to_d(b.GetYDistance());
    X = ToShort(std::min(xa, xb));
    Y = ToShort(std::min(ya, yb));
    W = ToSize(static_cast<long>(std::max(xa, xb)) - std::min(xa, xb));
    H = ToSize(static_cast<long>(std::max(ya, yb)) - std::min(ya, yb));
  }
  short X, Y;
  unsigned short W, H;
};

}  // namespace

void SimpleWindow::RenderRectangle(const Position& upperLeft, const Position& lowerRight, const color& c,
                                   bool border) {
  if (!IsLive()) return;
  CornerBox b(upperLeft, lowerRight);
  if (!border) {
    // The outline in the fill colour adds the right column and the bottom
    // row: one fill a pixel larger covers exactly the same pixels.
    DrawBoth(slate::Kept()->Paint(PaletteColor(c), ColorTable[White]), [&](Drawable target, GC gc) {
      XFillRectangle(display, target, gc, b.X, b.Y, b.W + 1u, b.H + 1u);
    });
    return;
  }
  DrawFilled(
      c, border, [&](Drawable target, GC gc) { XFillRectangle(display, target, gc, b.X, b.Y, b.W, b.H); },
      [&](Drawable target, GC gc) { XDrawRectangle(display, target, gc, b.X, b.Y, b.W, b.H); });
}

void SimpleWindow::RenderEllipse(const Position& upperLeft, const Position& lowerRight, const color& c,
                                 bool border) {
  if (!IsLive()) return;
  CornerBox b(upperLeft, lowerRight);
  DrawFilled(
      c, border,
      [&](Drawable target, GC gc) { XFillArc(display, target, gc, b.X, b.Y, b.W, b.H, 0, DeviceTwoPi); },
      [&](Drawable target, GC gc) { XDrawArc(display, target, gc, b.X, b.Y, b.W, b.H, 0, DeviceTwoPi); });
}

namespace {

// The vertices in pixels, with the first again at the end to close the
// figure. A polygon goes in one request (the even-odd fill needs every
// vertex at once, and a line its joins), which must not be longer than the
// server takes: beyond that, a message and no points.
std::vector<XPoint> ClosedPoints(const Position* vertices, int count, long requestHeader) {
  long most = slate::RequestRoom(requestHeader) / slate::PointBytes - 1;
  if (count > most) {
    std::cout << "Unable to draw a polygon of " << count << " vertices: the X server takes at most " << most
              << ".\n"
              << std::flush;
    return {};
  }
  std::vector<XPoint> points(static_cast<size_t>(count) + 1);
  for (int i = 0; i < count; ++i) {
    points[i].x = ToShort(l_to_d(vertices[i].GetXDistance()));
    points[i].y = ToShort(l_to_d(vertices[i].GetYDistance()));
  }
  points[count] = points[0];
  return points;
}

// A line width in pixels; under one pixel, the server's thin line.
int LineWidth(float centimetres) {
  return std::clamp(l_to_d(centimetres), 0, SHRT_MAX);
}

// As many vertices as count asks for, but never past the vector's end.
int Available(const std::vector<Position>& vertices, int count) {
  return std::min(count, static_cast<int>(std::min<size_t>(vertices.size(), INT_MAX - 1)));
}

}  // namespace

void SimpleWindow::RenderPolygon(const Position* vertices, int count, const color& c, bool border) {
  if (!IsLive() || !vertices || count < 1) return;
  std::vector<XPoint> points = ClosedPoints(vertices, count, slate::FillPolyHeader);
  if (points.empty()) return;
  DrawFilled(
      c, border,
      [&](Drawable target, GC gc) {
        XFillPolygon(display, target, gc, points.data(), count + 1, Complex, CoordModeOrigin);
      },
      [&](Drawable target, GC gc) {
        XDrawLines(display, target, gc, points.data(), count + 1, CoordModeOrigin);
      });
}

void SimpleWindow::RenderPolygon(const std::vector<Position>& vertices, int count, const color& c,
                                 bool border) {
  RenderPolygon(vertices.data(), Available(vertices, count), c, border);
}

void SimpleWindow::RenderLine(const Position& start, const Position& end, const color& c, float width) {
  if (!IsLive()) return;
  short x0 = ToShort(l_to_d(start.GetXDistance())), y0 = ToShort(l_to_d(start.GetYDistance()));
  short x1 = ToShort(l_to_d(end.GetXDistance())), y1 = ToShort(l_to_d(end.GetYDistance()));
  DrawBoth(slate::Kept()->Line(PaletteColor(c), LineWidth(width)),
           [&](Drawable target, GC gc) { XDrawLine(display, target, gc, x0, y0, x1, y1); });
}

void SimpleWindow::RenderRectangleOutline(const Position& upperLeft, const Position& lowerRight,
                                          const color& c, float width) {
  if (!IsLive()) return;
  CornerBox b(upperLeft, lowerRight);
  DrawBoth(slate::Kept()->Outline(PaletteColor(c), LineWidth(width)),
           [&](Drawable target, GC gc) { XDrawRectangle(display, target, gc, b.X, b.Y, b.W, b.H); });
}

void SimpleWindow::RenderEllipseOutline(const Position& upperLeft, const Position& lowerRight, const color& c,
                                        float width) {
  if (!IsLive()) return;
  CornerBox b(upperLeft, lowerRight);
  DrawBoth(slate::Kept()->Outline(PaletteColor(c), LineWidth(width)), [&](Drawable target, GC gc) {
    XDrawArc(display, target, gc, b.X, b.Y, b.W, b.H, 0, DeviceTwoPi);
  });
}

void SimpleWindow::RenderPolygonOutline(const Position* vertices, int count, const color& c, float width) {
  if (!IsLive() || !vertices || count < 1) return;
  // A line that ends where it started is joined there too.
  std::vector<XPoint> points = ClosedPoints(vertices, count, slate::PolyLineHeader);
  if (points.empty()) return;
  DrawBoth(slate::Kept()->Outline(PaletteColor(c), LineWidth(width)), [&](Drawable target, GC gc) {
    XDrawLines(display, target, gc, points.data(), static_cast<int>(points.size()), CoordModeOrigin);
  });
}

void SimpleWindow::RenderPolygonOutline(const std::vector<Position>& vertices, int count, const color& c,
                                        float width) {
  RenderPolygonOutline(vertices.data(), Available(vertices, count), c, width);
}

void SimpleWindow::DrawBitMap(const unsigned long& pixmap, const Position& upperLeft, const Position& size) {
  if (!IsLive() || pixmap == 0) return;
  unsigned int width = static_cast<unsigned int>(std::clamp(l_to_d(size.GetXDistance()), 0, SHRT_MAX));
  unsigned int height = static_cast<unsigned int>(std::clamp(l_to_d(size.GetYDistance()), 0, SHRT_MAX));
  short x = ToShort(l_to_d(upperLeft.GetXDistance())), y = ToShort(l_to_d(upperLeft.GetYDistance()));
  DrawBoth(
      slate::Kept()->Paint(BlackPixel(display, ScreenNbr), ColorTable[White]),
      [&](Drawable target, GC gc) { XCopyArea(display, pixmap, target, gc, 0, 0, width, height, x, y); });
}

void SimpleWindow::Erase(const Position& upperLeft, float width, float height) {
  if (!IsLive()) return;
  Position lowerRight = upperLeft + Position(width, height);
  RenderRectangle(upperLeft, lowerRight, White, false);
  Pump();
}

// ---------------------------------------------------------------------------
// SimpleWindow: alerts
// ---------------------------------------------------------------------------

// The box belongs to the window that shows it, when that is on the screen.
void SimpleWindow::Message(const std::string& text) {
  Pump();
  AlertWindow alert(Title, text, nullptr, IsLive() ? WindowId : 0);
}

// A window cannot be copied: the copy is a closed window with an empty
// title, and the user is told before the program shuts down.
SimpleWindow::SimpleWindow(const SimpleWindow& other) : SimpleWindow(std::string()) {
  AlertWindow alert("SimpleWindow Copy Constructor", "SimpleWindow objects may not be copied!", ::Terminate,
                    other.IsLive() ? other.WindowId : 0);
}

SimpleWindow SimpleWindow::operator=(const SimpleWindow&) {
  {
    AlertWindow alert("SimpleWindow Assignment", "Assignment of SimpleWindow objects not allowed!",
                      ::Terminate, IsLive() ? WindowId : 0);
  }
  return *this;
}
