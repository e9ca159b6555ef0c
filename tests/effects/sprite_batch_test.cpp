#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "effects/effects.h"
#include "effects/particles.h"
#include "effects/sprite_batch.h"
#include "math/math.h"
#include "models/frame_matrices.h"
#include "models/view_frustum.h"
#include "render/renderer.h"
#include "render/trace/trace_device.h"

namespace yulo {
namespace {

// A camera at the origin looking down +z: the sprite sort key grows with z.
class SpriteBatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    BuildSqrtTable();
    SetDevice(&device);
    Matrix4 projection;
    BuildPerspective(projection, 0.7853982f, 1.3333334f, 35.0f, 2500.0f);
    frameMatrices.viewFrustum.Update(Matrix4(), projection);
    frameMatrices.cameraMatrix.SetIdentity();
    effects.particleSystem.texture = nullptr;
    ResetSprites();
    device.ClearRecords();
  }
  void TearDown() override { SetDevice(nullptr); }

  // A visible sprite at view depth z, tagged through its cell.
  static void AddAt(float z, int32_t tag, int32_t kind = 0) {
    AddSprite(Vector3(0.0f, 0.0f, z), 0.0f, 1.0f, ColorARGB(255, 255, 255, 255), kind, tag);
  }
  static std::vector<int32_t> ListTags() {
    std::vector<int32_t> tags;
    for (const Sprite* s = effects.spriteBatch.head; s != nullptr; s = s->next)
      tags.push_back(s->cell);
    return tags;
  }

  TraceDevice device;
};

TEST_F(SpriteBatchTest, SpriteOutsideTheFrustumTakesNoSlot) {
  AddSprite(Vector3(0, 0, -200), 0, 2, ColorARGB(1, 2, 3, 4), 0, 7);    // behind the camera
  AddSprite(Vector3(5000, 0, 100), 0, 2, ColorARGB(1, 2, 3, 4), 0, 7);  // far to the side
  EXPECT_EQ(effects.spriteBatch.count, 0);
  EXPECT_EQ(effects.spriteBatch.head, nullptr);
  AddAt(100.0f, 9);
  EXPECT_EQ(effects.spriteBatch.count, 1);
  EXPECT_EQ(effects.spriteBatch.head, &effects.spriteBatch.pool[0]);
  EXPECT_EQ(effects.spriteBatch.pool[0].cell, 9);
}

TEST_F(SpriteBatchTest, PoolHoldsAtMost4095AndTheLastRecordIsNeverUsed) {
  effects.spriteBatch.pool[kSpritePoolSize - 1].cell = -12345;
  for (int i = 0; i < kSpritePoolSize + 10; ++i) AddAt(100.0f + static_cast<float>(i % 50), i);
  EXPECT_EQ(effects.spriteBatch.count, kMaxQueuedSprites);
  EXPECT_EQ(ListTags().size(), static_cast<size_t>(kMaxQueuedSprites));
  EXPECT_EQ(effects.spriteBatch.pool[kSpritePoolSize - 1].cell, -12345);
  device.ClearRecords();
  DrawSprites();
  EXPECT_EQ(device.RecordsOf(TraceKind::DrawPrimitiveUP).size(),
            static_cast<size_t>(kMaxQueuedSprites));
  EXPECT_EQ(effects.spriteBatch.count, 0);
  EXPECT_EQ(effects.spriteBatch.head, nullptr);
}

TEST_F(SpriteBatchTest, EqualDepthsFollowTheWalkRules) {
  AddAt(100, 1);  // 1
  AddAt(100, 2);  // walking back passes equals: 2 1
  AddAt(50, 3);   // 2 1 3
  AddAt(50, 4);   // from 3 backwards: stops at 1, goes before 3: 2 1 4 3
  AddAt(100, 5);  // from 4 backwards past 1 and 2 to the head: 5 2 1 4 3
  AddAt(50, 6);   // from 5 forwards past every depth >= 50: tail
  EXPECT_EQ(ListTags(), (std::vector<int32_t>{5, 2, 1, 4, 3, 6}));
  EXPECT_EQ(effects.spriteBatch.cursor->cell, 6);
}

