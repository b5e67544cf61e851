// Top-level X windows: creation, window-manager hints and the close-request
// protocol; the alert box's push button and the alert box itself.
#include <X11/Xatom.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <new>
#include <vector>

#include "internal.h"

namespace {

// The two atoms of the close-request protocol, interned on every call.
struct CloseAtoms {
  Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
  Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
};

// The windows of the boxes up and of their buttons: another client may
// destroy them, and the errors of requests naming them then are no fault of
// the program's.
std::vector<Window> AlertWindowsUp;

void Forget(Window window) {
  AlertWindowsUp.erase(std::remove(AlertWindowsUp.begin(), AlertWindowsUp.end(), window),
                       AlertWindowsUp.end());
}

// How long a new window is waited for to be shown, milliseconds: a window
// manager may take its time, or never map the window at all.
constexpr int ShowWait = 3000;

Bool ShownOrGone(Display*, XEvent* event, XPointer window) {
  return event->xany.window == *reinterpret_cast<Window*>(window) &&
         (event->type == VisibilityNotify || event->type == DestroyNotify);
}

// Takes the event that says window has been shown (its visibility) or
// destroyed by another client, waiting for it at most ShowWait; false when
// none came.
bool AwaitShown(Window window, XEvent* event) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ShowWait);
  for (;;) {
    if (XCheckIfEvent(display, event, ShownOrGone, reinterpret_cast<XPointer>(&window))) return true;
    // The check flushed the requests and took in what had come: the next
    // event is still to arrive.
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd connection = {ConnectionNumber(display), POLLIN, 0};
    poll(&connection, 1, static_cast<int>(left.count()));
  }
}

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
  XMapRaised(display, window);
  XEvent event;
  // A window not shown in time is drawn on when its first exposure comes;
  // one destroyed meanwhile is closed by its DestroyNotify, put back for
  // the event loop, once it is registered.
  bool shown = AwaitShown(window, &event);
  if (shown && event.type == DestroyNotify) {
    XPutBackEvent(display, &event);
    return 1;
  }
  XSelectInput(display, window, NormalWindowEventMask);
  // The first exposure is taken here and dropped: the caller draws the
  // window's first contents itself. A window with nothing on the screen (off
  // its edges, say) gets none, and is not waited for.
  if (!shown || event.xvisibility.state == VisibilityFullyObscured) return 1;
  // Visible may still mean that only the border is on the screen, and the
  // interior gets no exposure. The server reports a window's exposure right
  // after its visibility, so once a round trip has followed, an exposure not
  // in the queue is not coming.
  if (!XCheckWindowEvent(display, window, ExposureMask, &event)) {
    XSync(display, False);
    XCheckWindowEvent(display, window, ExposureMask, &event);
  }
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
  CloseAtoms atoms;
  return event->message_type == atoms.protocols &&
         static_cast<Atom>(event->data.l[0]) == atoms.deleteWindow && event->format == DeleteWindowFormat;
}

void SetWMCloseWindow(unsigned long const& window) {
  CloseAtoms atoms;
  if (atoms.protocols == 0 || atoms.deleteWindow == 0) return;
  XSetWMProtocols(display, window, &atoms.deleteWindow, 1);
}

// ---------------------------------------------------------------------------
// ButtonWindow: the alert box's "O K" push button, a child window
// ---------------------------------------------------------------------------

ButtonWindow::ButtonWindow()
    : X(0), Y(0), Width(0), Height(0), Look(ButtonIsUp), WindowId(0), ButtonStatus(WindowIsClosed) {}

ButtonWindow::~ButtonWindow() {
  if (ButtonStatus == WindowIsOpen) Close();
  Forget(WindowId);
}

WindowState ButtonWindow::Open(unsigned long const& parent, int parentWidth, int parentHeight) {
  // Centred horizontally, its centre at three quarters of the parent's height.
  Width = slate::AlertPixels(ButtonWidth);
  Height = slate::AlertPixels(ButtonHeight);
  X = parentWidth / 2 - Width / 2;
  Y = (3 * parentHeight) / 4 - Height / 2;
  WindowId = XCreateSimpleWindow(display, parent, X, Y, static_cast<unsigned int>(Width),
                                 static_cast<unsigned int>(Height), ButtonBorderSize,
                                 BlackPixel(display, ScreenNbr), ButtonColorTable[0]);
  if (WindowId == 0) {
    std::cout << "Error opening window in function ButtonAsWindow::Open.\n" << std::flush;
    return WindowOpenFailed;
  }
  AlertWindowsUp.push_back(WindowId);
  XMapWindow(display, WindowId);
  XSelectInput(display, WindowId, AlertButtonEventMask);
  DrawLook(ButtonIsUp);
  Look = ButtonIsUp;
  // The outcome is reported only as the result: the child window goes with
  // its parent, so Close() never has to destroy it.
  return WindowIsOpen;
}

