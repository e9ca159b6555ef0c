// PNG and JPEG through stb_image, held to what the libpng and libjpeg readers of other
// builds accept and give: the same files refused, the same texels out (JPEG within the
// rounding of two inverse DCTs).
#include "resources/image_codecs.h"
#include "resources/stb_image_only.h"

#include <zlib.h>

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

bool IsChunk(const uint8_t* type, const char* name) {
  return type[0] == name[0] && type[1] == name[1] && type[2] == name[2] && type[3] == name[3];
}

// Bytes of filtered scanlines a picture needs (a filter byte per row of every pass); 0
// for a header stb_image or libpng would refuse anyway.
uint64_t PngRawSize(const uint8_t* header) {
  const uint64_t width = Be32(header);
  const uint64_t height = Be32(header + 4);
  const uint32_t depth = header[8];
  static const uint32_t kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
  const uint32_t channels = header[9] <= 6 ? kChannels[header[9]] : 0;
  const uint64_t bits = uint64_t{channels} * depth;
  if (bits == 0 || width == 0 || height == 0) return 0;
  const auto rows = [bits](uint64_t w, uint64_t h) {
    return w == 0 || h == 0 ? 0 : h * ((w * bits + 7) / 8 + 1);
  };
  if (header[12] == 0) return rows(width, height);
  // Adam7: seven passes over sub-grids of the picture.
  static const uint32_t kPass[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                       {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
  uint64_t total = 0;
  for (const auto& p : kPass) {
    const uint64_t w = width > p[0] ? (width - p[0] + p[2] - 1) / p[2] : 0;
    const uint64_t h = height > p[1] ? (height - p[1] + p[3] - 1) / p[3] : 0;
    total += rows(w, h);
  }
  return total;
}

// stb_image grows its output for as long as the compressed data goes on, so a few
// kilobytes that inflate to gigabytes would take all of them: the data is inflated here
// first, into a small scratch buffer, and refused once it makes more than the picture
// holds (libpng stops reading there).
bool PngDataFits(const uint8_t* data, size_t size, uint64_t rawSize) {
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return false;
  uint8_t scratch[16384];
  uint64_t produced = 0;
  int status = Z_OK;
  size_t at = 8;
  while (status == Z_OK && at + 12 <= size) {
    const uint32_t length = Be32(data + at);
    const uint8_t* type = data + at + 4;
    at += 12 + size_t{length};
    if (!IsChunk(type, "IDAT")) continue;
    stream.next_in = const_cast<uint8_t*>(type + 4);
    stream.avail_in = length;
    while (status == Z_OK && stream.avail_in > 0 && produced <= rawSize) {
      stream.next_out = scratch;
      stream.avail_out = sizeof scratch;
      status = inflate(&stream, Z_NO_FLUSH);
      produced += sizeof scratch - stream.avail_out;
      if (status == Z_BUF_ERROR) status = Z_OK;  // wants more input: the next chunk
    }
    if (produced > rawSize) break;
  }
  inflateEnd(&stream);
  return produced <= rawSize && (status == Z_OK || status == Z_STREAM_END);
}

// libpng refuses a file whose chunks run past its end, whose critical chunks (upper-case
// first letter) fail their CRC, or that ends before IEND; stb_image checks none of that.
bool PngChunksSound(const uint8_t* data, size_t size) {
  size_t at = 8;  // after the signature
  uint64_t rawSize = 0;
  while (at + 12 <= size) {
    const uint32_t length = Be32(data + at);
    if (length > size - at - 12) return false;
    const uint8_t* type = data + at + 4;
    const bool critical = (type[0] & 0x20) == 0;
    if (critical && Crc32(type, size_t{length} + 4) != Be32(type + 4 + length)) return false;
    if (IsChunk(type, "IHDR")) {
      if (at != 8 || length != 13) return false;
      if (!ImageSizeAllowed(Be32(type + 4), Be32(type + 8))) return false;
      rawSize = PngRawSize(type + 4);
      if (rawSize == 0) return false;
    }
    if (IsChunk(type, "IEND")) return rawSize != 0 && PngDataFits(data, at, rawSize);
    at += 12 + size_t{length};
  }
  return false;
}

bool IsStartOfFrame(uint32_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// libjpeg (as the other builds run it) refuses a file that ends before its end marker and
// reads only grey, YCbCr and RGB pictures; stb_image fills a cut-off picture with grey and
// converts CMYK. This walks the markers and the coded data between them.
bool JpegSound(const uint8_t* data, size_t size) {
  size_t at = 2;  // after SOI
  bool frame = false;
  bool scan = false;
  bool progressive = false;
  bool dcTables[4] = {};
  bool acTables[4] = {};
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
    // stb_image writes a Huffman table's symbols into a 256-entry array without checking
    // their count; libjpeg refuses such tables.
    if (marker == 0xC4) {
      size_t table = at + 2;
      const size_t end = at + length;
      while (table < end) {
        if (end - table < 17 || (data[table] >> 4) > 1 || (data[table] & 15) > 3) return false;
        uint32_t symbols = 0;
        for (int i = 1; i <= 16; ++i) symbols += data[table + i];
        if (symbols > 256 || end - table - 17 < symbols) return false;
        ((data[table] >> 4) == 0 ? dcTables : acTables)[data[table] & 15] = true;
        table += 17 + symbols;
      }
    }
    if (IsStartOfFrame(marker)) {
      if (length < 8) return false;
      const uint32_t components = data[at + 7];
      if (components != 1 && components != 3) return false;
      frame = true;
      progressive = marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
    }
    // stb_image decodes with a table the file never defined as if it were one, reading
    // past its end (libjpeg would take the standard tables of motion JPEG instead): a
    // scan must name tables defined before it.
    if (marker == 0xDA) {
      const uint32_t count = length >= 3 ? data[at + 2] : 0;
      if (count < 1 || count > 4 || length != 6 + 2 * count) return false;
      const uint32_t spectralStart = data[at + 3 + 2 * count];
      const uint32_t approximationHigh = data[at + 5 + 2 * count] >> 4;
      for (uint32_t i = 0; i < count; ++i) {
        const uint32_t dc = data[at + 4 + 2 * i] >> 4;
        const uint32_t ac = data[at + 4 + 2 * i] & 15;
        const bool needDc = !progressive || (spectralStart == 0 && approximationHigh == 0);
        const bool needAc = !progressive || spectralStart != 0;
        if ((needDc && (dc > 3 || !dcTables[dc])) || (needAc && (ac > 3 || !acTables[ac])))
          return false;
      }
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
  if (!ImageSizeAllowed(static_cast<uint64_t>(width), static_cast<uint64_t>(height))) return false;
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
