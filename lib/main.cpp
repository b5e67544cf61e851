// The process entry point: keeps the program's arguments, runs the
// application's ApiMain, then the event loop until the last window has
// closed, and ends with the exit status the program chose (0 unless it
// chose another).
#include "internal.h"

namespace {
std::vector<std::string> Arguments;
int ExitStatus = 0;
}  // namespace

// Every program that links the installed library refers to this (see
// lib/WindowManager.cpp), which brings this main along: a program that
// defines a main of its own then fails to link with two definitions of
// main, instead of running without ever calling ApiMain.
const int slate::EntryPoint = 1;

const std::vector<std::string>& ProgramArguments() {
  return Arguments;
}

void SetExitStatus(int status) {
  ExitStatus = status;
}

int main(int argc, char** argv) {
  for (int i = 0; i < argc; ++i) Arguments.emplace_back(argv[i] ? argv[i] : "");
  int keepGoing = 1;
  if (!WinManager.ColorsObtained()) return 0;

  ApiMain();
  WinManager.ApiMainIsCompleted();

  while (keepGoing && !WinManager.Empty()) {
    if (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      keepGoing = slate::Route(event);
    } else {
      // Nothing queued: sleep until the server sends something or the
      // nearest timer falls due, instead of asking again at once.
      WinManager.WaitForEvent();
    }
    WinManager.CheckTimers();
  }
  return ExitStatus;
}
