#include "script.h"

#include <X11/Xlib.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace drive {

const char* const StepForms =
    "  wait \"TITLE\"                           until a window with this title is shown\n"
    "  click \"TITLE\" X,Y [BUTTON]             BUTTON: left (default), middle, right, up, down\n"
    "  drag \"TITLE\" X,Y X,Y... [BUTTON]       pressed at the first point, moved along, released\n"
    "  move \"TITLE\" X,Y X,Y...                the pointer moved along, no button held\n"
    "  press \"TITLE\" KEY                      a key pressed and released: a, Left, space, ctrl+c\n"
    "  hold \"TITLE\" KEY TIME                  a key held down for a time: 1.5s, 300ms\n"
    "  type \"TITLE\" \"TEXT\"                    keys that type the text\n"
    "  sleep TIME\n"
    "  screenshot \"TITLE\" FILE.png            also: screenshot screen FILE.png, screenshot windows "
    "FILE.png\n"
    "  close \"TITLE\"                          the window manager's close request\n"
    "  expect open \"TITLE\"                    also: expect closed \"TITLE\", expect 2 open \"TITLE\"\n"
    "  expect colour COLOUR at \"TITLE\" X,Y    COLOUR: black, white, red, green, blue, yellow, cyan,\n"
    "                                         magenta or #rrggbb\n"
    "  expect colour COLOUR in \"TITLE\" X,Y X,Y  some pixel of the rectangle has the colour\n"
    "  expect image FILE at \"TITLE\" X,Y       the window shows the picture (.png or .xpm, found\n"
    "                                         beside the script) there\n"
    "  expect size \"TITLE\" WxH                the window is W x H centimetres: 8x6\n"
    "  expect stdout \"TEXT\"                   also: expect stdout is \"TEXT\", expect stderr ...\n"
    "  expect exit STATUS                     the program ends with this status\n"
    "  within TIME                            how long the steps after it wait (10 s until then)\n"
    "Expectations take \"within TIME\" (how long to wait until they hold), \"for TIME\" (how long\n"
    "they must then go on holding: nothing changes), and any step \"points N\" (its worth in a\n"
    "grade; 1 for an expectation, 0 for another step).\n";

namespace {

struct Named {
  const char* Name;
  Rgb Colour;
};
// The library's palette, as the X server's colour database defines it.
const Named Palette[] = {{"black", {0, 0, 0}},    {"white", {255, 255, 255}}, {"red", {255, 0, 0}},
                         {"green", {0, 255, 0}},  {"blue", {0, 0, 255}},      {"yellow", {255, 255, 0}},
                         {"cyan", {0, 255, 255}}, {"magenta", {255, 0, 255}}};

struct Token {
  std::string Text;
  bool Quoted = false;
};

bool IsHexColour(const std::string& line, size_t at) {
  for (size_t i = 1; i <= 6; ++i)
    if (at + i >= line.size() || !std::isxdigit(static_cast<unsigned char>(line[at + i]))) return false;
  return at + 7 == line.size() || std::isspace(static_cast<unsigned char>(line[at + 7]));
}

// Splits a line into words and quoted texts; "#" that begins a word (and
// is not a colour) begins a comment. Points written "2, 3" become "2,3".
bool Tokenize(const std::string& line, std::vector<Token>* tokens, size_t* end, std::string* error) {
  std::vector<Token> raw;
  size_t i = 0;
  *end = line.size();
  auto afterColour = [&] {
    return !raw.empty() && !raw.back().Quoted && (raw.back().Text == "colour" || raw.back().Text == "color");
  };
  while (i < line.size()) {
    char c = line[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
    } else if (c == '#' && !IsHexColour(line, i) &&
               !(afterColour() && i + 1 < line.size() &&
                 !std::isspace(static_cast<unsigned char>(line[i + 1])))) {
      *end = i;
      break;
    } else if (c == '"') {
      Token token{"", true};
      for (++i;; ++i) {
        if (i >= line.size()) return *error = "a text in double quotes is not closed", false;
        if (line[i] == '"') break;
        if (line[i] == '\\') {
          if (++i >= line.size()) return *error = "a text in double quotes is not closed", false;
          char escaped = line[i];
          if (escaped == 'n')
            token.Text += '\n';
          else if (escaped == 't')
            token.Text += '\t';
          else if (escaped == '"' || escaped == '\\')
            token.Text += escaped;
          else
            return *error = std::string("unknown escape \\") + escaped + " (use \\\", \\\\, \\n or \\t)",
                   false;
        } else {
          token.Text += line[i];
        }
      }
      ++i;
      raw.push_back(token);
    } else {
      Token token;
      while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i])) && line[i] != '"')
        token.Text += line[i++];
      raw.push_back(token);
    }
  }
  for (const Token& token : raw) {
    bool joins = !tokens->empty() && !token.Quoted && !tokens->back().Quoted &&
                 (token.Text[0] == ',' || tokens->back().Text.back() == ',');
    if (joins)
      tokens->back().Text += token.Text;
    else
      tokens->push_back(token);
  }
  return true;
}