// The walk of the insertion, link by link from the cursor, over a plain array.
struct ReferenceList {
  std::vector<float> depths;
  std::vector<int32_t> tags;
  size_t cursor = 0;

  void Add(float depth, int32_t tag) {
    size_t place = cursor;
    if (depths.empty()) {
      place = 0;
    } else if (depth < depths[cursor]) {
      for (++place; place < depths.size() && depth <= depths[place];) ++place;
    } else {
      while (place > 0 && depth >= depths[place - 1]) --place;
    }
    depths.insert(depths.begin() + ptrdiff_t(place), depth);
    tags.insert(tags.begin() + ptrdiff_t(place), tag);
    cursor = place;
  }
};

// Frames of random depths with many ties, runs of near depths as one emitter gives them,
// and a few NaN depths (which unsort the list, so that only the walk itself says where the
// next sprite goes): the list, read both ways, is the walk's.
TEST_F(SpriteBatchTest, RandomInsertionsGoWhereTheWalkPutsThem) {
  std::mt19937 rng(12345);
  std::uniform_int_distribution<int> depth(40, 90);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (const int count : {1500, 7, kMaxQueuedSprites}) {
    ReferenceList expected;
    float emitter = 1000.0f;
    for (int i = 0; i < count; ++i) {
      if (i % 10 == 0) emitter = float(depth(rng)) * 20.0f;
      const uint32_t roll = rng() % 200;
      AddAt(roll == 0    ? nan
            : roll < 100 ? emitter + float(roll % 7)
                         : float(depth(rng)) * 20.0f,
            i);
      expected.Add(effects.spriteBatch.pool[size_t(i)].depth, i);
    }
    ASSERT_EQ(effects.spriteBatch.count, count);
    std::vector<int32_t> forward;
    const Sprite* prev = nullptr;
    for (const Sprite* s = effects.spriteBatch.head; s != nullptr; s = s->next) {
      ASSERT_EQ(s->prev, prev);
      forward.push_back(s->cell);
      prev = s;
    }
    EXPECT_EQ(forward, expected.tags) << count;
    DrawSprites();
  }
}

TEST_F(SpriteBatchTest, BlendPairIsSetOncePerRunOfOneKind) {
  // Far to near: kinds 0 0 1 1 1 9 0 (9 keeps the pair in force).
  const int kinds[] = {0, 0, 1, 1, 1, 9, 0};
  for (int i = 0; i < 7; ++i) AddAt(1000.0f - 100.0f * static_cast<float>(i), i, kinds[i]);
  device.ClearRecords();
  DrawSprites();
  std::vector<uint32_t> src;
  std::vector<uint32_t> dst;
  for (const TraceRecord& r : device.Records()) {
    if (r.kind != TraceKind::SetRenderState) continue;
    if (r.state == D3DRS_SRCBLEND) src.push_back(r.value);
    if (r.state == D3DRS_DESTBLEND) dst.push_back(r.value);
  }
  EXPECT_EQ(src, (std::vector<uint32_t>{D3DBLEND_ZERO, D3DBLEND_SRCCOLOR, D3DBLEND_ZERO,
                                        D3DBLEND_SRCCOLOR}));
  EXPECT_EQ(dst, (std::vector<uint32_t>{D3DBLEND_INVSRCALPHA, D3DBLEND_ONE, D3DBLEND_INVSRCALPHA,
                                        D3DBLEND_ONE}));
  EXPECT_EQ(device.RecordsOf(TraceKind::DrawPrimitiveUP).size(), 7u);
}

TEST_F(SpriteBatchTest, EmptyFrameDrawsNothingButClosesTheStates) {
  DrawSprites();
  EXPECT_TRUE(device.RecordsOf(TraceKind::DrawPrimitiveUP).empty());
  std::vector<std::pair<uint32_t, uint32_t>> states;
  for (const TraceRecord& r : device.Records()) {
    if (r.kind == TraceKind::SetRenderState) states.emplace_back(r.state, r.value);
  }
  const std::vector<std::pair<uint32_t, uint32_t>> expected = {
      {D3DRS_LIGHTING, 0},
      {D3DRS_ALPHABLENDENABLE, 1},
      {D3DRS_SRCBLEND, D3DBLEND_ZERO},
      {D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA},
      {D3DRS_ZWRITEENABLE, 0},
      {D3DRS_ZWRITEENABLE, 1},
      {D3DRS_LIGHTING, 1},
      {D3DRS_ALPHATESTENABLE, 0},
      {D3DRS_ALPHABLENDENABLE, 0},
  };
  EXPECT_EQ(states, expected);
}

