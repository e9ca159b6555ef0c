// State of the winter scene: its assets, the snowflake and fir-tree records, the clocks and
// the camera, and the per-frame routines that compose a frame from them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "effects/sprite_batch.h"  // cameraMatrix: the view matrix of the frame
#include "math/color.h"
#include "math/matrix.h"
#include "math/vector.h"
#include "models/character.h"  // Character, and sleighMatrix: the sleigh's world matrix

namespace yulo {

class Model;
struct AnimationClip;
struct Texture;

inline constexpr int kSnowflakeCount = 1024;
inline constexpr int kFirTreeCount = 356;
inline constexpr int kCameraSegmentCount = 7;
inline constexpr float kCameraLoopMs = 35000.0f;
inline constexpr uint32_t kMaxEmitBacklogMs = 1000;  // bursts owed are capped at ten

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

// Everything the winter scene draws. Models, textures and clips belong to their
// libraries; the characters are the scene's own.
struct WinterAssets {
  Model* sleigh;
  Model* skyDome;
  Model* globe;
  const Texture* snowflakeTexture;
  const Texture* firTexture;    // trees 0..177
  const Texture* fir2Texture;   // trees 178..355
  AnimationClip* reindeerClip;  // shared by both reindeer
  AnimationClip* gestureClip;   // driver, camera segment 1
  AnimationClip* baseClip;      // driver, everywhere else
};

extern WinterAssets winterAssets;
extern Character reindeer[2];
extern Character driver;
extern Snowflake snowflakes[kSnowflakeCount];
extern FirTree firTrees[kFirTreeCount];

// Clocks. They are kept in double precision: a screensaver runs for days, and a float
// millisecond count stops advancing by a frame's step after about a day and a half.
extern double sceneTime;               // ms since the first frame; rocking and globe texture
extern double snowTime;                // ms; drift of the snow
extern uint32_t emitAccumulator;       // ms not yet spent on particle bursts, at most 1000
extern float cameraTime;               // ms within the 35 s camera loop, 0 <= t < 35000
extern int32_t cameraSegment;          // current shot, 0..6
extern int32_t previousCameraSegment;  // shot of the previous frame; -1 before the first
extern float cameraFraction;           // 0..1 through the current shot
extern const float segmentSeconds[kCameraSegmentCount + 1];  // 7, 3, 7, 3, 5, 5, 5, -1

// Loads every asset from dataDir (which becomes the current folder), gives the characters
// their clips and scatters the snowflakes and trees with the engine's generator.
void LoadAssets();

// Both reindeer on the shared clip half a cycle apart, the driver on the base clip; set
// directly, without a fade.
void AssignFirstClips();
// Places the 1024 snowflakes and 356 trees with the engine's generator.
void ScatterSnowAndTrees();

// Resets the clocks and the camera to their start values (the first frame shows time 0).
void ResetWinterClock();

// Advances cameraTime by elapsedTime, finds the shot, runs its entry action when the shot
// changed and rebuilds cameraMatrix.
void UpdateCameraPath();

// The whole frame, between BeginScene and EndScene.
void ComposeFrame();

// Draws the snow where it stood, then drifts and recycles every flake.
void UpdateSnow();
// Slides, fades and draws every fir tree.
void UpdateTrees();
// One camera-facing tree standing on the ground sphere.
void DrawTree(const FirTree& tree);

// Rocking of the sleigh about X and Y in degrees (up to half a degree), from sceneTime.
float SleighRockX();
float SleighRockY();
// The globe texture's v shift, -0.00037 per ms of sceneTime, kept within (-1, 0].
float GlobeTextureOffset();

// Fade alpha of a tree at y (within -500..500).
int TreeAlpha(float y);

}  // namespace yulo
