// PNG through libpng and JPEG through libjpeg.
#include "resources/image_codecs.h"

// jpeglib.h needs FILE declared before it.
#include <cstdio>
// clang-format off
#include <jpeglib.h>
// clang-format on
#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <cstring>

namespace yulo {

namespace {

// >>section png
struct PngSource {
  const uint8_t* data;
  size_t size;
  size_t offset;
};

void PngRead(png_structp png, png_bytep out, png_size_t length) {
  auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
  if (length > source->size - source->offset) png_error(png, "truncated");
  std::memcpy(out, source->data + source->offset, length);
  source->offset += length;
}

void PngError(png_structp png, png_const_charp /*message*/) {
  png_longjmp(png, 1);
}

// Largest ancillary chunk we let the library allocate, and how many such chunks it keeps.
constexpr png_alloc_size_t kMaxPngChunkBytes = 8u << 20;
constexpr png_uint_32 kMaxPngAncillaryChunks = 128;

void PngWarning(png_structp /*png*/, png_const_charp /*message*/) {}

// The file is whole in memory, so a chunk that claims more bytes than are left is corrupt.
// Checked before the library sees the file: it allocates a chunk from its length field
// (its own limit on chunk sizes only warns), also for a chunk whose header is the last
// thing in the file.
bool PngChunksFit(const uint8_t* data, size_t size) {
  size_t at = 8;            // after the signature
  while (at + 8 <= size) {  // a length and a type: the library reads on from there
    const uint32_t length = (uint32_t{data[at]} << 24) | (uint32_t{data[at + 1]} << 16) |
                            (uint32_t{data[at + 2]} << 8) | uint32_t{data[at + 3]};
    if (uint64_t{length} + 12 > size - at) return false;
    if (std::memcmp(data + at + 4, "IEND", 4) == 0) break;  // whatever follows is not read
    at += 12 + size_t{length};
  }
  return true;
}

// Everything between setjmp and a longjmp out of libpng is plain data: no destructor is
// skipped. Rows are read straight into the output, which is sized before any row arrives.
}  // namespace

bool DecodePng(const uint8_t* data, size_t size, DecodedImage* out) {
  if (!PngChunksFit(data, size)) return false;
  PngSource source{data, size, 0};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return false;
  }
  DecodedImage* volatile result = out;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    result->rgba.clear();
    return false;
  }
  png_set_read_fn(png, &source, PngRead);
  png_set_user_limits(png, kMaxImageSide, kMaxImageSide);
  // A chunk's length field is trusted by the library when it allocates the chunk: without
  // these limits a few bytes claiming a huge text chunk allocate gigabytes.
  png_set_chunk_malloc_max(png, kMaxPngChunkBytes);
  png_set_chunk_cache_max(png, kMaxPngAncillaryChunks);
  png_read_info(png, info);

  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  if (!ImageSizeAllowed(width, height)) png_error(png, "size");
  const int colorType = png_get_color_type(png, info);
  const int bitDepth = png_get_bit_depth(png, info);

  // Every colour type and depth ends as 8-bit RGBA; stored values are kept (no gamma).
  if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
  if (bitDepth == 16) png_set_scale_16(png);  // rounded, not cut: v * 255 / 65535
  if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) {
    png_set_gray_to_rgb(png);
  }
  png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != static_cast<png_size_t>(width) * 4) png_error(png, "layout");

  result->width = width;
  result->height = height;
  result->rgba.assign(static_cast<size_t>(width) * height * 4, 0);
  uint8_t* texels = result->rgba.data();
  for (int pass = 0; pass < passes; ++pass) {
    for (png_uint_32 y = 0; y < height; ++y) {
      png_read_row(png, texels + static_cast<size_t>(y) * width * 4, nullptr);
    }
  }
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

namespace {

// >>section jpeg
struct JpegError {
  jpeg_error_mgr manager;
  jmp_buf jump;
};

void JpegErrorExit(j_common_ptr info) {
  longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}

// Warnings (premature end of data, corrupt entropy data) mean a damaged file: refuse it
// rather than show a half-grey picture.
void JpegEmitMessage(j_common_ptr info, int level) {
  if (level < 0) longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}

void JpegOutputMessage(j_common_ptr /*info*/) {}

}  // namespace

bool DecodeJpeg(const uint8_t* data, size_t size, DecodedImage* out) {
  jpeg_decompress_struct info;
  JpegError error;
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = JpegErrorExit;
  error.manager.emit_message = JpegEmitMessage;
  error.manager.output_message = JpegOutputMessage;
  DecodedImage* volatile result = out;
  if (setjmp(error.jump)) {
    jpeg_destroy_decompress(&info);
    result->rgba.clear();
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) longjmp(error.jump, 1);
  if (!ImageSizeAllowed(info.image_width, info.image_height)) longjmp(error.jump, 1);
  if (info.jpeg_color_space != JCS_GRAYSCALE && info.jpeg_color_space != JCS_YCbCr &&
      info.jpeg_color_space != JCS_RGB) {
    longjmp(error.jump, 1);
  }
  info.out_color_space = JCS_EXT_RGBA;
  jpeg_start_decompress(&info);
  if (info.output_components != 4) longjmp(error.jump, 1);

  const uint32_t width = info.output_width;
  const uint32_t height = info.output_height;
  result->width = width;
  result->height = height;
  result->rgba.assign(static_cast<size_t>(width) * height * 4, 0);
  uint8_t* texels = result->rgba.data();
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = texels + static_cast<size_t>(info.output_scanline) * width * 4;
    if (jpeg_read_scanlines(&info, &row, 1) != 1) longjmp(error.jump, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

}  // namespace yulo
