// Windows: SimpleWindow's life (open, close, geometry), its callbacks and
// timer, the target the event loop knows it by, its alerts; and the
// WindowManager, the runtime's face to programs, over the event loop.
#include <X11/Xlib.h>

#include <algorithm>
#include <climits>
#include <iostream>
#include <string>
#include <vector>

#include "errors.h"
#include "event_loop.h"
#include "keys.h"
#include "protocol.h"
#include "runtime.h"
#include "top_level.h"
#include "units.h"

using slate::Pump;

// Constructed before, and destroyed after, every global object of an
// application with default priority, whatever order the translation units
// are linked in: application globals may open windows in their destructors.
__attribute__((init_priority(110))) WindowManager WinManager;

// Every program needs this unit; its reference brings the library's main
// into every program that links the installed library.
__attribute__((used)) static const int* const NeedsEntryPoint = &slate::EntryPoint;

namespace slate {

namespace {

// Where a pointer event happened, in centimetres in its window.
Position PointerAt(int x, int y) {
  return Position(d_to_l(x), d_to_l(y));
}

}  // namespace

// A program's window as the event loop sees it.
class WindowTarget final : public Target {
 public:
  explicit WindowTarget(SimpleWindow& window) : Of(window) {}

  SimpleWindow* Window() override { return &Of; }
  long Takes() const override { return Of.InputMask(); }

  bool Unchanged(const XConfigureEvent& c) const override {
    // The geometry as the window's getters give it, in pixels again.
    return l_to_d(d_to_l(Of.PixelWidth)) == c.width && l_to_d(d_to_l(Of.PixelHeight)) == c.height &&
           l_to_d(d_to_l(Of.PixelX)) == c.x && l_to_d(d_to_l(Of.PixelY)) == c.y;
  }

  // A callback may delete the window, and this with it: what is needed
  // after one is copied first.
  int Pressed(const XButtonEvent& event) override {
    Of.MousePressEvent(PointerAt(event.x, event.y), static_cast<int>(event.button));
    return 1;
  }

  int Released(const XButtonEvent& event) override {
    SimpleWindow& window = Of;
    unsigned long id = Id;
    Position at = PointerAt(event.x, event.y);
    window.MouseReleaseEvent(at, static_cast<int>(event.button));
    // Unless the release callback closed the window.
    if (Loop().FindWindow(id) == &window) window.MouseClickEvent(at);
    return 1;
  }

  int Moved(const XMotionEvent& event, bool held) override {
    Position at = PointerAt(event.x, event.y);
    held ? Of.MouseDragEvent(at) : Of.MouseMoveEvent(at);
    return 1;
  }

  int Crossed(const XCrossingEvent& event, bool in) override {
    Position at = PointerAt(event.x, event.y);
    in ? Of.MouseEnterEvent(at) : Of.MouseLeaveEvent(at);
    return 1;
  }

  int KeyPressed(const Key& key) override {
    Of.KeyPressEvent(key);
    return 1;
  }

  int KeyReleased(const Key& key) override {
    Of.KeyReleaseEvent(key);
    return 1;
  }

  int Exposed() override {
    Of.RefreshEvent();
    return 1;
  }

  int Configured(const XConfigureEvent& c) override {
    SimpleWindow& window = Of;
    int width = window.PixelWidth, height = window.PixelHeight;
    XEvent event{};
    event.xconfigure = c;
    window.ConfigureEvent(event);
    if (window.PixelWidth != width || window.PixelHeight != height)
      window.ResizeEvent(Position(d_to_l(window.PixelWidth), d_to_l(window.PixelHeight)));
    return 1;
  }

  int Reparented(bool framed) override {
    // From now on the server reports the window's place relative to the
    // window manager's frame; only the manager's own reports are on the
    // screen's scale.
    Of.Reparented = framed;
    return 2;
  }

  int Destroyed(bool byAnotherClient) override {
    // Destroyed by another client, it must not be destroyed a second time,
    // nor drawn into.
    if (byAnotherClient) Gone = true;
    return WinManager.CloseAWindow(&Of);
  }

