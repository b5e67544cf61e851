// Top-level X windows: creation, window-manager hints and the close-request
// protocol; the alert box's push button and the alert box itself.
#include <poll.h>

#include <chrono>
#include <iostream>
#include <new>

#include "internal.h"

namespace {

// The two atoms of the close-request protocol, interned on every call.
struct CloseAtoms {
  Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
  Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
};

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
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    XFlush(display);
    pollfd connection = {ConnectionNumber(display), POLLIN, 0};
    poll(&connection, 1, static_cast<int>(left.count()));
  }
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
                          int height, int fixedSize, long placement) {
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
  XMapRaised(display, window);
  XEvent event;
  // A window not shown in time is drawn on when its first exposure comes;
  // one destroyed meanwhile is closed by its DestroyNotify, put back for
  // the event loop, once it is registered.
  if (!AwaitShown(window, &event)) {
    XSelectInput(display, window, NormalWindowEventMask);
    return 1;
  }
  if (event.type == DestroyNotify) {
    XPutBackEvent(display, &event);
    return 1;
  }
  XSelectInput(display, window, NormalWindowEventMask);
  // The first exposure is taken here and dropped: the caller draws the
  // window's first contents itself. A window with nothing on the screen (off
  // its edges, say) gets none, and is not waited for.
  if (event.xvisibility.state == VisibilityFullyObscured) return 1;
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
}

WindowState ButtonWindow::Open(unsigned long const& parent, int parentWidth, int parentHeight) {
  // Centred horizontally, its centre at three quarters of the parent's height.
  X = parentWidth / 2 - ButtonWidth / 2;
  Y = (3 * parentHeight) / 4 - ButtonHeight / 2;
  Width = ButtonWidth;
  Height = ButtonHeight;
  WindowId = XCreateSimpleWindow(display, parent, X, Y, Width, Height, ButtonBorderSize,
                                 BlackPixel(display, ScreenNbr), ButtonColorTable[0]);
  if (WindowId == 0) {
    std::cout << "Error opening window in function ButtonAsWindow::Open.\n" << std::flush;
    return WindowOpenFailed;
  }
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
  // Raised: light top-left and dark bottom-right edges; pressed: swapped, and
  // the label a little lower and to the right. The drawable draws itself.
  const bool up = look == ButtonIsUp;
  ButtonGraphic graphic(ButtonMessage, up ? OkayUpPosition : OkayDownPosition,
                        Position(static_cast<float>(Width), static_cast<float>(Height)),
                        up ? ButtonColorTable[1] : ButtonColorTable[2],
                        up ? ButtonColorTable[2] : ButtonColorTable[1], WindowId);
}

// ---------------------------------------------------------------------------
// AlertWindow: the modal message box
// ---------------------------------------------------------------------------

AlertWindow::AlertWindow(std::string const& title, std::string const& message, void (*callback)())
    : X(0),
      Y(0),
      Width(0),
      Height(0),
      Title(title),
      MessageText(message),
      WindowId(0),
      Button(),
      Drawables() {
  // The disc first, the exclamation mark over it, then the message.
  Drawables.InsertGraphic(new (std::nothrow)
                              EllipseGraphic(ExclamationColor, UpperLeftExCircle, LowerRightExCircle, 0));
  Drawables.AppendGraphic(new (std::nothrow) X11BitMapGraphic(exclam_bits, ExclamationColor,
                                                              ExclamationPosition, ExclamationSize, 0));
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
  slate::OwnedFont font;
  if (LoadFont(font.Out(), WindowFont) == 0) {
    slate::ShutDown(std::cout,
                    "\n\nAlertWindow::AddMessageToList\n"
                    "Unable to obtain to allocate memory to a font structure\n");
    return;
  }
  int textWidth = XTextWidth(font.Get(), MessageText.c_str(), static_cast<int>(MessageText.size()));
  int textHeight = font.Get()->ascent + font.Get()->descent;

  // The message's rectangle is the text's own extent, in centimetres.
  Position extent(d_to_l(textWidth), d_to_l(textHeight));
  Drawables.AppendGraphic(new (std::nothrow) MessageGraphic(MessageText, White, AlertTextPosition,
                                                            AlertTextPosition + extent, 0));
}

