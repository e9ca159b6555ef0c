#include "resources/png_writer.h"

#include <cstdio>
#include <cstring>

namespace yulo {

namespace {

// Level 1 with run-length matching only: frames are large and many, and after the Sub
// filter (on every row) the scene's smooth gradients are mostly runs. On the scene's
// frames this is faster than level 1's default matching and the files are a little
// smaller; stronger levels cost several times the time for a tenth less size.
constexpr int kDeflateLevel = 1;
constexpr uint8_t kFilterSub = 1;
constexpr uint32_t kMaxPngSide = 0x7FFFFFFFu;

void PutBigEndian(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value >> 24);
  at[1] = static_cast<uint8_t>(value >> 16);
  at[2] = static_cast<uint8_t>(value >> 8);
  at[3] = static_cast<uint8_t>(value);
}

}  // namespace

PngEncoder::PngEncoder() {
  streamReady_ = deflateInit2(&stream_, kDeflateLevel, Z_DEFLATED, 15, 8, Z_RLE) == Z_OK;
}

PngEncoder::~PngEncoder() {
  if (streamReady_) deflateEnd(&stream_);
}

void PngEncoder::Append(const void* bytes, size_t count) {
  if (size_ + count > out_.size()) out_.resize(size_ + count);
  std::memcpy(out_.data() + size_, bytes, count);
  size_ += count;
}

void PngEncoder::BeginChunk(const char type[4]) {
  chunkStart_ = size_;
  const uint8_t lengthPlaceholder[4] = {};
  Append(lengthPlaceholder, 4);
  Append(type, 4);
}

// Fills in the length and appends the CRC of the type and data.
void PngEncoder::EndChunk() {
  const size_t dataLength = size_ - chunkStart_ - 8;
  PutBigEndian(out_.data() + chunkStart_, static_cast<uint32_t>(dataLength));
  const uLong crc =
      crc32(crc32(0L, Z_NULL, 0), out_.data() + chunkStart_ + 4, static_cast<uInt>(dataLength + 4));
  uint8_t tail[4];
  PutBigEndian(tail, static_cast<uint32_t>(crc));
  Append(tail, 4);
}

bool PngEncoder::Encode(const uint8_t* rgba, uint32_t width, uint32_t height) {
  size_ = 0;
  if (!streamReady_ || rgba == nullptr || width == 0 || height == 0 || width > kMaxPngSide ||
      height > kMaxPngSide) {
    return false;
  }
  const size_t rowBytes = 1 + static_cast<size_t>(width) * 3;
  const size_t rawBytes = rowBytes * height;
  // One deflate call takes at most 4 GiB - 1 in and out.
  if (rawBytes > 0xFFFF0000u / 2) return false;

  filtered_.resize(rawBytes);
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* in = rgba + static_cast<size_t>(y) * width * 4;
    uint8_t* out = filtered_.data() + static_cast<size_t>(y) * rowBytes;
    *out++ = kFilterSub;
    uint8_t pr = 0, pg = 0, pb = 0;
    for (uint32_t x = 0; x < width; ++x, in += 4, out += 3) {
      out[0] = static_cast<uint8_t>(in[0] - pr);
      out[1] = static_cast<uint8_t>(in[1] - pg);
      out[2] = static_cast<uint8_t>(in[2] - pb);
      pr = in[0];
      pg = in[1];
      pb = in[2];
    }
  }

  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Append(kSignature, sizeof kSignature);
  BeginChunk("IHDR");
  uint8_t header[13];
  PutBigEndian(header, width);
  PutBigEndian(header + 4, height);
  header[8] = 8;   // bits per channel
  header[9] = 2;   // RGB
  header[10] = 0;  // deflate
  header[11] = 0;  // adaptive filtering (one filter byte per row)
  header[12] = 0;  // not interlaced
  Append(header, sizeof header);
  EndChunk();

  BeginChunk("IDAT");
  const uLong bound = deflateBound(&stream_, static_cast<uLong>(rawBytes));
  if (out_.size() < size_ + bound + 12) out_.resize(size_ + bound + 12);
  if (deflateReset(&stream_) != Z_OK) return false;
  stream_.next_in = filtered_.data();
  stream_.avail_in = static_cast<uInt>(rawBytes);
  stream_.next_out = out_.data() + size_;
  stream_.avail_out = static_cast<uInt>(bound);
  const int result = deflate(&stream_, Z_FINISH);
  if (result != Z_STREAM_END) {
    size_ = 0;
    return false;
  }
  size_ += bound - stream_.avail_out;
  EndChunk();

  BeginChunk("IEND");
  EndChunk();
  return true;
}

bool PngEncoder::Write(const char* path, const uint8_t* rgba, uint32_t width, uint32_t height) {
  if (path == nullptr || !Encode(rgba, width, height)) return false;
  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(out_.data(), 1, size_, file) == size_;
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    std::remove(path);
    return false;
  }
  return true;
}

bool WritePng(const char* path, const uint8_t* rgba, uint32_t width, uint32_t height) {
  PngEncoder encoder;
  return encoder.Write(path, rgba, width, height);
}

}  // namespace yulo
