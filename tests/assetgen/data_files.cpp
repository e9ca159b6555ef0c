#include "data_files.h"

#include <fstream>
#include <iterator>

namespace yulo::assetgen::test {

std::string ShareDir() {
  return YULO_SHARE_DIR;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(file),
                              std::istreambuf_iterator<char>());
}

bool DecodeTga(const std::vector<uint8_t>& file, Picture* out) {
  if (file.size() < 18 || file[1] != 0 || file[2] != 2) return false;
  const int idLength = file[0];
  const int width = file[12] | (file[13] << 8);
  const int height = file[14] | (file[15] << 8);
  const int bits = file[16];
  const bool topFirst = (file[17] & 0x20) != 0;
  if (bits != 24 && bits != 32) return false;
  const size_t bytesPerPixel = static_cast<size_t>(bits / 8);
  const size_t start = 18 + static_cast<size_t>(idLength);
  if (file.size() < start + bytesPerPixel * width * height) return false;
  out->width = width;
  out->height = height;
  out->rgba.assign(static_cast<size_t>(width) * height * 4, 255);
  for (int row = 0; row < height; ++row) {
    const int y = topFirst ? row : height - 1 - row;
    for (int x = 0; x < width; ++x) {
      const uint8_t* s = &file[start + (static_cast<size_t>(row) * width + x) * bytesPerPixel];
      uint8_t* d = &out->rgba[(static_cast<size_t>(y) * width + x) * 4];
      d[0] = s[2];
      d[1] = s[1];
      d[2] = s[0];
      d[3] = bytesPerPixel == 4 ? s[3] : 255;
    }
  }
  return true;
}

}  // namespace yulo::assetgen::test
