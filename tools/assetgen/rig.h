// Skinned figures built from code: a skeleton authored in its rest pose, a skin made of
// ellipsoids and tubes whose vertices are weighted to nearby bones, and clips sampled
// from functions of the loop phase. Shared by the reindeer and the driver.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "formats/formats.h"
#include "image.h"
#include "math/matrix.h"
#include "math/vector.h"

namespace yulo::assetgen::creatures {

// A rectangle of a texture atlas in picture coordinates (v = 0 is the top row).
struct AtlasRect {
  float u0 = 0, v0 = 0, u1 = 1, v1 = 1;
  Vector2 At(float s, float t) const { return {u0 + (u1 - u0) * s, v0 + (v1 - v0) * t}; }
  bool Contains(float u, float v) const { return u >= u0 && u < u1 && v >= v0 && v < v1; }
  // Local coordinates 0..1 of a picture position inside the rectangle.
  float S(float u) const { return (u - u0) / (u1 - u0); }
  float T(float v) const { return (v - v0) / (v1 - v0); }
};

// The part of a rectangle the geometry uses, in an atlas of textureSize texels a side: two
// texels inside the painted area, so filtering never picks up a neighbour's colour.
inline AtlasRect Inner(AtlasRect r, int textureSize) {
  const float inset = 2.0f / static_cast<float>(textureSize);
  return {r.u0 + inset, r.v0 + inset, r.u1 - inset, r.v1 - inset};
}

// An opaque colour.
inline Rgba Rgb(float r, float g, float b) {
  return {r, g, b, 1.0f};
}

// A skeleton in its rest pose. Every bone's rest rotation is the identity, so a bone's
// frame is the model's frame moved to the bone's head: offsets are plain differences of
// rest positions and a clip's angles are turns away from the rest pose.
class Skeleton {
 public:
  // Adds a bone whose head rests at `head` (model space); parent -1 only for the first
  // bone, the root. Returns its index.
  int AddBone(const char* name, int parent, Vector3 head);
  // Where the bone's segment ends, for weighting; by default the head of its first child
  // (or the head itself for a leaf).
  void SetTail(int bone, Vector3 tail);

  int count() const { return static_cast<int>(bones_.size()); }
  int Find(const char* name) const;  // -1 when absent
  const std::string& Name(int bone) const { return bones_[size_t(bone)].name; }
  int Parent(int bone) const { return bones_[size_t(bone)].parent; }
  Vector3 Head(int bone) const { return bones_[size_t(bone)].head; }
  Vector3 Tail(int bone) const;

  // Offsets, records and the root at its rest position; the skin fills in the rest.
  void Fill(SkinFileData* skin) const;

 private:
  struct Bone {
    std::string name;
    int parent = -1;
    Vector3 head;
    bool hasTail = false;
    Vector3 tail;
    std::vector<int> children;
  };
  std::vector<Bone> bones_;
};

// Triangles over weighted vertices. Faces are stored counter-clockwise seen from outside,
// the winding the sleigh's meshes use, so figures and sleigh are lit alike.
class SkinBuilder {
 public:
  explicit SkinBuilder(const Skeleton& skeleton) : skeleton_(skeleton) {}

  // The bones the next primitives may be weighted to (up to the first three nearest
  // segments, blended smoothly); one bone makes the part rigid.
  void UseBones(std::initializer_list<int> bones) { bones_.assign(bones); }
  // How sharply weights fall off with the distance from a bone's segment (higher: a
  // shorter blend at the joints).
  void SetFalloff(float power) { falloff_ = power; }

  // An ellipsoid: centre + axis * cos(theta) + (side1 cos(phi) + side2 sin(phi)) sin(theta).
  // v runs from the `axis` pole (0) to the other (1), u around from side1.
  void Ellipsoid(Vector3 centre, Vector3 axis, Vector3 side1, Vector3 side2, int slices, int stacks,
                 AtlasRect uv);
  // A tube along a path (two or more points) with a radius per point; `across` (roughly
  // perpendicular to the path) gives the direction of u = 0 and is stretched by `flatten`.
  // The ends are closed with rounded caps when capped.
  void Tube(const std::vector<Vector3>& path, const std::vector<float>& radii, int sides,
            AtlasRect uv, Vector3 across, float flatten = 1.0f, bool capped = true);

  int vertexCount() const { return static_cast<int>(positions_.size()); }
  int faceCount() const { return static_cast<int>(corners_.size() / 3); }
  const std::vector<Vector3>& positions() const { return positions_; }

  // The whole skin file: skeleton, weighted bone-space vertices, faces, coordinates.
  SkinFileData ToSkinFile() const;

 private:
  int AddVertex(Vector3 p);
  // A triangle turned so that its face normal agrees with `outward`.
  void AddFace(int a, int b, int c, Vector2 ta, Vector2 tb, Vector2 tc, Vector3 outward);

  const Skeleton& skeleton_;
  std::vector<int> bones_;
  float falloff_ = 5.0f;
  std::vector<Vector3> positions_;
  std::vector<SkinVertex> weights_;  // influences with model-space positions until stored
  std::vector<int32_t> corners_;
  std::vector<Vector2> texCoords_;  // picture coordinates, v down
};

// A clip sampled from a function of the loop phase (0 <= phase < 1): frame f is taken at
// phase f / frameCount, so a periodic function joins its last frame to its first cleanly.
struct ClipPose {
  std::vector<Vector3> angles;  // per bone, radians about x, y, z (turns from the rest pose)
  Vector3 root;                 // root bone position
};
ClipFileData SampleClip(const Skeleton& skeleton, int frameCount, int frameDuration,
                        const std::function<void(float phase, ClipPose* pose)>& posing);

// Bone positions of a pose, computed as the engine poses a skeleton (model space, with
// the root at pose.root), and each bone's model-space rotation when asked.
std::vector<Vector3> PoseBones(const Skeleton& skeleton, const ClipPose& pose,
                               std::vector<Matrix4>* rotations = nullptr);
// Where a bone's tail ends up in a posed skeleton.
Vector3 PosedTail(const Skeleton& skeleton, int bone, const std::vector<Vector3>& positions,
                  const std::vector<Matrix4>& rotations);

// The angles about x, then y, then z (as clips store them) of a rotation given as a
// row-vector matrix; the inverse of QuaternionFromEuler(...).ToMatrix for |y| < pi/2.
Vector3 EulerFromMatrix(const Matrix4& m);
// The local angles that turn a bone whose rest direction is `rest` (model space) to point
// along `target` (model space) while its parent is turned by parentRotation; the shortest
// turn, so the bone doesn't roll needlessly.
Vector3 AimAngles(Vector3 rest, Vector3 target, const Matrix4& parentRotation);

// Small vector helpers.
Vector3 Scaled(Vector3 a, float s);
float DotOf(Vector3 a, Vector3 b);
float LengthOf(Vector3 a);
Vector3 UnitOf(Vector3 a);  // zero stays zero
Vector3 Mid(Vector3 a, Vector3 b, float t);

}  // namespace yulo::assetgen::creatures