int AlertWindow::SetLocationAndSize() {
  int titleWidth = 0;
  {
    slate::OwnedFont font;
    if (LoadFont(font.Out(), WindowFont) == 0) {
      std::cout << "\n\nAlertWindow::SetLocationAndSize\n"
                << "Unable to allocate memory to a font structure\n"
                << std::flush;
      return 0;
    }
    titleWidth = XTextWidth(font.Get(), Title.c_str(), static_cast<int>(Title.size()));
  }

  const int screenWidth = DisplayWidth(display, ScreenNbr);
  const int screenHeight = DisplayHeight(display, ScreenNbr);

  Width = AlertWindowDefaultWidth;
  if (titleWidth > DefaultTitleWidth) {
    Width = titleWidth < screenWidth ? titleWidth + DefaultTitleSpacing : screenWidth - SpaceBuffer;
  }
  // Room for the message and a margin after it, as long as the screen allows.
  int needed = Drawables.GetLowerRightOfFirstMessage().GetXCoordinate() + AlertTextSpaceBuffer;
  if (Width < needed && needed < screenWidth) {
    Width = needed;
  } else if (needed > screenWidth) {
    Width = screenWidth - SpaceBuffer;
  }

  X = screenWidth / 2 - Width / 2;
  Y = screenHeight / 2 - AlertWindowDefaultHeight / 2;
  Height = AlertWindowDefaultHeight;
  return 1;
}

int AlertWindow::Open() {
  const int resizable = 0;
  if (CreateWindow(WindowId, Title, X, Y, Width, Height, 1, resizable) == 0) {
    slate::ShutDown(std::cout, "Unable to open the Alert box.\n");
    return 0;
  }
  // Only exposures and button events: the box takes no structure events.
  XSelectInput(display, WindowId, AlertWindowEventMask);
  SetWMCloseWindow(WindowId);
  if (Button.Open(WindowId, Width, Height) != WindowIsOpen) {
    XDestroyWindow(display, WindowId);
    slate::ShutDown(std::cout,
                    "Error setting up the button in function "
                    "AlertWindow::Open.\n");
    return 0;
  }
  RefreshEvent();
  // Button events go to the box and its button, and the pointer cannot leave.
  XGrabPointer(display, WindowId, True, ButtonEventMask, GrabModeAsync, GrabModeAsync, WindowId, None,
               CurrentTime);
  EventHandler();
  XUngrabPointer(display, CurrentTime);
  XFlush(display);
  return 1;
}

void AlertWindow::EventHandler() {
  // Every event of the connection passes through here while the box is up;
  // whatever is not for the box or its button is dropped.
  for (;;) {
    XEvent event;
    XNextEvent(display, &event);
    switch (event.type) {
      case Expose:
        if (event.xexpose.count != 0) break;
        if (event.xexpose.window == WindowId) {
          RefreshEvent();
        } else if (event.xexpose.window == Button.GetWindow()) {
          Button.RefreshEvent();
        }
        break;
      case ButtonPress:
        if (event.xbutton.window == Button.GetWindow() &&
            ButtonPressed(static_cast<int>(event.xbutton.button)) == 0) {
          return;
        }
        break;
      case ClientMessage:
        if (IsWMCloseWindow(&event.xclient) == 1 && event.xclient.window == WindowId) {
          Button.Close();
          XDestroyWindow(display, WindowId);
          return;
        }
        break;
      case MappingNotify:
        XRefreshKeyboardMapping(&event.xmapping);
        break;
      default:
        break;
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
  XEvent event;
  // Follow this press to the release of the same mouse button; further
  // presses and other buttons' releases are dropped.
  do {
    while (XCheckTypedEvent(display, ButtonPress, &event)) {
    }
    XMaskEvent(display, ButtonReleaseMask, &event);
  } while (static_cast<int>(event.xbutton.button) != button);

  if (event.xbutton.window == Button.GetWindow()) {
    Button.Close();
    XDestroyWindow(display, WindowId);
    return 0;
  }
  // Released off the button: the box stays open.
  Button.MouseClickEvent(ButtonIsUp);
  return 1;
}
