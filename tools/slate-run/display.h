// X servers of our own and a second client of any X server: it finds
// windows by title, reads what they show, sends real input through XTest and
// the window manager's close request.
#ifndef DRIVE_DISPLAY_H
#define DRIVE_DISPLAY_H

#include <X11/Xlib.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "picture.h"

namespace drive {

class Process;

// A private Xvfb, which picks a free display itself; openbox can be added.
class XServer {
 public:
  XServer();
  ~XServer();
  // screen is "WIDTHxHEIGHTxDEPTH"; the server is started through launcher
  // when one is given ({"prlimit", "--as=..."}, say). False, with the reason
  // in Error(), when it could not be started.
  bool Start(const std::string& screen = "1920x1080x24", std::vector<std::string> launcher = {});
  bool StartWindowManager();                           // openbox; true once it manages the screen
  const std::string& Name() const { return Display; }  // ":N"
  const std::string& Error() const { return Failure; }
  int Pid() const;               // of Xvfb, -1 when it does not run
  int WindowManagerPid() const;  // of openbox
  void Stop();                   // the window manager, then the server
  void Kill();                   // the server at once, as if it had died

 private:
  std::unique_ptr<Process> Xvfb, Openbox;
  std::string Display, Failure;
};

// Another client of a display. Its requests about windows that have gone
// fail quietly; errors of other connections of this process go where they
// went before.
class Client {
 public:
  explicit Client(const std::string& display = "");  // "" is $DISPLAY
  ~Client();
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  ::Display* D = nullptr;  // null when the display could not be opened

  // Pixels a centimetre, as the library computes them for this screen:
  // floor(width / 29), at least 1; centimetres to pixels truncate.
  float Scale() const;
  int ToPixels(double cm) const;

  // The viewable windows with this title, bottom to top; '*' in a title
  // matches any text. Find gives the topmost, or 0. A window's title is its
  // _NET_WM_NAME, else its WM_NAME, in UTF-8.
  std::vector<Window> Windows(const std::string& title);
  Window Find(const std::string& title);
  std::vector<std::string> Titles();  // of every viewable window, bottom to top
  // A window's place on the screen (its upper-left pixel) and size, and the
  // width of its border; false when it has gone.
  bool Box(Window w, int* x, int* y, int* width, int* height, int* border = nullptr);

  // Raw pixel values of a rectangle of a window or pixmap, row by row; empty if unreadable.
  std::vector<unsigned long> Grab(Drawable d, int x, int y, int width, int height);
  Rgb Colour(unsigned long pixel);
  // What the screen shows of a rectangle of the root window, clipped to the
  // screen. False when nothing of it is on the screen.
  bool Capture(int x, int y, int width, int height, Image* image);
  bool ReadXpm(const std::string& path, Image* image, std::string* error);

  // Real input through XTest; positions are pixels of window w.
  void Move(Window w, int x, int y);
  void Button(int button, bool press);
  void Key(unsigned long keysym, bool press);
  // Whether a key types it, and with Shift. A keysym no key gives is put on
  // a key of its own that gave nothing, as a keyboard of another language
  // has it; false when no such key is left.
  bool KeyFor(unsigned long keysym, bool* shifted);
  // Whether some client takes these events (an event mask) from window w.
  bool Selects(Window w, long events);
  // Brings w to the top when another window covers its pixel (x, y).
  void Uncover(Window w, int x, int y);
  void Focus(Window w);  // the keyboard's input goes to w
  // The close request as a window manager sends it (other formats are not one).
  void Close(Window w, int format = 32);
  // Asks the window manager, when there is one, to close w; else sends the request itself.
  void CloseThroughManager(Window w);
  bool HasWindowManager();

 private:
  std::vector<std::pair<Window, std::string>> Shown();  // viewable windows and their titles
  Window TopLevel(Window w);                            // the child of the root that holds w
  void Activate(Window w);                              // through the window manager
  int Shift[3] = {}, Bits[3] = {};
  bool TrueColour = false;
};

}  // namespace drive

#endif  // DRIVE_DISPLAY_H
