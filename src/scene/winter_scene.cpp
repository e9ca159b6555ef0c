#include "scene/winter_scene.h"

#include <unistd.h>

#include <cmath>

#include "base/shell_state.h"
#include "effects/particles.h"
#include "effects/sprite_batch.h"
#include "math/random.h"
#include "models/character.h"
#include "models/frame_matrices.h"
#include "models/libraries.h"
#include "models/model.h"
#include "models/skin.h"
#include "models/view_frustum.h"
#include "render/renderer.h"
#include "resources/texture_manager.h"

namespace yulo {

WinterScene winterScene;

void WinterScene::Render() {
  ComposeFrame();
}

// >>section assets

void WinterScene::LoadAssets() {
  ResetWinterClock();
  // The loaders read names relative to the current folder.
  if (dataDir[0] != '\0' && chdir(dataDir) != 0) {
    // Nothing to do here: the first missing file is reported by its loader, by name.
  }
  WinterAssets& a = winterScene.winterAssets;
  a.sleigh = models.modelLibrary.GetOrLoad("sani.cgo");
  a.skyDome = models.modelLibrary.GetOrLoad("sky.cgo");
  a.globe = models.modelLibrary.GetOrLoad("earth.cgo");

  a.snowflakeTexture = GetTexture("snowflake.tga");
  a.firTexture = GetTexture("fir.tga");
  a.fir2Texture = GetTexture("fir2.tga");

  winterScene.reindeer[0].Load("deer.chr");
  winterScene.reindeer[1].Load("deer.chr");
  a.reindeerClip = models.animationLibrary.GetOrLoad("deer.anm");

  winterScene.driver.Load("yulo.chr");
  a.gestureClip = models.animationLibrary.GetOrLoad("yulo_mah.anm");
  a.baseClip = models.animationLibrary.GetOrLoad("yulo.anm");
  AssignFirstClips();
  ScatterSnowAndTrees();
}

void AssignFirstClips() {
  const WinterAssets& a = winterScene.winterAssets;
  // Half a cycle apart, so the two pairs of the team never step in unison.
  winterScene.reindeer[0].currentClip = a.reindeerClip;
  winterScene.reindeer[0].clipTime = 0.0f;
  winterScene.reindeer[1].currentClip = a.reindeerClip;
  winterScene.reindeer[1].clipTime = 0.5f * static_cast<float>(a.reindeerClip->duration);
  winterScene.driver.currentClip = a.baseClip;
  winterScene.driver.clipTime = 0.0f;
}

void ResetWinterClock() {
  winterScene.sceneTime = 0.0;
  winterScene.snowTime = 0.0;
  winterScene.emitAccumulator = 0;
  winterScene.cameraTime = 0.0f;
  winterScene.cameraSegment = 0;
  winterScene.previousCameraSegment = -1;
  winterScene.cameraFraction = 0.0f;
}

// >>section camera path

void UpdateCameraPath() {
  winterScene.cameraTime += frameTiming.elapsedTime;
  // Past the end of the loop the search starts again one loop earlier, as often as needed:
  // the remainder does that in one go, also for a step of hours after a suspend.
  if (!(winterScene.cameraTime < kCameraLoopMs))
    winterScene.cameraTime = std::fmod(winterScene.cameraTime, kCameraLoopMs);
  if (!(winterScene.cameraTime >= 0.0f)) winterScene.cameraTime = 0.0f;  // never NaN or negative
  float f = 0.0f;
  int32_t segment = 0;
  float sum = 0.0f;
  for (int i = 0; segmentSeconds[i] >= 0.0f; ++i) {
    const float d = segmentSeconds[i] * 1000.0f;
    sum += d;
    if (winterScene.cameraTime < sum) {  // a boundary belongs to the later shot
      f = (winterScene.cameraTime - (sum - d)) / d;
      segment = i;
      break;
    }
  }
  winterScene.previousCameraSegment = winterScene.cameraSegment;
  winterScene.cameraSegment = segment;
  winterScene.cameraFraction = f;

  if (winterScene.cameraSegment != winterScene.previousCameraSegment) {
    if (winterScene.cameraSegment == 1)
      winterScene.driver.CrossFadeTo(winterScene.winterAssets.gestureClip);
    if (winterScene.cameraSegment == 2)
      winterScene.driver.CrossFadeTo(winterScene.winterAssets.baseClip);
  }

  Matrix4& m = frameMatrices.cameraMatrix;
  m.SetIdentity();
  switch (winterScene.cameraSegment) {
    case 0:
      m.Translate(0.0f, 0.0f, 244.0f).RotateX(-110.0f).RotateZ(30.0f * f);
      break;
    case 1:
      m.Translate(-17.0f, -30.0f, 90.0f).RotateX(-97.0f).RotateZ(80.0f);
      break;
    case 2:
      m.Translate(100.0f - 100.0f * f, -40.0f, 194.0f).RotateX(-105.0f).RotateZ(90.0f);
      break;
    case 3:
      m.Translate(0.0f, -70.0f * f, 250.0f - 200.0f * f).RotateX(-100.0f).RotateZ(0.0f);
      break;
    case 4:
      m.Translate(20.0f, -30.0f, 100.0f + 80.0f * f).RotateX(-100.0f).RotateZ(165.0f);
      break;
    case 5:
      m.Translate(0.0f, -40.0f - 30.0f * f, 50.0f).RotateX(-95.0f).RotateZ(180.0f);
      break;
    default:
      m.Translate(0.0f, -15.0f, 190.0f).RotateX(-94.0f).RotateZ(0.0f);
      break;
  }
}

// >>section frame

namespace {

struct EmitPoint {
  Vector3 position;
  int32_t kind;
  int32_t count;
};

// Streams behind the team, before the accumulator is charged...
const EmitPoint kTrailBurst[] = {
    {{8.5f, -61.0f, 0.0f}, 0, 2},
    {{8.5f, -61.0f, 0.0f}, 1, 6},
    {{-8.5f, -61.0f, 0.0f}, 0, 2},
    {{-8.5f, -61.0f, 0.0f}, 2, 6},
};
// ...and the coloured clouds beside the reindeer after it.
const EmitPoint kSparkBurst[] = {
    {{-8.5f, 35.0f, 0.0f}, 3, 6},
    {{-8.5f, 90.0f, 0.0f}, 3, 6},
    {{8.5f, 35.0f, 0.0f}, 3, 6},
    {{8.5f, 90.0f, 0.0f}, 3, 6},
};

constexpr double kTwoPi = 6.283185307179586;

// Sine of rate x sceneTime with the product in double: keeps its precision for years.
float RockingSine(double rate) {
  return static_cast<float>(std::sin(std::fmod(winterScene.sceneTime * rate, kTwoPi)));
}

}  // namespace

float SleighRockX() {
  return 0.5f * RockingSine(0.007);
}
float SleighRockY() {
  return 0.5f * RockingSine(0.005);
}

float GlobeTextureOffset() {
  // The texture wraps, so once the shift is large only its fraction is kept: the
  // coordinate stays precise however long the scene has run.
  const double shift = winterScene.sceneTime * 0.00037;
  if (shift < 1024.0) return -(static_cast<float>(winterScene.sceneTime) * 0.00037f);
  return -static_cast<float>(std::fmod(shift, 1.0));
}

void ComposeFrame() {
  // The backlog is capped at a minute: after a stall of hours the team would otherwise
  // spray one burst every frame for over an hour, six times the normal density.
  winterScene.emitAccumulator =
      frameTiming.elapsedMs >= kMaxEmitBacklogMs - winterScene.emitAccumulator
          ? kMaxEmitBacklogMs
          : winterScene.emitAccumulator + frameTiming.elapsedMs;
  winterScene.sceneTime += frameTiming.elapsedTime;

  SetRenderState(D3DRS_ZENABLE, 1);
  ClearDepth(1.0f);
  SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);

