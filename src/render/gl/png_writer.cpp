#include "render/gl/png_writer.h"

#include <png.h>

#include <cstdio>

namespace yulo {

namespace {

void PngWriteError(png_structp png, png_const_charp /*message*/) {
  png_longjmp(png, 1);
}

void PngWriteWarning(png_structp /*png*/, png_const_charp /*message*/) {}

// Only plain data lives between setjmp and a longjmp out of libpng.
bool WriteRows(std::FILE* file, const uint8_t* rgba, uint32_t width, uint32_t height) {
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngWriteError, PngWriteWarning);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (uint32_t y = 0; y < height; ++y) {
    png_write_row(png, rgba + static_cast<size_t>(y) * width * 4);
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool WritePng(const char* path, const uint8_t* rgba, uint32_t width, uint32_t height) {
  if (path == nullptr || rgba == nullptr || width == 0 || height == 0) return false;
  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr) return false;
  const bool written = WriteRows(file, rgba, width, height);
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    std::remove(path);
    return false;
  }
  return true;
}

}  // namespace yulo
