#include "models/skinning.h"

#include <cstring>

#include "models/mesh_vertex.h"

namespace yulo {

void SkinVertices(std::span<const SkinVertex> vertices, std::span<const Matrix4> boneRotations,
                  std::span<const Vector3> bonePositions, std::span<Vector3> out) {
  for (size_t v = 0; v < vertices.size(); ++v) {
    Vector3 sum;
    for (const SkinInfluence& in : vertices[v].influences) {
      if (in.weight == 0.0f) continue;
      const size_t b = size_t(in.bone);
      const Matrix4& r = boneRotations[b];
      const Vector3& p = in.position;
      const Vector3& t = bonePositions[b];
      sum.x += in.weight * (p.x * r.m[0][0] + p.y * r.m[1][0] + p.z * r.m[2][0] + t.x);
      sum.y += in.weight * (p.x * r.m[0][1] + p.y * r.m[1][1] + p.z * r.m[2][1] + t.y);
      sum.z += in.weight * (p.x * r.m[0][2] + p.y * r.m[1][2] + p.z * r.m[2][2] + t.z);
    }
    out[v] = sum;
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
