// DirectDraw Surface files: the top-level picture of uncompressed RGB, luminance and alpha
// surfaces (any channel masks of 8 to 32 bits a texel) and of DXT1 to DXT5 blocks. A cube
// map or volume gives its first face or slice. Further mip levels are ignored: the device
// makes its own chain from the top level.
#include <cstring>

#include "resources/image_codecs.h"

namespace yulo {

namespace {

constexpr size_t kHeaderSize = 4 + 124;  // "DDS " and the header

// Header flags and pixel-format flags.
constexpr uint32_t kAlphaPixels = 0x1;
constexpr uint32_t kAlphaOnly = 0x2;
constexpr uint32_t kFourCc = 0x4;
constexpr uint32_t kRgb = 0x40;
constexpr uint32_t kLuminance = 0x20000;

constexpr uint32_t FourCc(const char (&code)[5]) {
  return uint32_t(uint8_t(code[0])) | uint32_t(uint8_t(code[1])) << 8 |
         uint32_t(uint8_t(code[2])) << 16 | uint32_t(uint8_t(code[3])) << 24;
}

// The bits of value under mask, scaled to 0..255 (a mask of one bit gives 0 or 255).
uint8_t Channel(uint32_t value, uint32_t mask) {
  if (mask == 0) return 0;
  int shift = 0;
  while (((mask >> shift) & 1u) == 0) ++shift;
  const uint32_t field = mask >> shift;  // the channel's largest value
  const uint32_t bits = (value >> shift) & field;
  return static_cast<uint8_t>((uint64_t{bits} * 255u + field / 2) / field);
}

// The four colours of a block from its two 5:6:5 end points. Three colours and transparent
// black when the first is not greater and the block may say so (DXT1 only).
void BlockColours(const uint8_t* block, bool mayBeTransparent, uint8_t colours[4][4]) {
  const uint32_t c0 = uint32_t{block[0]} | uint32_t{block[1]} << 8;
  const uint32_t c1 = uint32_t{block[2]} | uint32_t{block[3]} << 8;
  const auto expand = [](uint32_t c, uint8_t out[4]) {
    const uint32_t r = c >> 11, g = (c >> 5) & 0x3F, b = c & 0x1F;
    out[0] = static_cast<uint8_t>(r << 3 | r >> 2);
    out[1] = static_cast<uint8_t>(g << 2 | g >> 4);
    out[2] = static_cast<uint8_t>(b << 3 | b >> 2);
    out[3] = 255;
  };
  expand(c0, colours[0]);
  expand(c1, colours[1]);
  for (int k = 0; k < 3; ++k) {
    const uint32_t a = colours[0][k], b = colours[1][k];
    if (c0 > c1 || !mayBeTransparent) {
      colours[2][k] = static_cast<uint8_t>((2 * a + b) / 3);
      colours[3][k] = static_cast<uint8_t>((a + 2 * b) / 3);
    } else {
      colours[2][k] = static_cast<uint8_t>((a + b) / 2);
      colours[3][k] = 0;
    }
  }
  colours[2][3] = 255;
  colours[3][3] = c0 > c1 || !mayBeTransparent ? 255 : 0;
}

// The sixteen alphas of a DXT4/DXT5 alpha block: two end points and 3-bit indices.
void InterpolatedAlphas(const uint8_t* block, uint8_t alphas[16]) {
  uint32_t values[8];
  values[0] = block[0];
  values[1] = block[1];
  if (values[0] > values[1]) {
    for (uint32_t k = 1; k < 7; ++k) values[k + 1] = ((7 - k) * values[0] + k * values[1]) / 7;
  } else {
    for (uint32_t k = 1; k < 5; ++k) values[k + 1] = ((5 - k) * values[0] + k * values[1]) / 5;
    values[6] = 0;
    values[7] = 255;
  }
  uint64_t bits = 0;
  for (int k = 0; k < 6; ++k) bits |= uint64_t{block[2 + k]} << (8 * k);
  for (int t = 0; t < 16; ++t) alphas[t] = static_cast<uint8_t>(values[(bits >> (3 * t)) & 7u]);
}

enum class Blocks { Dxt1, Dxt3, Dxt5 };

void DecodeBlocks(const uint8_t* data, Blocks kind, DecodedImage* out) {
  const uint32_t across = (out->width + 3) / 4;
  const uint32_t down = (out->height + 3) / 4;
  const size_t blockSize = kind == Blocks::Dxt1 ? 8 : 16;
  for (uint32_t by = 0; by < down; ++by) {
    for (uint32_t bx = 0; bx < across; ++bx) {
      const uint8_t* block = data + (size_t{by} * across + bx) * blockSize;
      uint8_t alphas[16];
      std::memset(alphas, 255, sizeof alphas);
      if (kind == Blocks::Dxt3) {
        for (int t = 0; t < 16; ++t) {
          const uint32_t nibble = (block[t / 2] >> (4 * (t % 2))) & 0xFu;
          alphas[t] = static_cast<uint8_t>(nibble * 17u);
        }
      } else if (kind == Blocks::Dxt5) {
        InterpolatedAlphas(block, alphas);
      }
      const uint8_t* colourBlock = kind == Blocks::Dxt1 ? block : block + 8;
      uint8_t colours[4][4];
      BlockColours(colourBlock, kind == Blocks::Dxt1, colours);
      const uint32_t indices = ReadLe32(colourBlock + 4);
      for (uint32_t t = 0; t < 16; ++t) {
        const uint32_t x = bx * 4 + t % 4, y = by * 4 + t / 4;
        if (x >= out->width || y >= out->height) continue;
        uint8_t* texel = &out->rgba[(size_t{y} * out->width + x) * 4];
        std::memcpy(texel, colours[(indices >> (2 * t)) & 3u], 4);
        if (kind != Blocks::Dxt1) texel[3] = alphas[t];
      }
    }
  }
}

}  // namespace

bool DecodeDds(const uint8_t* data, size_t size, DecodedImage* out) {
  if (size < kHeaderSize || std::memcmp(data, "DDS ", 4) != 0) return false;
  const uint8_t* header = data + 4;
  if (ReadLe32(header) != 124 || ReadLe32(header + 72) != 32) return false;  // header, format sizes
  const uint32_t height = ReadLe32(header + 8);
  const uint32_t width = ReadLe32(header + 12);
  if (!ImageSizeAllowed(width, height)) return false;
  const uint32_t formatFlags = ReadLe32(header + 76);
  const uint32_t fourCc = ReadLe32(header + 80);
  const uint32_t bitCount = ReadLe32(header + 84);
  const uint32_t masks[4] = {ReadLe32(header + 88), ReadLe32(header + 92), ReadLe32(header + 96),
                             ReadLe32(header + 100)};
  const uint8_t* texels = data + kHeaderSize;
  const size_t available = size - kHeaderSize;

  if (formatFlags & kFourCc) {
    Blocks kind;
    if (fourCc == FourCc("DXT1")) {
      kind = Blocks::Dxt1;
    } else if (fourCc == FourCc("DXT2") || fourCc == FourCc("DXT3")) {
      kind = Blocks::Dxt3;
    } else if (fourCc == FourCc("DXT4") || fourCc == FourCc("DXT5")) {
      kind = Blocks::Dxt5;
    } else {
      return false;  // other codes, and the extended header of newer files
    }
    const size_t blocks = size_t{(width + 3) / 4} * ((height + 3) / 4);
    if (blocks * (kind == Blocks::Dxt1 ? 8 : 16) > available) return false;
    out->width = width;
    out->height = height;
    out->rgba.assign(size_t{width} * height * 4, 0);
    DecodeBlocks(texels, kind, out);
    return true;
  }

  if (!(formatFlags & (kRgb | kLuminance | kAlphaOnly))) return false;
  if (bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32) return false;
  const size_t bytesPerTexel = bitCount / 8;
  if (size_t{width} * height * bytesPerTexel > available) return false;
  const bool hasAlpha = (formatFlags & (kAlphaPixels | kAlphaOnly)) != 0 && masks[3] != 0;
  out->width = width;
  out->height = height;
  out->rgba.assign(size_t{width} * height * 4, 0);
  for (size_t i = 0; i < size_t{width} * height; ++i) {
    uint32_t value = 0;
    for (size_t b = 0; b < bytesPerTexel; ++b)
      value |= uint32_t{texels[i * bytesPerTexel + b]} << (8 * b);
    uint8_t* texel = &out->rgba[i * 4];
    if (formatFlags & kLuminance) {
      texel[0] = texel[1] = texel[2] = Channel(value, masks[0]);
    } else if (formatFlags & kRgb) {
      for (int k = 0; k < 3; ++k) texel[k] = Channel(value, masks[k]);
    }  // an alpha-only surface has black texels
    texel[3] = hasAlpha ? Channel(value, masks[3]) : 255;
  }
  return true;
}

}  // namespace yulo
