// What the micro-scenes program needs from a platform: the adapter of its headless device
// (drawing width x height frames offscreen, read back through Device::ReadFrame).
#pragma once

#include <cstdint>

#include "render/device.h"

namespace yulo {

// The adapter for CreateRenderer; nullptr when the graphics system is missing.
Adapter* CreateFfpAdapter(uint32_t width, uint32_t height);

}  // namespace yulo
