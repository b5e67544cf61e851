// slate: a small window and graphics library for the X Window System.
//
// Programs written against slate think in centimetres: every position and
// size an application passes in is a float number of centimetres, measured
// from the upper-left corner of a window (or of the screen, for window
// placement). The library converts to pixels with a whole-number scale,
// PixelsPerCentimeter = floor(screen width in pixels / 29), truncating
// toward zero.
//
// The library owns the process entry point. The application supplies
// ApiMain(), which runs once after the display is open and the colours are
// allocated; afterwards the library's event loop delivers clicks, exposures,
// close requests and timer ticks to the application's windows until the last
// window has closed. The program then exits with status 0.
#ifndef SLATE_H
#define SLATE_H

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

// The header names no X type of its own and includes no X header, so that a
// program may define Window, Status, None, Bool, KeyPress and the like. The
// few X types of the interface are named by their tags; the calls that take
// an X font or an X client message are declared when the program includes
// <X11/Xlib.h> before this header.
struct _XDisplay;  // Display
struct _XGC;       // GC
union _XEvent;     // XEvent
namespace slate {
class WindowTarget;    // a window as the event loop knows it
class BoxTarget;       // an alert box as the event loop knows it
class ButtonTarget;    // its button
class Surface;         // where a window's pixels are written
struct PictureRecord;  // a picture's size and load options
}  // namespace slate

// ---------------------------------------------------------------------------
// Shared enumerations
// ---------------------------------------------------------------------------

// The eight palette colours; a colour indexes ColorTable.
// Any other colour comes from RGBColor, as a value outside the palette.
enum color : int { Black = 0, White = 1, Red = 2, Green = 3, Blue = 4, Yellow = 5, Cyan = 6, Magenta = 7 };

// Status of a SimpleWindow (and result of ButtonWindow::Open).
enum WindowState { WindowIsClosed = 0, WindowIsOpen = 1, WindowOpenFailed = 2 };

// Status of a BitMap picture.
enum PictureState { PictureNotLoaded = 0, PictureLoaded = 1, PictureHasNoWindow = 2 };

// Kind of a retained drawable.
enum GraphicType {
  MessageGraphicType = 1,
  EllipseGraphicType = 3,
  ButtonGraphicType = 5,
  X11BitMapGraphicType = 6
};

// Look of the alert box's push button.
enum ButtonState { ButtonIsUp = 0, ButtonIsDown = 1 };

// ---------------------------------------------------------------------------
// Coordinates (centimetres and pixels)
// ---------------------------------------------------------------------------

constexpr int DefaultXCoordinate = 0;  // default x of both point types
constexpr int DefaultYCoordinate = 0;  // default y of both point types

// A point or extent in centimetres.
class Position {
 public:
  // (x, y) in centimetres; both default to 0.
  constexpr Position(float x = DefaultXCoordinate, float y = DefaultYCoordinate)
      : XDistance(x), YDistance(y) {}
  float GetXDistance() const;  // x in centimetres
  float GetYDistance() const;  // y in centimetres
  void SetXDistance(float x);  // replaces x (centimetres)
  void SetYDistance(float y);  // replaces y (centimetres)

 private:
  float XDistance;
  float YDistance;
};
Position operator+(const Position& a, const Position& b);  // component-wise sum
Position operator-(const Position& a, const Position& b);  // component-wise a - b
bool operator==(const Position& a, const Position& b);     // exact float equality; NaN is never equal
bool operator!=(const Position& a, const Position& b);     // negation of ==

// A point or extent in pixels.
class GraphicPosition {
 public:
  // (x, y) in pixels; both default to 0.
  constexpr GraphicPosition(int x = DefaultXCoordinate, int y = DefaultYCoordinate)
      : XCoordinate(x), YCoordinate(y) {}
  int GetXCoordinate() const;  // x in pixels
  int GetYCoordinate() const;  // y in pixels
  void SetXCoordinate(int x);  // replaces x (pixels)
  void SetYCoordinate(int y);  // replaces y (pixels)

 private:
  int XCoordinate;
  int YCoordinate;
};
GraphicPosition operator+(const GraphicPosition& a, const GraphicPosition& b);  // component-wise sum
GraphicPosition operator-(const GraphicPosition& a, const GraphicPosition& b);  // component-wise a - b
bool operator==(const GraphicPosition& a, const GraphicPosition& b);            // both components equal
bool operator!=(const GraphicPosition& a, const GraphicPosition& b);            // either component differs

constexpr Position LogicalOrigin(3.0f, 3.0f);  // default placement of pictures, centimetres
constexpr GraphicPosition DeviceOrigin(0, 0);  // default corner of drawables, pixels
constexpr float DisplayLengthCM = 29.0f;       // assumed width of every screen, centimetres

int l_to_d(float centimetres);              // centimetres to pixels, truncated toward zero
float d_to_l(int pixels);                   // pixels to centimetres
GraphicPosition l_to_d(const Position& p);  // both components to pixels
Position d_to_l(const GraphicPosition& p);  // both components to centimetres

// ---------------------------------------------------------------------------
// Library-wide constants
// ---------------------------------------------------------------------------

constexpr color DefaultColor = White;  // default background colour
constexpr int MaxColors = 8;           // entries of ColorTable
constexpr int NbrButtonColors = 3;     // entries of ButtonColorTable

constexpr const char WindowFont[] = "9x15";      // font of window text; needed by the alert's text
constexpr const char ButtonFont[] = "9x15bold";  // needed by the alert's button label
constexpr const char NoTitle[] = "Untitled";     // default window title
constexpr float DefaultWidth = 8;                // default window width, centimetres
constexpr float DefaultHeight = 8;               // default window height, centimetres

constexpr int DeviceTwoPi = 23040;     // a full turn in X arc units (1/64 degree)
constexpr int ColorCloseness = 60000;  // colour tolerance when loading pictures (0..65535)

