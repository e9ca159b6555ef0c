// Micro-scenes: small pictures that each exercise one fixed-function rule the engine relies
// on (lighting, vertex colour, texture transform, alpha test, blending, point sprites,
// culling, depth, addressing, filtering, pixel centres). They draw only through the renderer
// functions and the Device interface, so the same pictures come from every backend and can
// be compared pixel by pixel.
#pragma once

#include <cstddef>
#include <cstdint>

namespace yulo {

// Every micro-scene is drawn on a device of this size (4:3).
inline constexpr uint32_t kFfpSceneWidth = 320;
inline constexpr uint32_t kFfpSceneHeight = 240;
// What every micro-scene is cleared to (0xAARRGGBB); the comparison treats it as background.
inline constexpr uint32_t kFfpSceneBackground = 0xFF181828u;

struct FfpScene {
  const char* name;  // file-name friendly, e.g. "alpha-test"
  const char* rule;  // one line: what the picture checks
  void (*draw)();    // draws onto the renderer's current device, between BeginScene/EndScene
};

// The table of micro-scenes, in a fixed order.
const FfpScene* FfpScenes(size_t* count);

// The scene named name, or nullptr.
const FfpScene* FindFfpScene(const char* name);

// Renders one micro-scene onto the renderer's current device: installs the engine's default
// states, clears, draws, ends the scene. The caller reads the frame back, then presents.
// Textures the scene makes live until the next scene or ReleaseFfpSceneResources.
void RenderFfpScene(const FfpScene& scene);

// Releases the textures of the last scene drawn.
void ReleaseFfpSceneResources();

}  // namespace yulo
