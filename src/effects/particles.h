// The particle ring: bursts emitted around the sleigh team, advanced every frame and drawn
// as sprites through the sprite batch.
#pragma once

#include <cstdint>

#include "math/vector.h"

namespace yulo {

struct Texture;

inline constexpr int kParticleCount = 2048;

struct Particle {
  float life;                                     // remaining ms; the slot is live while life > 0
  Vector3 position;                               // world, z up
  Vector3 velocity;                               // units per ms
  float angle;                                    // sprite rotation, degrees
  float spin;                                     // degrees per ms
  float size;                                     // sprite edge length
  float growth;                                   // size change per ms (negative: shrinking)
  float red, green, blue, alpha;                  // 0..1
  float redRate, greenRate, blueRate, alphaRate;  // per ms
  float fall;                                     // vertical acceleration factor
  int32_t cell;                                   // texture cell of its sprite
  int32_t spriteKind;                             // blend kind of its sprite
  int32_t kind;                                   // the kind it was emitted as (0..3)
};

struct ParticleSystem {
  Particle ring[kParticleCount];
  int32_t next;            // slot the next emission overwrites
  const Texture* texture;  // "particles.tga", used for every sprite
};

inline constexpr char kParticleTextureName[] = "particles.tga";

// Empties the sprite batch, loads the particle texture, clears every slot, next = 0.
void InitParticles();

// EmitParticle(position, kind) count times.
void EmitParticles(const Vector3& position, int32_t kind, int32_t count);

// Fills the slot at next (live or not) with a new particle of the kind; next advances.
void EmitParticle(const Vector3& position, int32_t kind);

// Queues every live particle as a sprite (as it stands before this frame's step), then
// advances it by elapsedTime.
void UpdateParticles();

}  // namespace yulo
