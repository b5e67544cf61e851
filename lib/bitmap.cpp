// BitMap: a colour picture read from an XPM or PNG file into a pixmap on the
// X server, placed in a window in centimetres, drawn, erased and hit-tested.
//
// The decoders and the X server allocate whatever a file's header asks for,
// and an X error (a pixmap of size 0, say) ends the process. So a file is
// read once, whole, and its bytes are checked before they are decoded: what
// is not a plain readable file, what declares an absurd size or one larger
// than the file could hold, and compressed files, are refused as not
// loaded. The decoder gets the very bytes that were checked. A file is known
// for a PNG file by its first bytes, whatever its name; any other is read
// as XPM.
#include <X11/extensions/Xrender.h>
#include <fcntl.h>
#include <png.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <new>
#include <string>

#include "internal.h"

// The attributes record libXpm reads its options from and writes the
// picture's size into; for a picture with transparent parts, also the
// picture with its alpha (to blend) or the mask of its opaque pixels.
struct slate::PictureRecord : XpmAttributes {
  unsigned long Alpha = 0;    // 32-bit premultiplied ARGB pixmap, or 0
  unsigned long Blended = 0;  // the Render picture of Alpha, or 0
  unsigned long Mask = 0;     // 1-bit pixmap, where the server cannot blend; or 0
};
using slate::PictureRecord;

namespace {

// Largest picture accepted, in pixels along each side. The X protocol allows
// up to 32767, but a picture that large costs gigabytes in libXpm, in the
// client image and in the server's pixmap.
constexpr unsigned long long MaxPictureSide = 8192;
// Each colour costs libXpm a round trip to the server or two.
constexpr unsigned long long MaxPictureColors = 65536;
constexpr unsigned long long MaxCharsPerPixel = 8;
// Largest picture file read, in bytes: a picture of the largest size in
// XPM's plainest form, and then some.
constexpr off_t MaxFileBytes = 256 << 20;
// Largest chunk of a PNG file besides its pixels (text, colour profiles).
constexpr png_alloc_size_t MaxPngChunkBytes = 8 << 20;
// Deflate packs at most 1032 bytes into one: a PNG file whose pixels would
// unpack to more than that many times its size is cut short or forged.
constexpr unsigned long long MaxInflation = 1032;
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

// The bytes of a picture, one at a time, with a few bytes of push-back for
// the grammar's look-ahead.
class ByteStream {
 public:
  explicit ByteStream(const std::string& bytes) : Bytes(bytes) {}
  ByteStream(const ByteStream&) = delete;
  ByteStream& operator=(const ByteStream&) = delete;

