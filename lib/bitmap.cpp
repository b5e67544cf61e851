// BitMap: a colour picture read from an XPM file into a pixmap on the X
// server, placed in a window in centimetres, drawn, erased and hit-tested.
//
// libXpm and the X server allocate whatever a file's header asks for, and an
// X error (a pixmap of size 0, say) ends the process. So before a file is
// handed to libXpm, its header is read here, the way libXpm reads it, and
// files that are not plain readable files, whose declared size is absurd or
// larger than the file could hold, or that libXpm would read through a
// decompressor, are refused as not loaded.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <new>
#include <string>

#include "internal.h"

// The attributes record libXpm reads its options from and writes the
// picture's size into.
struct slate::PictureRecord : XpmAttributes {};
using slate::PictureRecord;

namespace {

// Largest picture accepted, in pixels along each side. The X protocol allows
// up to 32767, but a picture that large costs gigabytes in libXpm, in the
// client image and in the server's pixmap.
constexpr unsigned long long MaxPictureSide = 8192;
// Each colour costs libXpm a round trip to the server or two.
constexpr unsigned long long MaxPictureColors = 65536;
constexpr unsigned long long MaxCharsPerPixel = 8;
// A declared number is kept up to this value; anything larger is refused
// anyway, and the cap keeps the arithmetic from overflowing.
constexpr unsigned long long CountCap = 1ULL << 40;
// libXpm reads a word of at most this many bytes; what follows starts the
// next word, even without space between them.
constexpr size_t WordLimit = 8192;
constexpr int EndOfFile = -1;

// What the values line of an XPM file declares, each number capped at
// CountCap.
struct PictureHeader {
  unsigned long long Width = 0;
  unsigned long long Height = 0;
  unsigned long long Colors = 0;
  unsigned long long CharsPerPixel = 0;
};

// The bytes of a file, one at a time, through a small buffer, with a few
// bytes of push-back for the grammar's look-ahead. Memory stays the same
// however long the file is.
class ByteStream {
 public:
  explicit ByteStream(int fd) : Fd(fd) {}
  ByteStream(const ByteStream&) = delete;
  ByteStream& operator=(const ByteStream&) = delete;

  // The next byte (0..255), or EndOfFile at the end or on a read error.
  int Get() {
    if (PushedCount > 0) return Pushed[--PushedCount];
    if (Next == Size && !Fill()) return EndOfFile;
    return Buffer[Next++];
  }

  // Gives c back to the next Get; EndOfFile is not given back.
  void Unget(int c) {
    if (c != EndOfFile && PushedCount < MaxPushed) Pushed[PushedCount++] = c;
  }

  // As Unget, for the places where libXpm gives a byte back through a
  // signed char: there byte 0xff reads as end of file and is lost.
  void UngetChar(int c) {
    if (c != 0xff) Unget(c);
  }

 private:
  bool Fill() {
    while (!AtEnd) {
      ssize_t n = read(Fd, Buffer, sizeof Buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        AtEnd = true;
        break;
      }
      Size = static_cast<size_t>(n);
      Next = 0;
      return true;
    }
    return false;
  }