constexpr int BorderSize = 1;                    // border of top-level windows, pixels
constexpr long NormalWindowEventMask = 0x28000;  // StructureNotifyMask | ExposureMask
constexpr long ButtonEventMask = 0xc;            // ButtonPressMask | ButtonReleaseMask
constexpr long KeyEventMask = 0x3;               // KeyPressMask | KeyReleaseMask
constexpr long DragEventMask = 0x2000;           // ButtonMotionMask: motion while a button is held
constexpr long MoveEventMask = 0x40;             // PointerMotionMask: motion, with or without buttons
constexpr long EnterEventMask = 0x10;            // EnterWindowMask: the pointer coming into a window
constexpr long LeaveEventMask = 0x20;            // LeaveWindowMask: the pointer going out of a window
constexpr int MinScreenWidth = 120;              // minimum width of a resizable window, pixels
constexpr int MinScreenHeight = 0;               // minimum height of a resizable window, pixels
constexpr int DeleteWindowFormat = 32;           // format of a window manager's close request

// The alert box's lengths in pixels are those of a screen of 47 pixels a
// centimetre; other screens scale them, so that the box keeps its size.
constexpr int ButtonWidth = 75;                    // alert push button, pixels
constexpr int ButtonHeight = 35;                   // alert push button, pixels
constexpr int ButtonBorderSize = 1;                // alert push button border, pixels
constexpr int BevelSize = 4;                       // bevel lines on each edge of the button
constexpr color NoColorNeeded = White;             // colour of drawables that use none
constexpr long AlertButtonEventMask = 0x0100800C;  // OwnerGrabButton | Exposure | ButtonRelease | ButtonPress
constexpr const char ButtonMessage[] = "O K";      // label of the alert's push button
constexpr Position OkayUpPosition(1.9f, 0.8f);     // label corner, button raised
constexpr Position OkayDownPosition(2.0f, 0.9f);   // label corner, button pressed

constexpr int DefaultPlane = 1;                        // bit plane copied from one-bit bitmaps
constexpr color ExclamationColor = Yellow;             // colour of the alert's disc and mark
constexpr Position ExclamationPosition(0.78f, 0.52f);  // upper-left of the exclamation mark
constexpr GraphicPosition ExclamationSize(10, 30);     // exclamation mark, pixels
constexpr Position UpperLeftExCircle(0.5f, 0.5f);      // alert disc, upper-left
constexpr Position LowerRightExCircle(1.3f, 1.3f);     // alert disc, lower-right
constexpr Position AlertTextPosition(1.75f, 0.7f);     // upper-left of the alert's message

constexpr int AlertWindowDefaultWidth = 277;   // alert box, pixels
constexpr int AlertWindowDefaultHeight = 126;  // alert box, pixels
constexpr int DefaultTitleWidth = 190;         // wider titles widen the alert box, pixels
constexpr int DefaultTitleSpacing = 10;        // added to a wide title's width, pixels
constexpr int SpaceBuffer = 20;                // screen margin of a full-width alert, pixels
constexpr int AlertTextSpaceBuffer = 15;       // margin right of the alert's message, pixels
constexpr long AlertWindowEventMask = 0x800C;  // Exposure | ButtonRelease | ButtonPress
constexpr int NbrStaticAlertDrawables = 2;     // the disc and the mark

// The exclamation mark: 10 x 30 pixels, X bitmap layout (two bytes a row).
extern char exclam_bits[60];

// ---------------------------------------------------------------------------
// Any colour, keys and mouse buttons
// ---------------------------------------------------------------------------

// A colour by its red, green and blue parts (0..255 each; others are clamped),
// usable wherever a color is. Each distinct colour is allocated once and kept
// until the display closes; the same parts give the same value. Black when
// the server has no room for another colour.
color RGBColor(int red, int green, int blue);
// The same with an alpha, from 0 (wholly transparent) to 255 (opaque, the
// colour above): shapes, outlines and text in it are blended once over what
// is there. Up to 16,777,216 such colours, kept like the others.
color RGBColor(int red, int green, int blue, int alpha);

// A key as the key callbacks get it.
struct Key {
  unsigned long Symbol;  // the key's X keysym with Shift and Caps Lock aside: KeyLeft, 'a'..'z', '0'..'9'
  std::string Text;      // what it types (Shift and the rest applied); empty for none
  bool Repeat;           // a press made by the server's auto-repeat while the key is held
};

// Keysyms of common keys; a letter's or digit's keysym is its character.
constexpr unsigned long KeyBackSpace = 0xff08;
constexpr unsigned long KeyTab = 0xff09;
constexpr unsigned long KeyReturn = 0xff0d;
constexpr unsigned long KeyEscape = 0xff1b;
constexpr unsigned long KeySpace = 0x20;
constexpr unsigned long KeyDelete = 0xffff;
constexpr unsigned long KeyHome = 0xff50;
constexpr unsigned long KeyLeft = 0xff51;
constexpr unsigned long KeyUp = 0xff52;
constexpr unsigned long KeyRight = 0xff53;
constexpr unsigned long KeyDown = 0xff54;
constexpr unsigned long KeyPageUp = 0xff55;
constexpr unsigned long KeyPageDown = 0xff56;
constexpr unsigned long KeyEnd = 0xff57;
constexpr unsigned long KeyShiftLeft = 0xffe1;
constexpr unsigned long KeyShiftRight = 0xffe2;
constexpr unsigned long KeyControlLeft = 0xffe3;
constexpr unsigned long KeyControlRight = 0xffe4;
constexpr unsigned long KeyF1 = 0xffbe;  // F2..F12 follow one by one

// Mouse buttons as the press and release callbacks number them; 4 and 5 are
// the wheel's turns.
constexpr int LeftMouseButton = 1;
constexpr int MiddleMouseButton = 2;
constexpr int RightMouseButton = 3;

// ---------------------------------------------------------------------------
// Text at any size
// ---------------------------------------------------------------------------

