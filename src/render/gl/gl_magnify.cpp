#include "render/gl/gl_magnify.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace yulo {

namespace {

constexpr double kMarginPixels = 2.0;    // the rasteriser's 2x2 quads reach past an edge
constexpr double kMaxRhoSquared = 0.81;  // texels per pixel below 0.9: level of detail < -0.15
constexpr double kMinDoubleArea = 1.0;   // twice the on-screen area, pixels: slivers fail
constexpr int kMaxSplits = 4;            // halvings of a box whose bound is too loose

struct ClipVertex {
  double x, y, z, w;  // clip space
  double u, v;        // texels
};

bool LoadVertex(const MagnifyDraw& d, uint32_t n, ClipVertex* out) {
  uint32_t index = 0;
  if (d.indexSize == 2) {
    uint16_t s;
    std::memcpy(&s, d.indices + static_cast<size_t>(n) * 2, 2);
    index = s;
  } else {
    std::memcpy(&index, d.indices + static_cast<size_t>(n) * 4, 4);
  }
  const uint64_t vertex = uint64_t{index} + d.baseVertex;
  if (vertex >= d.vertexCount) return false;
  const uint8_t* p = d.vertices + vertex * d.stride;
  float pos[3], tex[2];
  std::memcpy(pos, p, sizeof pos);
  std::memcpy(tex, p + d.texOffset, sizeof tex);
  const auto& m = d.clip.m;
  double c[4];
  for (int k = 0; k < 4; ++k) {
    c[k] = double(pos[0]) * m[0][k] + double(pos[1]) * m[1][k] + double(pos[2]) * m[2][k] +
           double(m[3][k]);
  }
  *out = {c[0],
          c[1],
          c[2],
          c[3],
          (tex[0] * double(d.texLinear[0]) + tex[1] * double(d.texLinear[2])) * d.texWidth,
          (tex[0] * double(d.texLinear[1]) + tex[1] * double(d.texLinear[3])) * d.texHeight};
  return true;
}

// All three vertices outside one clip plane: no pixel at all.
bool Culled(const ClipVertex v[3]) {
  const auto all = [&](auto outside) { return outside(v[0]) && outside(v[1]) && outside(v[2]); };
  return all([](const ClipVertex& c) { return c.x > c.w; }) ||
         all([](const ClipVertex& c) { return c.x < -c.w; }) ||
         all([](const ClipVertex& c) { return c.y > c.w; }) ||
         all([](const ClipVertex& c) { return c.y < -c.w; }) ||
         all([](const ClipVertex& c) { return c.z < 0.0; }) ||
         all([](const ClipVertex& c) { return c.z > c.w; });
}

// A triangle's planes f = f0 + fx (x - x0) + fy (y - y0) of 1/w and of the texel
// coordinates over w, in pixels from its first vertex.
struct Planes {
  double x0, y0;
  double q, qx, qy;
  double s, sx, sy;
  double t, tx, ty;
};

// Whether texels are over two pixels wide everywhere in the box [x0, x1] x [y0, y1]. The
// bound is loosest on large boxes: one that fails is halved both ways a few times.
bool BoxMagnifies(const Planes& p, double x0, double x1, double y0, double y1, int depth) {
  const double cornersX[2] = {x0 - p.x0, x1 - p.x0};
  const double cornersY[2] = {y0 - p.y0, y1 - p.y0};
  double qMin = INFINITY;
  for (double cx : cornersX) {
    for (double cy : cornersY) qMin = std::min(qMin, p.q + p.qx * cx + p.qy * cy);
  }
  if (!(qMin > 0.0)) return false;
  // d(s/q)/dx = (sx q - s qx) / q^2, whose numerator depends on y alone (and d/dy on x
  // alone): its largest size over the box is at one of the box's two sides.
  const auto largest = [](double a, double b, const double at[2]) {
    return std::max(std::fabs(a + b * at[0]), std::fabs(a + b * at[1]));
  };
  const double ux = largest(p.sx * p.q - p.qx * p.s, p.sx * p.qy - p.qx * p.sy, cornersY);
  const double vx = largest(p.tx * p.q - p.qx * p.t, p.tx * p.qy - p.qx * p.ty, cornersY);
  const double uy = largest(p.sy * p.q - p.qy * p.s, p.sy * p.qx - p.qy * p.sx, cornersX);
  const double vy = largest(p.ty * p.q - p.qy * p.t, p.ty * p.qx - p.qy * p.tx, cornersX);
  const double q4 = qMin * qMin * qMin * qMin;
  if (std::max(ux * ux + vx * vx, uy * uy + vy * vy) < kMaxRhoSquared * q4) return true;
  if (depth >= kMaxSplits || (x1 - x0 < 4.0 && y1 - y0 < 4.0)) return false;
  const double xm = 0.5 * (x0 + x1), ym = 0.5 * (y0 + y1);
  return BoxMagnifies(p, x0, xm, y0, ym, depth + 1) && BoxMagnifies(p, xm, x1, y0, ym, depth + 1) &&
         BoxMagnifies(p, x0, xm, ym, y1, depth + 1) && BoxMagnifies(p, xm, x1, ym, y1, depth + 1);
}

// Whether every pixel the triangle can shade samples with texels over two pixels wide.
bool TriangleMagnifies(const ClipVertex v[3], double halfWidth, double halfHeight) {
  if (Culled(v)) return true;
  double sx[3], sy[3], q[3], s[3], t[3];
  for (int i = 0; i < 3; ++i) {
    if (!(v[i].w > 1e-6)) return false;  // crosses the eye plane: clipped, not analysed
    q[i] = 1.0 / v[i].w;
    sx[i] = v[i].x * q[i] * halfWidth;
    sy[i] = v[i].y * q[i] * halfHeight;
    s[i] = v[i].u * q[i];
    t[i] = v[i].v * q[i];
  }
  // The pixels it may touch, its 2x2 quads included, inside the viewport's.
  const double x0 = std::max(std::min({sx[0], sx[1], sx[2]}), -halfWidth) - kMarginPixels;
  const double x1 = std::min(std::max({sx[0], sx[1], sx[2]}), halfWidth) + kMarginPixels;
  const double y0 = std::max(std::min({sy[0], sy[1], sy[2]}), -halfHeight) - kMarginPixels;
  const double y1 = std::min(std::max({sy[0], sy[1], sy[2]}), halfHeight) + kMarginPixels;
  if (x0 > x1 || y0 > y1) return true;
  const double dx1 = sx[1] - sx[0], dy1 = sy[1] - sy[0];
  const double dx2 = sx[2] - sx[0], dy2 = sy[2] - sy[0];
  const double area = dx1 * dy2 - dx2 * dy1;
  if (std::fabs(area) < kMinDoubleArea) return false;
  // Planes f = f0 + fx (x - sx0) + fy (y - sy0) of 1/w and of the texel coordinates over w.
  const auto gradient = [&](const double f[3], double* fx, double* fy) {
    const double d1 = f[1] - f[0], d2 = f[2] - f[0];
    *fx = (d1 * dy2 - d2 * dy1) / area;
    *fy = (d2 * dx1 - d1 * dx2) / area;
  };
  double qx, qy, sxg, syg, txg, tyg;
  gradient(q, &qx, &qy);
  gradient(s, &sxg, &syg);
  gradient(t, &txg, &tyg);
  const Planes planes{sx[0], sy[0], q[0], qx, qy, s[0], sxg, syg, t[0], txg, tyg};
  return BoxMagnifies(planes, x0, x1, y0, y1, 0);
}

}  // namespace

bool DrawOnlyMagnifies(const MagnifyDraw& d) {
  if (d.vertices == nullptr || d.indices == nullptr || d.indexCount % 3 != 0 ||
      d.stride < d.texOffset + 8 || d.stride < 12) {
    return false;
  }
  const double halfWidth = 0.5 * d.viewWidth, halfHeight = 0.5 * d.viewHeight;
  for (uint32_t i = 0; i < d.indexCount; i += 3) {
    ClipVertex v[3];
    for (uint32_t k = 0; k < 3; ++k) {
      if (!LoadVertex(d, i + k, &v[k])) return false;
    }
    if (!TriangleMagnifies(v, halfWidth, halfHeight)) return false;
  }
  return true;
}

}  // namespace yulo
