// slate-run: runs a program on an X server of its own (or on the current
// display), plays a script of clicks, keys, screenshots and expectations on
// it, ends everything it started and says with its exit status what
// happened.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>
#include <thread>

#include "display.h"
#include "grade.h"
#include "player.h"
#include "process.h"
#include "script.h"
#include "slate.h"

namespace {

const char Usage[] =
    "usage: slate-run [options] [--script FILE] -- PROGRAM [ARGS...]\n"
    "       slate-run [options] --script FILE --class DIR [-j N] [--build COMMAND] [--report DIR] [-- "
    "PROGRAM "
    "[ARGS...]]\n";

const char Help[] =
    "Runs PROGRAM on a private X server, plays a script on it (clicks, keys,\n"
    "screenshots, expectations), ends everything it started and exits with a\n"
    "status that says what happened.\n"
    "\n"
    "Options:\n"
    "  --script FILE    the script; without it, standard input\n"
    "  --size WxH[xD]   the private server's screen (default 1920x1080x24);\n"
    "                   a centimetre is floor(W / 29) pixels\n"
    "  --wm             runs the window manager openbox on it\n"
    "  --dir DIR        the program's working directory (default: this one)\n"
    "  --timeout SECS   the time limit of the whole run (default 60)\n"
    "  --tap            output in the Test Anything Protocol\n"
    "  --display        plays on the current display ($DISPLAY) instead\n"
    "  --failure-pictures\n"
    "                   a failed expectation about a window's pixels or size\n"
    "                   leaves a picture of the window in failed-line-N.png,\n"
    "                   the place marked\n"
    "  --check          checks the script only; no program is needed\n"
    "  --help           this text\n"
    "\n"
    "Grading a class: the script is played on every submission, each on an X\n"
    "server of its own, and a report is written (index.html, summary.csv, the\n"
    "JUnit XML junit.xml, and a folder for each submission with its screenshots).\n"
    "  --class DIR      every folder and program in DIR is a submission; a\n"
    "                   folder's PROGRAM is found in it and runs in it\n"
    "  --submission PATH  a folder or a program; may be given many times\n"
    "  -j N, --jobs N   N submissions at a time (default: the number of cores)\n"
    "  --build COMMAND  a shell command run first in each folder (its time\n"
    "                   limit that of --timeout); if it fails, so does the\n"
    "                   submission\n"
    "  --report DIR     where the report goes (default slate-run-report)\n"
    "\n"
    "A script has a step a line; # begins a comment. Windows are found by their\n"
    "title, in double quotes (* matches any text); positions X,Y are centimetres\n"
    "from a window's upper-left corner. Steps that need a window wait for it,\n"
    "and expectations for what they expect, 10 s (or as a \"within TIME\" line\n"
    "before them says, or their own \"within TIME\"). Screenshots are written\n"
    "relative to the current directory; pictures to compare with are found\n"
    "beside the script. The program's standard output is a pseudo-terminal, so\n"
    "that each line it prints comes at once; its standard input is /dev/null.\n"
    "\n";

const char ExitStatuses[] =
    "\n"
    "Exit status: 0 every expectation held; 1 an expectation or a step failed;\n"
    "2 a bad script or command line (nothing was run); 3 the time limit passed,\n"
    "or the program did not end when expected; 4 the program was killed by a\n"
    "signal; 5 the program reported an X error; 6 the X server, the window\n"
    "manager or the program could not be started, or the X server went away;\n"
    "128+N interrupted by signal N. Grading a class: 0 when every submission\n"
    "passed, 1 when one did not.\n"
    "See docs/slate-run.md.\n";

struct Options {
  std::string Script, Size = "1920x1080x24", Dir;
  bool WindowManager = false, Tap = false, CurrentDisplay = false, CheckOnly = false, FailurePictures = false;
  int TimeoutSeconds = 60;
  std::vector<std::string> Program;
  grade::Options Class;  // when submissions are named
};

// The script's text, from a file (a pipe too, as in --script <(...)) or
// from standard input when path is empty; false, with the reason, for a
// directory or a file that cannot be read.
bool ReadScript(const std::string& path, std::string* text, std::string* why) {
  int fd = path.empty() ? 0 : open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat info;
  if (fd < 0 || fstat(fd, &info) != 0) return *why = std::strerror(errno), false;
  bool ok = !S_ISDIR(info.st_mode);
  if (!ok) *why = "it is a directory";
  char buffer[1 << 16];
  for (ssize_t n; ok && (n = read(fd, buffer, sizeof buffer)) != 0;) {
    if (n > 0)
      text->append(buffer, n);
    else if (errno != EINTR)
      *why = std::strerror(errno), ok = false;
  }
  if (fd > 0) close(fd);
  return ok;
}

int BadUsage(const std::string& message) {
  std::cerr << "slate-run: " << message << "\n" << Usage << "(slate-run --help tells more)\n";
  return drive::BadScript;
}

// WIDTHxHEIGHTxDEPTH, or WIDTHxHEIGHT at depth 24.
bool ValidSize(std::string* size) {
  int width, height, depth = 24;
  char end;
  int read = std::sscanf(size->c_str(), "%dx%dx%d%c", &width, &height, &depth, &end);
  if (read == 2) *size += "x24";
  return (read == 2 || read == 3) && width >= DisplayLengthCM && height > 0 && width <= 16384 &&
         height <= 16384 && depth > 0 && depth <= 32;
}

// What the run started, for the X server's loss to end it.
drive::Process* Program = nullptr;
drive::XServer* Server = nullptr;
std::unique_ptr<drive::Client> Viewer;

void EndEverything() {
  Viewer.reset();  // before its server goes
  if (Program) Program->Stop();
  drive::EndAdopted({Server ? Server->Pid() : -1, Server ? Server->WindowManagerPid() : -1});
  if (Server) Server->Stop();
}

bool Tap = false;
// Why the watchdog ended the program, or the X server: the time limit, or
// an interruption.
std::atomic<int> Forced{0};
constexpr int ForcedByTime = -1;

int ServerLost(Display*) {
  Viewer.release();  // a broken connection cannot be closed
  int forced = Forced;
  std::string why = forced == ForcedByTime ? "the run's time limit passed and the X server did not answer"
                    : forced               ? "interrupted while the X server did not answer"
                                           : "the connection to the X server was lost";
  if (Tap) std::cout << "Bail out! " << why << "\n";
  std::cout.flush();
  std::cerr << "slate-run: " << why << "\n";
  EndEverything();
  _exit(forced == ForcedByTime ? drive::TimedOut : forced ? 128 + forced : drive::SetUpFailed);
}

// Every step of the player waits on the X server. A program that grabs the
// server would hold it there for ever, past the time limit and Ctrl-C; this
// thread watches. Past the deadline, or a second after an interruption (the
// player needs far less to notice either), it kills the program's group,
// which lets the server go; if the player is still stuck two seconds
// later, it kills the private X server, or ends the run on a display of the
// user's.
class Watchdog {
 public:
  Watchdog(drive::Process& program, pid_t server, int timeoutMs)
      : Thread([this, &program, server, timeoutMs] { Watch(program, server, timeoutMs); }) {}
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;
  ~Watchdog() {
    Finished = true;
    Thread.join();
  }