struct StripVertex {
  float x, y, z;
  uint32_t colour;
  float u, v;
};

std::vector<StripVertex> StripOf(const TraceRecord& r) {
  std::vector<StripVertex> v(4);
  EXPECT_EQ(r.data.size(), 4 * sizeof(StripVertex));
  std::memcpy(v.data(), r.data.data(), std::min(r.data.size(), 4 * sizeof(StripVertex)));
  return v;
}

TEST_F(SpriteBatchTest, SquareFacesTheCameraWithItsCellAndInsets) {
  // A camera turned 90 degrees about z: right and up are no longer the world axes.
  frameMatrices.cameraMatrix.SetIdentity();
  frameMatrices.cameraMatrix.RotateZ(90.0f);
  const Vector3 right = frameMatrices.cameraMatrix.AxisX();
  const Vector3 up = frameMatrices.cameraMatrix.AxisY();
  AddSprite(Vector3(1, 2, 100), 0.0f, 4.0f, ColorARGB(10, 20, 30, 40), 0, 4);  // cell 4 -> 1
  device.ClearRecords();
  DrawSprites();
  const auto draws = device.RecordsOf(TraceKind::DrawPrimitiveUP);
  ASSERT_EQ(draws.size(), 1u);
  EXPECT_EQ(draws[0]->type, static_cast<uint32_t>(D3DPT_TRIANGLESTRIP));
  const std::vector<StripVertex> v = StripOf(*draws[0]);
  // Strip order p1 p2 p0 p3 with p0 = c + B + A, p1 = c + B - A, p2 = c - B - A.
  const Vector3 c(1, 2, 100);
  const Vector3 a = up * 2.0f;
  const Vector3 b = right * 2.0f;
  const Vector3 p[4] = {c + b + a, c + b - a, c - b - a, c - b + a};
  const int order[4] = {1, 2, 0, 3};
  const float u0 = 0.33333334f + 0.001f;
  const float u1 = u0 + 0.33333334f - 0.001f;
  const float tu[4] = {u0, u1, u1, u0};
  const float tv[4] = {0.001f, 0.001f, 1.0f, 1.0f};
  for (int i = 0; i < 4; ++i) {
    const int k = order[i];
    EXPECT_NEAR(v[i].x, p[k].x, 1e-4) << i;
    EXPECT_NEAR(v[i].y, p[k].y, 1e-4) << i;
    EXPECT_NEAR(v[i].z, p[k].z, 1e-4) << i;
    EXPECT_FLOAT_EQ(v[i].u, tu[k]) << i;
    EXPECT_FLOAT_EQ(v[i].v, tv[k]) << i;
    EXPECT_EQ(v[i].colour, ColorARGB(10, 20, 30, 40).Value());
  }
}

TEST_F(SpriteBatchTest, AngleRotatesTheSquareInTheScreenPlane) {
  AddSprite(Vector3(0, 0, 100), 90.0f, 2.0f, ColorARGB(255, 255, 255, 255), 0, 0);
  DrawSprites();
  const auto draws = device.RecordsOf(TraceKind::DrawPrimitiveUP);
  ASSERT_EQ(draws.size(), 1u);
  const std::vector<StripVertex> v = StripOf(*draws[0]);
  // At 90 degrees A = right and B = -up: p0 = c + B + A = (1, -1).
  EXPECT_NEAR(v[2].x, 1.0f, 1e-5);
  EXPECT_NEAR(v[2].y, -1.0f, 1e-5);
  // p1 = c + B - A = (-1, -1).
  EXPECT_NEAR(v[0].x, -1.0f, 1e-5);
  EXPECT_NEAR(v[0].y, -1.0f, 1e-5);
}

}  // namespace
}  // namespace yulo
