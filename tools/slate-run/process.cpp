#include "process.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

extern char** environ;

namespace drive {

namespace {

// Beyond this, a stream's further output is read and dropped.
constexpr size_t MaxKept = size_t(64) << 20;

volatile sig_atomic_t Caught = 0;

void Catch(int signal) {
  Caught = signal;
}

bool Executable(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

// The children of this process, from every process's parent field.
std::vector<pid_t> Children() {
  std::vector<pid_t> found;
  DIR* proc = opendir("/proc");
  if (!proc) return found;
  pid_t self = getpid();
  while (dirent* entry = readdir(proc)) {
    if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
    // One line, read by getline: the read fails when the process has ended
    // since it was listed, which a stream iterator would throw out of.
    std::ifstream file(std::string("/proc/") + entry->d_name + "/stat");
    std::string stat;
    std::getline(file, stat);
    size_t name = stat.rfind(')');
    char state;
    int parent = 0;
    if (name != std::string::npos && std::sscanf(stat.c_str() + name + 1, " %c %d", &state, &parent) == 2 &&
        parent == self)
      found.push_back(std::atoi(entry->d_name));
  }
  closedir(proc);
  return found;
}

// Writes the failing step and errno to the parent, in the child, where only
// async-signal-safe calls may be made.
[[noreturn]] void Report(int fd, char what) {
  int error = errno;
  char message[1 + sizeof error];
  message[0] = what;
  std::memcpy(message + 1, &error, sizeof error);
  ssize_t written = write(fd, message, sizeof message);
  (void)written;
  _exit(127);
}

}  // namespace

double Now() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

void Sleep(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool WaitFor(const std::function<bool()>& condition, int ms, int pollMs) {
  double end = Now() + ms;
  while (Now() < end) {
    if (condition()) return true;
    Sleep(pollMs);
  }
  return condition();
}

void CatchInterrupts() {
  struct sigaction action {};
  action.sa_handler = Catch;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

int Interrupted() {
  return Caught;
}

std::string FindProgram(const std::string& name) {
  if (name.empty()) return "";
  if (name.find('/') != std::string::npos) {
    if (!Executable(name)) return "";
    if (name[0] == '/') return name;
    char here[4096];
    return getcwd(here, sizeof here) ? std::string(here) + "/" + name : name;
  }
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path ? path : "/usr/local/bin:/usr/bin:/bin");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
    if (Executable(candidate)) return candidate;
  }
  return "";
}

void AdoptOrphans() {
  prctl(PR_SET_CHILD_SUBREAPER, 1);
}

void EndAdopted(const std::vector<pid_t>& keep) {
  // Killing a process can orphan its children, which then come here: go
  // round until none is left.
  for (int round = 0; round < 100; ++round) {
    std::vector<pid_t> strays;
    for (pid_t child : Children())
      if (std::find(keep.begin(), keep.end(), child) == keep.end()) strays.push_back(child);
    if (strays.empty()) return;
    for (pid_t stray : strays) kill(stray, SIGKILL);
    for (pid_t stray : strays) waitpid(stray, nullptr, 0);
  }
}

struct Process::Streams {
  void Read();

