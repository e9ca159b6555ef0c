#include "render/renderer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "render/trace/trace_device.h"

namespace yulo {
namespace {

// Every test draws on its own recording device, installed as the current one.
class RendererTest : public ::testing::Test {
 protected:
  void SetUp() override { SetDevice(&device); }
  void TearDown() override { SetDevice(nullptr); }
  TraceDevice device;
};

Matrix4 Numbered(float base) {
  Matrix4 m;
  for (int i = 0; i < 16; ++i) m[i] = base + static_cast<float>(i);
  return m;
}

bool SameMatrix(const Matrix4& a, const Matrix4& b) {
  return std::memcmp(a.Data(), b.Data(), sizeof(float) * 16) == 0;
}

TEST_F(RendererTest, DefaultStatesGoInTheirFixedOrder) {
  ApplyDefaultStates();
  struct Expected {
    TraceKind kind;
    uint32_t state;
    uint32_t value;
  };
  const Expected expected[] = {
      {TraceKind::SetRenderState, D3DRS_ZENABLE, D3DZB_TRUE},
      {TraceKind::SetRenderState, D3DRS_ALPHAREF, 128},
      {TraceKind::SetRenderState, D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL},
      {TraceKind::SetRenderState, D3DRS_LASTPIXEL, 0},
      {TraceKind::SetRenderState, D3DRS_CULLMODE, D3DCULL_CCW},
      {TraceKind::SetRenderState, D3DRS_LIGHTING, 0},
      {TraceKind::SetRenderState, D3DRS_SPECULARMATERIALSOURCE, D3DMCS_MATERIAL},
      {TraceKind::SetRenderState, D3DRS_AMBIENT, 0xFFFFFFFFu},
      {TraceKind::SetRenderState, D3DRS_POINTSPRITEENABLE, 1},
      {TraceKind::SetRenderState, D3DRS_POINTSCALEENABLE, 1},
      {TraceKind::SetRenderState, D3DRS_POINTSIZE, 0x3F800000u},      // 1.0
      {TraceKind::SetRenderState, D3DRS_POINTSIZE_MIN, 0x3C23D70Au},  // 0.01
      {TraceKind::SetRenderState, D3DRS_POINTSCALE_A, 0x00000000u},
      {TraceKind::SetRenderState, D3DRS_POINTSCALE_B, 0x40A00000u},  // 5.0
      {TraceKind::SetRenderState, D3DRS_POINTSCALE_C, 0x40A00000u},
      {TraceKind::SetTextureStageState, D3DTSS_ADDRESSU, D3DTADDRESS_WRAP},
      {TraceKind::SetTextureStageState, D3DTSS_ADDRESSV, D3DTADDRESS_WRAP},
      {TraceKind::SetTextureStageState, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2},
      {TraceKind::SetTextureStageState, D3DTSS_MAGFILTER, D3DTEXF_LINEAR},
      {TraceKind::SetTextureStageState, D3DTSS_MINFILTER, D3DTEXF_LINEAR},
      {TraceKind::SetTextureStageState, D3DTSS_MIPFILTER, D3DTEXF_LINEAR},
      {TraceKind::SetTextureStageState, D3DTSS_ALPHAOP, D3DTOP_MODULATE},
  };
  const auto& records = device.Records();
  ASSERT_EQ(records.size(), std::size(expected));
  for (size_t i = 0; i < records.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(records[i].kind, expected[i].kind);
    EXPECT_EQ(records[i].state, expected[i].state);
    EXPECT_EQ(records[i].value, expected[i].value);
    EXPECT_EQ(records[i].stage, 0u);
  }
}

TEST_F(RendererTest, MissingMatricesInstallIdentityAndGivenOnesAreCopied) {
  const Matrix4 identity;
  const Matrix4 world = Numbered(1.0f);
  SetWorldMatrix(nullptr);
  SetViewMatrix(nullptr);
  SetTextureMatrix(nullptr);
  SetWorldMatrix(&world);
  SetProjectionMatrix(Numbered(100.0f));
  const auto sets = device.RecordsOf(TraceKind::SetTransform);
  ASSERT_EQ(sets.size(), 5u);
  EXPECT_EQ(sets[0]->state, D3DTS_WORLD);
  EXPECT_EQ(sets[1]->state, D3DTS_VIEW);
  EXPECT_EQ(sets[2]->state, D3DTS_TEXTURE0);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(SameMatrix(sets[i]->matrix, identity));
  EXPECT_TRUE(SameMatrix(sets[3]->matrix, world));
  EXPECT_EQ(sets[4]->state, D3DTS_PROJECTION);

  Matrix4 read = Numbered(-5.0f);
  GetProjectionMatrix(&read);
  EXPECT_TRUE(SameMatrix(read, Numbered(100.0f)));
  const Matrix4 view = Numbered(7.0f);
  SetViewMatrix(&view);
  GetViewMatrix(&read);
  EXPECT_TRUE(SameMatrix(read, view));
}

TEST_F(RendererTest, ClearsAndSceneBracketsAreSingleDeviceCalls) {
  BeginScene();
  ClearTarget(0xFF102030u);
  ClearDepth(1.0f);
  EndScene();
  const auto& r = device.Records();
  ASSERT_EQ(r.size(), 4u);
  EXPECT_EQ(r[0].kind, TraceKind::BeginScene);
  EXPECT_EQ(r[1].kind, TraceKind::Clear);
  EXPECT_EQ(r[1].type, D3DCLEAR_TARGET);
  EXPECT_EQ(r[1].value, 0xFF102030u);
  EXPECT_EQ(r[1].z, 0.0f);
  EXPECT_EQ(r[2].type, D3DCLEAR_ZBUFFER);
  EXPECT_EQ(r[2].value, 0u);
  EXPECT_EQ(r[2].z, 1.0f);
  EXPECT_EQ(r[3].kind, TraceKind::EndScene);
}

TEST_F(RendererTest, SetTextureBindsTheRecordsDeviceTextureOrNone) {
  const uint8_t texel[4] = {1, 2, 3, 4};
  Texture record{};
  record.texture = device.CreateTexture(1, 1, texel);
  SetTexture(&record);
  EXPECT_EQ(device.BoundTexture(), record.texture);
  SetTexture(nullptr);
  EXPECT_EQ(device.BoundTexture(), nullptr);
  const auto binds = device.RecordsOf(TraceKind::SetTexture);
  ASSERT_EQ(binds.size(), 2u);
  EXPECT_EQ(binds[0]->stage, 0u);
  EXPECT_EQ(binds[1]->object, nullptr);
  record.texture->Release();
}

TEST_F(RendererTest, UserDrawStrideCountsOnlyTheListedBits) {
  EXPECT_EQ(UserVertexStride(D3DFVF_XYZ | D3DFVF_PSIZE | D3DFVF_DIFFUSE), 20u);
  EXPECT_EQ(UserVertexStride(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1), 32u);
  EXPECT_EQ(UserVertexStride(0x142), 24u);
  EXPECT_EQ(UserVertexStride(D3DFVF_XYZ | D3DFVF_SPECULAR), 16u);
  // Only one texture set is counted: a second set's bit adds nothing.
  EXPECT_EQ(UserVertexStride(D3DFVF_XYZ | 0x200), 12u);
}

TEST_F(RendererTest, UserDrawUnbindsStreamSetsFormatAndDraws) {
  float points[3 * 5] = {};
  for (int i = 0; i < 15; ++i) points[i] = static_cast<float>(i);
  const uint32_t fvf = D3DFVF_XYZ | D3DFVF_PSIZE | D3DFVF_DIFFUSE;
  DrawUserPrimitives(points, 3, fvf, D3DPT_POINTLIST);
  const auto& r = device.Records();
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[0].kind, TraceKind::SetStreamSource);
  EXPECT_EQ(r[0].object, nullptr);
  EXPECT_EQ(r[0].value, 20u);
  EXPECT_EQ(r[1].kind, TraceKind::SetVertexShader);
  EXPECT_EQ(r[1].value, fvf);
  EXPECT_EQ(r[2].kind, TraceKind::DrawPrimitiveUP);
  EXPECT_EQ(r[2].type, D3DPT_POINTLIST);
  EXPECT_EQ(r[2].count, 3u);
  EXPECT_EQ(r[2].value, 20u);
  EXPECT_EQ(r[2].object, points);
  ASSERT_EQ(r[2].data.size(), sizeof points);
  EXPECT_EQ(std::memcmp(r[2].data.data(), points, sizeof points), 0);
}

QuadVertex VertexAt(const TraceRecord& draw, int i) {
  QuadVertex v;
  std::memcpy(&v, draw.data.data() + i * sizeof(QuadVertex), sizeof v);
  return v;
}

void ExpectVertex(const QuadVertex& v, const Vector3& p, uint32_t colour, float u, float t) {
  EXPECT_EQ(v.position.x, p.x);
  EXPECT_EQ(v.position.y, p.y);
  EXPECT_EQ(v.position.z, p.z);
  EXPECT_EQ(v.color, colour);
  EXPECT_EQ(v.u, u);
  EXPECT_EQ(v.v, t);
}

TEST_F(RendererTest, ColoredQuadIsTwoTrianglesWithMirroredCoordinates) {
  const Vector3 p0(0, 0, 1), p1(0, 1, 1), p2(1, 1, 1), p3(1, 0, 1);
  const ColorARGB c0(10, 20, 30, 40), c1(50, 60, 70, 80), c2(1, 2, 3, 4), c3(5, 6, 7, 8);
  DrawColoredQuad(p0, p1, p2, p3, c0, c1, c2, c3);
  const auto draws = device.RecordsOf(TraceKind::DrawPrimitiveUP);
  ASSERT_EQ(draws.size(), 1u);
  const TraceRecord& d = *draws[0];
  EXPECT_EQ(d.type, D3DPT_TRIANGLELIST);
  EXPECT_EQ(d.count, 2u);
  EXPECT_EQ(d.value, 24u);
  EXPECT_EQ(device.Fvf(), 0x142u);
  ASSERT_EQ(d.data.size(), 6 * sizeof(QuadVertex));
  ExpectVertex(VertexAt(d, 0), p0, 0x280A141Eu, 0.0f, 0.0f);
  ExpectVertex(VertexAt(d, 1), p1, c1.Value(), 0.0f, -1.0f);
  ExpectVertex(VertexAt(d, 2), p2, c2.Value(), -1.0f, -1.0f);
  ExpectVertex(VertexAt(d, 3), p0, c0.Value(), 0.0f, 0.0f);
  ExpectVertex(VertexAt(d, 4), p2, c2.Value(), -1.0f, -1.0f);
  ExpectVertex(VertexAt(d, 5), p3, c3.Value(), -1.0f, 0.0f);
}

TEST_F(RendererTest, TexturedStripOrdersCornersOneTwoZeroThree) {
  const Vector3 p0(1, 0, 0), p1(2, 0, 0), p2(3, 0, 0), p3(4, 0, 0);
  const Vector2 t0(0.1f, 0.2f), t1(0.3f, 0.4f), t2(0.5f, 0.6f), t3(0.7f, 0.8f);
  const ColorARGB colour(255, 128, 0, 200);
  DrawTexturedStrip(p0, p1, p2, p3, t0, t1, t2, t3, colour);
  const auto& r = device.Records();
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[0].kind, TraceKind::SetStreamSource);
  EXPECT_EQ(r[0].value, 24u);
  EXPECT_EQ(r[1].value, 0x142u);
  const TraceRecord& d = r[2];
  EXPECT_EQ(d.type, D3DPT_TRIANGLESTRIP);
  EXPECT_EQ(d.count, 2u);
  EXPECT_EQ(d.object, QuadVertices());
  ASSERT_EQ(d.data.size(), 4 * sizeof(QuadVertex));
  ExpectVertex(VertexAt(d, 0), p1, 0xC8FF8000u, 0.3f, 0.4f);
  ExpectVertex(VertexAt(d, 1), p2, 0xC8FF8000u, 0.5f, 0.6f);
  ExpectVertex(VertexAt(d, 2), p0, 0xC8FF8000u, 0.1f, 0.2f);
  ExpectVertex(VertexAt(d, 3), p3, 0xC8FF8000u, 0.7f, 0.8f);
}

