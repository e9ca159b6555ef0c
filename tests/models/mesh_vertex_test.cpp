#include "models/mesh_vertex.h"

#include <gtest/gtest.h>

#include "math/math.h"

namespace yulo {
namespace {

Matrix4 RotationMatrix(const Quaternion& q) {
  Matrix4 m;
  q.ToMatrix(m);
  return m;
}

void ExpectMatrixNear(const Matrix4& a, const Matrix4& b) {
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(a[i], b[i], 1e-5f) << "element " << i;
}

TEST(QuaternionFromEuler, ZeroAnglesGiveTheIdentity) {
  const Quaternion q = QuaternionFromEuler(0.0f, 0.0f, 0.0f);
  EXPECT_FLOAT_EQ(q.x, 0.0f);
  EXPECT_FLOAT_EQ(q.y, 0.0f);
  EXPECT_FLOAT_EQ(q.z, 0.0f);
  EXPECT_FLOAT_EQ(q.w, 1.0f);
}

TEST(QuaternionFromEuler, QuarterTurnAboutXTakesYToZ) {
  const Vector3 p = Vector3(0.0f, 1.0f, 0.0f)
                        .Transform(RotationMatrix(QuaternionFromEuler(1.5707964f, 0.0f, 0.0f)));
  EXPECT_NEAR(p.x, 0.0f, 1e-6f);
  EXPECT_NEAR(p.y, 0.0f, 1e-6f);
  EXPECT_NEAR(p.z, 1.0f, 1e-6f);
}

TEST(QuaternionFromEuler, AppliesXThenYThenZ) {
  const float angles[][3] = {{0.3f, -1.1f, 2.0f}, {-2.5f, 0.7f, 0.1f}, {1.0f, 1.0f, -1.0f}};
  for (const auto& a : angles) {
    const Matrix4 mx = RotationMatrix(QuaternionFromEuler(a[0], 0.0f, 0.0f));
    const Matrix4 my = RotationMatrix(QuaternionFromEuler(0.0f, a[1], 0.0f));
    const Matrix4 mz = RotationMatrix(QuaternionFromEuler(0.0f, 0.0f, a[2]));
    // Matrix4's a * b applies b first.
    ExpectMatrixNear(RotationMatrix(QuaternionFromEuler(a[0], a[1], a[2])), mz * (my * mx));
  }
}

}  // namespace
}  // namespace yulo