// A typeface for WriteText and MeasureText: the line height in cm (all of a
// line's ink lies within it), a family ("sans", "serif", "mono", or any
// fontconfig name such as "DejaVu Serif:italic"; an unknown name gets the
// nearest font), bold or regular.
struct Typeface {
  explicit Typeface(float size = 0.5f, const std::string& family = "sans", bool bold = false)
      : Size(size), Family(family), Bold(bold) {}
  float Size;          // line height, cm; nothing is drawn for 0, less, or NaN
  std::string Family;  // fontconfig family or pattern
  bool Bold;
};

// Where WriteText's point lies on the line: its left end, middle or right end.
enum TextAlignment { AlignLeft = 0, AlignCenter = 1, AlignRight = 2 };

constexpr color NoBand = static_cast<color>(-1);  // WriteText's background: none, only the ink

// ---------------------------------------------------------------------------
// Callbacks
// ---------------------------------------------------------------------------

namespace slate {

template <typename... Args>
class Callback;
template <typename T>
struct IsCallback : std::false_type {};
template <typename... Args>
struct IsCallback<Callback<Args...>> : std::true_type {};

// Whether F can be called with Args and gives an int (or anything that
// becomes one) or nothing.
template <typename F, typename... Args>
constexpr bool ReturnsIntOrNothing() {
  if constexpr (std::is_invocable_v<std::decay_t<F>&, Args...>) {
    using Result = std::invoke_result_t<std::decay_t<F>&, Args...>;
    return std::is_void_v<Result> || std::is_convertible_v<Result, int>;
  } else {
    return false;
  }
}

// The callables a setter takes besides a plain function pointer: lambdas
// that capture, std::function, function objects, and functions or lambdas
// that return nothing. A lambda that captures nothing and returns int still
// takes the pointer form, so that a call is never ambiguous.
template <typename F, typename... Args>
using WithState = std::enable_if_t<!std::is_convertible_v<F, int (*)(Args...)> &&
                                   !IsCallback<std::decay_t<F>>::value && ReturnsIntOrNothing<F, Args...>()>;

// A window's callback: a plain function pointer, or any callable with state.
// Calling an empty one does nothing and gives 0. A callable that replaces or
// clears itself, or closes or destroys its window, while it runs lives on
// until it returns.
template <typename... Args>
class Callback {
 public:
  using Pointer = int (*)(Args...);
  Callback(std::nullptr_t = nullptr) {}
  explicit Callback(Pointer f) : Plain(f) {}
  template <typename F, typename = std::enable_if_t<!IsCallback<std::decay_t<F>>::value &&
                                                    ReturnsIntOrNothing<F, Args...>()>>
  explicit Callback(F&& f) {
    if constexpr (std::is_convertible_v<F, Pointer>) {
      Plain = f;
    } else {
      if constexpr (std::is_constructible_v<bool, const std::decay_t<F>&>) {
        if (!static_cast<bool>(f)) return;  // an empty std::function
      }
      using Result = std::invoke_result_t<std::decay_t<F>&, Args...>;
      if constexpr (std::is_void_v<Result>) {
        Shared = std::make_shared<Function>([g = std::forward<F>(f)](Args... a) mutable {
          g(std::forward<Args>(a)...);
          return 0;
        });
      } else {
        Shared = std::make_shared<Function>([g = std::forward<F>(f)](Args... a) mutable {
          return static_cast<int>(g(std::forward<Args>(a)...));
        });
      }
    }
  }

  int operator()(Args... a) const {
    if (Plain) return Plain(std::forward<Args>(a)...);
    if (!Shared) return 0;
    std::shared_ptr<Function> running = Shared;  // kept alive through the call
    return (*running)(std::forward<Args>(a)...);
  }
  explicit operator bool() const { return Plain || Shared; }

 private:
  using Function = std::function<int(Args...)>;
  Pointer Plain = nullptr;
  std::shared_ptr<Function> Shared;
};

}  // namespace slate

// ---------------------------------------------------------------------------
// Process-wide state
// ---------------------------------------------------------------------------

class SimpleWindow;
class WindowManager;

extern int ScreenNbr;                                    // default screen of the display
extern float PixelsPerCentimeter;                        // pixels per centimetre, a whole number >= 1
extern struct _XDisplay* display;                        // the one connection to the X server
extern WindowManager WinManager;                         // the one window manager
extern unsigned long ColorTable[MaxColors];              // pixel values of the palette, indexed by color
extern unsigned long ButtonColorTable[NbrButtonColors];  // button face, light bevel, dark bevel

extern const char* ColorName[MaxColors];                       // first-choice palette colour names
extern const char* SecondChoiceColors[MaxColors];              // fallback palette colour names
extern const char* ButtonColorName[NbrButtonColors];           // first-choice button grey names
extern const char* SecondChoiceButtonColors[NbrButtonColors];  // fallback button grey names

void ApiMain();  // the application's entry; it defines it
// The program's command-line arguments, its name first (argv as a list).
const std::vector<std::string>& ProgramArguments();
void SetExitStatus(int status);  // the status the program ends with (0 unless set)
int ApiEnd();                    // hook run when the last window closes by request
void Terminate();                // asks every open window to close; returns at once
unsigned int GetMilliseconds();  // wall-clock milliseconds, 32-bit, wrapping

// One node of the window registry.
struct DispatchListEntry {
  // An entry for window, linked before next.
  DispatchListEntry(SimpleWindow* window, DispatchListEntry* next) : Win(window), Next(next) {}
  SimpleWindow* Win;        // registered window, not owned
  DispatchListEntry* Next;  // following entry, null at the end
};

// The window runtime: display connection, palette, registry, event routing.
class WindowManager {
 public:
  WindowManager();   // opens the display and allocates the colours
  ~WindowManager();  // closes windows still open, then the display
  WindowManager(const WindowManager&) = delete;
  WindowManager& operator=(const WindowManager&) = delete;

