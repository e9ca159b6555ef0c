#include <gtest/gtest.h>

#include "scene/scene.h"
#include "scene/winter_scene.h"

namespace yulo {
namespace {

// The loop drives scenes only through these slots; the winter scene must be reachable
// through a plain Scene pointer and keep flags untouched by input.
TEST(SceneObjects, InputHandlersChangeNothing) {
  Scene* scene = &winterScene;
  EXPECT_EQ(scenes.currentScene, &winterScene);
  scene->OnLeftButtonDown();
  scene->OnLeftButtonUp();
  scene->OnRightButtonDown();
  scene->OnRightButtonUp();
  scene->OnMiddleButtonDown();
  scene->OnMouseMove();
  scene->Update();
  scene->Restart();
  EXPECT_EQ(scene->flags, 0);
}

TEST(SceneObjects, OnlyWinterSceneStoresFlags) {
  Scene* plain = &scenes.blankScene;
  plain->SetFlags(5);
  EXPECT_EQ(scenes.blankScene.flags, 0);
  Scene* winter = &winterScene;
  winter->SetFlags(7);
  EXPECT_EQ(winterScene.flags, 7);
  winter->SetFlags(0);
  EXPECT_EQ(winterScene.flags, 0);
}

}  // namespace
}  // namespace yulo
