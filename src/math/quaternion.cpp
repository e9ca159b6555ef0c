#include "math/quaternion.h"

#include <cmath>

#include "math/scalar.h"

namespace yulo {

Matrix4& Quaternion::ToMatrix(Matrix4& out) const {
  out.m[0][0] = 1.0f - 2.0f * y * y - 2.0f * z * z;
  out.m[0][1] = 2.0f * x * y + 2.0f * z * w;
  out.m[0][2] = 2.0f * x * z - 2.0f * y * w;
  out.m[1][0] = 2.0f * x * y - 2.0f * z * w;
  out.m[1][1] = 1.0f - 2.0f * x * x - 2.0f * z * z;
  out.m[1][2] = 2.0f * y * z + 2.0f * x * w;
  out.m[2][0] = 2.0f * x * z + 2.0f * y * w;
  out.m[2][1] = 2.0f * y * z - 2.0f * x * w;
  out.m[2][2] = 1.0f - 2.0f * x * x - 2.0f * y * y;
  return out;
}

Quaternion Quaternion::Slerp(Quaternion q, float t) const {
  float cosom = q.x * x + q.y * y + q.z * z + q.w * w;
  if (cosom < 0.0f) {
    // Take the shorter arc: q and -q are the same rotation.
    cosom = -cosom;
    q = Quaternion(-q.x, -q.y, -q.z, -q.w);
  }
  float scale0;
  float scale1;
  if (1.0f - cosom > 0.001f) {
    const float omega = static_cast<float>(std::acos(static_cast<double>(cosom)));
    const float sinom = Sin(omega);
    scale0 = Sin((1.0f - t) * omega) / sinom;
    scale1 = Sin(t * omega) / sinom;
  } else {
    // Nearly the same rotation: sin(omega) is too small to divide by.
    scale0 = 1.0f - t;
    scale1 = t;
  }
  return {scale0 * x + scale1 * q.x, scale0 * y + scale1 * q.y, scale0 * z + scale1 * q.z,
          scale0 * w + scale1 * q.w};
}

}  // namespace yulo