  int ColorsObtained() const;      // 1 when the palette was allocated
  void ApiMainIsCompleted();       // marks ApiMain as returned
  int IsApiMainCompleted() const;  // 1 once ApiMain has returned
  int Empty() const;               // 1 when no window is open
  int CheckTermination();          // 1 if windows remain, else calls ApiEnd and gives 0
  void Terminate();                // sends a close (DestroyNotify) to every open window

  // Allocates count named colours into table, trying names then fallbacks; 1 on success.
  int InitializeColors(const char** names, const char** fallbacks, unsigned long* table, int count);

  int Register(SimpleWindow* window);                      // adds an open window; 1 on success
  int Unregister(const unsigned long& id);                 // removes the window with this X id; 1 if removed
  int CloseAWindow(SimpleWindow* window);                  // quit callback then close; 0 when none remain
  SimpleWindow* GetWindow(const unsigned long& id) const;  // window with this X id, or null
  SimpleWindow* GetWindow(const union _XEvent& event) const;  // window an event belongs to, or null
  unsigned long GetWindow(const SimpleWindow* window) const;  // X id of a window, 0 for null
  void DescribeContents() const;  // lists the open windows' ids on standard output
  int DispatchMessage(union _XEvent& event, SimpleWindow* window);  // 1 handled, 2 not, 0 last one closed
  void CheckEvents();   // handles structure events, close requests, timers
  void CheckTimers();   // runs the timers of open windows that are due
  void WaitForEvent();  // sleeps until an event is queued or a timer is due

 private:
  int ColorsAreObtained;
};

int FilterEvent(union _XEvent* event, const SimpleWindow* window);  // 1 to dispatch the event, 0 to drop it
void SendExposeEvent(const unsigned long& id);                      // asks the server to expose a window

// ---------------------------------------------------------------------------
// X helpers
// ---------------------------------------------------------------------------

// Graphics context for drawable with the given foreground and background pixels; free with XFreeGC.
struct _XGC* GetGraphicsContext(unsigned long drawable, unsigned long foreground, unsigned long background);

// Creates, hints, maps a top-level window (pixels) and waits for its first exposure; 1 on success.
int CreateWindow(unsigned long& window, std::string const& title, int x, int y, int width, int height,
                 unsigned long unused, int const& fixedSize);
// Sets name, icon name, size hints and input hints of a window; 1 on success.
int SetWindowHints(unsigned long const& window, std::string const& title, int x, int y, int width, int height,
                   int const& fixedSize);
void SetWMCloseWindow(unsigned long const& window);  // asks for close requests instead of kills

// ---------------------------------------------------------------------------
// SimpleWindow
// ---------------------------------------------------------------------------

// A top-level window with a title, a geometry in centimetres, a backing
// pixmap that keeps what is drawn, four callbacks and a millisecond timer.
// Callbacks for keys and for the mouse's buttons and drags come on top.
class SimpleWindow {
 public:
  // title; width and height in cm; position of the upper-left corner on the screen in cm.
  SimpleWindow(const std::string& title = NoTitle, float width = DefaultWidth, float height = DefaultHeight,
               const Position& position = Position(0, 0));
  SimpleWindow(const char* title, float width = DefaultWidth, float height = DefaultHeight,
               const Position& position = Position(0, 0));
  SimpleWindow(const SimpleWindow& other);            // refused with an alert; the program then shuts down
  SimpleWindow operator=(const SimpleWindow& other);  // refused with two alerts, then shuts down
  ~SimpleWindow();                                    // closes the window if it is open

  int Open();             // opens the window; returns the new WindowState
  int Close();            // closes the window; returns the new WindowState
  int GetStatus() const;  // the WindowState

  float GetWidth() const;        // width in cm
  float GetHeight() const;       // height in cm
  float GetXPosition() const;    // x of the upper-left corner on the screen, cm
  float GetYPosition() const;    // y of the upper-left corner on the screen, cm
  Position GetPosition() const;  // upper-left corner on the screen, cm
  Position GetCenter() const;    // centre relative to the window's corner, cm

  void SetRefreshCallback(int (*const& f)());                    // run on exposure instead of repainting
  void SetQuitCallback(int (*const& f)());                       // run when the window is closed from outside
  void SetTimerCallback(int (*const& f)());                      // run each time the timer falls due
  void SetMouseClickCallback(int (*const& f)(const Position&));  // run on a click, cm in the window
  // Keys pressed and let go while the window has the keyboard focus. A held
  // key's auto-repeat comes as presses marked Repeat, and one release at the end.
  void SetKeyPressCallback(int (*const& f)(const Key&));
  void SetKeyReleaseCallback(int (*const& f)(const Key&));
  // A mouse button going down and coming up (cm in the window, button 1..5);
  // the release callback runs before the click callback.
  void SetMousePressCallback(int (*const& f)(const Position&, int));
  void SetMouseReleaseCallback(int (*const& f)(const Position&, int));
  // The pointer moving with a button held (cm in the window, beyond its edges
  // while the button stays down); only the latest of motions queued together.
  void SetMouseDragCallback(int (*const& f)(const Position&));
  // The pointer moving over the window with no button held (cm in the
  // window); only the latest of motions queued together.
  void SetMouseMoveCallback(int (*const& f)(const Position&));
  // The pointer coming into the window and going out of it (cm in the
  // window, where it crossed the edge): a hover's start and end.
  void SetMouseEnterCallback(int (*const& f)(const Position&));
  void SetMouseLeaveCallback(int (*const& f)(const Position&));
  // The window resized from outside: its new width and height, cm. What was
  // drawn is kept, and shows where the window grows.
  void SetResizeCallback(int (*const& f)(const Position&));
  // Whether the user may resize the window (yes unless said otherwise); one
  // that may not keeps its size, set before or after Open.
  void SetResizable(bool resizable);

