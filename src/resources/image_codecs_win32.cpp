// PNG and JPEG through stb_image, which the Windows build compiles with those readers.
#include "resources/image_codecs.h"

namespace yulo {

bool DecodePng(const uint8_t* data, size_t size, DecodedImage* out) {
  return DecodeWithStb(data, size, out);
}

bool DecodeJpeg(const uint8_t* data, size_t size, DecodedImage* out) {
  return DecodeWithStb(data, size, out);
}

}  // namespace yulo
