// Pictures in memory, red, green, blue and alpha a pixel, and as PNG files.
#ifndef DRIVE_PICTURE_H
#define DRIVE_PICTURE_H

#include <string>
#include <vector>

namespace drive {

struct Rgb {
  unsigned char R = 0, G = 0, B = 0;
  bool operator==(const Rgb& o) const { return R == o.R && G == o.G && B == o.B; }
  bool operator!=(const Rgb& o) const { return !(*this == o); }
};

// Whether every channel of a and b differs by at most tolerance.
bool Near(const Rgb& a, const Rgb& b, int tolerance);
std::string Hex(const Rgb& c);  // "#rrggbb"

struct Image {
  int Width = 0, Height = 0;
  std::vector<unsigned char> Rgba;  // row by row; alpha 0 is a transparent pixel
  void Resize(int width, int height) {
    Width = width;
    Height = height;
    Rgba.assign(size_t(width) * height * 4, 255);
  }
  Rgb At(int x, int y) const {
    const unsigned char* p = &Rgba[(size_t(y) * Width + x) * 4];
    return {p[0], p[1], p[2]};
  }
  bool Opaque(int x, int y) const { return Rgba[(size_t(y) * Width + x) * 4 + 3] >= 128; }
  void Set(int x, int y, Rgb c) {
    unsigned char* p = &Rgba[(size_t(y) * Width + x) * 4];
    p[0] = c.R, p[1] = c.G, p[2] = c.B, p[3] = 255;
  }
};

// False, with the reason in *error, when the file cannot be written or read.
// Only regular files are: a FIFO or a device would block or never end.
bool WritePng(const std::string& path, const Image& image, std::string* error);
bool ReadPng(const std::string& path, Image* image, std::string* error);

// Why path is not a regular file ("it is a FIFO, not a regular file", "No
// such file or directory"); "" for a regular file, and for no file at all
// when missing is allowed.
std::string NotRegular(const std::string& path, bool missing);
// The bytes of a regular file, read without waiting on anything else.
bool ReadFile(const std::string& path, std::string* bytes, std::string* error);

}  // namespace drive

#endif  // DRIVE_PICTURE_H
