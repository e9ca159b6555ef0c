// Skin files: validate, split the vertices, then pose, skin and rebuild normals once.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "math/scalar.h"
#include "models/model_files.h"
#include "models/skin.h"
#include "models/skinning.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool tableBuilt = (yulo::BuildSqrtTable(), true);
  (void)tableBuilt;
  yulo::SkinFileView file;
  yulo::FileError error;
  if (!yulo::ReadSkinFile(data, size, &file, &error)) return 0;
  yulo::CharacterSkin skin;
  yulo::BuildSkin(file, &skin);
  for (int32_t index : skin.renderIndices) {
    if (index < 0 || index >= skin.renderVertexCount) __builtin_trap();
  }
  std::vector<yulo::Matrix4> rotations(static_cast<size_t>(skin.boneCount));
  std::vector<yulo::Vector3> positions(static_cast<size_t>(skin.boneCount));
  std::vector<yulo::Vector3> skinned(static_cast<size_t>(skin.vertexCount));
  std::vector<yulo::Vector3> normals(static_cast<size_t>(skin.vertexCount));
  std::vector<yulo::PaddedNormal> faces(static_cast<size_t>(skin.faceCount));
  yulo::SkinVertices(skin.weighted, rotations, positions, skinned);
  yulo::RebuildNormals(skin.corners, skinned, skin.vertexTriangles, faces, normals);
  return 0;
}
