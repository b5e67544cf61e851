// The modal alert box and its "O K" push button: two targets of the event
// loop while the box is up, drawn through their surfaces by the box's
// drawables. The box's constructor runs the loop in its modal mode until
// the box has gone.
#include <X11/Xlib.h>

#include <algorithm>
#include <iostream>
#include <new>
#include <vector>

#include "drawables.h"
#include "errors.h"
#include "event_loop.h"
#include "owner.h"
#include "protocol.h"
#include "runtime.h"
#include "top_level.h"

namespace slate {

// The box's window as the loop sees it, registered while the box is up: it
// repaints, and is closed by the window manager's request or by another
// client's destroying it; a button released over it, off "O K", leaves the
// box up.
class BoxTarget final : public Target {
 public:
  BoxTarget(AlertWindow& alert, unsigned long window, int width, int height) : Alert(alert) {
    Id = window;
    Dialog = this;
    Canvas.Bind(window, 0, 0, 0, width, height);
    Loop().Add(*this);
  }
  ~BoxTarget() override { Loop().Remove(*this); }

  int Exposed() override {
    Alert.RefreshEvent();
    return 1;
  }
  int Released(const XButtonEvent& event) override {
    Alert.ButtonReleased(static_cast<int>(event.button), false);
    return 1;
  }
  int CloseRequested() override {
    Alert.Dismiss();
    return 1;
  }
  int Destroyed(bool byAnotherClient) override {
    // Gone with its button: it counts as closed.
    if (byAnotherClient) {
      Gone = true;
      Alert.Up = false;
    }
    return 1;
  }

 private:
  AlertWindow& Alert;
};

// The "O K" button's window, registered from its making: it repaints; in a
// box, a press starts following the button held, and its release over the
// button closes the box.
class ButtonTarget final : public Target {
 public:
  explicit ButtonTarget(ButtonWindow& button) : Button(button) {
    Id = button.GetWindow();
    Canvas.Bind(Id, 0, 0, 0, 0, 0);
    Loop().Add(*this);
  }
  ~ButtonTarget() override { Loop().Remove(*this); }

  // The box it is the button of.
  void In(AlertWindow& alert, const BoxTarget& box) {
    Alert = &alert;
    Dialog = &box;
  }

  int Exposed() override {
    Button.RefreshEvent();
    return 1;
  }
  int Pressed(const XButtonEvent& event) override {
    if (Alert) Alert->ButtonPressed(static_cast<int>(event.button));
    return 1;
  }
  int Released(const XButtonEvent& event) override {
    if (Alert) Alert->ButtonReleased(static_cast<int>(event.button), true);
    return 1;
  }

 private:
  ButtonWindow& Button;
  AlertWindow* Alert = nullptr;
};

namespace {

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

// The pointer kept in a box (0: free again): its button events go to the
// box and its button.
void ConfinePointer(unsigned long box) {
  if (!box) {
    XUngrabPointer(display, CurrentTime);
    return;
  }
  XGrabPointer(display, box, True, ButtonEventMask, GrabModeAsync, GrabModeAsync, box, None, CurrentTime);
}

}  // namespace

}  // namespace slate

// ---------------------------------------------------------------------------
// ButtonWindow: the alert box's "O K" push button, a child window
// ---------------------------------------------------------------------------

ButtonWindow::ButtonWindow()
    : X(0),
      Y(0),
      Width(0),
      Height(0),
      Look(ButtonIsUp),
      WindowId(0),
      ButtonStatus(WindowIsClosed),
      Target(nullptr) {}

ButtonWindow::~ButtonWindow() {
  if (ButtonStatus == WindowIsOpen) Close();
  delete Target;
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
  // Registered at once: another client may destroy the box, and the button
  // with it, while it is being drawn.
  delete Target;
  Target = new slate::ButtonTarget(*this);
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
      Drawables(),
      Up(false),
      Held(0) {
  // The disc first, the exclamation mark over it, then the message.
  Drawables.InsertGraphic(new (std::nothrow)
                              EllipseGraphic(ExclamationColor, UpperLeftExCircle, LowerRightExCircle, 0));
  GraphicPosition mark(slate::AlertPixels(ExclamationSize.GetXCoordinate()),
                       slate::AlertPixels(ExclamationSize.GetYCoordinate()));
  Drawables.AppendGraphic(
      new (std::nothrow) X11BitMapGraphic(slate::ScaledMark(mark.GetXCoordinate(), mark.GetYCoordinate()),
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
    graphic->SetLowerRight(corner + GraphicPosition(slate::ToInt(text.Width), text.Ascent + text.Descent));
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
  const long long titleWidth = slate::MeasureText(*face, Title).Width;

  const int screenWidth = DisplayWidth(display, ScreenNbr);
  const int screenHeight = DisplayHeight(display, ScreenNbr);
  const int margin = slate::AlertPixels(SpaceBuffer);

  // A wide title widens the box, and never narrows it.
  Width = slate::AlertPixels(AlertWindowDefaultWidth);
  if (titleWidth > slate::AlertPixels(DefaultTitleWidth)) {
    Width = titleWidth < screenWidth
                ? std::max(Width, static_cast<int>(titleWidth) + slate::AlertPixels(DefaultTitleSpacing))
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
  XSelectInput(display, WindowId, AlertWindowEventMask | StructureNotifyMask);
  slate::BoxTarget box(*this, WindowId, Width, Height);
  if (Button.Open(WindowId, Width, Height) != WindowIsOpen) {
    XDestroyWindow(display, WindowId);
    slate::Closed(WindowId, 0);
    slate::ShutDown(std::cout,
                    "Error setting up the button in function "
                    "AlertWindow::Open.\n");
    return 0;
  }
  Button.Target->In(*this, box);
  Up = true;
  Held = 0;
  RefreshEvent();
  slate::ConfinePointer(WindowId);
  // However the loop ends (a callback of another window may throw while
  // the box is up), the box goes from the screen, the pointer goes to the
  // box beneath or is free again, and errors of requests still on their
  // way about the box are forgiven as those of any window closed.
  slate::AtExit gone([this] {
    if (Up) Dismiss();
    const slate::Target* beneath = slate::Loop().Innermost();
    slate::ConfinePointer(beneath ? beneath->Id : 0);
    slate::Closed(WindowId, Button.GetWindow());
    XFlush(display);
  });
  EventHandler();
  return 1;
}

void AlertWindow::EventHandler() {
  if (const slate::Target* box = slate::Loop().Find(WindowId)) slate::Loop().RunModal(*box, Up);
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
  // Further presses, of any button, change nothing while one is held.
  if (Held) return 1;
  Held = button;
  Button.MouseClickEvent(ButtonIsDown);
  return 1;
}

void AlertWindow::ButtonReleased(int button, bool onButton) {
  // Only the release of the button held counts: over "O K" it closes the
  // box; off it, the box stays and "O K" is raised again.
  if (!Held || button != Held) return;
  Held = 0;
  if (onButton) {
    Dismiss();
    return;
  }
  Button.MouseClickEvent(ButtonIsUp);
}

void AlertWindow::Dismiss() {
  // The box goes, and its button with it.
  Button.Close();
  XDestroyWindow(display, WindowId);
  Up = false;
}
