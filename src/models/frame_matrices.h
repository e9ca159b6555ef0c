// The matrices of the frame being composed, shared across layers. Per frame the scene
// writes each of them once, early in its frame composition, before anything below reads it:
//
//   field          written by (per frame)                   read by
//   cameraMatrix   the camera path (scene/winter_scene)      tree billboards (scene), sprites
//                                                            (effects/sprite_batch)
//   sleighMatrix   the sleigh's rocking (scene/winter_scene) every character draw
//                                                            (models/character)
//   viewFrustum    the frame composition, after the view     sprite culling
//                  and projection are set                    (effects/sprite_batch)
//
// Nothing else writes them; tests set them directly.
#pragma once

#include "math/matrix.h"
#include "models/view_frustum.h"

namespace yulo {

struct FrameMatrices {
  // The view matrix; its first two columns are the camera's right and up directions in
  // world space, which orient every sprite and billboard.
  Matrix4 cameraMatrix;
  Matrix4 sleighMatrix;     // the moving sleigh's world matrix; characters draw relative to it
  ViewFrustum viewFrustum;  // the camera's view volume in world space
};

extern FrameMatrices frameMatrices;

}  // namespace yulo