  static constexpr int MaxPushed = 4;
  int Fd;
  bool AtEnd = false;
  unsigned char Buffer[4096];
  size_t Size = 0;
  size_t Next = 0;
  int Pushed[MaxPushed];
  int PushedCount = 0;
};

bool IsSpace(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// How one form of the format marks comments and strings. A mark of 0 (or an
// empty comment mark) means the form has none.
struct Syntax {
  const char* CommentStart;
  const char* CommentEnd;
  int StringStart;
  int StringEnd;
};

// The forms the type keyword of an "XPM2" first line names, in the order
// they are tried: plain lines with "!" comments, C and Lisp.
struct NamedSyntax {
  const char* Keyword;
  Syntax Marks;
};
constexpr NamedSyntax Forms[] = {
    {"", {"!", "\n", 0, '\n'}}, {"C", {"/*", "*/", '"', '"'}}, {"Lisp", {";", "\n", '"', '"'}}};
constexpr int FormCount = sizeof Forms / sizeof Forms[0];
constexpr int NaturalForm = 0;
constexpr int CForm = 1;

// The form a type keyword names, or -1. libXpm takes a keyword that is a
// prefix of a form's name, or that matches it up to a zero byte, so the
// keyword is compared as libXpm compares it.
int FormNamed(const std::string& keyword) {
  for (int form = 0; form < FormCount; ++form) {
    if (std::strncmp(Forms[form].Keyword, keyword.c_str(), keyword.size()) == 0) return form;
  }
  return -1;
}

// The header of an XPM file, read as libXpm reads it. The first line holds
// two words: any word, then "XPM" (C form) or "XPM2" and a type keyword; or
// it is "#define <name>_format", and four more #define lines give the values
// (the oldest form). Otherwise the values line is the first string after
// the first line: width, height, colours and characters per pixel.
class HeaderReader {
 public:
  explicit HeaderReader(int fd) : In(fd) {}
  bool Read(PictureHeader* header);

 private:
  bool ReadFirstLine(bool* defines);
  bool ReadFormatDefine();
  void UseForm(int form);
  bool ReadValues(PictureHeader* header);
  bool ReadDefines(PictureHeader* header);
  bool ReadDefine(const std::string& name, bool* seen, PictureHeader* header);
  std::string Word();
  bool Count(unsigned long long* value);
  void NextString();
  void SkipComment();
  void SkipCommentBody(int c);

  ByteStream In;
  // Until the first line is read, words end at the end of the line.
  Syntax Marks = {"", "", 0, '\n'};
};

bool HeaderReader::Read(PictureHeader* header) {
  bool defines = false;
  if (!ReadFirstLine(&defines)) return false;
  return defines ? ReadDefines(header) : ReadValues(header);
}

// Reads the first line and moves to the start of the values.
bool HeaderReader::ReadFirstLine(bool* defines) {
  std::string first = Word();
  if (first == "#define") {
    *defines = true;
    return ReadFormatDefine();
  }
  std::string format = Word();
  int form = CForm;
  if (format == "XPM2") {
    form = FormNamed(Word());
  } else if (format != "XPM") {
    return false;
  }
  if (form < 0) return false;
  UseForm(form);
  return true;
}

// The rest of "#define <name>_format": the name's last underscore must start
// "_format" or a prefix of it. The lines that follow have C comments.
bool HeaderReader::ReadFormatDefine() {
  std::string name = Word();
  if (name.empty()) return false;
  const char* mark = std::strrchr(name.c_str(), '_');
  if (!mark || std::strncmp("_format", mark, name.size() - (mark - name.c_str())) != 0) return false;
  Marks.CommentStart = Forms[CForm].Marks.CommentStart;
  Marks.CommentEnd = Forms[CForm].Marks.CommentEnd;
  NextString();
  return true;
}

// Takes the marks of a form and moves past the first line: to the next line
// in the plain form, past the opening quote of the values line in the others.
void HeaderReader::UseForm(int form) {
  Marks.CommentStart = Forms[form].Marks.CommentStart;
  Marks.CommentEnd = Forms[form].Marks.CommentEnd;
  if (form == NaturalForm) {
    NextString();
    return;
  }
  Marks.StringStart = Forms[form].Marks.StringStart;
  Marks.StringEnd = 0;
  NextString();
  Marks.StringEnd = Forms[form].Marks.StringEnd;
}

bool HeaderReader::ReadValues(PictureHeader* header) {
  return Count(&header->Width) && Count(&header->Height) && Count(&header->Colors) &&
         Count(&header->CharsPerPixel);
}

// The oldest form: four lines "#define <name>_width 66" and so on, for
// _width, _height, _ncolors and _chars_per_pixel, in any order, each once.
bool HeaderReader::ReadDefines(PictureHeader* header) {
  bool seen[4] = {false, false, false, false};
  for (int line = 0; line < 4; ++line) {
    if (Word() != "#define") return false;
    std::string name = Word();
    if (name.empty() || !ReadDefine(name, seen, header)) return false;
    NextString();
  }
  return seen[0] && seen[1] && seen[2] && seen[3];
}

// Finds which value name defines: the first underscore whose remainder has
// the length of a value's suffix decides, and the remainder must then be
// that suffix. Reads the value after it.
bool HeaderReader::ReadDefine(const std::string& name, bool* seen, PictureHeader* header) {
  static const char* const Suffixes[4] = {"_width", "_height", "_ncolors", "_chars_per_pixel"};
  unsigned long long* values[4] = {&header->Width, &header->Height, &header->Colors, &header->CharsPerPixel};
  const char* text = name.c_str();
  for (const char* mark = std::strchr(text, '_'); mark; mark = std::strchr(mark + 1, '_')) {
    size_t rest = name.size() - static_cast<size_t>(mark - text);
    for (int i = 0; i < 4; ++i) {
      if (rest != std::strlen(Suffixes[i])) continue;
      if (seen[i] || std::strncmp(Suffixes[i], mark, rest) != 0 || !Count(values[i])) return false;
      seen[i] = true;
      return true;
    }
  }
  return false;
}

// The next word: white space is skipped up to the end of the string, then
// bytes are taken up to white space, the end of the string or WordLimit.
std::string HeaderReader::Word() {
  int c;
  do {
    c = In.Get();
  } while (c != EndOfFile && IsSpace(c) && c != Marks.StringEnd);
  std::string word;
  while (c != EndOfFile && !IsSpace(c) && c != Marks.StringEnd && word.size() < WordLimit) {
    word += static_cast<char>(c);
    c = In.Get();
  }
  In.Unget(c);
  return word;
}

// A word of decimal digits only, leading zeros allowed, capped at CountCap.
bool HeaderReader::Count(unsigned long long* value) {
  std::string word = Word();
  if (word.empty()) return false;
  unsigned long long n = 0;
  for (char c : word) {
    if (c < '0' || c > '9') return false;
    n = std::min(CountCap, n * 10 + static_cast<unsigned long long>(c - '0'));
  }
  *value = n;
  return true;
}

// Moves past the end of the current string and any comments to the start of
// the next string: past its opening quote in the quoted forms, or to the
// first byte of the next line that does not open a comment.
void HeaderReader::NextString() {
  int c;
  if (Marks.StringEnd) {
    do {
      c = In.Get();
    } while (c != Marks.StringEnd && c != EndOfFile);
  }
  int commentStart = static_cast<unsigned char>(Marks.CommentStart[0]);
  if (Marks.StringStart) {
    while ((c = In.Get()) != Marks.StringStart && c != EndOfFile) {
      if (commentStart && c == commentStart) SkipComment();
    }
  } else if (commentStart) {
    while ((c = In.Get()) == commentStart) SkipComment();
    In.Unget(c);
  }
}

// After the first byte of a comment mark: reads the rest of the mark and the
// comment. libXpm reads one byte past the opening mark before it looks for
// the closing one, so "/*/" does not close a comment that "/**/" does.
void HeaderReader::SkipComment() {
  int c = In.Get();
  if (Marks.CommentStart[1] != '\0') {
    if (c != static_cast<unsigned char>(Marks.CommentStart[1])) {
      In.UngetChar(c);  // not a comment after all
      return;
    }
    c = In.Get();
  }
  SkipCommentBody(c);
}

// Reads a comment whose first byte is c up to its closing mark, and gives
// back the byte after the mark. A comment left open runs to the end.
void HeaderReader::SkipCommentBody(int c) {
  const char* close = Marks.CommentEnd;
  for (;;) {
    while (c != static_cast<unsigned char>(close[0]) && c != EndOfFile) c = In.Get();
    size_t matched = 0;
    do {
      c = In.Get();
      ++matched;
    } while (close[matched] != '\0' && c == static_cast<unsigned char>(close[matched]));
    if (close[matched] == '\0') {
      In.UngetChar(c);
      return;
    }
    if (c == EndOfFile) return;
  }
}

// libXpm reads a file whose name ends in ".Z" or ".gz" through a
// decompressor, so its bytes on disk say nothing about the picture.
bool IsCompressedName(const std::string& file) {
  const char* dot = std::strrchr(file.c_str(), '.');
  return dot && (std::strcmp(dot, ".Z") == 0 || std::strcmp(dot, ".gz") == 0);
}

bool IsWithinLimits(const PictureHeader& header) {
  return header.Width >= 1 && header.Width <= MaxPictureSide && header.Height >= 1 &&
         header.Height <= MaxPictureSide && header.Colors >= 1 && header.Colors <= MaxPictureColors &&
         header.CharsPerPixel >= 1 && header.CharsPerPixel <= MaxCharsPerPixel;
}

// For a header within the limits: every colour and every pixel takes at
// least CharsPerPixel bytes; a file shorter than that is cut off, and libXpm
// need not allocate for it.
bool FitsInFile(const PictureHeader& header, off_t fileSize) {
  unsigned long long least = header.CharsPerPixel * (header.Colors + header.Width * header.Height);
  return static_cast<unsigned long long>(fileSize) >= least;
}

// Reads the header of the open file fd; false when libXpm would not find one.
bool ReadPictureHeader(int fd, PictureHeader* header) {
  HeaderReader reader(fd);
  return reader.Read(header);
}

// True when file is a readable regular file with an XPM header whose
// picture is small enough to load and could fit in the file at all.
bool IsLoadablePicture(const std::string& file) {
  if (IsCompressedName(file)) return false;
  // Non-blocking, so that opening a FIFO cannot wait for a writer.
  slate::OwnedFd fd(open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.Get() < 0) return false;
  struct stat info;
  if (fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  PictureHeader header;
  if (!ReadPictureHeader(fd.Get(), &header)) return false;
  return IsWithinLimits(header) && FitsInFile(header, info.st_size);
}

PictureRecord* NewAttributes() {
  PictureRecord* attributes = new (std::nothrow) PictureRecord();
  if (!attributes) {
    std::cerr << "Function: BitMap\n\tUnable to allocate memory\n";
    Terminate();
  }
  return attributes;
}

// Frees what libXpm stored in the record and clears it, so that width and
// height read 0 until the next successful load.
void ClearAttributes(PictureRecord* attributes) {
  if (!attributes) return;
  XpmFreeAttributes(attributes);
  *attributes = PictureRecord();
}

void DeleteAttributes(PictureRecord* attributes) {
  if (!attributes) return;
  XpmFreeAttributes(attributes);
  delete attributes;
}

// The picture of a copied BitMap: a new pixmap of the screen's depth holding
// a copy of source, with the picture's size recorded in attributes. Gives 0
// (and a status of not loaded) when the source has no picture or the copy
// has nowhere to record it.
unsigned long CopyPicture(unsigned long source, const PictureRecord* sourceAttributes,
                          PictureRecord* attributes, PictureState* status) {
  if (!source || !sourceAttributes) return 0;
  unsigned int width = sourceAttributes->width;
  unsigned int height = sourceAttributes->height;
  if (!attributes || !display || width == 0 || height == 0) {
    if (*status == PictureLoaded) *status = PictureNotLoaded;
    return 0;
  }
  unsigned long copy = XCreatePixmap(display, source, width, height, DefaultDepth(display, ScreenNbr));
  {
    slate::OwnedGC gc(GetGraphicsContext(copy, BlackPixel(display, ScreenNbr), ColorTable[White]));
    XCopyArea(display, source, copy, gc.Get(), 0, 0, width, height, 0, 0);
  }
  attributes->valuemask = XpmSize;
  attributes->width = width;
  attributes->height = height;
  return copy;
}

}  // namespace

BitMap::BitMap(SimpleWindow& window)
    : PictureStatus(PictureNotLoaded),
      PicturePosition(LogicalOrigin),
      BoundWindow(&window),
      Pixmap(0),
      Attributes(NewAttributes()) {}

BitMap::BitMap(SimpleWindow* window)
    : PictureStatus(window ? PictureNotLoaded : PictureHasNoWindow),
      PicturePosition(LogicalOrigin),
      BoundWindow(window),
      Pixmap(0),
      Attributes(NewAttributes()) {}

BitMap::BitMap()
    : PictureStatus(PictureNotLoaded),
      PicturePosition(LogicalOrigin),
      BoundWindow(nullptr),
      Pixmap(0),
      Attributes(NewAttributes()) {}

// A copy is deep: it gets its own attributes record and, when there is a
// picture, its own pixmap holding a copy of it, so each object frees only
// what it owns.
BitMap::BitMap(const BitMap& other)
    : PictureStatus(other.PictureStatus),
      PicturePosition(other.PicturePosition),
      BoundWindow(other.BoundWindow),
      Pixmap(0),
      Attributes(NewAttributes()) {
  Pixmap = CopyPicture(other.Pixmap, other.Attributes, Attributes, &PictureStatus);
}

BitMap& BitMap::operator=(const BitMap& other) {
  if (this == &other) return *this;
  ReleasePixmap();
  if (Attributes) {
    ClearAttributes(Attributes);
  } else {
    Attributes = NewAttributes();
  }
  PictureStatus = other.PictureStatus;
  PicturePosition = other.PicturePosition;
  BoundWindow = other.BoundWindow;
  Pixmap = CopyPicture(other.Pixmap, other.Attributes, Attributes, &PictureStatus);
  return *this;
}

BitMap::~BitMap() {
  ReleasePixmap();
  DeleteAttributes(Attributes);
  Attributes = nullptr;
}

void BitMap::ReleasePixmap() {
  if (Pixmap && display) XFreePixmap(display, Pixmap);
  Pixmap = 0;
}

PictureState BitMap::Load(const std::string& file) {
  if (!BoundWindow) {
    PictureStatus = PictureHasNoWindow;
    return PictureStatus;
  }
  // A new load replaces the picture, whatever its outcome.
  ReleasePixmap();
  ClearAttributes(Attributes);
  PictureStatus = PictureNotLoaded;
  if (!Attributes || !display) return PictureStatus;

  // libXpm needs the window's X window to exist: the window must be open,
  // that is registered under its id.
  unsigned long window = WinManager.GetWindow(BoundWindow);
  if (window == 0 || WinManager.GetWindow(window) != BoundWindow) return PictureStatus;

  if (!IsLoadablePicture(file)) return PictureStatus;

  Attributes->valuemask = XpmSize | XpmCloseness;
  Attributes->closeness = ColorCloseness;
  ::Pixmap picture = 0;
  int result = XpmReadFileToPixmap(display, window, file.c_str(), &picture, nullptr, Attributes);
  if (result == XpmSuccess) {
    Pixmap = picture;
    PictureStatus = PictureLoaded;
    return PictureStatus;
  }

  // A partial success (XpmColorError) made a pixmap; it is not used.
  if (picture) XFreePixmap(display, picture);
  ClearAttributes(Attributes);
  if (result == XpmNoMemory) {
    std::cout << "Unable to allocate memory for the picture.\n";
    Terminate();
  }
  return PictureStatus;
}

void BitMap::SetWindow(SimpleWindow& window) {
  BoundWindow = &window;
}

int BitMap::Draw() const {
  if (PictureStatus != PictureLoaded || !BoundWindow) return 0;
  Position size(GetWidth(), GetHeight());
  BoundWindow->DrawBitMap(Pixmap, PicturePosition, size);
  return 1;
}

int BitMap::Erase() const {
  if (PictureStatus != PictureLoaded || !BoundWindow) return 0;
  BoundWindow->Erase(PicturePosition, GetWidth(), GetHeight());
  return 1;
}

float BitMap::GetWidth() const {
  return Attributes ? d_to_l(static_cast<int>(Attributes->width)) : 0.0f;
}

float BitMap::GetHeight() const {
  return Attributes ? d_to_l(static_cast<int>(Attributes->height)) : 0.0f;
}

int BitMap::IsInside(const Position& p) const {
  float x = PicturePosition.GetXDistance();
  float y = PicturePosition.GetYDistance();
  float px = p.GetXDistance();
  float py = p.GetYDistance();
  return (x <= px && px <= x + GetWidth() && y <= py && py <= y + GetHeight()) ? 1 : 0;
}

PictureState BitMap::GetStatus() const {
  return PictureStatus;
}

float BitMap::GetXPosition() const {
  return PicturePosition.GetXDistance();
}

float BitMap::GetYPosition() const {
  return PicturePosition.GetYDistance();
}

void BitMap::SetPosition(const Position& p) {
  PicturePosition = p;
}

Position BitMap::GetPosition() const {
  return PicturePosition;
}
