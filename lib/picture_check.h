// What a picture file must pass before it is decoded.
//
// The decoders and the X server allocate whatever a file's header asks for,
// and an X error (a pixmap of size 0, say) ends the process. So a file is
// read once, whole, and its bytes are checked before they are decoded: what
// is not a plain readable file, what declares an absurd size or one larger
// than the file could hold, and compressed files, are refused. The decoder
// gets the very bytes that were checked. A file is known for a PNG file by
// its first bytes, whatever its name; any other is read as XPM, whose
// header is read here as libXpm reads it.
#ifndef SLATE_LIB_PICTURE_CHECK_H
#define SLATE_LIB_PICTURE_CHECK_H

#include <png.h>
#include <sys/types.h>

#include <string>

namespace slate {

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

// Reads a picture file once, whole: what is checked and decoded afterwards
// is these bytes, whatever happens to the file meanwhile. False for what is
// not a readable regular file of at most MaxFileBytes, and for compressed
// files, which libXpm would have read through a decompressor.
bool ReadPictureFile(const std::string& file, std::string* bytes);

// What the values line of an XPM file declares, each number capped at
// 2^40.
struct PictureHeader {
  unsigned long long Width = 0;
  unsigned long long Height = 0;
  unsigned long long Colors = 0;
  unsigned long long CharsPerPixel = 0;
};
// Reads the header of an XPM file's bytes; false when libXpm would not find one.
bool ReadPictureHeader(const std::string& bytes, PictureHeader* header);
bool IsWithinLimits(const PictureHeader& header);
// True when bytes hold an XPM header whose picture is small enough to load
// and could fit in the file at all.
bool IsLoadableXpm(const std::string& bytes);

bool IsPng(const std::string& bytes);

// Decodes a PNG file's bytes with libpng into 8-bit red, green, blue and
// alpha, whatever its colour type, depth and interlacing. libpng reports
// failures by a long jump back into the call that started the step, so each
// step sets its own landing place and keeps nothing there that needs a
// destructor. Failures say nothing.
class PngReader {
 public:
  explicit PngReader(const std::string& bytes);
  ~PngReader();
  PngReader(const PngReader&) = delete;
  PngReader& operator=(const PngReader&) = delete;

  // Reads up to the pixels; false for a picture beyond the limits, one
  // that declares more pixels than its bytes could hold, or one with a
  // chunk longer than the rest of the file.
  bool ReadHeader(unsigned int* width, unsigned int* height);
  // What the header says: pixels that may be less than opaque (an alpha
  // channel, or a transparent colour); rows stored in seven passes.
  bool HasAlpha() const { return Alpha; }
  bool Interlaced() const { return Passes > 1; }
  // Reads the pixels into rows of width * 4 bytes, and the rest of the file.
  bool ReadPixels(unsigned char** rows);
  // A picture that is not interlaced can be read count rows at a time,
  // top down, then its end.
  bool ReadRows(unsigned char** rows, unsigned int count);
  bool ReadEnd();

 private:
  [[noreturn]] static void Failed(png_structp png, png_const_charp);
  static void Warned(png_structp, png_const_charp) {}
  static void Read(png_structp png, png_bytep out, size_t length);

  const std::string& Bytes;
  size_t Next = 0;
  bool Alpha = false;
  int Passes = 1;
  png_structp Png = nullptr;
  png_infop Info = nullptr;
};

}  // namespace slate

#endif  // SLATE_LIB_PICTURE_CHECK_H
