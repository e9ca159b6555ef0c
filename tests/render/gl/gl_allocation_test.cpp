// Steady-state frames on the GL device allocate nothing from the C++ heap.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "gl_fixture.h"
#include "render/gl/gl_device.h"
#include "render/renderer.h"
#include "support/allocation/allocation_counter.h"

namespace yulo {
namespace {

using test::PointVertex;

TEST(GlAllocations, FramesAfterTheFirstAllocateNothing) {
  Device* device = CreateGlDeviceHeadless(64, 48);
  ASSERT_NE(device, nullptr);
  SetDevice(device, true);
  ApplyDefaultStates();
  const uint8_t texels[4 * 4] = {255, 255, 255, 255, 0, 0, 0, 128, 9, 9, 9, 9, 1, 2, 3, 4};
  DeviceTexture* texture = device->CreateTexture(2, 2, texels);
  VertexBuffer* vb = device->CreateVertexBuffer(32 * 3, D3DUSAGE_WRITEONLY, 0x112, D3DPOOL_MANAGED);
  IndexBuffer* ib =
      device->CreateIndexBuffer(6, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED);
  uint8_t* bytes = nullptr;
  ASSERT_EQ(vb->Lock(0, 0, &bytes, 0), D3D_OK);
  std::memset(bytes, 0, 32 * 3);
  vb->Unlock();
  ASSERT_EQ(ib->Lock(0, 0, &bytes, 0), D3D_OK);
  const uint16_t indices[3] = {0, 1, 2};
  std::memcpy(bytes, indices, sizeof indices);
  ib->Unlock();
  PointVertex flakes[256] = {};
  Texture record{};
  record.texture = texture;
  std::vector<uint8_t> frame;
  uint32_t w = 0, h = 0;

  long counted = 0;
  for (int i = 0; i < 4; ++i) {
    const long before = test::AllocationCount();
    BeginScene();
    ClearTarget(0xFF000000u);
    ClearDepth(1.0f);
    SetTexture(&record);
    for (int q = 0; q < 50; ++q) {
      const ColorARGB c(q, 2 * q, 3 * q, 255);
      SetRenderState(D3DRS_ALPHABLENDENABLE, q % 3 == 0);
      DrawColoredQuad(Vector3(0, 0, 0.5f), Vector3(0, 1, 0.5f), Vector3(1, 1, 0.5f),
                      Vector3(1, 0, 0.5f), c, c, c, c);
    }
    DrawUserPrimitives(flakes, 256, D3DFVF_XYZ | D3DFVF_PSIZE | D3DFVF_DIFFUSE, D3DPT_POINTLIST);
    SetRenderState(D3DRS_LIGHTING, 1);
    device->SetStreamSource(0, vb, 32);
    device->SetVertexShader(0x112);
    device->SetIndices(ib, 0);
    device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 3, 0, 1);
    SetRenderState(D3DRS_LIGHTING, 0);
    EndScene();
    PresentFrame();
    ReadFrame(device, &frame, &w, &h);
    if (i > 0) counted += test::AllocationCount() - before;
  }
  EXPECT_EQ(counted, 0);
  ib->Release();
  vb->Release();
  texture->Release();
  ReleaseRenderer();
}

}  // namespace
}  // namespace yulo
