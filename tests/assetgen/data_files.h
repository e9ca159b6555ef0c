// Helpers shared by the data-set tests: reading files of the generated folder and
// decoding the generator's uncompressed TGA pictures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace yulo::assetgen::test {

// The folder the build generated (…/share/yulo).
std::string ShareDir();
// Whole file, or an empty vector when it can't be read.
std::vector<uint8_t> ReadAll(const std::string& path);

struct Picture {
  int width = 0, height = 0;
  std::vector<uint8_t> rgba;  // top row first
  const uint8_t* At(int x, int y) const { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
};
// Decodes an uncompressed 24- or 32-bit TGA (either row order); false on anything else.
bool DecodeTga(const std::vector<uint8_t>& file, Picture* out);

}  // namespace yulo::assetgen::test
