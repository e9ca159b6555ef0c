#include "effects/particles.h"

#include "base/shell_state.h"
#include "effects/effects.h"
#include "effects/sprite_batch.h"
#include "math/color.h"
#include "math/random.h"
#include "resources/texture_manager.h"

namespace yulo {

EffectsState effects;

namespace {

// Angle, spin and size are drawn from the generator in this order for every kind.
void PickSpinAndSize(Particle& p) {
  p.angle = RandomSigned(180.0f);
  p.spin = RandomSigned(0.5f);
  p.size = RandomFloat(2.0f) + 2.0f;
}

// Colour channel 0..1 to a byte by truncation; the rates are zero here, but a channel
// pushed out of range must not wrap around into a wrong colour.
int ChannelByte(float v) {
  const float scaled = 255.0f * v;
  if (!(scaled > 0.0f)) return 0;
  if (scaled >= 255.0f) return 255;
  return static_cast<int>(scaled);
}

}  // namespace

void InitParticles() {
  ResetSprites();
  effects.particleSystem.texture = GetTexture(kParticleTextureName);
  for (Particle& p : effects.particleSystem.ring) p = Particle{};
  effects.particleSystem.next = 0;
}

void EmitParticles(const Vector3& position, int32_t kind, int32_t count) {
  for (int32_t i = 0; i < count; ++i) EmitParticle(position, kind);
}

// The order of the random draws below reproduces a seeded run; keep it.
void EmitParticle(const Vector3& position, int32_t kind) {
  Particle& p = effects.particleSystem.ring[effects.particleSystem.next];
  effects.particleSystem.next = (effects.particleSystem.next + 1) % kParticleCount;

  p.red = p.green = p.blue = p.alpha = 1.0f;
  p.redRate = p.greenRate = p.blueRate = p.alphaRate = 0.0f;
  p.kind = kind;

  switch (kind) {
    case 0:
      p.position = position;
      p.velocity.x = RandomSigned(0.008f);
      p.velocity.y = -0.06f;
      p.velocity.z = 0.05f;
      PickSpinAndSize(p);
      p.growth = -0.001f;
      p.life = 4000.0f;
      p.fall = RandomSigned(0.0002f) - 0.0024f;
      p.cell = 0;
      p.spriteKind = kSpriteAdditive;
      break;
    case 1:
    case 2: {
      p.position = position;
      p.position.y += RandomFloat(70.0f);
      p.position.z -= 2.0f;
      const float vx = RandomFloat(0.002f) + 0.04f;
      p.velocity.x = kind == 1 ? vx : -vx;
      p.velocity.y = -0.05f;
      p.velocity.z = 0.05f;
      PickSpinAndSize(p);
      p.growth = -0.0006f;
      p.life = 2000.0f;
      p.fall = RandomSigned(0.0002f) - 0.0024f;
      p.cell = 0;
      p.spriteKind = kSpriteAdditive;
      break;
    }
    case 3: {
      const float dz = RandomSigned(30.0f);
      const float dy = RandomSigned(7.0f);
      const float dx = RandomSigned(5.0f);
      p.position = position + Vector3(dx, dy, dz);
      p.velocity.y = -0.03f - RandomFloat(0.02f);
      p.velocity.x = RandomSigned(0.02f);
      p.velocity.z = 0.05f;
      PickSpinAndSize(p);
      p.growth = -0.0006f;
      p.red = RandomFloat(1.0f);
      p.green = RandomFloat(1.0f);
      p.blue = 1.0f - p.red;
      p.life = 1000.0f;
      p.fall = RandomSigned(0.0002f) - 0.0018f;
      p.cell = 1;
      p.spriteKind = kSpriteAdditive;
      break;
    }
    default:
      break;
  }
}

void UpdateParticles() {
  const float dt = frameTiming.elapsedTime;
  for (Particle& p : effects.particleSystem.ring) {
    if (!(p.life > 0.0f)) continue;
    // Queued before the step: a particle emitted this frame shows its start state.
    AddSprite(p.position, p.angle, p.size,
              ColorARGB(ChannelByte(p.red), ChannelByte(p.green), ChannelByte(p.blue),
                        ChannelByte(p.alpha)),
              p.spriteKind, p.cell);
    p.angle += dt * p.spin;
    p.size += dt * p.growth;
    if (p.size < 0.0f) p.life = 0.0f;
    p.position += p.velocity * dt;
    p.velocity.z += dt * p.fall * 0.05f;
    p.life -= dt;
    p.red += dt * p.redRate;
    p.green += dt * p.greenRate;
    p.blue += dt * p.blueRate;
    p.alpha += dt * p.alphaRate;
  }
}

}  // namespace yulo
