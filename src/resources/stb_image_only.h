// The BMP and TGA readers of stb_image, built here with every other format left out.
#pragma once

#include <stb/stb_image.h>

#include <cstddef>
#include <cstdint>

namespace yulo {

// The bytes start with a TGA header stb_image accepts.
bool StbIsTga(const uint8_t* data, size_t size);
// The file holds every byte of pixel data its header announces. stb_image reads zeros past
// the end of its input instead of failing, so a cut-off file is caught here.
bool StbPayloadComplete(const uint8_t* data, size_t size);

}  // namespace yulo
