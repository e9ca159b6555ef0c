// Windows has no libpng or libjpeg: PNG and JPEG go through stb_image (stb_codecs.cpp).
#include "resources/image_codecs.h"

namespace yulo {

bool DecodePng(const uint8_t* data, size_t size, DecodedImage* out) {
  return DecodePngWithStb(data, size, out);
}

bool DecodeJpeg(const uint8_t* data, size_t size, DecodedImage* out) {
  return DecodeJpegWithStb(data, size, out);
}

}  // namespace yulo