  int CloseRequested() override { return WinManager.CloseAWindow(&Of); }

  bool TimerRunning() const override { return Of.TimerActive; }
  unsigned int TimerLeft(unsigned int now) const override {
    unsigned int elapsed = now - Of.TimerStart;
    unsigned int interval = static_cast<unsigned int>(Of.TimerInterval);
    return elapsed >= interval ? 0 : interval - elapsed;
  }
  void CheckTimer() override { Of.CheckTimer(); }

 private:
  SimpleWindow& Of;
};

}  // namespace slate

using slate::Loop;

// ---------------------------------------------------------------------------
// WindowManager: the runtime's face
// ---------------------------------------------------------------------------

WindowManager::WindowManager() : ColorsAreObtained(0) {
  // This object is built before other globals, so make sure the standard
  // streams are ready for the messages below.
  static std::ios_base::Init streams;
  slate::OpenDisplay();
  slate::CatchErrors(slate::OursGone);
  if (InitializeColors(ColorName, SecondChoiceColors, ColorTable, MaxColors) &&
      InitializeColors(ButtonColorName, SecondChoiceButtonColors, ButtonColorTable, NbrButtonColors)) {
    ColorsAreObtained = 1;
    slate::KeepResources();
    slate::OpenInputMethod();
  }
}

WindowManager::~WindowManager() {
  if (Loop().Windows() > 0) {
    std::cout << "Attempted to terminated the program with a nonempty "
              << "window manager\n";
    for (std::vector<SimpleWindow*> open; !(open = Loop().ProgramWindows()).empty();) {
      SimpleWindow* window = open.front();
      window->Close();
      if (Loop().FindWindow(window->WindowId) == window) Loop().Remove(*window->Target);
    }
  }
  if (ColorsAreObtained) slate::CloseDisplay();
}

int WindowManager::ColorsObtained() const {
  return ColorsAreObtained;
}
void WindowManager::ApiMainIsCompleted() {
  Loop().ApiMainDone = true;
}
int WindowManager::IsApiMainCompleted() const {
  return Loop().ApiMainDone ? 1 : 0;
}
int WindowManager::Empty() const {
  return Loop().Windows() == 0 ? 1 : 0;
}

int WindowManager::CheckTermination() {
  if (Loop().Windows() != 0) return 1;
  ApiEnd();
  return 0;
}

void WindowManager::Terminate() {
  Loop().Terminate();
}

int WindowManager::Register(SimpleWindow* window) {
  if (!window) {
    std::cout << "Error: Trying to register a nonexistent window.\n";
    return 0;
  }
  try {
    Loop().Add(*window->Target);
  } catch (const std::bad_alloc&) {
    slate::ShutDown(std::cout,
                    "Error: Unable to allocate memory while trying to "
                    "register a window.\n");
    return 0;
  }
  return 1;
}

int WindowManager::Unregister(const unsigned long& id) {
  if (id == 0) {
    std::cout << "Window requested to remove doesn't exist\n";
    return 0;
  }
  SimpleWindow* window = Loop().FindWindow(id);
  if (!window) return 0;
  Loop().Remove(*window->Target);
  return 1;
}

SimpleWindow* WindowManager::GetWindow(const unsigned long& id) const {
  return Loop().FindWindow(id);
}

SimpleWindow* WindowManager::GetWindow(const XEvent& event) const {
  return GetWindow(event.xany.window);
}

unsigned long WindowManager::GetWindow(const SimpleWindow* window) const {
  return window ? window->WindowId : 0;
}

void WindowManager::DescribeContents() const {
  std::cout << "The windows manager contains the following elements:\n";
  for (SimpleWindow* window : Loop().ProgramWindows()) std::cout << "\t" << GetWindow(window) << std::endl;
}

