// Two- and three-component float vectors with the memory layout the device expects.
#pragma once

#include <cstddef>

#include "math/scalar.h"

namespace yulo {

struct Matrix4;

struct Vector2 {
  float x = 0.0f;
  float y = 0.0f;

  Vector2() = default;
  Vector2(float x_, float y_) : x(x_), y(y_) {}
  Vector2& Set(float x_, float y_) {
    x = x_;
    y = y_;
    return *this;
  }
  Vector2 operator+(const Vector2& b) const { return {x + b.x, y + b.y}; }
};
static_assert(sizeof(Vector2) == 8);

struct Vector3 {
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;

  Vector3() = default;
  Vector3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}

  Vector3& Set(float x_, float y_, float z_) {
    x = x_;
    y = y_;
    z = z_;
    return *this;
  }

  Vector3 operator+(const Vector3& b) const { return {x + b.x, y + b.y, z + b.z}; }
  Vector3& operator+=(const Vector3& b) {
    x += b.x;
    y += b.y;
    z += b.z;
    return *this;
  }
  Vector3 operator-(const Vector3& b) const { return {x - b.x, y - b.y, z - b.z}; }
  Vector3 operator*(float s) const { return {x * s, y * s, z * s}; }

  // (1 - t) * this + t * b, with 1 - t rounded to float first.
  Vector3 Lerp(const Vector3& b, float t) const {
    const float s = 1.0f - t;
    return {s * x + t * b.x, s * y + t * b.y, s * z + t * b.z};
  }
  Vector3 Cross(const Vector3& b) const {
    return {y * b.z - z * b.y, z * b.x - x * b.z, x * b.y - y * b.x};
  }
  // FastSqrt of the squared length.
  float Length() const { return FastSqrt(x * x + y * y + z * z); }
  // Scales to unit length in place; a zero vector stays zero.
  Vector3& Normalize() {
    const float len = Length();
    if (len == 0.0f) return *this;
    const float inv = 1.0f / len;
    x *= inv;
    y *= inv;
    z *= inv;
    return *this;
  }
  // The point this * m with an implied w of 1; the fourth column of m is ignored.
  Vector3 Transform(const Matrix4& m) const;

  const float* Data() const { return &x; }
};
static_assert(sizeof(Vector3) == 12);
static_assert(offsetof(Vector3, x) == 0 && offsetof(Vector3, y) == 4 && offsetof(Vector3, z) == 8);

}  // namespace yulo
