#include "shell/run_frame.h"

#include "render/renderer.h"
#include "scene/scene.h"
#include "shell/frame_timing.h"

namespace yulo {

void RunFrame() {
  ClearDepth(1.0f);
  BeginScene();
  currentScene->Render();
  EndScene();
  PresentFrame();
  MeasureFrameStep();
  currentScene->Update();
  currentScene->AfterUpdate();
}

}  // namespace yulo
