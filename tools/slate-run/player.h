// Plays a script on a running program: a line for each step with its
// result and the time since the program started, or Test Anything Protocol.
#ifndef DRIVE_PLAYER_H
#define DRIVE_PLAYER_H

#include <ostream>
#include <string>

#include "display.h"
#include "process.h"
#include "script.h"

namespace drive {

// What a run ended with, by priority: the first that applies.
enum Outcome {
  Passed = 0,       // every step done, every expectation held
  Failed = 1,       // an expectation failed, or a step could not be done
  BadScript = 2,    // the script or the command line is wrong; nothing ran
  TimedOut = 3,     // the run's time limit passed, or the program did not end when expected
  Crashed = 4,      // the program was killed by a signal
  XError = 5,       // the program reported an X error on its standard error
  SetUpFailed = 6,  // no X server, window manager or program could be started
};

class Player {
 public:
  // timeoutMs limits the whole run; tap chooses the Test Anything Protocol.
  Player(Client& x, Process& program, std::ostream& out, bool tap, int timeoutMs);
  // Plays every step, then ends the program if it still runs; gives the
  // outcome, or 128 + the signal when interrupted.
  int Play(const Script& script);

 private:
  struct Result {
    bool Ok = true;
    std::string Detail;
  };
  Result Run(const Step& step);
  Result Act(const Step& step);  // a step on a window: wait, click, drag, keys, close
  Result Keys(const Step& step, Window w);
  Result Screenshot(const Step& step);
  Result ExpectPixels(const Step& step);
  int Looks(const Step& step, const Image& picture, std::string* why);
  bool Until(const std::function<bool()>& holds, int ms);  // false at a time-out or interruption
  Window Shown(const Step& step, std::string* why);
  // The step's points in pixels of window w, and where w is and its size.
  struct Frame {
    int Left = 0, Top = 0, Width = 0, Height = 0;
  };
  bool Pixels(const Step& step, Window w, int* x, int* y, Frame* frame, std::string* why);
  bool Shoot(const Step& step, Image* image, std::string* why);
  Result ExpectShown(const Step& step);
  Result ExpectOutput(const Step& step);
  Result ExpectExit(const Step& step);
  void Report(int number, const Step* step, const Result& result, const std::string& skip);
  std::string Waited() const;  // since the step began

  Client& X;
  Process& Program;
  std::ostream& Out;
  bool Tap;
  double Start, Deadline, StepStart = 0;
  bool OutOfTime = false, ExitTimedOut = false;
};

}  // namespace drive

#endif  // DRIVE_PLAYER_H
