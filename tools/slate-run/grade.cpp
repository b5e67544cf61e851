#include "grade.h"

#include <dirent.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <memory>
#include <thread>

#include "player.h"
#include "process.h"
#include "report.h"

namespace grade {

namespace {

// Marks a folder as a report of slate-run, which a later run may empty.
const char Marker[] = ".slate-run-report";

std::string Absolute(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  char here[4096];
  return getcwd(here, sizeof here) ? std::string(here) + "/" + path : path;
}

std::string BaseName(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsDirectory(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsProgram(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

// The entries of a folder other than . and .., in name order.
std::vector<std::string> Entries(const std::string& dir, bool* readable) {
  std::vector<std::string> names;
  DIR* d = opendir(dir.c_str());
  *readable = d != nullptr;
  while (dirent* entry = d ? readdir(d) : nullptr)
    if (entry->d_name[0] != '.') names.push_back(entry->d_name);
  if (d) closedir(d);
  std::sort(names.begin(), names.end());
  return names;
}

int RemoveEntry(const char* path, const struct stat*, int, FTW*) {
  return remove(path);
}

// Makes the report's folder, emptying one an earlier grading left; any
// other folder with something in it is not ours to empty.
bool MakeReport(const std::string& dir, std::string* why) {
  bool readable;
  std::vector<std::string> entries = Entries(dir, &readable);
  if (readable && !entries.empty()) {
    if (access((dir + "/" + Marker).c_str(), F_OK) != 0)
      return *why = dir + " holds files that are not a report of slate-run; name another folder", false;
    for (const std::string& entry : entries)
      nftw((dir + "/" + entry).c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
  }
  if (!readable && mkdir(dir.c_str(), 0777) != 0)
    return *why = "cannot make " + dir + ": " + std::strerror(errno), false;
  if (!std::ofstream(dir + "/" + Marker))
    return *why = "cannot write in " + dir + ": " + std::strerror(errno), false;
  return true;
}

bool WriteText(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary);
  file << text;
  return bool(file);
}

std::string VerdictOf(int status) {
  switch (status) {
    case drive::Passed:
      return "passed";
    case drive::Failed:
      return "failed";
    case drive::TimedOut:
      return "timed out";
    case drive::Crashed:
      return "crashed";
    case drive::XError:
      return "X error";
    case drive::SetUpFailed:
      return "not started";
    default:
      return status >= 128 ? "interrupted" : "not graded";
  }
}

std::string Timestamp() {
  std::time_t now = std::time(nullptr);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", std::gmtime(&now));
  return text;
}

std::string Padded(const std::string& text, size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

// The end of a text, at most its last most bytes, from a line's start.
std::string Tail(const std::string& text, size_t most) {
  if (text.size() <= most) return text;
  size_t from = text.find('\n', text.size() - most);
  return "...\n" + text.substr(from == std::string::npos ? text.size() - most : from + 1);
}

// A submission on its way: being built, then run.
struct Active {
  Submission* Of = nullptr;
  std::unique_ptr<drive::Process> Job;
  bool Building = false;
  double Limit = 0;  // when it is ended, whatever it is doing
};

class Grading {
 public:
  Grading(const Options& options, const drive::Script& script) : O(options), S(script) {}
  int Run();

 private:
  bool Collect(std::string* why);
  void Begin(Submission* s);
  void Play(Active* a);
  void Finish(Active* a);
  void Log(const std::string& what);
  double Since() const { return drive::Now() - Started; }

  const Options& O;
  const drive::Script& S;
  std::vector<Submission> All;
  std::vector<std::unique_ptr<Active>> Running;
  std::string ReportDir, ScriptPath, Self;
  std::ofstream RunLog;
  double Started = 0;
  size_t Done = 0, NameWidth = 10;
};

bool Grading::Collect(std::string* why) {
  auto add = [&](const std::string& path) {
    Submission s;
    s.Path = Absolute(path);
    s.Name = BaseName(path);
    if (!IsDirectory(s.Path)) s.Program = s.Path;
    // Names are their folders in the report: one name, one folder.
    std::string name = s.Name;
    for (int n = 2; std::any_of(All.begin(), All.end(), [&](const Submission& o) { return o.Name == name; });
         ++n)
      name = s.Name + "-" + std::to_string(n);
    s.Name = name;
    for (const drive::Step& step : S.Steps) s.OutOf += step.Value();
    All.push_back(s);
  };
  for (const std::string& dir : O.Classes) {
    bool readable;
    std::vector<std::string> entries = Entries(dir, &readable);
    if (!readable) return *why = "cannot read the folder " + dir + ": " + std::strerror(errno), false;
    size_t before = All.size();
    for (const std::string& entry : entries) {
      std::string path = dir + (dir.back() == '/' ? "" : "/") + entry;
      if (IsDirectory(path) || IsProgram(path)) add(path);
    }
    if (All.size() == before) return *why = dir + " holds no submission (a folder or a program)", false;
  }
  for (const std::string& path : O.Singles) {
    if (!IsDirectory(path) && !IsProgram(path))
      return *why = path + " is neither a folder nor a program", false;
    add(path);
  }
  for (const Submission& s : All) {
    if (s.Program.empty() && O.Program.empty())
      return *why = "name the program that each folder's submission runs after --, as in -- ./counter", false;
    NameWidth = std::max(NameWidth, s.Name.size());
  }
  return true;
}

void Grading::Log(const std::string& what) {
  char when[32];
  std::snprintf(when, sizeof when, "%8.2f s  ", Since() / 1000);
  RunLog << when << what << "\n";
  RunLog.flush();
}

void Grading::Begin(Submission* s) {
  auto a = std::make_unique<Active>();
  a->Of = s;
  s->Began = Since();
  Log("start  " + s->Name);
  mkdir((ReportDir + "/" + s->Name).c_str(), 0777);
  if (!O.Build.empty() && s->Program.empty()) {
    // Its output and errors in one stream, in their order.
    a->Job = std::make_unique<drive::Process>();
    a->Building = true;
    a->Limit = drive::Now() + O.TimeoutSeconds * 1000.0;
    if (!a->Job->Start({"/bin/sh", "-c", "exec 2>&1\n" + O.Build}, {}, s->Path, drive::Process::Guarded)) {
      s->Build = "cannot start the build: " + a->Job->Error();
      s->Verdict = "build failed";
      s->FirstFailure = s->Build;
      Running.push_back(std::move(a));
      Finish(Running.back().get());
      return;
    }
    Running.push_back(std::move(a));
    return;
  }
  Running.push_back(std::move(a));
  Play(Running.back().get());
}

// Runs the script on the submission: a slate-run of its own, whose working
// directory is the submission's folder in the report (its screenshots go
// there), its program's the submission's own folder.
void Grading::Play(Active* a) {
  Submission* s = a->Of;
  std::string dir = s->Program.empty() ? s->Path : s->Path.substr(0, s->Path.rfind('/'));
  std::vector<std::string> program = O.Program;
  if (!s->Program.empty())
    program = {s->Program};
  else if (program[0].find('/') != std::string::npos && program[0][0] != '/')
    program[0] = s->Path + "/" + program[0];
  std::vector<std::string> argv = {Self, "--tap", "--failure-pictures"};
  argv.insert(argv.end(), O.Passed.begin(), O.Passed.end());
  argv.insert(argv.end(), {"--script", ScriptPath, "--dir", dir, "--"});
  argv.insert(argv.end(), program.begin(), program.end());
  a->Job = std::make_unique<drive::Process>();
  a->Building = false;
  // Its own time limit ends it; this one, well after, only if it does not.
  a->Limit = drive::Now() + O.TimeoutSeconds * 1000.0 + 30000;
  if (!a->Job->Start(argv, {}, ReportDir + "/" + s->Name)) {
    s->Verdict = "not started";
    s->FirstFailure = a->Job->Error();
    Finish(a);
  }
}

void Grading::Finish(Active* a) {
  Submission* s = a->Of;
  drive::Process* job = a->Job.get();
  if (job && job->Pid() > 0) {
    bool late = !job->Ended();
    job->Stop(late ? 3000 : 0);
    if (a->Building) {
      if (!late && job->ExitStatus() == 0) return Play(a);
      s->Verdict = "build failed";
      s->Build = Tail(job->Out(), 8000);
      std::string end =
          late            ? "the build ran past the time limit of " + std::to_string(O.TimeoutSeconds) + " s"
          : job->Signal() ? "the build was killed by signal " + std::to_string(job->Signal())
                          : "the build ended with exit status " + std::to_string(job->ExitStatus());
      s->Build += (s->Build.empty() || s->Build.back() == '\n' ? "" : "\n") + std::string("(") + end + ")";
      s->FirstFailure = end;
    } else {
      s->RunStatus = late ? drive::TimedOut : job->Signal() ? -1 : job->ExitStatus();
      ReadTap(job->Out(), S, s);
      s->Verdict = job->Signal() && !late ? "not graded" : VerdictOf(s->RunStatus);
      WriteText(ReportDir + "/" + s->Name + "/result.tap", job->Out());
      // The screenshots the script took, in the submission's folder.
      for (size_t i = 0; i < S.Steps.size() && i < s->Steps.size(); ++i) {
        const drive::Step& step = S.Steps[i];
        if (step.What == drive::Action::Screenshot && step.Text[0] != '/' &&
            step.Text.find("..") == std::string::npos && s->Steps[i].Result == StepResult::Ok)
          s->Screenshots.push_back(step.Text);
      }
    }
  }
  if (!s->Build.empty()) WriteText(ReportDir + "/" + s->Name + "/build.log", s->Build);
  s->Ended = Since();
  ++Done;
  Log("end    " + s->Name + ": " + s->Verdict + ", " + std::to_string(s->Score) + "/" +
      std::to_string(s->OutOf));
  char line[96];
  int digits = static_cast<int>(std::to_string(All.size()).size());
  std::snprintf(line, sizeof line, "%*zu/%zu", digits + 2, Done, All.size());
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%6.2f s", (s->Ended - s->Began) / 1000);
  std::string failure =
      s->FirstFailure.size() > 100 ? s->FirstFailure.substr(0, 97) + "..." : s->FirstFailure;
  std::cout << line << " " << Padded(s->Name, NameWidth) << "  " << Padded(s->Verdict, 12) << " "
            << Padded(std::to_string(s->Score) + "/" + std::to_string(s->OutOf), 7) << seconds << "  "
            << failure << "\n";
  a->Job.reset();
  a->Of = nullptr;
}

int Grading::Run() {
  std::string why;
  if (!Collect(&why)) {
    std::cerr << "slate-run: " << why << "\n";
    return drive::BadScript;
  }
  ReportDir = Absolute(O.Report);
  ScriptPath = Absolute(O.Script);
  char self[4096];
  ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) {
    std::cerr << "slate-run: cannot find its own program (/proc/self/exe)\n";
    return drive::SetUpFailed;
  }
  Self.assign(self, length);
  if (!MakeReport(ReportDir, &why)) {
    std::cerr << "slate-run: " << why << "\n";
    return drive::SetUpFailed;
  }
  RunLog.open(ReportDir + "/run.log");
  size_t jobs = O.Jobs > 0 ? O.Jobs : std::max(1u, std::thread::hardware_concurrency());
  std::string timestamp = Timestamp();
  std::cout << "slate-run: grading " << All.size() << " submissions with " << O.Script << ", " << jobs
            << " at a time; the report goes to " << O.Report << "/\n";
  RunLog << "slate-run: " << O.Script << " on " << All.size() << " submissions, " << jobs << " at a time, "
         << timestamp << "\n";
  drive::CatchInterrupts();
  Started = drive::Now();
  size_t next = 0;
  while (!drive::Interrupted()) {
    while (Running.size() < jobs && next < All.size()) Begin(&All[next++]);
    Running.erase(std::remove_if(Running.begin(), Running.end(), [](const auto& a) { return !a->Of; }),
                  Running.end());
    if (Running.empty() && next == All.size()) break;
    drive::Sleep(20);
    for (auto& a : Running)
      if (a->Of && (a->Job->Ended() || drive::Now() > a->Limit)) Finish(a.get());
  }
  int interrupted = drive::Interrupted();
  if (interrupted) {
    // Each run ends what it started when asked to (SIGTERM).
    for (auto& a : Running)
      if (a->Of) {
        a->Job->Stop(5000);
        a->Of->Verdict = "interrupted";
        a->Of->Ended = Since();
      }
    Log("interrupted");
  }

  // The table, in name order, and the files.
  std::cout << "\n"
            << Padded("submission", NameWidth) << "  " << Padded("verdict", 12) << " " << Padded("score", 7)
            << "    time  first failure\n";
  int passed = 0;
  for (const Submission& s : All) {
    passed += s.Passed();
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%6.2f s", (s.Ended - s.Began) / 1000);
    std::cout << Padded(s.Name, NameWidth) << "  " << Padded(s.Verdict, 12) << " "
              << Padded(std::to_string(s.Score) + "/" + std::to_string(s.OutOf), 7) << seconds << "  "
              << s.FirstFailure << "\n";
  }
  std::string name = BaseName(O.Script);
  bool written = WriteText(ReportDir + "/summary.csv", Csv(S, All)) &&
                 WriteText(ReportDir + "/junit.xml", JUnit(name, All, timestamp)) &&
                 WriteText(ReportDir + "/index.html", Html(name, All, timestamp));
  std::cout << "slate-run: " << All.size() << " submissions, " << passed << " passed, " << All.size() - passed
            << " did not; " << (written ? "" : "could not write all of ") << O.Report << "/index.html, "
            << O.Report << "/summary.csv, " << O.Report << "/junit.xml\n";
  if (interrupted) return 128 + interrupted;
  if (!written) return drive::SetUpFailed;
  return passed == static_cast<int>(All.size()) ? 0 : 1;
}

}  // namespace

int Grade(const Options& options, const drive::Script& script) {
  Grading grading(options, script);
  return grading.Run();
}

}  // namespace grade