  // Each callback can also be a callable with state: a lambda that captures,
  // a std::function, a function object; returning int or nothing.
  void SetRefreshCallback(slate::Callback<> f);
  void SetQuitCallback(slate::Callback<> f);
  void SetTimerCallback(slate::Callback<> f);
  void SetMouseClickCallback(slate::Callback<const Position&> f);
  void SetKeyPressCallback(slate::Callback<const Key&> f);
  void SetKeyReleaseCallback(slate::Callback<const Key&> f);
  void SetMousePressCallback(slate::Callback<const Position&, int> f);
  void SetMouseReleaseCallback(slate::Callback<const Position&, int> f);
  void SetMouseDragCallback(slate::Callback<const Position&> f);
  void SetMouseMoveCallback(slate::Callback<const Position&> f);
  void SetMouseEnterCallback(slate::Callback<const Position&> f);
  void SetMouseLeaveCallback(slate::Callback<const Position&> f);
  void SetResizeCallback(slate::Callback<const Position&> f);
  template <typename F, typename = slate::WithState<F>>
  void SetRefreshCallback(F&& f);
  template <typename F, typename = slate::WithState<F>>
  void SetQuitCallback(F&& f);
  template <typename F, typename = slate::WithState<F>>
  void SetTimerCallback(F&& f);
  template <typename F, typename = slate::WithState<F, const Position&>>
  void SetMouseClickCallback(F&& f);
  template <typename F, typename = slate::WithState<F, const Key&>>
  void SetKeyPressCallback(F&& f);
  template <typename F, typename = slate::WithState<F, const Key&>>
  void SetKeyReleaseCallback(F&& f);
  template <typename F, typename = slate::WithState<F, const Position&, int>>
  void SetMousePressCallback(F&& f);
  template <typename F, typename = slate::WithState<F, const Position&, int>>
  void SetMouseReleaseCallback(F&& f);
  template <typename F, typename = slate::WithState<F, const Position&>>
  void SetMouseDragCallback(F&& f);
  template <typename F, typename = slate::WithState<F, const Position&>>
  void SetMouseMoveCallback(F&& f);
  template <typename F, typename = slate::WithState<F, const Position&>>
  void SetMouseEnterCallback(F&& f);
  template <typename F, typename = slate::WithState<F, const Position&>>
  void SetMouseLeaveCallback(F&& f);
  template <typename F, typename = slate::WithState<F, const Position&>>
  void SetResizeCallback(F&& f);

  int StartTimer(int milliseconds);  // (re)starts the timer; always 1
  void StopTimer();                  // stops the timer
  void CheckTimer();                 // runs the timer callback if the interval has passed

  virtual int QuitEvent();                             // calls the quit callback
  virtual int RefreshEvent();                          // calls the refresh callback, or repaints
  virtual int TimerEvent();                            // calls the timer callback
  virtual int MouseClickEvent(const Position& click);  // calls the click callback
  void ConfigureEvent(const union _XEvent& event);     // records a move or resize

  virtual int KeyPressEvent(const Key& key);                      // calls the key press callback
  virtual int KeyReleaseEvent(const Key& key);                    // calls the key release callback
  virtual int MousePressEvent(const Position& at, int button);    // calls the mouse press callback
  virtual int MouseReleaseEvent(const Position& at, int button);  // calls the mouse release callback
  virtual int MouseDragEvent(const Position& at);                 // calls the drag callback
  virtual int MouseMoveEvent(const Position& at);                 // calls the move callback
  virtual int MouseEnterEvent(const Position& at);                // calls the enter callback
  virtual int MouseLeaveEvent(const Position& at);                // calls the leave callback
  virtual int ResizeEvent(const Position& size);                  // calls the resize callback

  // Text in the "9x15" font centred on a point, over a filled band (cm, palette colours).
  void RenderText(Position centre, const std::string& text, const color& textColor = Black,
                  const color& backColor = DefaultColor);
  void RenderText(Position centre, const char* text, const color& textColor = Black,
                  const color& backColor = DefaultColor);
  // Text centred in the box between two corners (cm).
  void RenderText(const Position& upperLeft, const Position& lowerRight, const std::string& text,
                  const color& textColor = Black, const color& backColor = DefaultColor);
  void RenderText(const Position& upperLeft, const Position& lowerRight, const char* text,
                  const color& textColor = Black, const color& backColor = DefaultColor);

  // One line of anti-aliased UTF-8 text in a typeface of any size. at (cm) is
  // the top of the line, at its left end, middle or right end as align says;
  // the text's box (see MeasureText) is filled with backColor first, unless
  // it is NoBand. Invalid UTF-8 shows as U+FFFD.
  void WriteText(const Position& at, const std::string& text, const Typeface& face = Typeface{},
                 const color& textColor = Black, TextAlignment align = AlignLeft,
                 const color& backColor = NoBand);
  void WriteText(const Position& at, const char* text, const Typeface& face = Typeface{},
                 const color& textColor = Black, TextAlignment align = AlignLeft,
                 const color& backColor = NoBand);
  // Width and height (cm) of the box text takes in face: from the left edge
  // of its first ink to the right edge of its last (spaces at either end
  // add their width), one line height tall. Needs no open window.
  Position MeasureText(const std::string& text, const Typeface& face = Typeface{}) const;
  Position MeasureText(const char* text, const Typeface& face = Typeface{}) const;

