#include "math/matrix.h"

#include "math/scalar.h"

namespace yulo {

Matrix4& Matrix4::SetIdentity() {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) m[r][c] = r == c ? 1.0f : 0.0f;
  return *this;
}

Matrix4& Matrix4::SetScale(float sx, float sy, float sz) {
  m[0][0] = sx;
  m[1][1] = sy;
  m[2][2] = sz;
  return *this;
}

Matrix4& Matrix4::SetRotationZ(float degrees) {
  const float c = CosDeg(degrees);
  const float s = SinDeg(degrees);
  m[0][0] = c;
  m[0][1] = s;
  m[1][0] = -s;
  m[1][1] = c;
  return *this;
}

namespace {

// Replaces rows a and b by (c*a + s*b) and (-s*a + c*b), all four columns.
void RotateRows(float (&m)[4][4], int a, int b, float c, float s) {
  for (int col = 0; col < 4; ++col) {
    const float ra = m[a][col];
    const float rb = m[b][col];
    m[a][col] = c * ra + s * rb;
    m[b][col] = -s * ra + c * rb;
  }
}

}  // namespace

Matrix4& Matrix4::RotateX(float degrees) {
  RotateRows(m, 1, 2, CosDeg(degrees), SinDeg(degrees));
  return *this;
}

Matrix4& Matrix4::RotateY(float degrees) {
  // row0 = c*row0 - s*row2; row2 = s*row0 + c*row2: the same pattern with the sine negated.
  RotateRows(m, 0, 2, CosDeg(degrees), -SinDeg(degrees));
  return *this;
}

Matrix4& Matrix4::RotateZ(float degrees) {
  RotateRows(m, 0, 1, CosDeg(degrees), SinDeg(degrees));
  return *this;
}

Matrix4& Matrix4::Translate(float x, float y, float z) {
  for (int col = 0; col < 4; ++col) m[3][col] += x * m[0][col] + y * m[1][col] + z * m[2][col];
  return *this;
}

Matrix4 Matrix4::operator*(const Matrix4& b) const {
  Matrix4 r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      r.m[i][j] =
          b.m[i][0] * m[0][j] + b.m[i][1] * m[1][j] + b.m[i][2] * m[2][j] + b.m[i][3] * m[3][j];
  return r;
}

Matrix4& Matrix4::operator*=(const Matrix4& b) {
  const Matrix4 r = *this * b;
  *this = r;
  return *this;
}

}  // namespace yulo
