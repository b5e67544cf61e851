// The modal alert box and its "O K" push button: two targets of the event
// loop while the box is up, drawn through their surfaces by the box's
// drawables. The box's constructor runs the loop in its modal mode until
// the box has gone.
#include <X11/Xlib.h>

#include <algorithm>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "drawables.h"
#include "errors.h"
#include "event_loop.h"
#include "owner.h"
#include "protocol.h"
#include "runtime.h"
#include "top_level.h"

namespace slate {

namespace {

// The keyboard's input given to a window, as far as the server allows (it
// refuses a window not shown, say).
void GiveFocus(::Window window) {
  Refusals refused;
  XSetInputFocus(display, window, RevertToParent, CurrentTime);
}

}  // namespace

// The box's window as the loop sees it, registered while the box is up: it
// repaints, and is closed by the window manager's request, by another
// client's destroying it, or from the keyboard: Return and Space press
// "O K", Escape closes it.
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
  long Takes() const override { return KeyEventMask; }
  // The box goes on the release of the key pressed in it, not on the
  // press: a release coming after the box had gone would reach the window
  // beneath, which never saw the press. A key held when the box came up
  // does not close it, nor do the presses its auto-repeat makes. "O K"
  // shows pressed in while its key is held.
  int KeyPressed(const Key& key) override {
    if (key.Repeat) return 1;
    if (key.Symbol != KeyReturn && key.Symbol != KeySpace && key.Symbol != KeyEscape) return 1;
    Held = key.Symbol;
    if (Held != KeyEscape) Alert.Button.MouseClickEvent(ButtonIsDown);
    return 1;
  }
  int KeyReleased(const Key& key) override {
    if (Held != 0 && key.Symbol == Held) Alert.Dismiss();
    return 1;
  }
  int CloseRequested() override {
    Alert.Dismiss();
    return 1;
  }
  int FocusLost() override {
    // Another program may take the keyboard; the box's own program may not
    // (a window manager gives it to the window clicked, say), but for a box
    // shown over this one.
    ::Window now = None;
    int revert = 0;
    XGetInputFocus(display, &now, &revert);
    const Target* to = Loop().Find(now);
    if (to && to->Dialog != this && Loop().Innermost() == this) GiveFocus(Id);
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
  unsigned long Held = 0;  // the closing key pressed in the box, if one is
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
    // The release of a press on the button comes here wherever it happens:
    // over the button, it closes the box.
    bool over = event.x >= 0 && event.y >= 0 && event.x < Button.Width && event.y < Button.Height;
    if (Alert) Alert->ButtonReleased(static_cast<int>(event.button), over);
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

// The lines of a message as the box shows them: broken at each "\n", then
// at the last space that keeps a line within width pixels (between
// characters, for a word alone too wide); at most most lines, the last cut
// short with "…" when there are more.
std::vector<std::string> MessageLines(const Face& face, const std::string& text, long long width,
                                      size_t most) {
  auto fits = [&](size_t from, size_t length) {
    return MeasureText(face, text.substr(from, length)).Width <= width;
  };
  // No line holds more than this many bytes: the first of a longer rest
  // are enough to find where its line ends.
  constexpr size_t LineBytes = 4096;
  std::vector<std::string> lines;
  for (size_t start = 0; start <= text.size() && lines.size() <= most;) {
    size_t end = std::min(text.find('\n', start), text.size());
    do {
      size_t rest = end - start, cut = rest;
      if (rest > LineBytes || !fits(start, rest)) {
        cut = 0;
        for (size_t space = text.find(' ', start);
             space < end && space - start <= LineBytes && fits(start, space - start);
             space = text.find(' ', space + 1))
          cut = space - start;
        if (cut == 0) {
          // A word alone too wide: as many characters as fit, one at least.
          size_t low = 1, high = std::min(rest, LineBytes);
          while (low < high) {
            size_t middle = (low + high + 1) / 2;
            if (fits(start, middle))
              low = middle;
            else
              high = middle - 1;
          }
          cut = low;
          while (cut < rest && (static_cast<unsigned char>(text[start + cut]) & 0xc0) == 0x80) ++cut;
        }
      }
      lines.push_back(text.substr(start, cut));
      start += cut < rest && text[start + cut] == ' ' ? cut + 1 : cut;
    } while (start < end && lines.size() <= most);
    start = end + 1;
  }
  if (lines.size() > most) {
    lines.resize(most);
    std::string& last = lines.back();
    const std::string more = "\xe2\x80\xa6";
    while (!last.empty() && MeasureText(face, last + more).Width > width) {
      last.pop_back();
      while (!last.empty() && (static_cast<unsigned char>(last.back()) & 0xc0) == 0x80) last.pop_back();
      if (!last.empty() && (static_cast<unsigned char>(last.back()) & 0xc0) == 0xc0) last.pop_back();
    }
    last += more;
  }
  return lines;
}

// The height of the box: its default, one line more for every line more of
// its message.
int BoxHeight(int lines, int lineHeight) {
  return AlertPixels(AlertWindowDefaultHeight) + std::max(lines - 1, 0) * lineHeight;
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
  // Centred horizontally, its centre at three quarters of the parent's
  // height; in a box taller than the default one (a message of several
  // lines), as far from its bottom.
  Width = slate::AlertPixels(ButtonWidth);
  Height = slate::AlertPixels(ButtonHeight);
  X = parentWidth / 2 - Width / 2;
  const int usual = slate::AlertPixels(AlertWindowDefaultHeight);
  Y = (3 * std::min(parentHeight, usual)) / 4 - Height / 2 + std::max(parentHeight - usual, 0);
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
  // Without owner-grab: the release of a press on the button comes to the
  // button wherever the pointer is then, so that a press always ends.
  XSelectInput(display, WindowId, AlertButtonEventMask & ~OwnerGrabButtonMask);
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
  // One drawable a line, each line's rectangle its own box, one below the
  // other. Lines are wrapped so that the box is at most 15 cm wide (and
  // within the screen), and as many as the screen's height holds.
  const int screenWidth = DisplayWidth(display, ScreenNbr), screenHeight = DisplayHeight(display, ScreenNbr);
  const int margin = slate::AlertPixels(SpaceBuffer);
  const GraphicPosition corner = l_to_d(AlertTextPosition);
  const int widest = std::min(l_to_d(15.0f), screenWidth - margin);
  const long long width = widest - corner.GetXCoordinate() - slate::AlertPixels(AlertTextSpaceBuffer);
  const int lineHeight = face->Ascent + face->Descent;
  int most = 1;
  while (slate::BoxHeight(most + 1, lineHeight) <= screenHeight - 2 * margin) ++most;
  std::vector<std::string> lines = slate::MessageLines(*face, MessageText, width, static_cast<size_t>(most));
  for (size_t i = 0; i < lines.size(); ++i) {
    long long lineWidth = slate::MeasureText(*face, lines[i]).Width;
    MessageGraphic* graphic =
        new (std::nothrow) MessageGraphic(lines[i], White, AlertTextPosition, AlertTextPosition, 0);
    if (graphic) {
      GraphicPosition top = corner + GraphicPosition(0, static_cast<int>(i) * lineHeight);
      graphic->SetLocation(top, top + GraphicPosition(slate::ToInt(lineWidth), lineHeight));
    }
    Drawables.AppendGraphic(graphic);
  }
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
  // Room for the message's widest line and a margin after it, as long as
  // the screen allows; a line of height for each of its lines.
  int right = Drawables.GetLowerRightOfFirstMessage().GetXCoordinate(), lines = 0;
  for (GraphicNode* node = Drawables.First(); node; node = Drawables.Next()) {
    if (node->GetType() != MessageGraphicType) continue;
    right = std::max(right, node->GetLowerRight().GetXCoordinate());
    ++lines;
  }
  int needed = right + slate::AlertPixels(AlertTextSpaceBuffer);
  if (Width < needed && needed < screenWidth) {
    Width = needed;
  } else if (needed > screenWidth) {
    Width = screenWidth - margin;
  }

  Height = slate::BoxHeight(lines, face->Ascent + face->Descent);
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
  XSelectInput(display, WindowId,
               AlertWindowEventMask | StructureNotifyMask | KeyEventMask | FocusChangeMask);
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
  // The box takes the keyboard while it is up. It is modal for its program
  // alone: the pointer goes where it will, and the loop drops what the
  // program's other windows get.
  Window focused = None;
  int revert = 0;
  XGetInputFocus(display, &focused, &revert);
  slate::GiveFocus(WindowId);
  // However the loop ends (a callback of another window may throw while
  // the box is up), the box goes from the screen, the keyboard goes back
  // where it was (to a window of the program's that is still there), and
  // errors of requests still on their way about the box are forgiven as
  // those of any window closed.
  slate::AtExit gone([this, focused] {
    if (Up) Dismiss();
    const slate::Target* back = slate::Loop().Find(focused);
    if (focused == PointerRoot || focused == None || (back && !back->Gone)) slate::GiveFocus(focused);
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
  // The disc, the exclamation mark over it, then the message's lines; no
  // line if the message could not be measured.
  for (GraphicNode* node = Drawables.First(); node != nullptr; node = Drawables.Next()) node->Draw(WindowId);
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
