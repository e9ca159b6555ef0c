// The winter scene: the screensaver's content. Its state (assets, characters, snowflake and
// fir-tree records, clocks and camera) and the per-frame routines that compose a frame.
#pragma once

#include <cstdint>

#include "models/character.h"
#include "scene/scene.h"
#include "scene/snow_trees.h"

namespace yulo {

class Model;
struct AnimationClip;
struct Texture;

inline constexpr int kCameraSegmentCount = 7;
inline constexpr float kCameraLoopMs = 35000.0f;
inline constexpr uint32_t kMaxEmitBacklogMs = 60000;  // a minute of bursts owed at most

// Shot lengths in seconds, in camera order; -1 ends the table.
inline constexpr float segmentSeconds[kCameraSegmentCount + 1] = {7, 3, 7, 3, 5, 5, 5, -1};

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

// The winter scene's state. Only the scene's own routines write it; tests read it.
struct WinterState {
  WinterAssets winterAssets = {};
  Character reindeer[2];  // two poses, each drawn twice
  Character driver;
  Snowflake snowflakes[kSnowflakeCount] = {};
  FirTree firTrees[kFirTreeCount] = {};

  // Clocks. They are kept in double precision: a screensaver runs for days, and a float
  // millisecond count stops advancing by a frame's step after about a day and a half.
  double sceneTime = 0.0;              // ms since the first frame; rocking and globe texture
  double snowTime = 0.0;               // ms; drift of the snow
  uint32_t emitAccumulator = 0;        // ms not yet spent on particle bursts, a minute at most
  float cameraTime = 0.0f;             // ms within the 35 s camera loop, 0 <= t < 35000
  int32_t cameraSegment = 0;           // current shot, 0..6
  int32_t previousCameraSegment = -1;  // shot of the previous frame; -1 before the first
  float cameraFraction = 0.0f;         // 0..1 through the current shot
};

class WinterScene final : public Scene, public WinterState {
 public:
  // ComposeFrame.
  void Render() override;
  void SetFlags(int32_t value) override { flags = value; }
  // The end of Init: resets the clocks, loads every asset from dataDir (which becomes the
  // current folder), gives the characters their clips and scatters the snowflakes and
  // trees with the engine's generator.
  void LoadAssets() override;
};

// The one winter scene; the shell makes it current at start-up.
extern WinterScene winterScene;

// Both reindeer on the shared clip half a cycle apart, the driver on the base clip; set
// directly, without a fade.
void AssignFirstClips();

// Resets the clocks and the camera to their start values (the first frame shows time 0).
void ResetWinterClock();

// Advances cameraTime by elapsedTime, finds the shot, runs its entry action when the shot
// changed and rebuilds cameraMatrix.
void UpdateCameraPath();

// The whole frame, between BeginScene and EndScene.
void ComposeFrame();

// Rocking of the sleigh about X and Y in degrees (up to half a degree), from sceneTime.
float SleighRockX();
float SleighRockY();
// The globe texture's v shift, -0.00037 per ms of sceneTime, kept within (-1, 0].
float GlobeTextureOffset();

}  // namespace yulo