void ButtonWindow::Close() {
  if (ButtonStatus == WindowIsOpen) XDestroyWindow(display, WindowId);
}

unsigned long ButtonWindow::GetWindow() const {
  return WindowId;
}

void ButtonWindow::MouseClickEvent(ButtonState const& state) {
  Look = state == ButtonIsUp ? ButtonIsUp : ButtonIsDown;
  DrawLook(Look);
}

void ButtonWindow::RefreshEvent() {
  DrawLook(Look == ButtonIsUp ? ButtonIsUp : ButtonIsDown);
}

void ButtonWindow::DrawLook(ButtonState look) {
  // Raised: light top-left and dark bottom-right edges; pressed: swapped,
  // and the label a pixel lower and to the right.
  const bool up = look == ButtonIsUp;
  ButtonGraphic graphic(ButtonMessage, Position(), Position(), up ? ButtonColorTable[1] : ButtonColorTable[2],
                        up ? ButtonColorTable[2] : ButtonColorTable[1], 0);
  graphic.SetLocation(up ? DeviceOrigin : GraphicPosition(2, 2), GraphicPosition(Width, Height));
  graphic.Draw(WindowId);
}

// ---------------------------------------------------------------------------
// AlertWindow: the modal message box
// ---------------------------------------------------------------------------

namespace {

// What an alert box's loop does with the events of the program's other
// windows while it runs. They repaint and follow moves and resizes as in the
// main loop; their clicks, keys and close requests are ignored, the box
// being modal; their destruction (which runs quit callbacks and may end the
// program) waits, in order, at the head of the queue until the box has
// closed. Loops nest: a callback run meanwhile may show another box.
class ModalLoop {
 public:
  ModalLoop() : Outer(Innermost) { Innermost = this; }
  ~ModalLoop() {
    Innermost = Outer;
    for (auto event = Kept.rbegin(); event != Kept.rend(); ++event) XPutBackEvent(display, &*event);
  }
  ModalLoop(const ModalLoop&) = delete;
  ModalLoop& operator=(const ModalLoop&) = delete;

  void Other(XEvent& event) {
    switch (event.type) {
      case KeyPress:
      case KeyRelease:
      case ButtonPress:
      case ButtonRelease:
      case MotionNotify:
      case ClientMessage:
        return;
      case DestroyNotify:
        if (SimpleWindow* window = WinManager.GetWindow(event)) {
          slate::Dispatch::MarkGone(event, *window);
          Kept.push_back(event);
        }
        return;
      default:
        slate::Route(event);
    }
  }
  static bool Running() { return Innermost != nullptr; }

 private:
  std::vector<XEvent> Kept;
  ModalLoop* Outer;
  static inline ModalLoop* Innermost = nullptr;
};

bool Owns(const XEvent& event, Window box, const ButtonWindow& button) {
  return event.xany.window == box || event.xany.window == button.GetWindow();
}

// Repaints the box or its button at the last exposure of a series.
void Repaint(const XEvent& event, AlertWindow& alert, ButtonWindow& button) {
  if (event.xexpose.count != 0) return;
  if (event.xexpose.window == button.GetWindow())
    button.RefreshEvent();
  else
    alert.RefreshEvent();
}

// The box destroyed by another client: it has gone, with its button.
bool Destroyed(const XEvent& event, Window box) {
  return event.type == DestroyNotify && event.xdestroywindow.window == box && !event.xany.send_event;
}

bool IsCloseRequest(XEvent& event, Window box) {
  return event.type == ClientMessage && IsWMCloseWindow(&event.xclient) == 1 && event.xclient.window == box;
}

// The exclamation mark at this scale: the bitmap blown up, nearest pixel
// for pixel, to width x height.
char* ScaledMark(int width, int height) {
  const int markWidth = ExclamationSize.GetXCoordinate(), markHeight = ExclamationSize.GetYCoordinate();
  if (width == markWidth && height == markHeight) return exclam_bits;
  static std::vector<char> bits;  // the same for every box: the scale never changes
  const int rowBytes = (width + 7) / 8, markRowBytes = (markWidth + 7) / 8;
  bits.assign(static_cast<size_t>(rowBytes) * static_cast<size_t>(height), 0);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      int from = y * markHeight / height * markRowBytes * 8 + x * markWidth / width;
      if (exclam_bits[from / 8] >> (from % 8) & 1)
        bits[static_cast<size_t>(y * rowBytes + x / 8)] |= 1 << (x % 8);
    }
  }
  return bits.data();
}

