// Snowfall and fir trees of the winter scene: the records, and the per-frame routines that
// draw and move them (their state lives in the winter scene, scene/winter_scene.h).
#pragma once

#include <cstddef>

#include "math/color.h"
#include "math/vector.h"

namespace yulo {

inline constexpr int kSnowflakeCount = 1024;
inline constexpr int kFirTreeCount = 356;

// One point-sprite vertex of the snow draw (position, point size, diffuse): the array is
// handed to the device as it is.
struct Snowflake {
  Vector3 position;
  float pointSize;   // 5.0
  ColorARGB colour;  // opaque white
};
static_assert(sizeof(Snowflake) == 20);
static_assert(offsetof(Snowflake, pointSize) == 12 && offsetof(Snowflake, colour) == 16);

struct FirTree {
  Vector3 position;  // x and the stored z never change; y slides
  float size;        // billboard height; the width is 0.8 x size
  ColorARGB colour;  // alpha rewritten every frame by the fades
};
static_assert(sizeof(FirTree) == 20);
static_assert(offsetof(FirTree, size) == 12 && offsetof(FirTree, colour) == 16);

// Places the 1024 snowflakes and 356 trees with the engine's generator.
void ScatterSnowAndTrees();

// Draws the snow where it stood, then drifts and recycles every flake.
void UpdateSnow();
// Slides, fades and draws every fir tree.
void UpdateTrees();
// One camera-facing tree standing on the ground sphere.
void DrawTree(const FirTree& tree);

// Fade alpha of a tree at y (within -500..500).
int TreeAlpha(float y);

}  // namespace yulo
