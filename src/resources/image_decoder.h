// Decoding of image files held in memory into RGBA8 texels: PNG (libpng), JPEG (libjpeg),
// BMP and TGA (stb_image), DDS (our own reader). A truncated or corrupt file is a failure,
// never a crash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace yulo {

enum class ImageFormat { Unknown, Png, Jpeg, Bmp, Tga, Dds };

// Pictures larger than this on a side, or with more texels in all (4096 x 4096), are
// refused. The pixels are allocated from the header before any row is read, so the limit
// also bounds what a few corrupt bytes can make us allocate (64 MiB).
inline constexpr uint32_t kMaxImageSide = 16384;
inline constexpr uint64_t kMaxImageTexels = uint64_t{1} << 24;

struct DecodedImage {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> rgba;  // width x height texels, row 0 at the top, R G B A bytes
};

// The format the bytes announce: PNG, JPEG and DDS by signature, BMP by "BM", TGA by a
// header that makes sense (TGA has no signature).
ImageFormat DetectImageFormat(const uint8_t* data, size_t size);

// Decodes a whole file into out; false (out emptied) when the bytes are not a complete
// picture in a supported format.
bool DecodeImage(const uint8_t* data, size_t size, DecodedImage* out);

// DecodeImage with stb_image for every format: the decoder of the Windows build. Elsewhere
// a second decoder, which the tests hold to the first.
bool DecodeImageWithStb(const uint8_t* data, size_t size, DecodedImage* out);

}  // namespace yulo
