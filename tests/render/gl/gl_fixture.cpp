#include "gl_fixture.h"

#include "render/gl/gl_device.h"
#include "render/renderer.h"

namespace yulo::test {

void GlDeviceFixture::SetUp() {
  device = CreateGlDeviceHeadless(size_, size_);
  ASSERT_NE(device, nullptr) << "no EGL surfaceless context (Mesa) available";
  SetDevice(device, true);
  ApplyDefaultStates();
  SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  ClearTarget(0xFF000000u);
  ClearDepth(1.0f);
}

void GlDeviceFixture::TearDown() {
  ReleaseRenderer();
}

}  // namespace yulo::test
