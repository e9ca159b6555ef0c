// The texture record the renderer binds and the texture manager hands out.
#pragma once

#include <cstddef>
#include <cstdint>

#include "render/device.h"

namespace yulo {

inline constexpr int kTextureNameCapacity = 128;

struct Texture {
  char name[kTextureNameCapacity];  // exactly as requested (case kept), zero-terminated
  uint32_t width;                   // texels of the device texture's top level
  uint32_t height;                  // texels of the device texture's top level
  DeviceTexture* texture;           // the device texture; the record holds it
  bool alphaTest;                   // the name contains ".tga" or ".TGA": draw alpha-tested
};

}  // namespace yulo
