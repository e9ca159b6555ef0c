#include "effects/sprite_batch.h"

#include "effects/effects.h"
#include "effects/particles.h"
#include "math/scalar.h"
#include "models/frame_matrices.h"
#include "render/renderer.h"

namespace yulo {

namespace {

// The texture holds three cells side by side; the insets keep neighbours from bleeding in.
constexpr float kCellWidth = 0.33333334f;
constexpr float kCellInset = 0.001f;

void SetBlendPair(int32_t kind) {
  switch (kind) {
    case kSpriteAdditive:
      SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCCOLOR);
      SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
      break;
    case kSpriteDarken:
      SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ZERO);
      SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
      break;
    case kSpriteAlphaBlend:
      SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
      SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
      break;
    case kSpriteColourBlend:
      SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCCOLOR);
      SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCCOLOR);
      break;
    default:
      break;  // unknown kinds draw with whatever pair is set
  }
}

}  // namespace

void ResetSprites() {
  effects.spriteBatch.count = 0;
  effects.spriteBatch.head = nullptr;
  effects.spriteBatch.cursor = &effects.spriteBatch.pool[0];
}

void AddSprite(const Vector3& position, float angle, float size, ColorARGB colour, int32_t kind,
               int32_t cell) {
  SpriteBatch& b = effects.spriteBatch;
  if (b.count >= kMaxQueuedSprites) return;
  if (!frameMatrices.viewFrustum.SphereVisible(position.x, position.y, position.z, size)) return;

  Sprite* s = &b.pool[b.count];
  s->position = position;
  s->angle = angle;
  s->size = size;
  s->colour = colour;
  s->kind = kind;
  s->cell = cell;
  const FrustumPlane& p = frameMatrices.viewFrustum.planes[ViewFrustum::kNear];
  s->depth = p.a * position.x + p.b * position.y + p.c * position.z + p.d;

  // The walk starts from the last insertion, as sprites of one emitter arrive nearly
  // sorted: towards the back past every depth >= this one, or towards the front past
  // every depth <= it (and at least past the cursor).
  const float depth = s->depth;
  int32_t front = b.gapBegin;
  int32_t back = b.gapEnd;
  if (b.count == 0) {
    front = 0;
    back = kSpritePoolSize;
  } else if (depth < b.depths[front - 1]) {
    while (back < kSpritePoolSize && depth <= b.depths[back]) {
      b.depths[front] = b.depths[back];
      b.order[front++] = b.order[back++];
    }
  } else {
    do {
      b.depths[--back] = b.depths[--front];
      b.order[back] = b.order[front];
    } while (front > 0 && depth >= b.depths[front - 1]);
  }
  s->prev = front > 0 ? &b.pool[b.order[front - 1]] : nullptr;
  s->next = back < kSpritePoolSize ? &b.pool[b.order[back]] : nullptr;
  if (s->prev != nullptr) {
    s->prev->next = s;
  } else {
    b.head = s;
  }
  if (s->next != nullptr) s->next->prev = s;
  b.depths[front] = depth;
  b.order[front] = static_cast<int16_t>(b.count);
  b.gapBegin = front + 1;
  b.gapEnd = back;
  b.cursor = s;
  ++b.count;
}

void DrawSprite(const Sprite& sprite) {
  const float h = sprite.size * 0.5f;
  const Vector3 right = frameMatrices.cameraMatrix.AxisX() * h;
  const Vector3 up = frameMatrices.cameraMatrix.AxisY() * h;
  const float ca = CosDeg(sprite.angle);
  const float sa = SinDeg(sprite.angle);
  const Vector3 a = right * sa + up * ca;  // rotated half height
  const Vector3 b = right * ca - up * sa;  // rotated half width
  const float u0 = static_cast<float>(sprite.cell % 3) * kCellWidth + kCellInset;
  const float w = kCellWidth - kCellInset;
  const Vector3& c = sprite.position;
  const Vector3 p0 = c + b + a;
  const Vector3 p1 = c + b - a;
  const Vector3 p2 = c - b - a;
  const Vector3 p3 = c - b + a;
  const Vector2 t0(u0, kCellInset);
  const Vector2 t1(u0 + w, kCellInset);
  const Vector2 t2(u0 + w, 1.0f);
  const Vector2 t3(u0, 1.0f);
  DrawTexturedStrip(p0, p1, p2, p3, t0, t1, t2, t3, sprite.colour);
}

void DrawSprites() {
  SetWorldMatrix(nullptr);
  SetRenderState(D3DRS_LIGHTING, 0);
  SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
  SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ZERO);
  SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  // Depth testing stays on: sprites hide behind solid geometry but not behind each other.
  SetRenderState(D3DRS_ZWRITEENABLE, 0);
  SetTexture(effects.particleSystem.texture);

  const Sprite* previous = nullptr;
  for (const Sprite* s = effects.spriteBatch.head; s != nullptr; s = s->next) {
    if (previous == nullptr || s->kind != previous->kind) SetBlendPair(s->kind);
    DrawSprite(*s);
    previous = s;
  }
  effects.spriteBatch.count = 0;
  effects.spriteBatch.head = nullptr;

  SetRenderState(D3DRS_ZWRITEENABLE, 1);
  SetRenderState(D3DRS_LIGHTING, 1);
  SetRenderState(D3DRS_ALPHATESTENABLE, 0);
  SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
}

}  // namespace yulo
