#include "picture.h"

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <map>

namespace drive {

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
  if (png_image_write_to_file(&png, path.c_str(), 0, pixels.data(), 0,
                              palette.size() <= 256 ? colours.data() : nullptr))
    return true;
  *error = png.message;
  std::remove(path.c_str());
  return false;
}

bool ReadPng(const std::string& path, Image* image, std::string* error) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path.c_str())) return *error = png.message, false;
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
