#include "player.h"

#include <X11/keysym.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

namespace drive {

namespace {

std::string Quote(const std::string& title) {
  return "\"" + title + "\"";
}

constexpr size_t ExcerptBytes = 160;  // of a long text, the end shown

// A text as a script would write it, shortened to its end when long.
std::string Excerpt(const std::string& text, size_t most = ExcerptBytes) {
  std::string shown = "\"";
  size_t from = text.size() > most ? text.size() - most : 0;
  if (from) shown += "...";
  for (size_t i = from; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\n')
      shown += "\\n";
    else if (c == '\t')
      shown += "\\t";
    else if (c == '"' || c == '\\')
      shown += std::string("\\") + c;
    else if (static_cast<unsigned char>(c) < ' ')
      shown += '?';
    else
      shown += c;
  }
  return shown + "\"";
}

// Makes the directories of a file's path that do not exist yet.
void MakeDirectories(const std::string& file) {
  for (size_t slash = file.find('/', 1); slash != std::string::npos; slash = file.find('/', slash + 1))
    mkdir(file.substr(0, slash).c_str(), 0777);
}

std::string Pixel(int x, int y) {
  return std::to_string(x) + "," + std::to_string(y) + " px";
}

std::string Seconds(double ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", ms / 1000);
  return text;
}

// Marks a place of a picture with a ring a few pixels outside it, black,
// yellow, yellow and black, to be seen on any colour.
void Ring(Image* image, int left, int top, int right, int bottom) {
  const Rgb colours[] = {{0, 0, 0}, {255, 255, 0}, {255, 255, 0}, {0, 0, 0}};
  for (int d = 2; d < 6; ++d) {
    int x0 = left - d, y0 = top - d, x1 = right - 1 + d, y1 = bottom - 1 + d;
    auto set = [&](int x, int y) {
      if (x >= 0 && y >= 0 && x < image->Width && y < image->Height) image->Set(x, y, colours[d - 2]);
    };
    for (int x = x0; x <= x1; ++x) set(x, y0), set(x, y1);
    for (int y = y0; y <= y1; ++y) set(x0, y), set(x1, y);
  }
}

// How the program ended, once it has.
std::string EndOf(const Process& program) {
  if (program.EndedByStop()) return "was ended by slate-run";
  if (program.Signal())
    return "was killed by signal " + std::to_string(program.Signal()) + " (" + strsignal(program.Signal()) +
           ")";
  return "ended with exit status " + std::to_string(program.ExitStatus());
}

}  // namespace

Player::Player(Client& x, Process& program, std::ostream& out, bool tap, int timeoutMs)
    : X(x), Program(program), Out(out), Tap(tap), Start(Now()), Deadline(Start + timeoutMs) {}

bool Player::Until(const std::function<bool()>& holds, int ms) {
  double end = std::min(Now() + ms, Deadline);
  for (;;) {
    if (holds()) return true;
    if (Interrupted()) return false;
    if (Now() >= end) {
      if (Now() >= Deadline) OutOfTime = true;
      return false;
    }
    Sleep(10);
  }
}

std::string Player::Waited() const {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", (Now() - StepStart) / 1000);
  return text;
}

std::string Player::Centimetres(int x, int y) const {
  char text[64];
  std::snprintf(text, sizeof text, "%g,%g cm", std::round(x / X.Scale() * 100) / 100,
                std::round(y / X.Scale() * 100) / 100);
  return text;
}

std::string Player::Absent(const Step& step) {
  if (Program.Ended())
    return "the program " + EndOf(Program) + " and no window " + Quote(step.Title) + " is shown";
  std::string why = "no window " + Quote(step.Title) + " is shown after " + Waited();
  std::vector<std::string> titles = X.Titles();
  if (titles.empty()) return why + "; no window is shown";
  why += "; the window" + std::string(titles.size() == 1 ? "" : "s") + " shown: ";
  // The topmost first, as many as a line holds.
  for (size_t i = 0; i < titles.size() && i < 10; ++i)
    why += (i ? ", " : "") + Excerpt(titles[titles.size() - 1 - i], 60);
  if (titles.size() > 10) why += " and " + std::to_string(titles.size() - 10) + " more";
  return why;
}

Window Player::Shown(const Step& step, std::string* why) {
  // Once the program has ended, its windows are going, and the X server may
  // not have seen it yet: a step on one fails the same way every time.
  Window w = 0;
  Until([&] { return Program.Ended() || (w = X.Find(step.Title)) != 0; }, step.WithinMs);
  if (Program.Ended()) w = 0;
  if (!w) *why = Absent(step);
  return w;
}

// The pixels of the step's points in window w, all inside it (but for the
// corners of a rectangle, which is clipped to the window).
bool Player::Pixels(const Step& step, Window w, int* x, int* y, Frame* frame, std::string* why) {
  if (!X.Box(w, &frame->Left, &frame->Top, &frame->Width, &frame->Height))
    return *why = "the window " + Quote(step.Title) + " has gone", false;
  const int width = frame->Width, height = frame->Height;
  for (size_t i = 0; i < step.Points.size(); ++i) {
    x[i] = X.ToPixels(step.Points[i].X);
    y[i] = X.ToPixels(step.Points[i].Y);
    if (step.What == Action::ExpectColourIn) {
      x[i] = std::min(x[i], width), y[i] = std::min(y[i], height);
    } else if (x[i] >= width || y[i] >= height) {
      char text[160];
      std::snprintf(text, sizeof text, "%g,%g cm is %s, outside the window (%d x %d px, %g px/cm)",
                    step.Points[i].X, step.Points[i].Y, Pixel(x[i], y[i]).c_str(), width, height, X.Scale());
      return *why = text, false;
    }
  }
  return true;
}

bool Player::Shoot(const Step& step, Image* image, std::string* why) {
  ::Display* d = X.D;
  int left = 0, top = 0, right = DisplayWidth(d, DefaultScreen(d)),
      bottom = DisplayHeight(d, DefaultScreen(d));
  if (step.AllWindows) {
    std::vector<Window> shown = X.Windows("*");
    if (shown.empty()) return *why = "no window is shown", false;
    int l = right, t = bottom, r = 0, b = 0;
    for (Window w : shown) {
      int x, y, width, height, border;
      if (!X.Box(w, &x, &y, &width, &height, &border)) continue;
      l = std::min(l, x - border), t = std::min(t, y - border);
      r = std::max(r, x + width + border), b = std::max(b, y + height + border);
    }
    left = std::max(left, l), top = std::max(top, t), right = std::min(right, r),
    bottom = std::min(bottom, b);
  } else if (!step.Title.empty()) {
    // The window's inside, without its border: the size its program asked
    // for, so that the picture can be compared with by expect image.
    Window w = Shown(step, why);
    int x, y, width, height;
    if (!w) return false;
    if (!X.Box(w, &x, &y, &width, &height))
      return *why = "the window " + Quote(step.Title) + " has gone", false;
    left = std::max(left, x), top = std::max(top, y);
    right = std::min(right, x + width), bottom = std::min(bottom, y + height);
  }
  if (left >= right || top >= bottom) return *why = "nothing of it is on the screen", false;
  // Taken once the picture has stayed the same for a tenth of a second, so
  // that drawing under way is finished; an animation after half a second.
  Image again;
  X.Capture(left, top, right - left, bottom - top, image);
  for (int i = 0; i < 5 && !Interrupted(); ++i) {
    Sleep(100);
    X.Capture(left, top, right - left, bottom - top, &again);
    if (again.Rgba == image->Rgba) break;
    std::swap(*image, again);
  }
  return true;
}

Player::Result Player::Expect(const Step& step, const Check& check) {
  std::string why;
  int state = 0;
  Until([&] { return (state = check(&why)) != 0; }, step.WithinMs);
  if (state <= 0) return {false, why};
  if (step.ForMs <= 0) return Result();
  // It holds: now it must go on holding (nothing changes) for the time.
  double held = Now();
  Until([&] { return (state = check(&why)) != 1; }, step.ForMs);
  if (state == 1) return Result();
  char text[64];
  std::snprintf(text, sizeof text, "it held for %.2f s, not %g s: ", (Now() - held) / 1000,
                step.ForMs / 1000.0);
  return {false, text + why};
}

Player::Result Player::Run(const Step& step) {
  Process::Stream stream = step.Errors ? Process::Errors : Process::Output;
  size_t from = 0;
  bool found = false;
  Image picture;
  std::string why;
  Result result;
  switch (step.What) {
    case Action::Sleep:
      Until([] { return false; }, step.Ms);
      return Result();
    case Action::Screenshot:
      return Screenshot(step);
    case Action::ExpectOpen:
      if (step.Count >= 0)
        return Expect(step, [&](std::string* why) {
          size_t count = X.Windows(step.Title).size();
          if (count == size_t(step.Count)) return 1;
          *why = std::to_string(count) + (count == 1 ? " window " : " windows ") + Quote(step.Title) +
                 (count == 1 ? " is" : " are") + " shown after " + Waited();
          return 0;
        });
      return Expect(step, [&](std::string* why) {
        if (X.Find(step.Title)) return 1;
        *why = Absent(step);
        return Program.Ended() ? -1 : 0;
      });
    case Action::ExpectClosed:
      return Expect(step, [&](std::string* why) {
        if (!X.Find(step.Title)) return 1;
        *why = "the window " + Quote(step.Title) + " is shown after " + Waited();
        return 0;
      });
    case Action::ExpectColourAt:
    case Action::ExpectColourIn:
    case Action::ExpectImage:
      if (step.What == Action::ExpectImage &&
          !(step.Png ? ReadPng(step.Text, &picture, &why) : X.ReadXpm(step.Text, &picture, &why)))
        return {false, "cannot read " + step.Text + ": " + why};
      result = Expect(step, [&](std::string* why) { return Looks(step, picture, why); });
      if (!result.Ok) Mark(step, &result);
      return result;
    case Action::ExpectSize:
      result = Expect(step, [&](std::string* why) { return Sized(step, why); });
      if (!result.Ok) Mark(step, &result);
      return result;
    case Action::ExpectOutput:
      return Expect(step, [&](std::string* why) {
        bool over = Program.Ended() && Program.Drained();
        if (step.Exact) {
          found = Program.Size(stream) == step.Text.size() && Program.Text(stream) == step.Text;
        } else if (!found) {
          // Searched once: only the end, where the text may have begun, again.
          size_t size = Program.Size(stream);
          found = Program.Find(stream, step.Text, from) != std::string::npos;
          if (size >= step.Text.size()) from = std::max(from, size - step.Text.size() + 1);
        }
        if (found) return 1;
        // Checked again and again while the program writes: its end only,
        // for the excerpt, not a copy of all it wrote (megabytes, perhaps).
        size_t size = Program.Size(stream);
        std::string end = Program.Text(stream, size > ExcerptBytes ? size - ExcerptBytes - 1 : 0);
        *why = std::string(step.Errors ? "stderr" : "stdout") +
               (step.Exact ? " is " : " does not hold " + Excerpt(step.Text) + "; it is ") +
               std::to_string(size) + " bytes: " + Excerpt(end);
        if (!Program.Ended()) *why += " (after " + Waited() + ")";
        return over ? -1 : 0;
      });
    case Action::ExpectExit:
      if (!Until([&] { return Program.Ended(); }, step.WithinMs)) {
        ExitTimedOut = !Interrupted();
        return {false, "the program is still running after " + Waited()};
      }
      if (Program.Signal() || Program.ExitStatus() != step.Exit)
        return {false, "the program " + EndOf(Program)};
      return Result();
    default:
      return Act(step);
  }
}

Player::Result Player::Act(const Step& step) {
  Result result;
  std::vector<int> x(step.Points.size()), y(step.Points.size());
  Frame frame;
  Window w = Shown(step, &result.Detail);
  if (!w || !Pixels(step, w, x.data(), y.data(), &frame, &result.Detail)) return result.Ok = false, result;
  bool moves = step.What == Action::Move;
  bool pointer = step.What == Action::Click || step.What == Action::Drag || moves;
  bool keys = step.What == Action::Press || step.What == Action::Hold || step.What == Action::Type;
  // A window is shown before its program takes input from it: input waits
  // until the program does (or a while, for windows that never will).
  long takes = moves     ? PointerMotionMask | EnterWindowMask | LeaveWindowMask
               : pointer ? ButtonPressMask | ButtonReleaseMask
               : keys    ? KeyPressMask | KeyReleaseMask
                         : NoEventMask;
  std::string unseen;
  if (takes &&
      !Until([&] { return X.Selects(w, takes) || Program.Ended(); }, std::min(step.WithinMs, 3000)) &&
      !Program.Ended())
    unseen =
        std::string("; no client of the window takes ") + (moves     ? "pointer motion or crossing"
                                                           : pointer ? "clicks (none selects button events)"
                                                                     : "keys (none selects key events)");
  if (step.What == Action::Close) X.CloseThroughManager(w);
  result.Caution = !unseen.empty();
  if (keys) {
    result = Keys(step, w);
    if (result.Ok && !unseen.empty()) result.Detail = unseen.substr(2), result.Caution = true;
    return result;
  }
  if (!pointer) return result;
  X.Uncover(w, x[0], y[0]);
  X.Move(w, x[0], y[0]);
  if (!moves) X.Button(step.Button, true);
  // Moves of at most a quarter of a centimetre, 10 ms apart, as a hand
  // would make them: the program sees the path, not only its end.
  double most = std::max(1.0, X.Scale() * 0.25);
  for (size_t i = 1; i < x.size(); ++i) {
    double dx = x[i] - x[i - 1], dy = y[i] - y[i - 1];
    int moves = std::max(1, static_cast<int>(std::ceil(std::hypot(dx, dy) / most)));
    for (int k = 1; k <= moves; ++k) {
      X.Move(w, x[i - 1] + static_cast<int>(std::lround(dx * k / moves)),
             y[i - 1] + static_cast<int>(std::lround(dy * k / moves)));
      Sleep(10);
    }
  }
  if (!moves) X.Button(step.Button, false);
  result.Detail = (x.size() == 1 ? "at " + Pixel(x[0], y[0])
                                 : "from " + Pixel(x[0], y[0]) + " to " + Pixel(x.back(), y.back())) +
                  unseen;
  return result;
}

Player::Result Player::Keys(const Step& step, Window w) {
  std::vector<unsigned long> keys = step.Keys;
  if (step.What == Action::Type) {
    // UTF-8: a character's keysym is its code itself up to U+00FF (Latin-1),
    // beyond that the code marked as Unicode.
    const std::string& text = step.Text;
    for (size_t i = 0; i < text.size();) {
      unsigned char b = static_cast<unsigned char>(text[i]);
      int length = b < 0x80 ? 1 : b < 0xe0 ? 2 : b < 0xf0 ? 3 : 4;
      unsigned long c = length == 1 ? b : b & (0xff >> (length + 1));
      for (int k = 1; k < length && i + k < text.size(); ++k) c = c << 6 | (text[i + k] & 0x3f);
      i += length;
      keys.push_back(c == '\n' ? XK_Return : c == '\t' ? XK_Tab : c < 0x100 ? c : 0x1000000 | c);
    }
  }
  std::vector<bool> shifted(keys.size());
  for (size_t i = 0; i < keys.size(); ++i) {
    bool shift = false;
    if (!X.KeyFor(keys[i], &shift)) {
      const char* name = XKeysymToString(keys[i]);
      return {false, std::string("no key of this X server's keyboard gives ") + (name ? name : "that key")};
    }
    shifted[i] = shift;
  }
  X.Focus(w);
  auto key = [&](size_t i, bool press) {
    if (press && shifted[i]) X.Key(XK_Shift_L, true);
    X.Key(keys[i], press);
    if (!press && shifted[i]) X.Key(XK_Shift_L, false);
  };
  if (step.What == Action::Type) {
    for (size_t i = 0; i < keys.size(); ++i) key(i, true), key(i, false);
    return Result();
  }
  for (size_t i = 0; i < keys.size(); ++i) key(i, true);
  if (step.What == Action::Hold) Until([] { return false; }, step.Ms);
  for (size_t i = keys.size(); i-- > 0;) key(i, false);
  return Result();
}

Player::Result Player::Screenshot(const Step& step) {
  Image image;
  std::string why = NotRegular(step.Text, true);
  if (!why.empty()) return {false, "cannot write " + step.Text + ": " + why};
  if (!Shoot(step, &image, &why)) return {false, why};
  MakeDirectories(step.Text);
  if (!WritePng(step.Text, image, &why)) return {false, "cannot write " + step.Text + ": " + why};
  return {true, std::to_string(image.Width) + " x " + std::to_string(image.Height) + " px"};
}

void Player::Mark(const Step& step, Result* result) {
  int left, top, width, height;
  if (!FailurePictures || !Looked || !X.Box(Looked, &left, &top, &width, &height)) return;
  Image image;
  if (!X.Capture(left, top, width, height, &image)) return;
  bool region = step.What != Action::ExpectSize;
  if (region) Ring(&image, LookedAt[0], LookedAt[1], LookedAt[2], LookedAt[3]);
  std::string name = "failed-line-" + std::to_string(step.Line) + ".png", why;
  if (!NotRegular(name, true).empty() || !WritePng(name, image, &why)) return;
  result->Picture = name;
  if (region) std::copy(LookedAt, LookedAt + 4, result->Region);
}

int Player::Sized(const Step& step, std::string* why) {
  Window w = X.Find(step.Title);
  Frame f;
  if (!w || !X.Box(w, &f.Left, &f.Top, &f.Width, &f.Height)) {
    *why = Absent(step);
    return Program.Ended() ? -1 : 0;
  }
  Looked = w;
  const int width = X.ToPixels(step.Width), height = X.ToPixels(step.Height);
  if (f.Width == width && f.Height == height) return 1;
  char text[200];
  std::snprintf(text, sizeof text, "the window is %g x %g cm (%d x %d px), not %g x %g cm (%d x %d px)",
                std::round(f.Width / X.Scale() * 100) / 100, std::round(f.Height / X.Scale() * 100) / 100,
                f.Width, f.Height, step.Width, step.Height, width, height);
  *why = text;
  return 0;
}

// Whether the window shows what the step expects: 1, 0 not (yet), -1 when
// it cannot come to (the point is outside the window, the program ended).
int Player::Looks(const Step& step, const Image& picture, std::string* why) {
  Window w = X.Find(step.Title);
  if (!w) return *why = Absent(step), Program.Ended() ? -1 : 0;
  std::vector<int> x(step.Points.size()), y(step.Points.size());
  Frame frame;
  if (!Pixels(step, w, x.data(), y.data(), &frame, why)) return -1;
  const int width = frame.Width, height = frame.Height;
  int x0 = x[0], y0 = y[0], x1 = x0 + 1, y1 = y0 + 1;
  if (step.What == Action::ExpectColourIn) {
    x0 = std::min(x[0], x[1]), y0 = std::min(y[0], y[1]);
    x1 = std::min(std::max({x[0], x[1], x0 + 1}), width),
    y1 = std::min(std::max({y[0], y[1], y0 + 1}), height);
    if (x0 >= width || y0 >= height) return *why = "the rectangle is outside the window", -1;
  } else if (step.What == Action::ExpectImage) {
    x1 = x0 + picture.Width, y1 = y0 + picture.Height;
    if (x1 > width || y1 > height)
      return *why = "the picture (" + std::to_string(picture.Width) + " x " + std::to_string(picture.Height) +
                    " px) at " + Pixel(x0, y0) + " does not fit in the window (" + std::to_string(width) +
                    " x " + std::to_string(height) + " px)",
             -1;
  }
  Looked = w;
  LookedAt[0] = x0, LookedAt[1] = y0, LookedAt[2] = x1, LookedAt[3] = y1;
  Image shown;
  X.Capture(frame.Left + x0, frame.Top + y0, x1 - x0, y1 - y0, &shown);
  if (step.What == Action::ExpectImage) {
    long differ = 0, compared = 0;
    for (int j = 0; j < picture.Height; ++j)
      for (int i = 0; i < picture.Width; ++i) {
        if (!picture.Opaque(i, j)) continue;
        ++compared;
        if (shown.Opaque(i, j) && Near(shown.At(i, j), picture.At(i, j), step.Tolerance)) continue;
        if (!differ++)
          *why = "the first at " + Centimetres(x0 + i, y0 + j) + " (" + Pixel(x0 + i, y0 + j) +
                 ") of the window: " +
                 (shown.Opaque(i, j) ? DescribeColour(shown.At(i, j)) : std::string("off the screen")) +
                 " where the picture has " + DescribeColour(picture.At(i, j));
      }
    if (differ) *why = std::to_string(differ) + " of " + std::to_string(compared) + " pixels differ; " + *why;
    return differ == 0;
  }
  // Some pixel of the colour; else the colour most pixels have, to say so.
  std::map<unsigned long, long> seen;
  for (int j = 0; j < shown.Height; ++j)
    for (int i = 0; i < shown.Width; ++i) {
      if (!shown.Opaque(i, j)) continue;
      Rgb c = shown.At(i, j);
      if (Near(c, step.Colour, step.Tolerance)) return 1;
      ++seen[(c.R << 16) | (c.G << 8) | c.B];
    }
  if (seen.empty()) return *why = "it is not on the screen", -1;
  auto most = std::max_element(seen.begin(), seen.end(),
                               [](const auto& a, const auto& b) { return a.second < b.second; });
  Rgb common = {static_cast<unsigned char>(most->first >> 16), static_cast<unsigned char>(most->first >> 8),
                static_cast<unsigned char>(most->first)};
  if (step.What == Action::ExpectColourAt)
    *why = "found " + DescribeColour(common) + " at " + Centimetres(x0, y0) + " (" + Pixel(x0, y0) + ")";
  else
    *why = "no pixel of " + DescribeColour(step.Colour) + " in " + Centimetres(x0, y0) + " to " +
           Centimetres(x1, y1) + " (" + Pixel(x0, y0) + " to " + Pixel(x1 - 1, y1 - 1) + "); most are " +
           DescribeColour(common);
  return 0;
}

void Player::Report(int number, const Step* step, const Result& result, const std::string& skip) {
  std::string what = step ? "line " + std::to_string(step->Line) + ": " + step->Source : result.Detail;
  std::string detail = step ? result.Detail : "";
  std::string when = Seconds(Now() - Start);
  if (Tap) {
    // A '#' in a description would begin a directive.
    std::string text;
    for (char c : what) text += c == '#' ? std::string("\\#") : std::string(1, c);
    Out << (result.Ok ? "ok " : "not ok ") << number << " - " << text;
    if (!skip.empty())
      Out << " # SKIP " << skip;
    else
      Out << " (" << when << ")";
    Out << "\n";
    if ((!result.Ok || result.Caution) && !detail.empty() && skip.empty()) {
      Out << "  ---\n  message: " << Excerpt(detail, 2000) << "\n";
      if (!result.Picture.empty()) {
        Out << "  picture: " << Excerpt(result.Picture) << "\n";
        if (result.Region[2] > result.Region[0])
          Out << "  region: [" << result.Region[0] << ", " << result.Region[1] << ", " << result.Region[2]
              << ", " << result.Region[3] << "]\n";
      }
      Out << "  ...\n";
    }
  } else {
    char head[64];
    std::snprintf(head, sizeof head, "%9s  %-4s  ", skip.empty() ? when.c_str() : "",
                  !skip.empty() ? "skip"
                  : result.Ok   ? "ok"
                                : "FAIL");
    Out << head << what;
    if (result.Ok && !detail.empty()) Out << "  (" << detail << ")";
    Out << "\n";
    if (!result.Ok && !detail.empty()) Out << std::string(17, ' ') << detail << "\n";
    if (!result.Picture.empty()) Out << std::string(17, ' ') << "the window then: " << result.Picture << "\n";
  }
  Out.flush();
}

int Player::Play(const Script& script) {
  int count = static_cast<int>(script.Steps.size());
  if (Tap) Out << "1.." << count + 1 << "\n";
  int failures = 0, firstFailure = 0;
  std::string skip;
  for (int i = 0; i < count; ++i) {
    const Step& step = script.Steps[i];
    if (!skip.empty()) {
      Report(i + 1, &step, Result(), skip);
      continue;
    }
    StepStart = Now();
    Result result = Run(step);
    // A step held up past the time limit (by a program that kept the X
    // server to itself, say) is cut short as well.
    if (Now() >= Deadline) OutOfTime = true;
    if (Interrupted()) result = {false, "interrupted"};
    // A sleep or a hold cut short by the time limit fails too.
    if (OutOfTime)
      result = {false, (result.Ok ? "cut short" : result.Detail) + " (the run's time limit passed)"};
    Report(i + 1, &step, result, "");
    if (result.Ok) continue;
    ++failures;
    if (!firstFailure) firstFailure = step.Line;
    if (Interrupted())
      skip = "interrupted at line " + std::to_string(step.Line);
    else if (OutOfTime)
      skip = "the run's time limit passed at line " + std::to_string(step.Line);
    else if (!step.IsExpectation())
      skip = "the step at line " + std::to_string(step.Line) + " failed";
  }

  // The program, ended now if it still runs.
  // Ended by the watchdog, past the time limit or the interruption, whether
  // or not its end has been heard of yet.
  const bool forced = Program.EndedByStop();
  bool ran = !forced && !Program.Ended();
  Program.Stop(ran ? 500 : 0);
  std::string errors = Program.Err();
  size_t xError = std::min(errors.find("X Error of failed request"), errors.find("XIO:"));
  bool crashed = Program.Signal() && !Program.EndedByStop();
  Result end;
  end.Ok = !crashed && xError == std::string::npos;
  if (forced)
    end.Detail = std::string("slate-run ended the program ") +
                 (Interrupted() ? "when it was interrupted" : "at the run's time limit");
  else if (ran)
    end.Detail = "the program was still running after the last step; slate-run ended it";
  else
    end.Detail = "the program " + EndOf(Program);
  if (xError != std::string::npos)
    end.Detail += "; its standard error reports an X error: " +
                  errors.substr(xError, std::min(errors.find('\n', xError), errors.size()) - xError);
  Report(count + 1, nullptr, end, "");

  int outcome = Interrupted()               ? 128 + Interrupted()
                : OutOfTime || ExitTimedOut ? TimedOut
                : crashed                   ? Crashed
                : !end.Ok                   ? XError
                : failures                  ? Failed
                                            : Passed;
  std::string summary = std::to_string(count) + (count == 1 ? " step, " : " steps, ") +
                        (failures ? std::to_string(failures) + " failed (the first at line " +
                                        std::to_string(firstFailure) + ")"
                                  : std::string("all passed")) +
                        "; exit status " + std::to_string(outcome);
  if (OutOfTime) summary += ": the run's time limit passed";
  Out << (Tap ? "# " : "") << "slate-run: " << summary << "\n";
  Out.flush();
  return outcome;
}

}  // namespace drive