  Matrix4 projection;
  // The aspect stays 4:3 whatever the window's shape; the shell letterboxes.
  BuildPerspective(projection, 0.7853982f, 1.3333334f, 35.0f, 2500.0f);
  SetProjectionMatrix(projection);

  SetRenderState(D3DRS_LIGHTING, 1);
  UpdateCameraPath();
  // The path builds the view matrix directly; it is not a camera placement to invert.
  SetViewMatrix(&frameMatrices.cameraMatrix);
  frameMatrices.viewFrustum.Update();
  ClearTarget(0x00460064u);

  // Sleigh, rocking gently about X and Y.
  WinterAssets& a = winterScene.winterAssets;
  frameMatrices.sleighMatrix.SetIdentity();
  frameMatrices.sleighMatrix.SetRotationZ(180.0f);
  frameMatrices.sleighMatrix.RotateX(SleighRockX());
  frameMatrices.sleighMatrix.RotateY(SleighRockY());
  a.sleigh->world = frameMatrices.sleighMatrix;
  a.sleigh->Render();

  SetWorldMatrix(nullptr);

  a.skyDome->world.SetIdentity();
  a.skyDome->world.Translate(0.0f, 0.0f, -300.0f).SetScale(40.0f, 40.0f, 20.0f);
  SetRenderState(D3DRS_LIGHTING, 0);
  a.skyDome->Render();
  SetRenderState(D3DRS_LIGHTING, 1);

