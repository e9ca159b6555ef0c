#include "models/skinning.h"

#include <cstring>

#include "models/mesh_vertex.h"

namespace yulo {

void SkinVertices(std::span<const SkinVertex> vertices, std::span<const Matrix4> boneRotations,
                  std::span<const Vector3> bonePositions, std::span<Vector3> out) {
  // No branch per influence: an unused one (weight 0) reads bone 0 at the origin and adds
  // 0 * (its position) = 0, which leaves the sum as it was (the sum starts at +0 and so
  // never is -0). Its bone index is never used, as it may be anything.
  const size_t count = vertices.size();
  for (size_t v = 0; v < count; ++v) {
    float sx = 0.0f, sy = 0.0f, sz = 0.0f;
    for (const SkinInfluence& in : vertices[v].influences) {
      const bool used = in.weight != 0.0f;
      const size_t b = used ? size_t(in.bone) : 0;
      const float px = used ? in.position.x : 0.0f;
      const float py = used ? in.position.y : 0.0f;
      const float pz = used ? in.position.z : 0.0f;
      const Matrix4& r = boneRotations[b];
      const Vector3& t = bonePositions[b];
      const float tx = used ? t.x : 0.0f;
      const float ty = used ? t.y : 0.0f;
      const float tz = used ? t.z : 0.0f;
      sx += in.weight * (px * r.m[0][0] + py * r.m[1][0] + pz * r.m[2][0] + tx);
      sy += in.weight * (px * r.m[0][1] + py * r.m[1][1] + pz * r.m[2][1] + ty);
      sz += in.weight * (px * r.m[0][2] + py * r.m[1][2] + pz * r.m[2][2] + tz);
    }
    out[v].Set(sx, sy, sz);
  }
}

void RebuildNormals(std::span<const int32_t> corners, std::span<const Vector3> positions,
                    std::span<Vector3> normals) {
  for (Vector3& n : normals) n.Set(0.0f, 0.0f, 0.0f);
  for (size_t c = 0; c + 2 < corners.size(); c += 3) {
    const size_t i0 = size_t(corners[c]);
    const size_t i1 = size_t(corners[c + 1]);
    const size_t i2 = size_t(corners[c + 2]);
    Vector3 n = (positions[i2] - positions[i0]).Cross(positions[i1] - positions[i0]);
    n.Normalize();
    normals[i0] += n;
    normals[i1] += n;
    normals[i2] += n;
  }
  for (Vector3& n : normals) n.Normalize();
}

void WriteRenderVertices(std::span<const int32_t> renderToSkin, std::span<const Vector3> positions,
                         std::span<const Vector3> normals, uint8_t* vertices) {
  for (size_t r = 0; r < renderToSkin.size(); ++r) {
    uint8_t* record = vertices + r * kMeshVertexStride;
    const size_t s = size_t(renderToSkin[r]);
    std::memcpy(record, &positions[s], sizeof(Vector3));
    std::memcpy(record + sizeof(Vector3), &normals[s], sizeof(Vector3));
  }
}

}  // namespace yulo