int WindowManager::DispatchMessage(XEvent& event, SimpleWindow* window) {
  return Loop().Dispatch(event, window ? window->Target : nullptr);
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

void WindowManager::CheckEvents() {
  Loop().Pump();
}

void WindowManager::CheckTimers() {
  Loop().CheckTimers();
}

void WindowManager::WaitForEvent() {
  Loop().Wait();
}

int FilterEvent(XEvent* event, const SimpleWindow* window) {
  return Loop().Accepts(*event, Loop().Find(WinManager.GetWindow(window))) ? 1 : 0;
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
// SimpleWindow: life
// ---------------------------------------------------------------------------

SimpleWindow::SimpleWindow(const std::string& title, float width, float height, const Position& position)
    : WindowId(0),
      Target(new slate::WindowTarget(*this)),
      Reparented(0),
      UserPlaced(0),
      Resizable(1),
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
      MouseEnterCallback(nullptr),
      MouseLeaveCallback(nullptr),
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
  delete Target;
}

bool SimpleWindow::IsLive() const {
  return WindowStatus == WindowIsOpen && !Target->Gone;
}

slate::Surface& SimpleWindow::Canvas() {
  return Target->Canvas;
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
  PixelX = slate::ToShort(Pixels(X, PixelX));
  PixelY = slate::ToShort(Pixels(Y, PixelY));
  PixelHeight = std::clamp(Pixels(Height, PixelHeight), 1, SHRT_MAX);
  PixelWidth = std::clamp(Pixels(Width, PixelWidth), 1, SHRT_MAX);
  if (WindowStatus != WindowIsClosed) return WindowStatus;
  if (!display) {
    WindowStatus = WindowOpenFailed;
    return WindowStatus;
  }

  const int fixedSize = Resizable ? 0 : 1;
  if (!slate::CreateTopLevel(WindowId, Title, PixelX, PixelY, PixelWidth, PixelHeight, fixedSize,
                             UserPlaced ? USPosition : PPosition, nullptr, InputMask())) {
    WindowStatus = WindowOpenFailed;
    return WindowStatus;
  }
  Target->Id = WindowId;
  Target->Gone = false;
  if (!WinManager.Register(this)) {
    std::cout << "Unable to register a window.\n";
    XDestroyWindow(display, WindowId);
    WindowStatus = WindowOpenFailed;
    return WindowStatus;
  }

  int screenWidth = DisplayWidth(display, ScreenNbr);
  int screenHeight = DisplayHeight(display, ScreenNbr);
  slate::Refusals refusals;
  Pixmap backing = XCreatePixmap(display, RootWindow(display, ScreenNbr), screenWidth, screenHeight,
                                 DefaultDepth(display, ScreenNbr));
  if (refusals.Any()) {
    // The program goes on without this window.
    std::cout << "The X server has no memory left for the backing pixmap of a window.\n" << std::flush;
    WinManager.Unregister(WindowId);
    XDestroyWindow(display, WindowId);
    slate::Closed(WindowId, 0);
    WindowStatus = WindowOpenFailed;
    return WindowStatus;
  }
  Target->Canvas.Bind(WindowId, backing, screenWidth, screenHeight, PixelWidth, PixelHeight);
  Target->Canvas.Clear(ColorTable[White]);
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
    if (!Target->Gone && display) XDestroyWindow(display, WindowId);
    Pixmap pixmap = Target->Canvas.Backing();
    Target->Canvas.Unbind();
    slate::FreeInputContext(Target->Input);
    Target->Input = nullptr;
    if (pixmap && display) XFreePixmap(display, pixmap);
    // Drawn into by requests still on their way, perhaps after another
    // client destroyed it.
    if (display) slate::Closed(WindowId, pixmap);
    WindowStatus = WindowIsClosed;
  } else {
    WindowStatus = WindowOpenFailed;
  }
  return WindowStatus;
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
  Target->Canvas.Resize(PixelWidth, PixelHeight);
}

// ---------------------------------------------------------------------------
// SimpleWindow: callbacks and the timer
// ---------------------------------------------------------------------------

