#include "geometry.h"

#include <cmath>

#include "noise.h"

namespace yulo::assetgen {

namespace {
constexpr float kTwoPi = 6.28318530717958f;
}

Vector3 Add(Vector3 a, Vector3 b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vector3 Sub(Vector3 a, Vector3 b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vector3 Mul(Vector3 a, float s) {
  return {a.x * s, a.y * s, a.z * s};
}
float Dot(Vector3 a, Vector3 b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vector3 CrossOf(Vector3 a, Vector3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float LengthOf(Vector3 a) {
  return std::sqrt(Dot(a, a));
}
Vector3 Normalized(Vector3 a) {
  const float l = LengthOf(a);
  return l > 0 ? Mul(a, 1.0f / l) : a;
}

int MeshBuilder::AddPosition(Vector3 p) {
  positions_.push_back(p);
  const int index = static_cast<int>(positions_.size()) - 1;
  if (hook_) hook_(index, p);
  return index;
}

void MeshBuilder::AddTriangle(int a, int b, int c, Vector2 ta, Vector2 tb, Vector2 tc) {
  for (int i : {a, b, c}) corners_.push_back(i);
  // Stored with v pointing up; the loaders flip it back.
  for (Vector2 t : {ta, tb, tc}) texCoords_.push_back({t.x, 1.0f - t.y});
}

void MeshBuilder::Tube(const std::vector<Vector3>& path, const std::vector<float>& radii, int sides,
                       UvRect uv, Vector3 up, float ellipse, bool capped) {
  const int n = static_cast<int>(path.size());
  std::vector<float> along(n, 0.0f);
  for (int i = 1; i < n; ++i) along[i] = along[i - 1] + LengthOf(Sub(path[i], path[i - 1]));
  const float total = along[n - 1] > 0 ? along[n - 1] : 1.0f;
  std::vector<int> rings(static_cast<size_t>(n) * sides);
  Vector3 side = {};
  for (int i = 0; i < n; ++i) {
    const Vector3 tangent = Normalized(Sub(path[std::min(i + 1, n - 1)], path[std::max(i - 1, 0)]));
    // A frame carried along the path: `across` stays as close to `up` as the bend allows.
    Vector3 across = Sub(up, Mul(tangent, Dot(up, tangent)));
    if (LengthOf(across) < 1e-4f) across = CrossOf(tangent, side);
    across = Normalized(across);
    side = Normalized(CrossOf(tangent, across));
    for (int s = 0; s < sides; ++s) {
      const float a = kTwoPi * s / sides;
      const Vector3 offset =
          Add(Mul(side, std::cos(a) * radii[i]), Mul(across, std::sin(a) * radii[i] * ellipse));
      rings[static_cast<size_t>(i) * sides + s] = AddPosition(Add(path[i], offset));
    }
  }
  for (int i = 0; i + 1 < n; ++i) {
    const float t0 = along[i] / total, t1 = along[i + 1] / total;
    for (int s = 0; s < sides; ++s) {
      const int s1 = (s + 1) % sides;
      const float u0 = static_cast<float>(s) / sides, u1 = static_cast<float>(s + 1) / sides;
      const int a = rings[static_cast<size_t>(i) * sides + s];
      const int b = rings[static_cast<size_t>(i) * sides + s1];
      const int c = rings[static_cast<size_t>(i + 1) * sides + s1];
      const int d = rings[static_cast<size_t>(i + 1) * sides + s];
      // (d - a) runs along the path and (c - d) round it, so a, d, c winds outwards.
      AddTriangle(a, d, c, uv.At(u0, t0), uv.At(u0, t1), uv.At(u1, t1));
      AddTriangle(a, c, b, uv.At(u0, t0), uv.At(u1, t1), uv.At(u1, t0));
    }
  }
  if (!capped) return;
  for (int end = 0; end < 2; ++end) {
    const int i = end == 0 ? 0 : n - 1;
    const int centre = AddPosition(path[i]);
    const Vector2 mid = uv.At(0.5f, end == 0 ? 0.0f : 1.0f);
    for (int s = 0; s < sides; ++s) {
      const int a = rings[static_cast<size_t>(i) * sides + s];
      const int b = rings[static_cast<size_t>(i) * sides + (s + 1) % sides];
      if (end == 0) {
        AddTriangle(centre, a, b, mid, mid, mid);
      } else {
        AddTriangle(centre, b, a, mid, mid, mid);
      }
    }
  }
}

void MeshBuilder::Ellipsoid(Vector3 centre, Vector3 radii, int slices, int stacks, UvRect uv,
                            float lumps, uint32_t seed) {
  const auto point = [&](int stack, int slice) {
    const float polar = 3.14159265f * stack / stacks;
    const float azimuth = kTwoPi * slice / slices;
    Vector3 d = {std::sin(polar) * std::cos(azimuth), std::sin(polar) * std::sin(azimuth),
                 std::cos(polar)};
    float scale = 1.0f;
    if (lumps > 0) {
      scale +=
          lumps *
          (ValueNoise(slice * 0.9f, stack * 0.9f, static_cast<int>(slices * 0.9f), seed) - 0.5f) *
          2.0f;
    }
    return Add(centre, {d.x * radii.x * scale, d.y * radii.y * scale, d.z * radii.z * scale});
  };
  const int top = AddPosition(point(0, 0));
  std::vector<int> grid(static_cast<size_t>(stacks + 1) * slices, top);
  for (int st = 1; st < stacks; ++st) {
    for (int sl = 0; sl < slices; ++sl)
      grid[static_cast<size_t>(st) * slices + sl] = AddPosition(point(st, sl));
  }
  const int bottom = AddPosition(point(stacks, 0));
  for (int sl = 0; sl < slices; ++sl) grid[static_cast<size_t>(stacks) * slices + sl] = bottom;
  for (int st = 0; st < stacks; ++st) {
    for (int sl = 0; sl < slices; ++sl) {
      const int sl1 = (sl + 1) % slices;
      const float u0 = static_cast<float>(sl) / slices, u1 = static_cast<float>(sl + 1) / slices;
      const float v0 = static_cast<float>(st) / stacks, v1 = static_cast<float>(st + 1) / stacks;
      const int a = grid[static_cast<size_t>(st) * slices + sl];
      const int b = grid[static_cast<size_t>(st) * slices + sl1];
      const int c = grid[static_cast<size_t>(st + 1) * slices + sl1];
      const int d = grid[static_cast<size_t>(st + 1) * slices + sl];
      // Going down the stacks and round the azimuth: outward faces wind a, d, c.
      // The pole rows have one triangle per slice, the others two.
      const float uTop = st == 0 ? (u0 + u1) * 0.5f : u0;
      if (st != stacks - 1) AddTriangle(a, d, c, uv.At(uTop, v0), uv.At(u0, v1), uv.At(u1, v1));
      if (st != 0) AddTriangle(a, c, b, uv.At(u0, v0), uv.At(u1, v1), uv.At(u1, v0));
    }
  }
}

void MeshBuilder::Box(Vector3 lo, Vector3 hi, UvRect uv) {
  int p[8];
  for (int i = 0; i < 8; ++i) {
    p[i] = AddPosition({(i & 1) ? hi.x : lo.x, (i & 2) ? hi.y : lo.y, (i & 4) ? hi.z : lo.z});
  }
  // Faces counter-clockwise from outside.
  constexpr int kFaces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                                {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
  for (const auto& f : kFaces) {
    AddTriangle(p[f[0]], p[f[1]], p[f[2]], uv.At(0, 1), uv.At(1, 1), uv.At(1, 0));
    AddTriangle(p[f[0]], p[f[2]], p[f[3]], uv.At(0, 1), uv.At(1, 0), uv.At(0, 0));
  }
}

void MeshBuilder::Quad(Vector3 a, Vector3 b, Vector3 c, Vector3 d, UvRect uv, bool twoSided) {
  const int ia = AddPosition(a), ib = AddPosition(b), ic = AddPosition(c), id = AddPosition(d);
  AddTriangle(ia, ib, ic, uv.At(0, 1), uv.At(1, 1), uv.At(1, 0));
  AddTriangle(ia, ic, id, uv.At(0, 1), uv.At(1, 0), uv.At(0, 0));
  if (!twoSided) return;
  const int ja = AddPosition(a), jb = AddPosition(b), jc = AddPosition(c), jd = AddPosition(d);
  AddTriangle(ja, jc, jb, uv.At(0, 1), uv.At(1, 0), uv.At(1, 1));
  AddTriangle(ja, jd, jc, uv.At(0, 1), uv.At(0, 0), uv.At(1, 0));
}

MeshFileData MeshBuilder::ToMeshFile(bool smooth, Vector3 translation, Vector3 angles) const {
  MeshFileData m;
  m.smooth = smooth;
  m.translation = translation;
  m.angles = angles;
  m.positions = positions_;
  m.corners = corners_;
  m.texCoords = texCoords_;
  return m;
}

}  // namespace yulo::assetgen
