// A picture loaded again and again from one file, which the test replaces
// between loads. The file name comes from the environment variable
// RL_PICTURE. Commands are read from standard input, one a line, by a
// 10 ms timer (so that the event loop keeps running):
//   load    Load the file; prints "load <PictureState>"
//   draw    Draw the picture at (0, 0); prints "draw <result>"
//   erase   Erase it; prints "erase <result>"
//   size    prints "size <width> <height>" in centimetres
//   close   closes the window, which ends the program
// "ready" is printed once the window is open; every line is flushed.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "slate.h"

namespace {

SimpleWindow window("rl picture", 15.0, 12.0, Position(1.0, 1.0));
BitMap picture(window);
std::string pending;

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

void Run(const std::string& command) {
  if (command == "load") {
    const char* file = std::getenv("RL_PICTURE");
    Say("load " + std::to_string(picture.Load(file ? file : "")));
  } else if (command == "draw") {
    picture.SetPosition(Position(0.0, 0.0));
    Say("draw " + std::to_string(picture.Draw()));
  } else if (command == "erase") {
    Say("erase " + std::to_string(picture.Erase()));
  } else if (command == "size") {
    Say("size " + std::to_string(picture.GetWidth()) + " " + std::to_string(picture.GetHeight()));
  } else if (command == "close") {
    window.Close();
  } else if (!command.empty()) {
    Say("unknown " + command);
  }
}

int ReadCommands() {
  struct pollfd in = {0, POLLIN, 0};
  while (poll(&in, 1, 0) > 0) {
    char buffer[256];
    ssize_t n = read(0, buffer, sizeof buffer);
    if (n <= 0) {
      // End of input: nothing more will come, so stop asking.
      window.StopTimer();
      break;
    }
    pending.append(buffer, static_cast<size_t>(n));
  }
  for (size_t eol = pending.find('\n'); eol != std::string::npos; eol = pending.find('\n')) {
    std::string command = pending.substr(0, eol);
    pending.erase(0, eol + 1);
    Run(command);
    if (window.GetStatus() != WindowIsOpen) return 0;
  }
  return 0;
}

}  // namespace

void ApiMain() {
  window.Open();
  window.SetTimerCallback(ReadCommands);
  window.StartTimer(10);
  Say("ready");
}
