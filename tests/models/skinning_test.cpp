// The skinning job against the plain per-influence loop it replaces: the same bits.
#include "models/skinning.h"

#include <gtest/gtest.h>

#include <cstring>
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
  SkinVertices(vertices, rotations, positions, got);
  EXPECT_EQ(std::memcmp(expected.data(), got.data(), got.size() * sizeof(Vector3)), 0);
}

}  // namespace
}  // namespace yulo
