// Grading a class: one script played on every submission of a folder (or
// of a list), each built first when a build command is given, several at a
// time, each run by a slate-run of its own on an X server of its own; then
// a summary on the terminal and a report in a folder.
#ifndef SLATE_RUN_GRADE_H
#define SLATE_RUN_GRADE_H

#include <string>
#include <vector>

#include "script.h"

namespace grade {

struct Options {
  std::vector<std::string> Classes;  // folders whose entries are submissions
  std::vector<std::string> Singles;  // submissions named one by one
  int Jobs = 0;                      // how many at a time; 0: as many as there are cores
  std::string Build;                 // a shell command run in each submission's folder first
  std::string Report = "slate-run-report";
  std::vector<std::string> Program;  // PROGRAM [ARGS]; PROGRAM relative to a submission's folder
  std::vector<std::string> Passed;   // options for each run (--timeout, --wm, --size)
  int TimeoutSeconds = 60;           // of a build, and of a run
  std::string Script;                // its path, as given
};

// Grades every submission and writes the report; the exit status: 0 when
// every submission passed, 1 when one did not, 2 for a bad command line,
// 6 when the report cannot be written, 128+N when interrupted by signal N.
int Grade(const Options& options, const drive::Script& script);

}  // namespace grade

#endif  // SLATE_RUN_GRADE_H
