#include "sample_files.h"

namespace yulo::test {

MeshFileData QuadMesh(bool smooth) {
  MeshFileData m;
  m.smooth = smooth;
  m.positions = {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}, {9, 9, 9}};
  m.corners = {0, 1, 2, 0, 2, 3};
  m.texCoords = {{0, 0}, {0, 1}, {1, 1}, {0, 0}, {1, 1}, {1, 0}};
  return m;
}

SkinFileData ChainSkin() {
  SkinFileData s;
  s.boneOffsets = {{0, 0, 0}, {0, 1, 0}, {0, 1, 0}};
  s.bones = {MakeBone("Bip01", {1}), MakeBone("Bip01 Spine", {2}), MakeBone("Bip01 Head", {})};
  s.vertices = {
      MakeSkinVertex({{1.0f, 0, {1, 0, 0}}}),
      MakeSkinVertex({{1.0f, 1, {1, 0, 0}}}),
      MakeSkinVertex({{1.0f, 2, {0, 0, 1}}}),
      MakeSkinVertex({{0.5f, 1, {0, 0, 0}}, {0.5f, 2, {0, 0, 0}}, {0.0f, 77, {5, 5, 5}}}),
  };
  s.corners = {0, 1, 2, 0, 2, 3};
  s.texCoords = {{0, 0}, {0, 1}, {1, 1}, {0, 0.25f}, {1, 1}, {1, 0}};
  return s;
}

ClipFileData ChainClip(int32_t frames, int32_t frameDuration) {
  ClipFileData c;
  c.boneCount = 3;
  c.frameDuration = frameDuration;
  for (int32_t f = 0; f < frames; ++f) c.rootPositions.push_back({float(f), 0, 0});
  for (int32_t b = 0; b < 3; ++b) {
    for (int32_t f = 0; f < frames; ++f) c.angles.push_back({0, 0, 0.1f * f * (b + 1)});
  }
  return c;
}

}  // namespace yulo::test
