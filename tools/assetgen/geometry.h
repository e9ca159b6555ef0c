// Procedural geometry for the meshes and skins: a triangle list with one texture
// coordinate per corner, built from tubes, ellipsoids, boxes and quads.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "formats/formats.h"
#include "math/vector.h"

namespace yulo::assetgen {

Vector3 Add(Vector3 a, Vector3 b);
Vector3 Sub(Vector3 a, Vector3 b);
Vector3 Mul(Vector3 a, float s);
float Dot(Vector3 a, Vector3 b);
Vector3 CrossOf(Vector3 a, Vector3 b);
Vector3 Normalized(Vector3 a);  // zero stays zero
float LengthOf(Vector3 a);

// A rectangle of the texture, in picture coordinates (v = 0 is the top row).
struct UvRect {
  float u0 = 0, v0 = 0, u1 = 1, v1 = 1;
  Vector2 At(float s, float t) const { return {u0 + (u1 - u0) * s, v0 + (v1 - v0) * t}; }
};

// The engine computes a face normal as (p2 - p0) x (p1 - p0) and lights with the fixed
// light of the scene, whose direction points from the sky downwards. Triangles are
// stored so that (p1 - p0) x (p2 - p0) points out of the surface: the engine's normals
// then face the light on the sides of an object that look up at the moon.
class MeshBuilder {
 public:
  // Called for every new position (e.g. to record bone weights of a skin).
  using PositionHook = std::function<void(int index, Vector3 position)>;
  void SetPositionHook(PositionHook hook) { hook_ = std::move(hook); }

  int AddPosition(Vector3 p);
  // a, b, c counter-clockwise seen from outside; texture coordinates in picture terms.
  void AddTriangle(int a, int b, int c, Vector2 ta, Vector2 tb, Vector2 tc);

  // A tube along a path (at least two points) with a radius per point, `sides` around.
  // ellipse scales the radius along `up` (a direction roughly across the path).
  // u runs around the tube, v along it. Open ends are closed with caps when capped.
  void Tube(const std::vector<Vector3>& path, const std::vector<float>& radii, int sides, UvRect uv,
            Vector3 up, float ellipse = 1.0f, bool capped = true);
  // An ellipsoid; u runs around the z axis, v from the top pole (0) to the bottom (1).
  // lumps > 0 adds a deterministic bumpiness of that relative size.
  void Ellipsoid(Vector3 centre, Vector3 radii, int slices, int stacks, UvRect uv, float lumps = 0,
                 uint32_t seed = 0);
  // An axis-aligned box; every face maps the whole rectangle.
  void Box(Vector3 lo, Vector3 hi, UvRect uv);
  // A four-cornered patch a-b-c-d (counter-clockwise from the front), both faces when
  // twoSided (the engine draws without culling, but the back needs its own normal).
  void Quad(Vector3 a, Vector3 b, Vector3 c, Vector3 d, UvRect uv, bool twoSided);

  const std::vector<Vector3>& positions() const { return positions_; }
  const std::vector<int32_t>& corners() const { return corners_; }
  const std::vector<Vector2>& texCoords() const { return texCoords_; }  // stored form, v up
  int faceCount() const { return static_cast<int>(corners_.size() / 3); }

  // The mesh file of this geometry, placed by the header's rotation and translation.
  MeshFileData ToMeshFile(bool smooth, Vector3 translation = {}, Vector3 angles = {}) const;

 private:
  std::vector<Vector3> positions_;
  std::vector<int32_t> corners_;
  std::vector<Vector2> texCoords_;
  PositionHook hook_;
};

}  // namespace yulo::assetgen
