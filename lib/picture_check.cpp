// What a picture file must pass before it is decoded (see picture_check.h).
#include "picture_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "owner.h"

namespace slate {

namespace {

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

// For a header within the limits: every colour and every pixel takes at
// least CharsPerPixel bytes; a file shorter than that is cut off, and libXpm
// need not allocate for it.
bool FitsInFile(const PictureHeader& header, size_t fileSize) {
  unsigned long long least = header.CharsPerPixel * (header.Colors + header.Width * header.Height);
  return static_cast<unsigned long long>(fileSize) >= least;
}

}  // namespace

bool IsWithinLimits(const PictureHeader& header) {
  return header.Width >= 1 && header.Width <= MaxPictureSide && header.Height >= 1 &&
         header.Height <= MaxPictureSide && header.Colors >= 1 && header.Colors <= MaxPictureColors &&
         header.CharsPerPixel >= 1 && header.CharsPerPixel <= MaxCharsPerPixel;
}

bool ReadPictureHeader(const std::string& bytes, PictureHeader* header) {
  HeaderReader reader(bytes);
  return reader.Read(header);
}

bool IsLoadableXpm(const std::string& bytes) {
  PictureHeader header;
  return ReadPictureHeader(bytes, &header) && IsWithinLimits(header) && FitsInFile(header, bytes.size());
}

bool ReadPictureFile(const std::string& file, std::string* bytes) {
  if (IsCompressedName(file)) return false;
  // Non-blocking, so that opening a FIFO cannot wait for a writer.
  OwnedFd fd(open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
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

// ---------------------------------------------------------------------------
// PNG files
// ---------------------------------------------------------------------------

bool IsPng(const std::string& bytes) {
  return bytes.size() >= 8 && png_sig_cmp(reinterpret_cast<png_const_bytep>(bytes.data()), 0, 8) == 0;
}

PngReader::PngReader(const std::string& bytes) : Bytes(bytes) {
  Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, Failed, Warned);
  if (Png) Info = png_create_info_struct(Png);
}

PngReader::~PngReader() {
  if (Png) png_destroy_read_struct(&Png, Info ? &Info : nullptr, nullptr);
}

void PngReader::Failed(png_structp png, png_const_charp) {
  png_longjmp(png, 1);
}

void PngReader::Read(png_structp png, png_bytep out, size_t length) {
  PngReader* reader = static_cast<PngReader*>(png_get_io_ptr(png));
  if (length > reader->Bytes.size() - reader->Next) png_error(png, "cut short");
  std::memcpy(out, reader->Bytes.data() + reader->Next, length);
  reader->Next += length;
}

namespace {

// Whether every chunk of a PNG file, up to its end chunk, fits in what is
// left of the file. libpng allocates and clears the length a chunk declares
// before it reads it: a forged length would cost gigabytes for a file of a
// few bytes.
bool ChunksFitInFile(const std::string& bytes) {
  const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t at = 8;  // past the signature
  while (bytes.size() - at >= 12) {
    unsigned long long length =
        static_cast<unsigned long long>(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
    if (length > bytes.size() - at - 12) return false;  // with its length, type and checksum
    if (std::memcmp(b + at + 4, "IEND", 4) == 0) return true;
    at += 12 + static_cast<size_t>(length);
  }
  return false;
}

}  // namespace

bool PngReader::ReadHeader(unsigned int* width, unsigned int* height) {
  if (!Png || !Info || !IsPng(Bytes) || !ChunksFitInFile(Bytes)) return false;
  if (setjmp(png_jmpbuf(Png))) return false;
  png_set_read_fn(Png, this, Read);
  png_set_user_limits(Png, MaxPictureSide, MaxPictureSide);
  png_set_chunk_malloc_max(Png, MaxPngChunkBytes);
  png_read_info(Png, Info);
  unsigned long long w = png_get_image_width(Png, Info), h = png_get_image_height(Png, Info);
  unsigned long long bits = png_get_bit_depth(Png, Info) * png_get_channels(Png, Info);
  if (w * h * bits / 8 > Bytes.size() * MaxInflation) return false;
  Alpha = (png_get_color_type(Png, Info) & PNG_COLOR_MASK_ALPHA) || png_get_valid(Png, Info, PNG_INFO_tRNS);
  png_set_expand(Png);  // palettes, grey below 8 bits, and transparent colours as alpha
  png_set_scale_16(Png);
  png_set_gray_to_rgb(Png);
  png_set_add_alpha(Png, 0xff, PNG_FILLER_AFTER);  // for pictures without alpha
  Passes = png_set_interlace_handling(Png);
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

bool PngReader::ReadRows(unsigned char** rows, unsigned int count) {
  if (setjmp(png_jmpbuf(Png))) return false;
  png_read_rows(Png, rows, nullptr, count);
  return true;
}

bool PngReader::ReadEnd() {
  if (setjmp(png_jmpbuf(Png))) return false;
  png_read_end(Png, nullptr);
  return true;
}

}  // namespace slate
