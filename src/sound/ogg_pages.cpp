#include "sound/ogg_pages.h"

#include <array>
#include <cstring>

namespace yulo {

namespace {

constexpr size_t kPageHeaderSize = 27;  // before the segment table
constexpr size_t kChecksumOffset = 22;

// The Ogg checksum: CRC-32 with polynomial 0x04C11DB7, no reflection, starting at zero.
constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t r = i << 24;
    for (int bit = 0; bit < 8; ++bit) r = (r & 0x80000000u) != 0 ? (r << 1) ^ 0x04C11DB7u : r << 1;
    table[i] = r;
  }
  return table;
}
constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

// End of the page starting at page (its checksum verified), or 0 when it is no page.
size_t PageEnd(const uint8_t* bytes, size_t size, size_t page) {
  if (size - page < kPageHeaderSize || bytes[page + 4] != 0) return 0;
  const size_t segments = bytes[page + 26];
  if (size - page - kPageHeaderSize < segments) return 0;
  size_t length = kPageHeaderSize + segments;
  for (size_t i = 0; i < segments; ++i) length += bytes[page + kPageHeaderSize + i];
  if (size - page < length) return 0;
  uint32_t crc = 0;
  for (size_t i = 0; i < length; ++i) {
    const bool inChecksum = i >= kChecksumOffset && i < kChecksumOffset + 4;
    const uint8_t byte = inChecksum ? 0 : bytes[page + i];
    crc = (crc << 8) ^ kCrcTable[((crc >> 24) ^ byte) & 0xFF];
  }
  const uint8_t* stored = bytes + page + kChecksumOffset;
  const uint32_t expected =
      static_cast<uint32_t>(stored[0]) | static_cast<uint32_t>(stored[1]) << 8 |
      static_cast<uint32_t>(stored[2]) << 16 | static_cast<uint32_t>(stored[3]) << 24;
  return crc == expected ? page + length : 0;
}

}  // namespace

size_t OggPlayableLength(const uint8_t* bytes, size_t size) {
  // From the end backwards to the first capture pattern that starts a valid page: one pass
  // over the tail, whatever fills it.
  for (size_t page = size >= 4 ? size - 4 : 0; size >= 4; --page) {
    if (bytes[page] == 'O' && std::memcmp(bytes + page, "OggS", 4) == 0) {
      const size_t end = PageEnd(bytes, size, page);
      if (end != 0) return end;
    }
    if (page == 0) break;
  }
  return size;
}

}  // namespace yulo
