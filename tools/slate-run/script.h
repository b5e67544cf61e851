// The script language of slate-run: one step a line, windows found by their
// title in double quotes, positions in centimetres from a window's
// upper-left corner, "#" to the end of a line a comment. A whole script is
// checked before anything runs.
#ifndef DRIVE_SCRIPT_H
#define DRIVE_SCRIPT_H

#include <string>
#include <vector>

#include "picture.h"

namespace drive {

enum class Action {
  Wait,
  Click,
  Drag,
  Move,
  Press,
  Hold,
  Type,
  Sleep,
  Screenshot,
  Close,
  ExpectOpen,
  ExpectClosed,
  ExpectColourAt,
  ExpectColourIn,
  ExpectImage,
  ExpectSize,
  ExpectOutput,
  ExpectExit
};

constexpr int DefaultWithinMs = 10000;  // how long a step waits for what it needs

struct Point {
  double X = 0, Y = 0;  // centimetres
};

struct Step {
  int Line = 0;
  std::string Source;  // the step as written, without its comment
  Action What = Action::Sleep;
  std::string Title;        // of the window; for a screenshot, "" is the screen
  bool AllWindows = false;  // a screenshot of every window shown
  std::vector<Point> Points;
  int Button = 1;
  std::vector<unsigned long> Keys;  // keysyms, pressed in order and released in reverse
  std::string Text;                 // typed text, a file, or the expected output
  Rgb Colour;
  int Tolerance = 0;    // per channel, 0 to 255
  bool Errors = false;  // standard error rather than standard output
  bool Exact = false;   // the output is the text, rather than holds it
  bool Png = false;     // the picture to compare with is a PNG file, not an XPM one
  int Exit = 0;         // the expected exit status
  int Count = -1;       // of windows expected open; -1 for one at least
  int Ms = 0;           // of a hold or a sleep
  int WithinMs = DefaultWithinMs;
  int ForMs = 0;                 // how long an expectation must go on holding once it holds
  double Width = 0, Height = 0;  // of a window, in centimetres
  int Worth = -1;                // points; -1: 1 for an expectation, 0 for another step
  bool IsExpectation() const { return What >= Action::ExpectOpen; }
  int Value() const { return Worth >= 0 ? Worth : IsExpectation() ? 1 : 0; }
};

struct Script {
  std::vector<Step> Steps;
  std::vector<std::string> Errors;  // "NAME:LINE: what is wrong"
};

// name is the script's, for the messages; pictures it compares with are
// found in dir (when their path is relative and dir is not empty).
Script ParseScript(const std::string& text, const std::string& name, const std::string& dir = "");

// A palette name (black, white, red, green, blue, yellow, cyan, magenta) or
// #rrggbb; and the name of a colour, with its value.
bool ParseColour(const std::string& word, Rgb* colour);
std::string DescribeColour(const Rgb& colour);

// The steps' forms, one a line, for --help.
extern const char* const StepForms;

}  // namespace drive

#endif  // DRIVE_SCRIPT_H
