// 4x4 float matrix: row-major, row vectors (p' = p * M), translation in the fourth row.
#pragma once

#include <cstddef>

#include "math/vector.h"

namespace yulo {

struct Matrix4 {
  float m[4][4];  // m[row][column]; the layout of the device's matrix

  // Identity.
  Matrix4() { SetIdentity(); }

  Matrix4& SetIdentity();
  // Writes the three diagonal scale elements and nothing else (translation is kept).
  Matrix4& SetScale(float sx, float sy, float sz);
  // Writes only the upper-left 2x2 block with a rotation about Z (degrees).
  Matrix4& SetRotationZ(float degrees);

  // Pre-multiplies by an elementary rotation about the local axis (degrees): the object
  // turns about its own axis before the matrix's existing transform.
  Matrix4& RotateX(float degrees);
  Matrix4& RotateY(float degrees);
  Matrix4& RotateZ(float degrees);
  // Pre-multiplies by a translation along the local axes: row3 += x*row0 + y*row1 + z*row2.
  Matrix4& Translate(float x, float y, float z);
  Matrix4& Translate(const Vector3& v) { return Translate(v.x, v.y, v.z); }

  // a * b is b applied first, then a (b * a in row-vector algebra).
  Matrix4 operator*(const Matrix4& b) const;
  // this = this * b, through a temporary (m *= m is safe).
  Matrix4& operator*=(const Matrix4& b);

  // Columns 0..2 of the upper 3x3 block; for a view matrix: right, up, viewing direction.
  Vector3 AxisX() const { return {m[0][0], m[1][0], m[2][0]}; }
  Vector3 AxisY() const { return {m[0][1], m[1][1], m[2][1]}; }
  Vector3 AxisZ() const { return {m[0][2], m[1][2], m[2][2]}; }

  // Element i = m[i / 4][i % 4].
  float& operator[](int i) { return m[i >> 2][i & 3]; }
  const float& operator[](int i) const { return m[i >> 2][i & 3]; }

  const float* Data() const { return &m[0][0]; }
  float* Data() { return &m[0][0]; }
};
static_assert(sizeof(Matrix4) == 64);

}  // namespace yulo
