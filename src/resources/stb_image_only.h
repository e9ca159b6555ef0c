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
// stb_image reads 16-bit TGA texels as opaque; when the header gives them an attribute
// bit, it is their alpha: this writes it into the decoded width x height RGBA texels.
void StbTgaAttributeAlpha(const uint8_t* data, size_t size, uint8_t* rgba, uint32_t width,
                          uint32_t height);

}  // namespace yulo