// A decimal number as people write one: 2, -1, 0.25, .5 (not 0x10, 1e3 or inf).
bool Number(const std::string& text, double* value) {
  size_t i = text[0] == '-' ? 1 : 0, digits = 0, points = 0;
  for (; i < text.size(); ++i) {
    if (std::isdigit(static_cast<unsigned char>(text[i])))
      ++digits;
    else if (text[i] == '.' && !points)
      ++points;
    else
      return false;
  }
  if (!digits || digits > 12) return false;
  *value = std::strtod(text.c_str(), nullptr);
  return true;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A key by its X name (Left, space, a, F1, Return), a single character, or
// a common name in any case (left, enter, esc, ctrl).
unsigned long KeyNamed(const std::string& name) {
  if (name.size() == 1 && name[0] > ' ' && name[0] < 127) return static_cast<unsigned char>(name[0]);
  KeySym sym = XStringToKeysym(name.c_str());
  if (sym != NoSymbol) return sym;
  static const std::pair<const char*, const char*> Aliases[] = {
      {"ctrl", "Control_L"}, {"control", "Control_L"}, {"shift", "Shift_L"},       {"alt", "Alt_L"},
      {"enter", "Return"},   {"esc", "Escape"},        {"backspace", "BackSpace"}, {"del", "Delete"},
      {"pageup", "Prior"},   {"pagedown", "Next"},     {"capslock", "Caps_Lock"}};
  std::string lower = Lower(name);
  for (const auto& alias : Aliases)
    if (lower == alias.first) return XStringToKeysym(alias.second);
  std::string capital = lower;
  capital[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(capital[0])));
  if ((sym = XStringToKeysym(capital.c_str())) != NoSymbol) return sym;
  return XStringToKeysym(lower.c_str());
}

// Reads the words of one step, in order, and says what is wrong with them.
class Reader {
 public:
  Reader(const std::vector<Token>& tokens, const std::string& usage) : Tokens(tokens), Usage(usage) {}

  void SetUsage(const std::string& usage) { Usage = usage; }
  bool Failed() const { return !Problem.empty(); }
  std::string Message() const { return Bare ? Problem : Problem + "; write: " + Usage; }
  bool More() const { return At < Tokens.size(); }
  const Token* Peek() const { return More() ? &Tokens[At] : nullptr; }
  bool Next(const char* word) {
    if (!More() || Tokens[At].Quoted || Lower(Tokens[At].Text) != word) return false;
    ++At;
    return true;
  }
  // bare: the problem is not the step's form, which is not shown.
  void Fail(const std::string& problem, bool bare = false) {
    if (Problem.empty()) Problem = problem, Bare = bare;
  }

