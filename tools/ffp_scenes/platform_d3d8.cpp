// The micro-scenes on Direct3D 8: an offscreen device (a hidden window, read back from a
// lockable back buffer).
#include "ffp_scenes/ffp_platform.h"
#include "render/d3d8/d3d8_device.h"

namespace yulo {

Adapter* CreateFfpAdapter(uint32_t width, uint32_t height) {
  D3d8AdapterOptions options;
  options.offscreenWidth = width;
  options.offscreenHeight = height;
  return CreateD3d8Adapter(options);
}

}  // namespace yulo