  int Fds[2] = {-1, -1};
  mutable std::mutex Lock;
  std::string Texts[2];
  bool Open[2] = {false, false};
  std::atomic<bool> Quit{false};
  std::thread Reader;
};

Process::Process() : Io(std::make_unique<Streams>()) {}

Process::~Process() {
  Stop(0);
}

bool Process::Start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                    const std::string& dir) {
  if (argv.empty()) return Failure = "no program to start", false;
  std::string path = FindProgram(argv[0]);
  if (path.empty()) return Failure = argv[0] + ": no such program", false;

  // Everything the child needs is made here: after fork it may only make
  // async-signal-safe calls, since the reader threads of other processes
  // may hold the allocator's lock.
  std::vector<std::string> environment;
  for (char** entry = environ; *entry; ++entry) {
    std::string assignment = *entry;
    std::string name = assignment.substr(0, assignment.find('=') + 1);
    bool replaced =
        std::any_of(env.begin(), env.end(), [&](const std::string& e) { return e.rfind(name, 0) == 0; });
    if (!replaced) environment.push_back(assignment);
  }
  environment.insert(environment.end(), env.begin(), env.end());
  std::vector<char*> args, envp;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  for (std::string& e : environment) envp.push_back(&e[0]);
  envp.push_back(nullptr);

  int out[2], err[2], report[2];
  if (pipe2(out, O_CLOEXEC) != 0) return Failure = std::strerror(errno), false;
  if (pipe2(err, O_CLOEXEC) != 0) {
    close(out[0]), close(out[1]);
    return Failure = std::strerror(errno), false;
  }
  if (pipe2(report, O_CLOEXEC) != 0) {
    close(out[0]), close(out[1]), close(err[0]), close(err[1]);
    return Failure = std::strerror(errno), false;
  }
  int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
  sigset_t none;
  sigemptyset(&none);
  pid_t parent = getpid();
  Id = fork();
  if (Id == 0) {
    setpgid(0, 0);
    // Killed if this process dies without ending it (SIGKILL, a crash).
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    // Signals this process ignores or blocks would stay so in the program.
    signal(SIGPIPE, SIG_DFL);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (dup2(null, 0) < 0 || dup2(out[1], 1) < 0 || dup2(err[1], 2) < 0) Report(report[1], 'o');
    if (!dir.empty() && chdir(dir.c_str()) != 0) Report(report[1], 'd');
    execve(path.c_str(), args.data(), envp.data());
    Report(report[1], 'x');
  }
  int forkError = errno;
  for (int fd : {out[1], err[1], report[1], null}) close(fd);
  if (Id < 0) {
    for (int fd : {out[0], err[0], report[0]}) close(fd);
    return Failure = std::string("cannot start a process: ") + std::strerror(forkError), false;
  }
  setpgid(Id, Id);
  // The report pipe closes at the exec; anything on it says what failed.
  char message[1 + sizeof(int)];
  ssize_t got;
  while ((got = read(report[0], message, sizeof message)) < 0 && errno == EINTR) {
  }
  close(report[0]);
  if (got == ssize_t(sizeof message)) {
    int error;
    std::memcpy(&error, message + 1, sizeof error);
    Failure = message[0] == 'd' ? "cannot enter the directory " + dir + ": " + std::strerror(error)
                                : "cannot start " + path + ": " + std::strerror(error);
    waitpid(Id, nullptr, 0);
    Id = -1;
    close(out[0]), close(err[0]);
    return false;
  }
  Io->Fds[Output] = out[0];
  Io->Fds[Errors] = err[0];
  Io->Open[Output] = Io->Open[Errors] = true;
  Io->Reader = std::thread(&Streams::Read, Io.get());
  return true;
}

void Process::Streams::Read() {
  static thread_local char buffer[1 << 16];
  while (!Quit) {
    pollfd fds[2];
    int count = 0;
    for (int s : {Output, Errors})
      if (Fds[s] >= 0) fds[count++] = {Fds[s], POLLIN, 0};
    if (count == 0) return;
    if (poll(fds, count, 50) <= 0) continue;
    for (int i = 0; i < count; ++i) {
      if (!fds[i].revents) continue;
      int s = fds[i].fd == Fds[Output] ? Output : Errors;
      ssize_t n = read(Fds[s], buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      std::lock_guard<std::mutex> hold(Lock);
      if (n <= 0) {
        close(Fds[s]);
        Fds[s] = -1;
        Open[s] = false;
      } else if (Texts[s].size() < MaxKept) {
        Texts[s].append(buffer, std::min(size_t(n), MaxKept - Texts[s].size()));
      }
    }
  }
}

std::string Process::Text(Stream stream) const {
  std::lock_guard<std::mutex> hold(Io->Lock);
  return Io->Texts[stream];
}

size_t Process::Find(Stream stream, const std::string& text, size_t from) const {
  std::lock_guard<std::mutex> hold(Io->Lock);
  return Io->Texts[stream].find(text, from);
}

size_t Process::Size(Stream stream) const {
  std::lock_guard<std::mutex> hold(Io->Lock);
  return Io->Texts[stream].size();
}

bool Process::Drained() const {
  std::lock_guard<std::mutex> hold(Io->Lock);
  return !Io->Open[Output] && !Io->Open[Errors];
}

bool Process::Ended() {
  if (Finished || Id <= 0) return true;
  siginfo_t info{};
  if (waitid(P_PID, Id, &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid != Id) return false;
  Finished = true;
  if (info.si_code == CLD_EXITED)
    ExitCode = info.si_status;
  else
    TermSignal = info.si_status;
  return true;
}

bool Process::Wait(int ms) {
  return WaitFor([this] { return Ended(); }, ms, 2);
}

void Process::Stop(int graceMs) {
  if (Id > 0 && !Reaped) {
    if (!Ended()) {
      Stopped = true;
      if (graceMs > 0) {
        kill(-Id, SIGTERM);
        Wait(graceMs);
      }
    }
    // The group, with whatever the program started in it; the zombie leader
    // keeps the group's id from being reused until it is reaped below.
    kill(-Id, SIGKILL);
    int status = 0;
    while (waitpid(Id, &status, 0) < 0 && errno == EINTR) {
    }
    if (!Finished) {
      Finished = true;
      if (WIFEXITED(status))
        ExitCode = WEXITSTATUS(status);
      else if (WIFSIGNALED(status))
        TermSignal = WTERMSIG(status);
    }
    Reaped = true;
  }
  if (Io->Reader.joinable()) {
    // What is still in the pipes once the program has gone is read first;
    // descendants that left the group may keep them open: not waited for.
    WaitFor([this] { return Drained(); }, 200, 2);
    Io->Quit = true;
    Io->Reader.join();
    for (int& fd : Io->Fds)
      if (fd >= 0) close(fd), fd = -1;
  }
}

double Process::CpuSeconds() const {
  // User and system time are fields 14 and 15, after the name (field 2) in parentheses.
  std::ifstream file("/proc/" + std::to_string(Id) + "/stat");
  std::string stat;
  std::getline(file, stat);  // empty once the process has been reaped
  unsigned long user = 0, system = 0;
  size_t name = stat.rfind(')');
  if (name == std::string::npos) return 0;
  std::sscanf(stat.c_str() + name + 2, "%*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %lu %lu", &user, &system);
  return double(user + system) / sysconf(_SC_CLK_TCK);
}

}  // namespace drive
