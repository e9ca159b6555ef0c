#include "scene/snow_trees.h"

#include <cmath>

#include "base/shell_state.h"
#include "math/random.h"
#include "math/scalar.h"
#include "models/frame_matrices.h"
#include "render/renderer.h"
#include "scene/winter_scene.h"

namespace yulo {

namespace {

constexpr float kSnowBottom = -50.0f;  // a flake below this is recycled higher up
constexpr float kSnowLift = 200.0f;
constexpr float kSnowBackY = -120.0f;  // a flake behind this jumps forward to kSnowFrontY
constexpr float kSnowFrontY = 220.0f;
constexpr float kSnowSide = 150.0f;  // flakes wrap sideways between -150 and 150

constexpr float kTreeBack = -500.0f;  // the strip the trees slide along: [-500, 500)
constexpr float kTreeStrip = 1000.0f;
constexpr float kTreeFadeOutStart = -450.0f;
constexpr float kTreeFadeInStart = 470.0f;
constexpr int kFirstTreeOfSecondTexture = kFirTreeCount / 2;

constexpr float kGroundRadius = 2600.0f;
constexpr float kGroundTop = -40.0f;

// v + k * period for the smallest whole k that brings v to low or above. One add covers
// every ordinary frame; the remainder covers a step of hours after a suspend.
float WrapUp(float v, float low, float period) {
  v += period;
  if (v < low) {
    v = low + std::fmod(v - low, period);
    if (v < low) v += period;
  }
  return v;
}

}  // namespace

void ScatterSnowAndTrees() {
  // Four draws per flake (the last one unused) and three per tree, in this order, so a
  // seeded run places everything the same way.
  for (Snowflake& s : winterScene.snowflakes) {
    const float z = RandomSigned(100.0f) + 50.0f;
    const float y = RandomSigned(170.0f) + 50.0f;
    const float x = RandomSigned(150.0f);
    RandomInt(55);
    s.position.Set(x, y, z);
    s.pointSize = 5.0f;
    s.colour.Set(255, 255, 255, 255);
  }
  for (FirTree& t : winterScene.firTrees) {
    const float size = RandomFloat(20.0f) + 30.0f;
    const float y = RandomSigned(500.0f);
    const float x = RandomSigned(300.0f) - 70.0f;
    t.position.Set(x, y, -40.0f);
    t.size = size;
    t.colour.Set(255, 255, 255, 255);
  }
}

void UpdateSnow() {
  winterScene.snowTime += frameTiming.elapsedTime;
  SetTexture(winterScene.winterAssets.snowflakeTexture);
  DrawUserPrimitives(winterScene.snowflakes, kSnowflakeCount,
                     D3DFVF_XYZ | D3DFVF_PSIZE | D3DFVF_DIFFUSE, D3DPT_POINTLIST);

  const float step = frameTiming.elapsedTime * 0.051f;
  const Vector3 drift[3] = {
      {0.0f, -1.0f - 0.5f * static_cast<float>(std::sin(winterScene.snowTime * 0.002)), -1.0f},
      {0.5f, -0.5f, -1.2f},
      {0.3f + 0.3f * static_cast<float>(std::sin(winterScene.snowTime * 0.003)), -1.0f, -1.5f},
  };
  for (int i = 0; i < kSnowflakeCount; ++i) {
    Vector3 p = winterScene.snowflakes[i].position + drift[i % 3] * step;
    if (p.z < kSnowBottom) {
      p.z = WrapUp(p.z, kSnowBottom, kSnowLift);
      p.y = RandomSigned(170.0f) + 50.0f;
      p.x = RandomSigned(kSnowSide);
    }
    if (p.y < kSnowBackY) p.y = kSnowFrontY;
    if (p.x < -kSnowSide) p.x = kSnowSide;
    if (p.x > kSnowSide) p.x = -kSnowSide;
    winterScene.snowflakes[i].position = p;
  }
}

int TreeAlpha(float y) {
  float a = 255.0f;
  if (y < kTreeFadeOutStart) a = (1.0f - (-y - 450.0f) / 50.0f) * 255.0f;
  if (y > kTreeFadeInStart) a = (1.0f - (y - 470.0f) / 30.0f) * 255.0f;
  if (!(a > 0.0f)) return 0;
  if (a >= 255.0f) return 255;
  return static_cast<int>(a);
}

void UpdateTrees() {
  SetTexture(winterScene.winterAssets.firTexture);
  const float step = frameTiming.elapsedTime * 0.08f;
  for (int i = 0; i < kFirTreeCount; ++i) {
    if (i == kFirstTreeOfSecondTexture) SetTexture(winterScene.winterAssets.fir2Texture);
    FirTree& tree = winterScene.firTrees[i];
    tree.position.y -= step;
    if (tree.position.y < kTreeBack) {
      tree.position.y = WrapUp(tree.position.y, kTreeBack, kTreeStrip);
    }
    tree.colour.a = static_cast<uint8_t>(TreeAlpha(tree.position.y));
    DrawTree(tree);
  }
}

void DrawTree(const FirTree& tree) {
  Vector3 p = tree.position;
  p.z =
      FastSqrt(kGroundRadius * kGroundRadius - p.x * p.x - p.y * p.y) - kGroundRadius + kGroundTop;
  const float h = tree.size;
  const Vector3 up = frameMatrices.cameraMatrix.AxisY() * h;
  const Vector3 w = (frameMatrices.cameraMatrix.AxisX() * h) * 0.4f;
  const Vector3 bottomLeft = p - w;
  const Vector3 bottomRight = p + w;
  const Vector3 topRight = bottomRight + up;
  const Vector3 topLeft = bottomLeft + up;
  DrawColoredQuad(bottomLeft, topLeft, topRight, bottomRight, tree.colour, tree.colour, tree.colour,
                  tree.colour);
}

}  // namespace yulo
