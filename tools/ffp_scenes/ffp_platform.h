// What the micro-scenes program needs from a platform: a device of a given size that draws
// offscreen (or into a hidden window), its frame read back, and a PNG writer.
#pragma once

#include <cstdint>
#include <vector>

#include "render/device.h"

namespace yulo {

// A device drawing a width x height frame; nullptr when none can be made (said on stderr).
Device* CreateFfpDevice(uint32_t width, uint32_t height);

// The finished frame as RGBA8, row 0 at the top; call after EndScene, before Present.
bool ReadFfpFrame(Device* device, std::vector<uint8_t>* rgba, uint32_t* width, uint32_t* height);

// Writes an RGBA8 picture (row 0 at the top) as a PNG file.
bool WriteFfpPng(const char* path, const uint8_t* rgba, uint32_t width, uint32_t height);

}  // namespace yulo