  // The next byte (0..255), or EndOfFile at the end.
  int Get() {
    if (PushedCount > 0) return Pushed[--PushedCount];
    if (Next == Bytes.size()) return EndOfFile;
    return static_cast<unsigned char>(Bytes[Next++]);
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
  static constexpr int MaxPushed = 4;
  const std::string& Bytes;
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
  explicit HeaderReader(const std::string& bytes) : In(bytes) {}
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
bool FitsInFile(const PictureHeader& header, size_t fileSize) {
  unsigned long long least = header.CharsPerPixel * (header.Colors + header.Width * header.Height);
  return static_cast<unsigned long long>(fileSize) >= least;
}

// Reads the header of an XPM file's bytes; false when libXpm would not find one.
bool ReadPictureHeader(const std::string& bytes, PictureHeader* header) {
  HeaderReader reader(bytes);
  return reader.Read(header);
}

// True when bytes hold an XPM header whose picture is small enough to load
// and could fit in the file at all.
bool IsLoadableXpm(const std::string& bytes) {
  PictureHeader header;
  return ReadPictureHeader(bytes, &header) && IsWithinLimits(header) && FitsInFile(header, bytes.size());
}

// Reads a picture file once, whole: what is checked and decoded afterwards
// is these bytes, whatever happens to the file meanwhile. False for what is
// not a readable regular file of at most MaxFileBytes, and for compressed
// files, which libXpm would have read through a decompressor.
bool ReadPictureFile(const std::string& file, std::string* bytes) {
  if (IsCompressedName(file)) return false;
  // Non-blocking, so that opening a FIFO cannot wait for a writer.
  slate::OwnedFd fd(open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.Get() < 0) return false;
  struct stat info;
  if (fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > MaxFileBytes) return false;
  bytes->clear();
  bytes->reserve(static_cast<size_t>(info.st_size));
  char chunk[65536];
  for (;;) {
    ssize_t n = read(fd.Get(), chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    if (bytes->size() + static_cast<size_t>(n) > MaxFileBytes) return false;  // it grew meanwhile
    bytes->append(chunk, static_cast<size_t>(n));
  }
}

// libXpm reads pictures only from named files (its reader of buffers runs
// on past the end of one that is cut short). It gets a sealed in-memory
// file holding the bytes that were checked, which nothing can change. -1
// when there is none.
int SealedFile(const std::string& bytes) {
  slate::OwnedFd fd(memfd_create("slate-picture", MFD_CLOEXEC | MFD_ALLOW_SEALING));
  if (fd.Get() < 0) return -1;
  for (size_t done = 0; done < bytes.size();) {
    ssize_t n = write(fd.Get(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -1;
    done += static_cast<size_t>(n);
  }
  if (fcntl(fd.Get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) != 0) return -1;
  return dup(fd.Get());
}

// Loads an XPM file's checked bytes with libXpm into attributes and a new
// pixmap for window's screen; gives libXpm's result.
int LoadXpm(std::string& bytes, unsigned long window, ::Pixmap* picture, PictureRecord* attributes) {
  slate::OwnedFd sealed(SealedFile(bytes));
  std::string().swap(bytes);  // libXpm holds its own copy while it reads
  if (sealed.Get() < 0) return XpmOpenFailed;
  std::string name = "/proc/self/fd/" + std::to_string(sealed.Get());
  attributes->valuemask = XpmSize | XpmCloseness;
  attributes->closeness = ColorCloseness;
  return XpmReadFileToPixmap(display, window, name.c_str(), picture, nullptr, attributes);
}

// ---------------------------------------------------------------------------
// PNG pictures
// ---------------------------------------------------------------------------

bool IsPng(const std::string& bytes) {
  return bytes.size() >= 8 && png_sig_cmp(reinterpret_cast<png_const_bytep>(bytes.data()), 0, 8) == 0;
}

// Decodes a PNG file's bytes with libpng into 8-bit red, green, blue and
// alpha, whatever its colour type, depth and interlacing. libpng reports
// failures by a long jump back into the call that started the step, so each
// step sets its own landing place and keeps nothing there that needs a
// destructor. Failures say nothing.
class PngReader {
 public:
  explicit PngReader(const std::string& bytes) : Bytes(bytes) {
    Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, Failed, Warned);
    if (Png) Info = png_create_info_struct(Png);
  }
  ~PngReader() {
    if (Png) png_destroy_read_struct(&Png, Info ? &Info : nullptr, nullptr);
  }
  PngReader(const PngReader&) = delete;
  PngReader& operator=(const PngReader&) = delete;

  // Reads up to the pixels; false for a picture beyond the limits or one
  // that declares more pixels than its bytes could hold.
  bool ReadHeader(unsigned int* width, unsigned int* height);
  // Reads the pixels into rows of width * 4 bytes, and the rest of the file.
  bool ReadPixels(unsigned char** rows);

 private:
  [[noreturn]] static void Failed(png_structp png, png_const_charp) { png_longjmp(png, 1); }
  static void Warned(png_structp, png_const_charp) {}
  static void Read(png_structp png, png_bytep out, size_t length) {
    PngReader* reader = static_cast<PngReader*>(png_get_io_ptr(png));
    if (length > reader->Bytes.size() - reader->Next) png_error(png, "cut short");
    std::memcpy(out, reader->Bytes.data() + reader->Next, length);
    reader->Next += length;
  }

  const std::string& Bytes;
  size_t Next = 0;
  png_structp Png = nullptr;
  png_infop Info = nullptr;
};

bool PngReader::ReadHeader(unsigned int* width, unsigned int* height) {
  if (!Png || !Info) return false;
  if (setjmp(png_jmpbuf(Png))) return false;
  png_set_read_fn(Png, this, Read);
  png_set_user_limits(Png, MaxPictureSide, MaxPictureSide);
  png_set_chunk_malloc_max(Png, MaxPngChunkBytes);
  png_read_info(Png, Info);
  unsigned long long w = png_get_image_width(Png, Info), h = png_get_image_height(Png, Info);
  unsigned long long bits = png_get_bit_depth(Png, Info) * png_get_channels(Png, Info);
  if (w * h * bits / 8 > Bytes.size() * MaxInflation) return false;
  png_set_expand(Png);  // palettes, grey below 8 bits, and transparent colours as alpha
  png_set_scale_16(Png);
  png_set_gray_to_rgb(Png);
  png_set_add_alpha(Png, 0xff, PNG_FILLER_AFTER);  // for pictures without alpha
  png_set_interlace_handling(Png);
  png_read_update_info(Png, Info);
  if (png_get_rowbytes(Png, Info) != w * 4) return false;
  *width = static_cast<unsigned int>(w);
  *height = static_cast<unsigned int>(h);
  return true;
}

bool PngReader::ReadPixels(unsigned char** rows) {
  if (setjmp(png_jmpbuf(Png))) return false;
  png_read_image(Png, rows);
  png_read_end(Png, nullptr);
  return true;
}

// The pixel of an opaque colour on the screen's visual: from the visual's
// masks where it has them, else a colour from RGBColor, with each part taken
// to one of four levels so that a picture takes few of a colormap's cells.
class PixelMaker {
 public:
  PixelMaker() : Screen(DefaultVisual(display, ScreenNbr)) {
    Direct = Screen->c_class == TrueColor || Screen->c_class == DirectColor;
  }
  unsigned long operator()(unsigned int red, unsigned int green, unsigned int blue) const {
    if (Direct)
      return Part(red, Screen->red_mask) | Part(green, Screen->green_mask) | Part(blue, Screen->blue_mask);
    auto level = [](unsigned int v) { return static_cast<int>((v + 42) / 85 * 85); };
    return slate::PaletteColor(RGBColor(level(red), level(green), level(blue)));
  }

 private:
  static unsigned long Part(unsigned int value, unsigned long mask) {
    if (!mask) return 0;
    int shift = __builtin_ctzl(mask);
    unsigned long top = mask >> shift;
    return ((value * top + 127) / 255) << shift;
  }
  Visual* Screen;
  bool Direct;
};

// A client image of the given depth with its own memory, or null.
XImage* NewImage(int depth, unsigned int width, unsigned int height) {
  XImage* image = XCreateImage(display, DefaultVisual(display, ScreenNbr), depth, ZPixmap, 0, nullptr, width,
                               height, 32, 0);
  if (!image) return nullptr;
  image->data = static_cast<char*>(std::malloc(static_cast<size_t>(image->bytes_per_line) * height));
  if (!image->data) {
    XDestroyImage(image);
    return nullptr;
  }
  return image;
}

// A pixmap of image's depth holding image, which it frees.
unsigned long ToPixmap(XImage* image) {
  ::Pixmap pixmap =
      XCreatePixmap(display, RootWindow(display, ScreenNbr), image->width, image->height, image->depth);
  slate::OwnedGC gc(XCreateGC(display, pixmap, 0, nullptr));
  XPutImage(display, pixmap, gc.Get(), image, 0, 0, 0, 0, image->width, image->height);
  XDestroyImage(image);
  return pixmap;
}

// Whether the server blends pictures with alpha onto the screen's visual.
bool CanBlend() {
  int event, error;
  Visual* visual = DefaultVisual(display, ScreenNbr);
  return (visual->c_class == TrueColor || visual->c_class == DirectColor) &&
         XRenderQueryExtension(display, &event, &error) && XRenderFindVisualFormat(display, visual) &&
         XRenderFindStandardFormat(display, PictStandardARGB32);
}

// The Render picture that blends a 32-bit ARGB pixmap; 0 for none.
unsigned long BlendedPicture(unsigned long alpha) {
  if (!alpha) return 0;
  return XRenderCreatePicture(display, alpha, XRenderFindStandardFormat(display, PictStandardARGB32), 0,
                              nullptr);
}

// The X resources of a decoded picture: its colours at the screen's depth,
// and, where some pixels are not opaque, the picture with its alpha (to be
// blended) or, where the server cannot blend, a mask of its pixels at least
// half opaque. False, with nothing made, when memory runs out.
bool MakePngPixmaps(const unsigned char* rgba, unsigned int width, unsigned int height, ::Pixmap* opaque,
                    PictureRecord* record) {
  PixelMaker pixel;
  bool transparent = false;
  XImage* colours = NewImage(DefaultDepth(display, ScreenNbr), width, height);
  if (!colours) return false;
  for (unsigned int y = 0; y < height; ++y) {
    for (unsigned int x = 0; x < width; ++x) {
      const unsigned char* p = rgba + (static_cast<size_t>(y) * width + x) * 4;
      XPutPixel(colours, x, y, pixel(p[0], p[1], p[2]));
      transparent = transparent || p[3] != 0xff;
    }
  }
  if (!transparent) {
    *opaque = ToPixmap(colours);
    return true;
  }
  bool blend = CanBlend();
  XImage* alpha = NewImage(blend ? 32 : 1, width, height);
  if (!alpha) {
    XDestroyImage(colours);
    return false;
  }
  for (unsigned int y = 0; y < height; ++y) {
    for (unsigned int x = 0; x < width; ++x) {
      const unsigned char* p = rgba + (static_cast<size_t>(y) * width + x) * 4;
      unsigned long a = p[3];
      // Render blends premultiplied colours: each part already times alpha.
      auto times = [a](unsigned long part) { return (part * a + 127) / 255; };
      XPutPixel(alpha, x, y,
                blend ? a << 24 | times(p[0]) << 16 | times(p[1]) << 8 | times(p[2]) : (a >= 0x80 ? 1 : 0));
    }
  }
  *opaque = ToPixmap(colours);
  (blend ? record->Alpha : record->Mask) = ToPixmap(alpha);
  record->Blended = BlendedPicture(record->Alpha);
  return true;
}

// Loads a PNG file's bytes into a new pixmap and the record's size (and its
// alpha or mask); 0 when the picture is refused or memory runs out (with a
// message and a shutdown request).
unsigned long LoadPng(const std::string& bytes, PictureRecord* record) {
  unsigned int width = 0, height = 0;
  std::unique_ptr<unsigned char[]> rgba;
  {
    PngReader reader(bytes);
    if (!reader.ReadHeader(&width, &height)) return 0;
    size_t stride = static_cast<size_t>(width) * 4;
    rgba.reset(new (std::nothrow) unsigned char[stride * height]);
    std::unique_ptr<unsigned char*[]> rows(new (std::nothrow) unsigned char*[height]);
    if (!rgba || !rows) {
      slate::ShutDown(std::cout, "Unable to allocate memory for the picture.\n");
      return 0;
    }
    for (unsigned int y = 0; y < height; ++y) rows[y] = rgba.get() + y * stride;
    if (!reader.ReadPixels(rows.get())) return 0;
  }
  ::Pixmap picture = 0;
  if (!MakePngPixmaps(rgba.get(), width, height, &picture, record)) {
    slate::ShutDown(std::cout, "Unable to allocate memory for the picture.\n");
    return 0;
  }
  record->valuemask = XpmSize;
  record->width = width;
  record->height = height;
  return picture;
}

PictureRecord* NewAttributes() {
  PictureRecord* attributes = new (std::nothrow) PictureRecord();
  if (!attributes) {
    std::cerr << "Function: BitMap\n\tUnable to allocate memory\n";
    Terminate();
  }
  return attributes;
}

// Frees the pixmaps of a picture's transparency.
void ReleaseTransparency(PictureRecord* attributes) {
  if (attributes->Blended && display) XRenderFreePicture(display, attributes->Blended);
  for (unsigned long pixmap : {attributes->Alpha, attributes->Mask})
    if (pixmap && display) XFreePixmap(display, pixmap);
  attributes->Alpha = attributes->Blended = attributes->Mask = 0;
}

// Frees what libXpm stored in the record and clears it, so that width and
// height read 0 until the next successful load.
void ClearAttributes(PictureRecord* attributes) {
  if (!attributes) return;
  ReleaseTransparency(attributes);
  XpmFreeAttributes(attributes);
  *attributes = PictureRecord();
}

void DeleteAttributes(PictureRecord* attributes) {
  if (!attributes) return;
  ReleaseTransparency(attributes);
  XpmFreeAttributes(attributes);
  delete attributes;
}

// A new pixmap of the given depth holding a copy of source; 0 for none.
unsigned long CopyPixmap(unsigned long source, unsigned int width, unsigned int height, int depth) {
  if (!source) return 0;
  ::Pixmap copy = XCreatePixmap(display, RootWindow(display, ScreenNbr), width, height, depth);
  slate::OwnedGC gc(XCreateGC(display, copy, 0, nullptr));
  XSetGraphicsExposures(display, gc.Get(), False);
  XCopyArea(display, source, copy, gc.Get(), 0, 0, width, height, 0, 0);
  return copy;
}

// The picture of a copied BitMap: a new pixmap of the screen's depth holding
// a copy of source, with the picture's size (and copies of its alpha or
// mask) recorded in attributes. Gives 0 (and a status of not loaded) when
// the source has no picture or the copy has nowhere to record it.
unsigned long CopyPicture(unsigned long source, const PictureRecord* sourceAttributes,
                          PictureRecord* attributes, PictureState* status) {
  if (!source || !sourceAttributes) return 0;
  unsigned int width = sourceAttributes->width;
  unsigned int height = sourceAttributes->height;
  if (!attributes || !display || width == 0 || height == 0) {
    if (*status == PictureLoaded) *status = PictureNotLoaded;
    return 0;
  }
  attributes->valuemask = XpmSize;
  attributes->width = width;
  attributes->height = height;
  attributes->Alpha = CopyPixmap(sourceAttributes->Alpha, width, height, 32);
  attributes->Blended = BlendedPicture(attributes->Alpha);
  attributes->Mask = CopyPixmap(sourceAttributes->Mask, width, height, 1);
  return CopyPixmap(source, width, height, DefaultDepth(display, ScreenNbr));
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

  std::string bytes;
  if (!ReadPictureFile(file, &bytes)) return PictureStatus;
  // A server short of memory may refuse a large picture's pixmaps: the
  // picture is then not loaded, and the program goes on.
  slate::Refusals refusals;
  if (IsPng(bytes)) {
    Pixmap = LoadPng(bytes, Attributes);
    if (refusals.Any()) {
      ReleasePixmap();
      ClearAttributes(Attributes);
    } else if (Pixmap) {
      PictureStatus = PictureLoaded;
    }
    return PictureStatus;
  }
  if (!IsLoadableXpm(bytes)) return PictureStatus;
  ::Pixmap picture = 0;
  int result = LoadXpm(bytes, window, &picture, Attributes);
  if (result == XpmSuccess && !refusals.Any()) {
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
  if (Attributes->Blended || Attributes->Mask)
    BoundWindow->DrawTransparent(*Attributes, Pixmap, PicturePosition, size);
  else
    BoundWindow->DrawBitMap(Pixmap, PicturePosition, size);
  return 1;
}

// A picture with transparent parts, drawn over what the window and its
// backing pixmap hold: blended by the X server where it can, else through
// the mask of its pixels at least half opaque.
void SimpleWindow::DrawTransparent(const PictureRecord& picture, unsigned long colours,
                                   const Position& upperLeft, const Position& size) {
  if (!IsLive()) return;
  unsigned int width = static_cast<unsigned int>(std::clamp(l_to_d(size.GetXDistance()), 0, SHRT_MAX));
  unsigned int height = static_cast<unsigned int>(std::clamp(l_to_d(size.GetYDistance()), 0, SHRT_MAX));
  short x = slate::ToShort(l_to_d(upperLeft.GetXDistance()));
  short y = slate::ToShort(l_to_d(upperLeft.GetYDistance()));
  if (picture.Blended) {
    XRenderPictFormat* screen = XRenderFindVisualFormat(display, DefaultVisual(display, ScreenNbr));
    for (Drawable target : {WindowId, BackingPixmap}) {
      Picture destination = XRenderCreatePicture(display, target, screen, 0, nullptr);
      XRenderComposite(display, PictOpOver, picture.Blended, None, destination, 0, 0, 0, 0, x, y, width,
                       height);
      XRenderFreePicture(display, destination);
      // Its window may have been destroyed by another client meanwhile.
      slate::Closed(destination, 0);
    }
  } else {
    GC gc = slate::Kept()->Paint(BlackPixel(display, ScreenNbr), ColorTable[White]);
    XSetClipOrigin(display, gc, x, y);
    XSetClipMask(display, gc, picture.Mask);
    for (Drawable target : {WindowId, BackingPixmap})
      XCopyArea(display, colours, target, gc, 0, 0, width, height, x, y);
    XSetClipMask(display, gc, None);
    XSetClipOrigin(display, gc, 0, 0);
  }
  slate::Pump();
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
