// The GL tests' shared start: a headless GL device (Mesa's software rasteriser) installed
// as the renderer's device, with the engine's default states, culling off, the target
// cleared to opaque black and the depth buffer to 1.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "render/device.h"

namespace yulo::test {

// Vertex layouts the GL tests draw with.
struct ColourVertex {  // D3DFVF_XYZ | D3DFVF_DIFFUSE
  float x, y, z;
  uint32_t colour;
};
struct PointVertex {  // D3DFVF_XYZ | D3DFVF_PSIZE | D3DFVF_DIFFUSE
  float x, y, z, size;
  uint32_t colour;
};

class GlDeviceFixture : public ::testing::Test {
 protected:
  explicit GlDeviceFixture(uint32_t size) : size_(size) {}
  void SetUp() override;
  void TearDown() override;

  Device* device = nullptr;  // owned by the renderer until TearDown

 private:
  uint32_t size_;  // width and height of the target, pixels
};

}  // namespace yulo::test
