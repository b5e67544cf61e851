// The process entry point: keeps the program's arguments, runs the
// application's ApiMain, then the event loop until the last window has
// closed, and ends with the exit status the program chose (0 unless it
// chose another). An exception that the program's code lets out ends it
// with its message and status 1, once its windows have closed.
#include <exception>
#include <iostream>

#include "event_loop.h"
#include "runtime.h"

namespace {
std::vector<std::string> Arguments;
int ExitStatus = 0;
}  // namespace

// Every program that links the installed library refers to this (see
// lib/window.cpp), which brings this main along: a program that defines a
// main of its own then fails to link with two definitions of main, instead
// of running without ever calling ApiMain.
const int slate::EntryPoint = 1;

const std::vector<std::string>& ProgramArguments() {
  return Arguments;
}

void SetExitStatus(int status) {
  ExitStatus = status;
}

int main(int argc, char** argv) {
  for (int i = 0; i < argc; ++i) Arguments.emplace_back(argv[i] ? argv[i] : "");
  if (!WinManager.ColorsObtained()) return 0;
  try {
    ApiMain();
    WinManager.ApiMainIsCompleted();
    slate::Loop().Run();
  } catch (const std::exception& e) {
    std::cerr << "The program ended with an exception: " << e.what() << "\n";
    return 1;
  } catch (...) {
    std::cerr << "The program ended with an exception.\n";
    return 1;
  }
  return ExitStatus;
}
