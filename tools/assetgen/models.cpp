#include "models.h"

#include <cmath>
#include <string>

#include "assetgen/geometry.h"
#include "assetgen/image.h"
#include "assetgen/noise.h"
#include "assetgen/textures.h"

namespace yulo::assetgen {

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr float kDegrees = kPi / 180.0f;

bool WriteMesh(OutputFolder& out, const std::string& name, const MeshFileData& mesh) {
  return out.Write("Data/" + name, EncodeMeshFile(mesh));
}

bool WriteDescription(OutputFolder& out, const std::string& name, const ModelDescription& model) {
  const std::string text = EncodeModelDescription(model);
  return out.Write("Data/" + name, std::vector<uint8_t>(text.begin(), text.end()));
}

// >>section sky and globe

MeshFileData BuildSkyMesh() {
  constexpr int kSlices = 48, kStacks = 36;
  MeshBuilder b;
  std::vector<int> grid(static_cast<size_t>(kStacks + 1) * (kSlices + 1));
  for (int st = 0; st <= kStacks; ++st) {
    const float elevation = 90.0f - 180.0f * st / kStacks;
    for (int sl = 0; sl <= kSlices; ++sl) {
      const float azimuth = 360.0f * sl / kSlices;
      const float ce = std::cos(elevation * kDegrees);
      // The last column repeats the first position; only its u differs.
      grid[static_cast<size_t>(st) * (kSlices + 1) + sl] =
          sl == kSlices ? grid[static_cast<size_t>(st) * (kSlices + 1)]
                        : b.AddPosition({kSkyRadius * ce * std::cos(azimuth * kDegrees),
                                         kSkyRadius * ce * std::sin(azimuth * kDegrees),
                                         kSkyRadius * std::sin(elevation * kDegrees)});
    }
  }
  const auto uv = [](int st, int sl) {
    const float elevation = 90.0f - 180.0f * st / kStacks;
    const float v = (90.0f - elevation) / (90.0f - kSkyBottomElevation);
    return Vector2{static_cast<float>(sl) / kSlices, std::fmin(v, 0.999f)};
  };
  for (int st = 0; st < kStacks; ++st) {
    for (int sl = 0; sl < kSlices; ++sl) {
      const int a = grid[static_cast<size_t>(st) * (kSlices + 1) + sl];
      const int bb = grid[static_cast<size_t>(st) * (kSlices + 1) + sl + 1];
      const int c = grid[static_cast<size_t>(st + 1) * (kSlices + 1) + sl + 1];
      const int d = grid[static_cast<size_t>(st + 1) * (kSlices + 1) + sl];
      // Seen from inside; the dome is drawn unlit, so only coverage matters.
      if (st != kStacks - 1) b.AddTriangle(a, c, d, uv(st, sl), uv(st + 1, sl + 1), uv(st + 1, sl));
      if (st != 0) b.AddTriangle(a, bb, c, uv(st, sl), uv(st, sl + 1), uv(st + 1, sl + 1));
    }
  }
  return b.ToMeshFile(true);
}

MeshFileData BuildGlobeMesh() {
  // Parametrised by the angle about the x axis (the direction of travel along y), so v
  // follows the arc the trees slide along and u the arc across it.
  constexpr int kSteps = 48;
  constexpr float kHalfSpan = 60.0f;  // degrees each way; the horizon is under 30
  const Vector3 centre{0, 0, kGlobeTop - kGlobeRadius};
  const float texPerUnit = 1.0f / kGroundRepeatMesh;
  MeshBuilder b;
  std::vector<int> grid(static_cast<size_t>(kSteps + 1) * (kSteps + 1));
  std::vector<Vector2> uvs(grid.size());
  for (int i = 0; i <= kSteps; ++i) {
    const float phi = (-kHalfSpan + 2 * kHalfSpan * i / kSteps) * kDegrees;  // along y
    for (int j = 0; j <= kSteps; ++j) {
      const float psi = (-kHalfSpan + 2 * kHalfSpan * j / kSteps) * kDegrees;  // along x
      const size_t k = static_cast<size_t>(i) * (kSteps + 1) + j;
      grid[k] = b.AddPosition(
          Add(centre, {kGlobeRadius * std::sin(psi), kGlobeRadius * std::cos(psi) * std::sin(phi),
                       kGlobeRadius * std::cos(psi) * std::cos(phi)}));
      // Stored v grows towards +y, so the picture slides towards -y as the scene scrolls.
      uvs[k] = {kGlobeRadius * psi * texPerUnit, 1.0f - kGlobeRadius * phi * texPerUnit};
    }
  }
  for (int i = 0; i < kSteps; ++i) {
    for (int j = 0; j < kSteps; ++j) {
      const size_t a = static_cast<size_t>(i) * (kSteps + 1) + j, bb = a + 1;
      const size_t d = a + kSteps + 1, c = d + 1;
      b.AddTriangle(grid[a], grid[bb], grid[c], uvs[a], uvs[bb], uvs[c]);
      b.AddTriangle(grid[a], grid[c], grid[d], uvs[a], uvs[c], uvs[d]);
    }
  }
  return b.ToMeshFile(true);
}

// >>section sleigh materials

Image BuildLacquer() {
  // Red lacquered wood with a gold pin stripe near both long edges and a faint grain.
  return Supersample(256, 128, 1, [](float u, float v) {
    const float grain = Fbm(u * 3.0f, v * 40.0f, 0, 4, 201u);
    Rgba c = Scale(Rgba{0.62f, 0.07f, 0.06f, 1}, 0.8f + 0.35f * grain);
    const float stripe = std::fmin(std::fabs(v - 0.12f), std::fabs(v - 0.88f));
    if (stripe < 0.025f) c = Mix(Rgba{0.95f, 0.74f, 0.30f, 1}, Rgba{0.75f, 0.52f, 0.18f, 1}, grain);
    // Curling gold ornament along the middle.
    const float curl = std::sin(u * 2 * kPi * 6.0f) * 0.18f + 0.5f;
    if (std::fabs(v - curl) < 0.018f && std::fmod(u * 6.0f, 1.0f) < 0.8f) {
      c = Rgba{0.90f, 0.70f, 0.28f, 1};
    }
    return c;
  });
}

Image BuildGold() {
  return Supersample(64, 64, 1, [](float u, float v) {
    const float band = 0.5f + 0.5f * std::sin(u * 2 * kPi * 2.0f + v * 3.0f);
    return Mix(Rgba{0.55f, 0.38f, 0.12f, 1}, Rgba{1.0f, 0.86f, 0.48f, 1}, band);
  });
}

Image BuildVelvet() {
  return Supersample(128, 128, 1, [](float u, float v) {
    // Buttoned cushion: soft diamonds with a dark button in the middle of each.
    const float du = std::fabs(std::fmod(u * 4.0f, 1.0f) - 0.5f);
    const float dv = std::fabs(std::fmod(v * 4.0f, 1.0f) - 0.5f);
    const float puff = 1.0f - (du + dv);
    const float nap = Fbm(u * 30.0f, v * 30.0f, 30, 2, 211u);
    Rgba c = Scale(Rgba{0.06f, 0.30f, 0.18f, 1}, 0.55f + 0.5f * puff + 0.15f * nap);
    if (du * du + dv * dv < 0.004f) c = Rgba{0.04f, 0.10f, 0.06f, 1};
    return c;
  });
}

Image BuildBurlap() {
  return Supersample(128, 128, 1, [](float u, float v) {
    const float warp = 0.5f + 0.5f * std::sin(u * 2 * kPi * 48.0f);
    const float weft = 0.5f + 0.5f * std::sin(v * 2 * kPi * 48.0f);
    const float blotch = Fbm(u * 5.0f, v * 5.0f, 5, 3, 223u);
    const float weave =
        0.65f + 0.35f * (std::fmod(std::floor(u * 48) + std::floor(v * 48), 2.0f) ? warp : weft);
    return Scale(Rgba{0.58f, 0.44f, 0.28f, 1}, weave * (0.75f + 0.4f * blotch));
  });
}

Image BuildGiftWrap(Rgba paper, Rgba ribbon) {
  return Supersample(64, 64, 2, [=](float u, float v) {
    if (std::fabs(u - 0.5f) < 0.08f || std::fabs(v - 0.5f) < 0.08f) return ribbon;
    const float dots = std::fmod(std::floor(u * 8) + std::floor(v * 8), 2.0f);
    return Scale(paper, 0.85f + 0.15f * dots);
  });
}

Image BuildLeather() {
  return Supersample(64, 64, 1, [](float u, float v) {
    const float n = Fbm(u * 6.0f, v * 6.0f, 6, 3, 227u);
    Rgba c = Scale(Rgba{0.30f, 0.17f, 0.09f, 1}, 0.7f + 0.5f * n);
    if (std::fabs(u - 0.5f) > 0.42f) c = Scale(c, 0.6f);  // stitched edges
    return c;
  });
}

// >>section sleigh

// The sleigh in its own space: z up, front towards -y (the scene turns it by 180 degrees
// so that it runs after the team). The runners' rear ends sit at (+-8.5, 61, 0), where
// the scene sprays the snow trails.
constexpr float kRunnerX = 8.5f;
constexpr float kRunnerRear = 61.0f;
constexpr float kRunnerFront = 12.0f;  // where the runner starts to curl up
constexpr float kBodyFront = 15.0f, kBodyRear = 57.0f;
constexpr float kBodyHalfWidth = 7.5f;
constexpr float kFloorZ = 6.0f;
constexpr float kSeatY = 27.0f;  // the driver sits here

MeshBuilder BuildRunner() {
  // Built around x = 0; the mesh header moves each copy to its side.
  std::vector<Vector3> path;
  path.push_back({0, kRunnerRear, 1.6f});
  path.push_back({0, kRunnerRear - 2.0f, 0.4f});
  for (float y = kRunnerRear - 5.0f; y > kRunnerFront; y -= 8.0f) path.push_back({0, y, 0.0f});
  // The curl: up in front and back over the top, tightening into a small scroll.
  constexpr int kCurlSteps = 24;
  constexpr float kCurlRadius = 6.0f, kCurlTurn = 1.7f * kPi;
  for (int i = 0; i <= kCurlSteps; ++i) {
    const float turn = kCurlTurn * i / kCurlSteps;
    const float radius = kCurlRadius * (1.0f - 0.45f * turn / kCurlTurn);
    path.push_back(
        {0, kRunnerFront - radius * std::sin(turn), kCurlRadius - radius * std::cos(turn)});
  }
  std::vector<float> radii(path.size(), 0.95f);
  radii.back() = 0.55f;
  MeshBuilder b;
  // The frame is carried with x across the runner: the path turns in the y-z plane, so a
  // vertical hint would flip where the curl stands upright.
  b.Tube(path, radii, 8, {0, 0, 1, 1}, {1, 0, 0}, 0.75f);
  return b;
}

MeshBuilder BuildStruts() {
  MeshBuilder b;
  for (float side : {-1.0f, 1.0f}) {
    for (float y : {20.0f, 34.0f, 48.0f}) {
      b.Box({side * kRunnerX - 0.5f, y - 0.6f, 0.5f}, {side * kRunnerX + 0.5f, y + 0.6f, kFloorZ},
            {0, 0, 1, 1});
    }
    // A rail along the top of each runner pair of struts.
    b.Box({side * kRunnerX - 0.5f, 19.0f, kFloorZ - 1.0f}, {side * kRunnerX + 0.5f, 49.0f, kFloorZ},
          {0, 0, 1, 1});
  }
  return b;
}

// Height of the side walls along the sleigh: high swan-neck front, low waist, tall back.
float WallTop(float y) {
  const float t = (y - kBodyFront) / (kBodyRear - kBodyFront);
  return kFloorZ + 7.0f + 9.0f * std::pow(1.0f - t, 6.0f) + 9.0f * std::pow(t, 4.0f);
}

MeshBuilder BuildBody() {
  MeshBuilder b;
  constexpr int kSteps = 16;
  constexpr float kThick = 0.6f;
  const UvRect wood{0, 0, 1, 1};
  // Two side walls with a curved top edge, each a thin slab.
  for (float side : {-1.0f, 1.0f}) {
    const float xo = side * kBodyHalfWidth, xi = side * (kBodyHalfWidth - kThick);
    for (int i = 0; i < kSteps; ++i) {
      const float y0 = kBodyFront + (kBodyRear - kBodyFront) * i / kSteps;
      const float y1 = kBodyFront + (kBodyRear - kBodyFront) * (i + 1) / kSteps;
      const float u0 = static_cast<float>(i) / kSteps, u1 = static_cast<float>(i + 1) / kSteps;
      const float z0 = WallTop(y0), z1 = WallTop(y1);
      const UvRect strip{u0, 0, u1, 1};
      // Outer face, inner face and the top edge.
      if (side > 0) {
        b.Quad({xo, y0, kFloorZ}, {xo, y1, kFloorZ}, {xo, y1, z1}, {xo, y0, z0}, strip, false);
        b.Quad({xi, y1, kFloorZ}, {xi, y0, kFloorZ}, {xi, y0, z0}, {xi, y1, z1}, strip, false);
      } else {
        b.Quad({xo, y1, kFloorZ}, {xo, y0, kFloorZ}, {xo, y0, z0}, {xo, y1, z1}, strip, false);
        b.Quad({xi, y0, kFloorZ}, {xi, y1, kFloorZ}, {xi, y1, z1}, {xi, y0, z0}, strip, false);
      }
      b.Quad({std::fmin(xo, xi), y0, z0}, {std::fmax(xo, xi), y0, z0}, {std::fmax(xo, xi), y1, z1},
             {std::fmin(xo, xi), y1, z1}, {u0, 0.0f, u1, 0.1f}, false);
    }
  }
  // Floor, front dash and back board.
  b.Box({-kBodyHalfWidth, kBodyFront, kFloorZ - 0.8f}, {kBodyHalfWidth, kBodyRear, kFloorZ}, wood);
  b.Box({-kBodyHalfWidth, kBodyFront, kFloorZ},
        {kBodyHalfWidth, kBodyFront + kThick, WallTop(kBodyFront) - 1.0f}, wood);
  b.Box({-kBodyHalfWidth, kBodyRear - kThick, kFloorZ},
        {kBodyHalfWidth, kBodyRear, WallTop(kBodyRear) - 0.5f}, wood);
  return b;
}

MeshBuilder BuildSeat() {
  MeshBuilder b;
  const float w = kBodyHalfWidth - 0.7f;
  b.Box({-w, kSeatY - 3.0f, kFloorZ}, {w, kSeatY + 4.0f, kFloorZ + 5.0f}, {0, 0, 1, 1});
  b.Box({-w, kSeatY + 4.0f, kFloorZ}, {w, kSeatY + 5.5f, kFloorZ + 12.0f}, {0, 0, 1, 1});
  return b;
}

MeshBuilder BuildSack() {
  // Built round its own origin; the mesh header tips it back and moves it onto the floor.
  MeshBuilder b;
  b.Ellipsoid({0, 0, 0}, {5.5f, 5.0f, 6.5f}, 16, 12, {0, 0, 1, 1}, 0.09f, 7u);
  b.Tube({{0, 0, 5.6f}, {0, 0, 7.2f}, {0.3f, 0.4f, 8.6f}}, {1.5f, 0.9f, 1.6f}, 10, {0, 0, 1, 0.3f},
         {1, 0, 0});
  return b;
}

MeshBuilder BuildGift(float w, float d, float h) {
  MeshBuilder b;
  b.Box({-w * 0.5f, -d * 0.5f, 0}, {w * 0.5f, d * 0.5f, h}, {0, 0, 1, 1});
  return b;
}

// Traces from the sleigh's front to the two pairs of reindeer and reins back to the
// driver's hands; thin leather straps, drawn as part of the sleigh so they rock with it.
// The reindeer stand (in this space) at x = +-9.2, around y = -45.5 and -83.5.
MeshBuilder BuildHarness() {
  MeshBuilder b;
  const UvRect strap{0, 0, 1, 1};
  for (float side : {-1.0f, 1.0f}) {
    for (float offset : {-4.6f, 4.6f}) {
      const float x = side * 9.2f + offset;
      // Sleigh to the rear pair's chest strap, then on to the front pair.
      b.Tube({{side * 6.0f + offset * 0.3f, kBodyFront, kFloorZ + 3.0f},
              {x, -20.0f, 13.5f},
              {x, -51.0f, 16.0f}},
             {0.28f, 0.28f, 0.28f}, 4, strap, {0, 0, 1}, 1.6f, false);
      b.Tube({{x, -40.0f, 15.5f}, {x, -70.0f, 15.5f}, {x, -89.0f, 16.0f}}, {0.25f, 0.25f, 0.25f}, 4,
             strap, {0, 0, 1}, 1.6f, false);
    }
    // Reins from the driver's hands to the rear pair's heads.
    b.Tube({{side * 2.0f, kSeatY - 8.0f, kFloorZ + 10.0f},
            {side * 6.0f, -10.0f, 18.0f},
            {side * 9.2f, -58.0f, 24.0f}},
           {0.16f, 0.16f, 0.16f}, 4, strap, {0, 0, 1}, 1.0f, false);
  }
  return b;
}

}  // namespace

