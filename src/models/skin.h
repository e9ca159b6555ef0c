// Character skins (weighted vertices over a bone hierarchy) and animation clips, and the
// two libraries that load each file once and share the records.
#pragma once

#include <cstdint>
#include <vector>

#include "math/quaternion.h"
#include "math/vector.h"
#include "models/model_files.h"
#include "models/skinning.h"
#include "resources/asset_table.h"

namespace yulo {

class IndexBuffer;

inline constexpr int kSkinLibraryCapacity = 511;
inline constexpr int kAnimationLibraryCapacity = 1023;

struct CharacterSkin {
  CharacterSkin() = default;
  ~CharacterSkin();  // releases the index buffer
  CharacterSkin(const CharacterSkin&) = delete;
  CharacterSkin& operator=(const CharacterSkin&) = delete;

  char name[kFileNameCapacity] = {};     // the library's lookup key
  int32_t vertexCount = 0;               // V
  int32_t boneCount = 0;                 // B; bone 0 is the root
  std::vector<Vector3> boneOffsets;      // B: from the parent, in its rotated frame
  std::vector<BoneRecord> bones;         // B: a tree under bone 0 (checked on load)
  std::vector<SkinVertex> vertices;      // V
  WeightedInfluences weighted;           // the vertices' influences grouped for skinning
  std::vector<int32_t> corners;          // 3F skin-vertex indices
  VertexTriangles vertexTriangles;       // corners listed by vertex
  int32_t faceCount = 0;                 // F
  std::vector<Vector2> renderTexCoords;  // R: (u, v) with v pointing down
  int32_t renderVertexCount = 0;         // R
  std::vector<int32_t> renderToSkin;     // R: the skin vertex of each render vertex
  std::vector<int32_t> renderIndices;    // 3F: the render vertex of each corner
  IndexBuffer* indexBuffer = nullptr;    // renderIndices; 32-bit past 65,536; owned
};

struct AnimationClip {
  char name[kFileNameCapacity] = {};   // the library's lookup key
  int32_t boneCount = 0;               // bones animated, 1..kMaxBones
  int32_t frameCount = 0;              // N >= 1
  int32_t frameDuration = 0;           // ms per frame, >= 1
  int32_t duration = 0;                // N * frameDuration, ms
  std::vector<Quaternion> rotations;   // bone b at frame f at index b * N + f
  std::vector<Vector3> rootPositions;  // N
};

// Fills a skin's records and splits its vertices by texture coordinate. Touches no device.
void BuildSkin(const SkinFileView& file, CharacterSkin* skin);
// Creates and fills the skin's index buffer on the current device (none without one).
void CreateSkinBuffers(CharacterSkin* skin);
// Fills a clip from a validated file.
void BuildClip(const ClipFileView& file, AnimationClip* clip);

class SkinLibrary : public AssetTable<CharacterSkin, kSkinLibraryCapacity> {
 public:
  // The skin loaded from name (exact match), loading it on first request. A missing or
  // malformed file, an over-long name or a full library is fatal.
  CharacterSkin* GetOrLoad(const char* name);
};

class AnimationLibrary : public AssetTable<AnimationClip, kAnimationLibraryCapacity> {
 public:
  // The clip loaded from name (exact match), loading it on first request; fatal as above.
  AnimationClip* GetOrLoad(const char* name);
};

}  // namespace yulo