  // Copies a pixmap's upper-left part of the given size (cm) to upperLeft (cm).
  void DrawBitMap(const unsigned long& pixmap, const Position& upperLeft, const Position& size);
  // Paints White over width x height cm from upperLeft.
  void Erase(const Position& upperLeft, float width, float height);
  // Filled rectangle between two corners (cm); border draws a black outline.
  void RenderRectangle(const Position& upperLeft, const Position& lowerRight, const color& c = Black,
                       bool border = false);
  // Line between two points (cm) of the given width (cm), round ends.
  void RenderLine(const Position& start, const Position& end, const color& c = Black, float width = 0);
  // Filled ellipse inscribed in the box between two corners (cm).
  void RenderEllipse(const Position& upperLeft, const Position& lowerRight, const color& c = Black,
                     bool border = false);
  // Filled polygon through count vertices (cm), closed automatically.
  void RenderPolygon(const Position* vertices, int count, const color& c = Black, bool border = false);
  void RenderPolygon(const std::vector<Position>& vertices, int count, const color& c = Black,
                     bool border = false);
  // Outlines in a colour, of a line width in cm (under a pixel: one pixel),
  // centred on the figure's edge: the box between two corners, the ellipse
  // inscribed in it, the polygon through count vertices, closed.
  void RenderRectangleOutline(const Position& upperLeft, const Position& lowerRight, const color& c = Black,
                              float width = 0);
  void RenderEllipseOutline(const Position& upperLeft, const Position& lowerRight, const color& c = Black,
                            float width = 0);
  void RenderPolygonOutline(const Position* vertices, int count, const color& c = Black, float width = 0);
  void RenderPolygonOutline(const std::vector<Position>& vertices, int count, const color& c = Black,
                            float width = 0);
  // Smooth shapes: from this call on (until SetSmooth(false)), ellipses,
  // lines, polygons and their outlines are drawn antialiased, their edges
  // blended with what is under them, at fractions of a pixel; rectangles lie
  // on whole pixels either way. Off by default: shapes are the X server's
  // own, pixel for pixel. Kept while the window closes and opens again.
  void SetSmooth(bool smooth);
  bool IsSmooth() const;

  void Message(const std::string& text);  // shows text in a modal alert box titled like the window

 private:
  friend class WindowManager;
  friend class BitMap;
  friend class slate::WindowTarget;
  bool IsLive() const;       // open, and its X window usable
  slate::Surface& Canvas();  // where its drawing goes
  void SelectInput();
  long InputMask() const;  // the events the window's callbacks need

  unsigned long WindowId;
  slate::WindowTarget* Target;  // how the event loop knows it
  int Reparented;  // a window manager's frame holds the window: its own x and y are frame-relative
  int UserPlaced;  // the position was reported after a move, not chosen by the program
  int Resizable;   // the user may resize it
  std::string Title;
  WindowState WindowStatus;
  slate::Callback<> RefreshCallback;
  slate::Callback<> QuitCallback;
  slate::Callback<> TimerCallback;
  slate::Callback<const Position&> MouseClickCallback;
  slate::Callback<const Key&> KeyPressCallback;
  slate::Callback<const Key&> KeyReleaseCallback;
  slate::Callback<const Position&, int> MousePressCallback;
  slate::Callback<const Position&, int> MouseReleaseCallback;
  slate::Callback<const Position&> MouseDragCallback;
  slate::Callback<const Position&> MouseMoveCallback;
  slate::Callback<const Position&> MouseEnterCallback;
  slate::Callback<const Position&> MouseLeaveCallback;
  slate::Callback<const Position&> ResizeCallback;
  int TimerActive;
  int TimerInterval;
  unsigned int TimerStart;
  int PixelX, PixelY;
  int PixelWidth, PixelHeight;
  float X, Y;
  float Width, Height;
};

// The setters' forms for callables with state.
template <typename F, typename>
void SimpleWindow::SetRefreshCallback(F&& f) {
  SetRefreshCallback(slate::Callback<>(std::forward<F>(f)));
}

template <typename F, typename>
void SimpleWindow::SetQuitCallback(F&& f) {
  SetQuitCallback(slate::Callback<>(std::forward<F>(f)));
}

template <typename F, typename>
void SimpleWindow::SetTimerCallback(F&& f) {
  SetTimerCallback(slate::Callback<>(std::forward<F>(f)));
}

template <typename F, typename>
void SimpleWindow::SetMouseClickCallback(F&& f) {
  SetMouseClickCallback(slate::Callback<const Position&>(std::forward<F>(f)));
}

template <typename F, typename>
void SimpleWindow::SetKeyPressCallback(F&& f) {
  SetKeyPressCallback(slate::Callback<const Key&>(std::forward<F>(f)));
}

template <typename F, typename>
void SimpleWindow::SetKeyReleaseCallback(F&& f) {
  SetKeyReleaseCallback(slate::Callback<const Key&>(std::forward<F>(f)));
}

template <typename F, typename>
void SimpleWindow::SetMousePressCallback(F&& f) {
  SetMousePressCallback(slate::Callback<const Position&, int>(std::forward<F>(f)));
}

template <typename F, typename>
void SimpleWindow::SetMouseReleaseCallback(F&& f) {
  SetMouseReleaseCallback(slate::Callback<const Position&, int>(std::forward<F>(f)));
}

template <typename F, typename>
void SimpleWindow::SetMouseDragCallback(F&& f) {
  SetMouseDragCallback(slate::Callback<const Position&>(std::forward<F>(f)));
}

template <typename F, typename>
void SimpleWindow::SetMouseMoveCallback(F&& f) {
  SetMouseMoveCallback(slate::Callback<const Position&>(std::forward<F>(f)));
}
template <typename F, typename>
void SimpleWindow::SetMouseEnterCallback(F&& f) {
  SetMouseEnterCallback(slate::Callback<const Position&>(std::forward<F>(f)));
}
template <typename F, typename>
void SimpleWindow::SetMouseLeaveCallback(F&& f) {
  SetMouseLeaveCallback(slate::Callback<const Position&>(std::forward<F>(f)));
}

template <typename F, typename>
void SimpleWindow::SetResizeCallback(F&& f) {
  SetResizeCallback(slate::Callback<const Position&>(std::forward<F>(f)));
}

// ---------------------------------------------------------------------------
// BitMap: an XPM or PNG picture bound to a window
// ---------------------------------------------------------------------------