bool WriteModels(OutputFolder& out) {
  // Sky dome and globe.
  ModelDescription sky;
  sky.parts.push_back({"sky.msh_s", "sky.tga"});
  ModelDescription earth;
  earth.parts.push_back({"earth.msh_s", "snow_ground.tga"});
  if (!WriteMesh(out, "sky.msh_s", BuildSkyMesh()) || !WriteDescription(out, "sky.cgo", sky) ||
      !WriteMesh(out, "earth.msh_s", BuildGlobeMesh()) ||
      !WriteDescription(out, "earth.cgo", earth)) {
    return false;
  }
  // Sleigh materials.
  if (!out.Write("Data/sani_lacquer.tga", EncodeTga(BuildLacquer(), false)) ||
      !out.Write("Data/sani_gold.tga", EncodeTga(BuildGold(), false)) ||
      !out.Write("Data/sani_velvet.tga", EncodeTga(BuildVelvet(), false)) ||
      !out.Write("Data/sani_burlap.tga", EncodeTga(BuildBurlap(), false)) ||
      !out.Write(
          "Data/sani_gift_red.tga",
          EncodeTga(BuildGiftWrap({0.70f, 0.08f, 0.10f, 1}, {0.95f, 0.85f, 0.40f, 1}), false)) ||
      !out.Write(
          "Data/sani_gift_blue.tga",
          EncodeTga(BuildGiftWrap({0.12f, 0.25f, 0.62f, 1}, {0.92f, 0.92f, 0.95f, 1}), false)) ||
      !out.Write("Data/sani_leather.tga", EncodeTga(BuildLeather(), false))) {
    return false;
  }
  // Sleigh meshes: smooth runners, sack and straps; flat body, seat, struts and gifts.
  const MeshBuilder runner = BuildRunner();
  const MeshBuilder gift = BuildGift(5.0f, 4.0f, 3.5f);
  struct Part {
    const char* mesh;
    MeshFileData data;
    const char* texture;
  };
  const Part parts[] = {
      {"sani_runner_l.msh_s", runner.ToMeshFile(true, {-kRunnerX, 0, 0}), "sani_gold.tga"},
      {"sani_runner_r.msh_s", runner.ToMeshFile(true, {kRunnerX, 0, 0}), "sani_gold.tga"},
      {"sani_struts.msh_s", BuildStruts().ToMeshFile(false), "sani_gold.tga"},
      {"sani_body.msh_s", BuildBody().ToMeshFile(false), "sani_lacquer.tga"},
      {"sani_seat.msh_s", BuildSeat().ToMeshFile(false), "sani_velvet.tga"},
      {"sani_sack.msh_s",
       BuildSack().ToMeshFile(true, {0.5f, 46.0f, kFloorZ + 5.8f}, {0.25f, -0.1f, 0.4f}),
       "sani_burlap.tga"},
      {"sani_gift1.msh_s", gift.ToMeshFile(false, {-3.5f, 53.0f, kFloorZ}, {0, 0, 0.5f}),
       "sani_gift_red.tga"},
      {"sani_gift2.msh_s", gift.ToMeshFile(false, {4.0f, 37.5f, kFloorZ}, {0, 0, -0.35f}),
       "sani_gift_blue.tga"},
      {"sani_harness.msh_s", BuildHarness().ToMeshFile(true), "sani_leather.tga"},
  };
  ModelDescription sleigh;
  for (const Part& p : parts) {
    if (!WriteMesh(out, p.mesh, p.data)) return false;
    sleigh.parts.push_back({p.mesh, p.texture});
  }
  ModelDescription::Bound hull;
  hull.name = "hull";
  hull.isCircle = true;
  hull.centre = {0, 36.0f, 8.0f};
  hull.radius = 30.0f;
  sleigh.bounds.push_back(hull);
  return WriteDescription(out, "sani.cgo", sleigh);
}

}  // namespace yulo::assetgen
