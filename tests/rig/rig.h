// What the tests and the benchmarks share, on top of slate-run's library
// (tools/slate-run): programs run as children with their output captured and
// a time limit, X servers of their own (Xvfb, with openbox when a case needs
// a window manager), and a second X client that finds windows, reads pixels,
// clicks through XTest and sends the window manager's close request.
//
// Linking the rig also installs a start-up check: without an X display the
// program says so and exits with status 1, before the library's own start-up
// (which would exit with status 0) runs.
#ifndef SLATE_RIG_H
#define SLATE_RIG_H

#include <X11/Xlib.h>
#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#include "display.h"
#include "process.h"

namespace rig {

// Polls condition every 5 ms until it holds (true) or ms have passed (false).
bool WaitFor(const std::function<bool()>& condition, int ms = 5000);
using drive::Now;  // milliseconds on a monotonic clock
using drive::Sleep;
std::string Sh(const std::string& command);     // what /bin/sh -c command writes to stdout
std::string Path(const std::string& relative);  // a file of the build tree

// A program run with extra environment ("NAME=value") in directory dir, in
// a process group of its own. Its output is read as it comes, so that it
// never blocks on a full pipe; the destructor kills it and its group if it
// still runs.
class Child {
 public:
  explicit Child(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
                 const std::string& dir = "");
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  std::string Out() const;                                     // its standard output so far
  std::string Err() const;                                     // its standard error so far
  bool WaitOut(const std::string& text, int ms = 5000) const;  // until stdout holds text
  // The exit status, once it has ended within ms; -1 when a signal ended it,
  // or when it was still running after ms (it is then killed). 127 when it
  // could not be started.
  int Wait(int ms = 10000);
  double CpuSeconds() const { return Program.CpuSeconds(); }  // user and system time used so far
  pid_t Pid() const { return Program.Pid(); }

 private:
  drive::Process Program;
  std::string Failure;  // why it could not be started
};

// An X server of its own, started through launcher if one is given
// ({"prlimit", "--as=..."}, say). A window manager can be added.
class Server {
 public:
  explicit Server(const std::string& screen = "1920x1080x24", std::vector<std::string> launcher = {});
  const std::string& Name() const { return X.Name(); }  // ":N"; empty when it did not start
  std::string Env() const { return "DISPLAY=" + Name(); }
  pid_t Pid() const { return X.Pid(); }
  bool StartWindowManager() { return X.StartWindowManager(); }  // openbox; true once it manages the screen
  void Kill() { X.Kill(); }                                     // ends the server at once

 private:
  drive::XServer X;
};

// Another client of an X server (see drive::Client), with the waits and
// names the tests use. Its requests about windows that have gone fail quietly.
class Peer : public drive::Client {
 public:
  explicit Peer(const std::string& display = "");  // "" is $DISPLAY

  Window Find(const std::string& title, int ms = 5000);  // a viewable window with this name, or 0
  bool Gone(const std::string& title, int ms = 5000);    // until none is viewable
  unsigned long Pixel(Drawable d, int x, int y) {
    std::vector<unsigned long> one = Grab(d, x, y, 1, 1);
    return one.empty() ? ~0ul : one[0];
  }
  unsigned long Named(const std::string& colour);  // pixel of a colour name
  void Origin(Window w, int* x, int* y);           // screen place of the window's (0, 0)
  std::vector<int> Geometry(Drawable d);           // x, y (in its parent), width, height, border
  void Click(Window w, int x, int y, int button = 1);
  // Whether w's pixel (x, y) is on top, under no other window.
  bool Shows(Window w, int x, int y);
  void Key(const std::string& name, bool press);  // a keysym name: "Left", "space", "a"
  // The 32-bit items of a window's property (atoms, windows, numbers), by
  // the property's name; empty when it is not set.
  std::vector<long> Property(Window w, const std::string& name);
  long Resources(XID owned);  // X resources of the client that made owned
  unsigned long PixmapBytes(XID owned);
};

}  // namespace rig

#endif  // SLATE_RIG_H