  std::string Title() {
    if (!More() || !Tokens[At].Quoted) return Fail("the window's title, in double quotes, is missing"), "";
    if (Tokens[At].Text.empty()) return Fail("a window's title is not empty"), "";
    return Tokens[At++].Text;
  }
  std::string Quoted(const char* what) {
    if (!More() || !Tokens[At].Quoted) return Fail(std::string(what) + ", in double quotes, is missing"), "";
    return Tokens[At++].Text;
  }
  std::string Word(const char* what) {
    if (!More()) return Fail(std::string(what) + " is missing"), "";
    return Tokens[At++].Text;
  }
  bool IsPoint() const {
    return More() && !Tokens[At].Quoted && Tokens[At].Text.find(',') != std::string::npos;
  }
  Point Position() {
    Point p;
    std::string text = Word("a position X,Y in centimetres");
    size_t comma = text.find(',');
    if (Failed()) return p;
    if (comma == std::string::npos || !Number(text.substr(0, comma), &p.X) ||
        !Number(text.substr(comma + 1), &p.Y))
      return Fail("\"" + text + "\" is not a position X,Y in centimetres, as in 2.5,3"), p;
    if (p.X < 0 || p.Y < 0 || p.X > 1000 || p.Y > 1000)
      Fail("\"" + text + "\": centimetres from the window's upper-left corner are from 0 to 1000");
    return p;
  }
  // WIDTHxHEIGHT in centimetres, as in 8x6 or 10.5x4.
  void Size(double* width, double* height) {
    std::string text = Word("a size WIDTHxHEIGHT in centimetres");
    size_t x = text.find('x');
    if (Failed()) return;
    if (x == std::string::npos || !Number(text.substr(0, x), width) || !Number(text.substr(x + 1), height) ||
        *width <= 0 || *height <= 0 || *width > 1000 || *height > 1000)
      Fail("\"" + text + "\" is not a size WIDTHxHEIGHT in centimetres, as in 8x6");
  }
  int Time() {
    std::string text = Word("a time (1.5s, 300ms)");
    if (Failed()) return 0;
    std::string digits = text;
    double unit = 1000;
    if (digits.size() > 2 && digits.compare(digits.size() - 2, 2, "ms") == 0)
      digits.resize(digits.size() - 2), unit = 1;
    else if (digits.size() > 1 && digits.back() == 's')
      digits.pop_back();
    double value;
    if (!Number(digits, &value) || value < 0)
      return Fail("\"" + text + "\" is not a time, as in 1.5s or 300ms"), 0;
    if (value * unit > 3600000) return Fail("\"" + text + "\" is more than an hour"), 0;
    return static_cast<int>(std::lround(value * unit));
  }
  int Integer(const char* what, int low, int high) {
    std::string text = Word(what);
    double value;
    if (Failed()) return 0;
    if (!Number(text, &value) || value != std::floor(value) || value < low || value > high)
      return Fail("\"" + text + "\" is not " + what + ", a whole number from " + std::to_string(low) +
                  " to " + std::to_string(high)),
             0;
    return static_cast<int>(value);
  }
  // The optional words at the end of a step: tolerance N, within TIME,
  // for TIME, points N.
  void Options(Step* step, bool tolerance) {
    bool waits = step->IsExpectation() || step->What == Action::Wait;
    while (More() && !Failed()) {
      if (tolerance && Next("tolerance"))
        step->Tolerance = Integer("a tolerance", 0, 255);
      else if (waits && Next("within"))
        step->WithinMs = Time();
      else if (step->IsExpectation() && step->What != Action::ExpectExit && Next("for"))
        step->ForMs = Time();
      else if (Next("points"))
        step->Worth = Integer("a number of points", 0, 1000);
      else
        Fail("\"" + Tokens[At].Text + "\" is not expected here");
    }
  }

 private:
  const std::vector<Token>& Tokens;
  std::string Usage, Problem;
  bool Bare = false;
  size_t At = 0;
};

int ButtonNamed(const std::string& name) {
  const char* names[] = {"left", "middle", "right", "up", "down"};
  for (int i = 0; i < 5; ++i)
    if (Lower(name) == names[i] || name == std::to_string(i + 1)) return i + 1;
  return 0;
}

bool EndsWith(const std::string& text, const char* end) {
  std::string tail = end;
  return text.size() > tail.size() && Lower(text.substr(text.size() - tail.size())) == tail;
}

