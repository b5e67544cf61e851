// BitMap: a colour picture read from an XPM file into a pixmap on the X
// server, placed in a window in centimetres, drawn, erased and hit-tested.
//
// libXpm and the X server allocate whatever a file's header asks for, and an
// X error (a pixmap of size 0, say) ends the process. So before a file is
// handed to libXpm, its header is read here and files that are not plain
// readable files, or whose declared size is absurd or larger than the file
// could hold, are refused as not loaded.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <memory>
#include <new>

#include "ScopedX.h"
#include "slate.h"

namespace {

// Largest picture accepted, in pixels along each side. The X protocol allows
// up to 32767, but a picture that large costs gigabytes in libXpm, in the
// client image and in the server's pixmap.
constexpr unsigned long MaxPictureSide = 8192;
// Each colour costs libXpm a round trip to the server or two.
constexpr unsigned long MaxPictureColors = 65536;
constexpr unsigned long MaxCharsPerPixel = 8;
// The values line must appear within this many bytes from the start.
constexpr size_t HeaderReadLimit = 64 * 1024;

// What the values line of an XPM file declares.
struct PictureHeader {
  unsigned long width = 0;
  unsigned long height = 0;
  unsigned long colors = 0;
  unsigned long charsPerPixel = 0;
};

// Closes a file descriptor when it goes out of scope.
class ScopedFd {
 public:
  explicit ScopedFd(int fd) : fd_(fd) {}
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;
  ~ScopedFd() {
    if (fd_ >= 0) close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// A cursor over the first bytes of a file.
class HeaderScanner {
 public:
  HeaderScanner(const char* text, size_t size) : text_(text), size_(size) {}

  void SkipSpace() {
    while (pos_ < size_ && IsSpace(text_[pos_])) ++pos_;
  }

  // The next run of non-space characters, after any white space.
  std::string Word() {
    SkipSpace();
    size_t start = pos_;
    while (pos_ < size_ && !IsSpace(text_[pos_])) ++pos_;
    return std::string(text_ + start, pos_ - start);
  }

  // Moves past the next "*/"; false if there is none.
  bool SkipPastCommentEnd() {
    for (; pos_ + 1 < size_; ++pos_) {
      if (text_[pos_] == '*' && text_[pos_ + 1] == '/') {
        pos_ += 2;
        return true;
      }
    }
    return false;
  }

  // The contents of the next double-quoted string, skipping C comments on
  // the way; false if no complete string follows.
  bool NextString(std::string* contents) {
    while (pos_ < size_) {
      if (text_[pos_] == '/' && pos_ + 1 < size_ && text_[pos_ + 1] == '*') {
        pos_ += 2;
        if (!SkipPastCommentEnd()) return false;
      } else if (text_[pos_] == '"') {
        size_t start = ++pos_;
        while (pos_ < size_ && text_[pos_] != '"') ++pos_;
        if (pos_ >= size_) return false;
        contents->assign(text_ + start, pos_ - start);
        ++pos_;
        return true;
      } else {
        ++pos_;
      }
    }
    return false;
  }

 private:
  const char* text_;
  size_t size_;
  size_t pos_ = 0;
};

// A whole number of at most nine decimal digits; false for anything else.
bool ParseCount(const std::string& word, unsigned long* value) {
  if (word.empty() || word.size() > 9) return false;
  unsigned long n = 0;
  for (char c : word) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + static_cast<unsigned long>(c - '0');
  }
  *value = n;
  return true;
}

// Reads the values line of an XPM file: width, height, colours, characters
// per pixel. C syntax ("/* XPM */" or "/* XPM2 C */" first) quotes it; the
// plain form ("! XPM2" first) has it bare on the next line.
bool ParseHeader(const char* text, size_t size, PictureHeader* header) {
  HeaderScanner scan(text, size);
  std::string first = scan.Word();
  if (first == "!") {
    if (scan.Word() != "XPM2") return false;
    return ParseCount(scan.Word(), &header->width) && ParseCount(scan.Word(), &header->height) &&
           ParseCount(scan.Word(), &header->colors) && ParseCount(scan.Word(), &header->charsPerPixel);
  }
  if (first != "/*") return false;
  std::string format = scan.Word();
  if (format == "XPM2") {
    if (scan.Word() != "C") return false;
  } else if (format != "XPM") {
    return false;
  }
  if (!scan.SkipPastCommentEnd()) return false;

  std::string values;
  if (!scan.NextString(&values)) return false;
  HeaderScanner fields(values.data(), values.size());
  return ParseCount(fields.Word(), &header->width) && ParseCount(fields.Word(), &header->height) &&
         ParseCount(fields.Word(), &header->colors) && ParseCount(fields.Word(), &header->charsPerPixel);
}

// True when file is a readable regular file with an XPM header whose
// picture is small enough to load and could fit in the file at all.
bool IsLoadablePicture(const std::string& file) {
  // Non-blocking, so that opening a FIFO cannot wait for a writer.
  ScopedFd fd(open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) return false;
  struct stat info;
  if (fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;

  std::unique_ptr<char[]> buffer(new (std::nothrow) char[HeaderReadLimit]);
  if (!buffer) return false;
  size_t filled = 0;
  while (filled < HeaderReadLimit) {
    ssize_t n = read(fd.get(), buffer.get() + filled, HeaderReadLimit - filled);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    filled += static_cast<size_t>(n);
  }

  PictureHeader header;
  if (!ParseHeader(buffer.get(), filled, &header)) return false;
  if (header.width < 1 || header.width > MaxPictureSide) return false;
  if (header.height < 1 || header.height > MaxPictureSide) return false;
  if (header.colors < 1 || header.colors > MaxPictureColors) return false;
  if (header.charsPerPixel < 1 || header.charsPerPixel > MaxCharsPerPixel) return false;

  // Every colour and every pixel takes at least charsPerPixel bytes; a file
  // shorter than that is cut off, and libXpm need not allocate for it.
  unsigned long long least = static_cast<unsigned long long>(header.charsPerPixel) *
                             (header.colors + static_cast<unsigned long long>(header.width) * header.height);
  return static_cast<unsigned long long>(info.st_size) >= least;
}

XpmAttributes* NewAttributes() {
  XpmAttributes* attributes = new (std::nothrow) XpmAttributes();
  if (!attributes) {
    std::cerr << "Function: BitMap\n\tUnable to allocate memory\n";
    Terminate();
  }
  return attributes;
}

// Frees what libXpm stored in the record and clears it, so that width and
// height read 0 until the next successful load.
void ClearAttributes(XpmAttributes* attributes) {
  if (!attributes) return;
  XpmFreeAttributes(attributes);
  *attributes = XpmAttributes();
}

void DeleteAttributes(XpmAttributes* attributes) {
  if (!attributes) return;
  XpmFreeAttributes(attributes);
  delete attributes;
}

// The picture of a copied BitMap: a new pixmap of the screen's depth holding
// a copy of source, with the picture's size recorded in attributes. Gives 0
// (and a status of not loaded) when the source has no picture or the copy
// has nowhere to record it.
unsigned long CopyPicture(unsigned long source, const XpmAttributes* sourceAttributes,
                          XpmAttributes* attributes, PictureState* status) {
  if (!source || !sourceAttributes) return 0;
  unsigned int width = sourceAttributes->width;
  unsigned int height = sourceAttributes->height;
  if (!attributes || !display || width == 0 || height == 0) {
    if (*status == PictureLoaded) *status = PictureNotLoaded;
    return 0;
  }
  unsigned long copy = XCreatePixmap(display, source, width, height, DefaultDepth(display, ScreenNbr));
  {
    ScopedGC gc(GetGraphicsContext(copy, BlackPixel(display, ScreenNbr), ColorTable[White]));
    XCopyArea(display, source, copy, gc.get(), 0, 0, width, height, 0, 0);
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
