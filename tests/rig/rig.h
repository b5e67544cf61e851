// The test rig: what every slate test needs besides GoogleTest.
//
//  - Process: a child program with captured stdout/stderr, a timeout and
//    its CPU time, so that tests can run applications and talk to them.
//  - XClient: a second X connection ("another client", as a window manager
//    or the user would be) that finds windows by title, reads their
//    geometry, properties and pixels, clicks with XTest and sends the
//    window manager's close request.
//  - Xvfb: an extra X server of a chosen screen size on a free display.
//  - XErrorTrap: records X protocol errors for a scope instead of letting
//    Xlib's default handler end the process.
//  - WaitFor, AppPath and a few small helpers.
//
// Linking the rig into a program also installs a start-up guard: if no X
// display can be opened, the program writes a line starting "No display"
// to stderr and exits with status 1 before the library's WinManager (whose
// own start-up would exit with status 0) is constructed.
//
// The rig does not depend on GoogleTest, so benchmarks can use it too.
#ifndef SLATE_TEST_RIG_H
#define SLATE_TEST_RIG_H

// Xlib's macros (None, Bool, Status...) break GoogleTest's headers when they
// come first; where GoogleTest is available it is therefore read before them,
// whatever order a test includes this header in.
#if __has_include(<gtest/gtest.h>)
#include <gtest/gtest.h>
#endif
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace rig {

// ---------------------------------------------------------------------------
// Small helpers
// ---------------------------------------------------------------------------

// Polls cond every poll_ms until it is true (returns true) or timeout_ms has
// passed (returns the last value of cond, evaluated once more at the end).
bool WaitFor(const std::function<bool()>& cond, int timeout_ms = 5000, int poll_ms = 5);

// Path of a test application: SLATE_TEST_APP_DIR "/" name.
std::string AppPath(const std::string& name);

// Milliseconds on a monotonic clock (for measuring, not for slate timers).
double NowMs();

void SleepMs(int ms);

// Number of times needle occurs in haystack.
int CountOf(const std::string& haystack, const std::string& needle);

// The lines of text, without their '\n'.
std::vector<std::string> Lines(const std::string& text);

// ---------------------------------------------------------------------------
// Child processes
// ---------------------------------------------------------------------------

struct ProcessOptions {
  std::vector<std::string> args;                 // argv[1..]
  std::map<std::string, std::string> env;        // added to (or replacing in) the inherited environment
  std::vector<std::string> unset_env;            // removed from the inherited environment
  std::string cwd;                               // working directory; empty = inherited
};

// Options with just these arguments.
ProcessOptions WithArgs(std::vector<std::string> args);

struct ProcessResult {
  bool started = false;    // the program could be started (fork and exec worked)
  bool timed_out = false;  // it was killed because the timeout passed
  bool exited = false;     // it ended by exit/return (see exit_code)
  int exit_code = -1;      // exit status when exited
  int signal = 0;          // terminating signal when it was killed by one
  std::string out;         // everything it wrote to stdout
  std::string err;         // everything it wrote to stderr

  bool ExitedWith(int code) const { return started && !timed_out && exited && exit_code == code; }
  std::string Describe() const;  // one line: how it ended, for assertion messages
};

// A running child program. stdout and stderr are read continuously by a
// thread of the rig, so the child never blocks on a full pipe; stdin is a
// pipe the test may write to. The destructor kills a child that still runs,
// and a child gets SIGTERM if the test program itself dies first.
class Process {
 public:
  Process();
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // Starts path with options; false (and a message in Error()) on failure.
  bool Start(const std::string& path, const ProcessOptions& options = {});
  pid_t Pid() const { return pid_; }
  bool Running();                                  // started and not yet reaped
  std::string Stdout() const;                      // what it has written so far
  std::string Stderr() const;
  std::string Error() const { return error_; }     // why Start failed

  // Waits until stdout (or stderr) contains needle; false on timeout or
  // when the child ended without writing it.
  bool WaitForOutput(const std::string& needle, int timeout_ms = 5000, bool on_stderr = false);
  // Waits until needle occurs at least count times on stdout.
  bool WaitForOutputCount(const std::string& needle, int count, int timeout_ms = 5000);

  bool WriteStdin(const std::string& data);
  void CloseStdin();
  void Signal(int sig);                            // sends sig if the child runs

  // CPU time (user + system) the child has used so far, in seconds; -1 if unknown.
  double CpuSeconds() const;

  // Waits for the end with a timeout; on timeout kills the child (SIGKILL)
  // and reports timed_out. May be called once; later calls return the same.
  ProcessResult Wait(int timeout_ms = 10000);

 private:
  void Reader();
  void StopReader();

  pid_t pid_ = -1;
  int out_fd_ = -1, err_fd_ = -1, in_fd_ = -1;
  struct Shared;
  std::shared_ptr<Shared> shared_;
  std::string error_;
  bool reaped_ = false;
  ProcessResult result_;
  struct ThreadHolder;
  std::unique_ptr<ThreadHolder> thread_;
};

// Runs a program to its end (Start + Wait).
ProcessResult Run(const std::string& path, const ProcessOptions& options = {}, int timeout_ms = 10000);

// CPU time (user + system) of any process from /proc/<pid>/stat, seconds; -1 if unknown.
double ProcessCpuSeconds(pid_t pid);
// Resident set size of a process from /proc/<pid>/status, kilobytes; -1 if unknown.
long ProcessRssKb(pid_t pid);

// ---------------------------------------------------------------------------
// X protocol errors
// ---------------------------------------------------------------------------

// While alive, X errors on every connection of the process are recorded here
// instead of ending the process. Call Sync on the connections concerned
// before reading the count, so that pending errors have arrived. Traps nest;
// the innermost records.
class XErrorTrap {
 public:
  struct Error {
    Display* display;
    int error_code, request_code, minor_code;
    unsigned long resource;
    std::string text;
  };
  XErrorTrap();
  ~XErrorTrap();
  XErrorTrap(const XErrorTrap&) = delete;
  XErrorTrap& operator=(const XErrorTrap&) = delete;

  void Sync(Display* display) const;   // XSync(display, False)
  int Count() const { return static_cast<int>(errors_.size()); }
  const std::vector<Error>& Errors() const { return errors_; }
  std::string Describe() const;        // all errors, one per line

 private:
  static int Handler(Display* display, XErrorEvent* event);
  int (*previous_)(Display*, XErrorEvent*);
  XErrorTrap* outer_;
  std::vector<Error> errors_;
};

// ---------------------------------------------------------------------------
// Another X client
// ---------------------------------------------------------------------------

struct Geometry {
  bool ok = false;
  int x = 0, y = 0;                  // outer upper-left corner (border included) relative to the root
  int width = 0, height = 0;         // inside size, border excluded
  int border = 0;
  int inner_x = 0, inner_y = 0;      // root coordinates of the window's own (0, 0)
};

struct SizeHints {
  bool ok = false;
  long flags = 0;                    // PMinSize, PMaxSize, ...
  int min_width = 0, min_height = 0;
  int max_width = 0, max_height = 0;
  bool HasMin() const { return flags & PMinSize; }
  bool HasMax() const { return flags & PMaxSize; }
};

// Pixels read with XGetImage, as pixel values of the server's visual.
struct Image {
  bool ok = false;
  int width = 0, height = 0;
  std::vector<unsigned long> pixels;   // row-major
  unsigned long At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
  int Count(unsigned long pixel) const;  // how many pixels have this value
};

// A connection of its own to an X server. Errors of its own requests (a
// window that has just gone, say) are trapped and turn into failed results.
class XClient {
 public:
  // display_name "" means the display named by $DISPLAY.
  explicit XClient(const std::string& display_name = "");
  ~XClient();
  XClient(const XClient&) = delete;
  XClient& operator=(const XClient&) = delete;

  bool ok() const { return dpy_ != nullptr; }
  Display* dpy() const { return dpy_; }
  Window Root() const;
  int ScreenWidth() const;
  int ScreenHeight() const;
  void Sync() const;

  // Windows: searched from the root through the whole tree (so that a
  // reparenting window manager would not hide them). 0 when none.
  Window FindWindow(const std::string& title, bool viewable_only = true);
  std::vector<Window> FindWindows(const std::string& title, bool viewable_only = true);
  Window WaitForWindow(const std::string& title, int timeout_ms = 5000);
  bool WaitForWindowGone(const std::string& title, int timeout_ms = 5000);
  bool Exists(Window w);                       // the id names a window
  bool Viewable(Window w);
  std::vector<Window> TopLevels();             // children of the root, bottom to top

  Geometry GetGeometry(Window w);
  std::string GetName(Window w);               // WM_NAME ("" if none)
  std::string GetIconName(Window w);           // WM_ICON_NAME ("" if none)
  SizeHints GetSizeHints(Window w);            // WM_NORMAL_HINTS
  std::vector<std::string> GetProtocols(Window w);  // WM_PROTOCOLS, as atom names
  long GetEventMask(Window w);                 // all clients' event masks together
  Atom Intern(const std::string& name);
  std::string AtomName(Atom atom);

  // Pixels of a window (or of any drawable, a pixmap id say). A width or
  // height of 0 means the whole drawable.
  Image Capture(Drawable d, int x = 0, int y = 0, int width = 0, int height = 0);
  unsigned long PixelAt(Drawable d, int x, int y);   // ~0UL when unreadable
  // Pixel value of a named colour in the default colormap (as the library's palette).
  unsigned long NamedPixel(const std::string& name);

  // Real input through XTest, each step flushed with XSync.
  void MovePointer(int root_x, int root_y);
  void Press(unsigned int button = 1);
  void Release(unsigned int button = 1);
  void Click(int root_x, int root_y, unsigned int button = 1);
  // Clicks at (x, y) inside window w (its own coordinates); false if w is gone.
  bool ClickInWindow(Window w, int x, int y, unsigned int button = 1);

  // The window manager's close request: ClientMessage WM_PROTOCOLS, format
  // 32, data.l[0] = WM_DELETE_WINDOW, sent with XSendEvent to w.
  bool SendDeleteRequest(Window w);
  // Any client message to w (format 8, 16 or 32; l0 goes into the first item).
  bool SendClientMessage(Window w, Atom type, int format, long l0);

  // Maps an override-redirect window over w (or over the rectangle given in
  // root coordinates) and waits until the server has done it; returns its id.
  Window Cover(Window w, unsigned long pixel = 0);
  Window CoverRect(int root_x, int root_y, int width, int height, unsigned long pixel = 0);
  void Uncover(Window cover);                  // destroys the covering window

  // X-Resource figures of the client that owns resource id xid.
  unsigned long ClientPixmapBytes(XID xid);    // ~0UL on failure
  std::map<std::string, int> ClientResources(XID xid);  // counts by resource type name
  int ClientCount();                           // clients connected to the server

 private:
  void Walk(Window w, int depth, const std::string& title, bool viewable_only, std::vector<Window>* out);
  Display* dpy_ = nullptr;
};

// ---------------------------------------------------------------------------
// An extra X server
// ---------------------------------------------------------------------------

// Xvfb on a free display number (chosen by the server with -displayfd) with
// the given screen ("WIDTHxHEIGHTxDEPTH"). Stopped by Stop or the destructor.
class Xvfb {
 public:
  explicit Xvfb(const std::string& screen = "1920x1080x24");
  ~Xvfb();
  Xvfb(const Xvfb&) = delete;
  Xvfb& operator=(const Xvfb&) = delete;

  // Starts the server and waits until it accepts connections.
  bool Start(int timeout_ms = 15000);
  void Stop();
  bool ok() const { return number_ >= 0; }
  std::string Name() const { return ":" + std::to_string(number_); }  // for DISPLAY
  int Number() const { return number_; }
  pid_t Pid() const { return process_.Pid(); }
  std::string Error() const { return error_; }
  // Options whose environment points DISPLAY at this server.
  ProcessOptions Env(ProcessOptions options = {}) const;

 private:
  std::string screen_;
  Process process_;
  int number_ = -1;
  std::string error_;
};

// One 1920x1080x24 Xvfb shared by the whole test program, started on first
// use and stopped at exit. Tests that click, cover or read pixels use it,
// so that the windows of other test programs running at the same time on
// the main display cannot get in the way. Null if it cannot start.
Xvfb* PrivateServer();

}  // namespace rig

#endif  // SLATE_TEST_RIG_H
