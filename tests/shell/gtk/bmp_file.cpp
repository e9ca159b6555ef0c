#include "bmp_file.h"

#include <cstdint>
#include <fstream>
#include <vector>

namespace yulo::test {

namespace {

void Put(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

bool WriteSolidBmp(const std::string& path, int width, int height, int r, int g, int b) {
  const uint32_t rowBytes = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
  const uint32_t pixelBytes = rowBytes * static_cast<uint32_t>(height);
  std::vector<uint8_t> file;
  file.push_back('B');
  file.push_back('M');
  Put(file, 54 + pixelBytes, 4);
  Put(file, 0, 4);
  Put(file, 54, 4);
  Put(file, 40, 4);  // BITMAPINFOHEADER
  Put(file, static_cast<uint32_t>(width), 4);
  Put(file, static_cast<uint32_t>(height), 4);
  Put(file, 1, 2);
  Put(file, 24, 2);
  Put(file, 0, 4);
  Put(file, pixelBytes, 4);
  Put(file, 2835, 4);
  Put(file, 2835, 4);
  Put(file, 0, 4);
  Put(file, 0, 4);
  for (int y = 0; y < height; ++y) {
    uint32_t row = 0;
    for (int x = 0; x < width; ++x, row += 3) {
      file.push_back(static_cast<uint8_t>(b));
      file.push_back(static_cast<uint8_t>(g));
      file.push_back(static_cast<uint8_t>(r));
    }
    for (; row < rowBytes; ++row) file.push_back(0);
  }
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  return out.good();
}

}  // namespace yulo::test
