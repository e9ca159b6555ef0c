// PNG and JPEG through stb_image, held to what the libpng and libjpeg readers of other
// builds accept and give: the same files refused, the same texels out (JPEG within the
// rounding of two inverse DCTs).
#include "resources/image_codecs.h"
#include "resources/stb_image_only.h"

#include <array>

namespace yulo {

namespace {

uint32_t Be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

uint32_t Be16(const uint8_t* p) {
  return (uint32_t{p[0]} << 8) | p[1];
}

// CRC-32 as PNG chunks use it (ISO 3309, reflected, polynomial 0xEDB88320).
constexpr std::array<uint32_t, 256> kCrcTable = [] {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}();

uint32_t Crc32(const uint8_t* data, size_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) crc = kCrcTable[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

// libpng refuses a file whose chunks run past its end, whose critical chunks (upper-case
// first letter) fail their CRC, or that ends before IEND; stb_image checks none of that.
bool PngChunksSound(const uint8_t* data, size_t size) {
  size_t at = 8;  // after the signature
  while (at + 12 <= size) {
    const uint32_t length = Be32(data + at);
    if (length > size - at - 12) return false;
    const uint8_t* type = data + at + 4;
    const bool critical = (type[0] & 0x20) == 0;
    if (critical && Crc32(type, size_t{length} + 4) != Be32(type + 4 + length)) return false;
    if (type[0] == 'I' && type[1] == 'E' && type[2] == 'N' && type[3] == 'D') return true;
    at += 12 + size_t{length};
  }
  return false;
}

bool IsStartOfFrame(uint32_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
         marker != 0xCC;
}

// libjpeg (as the other builds run it) refuses a file that ends before its end marker and
// reads only grey, YCbCr and RGB pictures; stb_image fills a cut-off picture with grey and
// converts CMYK. This walks the markers and the coded data between them.
bool JpegSound(const uint8_t* data, size_t size) {
  size_t at = 2;  // after SOI
  bool frame = false;
  bool scan = false;
  while (at + 2 <= size) {
    if (data[at] != 0xFF) return false;
    const uint32_t marker = data[at + 1];
    if (marker == 0xFF) {  // fill byte before a marker
      ++at;
      continue;
    }
    at += 2;
    if (marker == 0xD9) return frame && scan;  // EOI
    if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) continue;
    if (at + 2 > size) return false;
    const uint32_t length = Be16(data + at);
    if (length < 2 || length > size - at) return false;
    if (IsStartOfFrame(marker)) {
      if (length < 8) return false;
      const uint32_t components = data[at + 7];
      if (components != 1 && components != 3) return false;
      frame = true;
    }
    at += length;
    if (marker != 0xDA) continue;
    // Coded data: a 0xFF is followed by 0 (a stuffed byte), a restart marker or fill;
    // anything else starts the next marker.
    scan = true;
    for (;;) {
      if (at + 1 >= size) return false;
      if (data[at] != 0xFF) {
        ++at;
        continue;
      }
      const uint32_t next = data[at + 1];
      if (next == 0x00 || (next >= 0xD0 && next <= 0xD7)) {
        at += 2;
        continue;
      }
      if (next == 0xFF) {
        ++at;
        continue;
      }
      break;
    }
  }
  return false;
}

// libpng scales 16-bit samples to 8 bits rounded (v * 255 / 65535), stb_image cuts them.
uint8_t Scale16(uint32_t value) {
  return static_cast<uint8_t>((value * 255 + 32767) / 65535);
}

bool LoadWithStb(const uint8_t* data, size_t size, DecodedImage* out) {
  if (size > 0x7FFFFFFF) return false;
  const int length = static_cast<int>(size);
  int width = 0;
  int height = 0;
  int components = 0;
  if (!stbi_info_from_memory(data, length, &width, &height, &components)) return false;
  if (!ImageSizeAllowed(static_cast<uint64_t>(width), static_cast<uint64_t>(height)))
    return false;
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
  if (stbi_is_16_bit_from_memory(data, length)) {
    stbi_us* texels = stbi_load_16_from_memory(data, length, &width, &height, &components, 4);
    if (texels == nullptr) return false;
    out->rgba.resize(count);
    for (size_t i = 0; i < count; ++i) out->rgba[i] = Scale16(texels[i]);
    stbi_image_free(texels);
  } else {
    stbi_uc* texels = stbi_load_from_memory(data, length, &width, &height, &components, 4);
    if (texels == nullptr) return false;
    out->rgba.assign(texels, texels + count);
    stbi_image_free(texels);
  }
  out->width = static_cast<uint32_t>(width);
  out->height = static_cast<uint32_t>(height);
  return true;
}

}  // namespace

bool DecodePngWithStb(const uint8_t* data, size_t size, DecodedImage* out) {
  return PngChunksSound(data, size) && LoadWithStb(data, size, out);
}

bool DecodeJpegWithStb(const uint8_t* data, size_t size, DecodedImage* out) {
  return JpegSound(data, size) && LoadWithStb(data, size, out);
}

}  // namespace yulo