void Buttoned(Reader& in, Step* step) {
  if (!in.More()) return;
  std::string name = in.Word("a button");
  if (!(step->Button = ButtonNamed(name)))
    in.Fail("\"" + name + "\" is not a button (left, middle, right, up, down)");
}

void Keys(Reader& in, Step* step) {
  std::string combination = in.Word("a key");
  if (in.Failed()) return;
  std::vector<std::string> names;
  if (combination.size() == 1) {
    names.push_back(combination);
  } else {
    // Keys joined by '+'; the last may be '+' itself (ctrl++).
    size_t from = 0;
    for (size_t plus; (plus = combination.find('+', from + 1)) != std::string::npos; from = plus + 1)
      names.push_back(combination.substr(from, plus - from));
    names.push_back(combination.substr(from));
  }
  for (const std::string& name : names) {
    if (name.empty()) return in.Fail("\"" + combination + "\": a key is missing after +");
    unsigned long key = KeyNamed(name);
    if (!key) return in.Fail("\"" + name + "\" is not a key's name (a, 1, Left, space, Return, F1, ctrl...)");
    step->Keys.push_back(key);
  }
}

// One step from its words; the first has been taken as the verb.
void ReadStep(const std::string& verb, Reader& in, const std::string& dir, Step* step) {
  if (verb == "wait") {
    step->What = Action::Wait;
    step->Title = in.Title();
  } else if (verb == "click" || verb == "drag") {
    step->What = verb == "click" ? Action::Click : Action::Drag;
    step->Title = in.Title();
    do step->Points.push_back(in.Position());
    while (step->What == Action::Drag && in.IsPoint() && !in.Failed());
    if (step->What == Action::Drag && step->Points.size() < 2)
      in.Fail("a drag goes along two points at least");
    Buttoned(in, step);
  } else if (verb == "move") {
    step->What = Action::Move;
    step->Title = in.Title();
    do step->Points.push_back(in.Position());
    while (in.IsPoint() && !in.Failed());
  } else if (verb == "press" || verb == "hold") {
    step->What = verb == "press" ? Action::Press : Action::Hold;
    step->Title = in.Title();
    Keys(in, step);
    if (step->What == Action::Hold) step->Ms = in.Time();
  } else if (verb == "type") {
    step->What = Action::Type;
    step->Title = in.Title();
    step->Text = in.Quoted("the text to type");
    // Any character, as a keyboard with a key for it types it: UTF-8, no
    // control characters but \n and \t.
    const std::string& text = step->Text;
    for (size_t i = 0; i < text.size();) {
      unsigned char b = static_cast<unsigned char>(text[i]);
      size_t length = b < 0x80                 ? 1
                      : b >= 0xc2 && b <= 0xdf ? 2
                      : b >= 0xe0 && b <= 0xef ? 3
                      : b >= 0xf0 && b <= 0xf4 ? 4
                                               : 0;
      bool valid =
          length > 0 && i + length <= text.size() && (b >= ' ' || b == '\n' || b == '\t') && b != 0x7f;
      for (size_t k = 1; valid && k < length; ++k)
        valid = (static_cast<unsigned char>(text[i + k]) & 0xc0) == 0x80;
      if (!valid) {
        in.Fail("only characters (UTF-8, no control characters but \\n and \\t) can be typed");
        break;
      }
      i += length;
    }
  } else if (verb == "sleep") {
    step->Ms = in.Time();
  } else if (verb == "screenshot") {
    step->What = Action::Screenshot;
    if (in.Next("windows"))
      step->AllWindows = true;
    else if (!in.Next("screen"))
      step->Title = in.Title();
    step->Text = in.Word("the file to write");
    std::string other = in.Failed() ? "" : NotRegular(step->Text, true);
    if (!in.Failed() && !EndsWith(step->Text, ".png"))
      in.Fail("screenshots are PNG files: the name ends in .png");
    else if (!other.empty())
      in.Fail("cannot write the screenshot " + step->Text + ": " + other, true);
  } else if (verb == "close") {
    step->What = Action::Close;
    step->Title = in.Title();
  } else if (verb == "expect") {
    std::string what =
        Lower(in.Word("what to expect (open, closed, colour, image, size, stdout, stderr, exit)"));
    double count;
    if (Number(what, &count)) {
      if (count < 0 || count > 1000 || count != std::floor(count))
        in.Fail("\"" + what + "\" is not a number of windows, from 0 to 1000");
      step->Count = static_cast<int>(count);
      if (!in.Next("open")) in.Fail("\"open\" is missing after the number of windows");
      what = "open";
    }
    const std::pair<const char*, const char*> forms[] = {
        {"open", "expect [N] open \"TITLE\" [within TIME]"},
        {"closed", "expect closed \"TITLE\" [within TIME]"},
        {"colour", "expect colour COLOUR at \"TITLE\" X,Y, or expect colour COLOUR in \"TITLE\" X,Y X,Y"},
        {"color", "expect color COLOR at \"TITLE\" X,Y, or expect color COLOR in \"TITLE\" X,Y X,Y"},
        {"image", "expect image FILE at \"TITLE\" X,Y [tolerance N]"},
        {"size", "expect size \"TITLE\" WIDTHxHEIGHT (centimetres, as in 8x6)"},
        {"stdout", "expect stdout [is] \"TEXT\" [within TIME]"},
        {"stderr", "expect stderr [is] \"TEXT\" [within TIME]"},
        {"exit", "expect exit STATUS [within TIME]"}};
    for (const auto& form : forms)
      if (what == form.first) in.SetUsage(form.second);
    if (what == "open" || what == "closed") {
      step->What = what == "open" ? Action::ExpectOpen : Action::ExpectClosed;
      step->Title = in.Title();
    } else if (what == "colour" || what == "color") {
      std::string colour = in.Word("a colour");
      if (!in.Failed() && !ParseColour(colour, &step->Colour))
        in.Fail("\"" + colour +
                "\" is not a colour (black, white, red, green, blue, yellow, cyan, magenta, #rrggbb)");
      step->What = in.Next("in") ? Action::ExpectColourIn : Action::ExpectColourAt;
      if (step->What == Action::ExpectColourAt && !in.Next("at")) in.Fail("\"at\" or \"in\" is missing");
      step->Title = in.Title();
      step->Points.push_back(in.Position());
      if (step->What == Action::ExpectColourIn) step->Points.push_back(in.Position());
    } else if (what == "image") {
      step->What = Action::ExpectImage;
      step->Text = in.Word("the picture file");
      if (!step->Text.empty() && step->Text[0] != '/' && !dir.empty()) step->Text = dir + "/" + step->Text;
      step->Png = EndsWith(step->Text, ".png");
      if (!in.Failed() && !step->Png && !EndsWith(step->Text, ".xpm"))
        in.Fail("the picture is a .png or .xpm file");
      else if (std::string other = in.Failed() ? "" : NotRegular(step->Text, false); !other.empty())
        in.Fail("cannot read the picture " + step->Text + ": " + other, true);
      if (!in.Next("at")) in.Fail("\"at\" is missing");
      step->Title = in.Title();
      step->Points.push_back(in.Position());
    } else if (what == "size") {
      step->What = Action::ExpectSize;
      step->Title = in.Title();
      in.Size(&step->Width, &step->Height);
    } else if (what == "stdout" || what == "stderr") {
      step->What = Action::ExpectOutput;
      step->Errors = what == "stderr";
      step->Exact = in.Next("is");
      step->Text = in.Quoted("the text");
    } else if (what == "exit") {
      step->What = Action::ExpectExit;
      step->Exit = in.Integer("an exit status", 0, 255);
    } else if (!in.Failed()) {
      in.Fail("cannot expect \"" + what + "\"");
    }
  }
  in.Options(step, step->What == Action::ExpectColourAt || step->What == Action::ExpectColourIn ||
                       step->What == Action::ExpectImage);
}

