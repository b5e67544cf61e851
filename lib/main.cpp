// The process entry point: keeps the program's arguments, runs the
// application's ApiMain, then the event loop until the last window has
// closed, and ends with the exit status the program chose (0 unless it
// chose another). A program that cannot start (no colours) and an exception
// that the program's code lets out end it with status 1; the latter with
// its message, once its windows have closed.
#include <exception>
#include <iostream>

#include "event_loop.h"
#include "runtime.h"

namespace {

// Made on first use, never destroyed: the arguments are kept before any
// global object of the program is built, and read until the last is gone.
std::vector<std::string>& Arguments() {
  static auto* arguments = new std::vector<std::string>;
  return *arguments;
}

int ExitStatus = 0;

// The C library hands the arguments to the functions of .init_array too:
// this one runs before every global constructor (priorities from 101 are
// the program's, and the library's start at 110), so that a global object
// of the program can read ProgramArguments() in its constructor.
void KeepArguments(int argc, char** argv, char**) {
  for (int i = 0; i < argc; ++i) Arguments().emplace_back(argv[i] ? argv[i] : "");
}
__attribute__((section(".init_array.00100"), used)) void (*const KeepArgumentsEarly)(int, char**,
                                                                                     char**) = KeepArguments;

}  // namespace

// Every program that links the installed library refers to this (see
// lib/window.cpp), which brings this main along: a program that defines a
// main of its own then fails to link with two definitions of main, instead
// of running without ever calling ApiMain.
const int slate::EntryPoint = 1;

const std::vector<std::string>& ProgramArguments() {
  return Arguments();
}

void SetExitStatus(int status) {
  ExitStatus = status;
}

int main(int argc, char** argv) {
  // Kept already, unless the C library did not pass them on.
  if (Arguments().empty())
    for (int i = 0; i < argc; ++i) Arguments().emplace_back(argv[i] ? argv[i] : "");
  if (!WinManager.ColorsObtained()) return 1;
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
  // What the process can report: 0 to 255; any other value is a failure.
  return ExitStatus >= 0 && ExitStatus <= 255 ? ExitStatus : 1;
}
