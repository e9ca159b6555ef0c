// Rotation quaternion (x, y, z, w); expected to be of unit length when turned into a matrix.
#pragma once

#include <cstddef>

#include "math/matrix.h"

namespace yulo {

struct Quaternion {
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;
  float w = 0.0f;  // the default quaternion is all zero, not the identity

  Quaternion() = default;
  Quaternion(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}

  float& operator[](int i) { return (&x)[i]; }
  const float& operator[](int i) const { return (&x)[i]; }

  // Writes the rotation into the upper 3x3 block of m; the rest of m is kept.
  Matrix4& ToMatrix(Matrix4& m) const;

  // Spherical interpolation from this (t = 0) towards q (t = 1) along the shorter arc;
  // a plain linear blend when the two are within 0.001 of each other. Not renormalised.
  Quaternion Slerp(Quaternion q, float t) const;
};
static_assert(sizeof(Quaternion) == 16);
static_assert(offsetof(Quaternion, w) == 12);

}  // namespace yulo
