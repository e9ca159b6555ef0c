#include "models/skin.h"

#include <cstring>

#include "models/file_loading.h"
#include "models/mesh_vertex.h"
#include "models/texcoord_split.h"
#include "render/renderer.h"
#include "resources/loaded_file.h"

namespace yulo {

CharacterSkin::~CharacterSkin() {
  if (indexBuffer) indexBuffer->Release();
}

void BuildSkin(const SkinFileView& file, CharacterSkin* skin) {
  skin->vertexCount = file.vertexCount;
  skin->boneCount = file.boneCount;
  skin->faceCount = file.faceCount;
  skin->boneOffsets.resize(static_cast<size_t>(file.boneCount));
  skin->bones.resize(static_cast<size_t>(file.boneCount));
  for (int32_t b = 0; b < file.boneCount; ++b) {
    skin->boneOffsets[static_cast<size_t>(b)] = file.BoneOffset(b);
    skin->bones[static_cast<size_t>(b)] = file.Bone(b);
  }
  skin->vertices.resize(static_cast<size_t>(file.vertexCount));
  for (int32_t v = 0; v < file.vertexCount; ++v)
    skin->vertices[static_cast<size_t>(v)] = file.Vertex(v);

  const int32_t cornerCount = 3 * file.faceCount;
  skin->corners.resize(static_cast<size_t>(cornerCount));
  std::vector<Vector2> texCoords(static_cast<size_t>(cornerCount));
  for (int32_t c = 0; c < cornerCount; ++c) {
    skin->corners[static_cast<size_t>(c)] = file.Corner(c);
    texCoords[static_cast<size_t>(c)] = Vector2(file.U(c), file.V(c));  // compared as stored
  }
  ListWeightedInfluences(skin->vertices, &skin->weighted);
  ListVertexTriangles(skin->corners, static_cast<size_t>(file.vertexCount), &skin->vertexTriangles);
  TexCoordSplit split;
  SplitByTexCoord(skin->corners.data(), texCoords.data(), cornerCount, file.vertexCount, &split);
  skin->renderVertexCount = static_cast<int32_t>(split.source.size());
  skin->renderToSkin = std::move(split.source);
  skin->renderTexCoords.resize(split.texCoord.size());
  for (size_t r = 0; r < split.texCoord.size(); ++r) {
    skin->renderTexCoords[r] = Vector2(split.texCoord[r].x, 1.0f - split.texCoord[r].y);
  }
  skin->renderIndices = std::move(split.cornerVertex);
}

void CreateSkinBuffers(CharacterSkin* skin) {
  Device* device = GetDevice();
  if (!device || skin->faceCount == 0) return;
  skin->indexBuffer =
      CreateFilledIndexBuffer(device, skin->renderIndices.data(),
                              3 * static_cast<uint32_t>(skin->faceCount), skin->renderVertexCount);
}

void BuildClip(const ClipFileView& file, AnimationClip* clip) {
  clip->boneCount = file.boneCount;
  clip->frameCount = file.frameCount;
  clip->frameDuration = file.frameDuration;
  clip->duration = file.frameCount * file.frameDuration;
  clip->rootPositions.resize(static_cast<size_t>(file.frameCount));
  for (int32_t f = 0; f < file.frameCount; ++f)
    clip->rootPositions[static_cast<size_t>(f)] = file.RootPosition(f);
  clip->rotations.resize(static_cast<size_t>(file.boneCount) *
                         static_cast<size_t>(file.frameCount));
  for (int32_t b = 0; b < file.boneCount; ++b) {
    for (int32_t f = 0; f < file.frameCount; ++f) {
      const Vector3 a = file.Angles(b, f);
      clip->rotations[static_cast<size_t>(b) * static_cast<size_t>(file.frameCount) +
                      static_cast<size_t>(f)] = QuaternionFromEuler(a.x, a.y, a.z);
    }
  }
}

CharacterSkin* SkinLibrary::GetOrLoad(const char* name) {
  return GetOrLoadFromFile(*this, name, "skins", ReadSkinFile,
                           [](const SkinFileView& file, CharacterSkin* skin) {
                             BuildSkin(file, skin);
                             CreateSkinBuffers(skin);
                           });
}

AnimationClip* AnimationLibrary::GetOrLoad(const char* name) {
  return GetOrLoadFromFile(*this, name, "animation clips", ReadClipFile, BuildClip);
}

}  // namespace yulo
