// Writers of the engine's model files: meshes (.msh_s), model descriptions (.cgo),
// characters (.chr), skins and animation clips (.anm). Offline only: the asset generator,
// the inspector and the tests use them; the screensaver never links them.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "math/vector.h"
#include "models/model_files.h"

namespace yulo {

// A mesh as stored: texture coordinates with v pointing up, one per triangle corner.
struct MeshFileData {
  bool smooth = false;
  Vector3 translation;
  Vector3 angles;                  // radians about x, y, z
  std::vector<Vector3> positions;  // P
  std::vector<int32_t> corners;    // 3F position indices
  std::vector<Vector2> texCoords;  // 3F, v up
};

// A skin as stored. B = boneOffsets.size() = bones.size().
struct SkinFileData {
  std::vector<Vector3> boneOffsets;  // relative to the parent, in its rotated frame
  std::vector<SkinVertex> vertices;  // V
  std::vector<BoneRecord> bones;     // hierarchy; bone 0 is the root
  std::vector<int32_t> corners;      // 3F skin-vertex indices
  std::vector<Vector2> texCoords;    // 3F, v up
};

// A clip as stored. N = rootPositions.size(); angles holds boneCount * N triples,
// bone-major (index bone * N + frame).
struct ClipFileData {
  int32_t boneCount = 0;
  int32_t frameDuration = 0;  // ms
  std::vector<Vector3> rootPositions;
  std::vector<Vector3> angles;  // radians about x, y, z
};

// A model description: mesh i drawn with texture i, plus optional bound shapes.
struct ModelDescription {
  struct Part {
    std::string mesh;
    std::string texture;
  };
  struct Bound {
    std::string name;  // at most 15 characters
    bool isCircle = false;
    Vector3 centre;
    float radius = 0.0f;   // circles
    float extent1 = 0.0f;  // boxes: "dx"
    float extent2 = 0.0f;  // boxes: "dz"
  };
  std::vector<Part> parts;
  std::vector<Bound> bounds;
};

std::vector<uint8_t> EncodeMeshFile(const MeshFileData& mesh);
std::vector<uint8_t> EncodeSkinFile(const SkinFileData& skin);
std::vector<uint8_t> EncodeClipFile(const ClipFileData& clip);
// The skin name fills a 32-byte field (at most 31 characters, else cut); the texture
// name follows with its NUL.
std::vector<uint8_t> EncodeCharacterFile(const std::string& skinName,
                                         const std::string& textureName);
// key=value lines ended by CR LF, in the order the loader reads them.
std::string EncodeModelDescription(const ModelDescription& model);

// A bone record with the given children and name (cut to 31 characters).
BoneRecord MakeBone(const char* name, std::initializer_list<int32_t> children);
// A skin vertex held by up to three (weight, bone, position) influences.
SkinVertex MakeSkinVertex(std::initializer_list<SkinInfluence> influences);

// Writes bytes to path, replacing it; false (with errno set) when that fails.
bool WriteWholeFile(const std::string& path, const void* data, size_t size);
inline bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  return WriteWholeFile(path, bytes.data(), bytes.size());
}
inline bool WriteWholeFile(const std::string& path, const std::string& text) {
  return WriteWholeFile(path, text.data(), text.size());
}

}  // namespace yulo
