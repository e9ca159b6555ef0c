// The PNG and JPEG readers behind DecodeImage. Linux builds them on libpng and libjpeg,
// Windows on stb_image; both refuse the same sizes and cut-off files.
#pragma once

#include <cstddef>
#include <cstdint>

#include "resources/image_decoder.h"

namespace yulo {

// Whether a picture of width x height is within kMaxImageSide and kMaxImageTexels.
inline bool ImageSizeAllowed(uint64_t width, uint64_t height) {
  return width > 0 && height > 0 && width <= kMaxImageSide && height <= kMaxImageSide &&
         width * height <= kMaxImageTexels;
}

// Little-endian fields of file headers.
inline uint32_t ReadLe16(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8;
}
inline uint32_t ReadLe32(const uint8_t* p) {
  return ReadLe16(p) | ReadLe16(p + 2) << 16;
}

// Each decodes a whole file of its format into out; false when the bytes are not a complete
// picture (out may then hold anything: DecodeImage empties it).
bool DecodePng(const uint8_t* data, size_t size, DecodedImage* out);
bool DecodeJpeg(const uint8_t* data, size_t size, DecodedImage* out);
// BMP and TGA everywhere.
bool DecodeWithStb(const uint8_t* data, size_t size, DecodedImage* out);
// DDS everywhere (dds_codec.cpp): uncompressed and DXT1 to DXT5 surfaces, the top level.
bool DecodeDds(const uint8_t* data, size_t size, DecodedImage* out);
// PNG and JPEG through stb_image, refusing what libpng and libjpeg refuse (stb_codecs.cpp):
// DecodePng and DecodeJpeg of the Windows build.
bool DecodePngWithStb(const uint8_t* data, size_t size, DecodedImage* out);
bool DecodeJpegWithStb(const uint8_t* data, size_t size, DecodedImage* out);

}  // namespace yulo
