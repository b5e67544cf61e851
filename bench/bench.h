// What the benchmarks share, on slate-run's library (tools/slate-run):
// files of the build tree, X servers of their own, programs run as
// children, and a second client that finds windows, reads pixels and
// clicks.
#ifndef SLATE_BENCH_H
#define SLATE_BENCH_H

#include <X11/Xlib.h>

#include <string>
#include <vector>

#include "display.h"
#include "process.h"

namespace bench {

using drive::Now;
using drive::Sleep;
using drive::WaitFor;

inline std::string Path(const std::string& relative) {
  return std::string(SLATE_BINARY_DIR) + "/" + relative;
}

struct Server : drive::XServer {
  explicit Server(const std::string& screen = "1920x1080x24") { Start(screen); }
  std::string Env() const { return "DISPLAY=" + Name(); }
};

struct Program : drive::Process {
  Program(const std::vector<std::string>& argv, const std::vector<std::string>& env,
          const std::string& dir = "") {
    Start(argv, env, dir);
  }
  bool WaitOut(const std::string& text, int ms = 5000) {
    return WaitFor([&] { return Find(Output, text) != std::string::npos; }, ms);
  }
};

struct Peer : drive::Client {
  explicit Peer(const std::string& display) : drive::Client(display) {}
  Window Find(const std::string& title, int ms = 5000) {
    Window found = 0;
    WaitFor([&] { return (found = drive::Client::Find(title)) != 0; }, ms);
    return found;
  }
  bool Gone(const std::string& title) {
    return WaitFor([&] { return drive::Client::Find(title) == 0; }, 5000);
  }
  unsigned long Pixel(Drawable d, int x, int y) {
    std::vector<unsigned long> one = Grab(d, x, y, 1, 1);
    return one.empty() ? ~0ul : one[0];
  }
  void Click(Window w, int x, int y) {
    Move(w, x, y);
    Button(1, true);
    Button(1, false);
  }
};

}  // namespace bench

#endif  // SLATE_BENCH_H
