#include "process.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
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

std::string FindProgram(const std::string& name, std::string* why) {
  std::string reason;
  if (!why) why = &reason;
  if (name.empty()) return *why = "no program is named", "";
  if (name.find('/') != std::string::npos) {
    struct stat info;
    if (stat(name.c_str(), &info) != 0) return *why = name + ": no such program", "";
    if (S_ISDIR(info.st_mode)) return *why = name + " is a directory, not a program", "";
    if (!Executable(name)) return *why = name + " is not executable", "";
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
  return *why = name + ": no such program", "";
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

namespace {

// What the child of fork needs to become the program, made before the fork:
// after it, only async-signal-safe calls may be made, since the reader
// threads of other processes may hold the allocator's lock.
struct Launch {
  const char* Path;
  char* const* Args;
  char* const* Environment;
  const char* Dir;
  int In, Out, Err, Report;  // standard input, output and error; where a failure is told
};

// In the child: becomes the program, in a process group of its own, killed
// when its parent dies.
[[noreturn]] void Become(const Launch& launch, pid_t parent) {
  setpgid(0, 0);
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(127);
  // Signals this process ignores or blocks would stay so in the program.
  signal(SIGPIPE, SIG_DFL);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  if (dup2(launch.In, 0) < 0 || dup2(launch.Out, 1) < 0 || dup2(launch.Err, 2) < 0)
    Report(launch.Report, 'o');
  if (*launch.Dir && chdir(launch.Dir) != 0) Report(launch.Report, 'd');
  execve(launch.Path, launch.Args, launch.Environment);
  Report(launch.Report, 'x');
}

// What the guardian tells its parent: the program's id, then how it ended
// (waitid's si_code and si_status). Written whole: far less than PIPE_BUF.
struct News {
  int What;  // 'p' the program's id in A; 'e' its end: A the code, B the status
  int A, B;
};

void Tell(int fd, News news) {
  while (write(fd, &news, sizeof news) < 0 && errno == EINTR) {
  }
}

// The decimal digits of value, at the end of text; where they begin.
char* Digits(unsigned long value, char* end) {
  *end = '\0';
  do *--end = static_cast<char>('0' + value % 10);
  while (value /= 10);
  return end;
}

// The numbers in a text, as pids, into ids (at most most); their count.
int Numbers(const char* text, ssize_t size, pid_t* ids, int most) {
  int count = 0;
  long value = -1;
  for (ssize_t i = 0; i <= size; ++i) {
    if (i < size && text[i] >= '0' && text[i] <= '9') {
      value = (value < 0 ? 0 : value * 10) + (text[i] - '0');
    } else if (value >= 0) {
      if (count < most) ids[count++] = static_cast<pid_t>(value);
      value = -1;
    }
  }
  return count;
}

// The children of the calling process, into ids; their count. From /proc's
// list of its children (the process is single-threaded: its one task is
// itself), or, on a kernel without that list, from every process's parent.
// Plain system calls only.
int Offspring(pid_t* ids, int most) {
  char number[24], path[96] = "/proc/self/task/";
  std::strcat(std::strcat(path, Digits(static_cast<unsigned long>(getpid()), number + sizeof number - 1)),
              "/children");
  char text[4096];
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    ssize_t size = read(fd, text, sizeof text);
    close(fd);
    return Numbers(text, size < 0 ? 0 : size, ids, most);
  }
  int count = 0, proc = open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (proc < 0) return 0;
  pid_t self = getpid();
  char entries[8192];
  for (long size; (size = syscall(SYS_getdents64, proc, entries, sizeof entries)) > 0;) {
    for (long at = 0; at < size;) {
      // struct linux_dirent64: inode (8), offset (8), length (2), type (1), name
      unsigned short length;
      std::memcpy(&length, entries + at + 16, sizeof length);
      const char* name = entries + at + 19;
      at += length;
      if (name[0] < '1' || name[0] > '9') continue;
      char stat[96] = "/proc/";
      std::strcat(std::strncat(stat, name, 32), "/stat");
      int file = open(stat, O_RDONLY | O_CLOEXEC);
      ssize_t got = file < 0 ? -1 : read(file, text, sizeof text - 1);
      if (file >= 0) close(file);
      if (got <= 0) continue;
      // pid (name) state parent: the name may hold anything but ends at the last ')'.
      ssize_t end = got - 1;
      while (end > 0 && text[end] != ')') --end;
      pid_t fields[2];
      if (Numbers(text + end, got - end, fields, 2) >= 1 && fields[0] == self && count < most)
        Numbers(name, static_cast<ssize_t>(std::strlen(name)), ids + count++, 1);
    }
  }
  close(proc);
  return count;
}

// The guardian: the program's parent, and the parent every process the
// program leaves behind comes to (a child subreaper), which ends them all
// once its control pipe closes (its parent ended the run, or died: even
// SIGKILL closes the pipe). Only system calls: it is a child of fork that
// does not exec.
[[noreturn]] void Guard(const Launch& launch, int control, int news, const int* keep, int kept) {
  setpgid(0, 0);  // out of its parent's group: Ctrl-C goes to the parent, which ends the run
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  // Its parent's standard streams may be pipes that a reader waits to see
  // closed (unless one of them is a descriptor it keeps).
  for (int fd = 0; fd < 3; ++fd)
    if (std::find(keep, keep + kept, fd) == keep + kept) dup2(launch.In, fd);
  // Nothing else of the parent's is held open here (its X connection, say).
  int fds[16];
  int count = 0;
  for (int i = 0; i < kept && count < 16; ++i) fds[count++] = keep[i];
  std::sort(fds, fds + count);
  unsigned from = 3;
  for (int i = 0; i < count; ++i) {
    if (static_cast<unsigned>(fds[i]) > from) close_range(from, fds[i] - 1, 0);
    if (static_cast<unsigned>(fds[i]) + 1 > from) from = fds[i] + 1;
  }
  close_range(from, ~0u, 0);

  sigset_t child;
  sigemptyset(&child);
  sigaddset(&child, SIGCHLD);
  sigprocmask(SIG_BLOCK, &child, nullptr);
  int ended = signalfd(-1, &child, SFD_CLOEXEC | SFD_NONBLOCK);
  pid_t self = getpid();
  pid_t program = fork();
  if (program == 0) Become(launch, self);
  for (int fd : {launch.In, launch.Out, launch.Err, launch.Report}) close(fd);
  if (program < 0) {
    Tell(news, {'e', CLD_EXITED, 127});
    _exit(0);
  }
  setpgid(program, program);
  Tell(news, {'p', program, 0});

  bool told = false;
  auto tellEnd = [&](const siginfo_t& info) {
    if (!told) Tell(news, {'e', info.si_code, info.si_status});
    told = true;
  };
  for (;;) {
    pollfd watched[2] = {{control, POLLIN, 0}, {ended, POLLIN, 0}};
    if (poll(watched, ended >= 0 ? 2 : 1, ended >= 0 ? -1 : 50) < 0 && errno != EINTR) break;
    signalfd_siginfo drained;
    while (ended >= 0 && read(ended, &drained, sizeof drained) > 0) {
    }
    // The program's end, told at once; it stays a zombie, so that its id
    // and its group's cannot be given to another process meanwhile.
    siginfo_t info{};
    if (!told && waitid(P_PID, program, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == program)
      tellEnd(info);
    char byte;
    ssize_t got = watched[0].revents ? read(control, &byte, 1) : 1;
    if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) break;
  }
  // The run is over: the program's group, then every process that has come
  // here (killing one can orphan its children, who come here in turn).
  kill(-program, SIGKILL);
  for (int round = 0; round < 100; ++round) {
    pid_t left[256];
    int n = Offspring(left, 256);
    if (n == 0) break;
    for (int i = 0; i < n; ++i) kill(left[i], SIGKILL);
    for (int i = 0; i < n; ++i) {
      siginfo_t info{};
      while (waitid(P_PID, left[i], &info, WEXITED) < 0 && errno == EINTR) {
      }
      if (left[i] == program) tellEnd(info);
    }
  }
  _exit(0);
}

}  // namespace

bool Process::Start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                    const std::string& dir, int how) {
  if (argv.empty()) return Failure = "no program to start", false;
  std::string path = FindProgram(argv[0], &Failure);
  if (path.empty()) return false;

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

  // Every descriptor made here is closed on every path by its owner.
  std::vector<int> ours;    // ends this process keeps
  std::vector<int> theirs;  // ends the child takes, closed here after the fork
  auto fail = [&](const std::string& why) {
    for (int fd : ours) close(fd);
    for (int fd : theirs) close(fd);
    Failure = why;
    return false;
  };
  int out[2], err[2], report[2], control[2] = {-1, -1}, news[2] = {-1, -1};
  if (how & TerminalOutput) {
    // A pseudo-terminal, in which the C and C++ libraries flush standard
    // output at each line; raw, so that "\n" stays "\n".
    out[0] = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    if (out[0] < 0) return fail(std::string("cannot make a pseudo-terminal: ") + std::strerror(errno));
    ours.push_back(out[0]);
    if (grantpt(out[0]) != 0 || unlockpt(out[0]) != 0 || ptsname_r(out[0], name, sizeof name) != 0 ||
        (out[1] = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC)) < 0)
      return fail(std::string("cannot make a pseudo-terminal: ") + std::strerror(errno));
    theirs.push_back(out[1]);
    termios raw;
    if (tcgetattr(out[1], &raw) == 0) {
      cfmakeraw(&raw);
      tcsetattr(out[1], TCSANOW, &raw);
    }
  } else {
    if (pipe2(out, O_CLOEXEC) != 0) return fail(std::strerror(errno));
    ours.push_back(out[0]), theirs.push_back(out[1]);
  }
  if (pipe2(err, O_CLOEXEC) != 0) return fail(std::strerror(errno));
  ours.push_back(err[0]), theirs.push_back(err[1]);
  if (pipe2(report, O_CLOEXEC) != 0) return fail(std::strerror(errno));
  ours.push_back(report[0]), theirs.push_back(report[1]);
  if (how & Guarded) {
    if (pipe2(control, O_CLOEXEC) != 0) return fail(std::strerror(errno));
    ours.push_back(control[1]), theirs.push_back(control[0]);
    if (pipe2(news, O_CLOEXEC) != 0) return fail(std::strerror(errno));
    ours.push_back(news[0]), theirs.push_back(news[1]);
  }
  int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (null < 0) return fail(std::strerror(errno));
  theirs.push_back(null);

  Launch launch{path.c_str(), args.data(), envp.data(), dir.c_str(), null, out[1], err[1], report[1]};
  pid_t parent = getpid();
  pid_t child = fork();
  if (child == 0) {
    if (how & Guarded) {
      const int keep[] = {null, out[1], err[1], report[1], control[0], news[1]};
      Guard(launch, control[0], news[1], keep, 6);
    }
    Become(launch, parent);
  }
  int forkError = errno;
  for (int fd : theirs) close(fd);
  theirs.clear();
  if (child < 0) return fail(std::string("cannot start a process: ") + std::strerror(forkError));
  if (how & Guarded) {
    Guardian = child;
    Control = control[1];
    Told = news[0];
    // The guardian names the program first (or tells its end, when it could not fork).
    News first{};
    ssize_t got;
    while ((got = read(Told, &first, sizeof first)) < 0 && errno == EINTR) {
    }
    Id = got == sizeof first && first.What == 'p' ? first.A : -1;
    fcntl(Told, F_SETFL, fcntl(Told, F_GETFL) | O_NONBLOCK);
  } else {
    Id = child;
    setpgid(Id, Id);
  }
  // The report pipe closes at the exec; anything on it says what failed.
  char message[1 + sizeof(int)];
  ssize_t got;
  while ((got = read(report[0], message, sizeof message)) < 0 && errno == EINTR) {
  }
  close(report[0]);
  if (got == ssize_t(sizeof message) || Id < 0) {
    int error = EAGAIN;
    if (got == ssize_t(sizeof message)) std::memcpy(&error, message + 1, sizeof error);
    Failure = got == ssize_t(sizeof message) && message[0] == 'd'
                  ? "cannot enter the directory " + dir + ": " + std::strerror(error)
                  : "cannot start " + path + ": " + std::strerror(error);
    Reap();
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

std::string Process::Text(Stream stream, size_t from) const {
  std::lock_guard<std::mutex> hold(Io->Lock);
  const std::string& text = Io->Texts[stream];
  return from < text.size() ? text.substr(from) : std::string();
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
  if (Guardian > 0) return Hear(false);
  siginfo_t info{};
  if (waitid(P_PID, Id, &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid != Id) return false;
  Finish(info.si_code, info.si_status);
  return true;
}

void Process::Finish(int code, int status) {
  Finished = true;
  if (code == CLD_EXITED)
    ExitCode = status;
  else
    TermSignal = status;
}

bool Process::Hear(bool wait) {
  while (!Finished) {
    News news{};
    ssize_t got = read(Told, &news, sizeof news);
    if (got < 0 && errno == EINTR) continue;
    // The guardian gone without a word (killed): the program, killed with it, too.
    if (got == 0) Finish(CLD_KILLED, SIGKILL);
    if (got != sizeof news) return Finished;
    if (news.What == 'e') Finish(news.A, news.B);
    if (!wait) break;
  }
  return Finished;
}

void Process::Reap() {
  if (Guardian > 0) {
    // Its control pipe closed, the guardian ends whatever is left and tells
    // the program's end, if it has not yet, before it exits.
    close(Control);
    fcntl(Told, F_SETFL, fcntl(Told, F_GETFL) & ~O_NONBLOCK);
    Hear(true);
    while (waitpid(Guardian, nullptr, 0) < 0 && errno == EINTR) {
    }
    close(Told);
    Guardian = Control = Told = -1;
    return;
  }
  int status = 0;
  while (waitpid(Id, &status, 0) < 0 && errno == EINTR) {
  }
  if (!Finished)
    Finish(WIFEXITED(status) ? CLD_EXITED : CLD_KILLED,
           WIFEXITED(status) ? WEXITSTATUS(status) : WTERMSIG(status));
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
    Reap();
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

void Process::Kill() {
  if (Id <= 0 || Reaped) return;
  Stopped = true;
  kill(-Id, SIGKILL);
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
