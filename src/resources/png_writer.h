// PNG files from RGBA8 frames, written as 8-bit RGB (the frames are opaque) with zlib
// alone, so that every platform build writes the same bytes for the same pixels.
#pragma once

#include <cstdint>
#include <vector>

#include <zlib.h>

namespace yulo {

// Encodes frames into PNG bytes. Keeps its buffers and its deflate stream between frames:
// after the first frame of a size, encoding allocates nothing. Not thread-safe; one
// encoder per thread.
class PngEncoder {
 public:
  PngEncoder();
  ~PngEncoder();
  PngEncoder(const PngEncoder&) = delete;
  PngEncoder& operator=(const PngEncoder&) = delete;

  // Encodes width x height RGBA8 texels (row 0 at the top; alpha ignored) as an RGB PNG.
  // The bytes depend only on the pixels. False when the size is 0 or too large for PNG.
  bool Encode(const uint8_t* rgba, uint32_t width, uint32_t height);
  // The file of the last successful Encode.
  const uint8_t* Data() const { return out_.data(); }
  size_t Size() const { return size_; }

  // Encodes and writes the file; false, with no file left behind, when it can't be written.
  bool Write(const char* path, const uint8_t* rgba, uint32_t width, uint32_t height);

 private:
  void Append(const void* bytes, size_t count);
  void BeginChunk(const char type[4]);
  void EndChunk();

  z_stream stream_{};
  bool streamReady_ = false;
  std::vector<uint8_t> filtered_;  // one filter byte and the RGB bytes per row
  std::vector<uint8_t> out_;       // the whole file
  size_t size_ = 0;
  size_t chunkStart_ = 0;
};

// One-shot form of PngEncoder::Write.
bool WritePng(const char* path, const uint8_t* rgba, uint32_t width, uint32_t height);

}  // namespace yulo
