// The micro-scenes on the OpenGL backend: an EGL offscreen device, read back with glReadPixels.
#include <cstdio>

#include "ffp_scenes/ffp_platform.h"
#include "render/gl/gl_device.h"
#include "render/gl/png_writer.h"

namespace yulo {

Device* CreateFfpDevice(uint32_t width, uint32_t height) {
  Device* device = CreateGlDeviceHeadless(width, height);
  if (device == nullptr) std::fprintf(stderr, "yulo-ffp-scenes: no offscreen OpenGL 3.3 context\n");
  return device;
}

bool ReadFfpFrame(Device* device, std::vector<uint8_t>* rgba, uint32_t* width, uint32_t* height) {
  return ReadFrame(device, rgba, width, height);
}

bool WriteFfpPng(const char* path, const uint8_t* rgba, uint32_t width, uint32_t height) {
  return WritePng(path, rgba, width, height);
}

}  // namespace yulo