 private:
  void Watch(drive::Process& program, pid_t server, int timeoutMs) {
    const double deadline = drive::Now() + timeoutMs + 1000;
    double interruptedAt = 0, forcedAt = 0;
    while (!Finished) {
      drive::Sleep(50);
      double now = drive::Now();
      if (drive::Interrupted() && !interruptedAt) interruptedAt = now;
      if (!forcedAt && (now > deadline || (interruptedAt && now > interruptedAt + 1000))) {
        Forced = interruptedAt ? drive::Interrupted() : ForcedByTime;
        program.Kill();
        forcedAt = now;
      } else if (forcedAt && now > forcedAt + 2000) {
        if (server > 0) {
          kill(server, SIGKILL);  // the player's connection breaks: ServerLost reports it
          forcedAt = HUGE_VAL;
        } else {
          const char message[] = "slate-run: the X server does not answer; the run is ended\n";
          if (write(2, message, sizeof message - 1) < 0) {
          }
          _exit(Forced == ForcedByTime ? drive::TimedOut : 128 + Forced);
        }
      }
    }
  }

  std::atomic<bool> Finished{false};
  std::thread Thread;
};

int SetUpFailure(bool tap, const std::string& message) {
  if (tap) std::cout << "Bail out! " << message << "\n";
  std::cout.flush();
  std::cerr << "slate-run: " << message << "\n";
  EndEverything();
  return drive::SetUpFailed;
}

// The last lines of what the program wrote to one of its streams, their
// control characters (a terminal's colours, a carriage return) written as
// \xNN, so that they neither garble a terminal nor break a TAP reader.
void ShowOutput(const std::string& text, const char* stream, bool tap) {
  if (text.empty()) return;
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::string shown;
    for (char c : line) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(c));
      shown += (static_cast<unsigned char>(c) < ' ' && c != '\t') || c == 127 ? escaped : std::string(1, c);
    }
    lines.push_back(shown);
  }
  size_t first = lines.size() > 10 ? lines.size() - 10 : 0;
  std::cout << (tap ? "# " : "") << "The program's standard " << stream << (first ? " ends" : "") << ":\n";
  for (size_t i = first; i < lines.size(); ++i) std::cout << (tap ? "#   " : "  | ") << lines[i] << "\n";
}

