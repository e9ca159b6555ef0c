#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "base/shell_state.h"
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

// The particles are emitted in front of a camera at the origin looking down +z, so every
// one of them is queued as a sprite. The texture is not loaded here (InitParticles is
// covered by the scene tests with real files); the ring is cleared by hand.
class ParticlesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    BuildSqrtTable();
    SetDevice(&device);
    Matrix4 projection;
    BuildPerspective(projection, 0.7853982f, 1.3333334f, 35.0f, 2500.0f);
    frameMatrices.viewFrustum.Update(Matrix4(), projection);
    effects.particleSystem = ParticleSystem{};
    ResetSprites();
    RandomSeed(1234);
    frameTiming.elapsedMs = 0;
    frameTiming.elapsedTime = 0.0f;
  }
  void TearDown() override {
    frameTiming.elapsedTime = 0.0f;
    SetDevice(nullptr);
  }
  static void Step(float ms) {
    frameTiming.elapsedTime = ms;
    UpdateParticles();
    DrawSprites();
  }

  const Vector3 point{8.5f, 20.0f, 300.0f};
  TraceDevice device;
};

TEST_F(ParticlesTest, The2049thParticleOverwritesSlotZeroEvenWhileItLives) {
  EmitParticles(point, 0, kParticleCount);
  EXPECT_EQ(effects.particleSystem.next, 0);
  ASSERT_GT(effects.particleSystem.ring[0].life, 0.0f);
  EXPECT_EQ(effects.particleSystem.ring[0].kind, 0);
  EmitParticle(point, 3);
  EXPECT_EQ(effects.particleSystem.next, 1);
  EXPECT_EQ(effects.particleSystem.ring[0].kind, 3);
  EXPECT_FLOAT_EQ(effects.particleSystem.ring[0].life, 1000.0f);
  EXPECT_EQ(effects.particleSystem.ring[1].kind, 0);
}

TEST_F(ParticlesTest, KindZeroDiesOfShrinkingLongBeforeItsLifeRunsOut) {
  EmitParticle(point, 0);
  Particle& p = effects.particleSystem.ring[0];
  p.size = 2.0f;
  Step(1000.0f);
  Step(999.0f);
  EXPECT_GT(p.life, 0.0f);
  EXPECT_NEAR(p.life, 2001.0f, 1e-3);
  Step(2.0f);  // 2001 ms: the size has gone below zero
  EXPECT_LE(p.life, 0.0f);
  // A dead slot is skipped: it is neither drawn nor advanced.
  const Vector3 where = p.position;
  frameTiming.elapsedTime = 100.0f;
  UpdateParticles();
  EXPECT_EQ(effects.spriteBatch.count, 0);
  EXPECT_EQ(p.position.x, where.x);
  EXPECT_EQ(p.position.z, where.z);
}

TEST_F(ParticlesTest, NewParticleIsQueuedAtItsStartStateThenAdvanced) {
  EmitParticle(point, 0);
  const Particle start = effects.particleSystem.ring[0];
  frameTiming.elapsedTime = 100.0f;
  UpdateParticles();
  ASSERT_EQ(effects.spriteBatch.count, 1);
  const Sprite& s = effects.spriteBatch.pool[0];
  EXPECT_EQ(s.position.x, start.position.x);
  EXPECT_EQ(s.position.z, start.position.z);
  EXPECT_EQ(s.size, start.size);
  EXPECT_EQ(s.angle, start.angle);
  EXPECT_EQ(s.colour.Value(), 0xFFFFFFFFu);
  EXPECT_EQ(s.kind, 0);
  EXPECT_EQ(s.cell, 0);
  const Particle& p = effects.particleSystem.ring[0];
  // The position moves with the old velocity; the fall then bends the velocity.
  EXPECT_FLOAT_EQ(p.position.y, start.position.y - 6.0f);
  EXPECT_FLOAT_EQ(p.position.z, start.position.z + 5.0f);
  EXPECT_FLOAT_EQ(p.velocity.z, 0.05f + 100.0f * start.fall * 0.05f);
  EXPECT_FLOAT_EQ(p.size, start.size - 0.1f);
  EXPECT_FLOAT_EQ(p.angle, start.angle + 100.0f * start.spin);
  EXPECT_FLOAT_EQ(p.life, 3900.0f);
}

TEST_F(ParticlesTest, ZeroStepDrawsButChangesNothing) {
  EmitParticles(point, 3, 6);
  EmitParticles(point, 1, 6);
  static Particle before[kParticleCount];
  std::memcpy(before, effects.particleSystem.ring, sizeof before);
  Step(0.0f);
  EXPECT_EQ(device.RecordsOf(TraceKind::DrawPrimitiveUP).size(), 12u);
  EXPECT_EQ(0, std::memcmp(before, effects.particleSystem.ring, sizeof before));
  EXPECT_EQ(effects.particleSystem.next, 12);
}