TEST(BuildPerspective, MatchesTheLeftHandedZeroToOneProjection) {
  Matrix4 m = Matrix4().SetIdentity();
  m.m[3][3] = 9.0f;  // every element is overwritten
  Matrix4& result = BuildPerspective(m, 0.7853982f, 1.3333334f, 35.0f, 2500.0f);
  EXPECT_EQ(&result, &m);
  EXPECT_NEAR(m.m[1][1], 2.4142136f, 1e-5f);
  EXPECT_NEAR(m.m[0][0], 1.8106600f, 1e-5f);
  EXPECT_NEAR(m.m[2][2], 1.0141988f, 1e-6f);
  EXPECT_NEAR(m.m[3][2], -35.4969574f, 1e-4f);
  EXPECT_EQ(m.m[2][3], 1.0f);
  EXPECT_EQ(m.m[3][3], 0.0f);
  EXPECT_EQ(m.m[0][1], 0.0f);
  EXPECT_EQ(m.m[3][0], 0.0f);
  // A point on the near plane lands at depth 0, one on the far plane at depth 1.
  for (float z : {35.0f, 2500.0f}) {
    const float clipZ = z * m.m[2][2] + m.m[3][2];
    const float clipW = z * m.m[2][3];
    EXPECT_NEAR(clipZ / clipW, z == 35.0f ? 0.0f : 1.0f, 1e-5f);
  }
}

TEST(RendererWithoutDevice, FunctionsAreHarmless) {
  SetDevice(nullptr);
  const Vector3 p;
  const ColorARGB c(0, 0, 0, 0);
  ClearTarget(0);
  SetWorldMatrix(nullptr);
  ApplyDefaultStates();
  PresentFrame();
  DrawColoredQuad(p, p, p, p, c, c, c, c);
  Matrix4 m = Numbered(3.0f);
  GetViewMatrix(&m);
  EXPECT_TRUE(SameMatrix(m, Numbered(3.0f)));
  EXPECT_EQ(GetDevice(), nullptr);
}

}  // namespace
}  // namespace yulo
