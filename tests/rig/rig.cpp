#include "rig.h"

#include <X11/Xutil.h>
#include <X11/extensions/XRes.h>
#include <X11/extensions/XTest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

// Runs before the library's start-up (priority 110), which would end the
// program with status 0 for want of a display: a test must fail instead.
__attribute__((constructor(105))) static void DisplayCheck() {
  Display* d = XOpenDisplay(nullptr);
  if (!d) {
    std::fprintf(stderr, "No display [%s]: run through scripts/with-xvfb (make test, make bench)\n",
                 XDisplayName(nullptr));
    _exit(1);
  }
  XCloseDisplay(d);
}

namespace rig {

bool WaitFor(const std::function<bool()>& condition, int ms) {
  double end = Now() + ms;
  while (Now() < end) {
    if (condition()) return true;
    Sleep(5);
  }
  return condition();
}

void Sleep(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

double Now() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

std::string Sh(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    pclose(pipe);
  }
  return out;
}

std::string Path(const std::string& relative) {
  return std::string(SLATE_BINARY_DIR) + "/" + relative;
}

static std::string ReadFile(const std::string& path) {
  std::ostringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

Child::Child(const std::vector<std::string>& argv, const std::vector<std::string>& env,
             const std::string& dir) {
  char temp[] = "/tmp/rig-XXXXXX";
  Dir = mkdtemp(temp) ? temp : "/tmp";
  std::string out = Dir + "/out", err = Dir + "/err";
  std::fflush(nullptr);  // or the child would write what is buffered here again
  Id = fork();
  if (Id != 0) return;
  for (const std::string& assignment : env) putenv(const_cast<char*>(assignment.c_str()));
  if (!freopen(out.c_str(), "w", stdout) || !freopen(err.c_str(), "w", stderr)) _exit(127);
  if (!dir.empty() && chdir(dir.c_str()) != 0) _exit(127);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  execvp(args[0], args.data());
  std::perror(args[0]);
  _exit(127);
}

Child::~Child() {
  if (ExitStatus == -2 && Id > 0) {
    kill(Id, SIGKILL);
    waitpid(Id, nullptr, 0);
  }
  Sh("rm -rf " + Dir);
}

std::string Child::Out() const {
  return ReadFile(Dir + "/out");
}
std::string Child::Err() const {
  return ReadFile(Dir + "/err");
}

bool Child::WaitOut(const std::string& text, int ms) const {
  return WaitFor([&] { return Out().find(text) != std::string::npos; }, ms);
}

int Child::Wait(int ms) {
  if (ExitStatus != -2) return ExitStatus;
  int status = 0;
  if (!WaitFor([&] { return waitpid(Id, &status, WNOHANG) == Id; }, ms)) {
    kill(Id, SIGKILL);
    waitpid(Id, &status, 0);
  }
  return ExitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

double Child::CpuSeconds() const {
  // User and system time are fields 14 and 15, after the name (field 2) in parentheses.
  std::string stat = ReadFile("/proc/" + std::to_string(Id) + "/stat");
  unsigned long user = 0, system = 0;
  std::sscanf(stat.c_str() + stat.rfind(')') + 2, "%*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %lu %lu",
              &user, &system);
  return double(user + system) / sysconf(_SC_CLK_TCK);
}

Server::Server(const std::string& screen, std::vector<std::string> launcher) {
  // The server picks a free display itself and writes its number once it
  // accepts connections.
  for (const char* arg : {"Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-noreset", "-screen", "0"})
    launcher.push_back(arg);
  launcher.push_back(screen);
  Xvfb = std::make_unique<Child>(launcher);
  if (Xvfb->WaitOut("\n", 15000)) Display = ":" + std::to_string(std::atoi(Xvfb->Out().c_str()));
}

Server::~Server() {
  Openbox.reset();
  Kill();
}

bool Server::StartWindowManager() {
  Openbox = std::make_unique<Child>(std::vector<std::string>{"openbox"}, std::vector<std::string>{Env()});
  // Ready once it puts a new window into a frame of its own.
  Peer peer(Display);
  Window root = DefaultRootWindow(peer.D), probe = XCreateSimpleWindow(peer.D, root, 0, 0, 10, 10, 0, 0, 0);
  bool framed = WaitFor([&] {
    XMapWindow(peer.D, probe);
    Window parent, *children = nullptr;
    unsigned int count;
    XQueryTree(peer.D, probe, &root, &parent, &children, &count);
    if (children) XFree(children);
    return parent != root;
  });
  XDestroyWindow(peer.D, probe);
  XSync(peer.D, False);
  return framed;
}

void Server::Kill() {
  if (Xvfb) kill(Xvfb->Pid(), SIGKILL);
  Xvfb.reset();
}

static std::set<::Display*> Peers;
static XErrorHandler Previous = nullptr;

// Errors of a peer's requests (about a window that has just gone, say) are
// dropped; those of any other connection go where they went before.
static int PeerErrors(::Display* d, XErrorEvent* error) {
  return Peers.count(d) ? 0 : Previous(d, error);
}

Peer::Peer(const std::string& display) : D(XOpenDisplay(display.empty() ? nullptr : display.c_str())) {
  if (!D) {
    std::fprintf(stderr, "rig: cannot open display %s\n", display.c_str());
    std::abort();
  }
  Name = DisplayString(D);
  if (!Previous) Previous = XSetErrorHandler(PeerErrors);
  Peers.insert(D);
}

Peer::~Peer() {
  XCloseDisplay(D);
  Peers.erase(D);
}

// The viewable windows of this name, in window managers' frames too, newest last.
static std::vector<Window> Viewable(const std::string& display, const std::string& title) {
  std::istringstream ids(
      Sh("DISPLAY=" + display + " xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null"));
  std::vector<Window> found;
  for (Window id; ids >> id;) found.push_back(id);
  return found;
}

Window Peer::Find(const std::string& title, int ms) {
  std::vector<Window> found;
  WaitFor([&] { return !(found = Viewable(Name, title)).empty(); }, ms);
  return found.empty() ? 0 : found.back();
}

bool Peer::Gone(const std::string& title, int ms) {
  return WaitFor([&] { return Viewable(Name, title).empty(); }, ms);
}

std::vector<unsigned long> Peer::Grab(Drawable d, int x, int y, int width, int height) {
  std::vector<unsigned long> pixels;
  XImage* image = XGetImage(D, d, x, y, width, height, AllPlanes, ZPixmap);
  if (!image) return pixels;
  for (int j = 0; j < height; ++j)
    for (int i = 0; i < width; ++i) pixels.push_back(XGetPixel(image, i, j));
  XDestroyImage(image);
  return pixels;
}

unsigned long Peer::Named(const std::string& colour) {
  XColor screen, exact;
  XAllocNamedColor(D, DefaultColormap(D, DefaultScreen(D)), colour.c_str(), &screen, &exact);
  return screen.pixel;
}

void Peer::Origin(Window w, int* x, int* y) {
  Window child;
  *x = *y = 0;
  XTranslateCoordinates(D, w, DefaultRootWindow(D), 0, 0, x, y, &child);
}

std::vector<int> Peer::Geometry(Drawable d) {
  Window root;
  int x = 0, y = 0;
  unsigned int width = 0, height = 0, border = 0, depth;
  XGetGeometry(D, d, &root, &x, &y, &width, &height, &border, &depth);
  return {x, y, int(width), int(height), int(border)};
}

void Peer::Move(Window w, int x, int y) {
  int left, top;
  Origin(w, &left, &top);
  XTestFakeMotionEvent(D, DefaultScreen(D), left + x, top + y, CurrentTime);
  XSync(D, False);
}

void Peer::Button(int button, bool press) {
  XTestFakeButtonEvent(D, button, press, CurrentTime);
  XSync(D, False);
}

void Peer::Click(Window w, int x, int y, int button) {
  Move(w, x, y);
  Button(button, true);
  Button(button, false);
}

void Peer::Key(const std::string& name, bool press) {
  XTestFakeKeyEvent(D, XKeysymToKeycode(D, XStringToKeysym(name.c_str())), press, CurrentTime);
  XSync(D, False);
}

void Peer::Close(Window w, int format) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = w;
  event.xclient.message_type = XInternAtom(D, "WM_PROTOCOLS", False);
  event.xclient.format = format;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(D, "WM_DELETE_WINDOW", False));
  XSendEvent(D, w, False, NoEventMask, &event);
  XSync(D, False);
}

std::vector<long> Peer::Property(Window w, const std::string& name) {
  Atom type;
  int format;
  unsigned long count = 0, left;
  unsigned char* value = nullptr;
  std::vector<long> items;
  if (XGetWindowProperty(D, w, XInternAtom(D, name.c_str(), False), 0, 64, False, AnyPropertyType, &type,
                         &format, &count, &left, &value) == Success &&
      format == 32)
    items.assign(reinterpret_cast<long*>(value), reinterpret_cast<long*>(value) + count);
  if (value) XFree(value);
  return items;
}

long Peer::Resources(XID owned) {
  int count = 0;
  XResType* types = nullptr;
  XResQueryClientResources(D, owned, &count, &types);
  long total = 0;
  for (int i = 0; i < count; ++i) total += types[i].count;
  if (types) XFree(types);
  return total;
}

unsigned long Peer::PixmapBytes(XID owned) {
  unsigned long bytes = 0;
  XResQueryClientPixmapBytes(D, owned, &bytes);
  return bytes;
}

}  // namespace rig