class BitMap {
 public:
  explicit BitMap(SimpleWindow& window);   // bound to window; PictureNotLoaded
  explicit BitMap(SimpleWindow* window);   // PictureHasNoWindow when window is null
  BitMap();                                // no window; PictureNotLoaded
  BitMap(const BitMap& other);             // deep copy: its own pixmap holding the same picture
  BitMap& operator=(const BitMap& other);  // as the copy; releases this picture first
  ~BitMap();                               // releases the picture

  PictureState Load(const std::string& file);  // reads an XPM or PNG file; returns the new status
  void SetWindow(SimpleWindow& window);        // binds another window; status unchanged
  int Draw() const;                            // copies the picture into the window; 1 if drawn
  int Erase() const;                           // paints the picture's rectangle White; 1 if erased
  float GetWidth() const;                      // picture width, cm
  float GetHeight() const;                     // picture height, cm
  int IsInside(const Position& p) const;       // 1 when p (cm) lies on the picture, edges included
  PictureState GetStatus() const;              // the PictureState
  float GetXPosition() const;                  // x of the upper-left corner in the window, cm
  float GetYPosition() const;                  // y of the upper-left corner in the window, cm
  void SetPosition(const Position& p);         // moves the picture (cm); nothing is redrawn
  Position GetPosition() const;                // upper-left corner in the window, cm

  // A size in centimetres: the picture is drawn scaled to it by the X
  // server, smoothly, its transparency kept, and keeps it on every screen
  // (and for every picture loaded after). Draw, Erase, IsInside, GetWidth
  // and GetHeight use it. A size of zero, less or NaN draws nothing; a side
  // longer than 32767 pixels is cut to that. Without a size, a picture is
  // drawn pixel for pixel, at its own pixels' size.
  void SetSize(float width, float height);
  void SetWidth(float width);  // width cm wide, as high as its proportions make it
  void ClearSize();            // back to its own pixels' size
  // Turned by an angle in degrees, clockwise on the screen, about its
  // centre: its position and size are then those of the box it covers
  // turned (the box's corner moves so that the centre stays), and
  // IsInside is true on the turned picture itself. An angle that is not a
  // number draws nothing.
  void SetAngle(float degrees);
  float GetAngle() const;

 private:
  void ReleasePixmap();
  void DrawPixels(slate::Surface& surface, int x, int y, unsigned int width, unsigned int height) const;
  bool DrawTransformed(slate::Surface& surface) const;

  PictureState PictureStatus;
  Position PicturePosition;
  SimpleWindow* BoundWindow;
  unsigned long Pixmap;
  slate::PictureRecord* Attributes;
};

// ---------------------------------------------------------------------------
// Retained drawables (used by the alert box)
// ---------------------------------------------------------------------------

// Base of the drawables: a kind, a palette colour and a pixel rectangle.
class Graphic {
 public:
  explicit Graphic(GraphicType const& type);  // colour White, corners (0, 0)
  // Kind, colour and corners in cm, converted to pixels.
  Graphic(GraphicType const& type, color const& c, Position const& upperLeft, Position const& lowerRight);
  Graphic(const Graphic&) = delete;
  Graphic& operator=(const Graphic&) = delete;
  virtual ~Graphic();
  virtual void Draw(unsigned long window) = 0;  // draws into the X window with this id

  void SetType(GraphicType const& type);         // replaces the kind
  GraphicType GetType() const;                   // the kind
  void SetColor(color const& c);                 // replaces the palette colour
  color GetColor() const;                        // the palette colour
  void SetUpperLeft(GraphicPosition const& p);   // pixels
  void SetLowerRight(GraphicPosition const& p);  // pixels
  GraphicPosition GetUpperLeft() const;          // pixels
  GraphicPosition GetLowerRight() const;         // pixels
  void SetLocation(GraphicPosition const& upperLeft, GraphicPosition const& lowerRight);  // pixels
  void SetLocationWithConversion(Position const& upperLeft, Position const& lowerRight);  // cm

 private:
  GraphicType Type;
  color Color;
  GraphicPosition UpperLeft;
  GraphicPosition LowerRight;
};

// A drawable that can sit in a GraphicManager list.
class GraphicNode : public Graphic {
 public:
  explicit GraphicNode(GraphicType const& type);  // as Graphic(type); no next node
  // As the Graphic constructor (corners in cm); no next node.
  GraphicNode(GraphicType const& type, color const& c, Position const& upperLeft, Position const& lowerRight);
  void SetNext(GraphicNode* next);  // following node; not owned
  GraphicNode* GetNext() const;     // following node, or null

 private:
  GraphicNode* Next;
};

// An ordered list that owns its drawables and draws them in order.
class GraphicManager {
 public:
  GraphicManager();  // an empty list
  GraphicManager(const GraphicManager&) = delete;
  GraphicManager& operator=(const GraphicManager&) = delete;
  ~GraphicManager();  // deletes every node

  int GetListSize() const;                              // number of nodes
  int IsEmpty() const;                                  // 1 when there are none
  void AppendGraphic(GraphicNode* node);                // adds a heap node at the end; the list owns it
  void InsertGraphic(GraphicNode* node);                // adds a heap node at the front; the list owns it
  GraphicNode* First();                                 // moves the cursor to the first node
  GraphicNode* Next();                                  // moves the cursor on; null past the end
  void EmptyList();                                     // deletes every node
  GraphicNode* GetFirstMessage() const;                 // first text drawable, or null
  GraphicPosition GetLowerRightOfFirstMessage() const;  // its lower-right corner, pixels

 private:
  int Size;
  GraphicNode* Head;
  GraphicNode* Tail;
  GraphicNode* Cursor;
};