const char* UsageOf(const std::string& verb) {
  static const std::pair<const char*, const char*> Usages[] = {
      {"wait", "wait \"TITLE\" [within TIME]"},
      {"click", "click \"TITLE\" X,Y [left|middle|right|up|down]"},
      {"drag", "drag \"TITLE\" X,Y X,Y... [left|middle|right]"},
      {"move", "move \"TITLE\" X,Y X,Y..."},
      {"press", "press \"TITLE\" KEY"},
      {"hold", "hold \"TITLE\" KEY TIME"},
      {"type", "type \"TITLE\" \"TEXT\""},
      {"sleep", "sleep TIME"},
      {"screenshot", "screenshot \"TITLE\"|screen|windows FILE.png"},
      {"close", "close \"TITLE\""},
      {"expect",
       "expect [N] open \"TITLE\", expect closed \"TITLE\", expect colour COLOUR at \"TITLE\" X,Y, expect "
       "colour COLOUR in \"TITLE\" "
       "X,Y X,Y, expect image FILE at \"TITLE\" X,Y, expect size \"TITLE\" WIDTHxHEIGHT, expect "
       "stdout|stderr [is] \"TEXT\", expect exit STATUS"},
      {"within", "within TIME (how long the steps after it wait, 10 s until then)"}};
  for (const auto& usage : Usages)
    if (verb == usage.first) return usage.second;
  return nullptr;
}

}  // namespace

