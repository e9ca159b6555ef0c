// A depth-sorted batch of camera-facing textured squares, filled during a frame and drawn
// (and emptied) once, late in the frame, with the particle texture.
#pragma once

#include <cstdint>

#include "math/color.h"
#include "math/matrix.h"
#include "math/vector.h"

namespace yulo {

inline constexpr int kSpritePoolSize = 4096;
inline constexpr int kMaxQueuedSprites = kSpritePoolSize - 1;  // the last record stays unused

// Blend kinds of a sprite (source, destination blend factors).
enum SpriteKind : int32_t {
  kSpriteAdditive = 0,     // SRCCOLOR, ONE
  kSpriteDarken = 1,       // ZERO, INVSRCALPHA
  kSpriteAlphaBlend = 2,   // SRCALPHA, INVSRCALPHA
  kSpriteColourBlend = 3,  // SRCCOLOR, INVSRCCOLOR
};

struct Sprite {
  Vector3 position;  // centre, world space
  float angle;       // rotation in the screen plane, degrees
  float size;        // edge length; also the radius for the visibility test
  ColorARGB colour;  // all four corners
  int32_t kind;      // SpriteKind; another value keeps the previous blend pair
  int32_t cell;      // texture cell; only cell mod 3 is used
  Sprite* next;      // next to draw: depth smaller or equal
  Sprite* prev;      // drawn just before this one
  float depth;       // sort key, larger = farther
};

struct SpriteBatch {
  Sprite pool[kSpritePoolSize];  // filled from index 0 each frame
  int32_t count;                 // records in use
  Sprite* head;                  // largest depth, drawn first; null when empty
  Sprite* cursor;                // last inserted; the next insertion walks from here
  // The queued records once more, in list order, as their depths and pool indices, with a
  // gap right after the cursor: an insertion walks along consecutive floats instead of
  // links, and moves only the entries it walks past to the other side of the gap.
  float depths[kSpritePoolSize];
  int16_t order[kSpritePoolSize];
  int32_t gapBegin;  // the cursor's place + 1
  int32_t gapEnd;    // the place of the record after the cursor; kSpritePoolSize if none
};

// Empties the batch; cursor = the first pool record.
void ResetSprites();

// Queues one sprite when its sphere (position, size) meets the view frustum and fewer than
// kMaxQueuedSprites are queued; otherwise does nothing. Keeps the list sorted far to near.
void AddSprite(const Vector3& position, float angle, float size, ColorARGB colour, int32_t kind,
               int32_t cell);

// Draws every queued sprite far to near with the particle texture, setting the blend pair
// only where the kind changes, then empties the batch and restores depth writes and
// lighting, and turns alpha test and blending off.
void DrawSprites();

// Draws one sprite as a textured square facing the camera.
void DrawSprite(const Sprite& sprite);

}  // namespace yulo
