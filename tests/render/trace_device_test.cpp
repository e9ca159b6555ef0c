#include "render/trace/trace_device.h"

#include <gtest/gtest.h>

#include <cstring>

namespace yulo {
namespace {

TEST(DeviceBuffers, LocksOutsideTheBufferFail) {
  TraceDevice device;
  VertexBuffer* vb = device.CreateVertexBuffer(96, D3DUSAGE_WRITEONLY, 0x112, D3DPOOL_MANAGED);
  ASSERT_NE(vb, nullptr);
  uint8_t* data = nullptr;
  EXPECT_EQ(vb->Lock(0, 97, &data, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(vb->Lock(97, 0, &data, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(vb->Lock(64, 0xFFFFFFF0u, &data, 0), D3DERR_INVALIDCALL);  // wraps around
  ASSERT_EQ(vb->Lock(32, 0, &data, 0), D3D_OK);
  EXPECT_EQ(vb->Lock(0, 0, &data, 0), D3DERR_INVALIDCALL) << "already locked";
  EXPECT_EQ(vb->Unlock(), D3D_OK);
  EXPECT_EQ(vb->Unlock(), D3DERR_INVALIDCALL);
  vb->Release();
}

TEST(DeviceBuffers, UnlockRecordsTheWrittenBytes) {
  TraceDevice device;
  IndexBuffer* ib =
      device.CreateIndexBuffer(12, D3DUSAGE_WRITEONLY, D3DFMT_INDEX32, D3DPOOL_MANAGED);
  ASSERT_NE(ib, nullptr);
  EXPECT_EQ(ib->IndexSize(), 4u);
  uint8_t* data = nullptr;
  ASSERT_EQ(ib->Lock(0, 0, &data, 0), D3D_OK);
  const uint32_t indices[3] = {0, 70000, 131071};  // beyond 16 bits
  std::memcpy(data, indices, sizeof indices);
  ib->Unlock();
  const auto unlocks = device.RecordsOf(TraceKind::Unlock);
  ASSERT_EQ(unlocks.size(), 1u);
  ASSERT_EQ(unlocks[0]->data.size(), 12u);
  EXPECT_EQ(std::memcmp(unlocks[0]->data.data(), indices, 12), 0);
  EXPECT_EQ(static_cast<TraceIndexBuffer*>(ib)->IndexAt(1), 70000u);
  EXPECT_EQ(device.CreateIndexBuffer(12, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED), nullptr);
  ib->Release();
}

TEST(DeviceBuffers, ResourcesOutliveTheirDeviceSafely) {
  IndexBuffer* ib = nullptr;
  DeviceTexture* texture = nullptr;
  {
    TraceDevice device;
    ib = device.CreateIndexBuffer(6, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED);
    const uint8_t texels[2 * 3 * 4] = {};
    texture = device.CreateTexture(2, 3, texels);
    EXPECT_EQ(device.LiveResources(), 2u);
    device.SetTexture(0, texture);
    texture->Release();
    EXPECT_EQ(device.BoundTexture(), nullptr) << "a released texture is unbound";
    texture = device.CreateTexture(2, 3, texels);
    EXPECT_EQ(texture->LevelCount(), 2u);
  }
  EXPECT_EQ(ib->Owner(), nullptr);
  uint8_t* data = nullptr;
  EXPECT_EQ(ib->Lock(0, 0, &data, 0), D3D_OK);  // its memory is still its own
  ib->Unlock();
  ib->Release();
  texture->Release();
}

TEST(DeviceBuffers, FullMipChainsReachOneTexel) {
  EXPECT_EQ(FullMipLevelCount(1, 1), 1u);
  EXPECT_EQ(FullMipLevelCount(256, 256), 9u);
  EXPECT_EQ(FullMipLevelCount(256, 1), 9u);
  EXPECT_EQ(FullMipLevelCount(300, 20), 9u);
}

TEST(TraceRecording, NullModeKeepsStateAndCountsButNoRecords) {
  TraceDevice device;
  device.SetRecording(false);
  const float vertices[3 * 3] = {};
  device.SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device.DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, vertices, 12);
  device.DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 5, vertices, 12);
  EXPECT_TRUE(device.Records().empty());
  EXPECT_EQ(device.DrawCalls(), 2u);
  EXPECT_EQ(device.PrimitivesDrawn(), 6u);
  EXPECT_EQ(device.RenderState(D3DRS_CULLMODE), D3DCULL_NONE);
}

TEST(TraceRecording, DeviceDefaultsMatchAFreshDevice) {
  TraceDevice device;
  EXPECT_EQ(device.RenderState(D3DRS_ZENABLE), D3DZB_TRUE);
  EXPECT_EQ(device.RenderState(D3DRS_ZFUNC), D3DCMP_LESSEQUAL);
  EXPECT_EQ(device.RenderState(D3DRS_ALPHAFUNC), D3DCMP_ALWAYS);
  EXPECT_EQ(device.RenderState(D3DRS_CULLMODE), D3DCULL_CCW);
  EXPECT_EQ(device.RenderState(D3DRS_LIGHTING), 1u);
  EXPECT_EQ(BitsFloat(device.RenderState(D3DRS_POINTSCALE_A)), 1.0f);
  EXPECT_EQ(device.TextureStageState(0, D3DTSS_ALPHAOP), D3DTOP_SELECTARG1);
  EXPECT_EQ(device.TextureStageState(0, D3DTSS_MINFILTER), D3DTEXF_POINT);
}

TEST(VertexCounts, FollowThePrimitiveType) {
  EXPECT_EQ(VertexCountOf(D3DPT_POINTLIST, 1024), 1024u);
  EXPECT_EQ(VertexCountOf(D3DPT_TRIANGLELIST, 2), 6u);
  EXPECT_EQ(VertexCountOf(D3DPT_TRIANGLESTRIP, 2), 4u);
  EXPECT_EQ(VertexCountOf(D3DPT_TRIANGLESTRIP, 0), 0u);
  EXPECT_EQ(VertexCountOf(D3DPT_LINESTRIP, 3), 4u);
  // Counts whose vertices do not fit in 32 bits name nothing rather than a wrapped few.
  EXPECT_EQ(VertexCountOf(D3DPT_LINELIST, 0x80000001u), 0u);
  EXPECT_EQ(VertexCountOf(D3DPT_TRIANGLEFAN, 0xFFFFFFFFu), 0u);
}

}  // namespace
}  // namespace yulo
