#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>

#include "math/math.h"

namespace yulo {
namespace {

class FastSqrtTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { BuildSqrtTable(); }
};

TEST_F(FastSqrtTest, ExactForSquaresWithShortRoots) {
  EXPECT_EQ(std::bit_cast<uint32_t>(FastSqrt(0.0f)), 0u);
  EXPECT_EQ(FastSqrt(1.0f), 1.0f);
  EXPECT_EQ(FastSqrt(4.0f), 2.0f);
  EXPECT_EQ(FastSqrt(0.25f), 0.5f);
  EXPECT_EQ(FastSqrt(100.0f), 10.0f);
}

TEST_F(FastSqrtTest, LowEightMantissaBitsTakeNoPart) {
  EXPECT_EQ(FastSqrt(1.0000001f), 1.0f);
  EXPECT_EQ(FastSqrt(std::bit_cast<float>(0x408000FFu)), FastSqrt(4.0f));
}

TEST_F(FastSqrtTest, KnownValuesBitForBit) {
  EXPECT_EQ(FastSqrt(2.0f), 1.4142135f);
  EXPECT_EQ(FastSqrt(1234.5678f), 35.136341f);
}

TEST_F(FastSqrtTest, WithinTableResolutionAcrossExponents) {
  // Inputs below 1 wrap the exponent subtraction; the mask must still give the right result.
  for (float x = 1e-6f; x < 1e7f; x *= 1.37f) {
    const double exact = std::sqrt(static_cast<double>(x));
    EXPECT_NEAR(FastSqrt(x), exact, exact * 3.1e-5) << x;
  }
}

// Whichever way FastSqrt takes (the processor's root or the table), it gives the table's
// bits: every 61st bit pattern of the positive floats, and the ends of each kind.
TEST_F(FastSqrtTest, SameBitsAsTheTableForEveryKindOfInput) {
  const auto check = [](uint32_t bits) {
    return std::bit_cast<uint32_t>(FastSqrt(std::bit_cast<float>(bits))) ==
           std::bit_cast<uint32_t>(detail::TableSqrt(bits));
  };
  size_t differing = 0;
  for (uint64_t bits = 0; bits <= 0x7F800000u; bits += 61) differing += !check(uint32_t(bits));
  for (const uint32_t bits : {0x00000000u, 0x00000001u, 0x007FFFFFu, 0x00800000u, 0x008000FFu,
                              0x3F7FFFFFu, 0x3F800000u, 0x7F7FFFFFu, 0x7F800000u}) {
    EXPECT_TRUE(check(bits)) << std::hex << bits;
  }
  EXPECT_EQ(differing, 0u);
}

TEST(Trigonometry, DegreesUseTheRoundedConstant) {
  EXPECT_EQ(std::bit_cast<uint32_t>(DegToRad), 0x3C8EFA35u);
  EXPECT_NEAR(SinDeg(90.0f), 1.0f, 1e-7f);
  // The rounded constant makes 90 degrees fall just past pi/2.
  EXPECT_LT(CosDeg(90.0f), 0.0f);
  EXPECT_NEAR(CosDeg(90.0f), -4.37e-8f, 1e-9f);
}

TEST(Vector3Ops, NormalizeLengthCrossLerp) {
  BuildSqrtTable();
  Vector3 zero;
  zero.Normalize();
  EXPECT_EQ(zero.x, 0.0f);
  EXPECT_EQ(zero.y, 0.0f);
  EXPECT_EQ(zero.z, 0.0f);

  Vector3 v(3.0f, 0.0f, 4.0f);
  EXPECT_EQ(v.Length(), 5.0f);
  v.Normalize();
  EXPECT_FLOAT_EQ(v.x, 0.6f);
  EXPECT_FLOAT_EQ(v.z, 0.8f);

  const Vector3 c = Vector3(1, 0, 0).Cross(Vector3(0, 1, 0));
  EXPECT_EQ(c.z, 1.0f);
  EXPECT_EQ(c.x, 0.0f);

  const Vector3 mid = Vector3(0, 0, 0).Lerp(Vector3(2, 4, 8), 0.25f);
  EXPECT_EQ(mid.x, 0.5f);
  EXPECT_EQ(mid.z, 2.0f);
}

void ExpectPointNear(const Vector3& p, float x, float y, float z) {
  EXPECT_NEAR(p.x, x, 1e-5f);
  EXPECT_NEAR(p.y, y, 1e-5f);
  EXPECT_NEAR(p.z, z, 1e-5f);
}

TEST(Matrix4Ops, RotateZTurnsXTowardsY) {
  Matrix4 m;
  m.RotateZ(90.0f);
  ExpectPointNear(Vector3(1, 0, 0).Transform(m), 0, 1, 0);
  ExpectPointNear(Vector3(0, 1, 0).Transform(m), -1, 0, 0);
}

TEST(Matrix4Ops, ProductAppliesRightOperandFirst) {
  Matrix4 translate;
  translate.Translate(10.0f, 0.0f, 0.0f);
  Matrix4 rotate;
  rotate.RotateZ(90.0f);
  const Vector3 p(1.0f, 0.0f, 0.0f);
  // rotate * translate: translate first, then rotate.
  ExpectPointNear(p.Transform(rotate * translate), 0, 11, 0);
  ExpectPointNear(p.Transform(translate * rotate), 10, 1, 0);
}

TEST(Matrix4Ops, SelfMultiplyAssignSquares) {
  Matrix4 m;
  m.RotateX(30.0f).Translate(1.0f, 2.0f, 3.0f).RotateY(20.0f);
  const Matrix4 square = m * m;
  m *= m;
  for (int i = 0; i < 16; ++i) EXPECT_EQ(m[i], square[i]) << i;
}

TEST(Matrix4Ops, RotationsAndTranslationsActInTheLocalFrame) {
  // Translate(t) then RotateZ: the object turns first, then moves.
  Matrix4 m;
  m.Translate(1.0f, 2.0f, 3.0f).RotateZ(90.0f);
  ExpectPointNear(Vector3(1, 0, 0).Transform(m), 1, 3, 3);
  // RotateZ then Translate: the move is along the turned local axis.
  Matrix4 n;
  n.RotateZ(90.0f).Translate(1.0f, 0.0f, 0.0f);
  ExpectPointNear(Vector3(0, 0, 0).Transform(n), 0, 1, 0);
  // RotateX: +y goes to +z; RotateY: +z goes to +x (left-handed element pattern).
  Matrix4 rx;
  rx.RotateX(90.0f);
  ExpectPointNear(Vector3(0, 1, 0).Transform(rx), 0, 0, 1);
  Matrix4 ry;
  ry.RotateY(90.0f);
  ExpectPointNear(Vector3(0, 0, 1).Transform(ry), 1, 0, 0);
}

TEST(Matrix4Ops, SetScaleAndSetRotationZWriteOnlyTheirElements) {
  Matrix4 m;
  m.Translate(5.0f, 6.0f, 7.0f);
  m.SetScale(2.0f, 3.0f, 4.0f);
  EXPECT_EQ(m.m[3][0], 5.0f);
  EXPECT_EQ(m.m[3][1], 6.0f);
  EXPECT_EQ(m.m[3][2], 7.0f);
  EXPECT_EQ(m.m[0][0], 2.0f);
  EXPECT_EQ(m.m[2][2], 4.0f);

  m.SetRotationZ(180.0f);
  EXPECT_NEAR(m.m[0][0], -1.0f, 1e-6f);
  EXPECT_EQ(m.m[2][2], 4.0f);
  EXPECT_EQ(m.m[3][0], 5.0f);
}

TEST(Matrix4Ops, LayoutAndAxes) {
  Matrix4 m;
  m.m[3][0] = 42.0f;
  EXPECT_EQ(m[12], 42.0f);
  EXPECT_EQ(m.Data()[12], 42.0f);
  m.m[1][0] = 7.0f;
  EXPECT_EQ(m.AxisX().y, 7.0f);  // column 0
}

TEST(QuaternionOps, ToMatrixWritesOnlyTheRotationBlock) {
  Matrix4 m;
  m.Translate(1.0f, 2.0f, 3.0f);
  m.m[0][3] = 9.0f;
  Quaternion(0, 0, 0, 1).ToMatrix(m);
  EXPECT_EQ(m.m[0][0], 1.0f);
  EXPECT_EQ(m.m[0][1], 0.0f);
  EXPECT_EQ(m.m[3][2], 3.0f);
  EXPECT_EQ(m.m[0][3], 9.0f);

  Matrix4 fromZero;
  fromZero.m[0][0] = 5.0f;
  Quaternion().ToMatrix(fromZero);  // all-zero quaternion also writes the identity block
  EXPECT_EQ(fromZero.m[0][0], 1.0f);
  EXPECT_EQ(fromZero.m[1][1], 1.0f);

  // 90 degrees about z: x goes to y.
  const float h = std::sqrt(0.5f);
  Matrix4 r;
  Quaternion(0, 0, h, h).ToMatrix(r);
  ExpectPointNear(Vector3(1, 0, 0).Transform(r), 0, 1, 0);
}

TEST(QuaternionOps, SlerpEndsAndMidpoint) {
  const float h = std::sqrt(0.5f);
  const Quaternion p(0, 0, 0, 1);
  const Quaternion q(0, 0, h, h);
  const Quaternion at0 = p.Slerp(q, 0.0f);
  const Quaternion at1 = p.Slerp(q, 1.0f);
  for (int i = 0; i < 4; ++i) {
    EXPECT_NEAR(at0[i], p[i], 1e-6f);
    EXPECT_NEAR(at1[i], q[i], 1e-6f);
  }
  const Quaternion mid = p.Slerp(q, 0.5f);
  EXPECT_NEAR(mid.z, std::sin(3.14159265f / 8.0f), 1e-6f);
  EXPECT_NEAR(mid.w, std::cos(3.14159265f / 8.0f), 1e-6f);
}

TEST(QuaternionOps, SlerpTakesTheShorterArc) {
  const float h = std::sqrt(0.5f);
  const Quaternion p(0, 0, 0, 1);
  const Quaternion negQ(0, 0, -h, -h);  // the same rotation as (0, 0, h, h)
  const Quaternion at1 = p.Slerp(negQ, 1.0f);
  EXPECT_NEAR(at1.z, h, 1e-6f);
  EXPECT_NEAR(at1.w, h, 1e-6f);

  // Towards -p: after the flip both are the same rotation, for every t.
  const Quaternion r(0.5f, 0.5f, 0.5f, 0.5f);
  const Quaternion minusR(-0.5f, -0.5f, -0.5f, -0.5f);
  for (float t : {0.0f, 0.3f, 0.7f, 1.0f}) {
    const Quaternion s = r.Slerp(minusR, t);
    for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(s[i], 0.5f) << t;
  }
}

TEST(QuaternionOps, SlerpOfNearlyEqualRotationsIsLinearAndExact) {
  const Quaternion p(0.0f, 0.0f, 0.0f, 1.0f);
  const Quaternion s = p.Slerp(p, 0.25f);
  EXPECT_EQ(s.w, 1.0f);
  EXPECT_EQ(s.x, 0.0f);
  const Quaternion a(0.0f, 0.0f, 0.0002f, 1.0f);
  const Quaternion b(0.0f, 0.0f, 0.0004f, 1.0f);
  EXPECT_FLOAT_EQ(a.Slerp(b, 0.5f).z, 0.0003f);
}

TEST(ColorARGBOps, PacksAsAARRGGBB) {
  ColorARGB c;
  c.Set(255, 128, 0, 64);
  EXPECT_EQ(c.Value(), 0x40FF8000u);
  uint32_t word = 0;
  std::memcpy(&word, &c, 4);
  EXPECT_EQ(word, 0x40FF8000u);
  c.Set(0x1FF, 0, 0, 0);  // low 8 bits only
  EXPECT_EQ(c.r, 0xFF);
}

}  // namespace
}  // namespace yulo
