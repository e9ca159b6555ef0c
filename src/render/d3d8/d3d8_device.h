// The Direct3D 8 backend: the Device interface on a real IDirect3DDevice8 (Windows).
#pragma once

#include <cstdint>

#include "render/device.h"

namespace yulo {

struct D3d8AdapterOptions {
  // Devices created for no window draw into a hidden window of offscreenWidth x
  // offscreenHeight and never present: their frames are only read back (Device::ReadFrame).
  uint32_t offscreenWidth = 800;
  uint32_t offscreenHeight = 600;
};

// The default adapter of Direct3D 8, for CreateRenderer; nullptr when the system has no
// Direct3D 8 (Direct3DCreate8 fails). Devices for a window (an HWND) present into it;
// offscreen devices always get a lockable back buffer.
Adapter* CreateD3d8Adapter(const D3d8AdapterOptions& options);

}  // namespace yulo