  Matrix4 textureMatrix;
  textureMatrix.m[2][0] = 0.0f;
  textureMatrix.m[2][1] = GlobeTextureOffset();
  SetTextureMatrix(&textureMatrix);
  a.globe->world.SetIdentity();
  a.globe->world.Translate(0.0f, 0.0f, -93.0f).SetScale(9.0f, 9.0f, 9.0f);
  SetRenderState(D3DRS_LIGHTING, 0);
  a.globe->Render();
  SetRenderState(D3DRS_LIGHTING, 1);
  SetTextureMatrix(nullptr);

  // Four reindeer from two poses: the diagonal pairs share one. A frame drawn again for
  // another window shows the poses as they stand: even a step of 0 would end a finished fade.
  const bool advance = !frameTiming.redraw;
  winterScene.reindeer[0].placement.SetIdentity();
  if (advance) winterScene.reindeer[0].Update();
  winterScene.reindeer[0].Render();
  winterScene.reindeer[1].placement.SetIdentity();
  winterScene.reindeer[1].placement.Translate(18.4f, 0.0f, 0.0f);
  if (advance) winterScene.reindeer[1].Update();
  winterScene.reindeer[1].Render();
  winterScene.reindeer[0].placement.SetIdentity();
  winterScene.reindeer[0].placement.Translate(18.4f, -38.0f, 0.0f);
  winterScene.reindeer[0].Render();
  winterScene.reindeer[1].placement.SetIdentity();
  winterScene.reindeer[1].placement.Translate(0.0f, -38.0f, 0.0f);
  winterScene.reindeer[1].Render();
  winterScene.driver.placement.SetIdentity();
  if (advance) winterScene.driver.Update();
  winterScene.driver.Render();

  SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
  SetRenderState(D3DRS_ALPHATESTENABLE, 1);
  SetRenderState(D3DRS_LIGHTING, 0);
  SetWorldMatrix(nullptr);
  UpdateSnow();

  SetWorldMatrix(nullptr);
  SetRenderState(D3DRS_ALPHAREF, 128);
  UpdateTrees();
  SetRenderState(D3DRS_ALPHATESTENABLE, 0);

  // One burst at most per frame, none when the frame is only drawn again for another
  // window; the accumulator keeps whatever is left over.
  if (advance && winterScene.emitAccumulator > 100) {
    for (const EmitPoint& e : kTrailBurst) EmitParticles(e.position, e.kind, e.count);
    winterScene.emitAccumulator -= 100;
    for (const EmitPoint& e : kSparkBurst) EmitParticles(e.position, e.kind, e.count);
  }
  UpdateParticles();
  DrawSprites();

  // These carry into the next frame: from the second frame on, the snow meets ALPHAREF 1.
  SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  SetRenderState(D3DRS_ZENABLE, 0);
  SetRenderState(D3DRS_ALPHAREF, 1);
  SetRenderState(D3DRS_LIGHTING, 0);
  SetWorldMatrix(nullptr);
  SetViewMatrix(nullptr);
  SetRenderState(D3DRS_ALPHATESTENABLE, 0);
  SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
}

}  // namespace yulo