int Run(int argc, char** argv) {
  // Each line out as it is made: a grader or a log follows the run.
  std::cout << std::unitbuf;
  Options options;
  bool sizeGiven = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string* into) {
      if (i + 1 >= argc) return false;
      *into = argv[++i];
      return true;
    };
    std::string number;
    if (arg == "--help" || arg == "-h") {
      std::cout << Usage << "\n" << Help << "Steps:\n" << drive::StepForms << ExitStatuses;
      return 0;
    } else if (arg == "--script") {
      if (!value(&options.Script)) return BadUsage("--script needs a file");
    } else if (arg == "--size") {
      sizeGiven = true;
      if (!value(&options.Size) || !ValidSize(&options.Size))
        return BadUsage("--size needs WIDTHxHEIGHT or WIDTHxHEIGHTxDEPTH");
    } else if (arg == "--dir") {
      if (!value(&options.Dir)) return BadUsage("--dir needs a directory");
    } else if (arg == "--class" || arg == "--submission") {
      std::string path;
      if (!value(&path)) return BadUsage(arg + " needs a folder");
      (arg == "--class" ? options.Class.Classes : options.Class.Singles).push_back(path);
    } else if (arg == "--build") {
      if (!value(&options.Class.Build)) return BadUsage("--build needs a shell command");
    } else if (arg == "--report") {
      if (!value(&options.Class.Report) || options.Class.Report.empty())
        return BadUsage("--report needs a folder");
    } else if (arg == "-j" || arg == "--jobs" || arg.rfind("-j", 0) == 0) {
      char* end = nullptr;
      if (arg.size() > 2 && arg[1] == 'j')
        number = arg.substr(2);
      else if (!value(&number))
        return BadUsage(arg + " needs a number of submissions at a time");
      options.Class.Jobs = static_cast<int>(std::strtol(number.c_str(), &end, 10));
      if (number.empty() || *end || options.Class.Jobs < 1 || options.Class.Jobs > 256)
        return BadUsage(arg + " needs a number of submissions at a time, from 1 to 256");
    } else if (arg == "--timeout") {
      char* end = nullptr;
      if (!value(&number) ||
          (options.TimeoutSeconds = static_cast<int>(std::strtol(number.c_str(), &end, 10))) <= 0 || *end ||
          options.TimeoutSeconds > 86400)
        return BadUsage("--timeout needs a number of seconds, from 1 to 86400");
    } else if (arg == "--wm") {
      options.WindowManager = true;
    } else if (arg == "--tap") {
      options.Tap = true;
    } else if (arg == "--display") {
      options.CurrentDisplay = true;
    } else if (arg == "--failure-pictures") {
      options.FailurePictures = true;
    } else if (arg == "--check") {
      options.CheckOnly = true;
    } else if (arg == "--") {
      options.Program.assign(argv + i + 1, argv + argc);
      break;
    } else if (arg.rfind("-", 0) == 0) {
      return BadUsage("unknown option " + arg);
    } else {
      options.Program.assign(argv + i, argv + argc);
      break;
    }
  }
  bool grading = !options.Class.Classes.empty() || !options.Class.Singles.empty();
  if (!grading && (!options.Class.Build.empty() || options.Class.Jobs))
    return BadUsage(
        "--build and -j are for grading a class: name its submissions with --class or --submission");
  if (grading && (options.CurrentDisplay || !options.Dir.empty()))
    return BadUsage("--display and --dir are for one program; each submission runs in its own folder");
  if (grading && options.Script.empty()) return BadUsage("grading a class needs --script FILE");
  if (options.Program.empty() && !options.CheckOnly && !grading) return BadUsage("no program to run");
  if (options.CurrentDisplay && (options.WindowManager || sizeGiven))
    return BadUsage("--size and --wm are for the private server; --display uses the current one");

  // The whole script is read and checked before anything starts.
  std::string name = options.Script.empty() || options.Script == "-" ? "stdin" : options.Script;
  std::string text, unread;
  if (name == "stdin" && isatty(0))
    std::cerr << "slate-run: reading the script from standard input (end it with Ctrl-D)\n";
  if (!ReadScript(name == "stdin" ? "" : options.Script, &text, &unread)) {
    if (options.Tap) std::cout << "TAP version 13\nBail out! cannot read the script " << name << "\n";
    return BadUsage("cannot read the script " + name + ": " + unread);
  }
  // Pictures to compare with are found beside the script.
  size_t slash = options.Script.rfind('/');
  std::string beside = name == "stdin" || slash == std::string::npos ? ""
                       : slash == 0                                  ? "/"
                                                                     : options.Script.substr(0, slash);
  drive::Script script = drive::ParseScript(text, name, beside);
  if (!script.Errors.empty()) {
    for (const std::string& error : script.Errors) std::cerr << error << "\n";
    std::cerr << "slate-run: " << script.Errors.size() << (script.Errors.size() == 1 ? " error" : " errors")
              << " in the script; nothing was run\n";
    if (options.Tap) std::cout << "TAP version 13\nBail out! the script " << name << " has errors\n";
    return drive::BadScript;
  }
  if (script.Steps.empty()) {
    // An empty file, or /dev/null for a forgotten --script: passing it would
    // pass every program.
    std::cerr << "slate-run: the script " << name << " has no steps; nothing was run\n";
    if (options.Tap) std::cout << "TAP version 13\nBail out! the script " << name << " has no steps\n";
    return drive::BadScript;
  }
  if (grading && !options.CheckOnly) {
    options.Class.Script = options.Script;
    options.Class.Program = options.Program;
    options.Class.TimeoutSeconds = options.TimeoutSeconds;
    options.Class.Passed = {"--timeout", std::to_string(options.TimeoutSeconds)};
    if (sizeGiven) options.Class.Passed.insert(options.Class.Passed.end(), {"--size", options.Size});
    if (options.WindowManager) options.Class.Passed.push_back("--wm");
    return grade::Grade(options.Class, script);
  }
  if (options.CheckOnly) {
    std::cout << name << ": " << script.Steps.size() << (script.Steps.size() == 1 ? " step" : " steps")
              << ", no error\n";
    return drive::Passed;
  }

  signal(SIGPIPE, SIG_IGN);
  drive::CatchInterrupts();
  drive::AdoptOrphans();
  Tap = options.Tap;
  if (options.Tap) std::cout << "TAP version 13\n";
  std::string missing;
  if (drive::FindProgram(options.Program[0], &missing).empty()) return SetUpFailure(options.Tap, missing);

  drive::XServer server;
  Server = &server;
  std::string display, where;
  if (options.CurrentDisplay) {
    const char* current = std::getenv("DISPLAY");
    display = current ? current : "";
    if (display.empty()) return SetUpFailure(options.Tap, "--display: no display is set (DISPLAY is empty)");
    where = "the display " + display;
  } else {
    // A failure while interrupted is the interruption's.
    bool started = server.Start(options.Size) && (!options.WindowManager || server.StartWindowManager());
    if (!started && !drive::Interrupted()) return SetUpFailure(options.Tap, server.Error());
    display = server.Name();
    where = "Xvfb " + display + " at " + options.Size + (options.WindowManager ? " with openbox" : "");
  }
  if (drive::Interrupted()) return EndEverything(), 128 + drive::Interrupted();
  Viewer = std::make_unique<drive::Client>(display);
  drive::Client& client = *Viewer;
  if (!client.D) return SetUpFailure(options.Tap, "cannot open the display \"" + display + "\"");
  XSetIOErrorHandler(ServerLost);

  drive::Process process;
  if (!process.Start(options.Program, {"DISPLAY=" + display}, options.Dir,
                     drive::Process::Guarded | drive::Process::TerminalOutput))
    return SetUpFailure(options.Tap, process.Error());
  Program = &process;
  char scale[32];
  std::snprintf(scale, sizeof scale, "%g px/cm", client.Scale());
  std::cout << (options.Tap ? "# " : "") << "slate-run: " << name << " on " << options.Program[0] << ", "
            << where << " (" << scale << ")\n";
  drive::Player player(client, process, std::cout, options.Tap, options.TimeoutSeconds * 1000);
  player.KeepFailures(options.FailurePictures);
  int outcome;
  {
    Watchdog watchdog(process, options.CurrentDisplay ? -1 : server.Pid(), options.TimeoutSeconds * 1000);
    outcome = player.Play(script);
  }
  // What the watchdog had to do decides: the program did not die of itself.
  if (Forced) {
    outcome = Forced == ForcedByTime ? drive::TimedOut : 128 + Forced;
    std::cout << (options.Tap ? "# " : "")
              << "slate-run: the X server did not answer (the program held it?); "
              << (Forced == ForcedByTime ? "the run's time limit passed" : "interrupted") << "\n";
  }
  if (outcome != drive::Passed) {
    ShowOutput(process.Out(), "output", options.Tap);
    ShowOutput(process.Err(), "error", options.Tap);
  }
  std::cout.flush();
  EndEverything();
  return outcome;
}

}  // namespace

int main(int argc, char** argv) {
  return Run(argc, argv);
}
