#include "models/view_frustum.h"

#include <cmath>

#include "render/renderer.h"

namespace yulo {

namespace {

// sign * column k added to column 3 of m, normalised so that the plane is a distance.
FrustumPlane ClipPlane(const Matrix4& m, int k, float sign) {
  FrustumPlane p;
  p.a = m.m[0][3] + sign * m.m[0][k];
  p.b = m.m[1][3] + sign * m.m[1][k];
  p.c = m.m[2][3] + sign * m.m[2][k];
  p.d = m.m[3][3] + sign * m.m[3][k];
  const float length = std::sqrt(p.a * p.a + p.b * p.b + p.c * p.c);
  // A degenerate matrix (no camera set yet) leaves an all-zero plane, which rejects only
  // spheres of radius zero or less (0 <= -radius) instead of filling the planes with
  // infinities.
  if (length > 0.0f) {
    const float inv = 1.0f / length;
    p.a *= inv;
    p.b *= inv;
    p.c *= inv;
    p.d *= inv;
  }
  return p;
}

}  // namespace

void ViewFrustum::Update(const Matrix4& view, const Matrix4& projection) {
  // view * projection with the view applied first (operator* puts its right side first).
  const Matrix4 m = projection * view;
  planes[kRight] = ClipPlane(m, 0, -1.0f);
  planes[kLeft] = ClipPlane(m, 0, 1.0f);
  planes[kTop] = ClipPlane(m, 1, -1.0f);
  planes[kBottom] = ClipPlane(m, 1, 1.0f);
  planes[kFar] = ClipPlane(m, 2, -1.0f);
  // The plane at clip z = -w rather than z = 0: it lies behind the projection's near
  // plane, so it culls a little less; drawing keeps the device's own near clip.
  planes[kNear] = ClipPlane(m, 2, 1.0f);
}

void ViewFrustum::Update() {
  Matrix4 view;
  Matrix4 projection;
  GetViewMatrix(&view);
  GetProjectionMatrix(&projection);
  Update(view, projection);
}

bool ViewFrustum::SphereVisible(float x, float y, float z, float radius) const {
  for (const FrustumPlane& p : planes) {
    if (p.a * x + p.b * y + p.c * z + p.d <= -radius) return false;
  }
  return true;
}

}  // namespace yulo
