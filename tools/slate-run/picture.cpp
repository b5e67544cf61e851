#include "picture.h"

#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

namespace drive {

namespace {

std::string Kind(mode_t mode) {
  return S_ISDIR(mode)                    ? "a directory"
         : S_ISFIFO(mode)                 ? "a FIFO"
         : S_ISSOCK(mode)                 ? "a socket"
         : S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
                                          : "not a regular file";
}

// Opens path without waiting (a FIFO without a writer or reader would
// block) and keeps it only when it is a regular file; -1 otherwise.
int OpenRegular(const std::string& path, int flags, std::string* error) {
  int fd = open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  struct stat info;
  if (fd < 0) {
    // A FIFO opened for writing without a reader says ENXIO.
    if (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode))
      *error = "it is " + Kind(info.st_mode) + ", not a regular file";
    else
      *error = std::strerror(errno);
    return -1;
  }
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    *error = "it is " + Kind(info.st_mode) + ", not a regular file";
    close(fd);
    return -1;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

}  // namespace

std::string NotRegular(const std::string& path, bool missing) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return missing && errno == ENOENT ? "" : std::strerror(errno);
  return S_ISREG(info.st_mode) ? "" : "it is " + Kind(info.st_mode) + ", not a regular file";
}

bool ReadFile(const std::string& path, std::string* bytes, std::string* error) {
  int fd = OpenRegular(path, O_RDONLY, error);
  if (fd < 0) return false;
  bytes->clear();
  char buffer[1 << 16];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) != 0) {
    if (n > 0)
      bytes->append(buffer, n);
    else if (errno != EINTR)
      break;
  }
  if (n < 0) *error = std::strerror(errno);
  close(fd);
  return n == 0;
}

bool Near(const Rgb& a, const Rgb& b, int tolerance) {
  return std::abs(a.R - b.R) <= tolerance && std::abs(a.G - b.G) <= tolerance &&
         std::abs(a.B - b.B) <= tolerance;
}

std::string Hex(const Rgb& c) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", c.R, c.G, c.B);
  return text;
}

// libpng's simplified interface: no jumps out of its errors, which it
// keeps in the image's message.
bool WritePng(const std::string& path, const Image& image, std::string* error) {
  if (image.Width <= 0 || image.Height <= 0) return *error = "nothing to write", false;
  size_t count = size_t(image.Width) * image.Height;
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = image.Width;
  png.height = image.Height;
  // A picture of at most 256 colours (most screenshots) is written with a
  // palette, in half the bytes or less.
  std::map<unsigned long, unsigned char> palette;
  std::vector<unsigned char> colours, pixels(count);
  for (size_t i = 0; i < count && palette.size() <= 256; ++i) {
    const unsigned char* p = &image.Rgba[i * 4];
    unsigned long rgb = (p[0] << 16) | (p[1] << 8) | p[2];
    auto entry = palette.find(rgb);
    if (entry == palette.end()) {
      if (palette.size() == 256) {
        palette.emplace(rgb, 0);
        break;
      }
      entry = palette.emplace(rgb, static_cast<unsigned char>(palette.size())).first;
      colours.insert(colours.end(), p, p + 3);
    }
    pixels[i] = entry->second;
  }
  if (palette.size() <= 256) {
    png.format = PNG_FORMAT_RGB_COLORMAP;
    png.colormap_entries = static_cast<png_uint_32>(palette.size());
  } else {
    png.format = PNG_FORMAT_RGB;
    pixels.resize(count * 3);
    for (size_t i = 0; i < count; ++i)
      for (int c = 0; c < 3; ++c) pixels[i * 3 + c] = image.Rgba[i * 4 + c];
  }
  int fd = OpenRegular(path, O_WRONLY | O_CREAT, error);
  if (fd < 0) return false;
  FILE* file = ftruncate(fd, 0) == 0 ? fdopen(fd, "wb") : nullptr;
  if (!file) {
    *error = std::strerror(errno);
    close(fd);
    return false;
  }
  bool written = png_image_write_to_stdio(&png, file, 0, pixels.data(), 0,
                                          palette.size() <= 256 ? colours.data() : nullptr);
  if (!written) *error = png.message;
  if (std::fclose(file) != 0 && written) written = false, *error = std::strerror(errno);
  if (!written) std::remove(path.c_str());
  return written;
}

bool ReadPng(const std::string& path, Image* image, std::string* error) {
  std::string bytes;
  if (!ReadFile(path, &bytes, error)) return false;
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&png, bytes.data(), bytes.size())) return *error = png.message, false;
  // A picture as large as a 3840 x 2160 screen at most.
  if (png.width > 8192 || png.height > 8192 || png.width * png.height > 3840u * 2160) {
    png_image_free(&png);
    return *error = "the picture is larger than a screen", false;
  }
  png.format = PNG_FORMAT_RGBA;
  image->Resize(png.width, png.height);
  if (png_image_finish_read(&png, nullptr, image->Rgba.data(), 0, nullptr)) return true;
  *error = png.message;
  image->Resize(0, 0);
  return false;
}

}  // namespace drive
