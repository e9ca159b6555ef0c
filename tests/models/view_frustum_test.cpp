#include "models/view_frustum.h"
#include "models/frame_matrices.h"

#include <gtest/gtest.h>

#include <cmath>

#include "render/renderer.h"
#include "render/trace/trace_device.h"

namespace yulo {
namespace {

// Left-handed perspective with depth 0..1, the renderer's projection.
Matrix4 Perspective(float fovY, float aspect, float zn, float zf) {
  Matrix4 p;
  const float h = std::cos(fovY / 2) / std::sin(fovY / 2);
  for (auto& row : p.m)
    for (float& e : row) e = 0.0f;
  p.m[0][0] = h / aspect;
  p.m[1][1] = h;
  p.m[2][2] = zf / (zf - zn);
  p.m[2][3] = 1.0f;
  p.m[3][2] = zn * zf / (zn - zf);
  return p;
}

constexpr float kNear = 35.0f;
constexpr float kFar = 2500.0f;

ViewFrustum CameraFrustum(const Matrix4& view) {
  ViewFrustum f;
  f.Update(view, Perspective(0.7853982f, 1.3333334f, kNear, kFar));
  return f;
}

TEST(ViewFrustumPlanes, IdentityProjectionGivesTheClipCube) {
  ViewFrustum f;
  f.Update(Matrix4(), Matrix4());
  // Right: x < 1, left: x > -1, top: y < 1, bottom: y > -1, far: z < 1, near: z > -1.
  const float expected[6][4] = {{-1, 0, 0, 1}, {1, 0, 0, 1},  {0, -1, 0, 1},
                                {0, 1, 0, 1},  {0, 0, -1, 1}, {0, 0, 1, 1}};
  for (int i = 0; i < 6; ++i) {
    EXPECT_FLOAT_EQ(f.Plane(i).a, expected[i][0]) << "plane " << i;
    EXPECT_FLOAT_EQ(f.Plane(i).b, expected[i][1]) << "plane " << i;
    EXPECT_FLOAT_EQ(f.Plane(i).c, expected[i][2]) << "plane " << i;
    EXPECT_FLOAT_EQ(f.Plane(i).d, expected[i][3]) << "plane " << i;
  }
}

TEST(ViewFrustumPlanes, NormalsHaveUnitLengthForAnyCamera) {
  Matrix4 view;
  view.RotateY(33.0f).RotateX(-12.0f).Translate(40.0f, -7.0f, 300.0f);
  const ViewFrustum f = CameraFrustum(view);
  for (int i = 0; i < ViewFrustum::kPlaneCount; ++i) {
    const FrustumPlane& p = f.Plane(i);
    EXPECT_NEAR(std::sqrt(p.a * p.a + p.b * p.b + p.c * p.c), 1.0f, 1e-5f) << "plane " << i;
  }
}

TEST(ViewFrustumSpheres, CentreOnAPlaneWithZeroRadiusIsOutside) {
  ViewFrustum f;
  f.Update(Matrix4(), Matrix4());
  EXPECT_FALSE(f.SphereVisible(1.0f, 0.0f, 0.0f, 0.0f));   // on the right plane
  EXPECT_FALSE(f.SphereVisible(0.0f, -1.0f, 0.0f, 0.0f));  // on the bottom plane
  EXPECT_TRUE(f.SphereVisible(0.999f, 0.0f, 0.0f, 0.0f));
}

TEST(ViewFrustumSpheres, StraddlingSpheresAreVisibleAndFarOnesAreNot) {
  ViewFrustum f;
  f.Update(Matrix4(), Matrix4());
  EXPECT_TRUE(f.SphereVisible(-1.2f, 0.0f, 0.0f, 0.5f));   // crosses the left plane
  EXPECT_FALSE(f.SphereVisible(-2.0f, 0.0f, 0.0f, 0.5f));  // wholly beyond it
  EXPECT_FALSE(f.SphereVisible(-1.5f, 0.0f, 0.0f, 0.5f));  // touching from outside
}

TEST(ViewFrustumSpheres, PerspectiveDepthLimits) {
  const ViewFrustum f = CameraFrustum(Matrix4());
  EXPECT_TRUE(f.SphereVisible(0.0f, 0.0f, 100.0f, 0.0f));
  EXPECT_TRUE(f.SphereVisible(0.0f, 0.0f, 2499.0f, 0.0f));
  EXPECT_FALSE(f.SphereVisible(0.0f, 0.0f, 1.0e5f, 0.0f));
  EXPECT_FALSE(f.SphereVisible(0.0f, 0.0f, -50.0f, 0.0f));
  // The near plane sits at zn*zf / (2zf - zn), about 17.62, not at zn.
  const float nearPlane = kNear * kFar / (2 * kFar - kNear);
  EXPECT_TRUE(f.SphereVisible(0.0f, 0.0f, 20.0f, 0.0f));
  EXPECT_TRUE(f.SphereVisible(0.0f, 0.0f, nearPlane + 0.01f, 0.0f));
  EXPECT_FALSE(f.SphereVisible(0.0f, 0.0f, nearPlane - 0.01f, 0.0f));
  // Sideways: at depth 100 the half-width is 100 * aspect / h, about 55.2.
  EXPECT_TRUE(f.SphereVisible(54.0f, 0.0f, 100.0f, 0.0f));
  EXPECT_FALSE(f.SphereVisible(57.0f, 0.0f, 100.0f, 0.0f));
  EXPECT_TRUE(f.SphereVisible(57.0f, 0.0f, 100.0f, 5.0f));
}

TEST(ViewFrustumSpheres, PlanesFollowTheCameraIntoTheWorld) {
  // Camera at z = -1000 turned to look down -x: view = inverse of (turn, then move).
  Matrix4 view;
  view.RotateY(90.0f);  // world -x becomes the viewing direction +z
  view.Translate(0.0f, 0.0f, 1000.0f);
  const ViewFrustum f = CameraFrustum(view);
  EXPECT_TRUE(f.SphereVisible(-500.0f, 0.0f, -1000.0f, 1.0f));
  EXPECT_FALSE(f.SphereVisible(500.0f, 0.0f, -1000.0f, 1.0f));
  EXPECT_FALSE(f.SphereVisible(0.0f, 0.0f, 0.0f, 1.0f));
}

TEST(ViewFrustumPlanes, UpdateReadsTheDeviceTransforms) {
  TraceDevice device;
  SetDevice(&device);
  Matrix4 view;
  view.RotateX(20.0f).Translate(5.0f, 60.0f, 400.0f);
  const Matrix4 projection = Perspective(0.7853982f, 1.3333334f, kNear, kFar);
  SetViewMatrix(&view);
  SetProjectionMatrix(projection);
  frameMatrices.viewFrustum.Update();
  SetDevice(nullptr);
  ViewFrustum direct;
  direct.Update(view, projection);
  EXPECT_EQ(device.RecordsOf(TraceKind::GetTransform).size(), 2u);
  for (int i = 0; i < ViewFrustum::kPlaneCount; ++i) {
    EXPECT_EQ(frameMatrices.viewFrustum.Plane(i).a, direct.Plane(i).a) << i;
    EXPECT_EQ(frameMatrices.viewFrustum.Plane(i).d, direct.Plane(i).d) << i;
  }
}

}  // namespace
}  // namespace yulo
