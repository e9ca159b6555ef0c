// The scene's start-up on the recording device: lighting first, then the particle texture,
// then the assets in the order the scene loads them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render/trace/trace_device.h"
#include "resources/texture_manager.h"
#include "scene_fixture.h"

namespace yulo {
namespace {

std::string Describe(const std::vector<TraceKind>& kinds) {
  std::string text;
  for (TraceKind k : kinds) text += std::string(TraceKindName(k)) + " ";
  return text;
}

TEST(SceneInit, LightsFirstThenParticlesThenAssetsInLoadingOrder) {
  const std::vector<TraceRecord>& records = test::InitRecords();
  std::vector<TraceKind> device;   // the state calls before anything is created
  std::vector<TraceKind> created;  // every resource creation, in order
  for (const TraceRecord& r : records) {
    const bool creation = r.kind == TraceKind::CreateTexture ||
                          r.kind == TraceKind::CreateVertexBuffer ||
                          r.kind == TraceKind::CreateIndexBuffer;
    if (creation) {
      created.push_back(r.kind);
    } else if (created.empty() && r.kind != TraceKind::TestCooperativeLevel) {
      device.push_back(r.kind);
    }
  }

  // SetupLighting runs before anything is loaded.
  const std::vector<TraceKind> lighting = {TraceKind::SetRenderState, TraceKind::SetLight,
                                           TraceKind::LightEnable, TraceKind::SetMaterial};
  EXPECT_EQ(device, lighting) << Describe(device);

  // The particle texture, then the scene's three textures, then each character: the skin's
  // index buffer and texture once for both reindeer, a vertex buffer each, then the driver.
  const std::vector<TraceKind> expected = {
      TraceKind::CreateTexture,      TraceKind::CreateTexture,      TraceKind::CreateTexture,
      TraceKind::CreateTexture,      TraceKind::CreateIndexBuffer,  TraceKind::CreateTexture,
      TraceKind::CreateVertexBuffer, TraceKind::CreateVertexBuffer, TraceKind::CreateIndexBuffer,
      TraceKind::CreateTexture,      TraceKind::CreateVertexBuffer};
  EXPECT_EQ(created, expected) << Describe(created);

  const char* names[] = {"particles.tga", "snowflake.tga", "fir.tga",
                         "fir2.tga",      "deer.tga",      "yulo.tga"};
  ASSERT_EQ(textureManager.Count(), 6);
  for (int i = 0; i < 6; ++i) EXPECT_STREQ(textureManager.At(i)->name, names[i]) << i;
}

}  // namespace
}  // namespace yulo