// One line of black text centred in a rectangle over a band of the drawable's colour.
class MessageGraphic : public GraphicNode {
 public:
  explicit MessageGraphic(GraphicType const& type);  // empty text, corners (0, 0)
  // Text, band colour and rectangle corners (cm); draws at once into window when it is not 0.
  MessageGraphic(std::string const& message, color const& c, Position const& upperLeft,
                 Position const& lowerRight, unsigned long window);
  void Draw(unsigned long window) override;     // band and text into the X window with this id
  int GetMessageLength() const;                 // bytes of the message
  void SetMessage(std::string const& message);  // replaces the text; nothing is redrawn
  std::string GetMessage() const;               // the text
  GraphicPosition GetLocation() const;          // baseline start of the text, pixels
  void SetTextLocation(unsigned int width, unsigned int height);  // centres a text of this size

 private:
  std::string Text;
  GraphicPosition TextLocation;
};

// A filled ellipse with a black outline.
class EllipseGraphic : public GraphicNode {
 public:
  EllipseGraphic();  // White, corners (0, 0)
  // Colour and bounding-box corners (cm); draws at once into window when it is not 0.
  EllipseGraphic(color const& c, Position const& upperLeft, Position const& lowerRight, unsigned long window);
  void Draw(unsigned long window) override;  // fill and outline into the X window with this id
};

// The bevelled push button, drawn at (0, 0) to (75, 35) of its window.
class ButtonGraphic : public MessageGraphic {
 public:
  ButtonGraphic();  // no label, corners (0, 0)
  // Label, label box (cm), bevel pixel values of the upper-left and lower-right edges;
  // draws at once into window when it is not 0.
  ButtonGraphic(std::string const& label, Position const& upperLeft, Position const& lowerRight,
                unsigned long topLeftEdge, unsigned long bottomRightEdge, unsigned long window);
  void Draw(unsigned long window) override;  // face, bevels and label into the X window with this id

 private:
  unsigned long TopLeftEdgeColor;
  unsigned long BottomRightEdgeColor;
};

// A one-bit image: set bits black, clear bits in the drawable's colour.
class X11BitMapGraphic : public GraphicNode {
 public:
  X11BitMapGraphic();  // no bits, corners (0, 0)
  // Upper-left in cm, size in pixels; bits are not owned and must outlive every Draw.
  X11BitMapGraphic(char* bits, color const& c, Position const& upperLeft, GraphicPosition const& size,
                   unsigned long window);
  void Draw(unsigned long window) override;  // the image into the X window with this id

 private:
  char* Bits;
};

// ---------------------------------------------------------------------------
// The modal alert box
// ---------------------------------------------------------------------------

// The alert box's "O K" push button, a child window.
class ButtonWindow {
 public:
  ButtonWindow();   // closed, raised; no X request
  ~ButtonWindow();  // closes the button if it is open
  ButtonWindow(const ButtonWindow&) = delete;
  ButtonWindow& operator=(const ButtonWindow&) = delete;
  // Creates, maps and draws the button in parent, whose size is in pixels; WindowIsOpen on success.
  WindowState Open(unsigned long const& parent, int parentWidth, int parentHeight);
  void Close();                                    // destroys the button's X window if it is open
  unsigned long GetWindow() const;                 // X id of the button's window
  void MouseClickEvent(ButtonState const& state);  // draws the button raised or pressed
  void RefreshEvent();                             // draws the current look again

 private:
  friend class AlertWindow;
  friend class slate::ButtonTarget;
  void DrawLook(ButtonState look);

  int X, Y;
  int Width, Height;
  ButtonState Look;
  unsigned long WindowId;
  WindowState ButtonStatus;
  slate::ButtonTarget* Target;  // how the event loop knows it, from its window's making
};

// A modal message box; the constructor shows it and returns once it is closed.
class AlertWindow {
 public:
  // Shows message under title, waits for "O K" or a close request, then calls callback (may be null).
  // The box is a dialog of the window owner (an X id; 0 for none), kept over it.
  AlertWindow(std::string const& title, std::string const& message, void (*callback)(),
              unsigned long owner = 0);
  AlertWindow(const AlertWindow&) = delete;
  AlertWindow& operator=(const AlertWindow&) = delete;
  ~AlertWindow();  // frees the drawables; the box is already gone

  // Steps of the constructor and of its event loop:
  void AddMessageToList();        // measures the message and adds its drawable
  int SetLocationAndSize();       // centres and sizes the box (pixels); 1 on success
  int Open();                     // shows the box and runs its loop; 1 once it has closed
  void EventHandler();            // the modal loop; returns when the box is closed
  void RefreshEvent();            // draws the disc, the mark and the message
  int ButtonPressed(int button);  // starts following a press on "O K" with that mouse button; 1

 private:
  int X, Y;
  int Width, Height;
  std::string Title;
  std::string MessageText;
  friend class slate::BoxTarget;
  friend class slate::ButtonTarget;
  void ButtonReleased(int button, bool onButton);  // ends a press: closes the box over "O K"
  void Dismiss();                                  // the box goes, with its button

  unsigned long WindowId;
  unsigned long Owner;
  ButtonWindow Button;
  GraphicManager Drawables;
  bool Up;   // shown and not closed yet
  int Held;  // the mouse button held down on "O K", or 0
};

#endif  // SLATE_H

// ---------------------------------------------------------------------------
// Calls in X's own types, for programs that include <X11/Xlib.h> first.
// Outside the include guard: a unit that includes this header before and
// after Xlib gets them too.
// ---------------------------------------------------------------------------

#if defined(_X11_XLIB_H_) && !defined(SLATE_H_XLIB)
#define SLATE_H_XLIB

// Loads a core font by name; 1 and *font set on success, 0 and *font null (with a message) if not.
int LoadFont(XFontStruct** font, const std::string& name);
// Graphics context with a font loaded by name; centres text in drawable. Free the GC and *font.
GC GetGraphicsContext(unsigned long window, unsigned long foreground, unsigned long background,
                      std::string const& text, MessageGraphic* drawable, XFontStruct** font,
                      std::string const& fontName);
int IsWMCloseWindow(XClientMessageEvent const* event);  // 1 for a window manager's close request
#endif