// The boxes up, the innermost last: button events go to it and its button,
// and the pointer cannot leave it.
std::vector<Window> BoxesUp;

void ConfinePointer() {
  if (BoxesUp.empty()) {
    XUngrabPointer(display, CurrentTime);
    return;
  }
  Window box = BoxesUp.back();
  XGrabPointer(display, box, True, ButtonEventMask, GrabModeAsync, GrabModeAsync, box, None, CurrentTime);
}

// The box goes, and its button with it.
void Dismiss(ButtonWindow& button, Window box) {
  button.Close();
  XDestroyWindow(display, box);
}

}  // namespace

bool slate::IsAlertWindow(unsigned long window) {
  return std::find(AlertWindowsUp.begin(), AlertWindowsUp.end(), window) != AlertWindowsUp.end();
}

bool slate::ModalLoopRunning() {
  return ModalLoop::Running();
}

AlertWindow::AlertWindow(std::string const& title, std::string const& message, void (*callback)(),
                         unsigned long owner)
    : X(0),
      Y(0),
      Width(0),
      Height(0),
      Title(title),
      MessageText(message),
      WindowId(0),
      Owner(owner),
      Button(),
      Drawables() {
  // The disc first, the exclamation mark over it, then the message.
  Drawables.InsertGraphic(new (std::nothrow)
                              EllipseGraphic(ExclamationColor, UpperLeftExCircle, LowerRightExCircle, 0));
  GraphicPosition mark(slate::AlertPixels(ExclamationSize.GetXCoordinate()),
                       slate::AlertPixels(ExclamationSize.GetYCoordinate()));
  Drawables.AppendGraphic(new (std::nothrow)
                              X11BitMapGraphic(ScaledMark(mark.GetXCoordinate(), mark.GetYCoordinate()),
                                               ExclamationColor, ExclamationPosition, mark, 0));
  AddMessageToList();
  if (SetLocationAndSize() == 0) {
    Terminate();
    return;
  }
  // The callback runs only once the box has been shown and closed.
  if (Open() == 1 && callback != nullptr) callback();
}

AlertWindow::~AlertWindow() {
  Drawables.EmptyList();
}

void AlertWindow::AddMessageToList() {
  const slate::Face* face = slate::AlertFace(false);
  if (!face) {
    slate::ShutDown(std::cout,
                    "\n\nAlertWindow::AddMessageToList\n"
                    "Unable to obtain to allocate memory to a font structure\n");
    return;
  }
  // The message's rectangle is the text's own box.
  slate::TextBox text = slate::MeasureText(*face, MessageText);
  MessageGraphic* graphic =
      new (std::nothrow) MessageGraphic(MessageText, White, AlertTextPosition, AlertTextPosition, 0);
  if (graphic) {
    GraphicPosition corner = l_to_d(AlertTextPosition);
    graphic->SetLowerRight(corner + GraphicPosition(text.Width, text.Ascent + text.Descent));
  }
  Drawables.AppendGraphic(graphic);
}

int AlertWindow::SetLocationAndSize() {
  const slate::Face* face = slate::AlertFace(false);
  if (!face) {
    std::cout << "\n\nAlertWindow::SetLocationAndSize\n"
              << "Unable to allocate memory to a font structure\n"
              << std::flush;
    return 0;
  }
  const int titleWidth = slate::MeasureText(*face, Title).Width;

  const int screenWidth = DisplayWidth(display, ScreenNbr);
  const int screenHeight = DisplayHeight(display, ScreenNbr);
  const int margin = slate::AlertPixels(SpaceBuffer);

  // A wide title widens the box, and never narrows it.
  Width = slate::AlertPixels(AlertWindowDefaultWidth);
  if (titleWidth > slate::AlertPixels(DefaultTitleWidth)) {
    Width = titleWidth < screenWidth ? std::max(Width, titleWidth + slate::AlertPixels(DefaultTitleSpacing))
                                     : screenWidth - margin;
  }
  // Room for the message and a margin after it, as long as the screen allows.
  int needed =
      Drawables.GetLowerRightOfFirstMessage().GetXCoordinate() + slate::AlertPixels(AlertTextSpaceBuffer);
  if (Width < needed && needed < screenWidth) {
    Width = needed;
  } else if (needed > screenWidth) {
    Width = screenWidth - margin;
  }

  Height = slate::AlertPixels(AlertWindowDefaultHeight);
  X = screenWidth / 2 - Width / 2;
  Y = screenHeight / 2 - Height / 2;
  return 1;
}

