#include "scene/scene.h"

namespace yulo {

Scene blankScene;
WinterScene winterScene;
Scene* currentScene = &winterScene;

namespace {
bool fixedSeed = false;
uint32_t seedValue = 0;
}  // namespace

void SetSceneSeed(uint32_t seed) {
  fixedSeed = true;
  seedValue = seed;
}

void ClearSceneSeed() {
  fixedSeed = false;
}

// The frame composition arrives with the renderer; until then a frame draws nothing.
void WinterScene::Render() {}

}  // namespace yulo
