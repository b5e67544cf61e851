// Plays a script on a running program: a line for each step with its
// result and the time since the program started, or Test Anything Protocol.
#ifndef DRIVE_PLAYER_H
#define DRIVE_PLAYER_H

#include <functional>
#include <ostream>
#include <string>
#include <utility>

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
  // A failed expectation about what a window shows leaves a picture of the
  // window, the place it was about marked, in failed-line-N.png.
  void KeepFailures(bool keep) { FailurePictures = keep; }
  // Plays every step, then ends the program if it still runs; gives the
  // outcome, or 128 + the signal when interrupted.
  int Play(const Script& script);

 private:
  struct Result {
    Result() = default;
    Result(bool ok, std::string detail) : Ok(ok), Detail(std::move(detail)) {}
    bool Ok = true;
    std::string Detail;
    bool Caution = false;          // done, but not as the script may mean (the window took no clicks)
    std::string Picture;           // of the window, marked, when an expectation about it failed
    int Region[4] = {0, 0, 0, 0};  // the place marked in it: left, top, right, bottom (excluded)
  };
  // Whether what a step expects holds: 1, 0 not (yet), -1 when it cannot
  // come to (the program has ended); *why says what there is instead.
  using Check = std::function<int(std::string* why)>;
  Result Expect(const Step& step, const Check& check);
  Result Run(const Step& step);
  Result Act(const Step& step);  // a step on a window: wait, click, drag, keys, close
  Result Keys(const Step& step, Window w);
  Result Screenshot(const Step& step);
  int Looks(const Step& step, const Image& picture, std::string* why);
  int Sized(const Step& step, std::string* why);
  bool Until(const std::function<bool()>& holds, int ms);  // false at a time-out or interruption
  Window Shown(const Step& step, std::string* why);
  std::string Absent(const Step& step);  // no window has the title: which ones are shown
  // The step's points in pixels of window w, and where w is and its size.
  struct Frame {
    int Left = 0, Top = 0, Width = 0, Height = 0;
  };
  bool Pixels(const Step& step, Window w, int* x, int* y, Frame* frame, std::string* why);
  bool Shoot(const Step& step, Image* image, std::string* why);
  void Mark(const Step& step, Result* result);  // the picture of a failed expectation
  void Report(int number, const Step* step, const Result& result, const std::string& skip);
  std::string Waited() const;  // since the step began
  std::string Centimetres(int x, int y) const;

  Client& X;
  Process& Program;
  std::ostream& Out;
  bool Tap;
  double Start, Deadline, StepStart = 0;
  bool OutOfTime = false, ExitTimedOut = false, FailurePictures = false;
  Window Looked = 0;  // the window the last look at pixels saw, and its place there
  int LookedAt[4] = {0, 0, 0, 0};
};

}  // namespace drive

#endif  // DRIVE_PLAYER_H