bool ParseColour(const std::string& word, Rgb* colour) {
  for (const Named& named : Palette)
    if (Lower(word) == named.Name) return *colour = named.Colour, true;
  if (word.size() != 7 || word[0] != '#') return false;
  for (size_t i = 1; i < 7; ++i)
    if (!std::isxdigit(static_cast<unsigned char>(word[i]))) return false;
  unsigned long value = std::strtoul(word.c_str() + 1, nullptr, 16);
  *colour = {static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 8),
             static_cast<unsigned char>(value)};
  return true;
}

std::string DescribeColour(const Rgb& colour) {
  for (const Named& named : Palette)
    if (named.Colour == colour) return std::string(named.Name) + " (" + Hex(colour) + ")";
  return Hex(colour);
}

Script ParseScript(const std::string& text, const std::string& name, const std::string& dir) {
  Script script;
  // Editors on some systems begin a UTF-8 file with a byte-order mark.
  const bool marked = text.compare(0, 3, "\xEF\xBB\xBF") == 0;
  std::istringstream lines(marked ? text.substr(3) : text);
  int number = 0, within = DefaultWithinMs;
  for (std::string line; std::getline(lines, line);) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<Token> tokens;
    size_t end;
    std::string error;
    auto complain = [&](const std::string& message) {
      script.Errors.push_back(name + ":" + std::to_string(number) + ": " + message);
    };
    if (!Tokenize(line, &tokens, &end, &error)) {
      complain(error);
      continue;
    }
    if (tokens.empty()) continue;
    std::string verb = Lower(tokens[0].Text);
    const char* usage = tokens[0].Quoted ? nullptr : UsageOf(verb);
    if (!usage) {
      complain(
          "\"" + tokens[0].Text +
          "\" is not a step; the steps are wait, click, drag, move, press, hold, type, sleep, screenshot, "
          "close and expect (and within TIME sets how long the steps after it wait)");
      continue;
    }
    std::vector<Token> words(tokens.begin() + 1, tokens.end());
    Reader in(words, usage);
    if (verb == "within") {
      int ms = in.Time();
      if (in.More() && !in.Failed()) in.Fail("\"" + in.Peek()->Text + "\" is not expected here");
      if (in.Failed())
        complain(in.Message());
      else
        within = ms;
      continue;
    }
    Step step;
    step.Line = number;
    step.Source = line.substr(0, end);
    while (!step.Source.empty() && std::isspace(static_cast<unsigned char>(step.Source.back())))
      step.Source.pop_back();
    step.Source.erase(0, step.Source.find_first_not_of(" \t"));
    step.WithinMs = within;
    ReadStep(verb, in, dir, &step);
    if (in.Failed())
      complain(in.Message());
    else
      script.Steps.push_back(step);
  }
  return script;
}

}  // namespace drive