long SimpleWindow::InputMask() const {
  long mask = NormalWindowEventMask;
  if (MouseClickCallback || MousePressCallback || MouseReleaseCallback || MouseDragCallback)
    mask |= ButtonEventMask;
  // Presses come with either key callback: an auto-repeat's release is known
  // by the press behind it. The input method may need more.
  if (KeyPressCallback || KeyReleaseCallback) mask |= KeyEventMask | slate::InputContextEvents(Target->Input);
  if (MouseDragCallback) mask |= DragEventMask;
  if (MouseMoveCallback) mask |= MoveEventMask;
  if (MouseEnterCallback) mask |= EnterEventMask;
  if (MouseLeaveCallback) mask |= LeaveEventMask;
  return mask;
}

void SimpleWindow::SelectInput() {
  if (!IsLive()) return;
  // The input method's context is made for a window that takes keys.
  if ((KeyPressCallback || KeyReleaseCallback) && !Target->Input)
    Target->Input = slate::NewInputContext(WindowId);
  XSelectInput(display, WindowId, InputMask());
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
void SimpleWindow::SetMouseEnterCallback(int (*const& f)(const Position&)) {
  SetMouseEnterCallback(slate::Callback<const Position&>(f));
}
void SimpleWindow::SetMouseLeaveCallback(int (*const& f)(const Position&)) {
  SetMouseLeaveCallback(slate::Callback<const Position&>(f));
}
void SimpleWindow::SetResizeCallback(int (*const& f)(const Position&)) {
  SetResizeCallback(slate::Callback<const Position&>(f));
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

void SimpleWindow::SetResizeCallback(slate::Callback<const Position&> f) {
  ResizeCallback = std::move(f);
  Pump();
}

// The input callbacks select the events they need.
void SimpleWindow::SetMouseClickCallback(slate::Callback<const Position&> f) {
  MouseClickCallback = std::move(f);
  SelectInput();
  Pump();
}

void SimpleWindow::SetKeyPressCallback(slate::Callback<const Key&> f) {
  KeyPressCallback = std::move(f);
  SelectInput();
  Pump();
}

void SimpleWindow::SetKeyReleaseCallback(slate::Callback<const Key&> f) {
  KeyReleaseCallback = std::move(f);
  SelectInput();
  Pump();
}

void SimpleWindow::SetMousePressCallback(slate::Callback<const Position&, int> f) {
  MousePressCallback = std::move(f);
  SelectInput();
  Pump();
}

void SimpleWindow::SetMouseReleaseCallback(slate::Callback<const Position&, int> f) {
  MouseReleaseCallback = std::move(f);
  SelectInput();
  Pump();
}

void SimpleWindow::SetMouseDragCallback(slate::Callback<const Position&> f) {
  MouseDragCallback = std::move(f);
  SelectInput();
  Pump();
}

void SimpleWindow::SetMouseMoveCallback(slate::Callback<const Position&> f) {
  MouseMoveCallback = std::move(f);
  SelectInput();
  Pump();
}

void SimpleWindow::SetMouseEnterCallback(slate::Callback<const Position&> f) {
  MouseEnterCallback = std::move(f);
  SelectInput();
  Pump();
}

void SimpleWindow::SetMouseLeaveCallback(slate::Callback<const Position&> f) {
  MouseLeaveCallback = std::move(f);
  SelectInput();
  Pump();
}

void SimpleWindow::SetResizable(bool resizable) {
  Resizable = resizable ? 1 : 0;
  // An open window keeps the size it has now, or may be resized again.
  if (IsLive())
    slate::SetHints(WindowId, Title, PixelX, PixelY, PixelWidth, PixelHeight, Resizable ? 0 : 1,
                    UserPlaced ? USPosition : PPosition);
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
  // What the backing pixmap holds, shown again.
  Canvas().DamageAll();
  slate::Show();
  return 0;
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

int SimpleWindow::MouseEnterEvent(const Position& at) {
  return MouseEnterCallback ? MouseEnterCallback(at) : 0;
}

int SimpleWindow::MouseLeaveEvent(const Position& at) {
  return MouseLeaveCallback ? MouseLeaveCallback(at) : 0;
}

int SimpleWindow::ResizeEvent(const Position& size) {
  return ResizeCallback ? ResizeCallback(size) : 0;
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