TEST_F(ParticlesTest, KindsStartWithTheirRangesAndColours) {
  for (int k = 0; k < 4; ++k) EmitParticles(point, k, 200);
  for (int i = 0; i < 800; ++i) {
    const Particle& p = effects.particleSystem.ring[i];
    SCOPED_TRACE(i);
    EXPECT_GE(p.size, 2.0f);
    EXPECT_LT(p.size, 4.0f);
    EXPECT_GE(p.angle, -180.0f);
    EXPECT_LT(p.angle, 180.0f);
    EXPECT_EQ(p.alpha, 1.0f);
    EXPECT_EQ(p.spriteKind, 0);
    switch (p.kind) {
      case 0:
        EXPECT_EQ(p.position.y, point.y);
        EXPECT_EQ(p.life, 4000.0f);
        EXPECT_EQ(p.growth, -0.001f);
        break;
      case 1:
      case 2:
        EXPECT_GE(p.position.y, point.y);
        EXPECT_LT(p.position.y, point.y + 70.0f);
        EXPECT_EQ(p.position.z, point.z - 2.0f);
        EXPECT_EQ(p.velocity.x > 0.0f, p.kind == 1);
        EXPECT_GE(std::fabs(p.velocity.x), 0.04f);
        EXPECT_EQ(p.life, 2000.0f);
        break;
      case 3:
        EXPECT_LE(std::fabs(p.position.x - point.x), 5.0f);
        EXPECT_LE(std::fabs(p.position.y - point.y), 7.0f);
        EXPECT_LE(std::fabs(p.position.z - point.z), 30.0f);
        EXPECT_FLOAT_EQ(p.blue, 1.0f - p.red);
        EXPECT_LE(p.velocity.y, -0.03f);
        EXPECT_EQ(p.cell, 1);
        EXPECT_EQ(p.life, 1000.0f);
        break;
      default:
        ADD_FAILURE() << "kind " << p.kind;
    }
  }
}

// A seeded run reproduces only if the draws come in their documented order.
TEST_F(ParticlesTest, KindThreeDrawsInItsOwnOrder) {
  RandomSeed(77);
  EmitParticle(point, 3);
  RandomSeed(77);
  const float dz = RandomSigned(30.0f);
  const float dy = RandomSigned(7.0f);
  const float dx = RandomSigned(5.0f);
  const float vy = -0.03f - RandomFloat(0.02f);
  const float vx = RandomSigned(0.02f);
  const float angle = RandomSigned(180.0f);
  const float spin = RandomSigned(0.5f);
  const float size = RandomFloat(2.0f) + 2.0f;
  const float red = RandomFloat(1.0f);
  const float green = RandomFloat(1.0f);
  const float fall = RandomSigned(0.0002f) - 0.0018f;
  const Particle& p = effects.particleSystem.ring[0];
  EXPECT_EQ(p.position.x, point.x + dx);
  EXPECT_EQ(p.position.y, point.y + dy);
  EXPECT_EQ(p.position.z, point.z + dz);
  EXPECT_EQ(p.velocity.x, vx);
  EXPECT_EQ(p.velocity.y, vy);
  EXPECT_EQ(p.angle, angle);
  EXPECT_EQ(p.spin, spin);
  EXPECT_EQ(p.size, size);
  EXPECT_EQ(p.red, red);
  EXPECT_EQ(p.green, green);
  EXPECT_EQ(p.fall, fall);
  // Its sprite colour truncates each channel.
  frameTiming.elapsedTime = 0.0f;
  UpdateParticles();
  ASSERT_EQ(effects.spriteBatch.count, 1);
  EXPECT_EQ(effects.spriteBatch.pool[0].colour.r,
            static_cast<uint8_t>(static_cast<int>(255.0f * red)));
  EXPECT_EQ(effects.spriteBatch.pool[0].colour.g,
            static_cast<uint8_t>(static_cast<int>(255.0f * green)));
}

TEST_F(ParticlesTest, UnknownKindOnlyTakesASlot) {
  EmitParticle(point, 9);
  EXPECT_EQ(effects.particleSystem.next, 1);
  EXPECT_EQ(effects.particleSystem.ring[0].kind, 9);
  EXPECT_EQ(effects.particleSystem.ring[0].life, 0.0f);  // never drawn
}

}  // namespace
}  // namespace yulo
