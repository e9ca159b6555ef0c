// The six planes of the camera's view volume in world space, and the sphere test that
// culls against them.
#pragma once

#include "math/matrix.h"

namespace yulo {

struct FrustumPlane {
  float a = 0.0f;  // unit normal (a, b, c) pointing into the volume after an update
  float b = 0.0f;
  float c = 0.0f;
  float d = 0.0f;  // so a*x + b*y + c*z + d is the signed distance in world units
};

class ViewFrustum {
 public:
  enum PlaneIndex { kRight = 0, kLeft = 1, kTop = 2, kBottom = 3, kFar = 4, kNear = 5 };
  static constexpr int kPlaneCount = 6;

  virtual ~ViewFrustum() = default;

  // Rebuilds the planes from the device's current view and projection transforms. Call
  // after both are set for the frame.
  void Update();
  // Rebuilds the planes from the given view and projection (row-vector convention).
  void Update(const Matrix4& view, const Matrix4& projection);

  // False when the sphere lies wholly on the outer side of some plane (a signed distance
  // at most -radius); true when it is inside or crosses the volume.
  bool SphereVisible(float x, float y, float z, float radius) const;

  const FrustumPlane& Plane(int i) const { return planes[i]; }

  FrustumPlane planes[kPlaneCount];  // right, left, top, bottom, far, near
};

}  // namespace yulo
