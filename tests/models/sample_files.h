// Small, valid model files built with the format writers, shared by the model suites.
#pragma once

#include "formats/formats.h"

namespace yulo::test {

// A flat or smooth unit quad of two triangles (positions 0..3) plus one unused position.
MeshFileData QuadMesh(bool smooth);

// A three-bone chain 0 -> 1 -> 2 with offsets along +y, four vertices held by one bone
// each (the last by two bones at half weight), two triangles.
SkinFileData ChainSkin();

// A clip for ChainSkin: `frames` frames of `frameDuration` ms; bone b at frame f turns
// f * 0.1 * (b + 1) radians about z; the root moves 1 unit along x per frame.
ClipFileData ChainClip(int32_t frames, int32_t frameDuration);

}  // namespace yulo::test