int AlertWindow::Open() {
  // A dialog of the window that showed it, of a fixed size, where the
  // program puts it: in the middle of the screen.
  const int fixedSize = 1;
  const slate::Dialog dialog{Owner};
  if (!slate::CreateTopLevel(WindowId, Title, X, Y, Width, Height, fixedSize, PPosition, &dialog)) {
    slate::ShutDown(std::cout, "Unable to open the Alert box.\n");
    return 0;
  }
  // Exposures and button events, and structure events for its destruction
  // by another client.
  AlertWindowsUp.push_back(WindowId);
  XSelectInput(display, WindowId, AlertWindowEventMask | StructureNotifyMask);
  SetWMCloseWindow(WindowId);
  if (Button.Open(WindowId, Width, Height) != WindowIsOpen) {
    XDestroyWindow(display, WindowId);
    Forget(WindowId);
    slate::ShutDown(std::cout,
                    "Error setting up the button in function "
                    "AlertWindow::Open.\n");
    return 0;
  }
  RefreshEvent();
  BoxesUp.push_back(WindowId);
  ConfinePointer();
  EventHandler();
  BoxesUp.pop_back();
  ConfinePointer();
  // Errors of requests still on their way about the box, gone now, are
  // forgiven as those of any window closed.
  Forget(WindowId);
  Forget(Button.GetWindow());
  slate::Closed(WindowId, Button.GetWindow());
  // Keys let go while the box was up come first, before what was kept.
  std::vector<XEvent> releases = slate::MissedKeyReleases();
  for (auto release = releases.rbegin(); release != releases.rend(); ++release)
    XPutBackEvent(display, &*release);
  XFlush(display);
  return 1;
}

void AlertWindow::EventHandler() {
  ModalLoop modal;
  for (;;) {
    XEvent event;
    XNextEvent(display, &event);
    if (!Owns(event, WindowId, Button)) {
      modal.Other(event);
      continue;
    }
    if (event.type == Expose) {
      Repaint(event, *this, Button);
    } else if (Destroyed(event, WindowId)) {
      return;
    } else if (IsCloseRequest(event, WindowId)) {
      Dismiss(Button, WindowId);
      return;
    } else if (event.type == ButtonPress && event.xbutton.window == Button.GetWindow()) {
      // Presses beside the button change nothing.
      if (ButtonPressed(static_cast<int>(event.xbutton.button)) == 0) return;
    }
  }
}

void AlertWindow::RefreshEvent() {
  // The disc, the exclamation mark over it, then the message; fewer if the
  // message could not be measured.
  GraphicNode* node = Drawables.First();
  for (int i = 0; i < NbrStaticAlertDrawables + 1 && node != nullptr; ++i) {
    node->Draw(WindowId);
    node = Drawables.Next();
  }
}

int AlertWindow::ButtonPressed(int button) {
  Button.MouseClickEvent(ButtonIsDown);
  ModalLoop modal;
  // Follow this press to the release of the same mouse button; further
  // presses and other buttons' releases are dropped. The box still repaints
  // and can be closed meanwhile.
  XEvent event;
  for (;;) {
    XNextEvent(display, &event);
    if (!Owns(event, WindowId, Button)) {
      modal.Other(event);
    } else if (event.type == Expose) {
      Repaint(event, *this, Button);
    } else if (Destroyed(event, WindowId)) {
      return 0;
    } else if (IsCloseRequest(event, WindowId)) {
      Dismiss(Button, WindowId);
      return 0;
    } else if (event.type == ButtonRelease && static_cast<int>(event.xbutton.button) == button) {
      break;
    }
  }

  if (event.xbutton.window == Button.GetWindow()) {
    Dismiss(Button, WindowId);
    return 0;
  }
  // Released off the button: the box stays open.
  Button.MouseClickEvent(ButtonIsUp);
  return 1;
}
