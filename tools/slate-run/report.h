// What grading a class gave, and the files that tell it: a CSV table, JUnit
// XML (which CI systems read) and an HTML page with the screenshots.
#ifndef SLATE_RUN_REPORT_H
#define SLATE_RUN_REPORT_H

#include <string>
#include <vector>

#include "script.h"

namespace grade {

// A step of a submission's run, as its TAP output told it.
struct StepResult {
  enum State { NotRun, Ok, Failed, Skipped };
  int Line = 0;        // of the script; 0 for the program's end
  std::string Source;  // the step as written, or what the program's end was
  State Result = NotRun;
  bool Caution = false;  // done, with a message all the same
  double Seconds = 0;    // since the program started
  std::string Message, Picture;
  int Region[4] = {0, 0, 0, 0};  // the place ringed in the picture, if any
  int Points = 0, Earned = 0;
};

struct Submission {
  std::string Name;                    // its folder's or file's name: its folder in the report
  std::string Path;                    // absolute
  std::string Program;                 // absolute path of what runs; "" until known
  std::string Verdict = "not graded";  // passed, failed, timed out, crashed, ...
  int RunStatus = -1;                  // slate-run's exit status for it
  int Score = 0, OutOf = 0;
  double Began = 0, Ended = 0;  // milliseconds since grading began
  std::vector<StepResult> Steps;
  std::string FirstFailure;              // "line 5: step: message"
  std::string Output;                    // what the run showed of the program's output and errors
  std::string Tap;                       // the run's whole TAP output
  std::string Build;                     // the build's output, when it failed
  std::vector<std::string> Screenshots;  // files in its report folder
  bool Passed() const { return Verdict == "passed"; }
};

// The run of one submission from its TAP output: steps, messages, pictures,
// points (from the script) and the first failure.
void ReadTap(const std::string& tap, const drive::Script& script, Submission* submission);

std::string Csv(const drive::Script& script, const std::vector<Submission>& submissions);
std::string JUnit(const std::string& scriptName, const std::vector<Submission>& submissions,
                  const std::string& timestamp);
std::string Html(const std::string& scriptName, const std::vector<Submission>& submissions,
                 const std::string& timestamp);

}  // namespace grade

#endif  // SLATE_RUN_REPORT_H
