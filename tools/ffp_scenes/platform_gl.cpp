// The micro-scenes on the OpenGL backend: an EGL offscreen device.
#include "ffp_scenes/ffp_platform.h"
#include "render/gl/gl_device.h"

namespace yulo {

Adapter* CreateFfpAdapter(uint32_t width, uint32_t height) {
  GlAdapterOptions options;
  options.headless = true;
  options.headlessWidth = width;
  options.headlessHeight = height;
  return CreateGlAdapter(options);
}

}  // namespace yulo
