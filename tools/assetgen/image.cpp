#include "image.h"

#include <png.h>

#include <algorithm>
#include <cmath>

namespace yulo::assetgen {

Rgba Mix(Rgba a, Rgba b, float t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t,
          a.a + (b.a - a.a) * t};
}

Rgba Scale(Rgba c, float k) {
  return {c.r * k, c.g * k, c.b * k, c.a};
}

Image::Image(int w, int h, Rgba fill)
    : width(w), height(h), pixels(static_cast<size_t>(w) * h, fill) {}

void Image::Blend(int x, int y, Rgba c, float coverage) {
  if (x < 0 || y < 0 || x >= width || y >= height) return;
  Rgba& d = At(x, y);
  const float sa = std::clamp(c.a * coverage, 0.0f, 1.0f);
  const float outA = sa + d.a * (1.0f - sa);
  if (outA <= 0.0f) return;
  // Straight (not premultiplied) alpha, so the colour is weighted by each layer's share.
  const float keep = d.a * (1.0f - sa);
  d.r = (c.r * sa + d.r * keep) / outA;
  d.g = (c.g * sa + d.g * keep) / outA;
  d.b = (c.b * sa + d.b * keep) / outA;
  d.a = outA;
}

void Image::Add(int x, int y, Rgba c, float amount) {
  if (x < 0 || y < 0 || x >= width || y >= height) return;
  Rgba& d = At(x, y);
  d.r += c.r * amount;
  d.g += c.g * amount;
  d.b += c.b * amount;
}

uint8_t ToByte(float v) {
  const float scaled = std::floor(std::clamp(v, 0.0f, 1.0f) * 255.0f + 0.5f);
  return static_cast<uint8_t>(scaled);
}

namespace {

void PutU16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v & 0xff));
  out.push_back(static_cast<uint8_t>((v >> 8) & 0xff));
}

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  PutU16(out, v & 0xffff);
  PutU16(out, v >> 16);
}

}  // namespace

std::vector<uint8_t> EncodeTga(const Image& image, bool withAlpha) {
  std::vector<uint8_t> out;
  const int bytesPerPixel = withAlpha ? 4 : 3;
  out.reserve(18 + static_cast<size_t>(image.width) * image.height * bytesPerPixel);
  out.push_back(0);                              // no image id
  out.push_back(0);                              // no colour map
  out.push_back(2);                              // uncompressed true colour
  for (int i = 0; i < 5; ++i) out.push_back(0);  // colour map description (none)
  PutU16(out, 0);                                // x origin
  PutU16(out, 0);                                // y origin
  PutU16(out, static_cast<uint32_t>(image.width));
  PutU16(out, static_cast<uint32_t>(image.height));
  out.push_back(static_cast<uint8_t>(bytesPerPixel * 8));
  out.push_back(withAlpha ? 8 : 0);  // alpha bits; origin bottom-left
  for (int y = image.height - 1; y >= 0; --y) {
    for (int x = 0; x < image.width; ++x) {
      const Rgba& p = image.At(x, y);
      out.push_back(ToByte(p.b));
      out.push_back(ToByte(p.g));
      out.push_back(ToByte(p.r));
      if (withAlpha) out.push_back(ToByte(p.a));
    }
  }
  return out;
}

std::vector<uint8_t> EncodeBmp(const Image& image) {
  const uint32_t rowBytes = (static_cast<uint32_t>(image.width) * 3 + 3) & ~3u;
  const uint32_t pixelBytes = rowBytes * static_cast<uint32_t>(image.height);
  std::vector<uint8_t> out;
  out.reserve(54 + pixelBytes);
  out.push_back('B');
  out.push_back('M');
  PutU32(out, 54 + pixelBytes);
  PutU32(out, 0);
  PutU32(out, 54);
  PutU32(out, 40);
  PutU32(out, static_cast<uint32_t>(image.width));
  PutU32(out, static_cast<uint32_t>(image.height));  // positive: bottom-up
  PutU16(out, 1);
  PutU16(out, 24);
  PutU32(out, 0);  // BI_RGB
  PutU32(out, pixelBytes);
  PutU32(out, 2835);  // 72 dpi
  PutU32(out, 2835);
  PutU32(out, 0);
  PutU32(out, 0);
  for (int y = image.height - 1; y >= 0; --y) {
    const size_t rowStart = out.size();
    for (int x = 0; x < image.width; ++x) {
      const Rgba& p = image.At(x, y);
      out.push_back(ToByte(p.b));
      out.push_back(ToByte(p.g));
      out.push_back(ToByte(p.r));
    }
    while (out.size() - rowStart < rowBytes) out.push_back(0);
  }
  return out;
}

namespace {

void PngWrite(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

void PngFlush(png_structp) {}

// libpng reports errors through longjmp; the tool builds without exceptions in mind,
// so the jump target is the single setjmp in EncodePng.
bool WritePngRows(png_structp png, png_infop info, const Image& image, std::vector<uint8_t>* row) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width),
               static_cast<png_uint_32>(image.height), 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 9);
  png_write_info(png, info);
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const Rgba& p = image.At(x, y);
      uint8_t* d = row->data() + static_cast<size_t>(x) * 4;
      d[0] = ToByte(p.r);
      d[1] = ToByte(p.g);
      d[2] = ToByte(p.b);
      d[3] = ToByte(p.a);
    }
    png_write_row(png, row->data());
  }
  png_write_end(png, nullptr);
  return true;
}

}  // namespace

bool EncodePng(const Image& image, std::vector<uint8_t>* out) {
  out->clear();
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  std::vector<uint8_t> row(static_cast<size_t>(image.width) * 4);
  png_set_write_fn(png, out, PngWrite, PngFlush);
  const bool ok = WritePngRows(png, info, image, &row);
  png_destroy_write_struct(&png, &info);
  return ok;
}

}  // namespace yulo::assetgen
