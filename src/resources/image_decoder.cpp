#include "resources/image_decoder.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "resources/image_codecs.h"
#include "resources/stb_image_only.h"

namespace yulo {

// >>section stb_image: BMP and TGA, and on Windows PNG and JPEG
bool DecodeWithStb(const uint8_t* data, size_t size, DecodedImage* out) {
  const bool tga = DetectImageFormat(data, size) == ImageFormat::Tga;
  std::vector<uint8_t> rewritten;
  const StbInput input =
      tga ? StbRewriteTga(data, size, &rewritten) : StbRewriteBmp(data, size, &rewritten);
  if (input == StbInput::kRefused) return false;
  if (input == StbInput::kRewritten) {
    data = rewritten.data();
    size = rewritten.size();
  }
  if (size > 0x7FFFFFFF) return false;
  int width = 0;
  int height = 0;
  int components = 0;
  if (!stbi_info_from_memory(data, static_cast<int>(size), &width, &height, &components)) {
    return false;
  }
  // A top-down BMP reports its height negative here.
  if (height < 0 && height != INT32_MIN) height = -height;
  if (!ImageSizeAllowed(static_cast<uint64_t>(width), static_cast<uint64_t>(height))) return false;
  if (!StbPayloadComplete(data, size)) return false;
  stbi_uc* texels =
      stbi_load_from_memory(data, static_cast<int>(size), &width, &height, &components, 4);
  if (texels == nullptr) return false;
  out->width = static_cast<uint32_t>(width);
  out->height = static_cast<uint32_t>(height);
  out->rgba.assign(texels, texels + static_cast<size_t>(width) * height * 4);
  stbi_image_free(texels);
  if (tga) {
    StbTgaAttributeAlpha(data, size, out->rgba.data(), out->width, out->height);
    StbTgaMirrorRows(data, size, out->rgba.data(), out->width, out->height);
  }
  return true;
}

ImageFormat DetectImageFormat(const uint8_t* data, size_t size) {
  if (data == nullptr) return ImageFormat::Unknown;
  static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (size >= 8 && std::memcmp(data, kPng, 8) == 0) return ImageFormat::Png;
  if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) return ImageFormat::Jpeg;
  if (size >= 2 && data[0] == 'B' && data[1] == 'M') return ImageFormat::Bmp;
  if (size >= 4 && std::memcmp(data, "DDS ", 4) == 0) return ImageFormat::Dds;
  if (size >= 18 && size <= 0x7FFFFFFF && StbIsTga(data, size)) return ImageFormat::Tga;
  return ImageFormat::Unknown;
}

namespace {

using Codec = bool (*)(const uint8_t* data, size_t size, DecodedImage* out);

bool DecodeWith(Codec png, Codec jpeg, const uint8_t* data, size_t size, DecodedImage* out) {
  out->width = 0;
  out->height = 0;
  out->rgba.clear();
  bool ok = false;
  switch (DetectImageFormat(data, size)) {
    case ImageFormat::Png:
      ok = png(data, size, out);
      break;
    case ImageFormat::Jpeg:
      ok = jpeg(data, size, out);
      break;
    case ImageFormat::Bmp:
    case ImageFormat::Tga:
      ok = DecodeWithStb(data, size, out);
      break;
    case ImageFormat::Dds:
      ok = DecodeDds(data, size, out);
      break;
    case ImageFormat::Unknown:
      break;
  }
  if (!ok) {
    out->width = 0;
    out->height = 0;
    out->rgba.clear();
  }
  return ok;
}

}  // namespace

bool DecodeImage(const uint8_t* data, size_t size, DecodedImage* out) {
  return DecodeWith(DecodePng, DecodeJpeg, data, size, out);
}

bool DecodeImageWithStb(const uint8_t* data, size_t size, DecodedImage* out) {
  return DecodeWith(DecodePngWithStb, DecodeJpegWithStb, data, size, out);
}

}  // namespace yulo
