// The effects module's state: the particle ring and the sprite batch it draws through.
#pragma once

#include "effects/particles.h"
#include "effects/sprite_batch.h"

namespace yulo {

struct EffectsState {
  ParticleSystem particleSystem;
  SpriteBatch spriteBatch;
};

extern EffectsState effects;

}  // namespace yulo
