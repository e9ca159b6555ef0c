// Validating readers of the binary model files: the mesh (.msh_s), the character (.chr),
// the skin it names and the animation clip (.anm). All are little-endian and tightly
// packed. A reader checks every size, count and index before anything uses it and
// describes the first fault it finds; it never reads outside the bytes it is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "math/vector.h"

namespace yulo {

inline constexpr int kMaxBones = 256;         // bones per skin or clip
inline constexpr int kMaxBoneChildren = 5;    // children per bone record
inline constexpr int kSkinInfluences = 3;     // bone influences per skin vertex
inline constexpr int kFileNameCapacity = 32;  // names in .chr files and library keys, with NUL
// Render vertices a mesh or skin may need at most (3F + P): keeps every buffer size, in
// bytes, far inside 32 bits.
inline constexpr int64_t kMaxRenderVertices = static_cast<int64_t>(1) << 24;

// The first fault a reader found, as text for the loading-error message.
struct FileError {
  char text[192] = {};
};

// One bone's pull on a skin vertex, as stored (20 bytes).
struct SkinInfluence {
  float weight;      // used as stored; exactly 0 means unused
  int32_t bone;      // bone index, checked only when the weight is not 0
  Vector3 position;  // the vertex in that bone's frame
};
static_assert(sizeof(SkinInfluence) == 20);
static_assert(offsetof(SkinInfluence, bone) == 4 && offsetof(SkinInfluence, position) == 8);

// A skin vertex as stored (60 bytes).
struct SkinVertex {
  SkinInfluence influences[kSkinInfluences];
};
static_assert(sizeof(SkinVertex) == 60);

// A bone's place in the hierarchy, as stored (56 bytes).
struct BoneRecord {
  int32_t childCount;                  // 0..5
  int32_t children[kMaxBoneChildren];  // the first childCount are bone indices
  char name[32];                       // NUL-terminated within the field when well formed
};
static_assert(sizeof(BoneRecord) == 56);
static_assert(offsetof(BoneRecord, children) == 4 && offsetof(BoneRecord, name) == 24);

// Unaligned little-endian field access into a file image.
inline int32_t ReadInt32(const uint8_t* p) {
  int32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline float ReadFloat(const uint8_t* p) {
  float v;
  std::memcpy(&v, p, 4);
  return v;
}
inline Vector3 ReadVector3(const uint8_t* p) {
  Vector3 v;
  std::memcpy(&v, p, 12);
  return v;
}

// >>section mesh: 3 bytes unused, smooth flag, translation, angles (radians), 1 byte unused,
// P, F, P positions, F index triples, 3F (u, v) with v pointing up.
inline constexpr size_t kMeshHeaderSize = 37;

struct MeshFileView {
  bool smooth = false;
  Vector3 translation;
  Vector3 angles;
  int32_t positionCount = 0;           // P
  int32_t faceCount = 0;               // F
  const uint8_t* positions = nullptr;  // 12 * P bytes
  const uint8_t* corners = nullptr;    // 12 * F bytes, each index < P
  const uint8_t* texCoords = nullptr;  // 24 * F bytes

  int32_t Corner(int32_t i) const { return ReadInt32(corners + 4 * static_cast<size_t>(i)); }
  Vector3 Position(int32_t k) const { return ReadVector3(positions + 12 * static_cast<size_t>(k)); }
  float U(int32_t corner) const { return ReadFloat(texCoords + 8 * static_cast<size_t>(corner)); }
  float V(int32_t corner) const {
    return ReadFloat(texCoords + 8 * static_cast<size_t>(corner) + 4);
  }
};

bool ReadMeshFile(const uint8_t* data, size_t size, MeshFileView* out, FileError* error);

// >>section character: skin file name in a 32-byte field, then the texture name to its NUL.
struct CharacterFileView {
  char skinName[kFileNameCapacity] = {};
  char textureName[128] = {};
};

bool ReadCharacterFile(const uint8_t* data, size_t size, CharacterFileView* out, FileError* error);

// >>section skin: V, B, B bone offsets, V skin vertices, B bone records, F, F index triples,
// 3F (u, v) with v pointing up.
struct SkinFileView {
  int32_t vertexCount = 0;               // V
  int32_t boneCount = 0;                 // B, 1..kMaxBones; bone 0 is the root
  int32_t faceCount = 0;                 // F
  const uint8_t* boneOffsets = nullptr;  // 12 * B bytes
  const uint8_t* vertices = nullptr;     // 60 * V bytes
  const uint8_t* bones = nullptr;        // 56 * B bytes
  const uint8_t* corners = nullptr;      // 12 * F bytes, each index < V
  const uint8_t* texCoords = nullptr;    // 24 * F bytes

  int32_t Corner(int32_t i) const { return ReadInt32(corners + 4 * static_cast<size_t>(i)); }
  Vector3 BoneOffset(int32_t b) const {
    return ReadVector3(boneOffsets + 12 * static_cast<size_t>(b));
  }
  SkinVertex Vertex(int32_t v) const {
    SkinVertex s;
    std::memcpy(&s, vertices + sizeof(SkinVertex) * static_cast<size_t>(v), sizeof(SkinVertex));
    return s;
  }
  BoneRecord Bone(int32_t b) const {
    BoneRecord r;
    std::memcpy(&r, bones + sizeof(BoneRecord) * static_cast<size_t>(b), sizeof(BoneRecord));
    return r;
  }
  float U(int32_t corner) const { return ReadFloat(texCoords + 8 * static_cast<size_t>(corner)); }
  float V(int32_t corner) const {
    return ReadFloat(texCoords + 8 * static_cast<size_t>(corner) + 4);
  }
};

// Besides sizes and indices, checks that the bones form a tree under bone 0: children
// are bones 1..B-1 and no bone has two parents, so posing from the root terminates.
bool ReadSkinFile(const uint8_t* data, size_t size, SkinFileView* out, FileError* error);

// >>section clip: bone count, frame duration (ms), N, N root positions, then bone-major angle
// triples (radians): all N frames of bone 0, then bone 1, ...
struct ClipFileView {
  int32_t boneCount = 0;                   // 1..kMaxBones
  int32_t frameDuration = 0;               // ms, at least 1
  int32_t frameCount = 0;                  // N, at least 1; N * frameDuration fits an int32
  const uint8_t* rootPositions = nullptr;  // 12 * N bytes
  const uint8_t* angles = nullptr;         // 12 * boneCount * N bytes

  Vector3 RootPosition(int32_t f) const {
    return ReadVector3(rootPositions + 12 * static_cast<size_t>(f));
  }
  Vector3 Angles(int32_t bone, int32_t f) const {
    return ReadVector3(angles + 12 * (static_cast<size_t>(bone) * static_cast<size_t>(frameCount) +
                                      static_cast<size_t>(f)));
  }
};

bool ReadClipFile(const uint8_t* data, size_t size, ClipFileView* out, FileError* error);

}  // namespace yulo
