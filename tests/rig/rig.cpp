// The test rig (see rig.h).
#include "rig.h"

#include <X11/Xatom.h>
#include <X11/extensions/XRes.h>
#include <X11/extensions/XTest.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

extern char** environ;

#ifndef SLATE_TEST_APP_DIR
#define SLATE_TEST_APP_DIR "."
#endif

// ---------------------------------------------------------------------------
// The start-up guard. Priority 105 runs before the library's WinManager
// (init_priority 110), whose constructor ends the process with status 0 when
// there is no display; a test program must fail instead.
// ---------------------------------------------------------------------------

__attribute__((constructor(105))) static void RigDisplayGuard() {
  // Writing to the stdin pipe of a child that has ended must not kill the test.
  signal(SIGPIPE, SIG_IGN);
  Display* d = XOpenDisplay(nullptr);
  if (d == nullptr) {
    std::fprintf(stderr,
                 "No display: cannot open X display [%s]. The slate tests and benchmarks need an X "
                 "server; run them through scripts/with-xvfb (make test, make bench).\n",
                 XDisplayName(nullptr));
    std::fflush(stderr);
    _exit(1);
  }
  XCloseDisplay(d);
}

namespace rig {

// ---------------------------------------------------------------------------
// Small helpers
// ---------------------------------------------------------------------------

bool WaitFor(const std::function<bool()>& cond, int timeout_ms, int poll_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (std::chrono::steady_clock::now() < deadline) {
    if (cond()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(poll_ms));
  }
  return cond();
}

std::string AppPath(const std::string& name) { return std::string(SLATE_TEST_APP_DIR) + "/" + name; }

double NowMs() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

int CountOf(const std::string& haystack, const std::string& needle) {
  if (needle.empty()) return 0;
  int n = 0;
  for (size_t pos = haystack.find(needle); pos != std::string::npos; pos = haystack.find(needle, pos + needle.size())) ++n;
  return n;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  std::istringstream in(text);
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

// ---------------------------------------------------------------------------
// Child processes
// ---------------------------------------------------------------------------

struct Process::Shared {
  std::mutex mutex;
  std::condition_variable changed;
  std::string out, err;
  bool out_eof = false, err_eof = false;
};

struct Process::ThreadHolder {
  std::thread thread;
  std::atomic<bool> stop{false};
};

std::string ProcessResult::Describe() const {
  std::ostringstream s;
  if (!started) s << "not started";
  else if (timed_out) s << "timed out (killed)";
  else if (exited) s << "exited with status " << exit_code;
  else s << "killed by signal " << signal;
  s << "; stdout: [" << out << "] stderr: [" << err << "]";
  return s.str();
}

ProcessOptions WithArgs(std::vector<std::string> args) {
  ProcessOptions options;
  options.args = std::move(args);
  return options;
}

Process::Process() : shared_(std::make_shared<Shared>()) {}

Process::~Process() {
  if (pid_ > 0 && !reaped_) {
    kill(pid_, SIGKILL);
    int status;
    waitpid(pid_, &status, 0);
    reaped_ = true;
  }
  StopReader();
  if (in_fd_ >= 0) close(in_fd_);
}

static std::string FindProgram(const std::string& path) {
  if (path.find('/') != std::string::npos) return path;
  const char* p = getenv("PATH");
  std::string dirs = p ? p : "/usr/local/bin:/usr/bin:/bin";
  std::istringstream in(dirs);
  std::string dir;
  while (std::getline(in, dir, ':')) {
    std::string candidate = (dir.empty() ? "." : dir) + "/" + path;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return path;
}

bool Process::Start(const std::string& path, const ProcessOptions& options) {
  if (pid_ > 0) {
    error_ = "already started";
    return false;
  }
  std::string program = FindProgram(path);

  // Everything the child needs is prepared before fork: between fork and
  // exec only async-signal-safe calls are made.
  std::vector<std::string> argv_s{program};
  argv_s.insert(argv_s.end(), options.args.begin(), options.args.end());
  std::map<std::string, std::string> env;
  for (char** e = environ; e && *e; ++e) {
    std::string kv(*e);
    size_t eq = kv.find('=');
    if (eq != std::string::npos) env[kv.substr(0, eq)] = kv.substr(eq + 1);
  }
  for (const auto& name : options.unset_env) env.erase(name);
  for (const auto& kv : options.env) env[kv.first] = kv.second;
  std::vector<std::string> env_s;
  for (const auto& kv : env) env_s.push_back(kv.first + "=" + kv.second);
  std::vector<char*> argv, envp;
  for (auto& s : argv_s) argv.push_back(const_cast<char*>(s.c_str()));
  argv.push_back(nullptr);
  for (auto& s : env_s) envp.push_back(const_cast<char*>(s.c_str()));
  envp.push_back(nullptr);

  int out_pipe[2], err_pipe[2], in_pipe[2], exec_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0 || pipe2(in_pipe, O_CLOEXEC) != 0 ||
      pipe2(exec_pipe, O_CLOEXEC) != 0) {
    error_ = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  long max_fd = sysconf(_SC_OPEN_MAX);
  if (max_fd < 0 || max_fd > 65536) max_fd = 65536;
  const char* cwd = options.cwd.empty() ? nullptr : options.cwd.c_str();
  pid_t parent = getpid();

  pid_t pid = fork();
  if (pid < 0) {
    error_ = std::string("fork: ") + std::strerror(errno);
    for (int fd : {out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1], in_pipe[0], in_pipe[1], exec_pipe[0], exec_pipe[1]})
      close(fd);
    return false;
  }
  if (pid == 0) {
    // A child (an application, an Xvfb) must not outlive a test program
    // that crashes or is killed by ctest's timeout.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    dup2(in_pipe[0], 0);
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    for (int fd = 3; fd < max_fd; ++fd)
      if (fd != exec_pipe[1]) close(fd);
    int err = 0;
    if (cwd && chdir(cwd) != 0) {
      err = errno;
    } else {
      execve(argv[0], argv.data(), envp.data());
      err = errno;
    }
    ssize_t ignored = write(exec_pipe[1], &err, sizeof err);
    (void)ignored;
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  close(in_pipe[0]);
  close(exec_pipe[1]);
  int child_errno = 0;
  ssize_t n;
  do {
    n = read(exec_pipe[0], &child_errno, sizeof child_errno);
  } while (n < 0 && errno == EINTR);
  close(exec_pipe[0]);
  pid_ = pid;
  out_fd_ = out_pipe[0];
  err_fd_ = err_pipe[0];
  in_fd_ = in_pipe[1];
  thread_ = std::make_unique<ThreadHolder>();
  thread_->thread = std::thread(&Process::Reader, this);
  if (n > 0) {
    error_ = "cannot start " + program + ": " + std::strerror(child_errno);
    Wait(5000);
    result_.started = false;
    return false;
  }
  result_.started = true;
  return true;
}

void Process::Reader() {
  std::shared_ptr<Shared> shared = shared_;
  ThreadHolder* holder = thread_.get();
  int fds[2] = {out_fd_, err_fd_};
  bool open_fd[2] = {true, true};
  char buffer[65536];
  while ((open_fd[0] || open_fd[1]) && !holder->stop.load()) {
    pollfd p[2];
    int count = 0, which[2];
    for (int i = 0; i < 2; ++i)
      if (open_fd[i]) {
        p[count].fd = fds[i];
        p[count].events = POLLIN;
        p[count].revents = 0;
        which[count++] = i;
      }
    int r = poll(p, count, 20);
    if (r < 0 && errno != EINTR) break;
    for (int k = 0; k < count && r > 0; ++k) {
      if (!(p[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      int i = which[k];
      ssize_t got = read(fds[i], buffer, sizeof buffer);
      if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      std::lock_guard<std::mutex> lock(shared->mutex);
      if (got <= 0) {
        open_fd[i] = false;
        (i == 0 ? shared->out_eof : shared->err_eof) = true;
      } else {
        (i == 0 ? shared->out : shared->err).append(buffer, static_cast<size_t>(got));
      }
      shared->changed.notify_all();
    }
  }
  std::lock_guard<std::mutex> lock(shared->mutex);
  shared->out_eof = shared->err_eof = true;
  shared->changed.notify_all();
}

void Process::StopReader() {
  if (!thread_) return;
  if (thread_->thread.joinable()) {
    // Let the reader drain what the child wrote before it ended; a
    // grandchild that keeps the pipes open must not hold the test up.
    {
      std::unique_lock<std::mutex> lock(shared_->mutex);
      shared_->changed.wait_for(lock, std::chrono::milliseconds(1000),
                                [&] { return shared_->out_eof && shared_->err_eof; });
    }
    thread_->stop = true;
    thread_->thread.join();
  }
  if (out_fd_ >= 0) close(out_fd_);
  if (err_fd_ >= 0) close(err_fd_);
  out_fd_ = err_fd_ = -1;
}

bool Process::Running() {
  if (pid_ <= 0 || reaped_) return false;
  int status;
  pid_t r = waitpid(pid_, &status, WNOHANG);
  if (r == pid_) {
    reaped_ = true;
    result_.exited = WIFEXITED(status);
    result_.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result_.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return false;
  }
  return r == 0;
}

std::string Process::Stdout() const {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  return shared_->out;
}

std::string Process::Stderr() const {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  return shared_->err;
}

bool Process::WaitForOutput(const std::string& needle, int timeout_ms, bool on_stderr) {
  std::unique_lock<std::mutex> lock(shared_->mutex);
  return shared_->changed.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] {
    const std::string& text = on_stderr ? shared_->err : shared_->out;
    return text.find(needle) != std::string::npos || (on_stderr ? shared_->err_eof : shared_->out_eof);
  }) && (on_stderr ? shared_->err : shared_->out).find(needle) != std::string::npos;
}

bool Process::WaitForOutputCount(const std::string& needle, int count, int timeout_ms) {
  std::unique_lock<std::mutex> lock(shared_->mutex);
  return shared_->changed.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] {
    return CountOf(shared_->out, needle) >= count || shared_->out_eof;
  }) && CountOf(shared_->out, needle) >= count;
}

bool Process::WriteStdin(const std::string& data) {
  if (in_fd_ < 0) return false;
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = write(in_fd_, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

void Process::CloseStdin() {
  if (in_fd_ >= 0) close(in_fd_);
  in_fd_ = -1;
}

void Process::Signal(int sig) {
  if (Running()) kill(pid_, sig);
}

double Process::CpuSeconds() const { return pid_ > 0 && !reaped_ ? ProcessCpuSeconds(pid_) : -1; }

ProcessResult Process::Wait(int timeout_ms) {
  if (pid_ <= 0) return result_;
  if (!reaped_) {
    double deadline = NowMs() + timeout_ms;
    while (Running()) {
      if (NowMs() >= deadline) {
        kill(pid_, SIGKILL);
        int status;
        waitpid(pid_, &status, 0);
        reaped_ = true;
        result_.timed_out = true;
        result_.exited = false;
        result_.signal = SIGKILL;
        break;
      }
      SleepMs(2);
    }
  }
  StopReader();
  std::lock_guard<std::mutex> lock(shared_->mutex);
  result_.out = shared_->out;
  result_.err = shared_->err;
  return result_;
}

ProcessResult Run(const std::string& path, const ProcessOptions& options, int timeout_ms) {
  Process p;
  if (!p.Start(path, options)) {
    ProcessResult r;
    r.err = p.Error();
    return r;
  }
  return p.Wait(timeout_ms);
}

double ProcessCpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t paren = text.rfind(')');
  if (paren == std::string::npos) return -1;
  std::istringstream fields(text.substr(paren + 1));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  // Fields after the command: state (3) ... utime (14), stime (15).
  for (int i = 3; i <= 15 && (fields >> field); ++i) {
    if (i == 14) utime = std::stoull(field);
    if (i == 15) stime = std::stoull(field);
  }
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long ProcessRssKb(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

// ---------------------------------------------------------------------------
// X protocol errors
// ---------------------------------------------------------------------------

static XErrorTrap* current_trap = nullptr;

XErrorTrap::XErrorTrap() : previous_(XSetErrorHandler(&XErrorTrap::Handler)), outer_(current_trap) {
  current_trap = this;
}

XErrorTrap::~XErrorTrap() {
  current_trap = outer_;
  XSetErrorHandler(previous_);
}

int XErrorTrap::Handler(Display* display, XErrorEvent* event) {
  if (current_trap == nullptr) return 0;
  char text[256] = "";
  XGetErrorText(display, event->error_code, text, sizeof text);
  current_trap->errors_.push_back(
      {display, event->error_code, event->request_code, event->minor_code, event->resourceid, text});
  return 0;
}

void XErrorTrap::Sync(Display* display) const {
  if (display) XSync(display, False);
}

std::string XErrorTrap::Describe() const {
  std::ostringstream s;
  for (const auto& e : errors_)
    s << e.text << " (error " << e.error_code << ", request " << e.request_code << "." << e.minor_code
      << ", resource 0x" << std::hex << e.resource << std::dec << ")\n";
  return s.str();
}

// ---------------------------------------------------------------------------
// Another X client
// ---------------------------------------------------------------------------

int Image::Count(unsigned long pixel) const {
  return static_cast<int>(std::count(pixels.begin(), pixels.end(), pixel));
}

XClient::XClient(const std::string& display_name) {
  dpy_ = XOpenDisplay(display_name.empty() ? nullptr : display_name.c_str());
}

XClient::~XClient() {
  if (dpy_) XCloseDisplay(dpy_);
}

Window XClient::Root() const { return DefaultRootWindow(dpy_); }
int XClient::ScreenWidth() const { return DisplayWidth(dpy_, DefaultScreen(dpy_)); }
int XClient::ScreenHeight() const { return DisplayHeight(dpy_, DefaultScreen(dpy_)); }
void XClient::Sync() const { XSync(dpy_, False); }

void XClient::Walk(Window w, int depth, const std::string& title, bool viewable_only, std::vector<Window>* out) {
  Window root_return, parent;
  Window* children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(dpy_, w, &root_return, &parent, &children, &count)) return;
  std::vector<Window> kids(children, children + count);
  if (children) XFree(children);
  // Topmost first, so that the window the user sees is found first.
  for (auto it = kids.rbegin(); it != kids.rend(); ++it) {
    char* name = nullptr;
    bool match = false;
    if (XFetchName(dpy_, *it, &name) && name) {
      match = title == name;
      XFree(name);
    }
    if (match) {
      XWindowAttributes a;
      if (!viewable_only || (XGetWindowAttributes(dpy_, *it, &a) && a.map_state == IsViewable)) out->push_back(*it);
    }
    if (depth < 3) Walk(*it, depth + 1, title, viewable_only, out);
  }
}

std::vector<Window> XClient::FindWindows(const std::string& title, bool viewable_only) {
  std::vector<Window> found;
  XErrorTrap trap;  // windows may go while the tree is walked
  Walk(Root(), 0, title, viewable_only, &found);
  XSync(dpy_, False);
  if (trap.Count()) {  // the tree changed under us: walk once more
    found.clear();
    XErrorTrap again;
    Walk(Root(), 0, title, viewable_only, &found);
    XSync(dpy_, False);
  }
  return found;
}

Window XClient::FindWindow(const std::string& title, bool viewable_only) {
  auto found = FindWindows(title, viewable_only);
  return found.empty() ? 0 : found.front();
}

Window XClient::WaitForWindow(const std::string& title, int timeout_ms) {
  Window w = 0;
  WaitFor([&] { return (w = FindWindow(title)) != 0; }, timeout_ms, 10);
  return w;
}

bool XClient::WaitForWindowGone(const std::string& title, int timeout_ms) {
  return WaitFor([&] { return FindWindow(title, false) == 0; }, timeout_ms, 10);
}

bool XClient::Exists(Window w) {
  XErrorTrap trap;
  XWindowAttributes a;
  Status s = XGetWindowAttributes(dpy_, w, &a);
  XSync(dpy_, False);
  return s && trap.Count() == 0;
}

bool XClient::Viewable(Window w) {
  XErrorTrap trap;
  XWindowAttributes a;
  Status s = XGetWindowAttributes(dpy_, w, &a);
  XSync(dpy_, False);
  return s && trap.Count() == 0 && a.map_state == IsViewable;
}

std::vector<Window> XClient::TopLevels() {
  Window root_return, parent;
  Window* children = nullptr;
  unsigned int count = 0;
  std::vector<Window> kids;
  if (XQueryTree(dpy_, Root(), &root_return, &parent, &children, &count)) kids.assign(children, children + count);
  if (children) XFree(children);
  return kids;
}

Geometry XClient::GetGeometry(Window w) {
  Geometry g;
  XErrorTrap trap;
  Window root;
  int x, y;
  unsigned int width, height, border, depth;
  if (!XGetGeometry(dpy_, w, &root, &x, &y, &width, &height, &border, &depth)) return g;
  Window child;
  int rx = 0, ry = 0;
  if (!XTranslateCoordinates(dpy_, w, root, 0, 0, &rx, &ry, &child)) return g;
  XSync(dpy_, False);
  if (trap.Count()) return g;
  g.ok = true;
  g.width = static_cast<int>(width);
  g.height = static_cast<int>(height);
  g.border = static_cast<int>(border);
  g.inner_x = rx;
  g.inner_y = ry;
  g.x = rx - g.border;
  g.y = ry - g.border;
  return g;
}

static std::string TextProperty(Display* dpy, Window w, Atom property) {
  XErrorTrap trap;
  XTextProperty tp{};
  std::string text;
  if (XGetTextProperty(dpy, w, &tp, property) && tp.value) {
    text.assign(reinterpret_cast<char*>(tp.value), tp.nitems);
    XFree(tp.value);
  }
  XSync(dpy, False);
  return text;
}

std::string XClient::GetName(Window w) { return TextProperty(dpy_, w, XA_WM_NAME); }
std::string XClient::GetIconName(Window w) { return TextProperty(dpy_, w, XA_WM_ICON_NAME); }

SizeHints XClient::GetSizeHints(Window w) {
  SizeHints h;
  XErrorTrap trap;
  XSizeHints* hints = XAllocSizeHints();
  long supplied = 0;
  if (hints && XGetWMNormalHints(dpy_, w, hints, &supplied)) {
    h.ok = true;
    h.flags = hints->flags;
    h.min_width = hints->min_width;
    h.min_height = hints->min_height;
    h.max_width = hints->max_width;
    h.max_height = hints->max_height;
  }
  if (hints) XFree(hints);
  XSync(dpy_, False);
  if (trap.Count()) h.ok = false;
  return h;
}

std::vector<std::string> XClient::GetProtocols(Window w) {
  std::vector<std::string> names;
  XErrorTrap trap;
  Atom* protocols = nullptr;
  int count = 0;
  if (XGetWMProtocols(dpy_, w, &protocols, &count)) {
    for (int i = 0; i < count; ++i) names.push_back(AtomName(protocols[i]));
    XFree(protocols);
  }
  XSync(dpy_, False);
  return names;
}

long XClient::GetEventMask(Window w) {
  XErrorTrap trap;
  XWindowAttributes a;
  if (!XGetWindowAttributes(dpy_, w, &a)) return 0;
  XSync(dpy_, False);
  return trap.Count() ? 0 : a.all_event_masks;
}

Atom XClient::Intern(const std::string& name) { return XInternAtom(dpy_, name.c_str(), False); }

std::string XClient::AtomName(Atom atom) {
  XErrorTrap trap;
  char* name = XGetAtomName(dpy_, atom);
  std::string s = name ? name : "";
  if (name) XFree(name);
  return s;
}

Image XClient::Capture(Drawable d, int x, int y, int width, int height) {
  Image image;
  XErrorTrap trap;
  if (width <= 0 || height <= 0) {
    Window root;
    int gx, gy;
    unsigned int gw, gh, border, depth;
    if (!XGetGeometry(dpy_, d, &root, &gx, &gy, &gw, &gh, &border, &depth)) return image;
    XSync(dpy_, False);
    if (trap.Count()) return image;
    width = static_cast<int>(gw) - x;
    height = static_cast<int>(gh) - y;
  }
  XImage* xi = XGetImage(dpy_, d, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height), AllPlanes, ZPixmap);
  XSync(dpy_, False);
  if (!xi || trap.Count()) {
    if (xi) XDestroyImage(xi);
    return image;
  }
  image.ok = true;
  image.width = width;
  image.height = height;
  image.pixels.resize(static_cast<size_t>(width) * height);
  for (int j = 0; j < height; ++j)
    for (int i = 0; i < width; ++i) image.pixels[static_cast<size_t>(j) * width + i] = XGetPixel(xi, i, j);
  XDestroyImage(xi);
  return image;
}

unsigned long XClient::PixelAt(Drawable d, int x, int y) {
  Image image = Capture(d, x, y, 1, 1);
  return image.ok ? image.At(0, 0) : ~0UL;
}

unsigned long XClient::NamedPixel(const std::string& name) {
  XColor screen, exact;
  if (!XAllocNamedColor(dpy_, DefaultColormap(dpy_, DefaultScreen(dpy_)), name.c_str(), &screen, &exact)) return ~0UL;
  return screen.pixel;
}

void XClient::MovePointer(int root_x, int root_y) {
  XTestFakeMotionEvent(dpy_, DefaultScreen(dpy_), root_x, root_y, CurrentTime);
  XSync(dpy_, False);
}

void XClient::Press(unsigned int button) {
  XTestFakeButtonEvent(dpy_, button, True, CurrentTime);
  XSync(dpy_, False);
}

void XClient::Release(unsigned int button) {
  XTestFakeButtonEvent(dpy_, button, False, CurrentTime);
  XSync(dpy_, False);
}

void XClient::Click(int root_x, int root_y, unsigned int button) {
  MovePointer(root_x, root_y);
  Press(button);
  Release(button);
}

bool XClient::ClickInWindow(Window w, int x, int y, unsigned int button) {
  Geometry g = GetGeometry(w);
  if (!g.ok) return false;
  Click(g.inner_x + x, g.inner_y + y, button);
  return true;
}

bool XClient::SendClientMessage(Window w, Atom type, int format, long l0) {
  XErrorTrap trap;
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = w;
  event.xclient.message_type = type;
  event.xclient.format = format;
  if (format == 8) event.xclient.data.b[0] = static_cast<char>(l0);
  else if (format == 16) event.xclient.data.s[0] = static_cast<short>(l0);
  else event.xclient.data.l[0] = l0;
  if (format == 32) event.xclient.data.l[1] = CurrentTime;
  Status s = XSendEvent(dpy_, w, False, NoEventMask, &event);
  XSync(dpy_, False);
  return s && trap.Count() == 0;
}

bool XClient::SendDeleteRequest(Window w) {
  return SendClientMessage(w, Intern("WM_PROTOCOLS"), 32, static_cast<long>(Intern("WM_DELETE_WINDOW")));
}

Window XClient::CoverRect(int root_x, int root_y, int width, int height, unsigned long pixel) {
  XSetWindowAttributes a{};
  a.override_redirect = True;
  a.background_pixel = pixel;
  Window cover = XCreateWindow(dpy_, Root(), root_x, root_y, static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                               CopyFromParent, InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel, &a);
  XMapRaised(dpy_, cover);
  XSync(dpy_, False);
  WaitFor([&] { return Viewable(cover); }, 2000, 2);
  return cover;
}

Window XClient::Cover(Window w, unsigned long pixel) {
  Geometry g = GetGeometry(w);
  if (!g.ok) return 0;
  return CoverRect(g.x, g.y, g.width + 2 * g.border, g.height + 2 * g.border, pixel);
}

void XClient::Uncover(Window cover) {
  if (!cover) return;
  XErrorTrap trap;
  XDestroyWindow(dpy_, cover);
  XSync(dpy_, False);
}

unsigned long XClient::ClientPixmapBytes(XID xid) {
  XErrorTrap trap;
  unsigned long bytes = 0;
  Status s = XResQueryClientPixmapBytes(dpy_, xid, &bytes);
  XSync(dpy_, False);
  return s && trap.Count() == 0 ? bytes : ~0UL;
}

std::map<std::string, int> XClient::ClientResources(XID xid) {
  std::map<std::string, int> counts;
  XErrorTrap trap;
  int nclients = 0;
  XResClient* clients = nullptr;
  if (!XResQueryClients(dpy_, &nclients, &clients)) return counts;
  XID base = 0;
  bool found = false;
  for (int i = 0; i < nclients; ++i)
    if ((xid & ~clients[i].resource_mask) == clients[i].resource_base) {
      base = clients[i].resource_base;
      found = true;
    }
  if (clients) XFree(clients);
  if (!found) return counts;
  int ntypes = 0;
  XResType* types = nullptr;
  if (XResQueryClientResources(dpy_, base, &ntypes, &types)) {
    for (int i = 0; i < ntypes; ++i) counts[AtomName(types[i].resource_type)] = static_cast<int>(types[i].count);
    if (types) XFree(types);
  }
  XSync(dpy_, False);
  return counts;
}

int XClient::ClientCount() {
  int nclients = 0;
  XResClient* clients = nullptr;
  if (!XResQueryClients(dpy_, &nclients, &clients)) return -1;
  if (clients) XFree(clients);
  return nclients;
}

// ---------------------------------------------------------------------------
// An extra X server
// ---------------------------------------------------------------------------

Xvfb::Xvfb(const std::string& screen) : screen_(screen) {}

Xvfb::~Xvfb() { Stop(); }

bool Xvfb::Start(int timeout_ms) {
  if (number_ >= 0) return true;
  ProcessOptions options;
  // -displayfd: the server picks a free display number itself (no race with
  // other servers starting at the same time) and writes it to stdout once it
  // accepts connections.
  options.args = {"-displayfd", "1", "-screen", "0", screen_, "-nolisten", "tcp", "-noreset"};
  if (!process_.Start("Xvfb", options)) {
    error_ = process_.Error();
    return false;
  }
  if (!process_.WaitForOutput("\n", timeout_ms)) {
    error_ = "Xvfb " + screen_ + " did not report a display: " + process_.Stderr();
    process_.Signal(SIGKILL);
    process_.Wait(2000);
    return false;
  }
  int number = std::atoi(process_.Stdout().c_str());
  std::string name = ":" + std::to_string(number);
  Display* d = nullptr;
  WaitFor([&] { return (d = XOpenDisplay(name.c_str())) != nullptr; }, timeout_ms, 20);
  if (!d) {
    error_ = "Xvfb on " + name + " does not accept connections: " + process_.Stderr();
    process_.Signal(SIGKILL);
    process_.Wait(2000);
    return false;
  }
  XCloseDisplay(d);
  number_ = number;
  return true;
}

void Xvfb::Stop() {
  if (process_.Pid() <= 0) return;
  process_.Signal(SIGTERM);
  ProcessResult r = process_.Wait(5000);
  (void)r;
  number_ = -1;
}

ProcessOptions Xvfb::Env(ProcessOptions options) const {
  options.env["DISPLAY"] = Name();
  return options;
}

Xvfb* PrivateServer() {
  static std::unique_ptr<Xvfb> server;
  static bool tried = false;
  if (!tried) {
    tried = true;
    server = std::make_unique<Xvfb>("1920x1080x24");
    if (!server->Start()) {
      std::fprintf(stderr, "rig: cannot start a private Xvfb: %s\n", server->Error().c_str());
      server.reset();
    }
  }
  return server.get();
}

}  // namespace rig
