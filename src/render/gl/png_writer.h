// Writes RGBA8 pictures as PNG files (libpng).
#pragma once

#include <cstdint>

namespace yulo {

// Writes width x height RGBA8 texels (row 0 at the top) to path. False, with no file
// left behind, when the file can't be written.
bool WritePng(const char* path, const uint8_t* rgba, uint32_t width, uint32_t height);

}  // namespace yulo
