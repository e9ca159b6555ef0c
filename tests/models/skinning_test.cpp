// The skinning jobs against the plain loops they replace: the same bits.
#include "models/skinning.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace yulo {
namespace {

// The loop as first written: unused influences skipped by a branch.
void ReferenceSkin(const std::vector<SkinVertex>& vertices, const std::vector<Matrix4>& rotations,
                   const std::vector<Vector3>& positions, std::vector<Vector3>* out) {
  for (size_t v = 0; v < vertices.size(); ++v) {
    Vector3 sum;
    for (const SkinInfluence& in : vertices[v].influences) {
      if (in.weight == 0.0f) continue;
      const Matrix4& r = rotations[size_t(in.bone)];
      const Vector3& p = in.position;
      const Vector3& t = positions[size_t(in.bone)];
      sum.x += in.weight * (p.x * r.m[0][0] + p.y * r.m[1][0] + p.z * r.m[2][0] + t.x);
      sum.y += in.weight * (p.x * r.m[0][1] + p.y * r.m[1][1] + p.z * r.m[2][1] + t.y);
      sum.z += in.weight * (p.x * r.m[0][2] + p.y * r.m[1][2] + p.z * r.m[2][2] + t.z);
    }
    (*out)[v] = sum;
  }
}

// Random poses and vertices, with unused influences (weight 0 or -0) whose bone index is
// out of range and whose positions are large: neither may reach the result.
TEST(SkinVertices, BitForBitTheBranchingLoop) {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> any(-50.0f, 50.0f);
  constexpr int kBones = 22;
  std::vector<Matrix4> rotations(kBones);
  std::vector<Vector3> positions(kBones);
  for (int b = 0; b < kBones; ++b) {
    for (auto& row : rotations[size_t(b)].m) {
      for (float& e : row) e = any(random) / 50.0f;
    }
    positions[size_t(b)].Set(any(random), any(random), any(random));
  }
  std::vector<SkinVertex> vertices(4000);
  for (SkinVertex& v : vertices) {
    for (SkinInfluence& in : v.influences) {
      const int kind = int(random() % 4);
      in.weight = kind == 0 ? 0.0f : kind == 1 ? -0.0f : any(random) / 50.0f;
      in.bone = kind < 2 ? 1000000 + int(random() % 7) : int(random() % kBones);
      in.position.Set(any(random) * (kind < 2 ? 1e30f : 1.0f), any(random), any(random));
    }
  }
  std::vector<Vector3> expected(vertices.size()), got(vertices.size());
  ReferenceSkin(vertices, rotations, positions, &expected);
  WeightedInfluences weighted;
  ListWeightedInfluences(vertices, &weighted);
  for (const bool eightLanes : {false, true}) {
    UseEightLanes(eightLanes);
    for (Vector3& g : got) g.Set(-7.0f, -7.0f, -7.0f);
    SkinVertices(weighted, rotations, positions, got);
    EXPECT_EQ(std::memcmp(expected.data(), got.data(), got.size() * sizeof(Vector3)), 0)
        << "eight lanes " << eightLanes;
  }
}

// The normals loop as first written, summing straight into the normals.
void ReferenceNormals(const std::vector<int32_t>& corners, const std::vector<Vector3>& positions,
                      std::vector<Vector3>* normals) {
  for (Vector3& n : *normals) n.Set(0.0f, 0.0f, 0.0f);
  for (size_t c = 0; c + 2 < corners.size(); c += 3) {
    const Vector3& p0 = positions[size_t(corners[c])];
    Vector3 n =
        (positions[size_t(corners[c + 2])] - p0).Cross(positions[size_t(corners[c + 1])] - p0);
    n.Normalize();
    for (size_t k = 0; k < 3; ++k) (*normals)[size_t(corners[c + k])] += n;
  }
  for (Vector3& n : *normals) n.Normalize();
}

// Random meshes whose triangle and vertex counts are no multiples of four, with the
// awkward cases among ordinary ones: repeated corners (zero normals), triangles so small
// that the squared length is subnormal or zero while the cross product is not, huge ones
// (infinite squared length), a NaN position, and vertices no triangle uses.
TEST(RebuildNormals, BitForBitThePlainLoop) {
  BuildSqrtTable();
  std::mt19937 random(11);
  std::uniform_real_distribution<float> any(-10.0f, 10.0f);
  for (const size_t vertexCount : {size_t(1), size_t(7), size_t(403)}) {
    std::vector<Vector3> positions(vertexCount);
    for (size_t v = 0; v < vertexCount; ++v) {
      const int kind = int(random() % 10);
      const float scale = kind == 0 ? 1e-21f : kind == 1 ? 1e-19f : kind == 2 ? 1e19f : 1.0f;
      positions[v].Set(any(random) * scale, any(random) * scale, any(random) * scale);
    }
    if (vertexCount > 7) positions[5].y = std::numeric_limits<float>::quiet_NaN();
    std::vector<int32_t> corners;
    for (size_t t = 0; t < vertexCount * 2 + 3; ++t) {
      const int32_t a = int32_t(random() % vertexCount);
      const bool repeat = random() % 8 == 0;
      corners.push_back(a);
      corners.push_back(repeat ? a : int32_t(random() % vertexCount));
      corners.push_back(int32_t(random() % (vertexCount > 7 ? vertexCount - 3 : vertexCount)));
    }
    corners.push_back(0);  // a trailing corner that makes no triangle
    std::vector<Vector3> expected(vertexCount), got(vertexCount);
    VertexTriangles byVertex;
    ListVertexTriangles(corners, vertexCount, &byVertex);
    std::vector<PaddedNormal> faces(corners.size() / 3);
    ReferenceNormals(corners, positions, &expected);
    for (const bool eightLanes : {false, true}) {
      UseEightLanes(eightLanes);
      for (Vector3& g : got) g.Set(-7.0f, -7.0f, -7.0f);
      RebuildNormals(corners, positions, byVertex, faces, got);
      // A NaN's sign and payload depend on the order the compiler gives a commutative
      // operation's operands, so NaNs only need to be NaNs; and a sum with a NaN has a NaN
      // length, which makes its other components whatever FastSqrt gives for that NaN.
      size_t differing = 0;
      for (size_t v = 0; v < vertexCount; ++v) {
        const float* e = expected[v].Data();
        const float* g = got[v].Data();
        const bool hasNaN = std::isnan(e[0]) || std::isnan(e[1]) || std::isnan(e[2]);
        for (int k = 0; k < 3; ++k) {
          if (hasNaN ? std::isnan(e[k]) != std::isnan(g[k])
                     : std::bit_cast<uint32_t>(e[k]) != std::bit_cast<uint32_t>(g[k]))
            ++differing;
        }
      }
      EXPECT_EQ(differing, 0u) << vertexCount << " vertices, eight lanes " << eightLanes;
    }
  }
}

}  // namespace
}  // namespace yulo
