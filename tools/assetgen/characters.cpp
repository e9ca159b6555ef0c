#include "characters.h"

#include <array>
#include <cmath>
#include <string>

#include "assetgen/geometry.h"
#include "assetgen/image.h"
#include "assetgen/noise.h"
#include "assetgen/textures.h"

namespace yulo::assetgen {

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr float kDeg = kPi / 180.0f;

// >>skeletons and skins

struct BoneDef {
  const char* name;
  int parent;     // -1 for the root
  Vector3 joint;  // rest position in the character's space; rest rotations are identity
};

struct Influence {
  int bone;
  float weight;
};
using Weights = std::array<Influence, 3>;

Weights Rigid(int bone) {
  return {{{bone, 1.0f}, {bone, 0.0f}, {bone, 0.0f}}};
}
// Blends from bone a (t = 0) to bone b (t = 1).
Weights Blend(int a, int b, float t) {
  t = std::fmin(std::fmax(t, 0.0f), 1.0f);
  return {{{a, 1.0f - t}, {b, t}, {a, 0.0f}}};
}

class SkinBuilder {
 public:
  explicit SkinBuilder(std::vector<BoneDef> bones) : bones_(std::move(bones)) {
    mesh_.SetPositionHook([this](int, Vector3 p) { weights_.push_back(current_(p)); });
  }
  // Every position added until the next call takes its weights from f.
  template <typename F>
  MeshBuilder& With(F f) {
    current_ = f;
    return mesh_;
  }

  SkinFileData ToSkinFile() const {
    SkinFileData skin;
    const int count = static_cast<int>(bones_.size());
    for (int b = 0; b < count; ++b) {
      const BoneDef& d = bones_[b];
      skin.boneOffsets.push_back(d.parent < 0 ? Vector3{} : Sub(d.joint, bones_[d.parent].joint));
      BoneRecord record = MakeBone(d.name, {});
      for (int c = 0; c < count; ++c) {
        if (bones_[c].parent == b) record.children[record.childCount++] = c;
      }
      skin.bones.push_back(record);
    }
    for (size_t v = 0; v < mesh_.positions().size(); ++v) {
      const Vector3 p = mesh_.positions()[v];
      const Weights& w = weights_[v];
      SkinVertex sv{};
      for (int i = 0; i < 3; ++i) {
        const float weight = w[i].weight;
        sv.influences[i] = {weight, weight != 0.0f ? w[i].bone : 0,
                            weight != 0.0f ? Sub(p, bones_[w[i].bone].joint) : Vector3{}};
      }
      skin.vertices.push_back(sv);
    }
    skin.corners = mesh_.corners();
    skin.texCoords = mesh_.texCoords();
    return skin;
  }

  const BoneDef& Bone(int b) const { return bones_[b]; }

 private:
  std::vector<BoneDef> bones_;
  MeshBuilder mesh_;
  std::vector<Weights> weights_;
  std::function<Weights(Vector3)> current_ = [](Vector3) { return Rigid(0); };
};

// A limb of two bones and an end bone (hoof, hand or foot) under a parent: tubes from
// the top joint through the middle joint to the end joint, blended around each joint.
void Limb(SkinBuilder& s, int parent, int upper, int lower, int end, float topRadius,
          float midRadius, float endRadius, UvRect uv, float blend) {
  const Vector3 a = s.Bone(upper).joint, b = s.Bone(lower).joint, c = s.Bone(end).joint;
  const auto weightsAt = [=](Vector3 p) {
    const float ta = (a.z - p.z) / blend + 0.5f;  // through the top joint
    const float tb = (b.z - p.z) / blend + 0.5f;  // through the middle joint
    const float tc = (c.z - p.z) / blend + 0.5f;
    if (p.z > a.z - blend) return Blend(parent, upper, ta);
    if (p.z > b.z + blend * 0.5f) return Rigid(upper);
    if (p.z > b.z - blend * 0.5f) return Blend(upper, lower, tb);
    if (p.z > c.z + blend * 0.5f) return Rigid(lower);
    return Blend(lower, end, tc);
  };
  const Vector3 top = Add(a, {0, 0, 1.5f});
  s.With(weightsAt).Tube(
      {top, a, Add(Mul(a, 0.5f), Mul(b, 0.5f)), b, Add(Mul(b, 0.5f), Mul(c, 0.5f)), c},
      {topRadius * 0.9f, topRadius, (topRadius + midRadius) * 0.5f, midRadius,
       (midRadius + endRadius) * 0.5f, endRadius},
      8, uv, {0, 1, 0}, 1.0f, false);
}

// >>clips

struct ClipBuilder {
  int boneCount;
  int frames;
  int frameMs;
  std::vector<Vector3> roots;
  std::vector<Vector3> angles;  // bone-major

  ClipBuilder(int bones, int n, int ms)
      : boneCount(bones),
        frames(n),
        frameMs(ms),
        roots(n),
        angles(static_cast<size_t>(bones) * n) {}
  Vector3& At(int bone, int frame) { return angles[static_cast<size_t>(bone) * frames + frame]; }
  ClipFileData ToClipFile() const {
    ClipFileData c;
    c.boneCount = boneCount;
    c.frameDuration = frameMs;
    c.rootPositions = roots;
    c.angles = angles;
    return c;
  }
};

// >>reindeer

enum DeerBone {
  kDeerRoot,
  kDeerSpine,
  kDeerNeck,
  kDeerHead,
  kDeerLUpperArm,
  kDeerLForearm,
  kDeerLHand,
  kDeerRUpperArm,
  kDeerRForearm,
  kDeerRHand,
  kDeerLThigh,
  kDeerLCalf,
  kDeerLFoot,
  kDeerRThigh,
  kDeerRCalf,
  kDeerRFoot,
  kDeerTail,
  kDeerBoneCount
};

// The reindeer in its own frame: hooves on z = 0, nose towards -y, root in the middle
// of the body. The clip's root positions carry it to its place in the team.
constexpr float kDeerRootHeight = 15.0f;

std::vector<BoneDef> DeerBones() {
  return {
      {"Bip01", -1, {0, 0, kDeerRootHeight}},        {"Bip01 Spine", 0, {0, -4.0f, 15.5f}},
      {"Bip01 Neck", 1, {0, -9.0f, 17.5f}},          {"Bip01 Head", 2, {0, -13.0f, 24.0f}},
      {"Bip01 L UpperArm", 1, {2.6f, -7.0f, 12.0f}}, {"Bip01 L Forearm", 4, {2.6f, -7.6f, 6.6f}},
      {"Bip01 L Hand", 5, {2.6f, -7.2f, 1.6f}},      {"Bip01 R UpperArm", 1, {-2.6f, -7.0f, 12.0f}},
      {"Bip01 R Forearm", 7, {-2.6f, -7.6f, 6.6f}},  {"Bip01 R Hand", 8, {-2.6f, -7.2f, 1.6f}},
      {"Bip01 L Thigh", 0, {2.6f, 7.0f, 13.0f}},     {"Bip01 L Calf", 10, {2.6f, 8.8f, 6.8f}},
      {"Bip01 L Foot", 11, {2.6f, 7.8f, 1.6f}},      {"Bip01 R Thigh", 0, {-2.6f, 7.0f, 13.0f}},
      {"Bip01 R Calf", 13, {-2.6f, 8.8f, 6.8f}},     {"Bip01 R Foot", 14, {-2.6f, 7.8f, 1.6f}},
      {"Bip01 Tail", 0, {0, 10.0f, 17.0f}},
  };
}

// Regions of the reindeer's picture.
constexpr UvRect kDeerFur{0, 0, 0.5f, 0.5f};
constexpr UvRect kDeerMane{0.5f, 0, 0.75f, 0.5f};
constexpr UvRect kDeerFace{0.75f, 0, 1, 0.25f};
constexpr UvRect kDeerDark{0.75f, 0.25f, 0.875f, 0.375f};
constexpr UvRect kDeerAntler{0.875f, 0.25f, 1, 0.375f};
constexpr UvRect kDeerLeg{0, 0.5f, 0.25f, 1};
constexpr UvRect kDeerWhite{0.25f, 0.5f, 0.375f, 0.75f};
constexpr UvRect kDeerHarness{0.375f, 0.5f, 0.5f, 0.75f};
constexpr UvRect kDeerGold{0.5f, 0.5f, 0.625f, 0.625f};

Image BuildDeerTexture() {
  return Supersample(256, 256, 1, [](float u, float v) -> Rgba {
    const float fur = Fbm(u * 40.0f, v * 40.0f, 0, 3, 301u);
    const auto in = [&](UvRect r) { return u >= r.u0 && u < r.u1 && v >= r.v0 && v < r.v1; };
    const auto local = [&](UvRect r) { return (v - r.v0) / (r.v1 - r.v0); };
    if (in(kDeerFur)) {
      // Dark along the back, warm brown flanks, pale belly.
      const float t = local(kDeerFur);
      Rgba c = Mix(Rgba{0.26f, 0.16f, 0.09f, 1}, Rgba{0.52f, 0.36f, 0.22f, 1},
                   SmoothStep(0.1f, 0.5f, t));
      c = Mix(c, Rgba{0.85f, 0.78f, 0.66f, 1}, SmoothStep(0.62f, 0.85f, t));
      return Scale(c, 0.85f + 0.3f * fur);
    }
    if (in(kDeerMane)) return Scale(Rgba{0.80f, 0.74f, 0.64f, 1}, 0.8f + 0.35f * fur);
    if (in(kDeerFace)) return Scale(Rgba{0.48f, 0.33f, 0.20f, 1}, 0.85f + 0.3f * fur);
    if (in(kDeerDark)) return Rgba{0.07f, 0.05f, 0.05f, 1};
    if (in(kDeerAntler)) return Scale(Rgba{0.82f, 0.74f, 0.58f, 1}, 0.85f + 0.2f * fur);
    if (in(kDeerLeg)) {
      const float t = local(kDeerLeg);
      return Scale(Mix(Rgba{0.36f, 0.24f, 0.14f, 1}, Rgba{0.62f, 0.52f, 0.40f, 1},
                       SmoothStep(0.5f, 0.9f, t)),
                   0.85f + 0.3f * fur);
    }
    if (in(kDeerWhite)) return Scale(Rgba{0.95f, 0.94f, 0.90f, 1}, 0.9f + 0.1f * fur);
    if (in(kDeerHarness)) {
      const bool stud = std::fmod(u * 64.0f, 1.0f) < 0.3f && std::fmod(v * 64.0f, 1.0f) < 0.3f;
      return stud ? Rgba{0.95f, 0.78f, 0.35f, 1} : Rgba{0.62f, 0.06f, 0.07f, 1};
    }
    if (in(kDeerGold)) return Mix(Rgba{0.7f, 0.5f, 0.15f, 1}, Rgba{1.0f, 0.88f, 0.5f, 1}, fur);
    return Rgba{0.4f, 0.3f, 0.2f, 1};
  });
}

SkinFileData BuildDeerSkin() {
  SkinBuilder s(DeerBones());
  // Body: root at the back, spine towards the chest.
  s.With([](Vector3 p) {
     return Blend(kDeerRoot, kDeerSpine, (2.0f - p.y) / 8.0f);
   }).Ellipsoid({0, 0, kDeerRootHeight}, {4.3f, 10.5f, 5.2f}, 18, 12, kDeerFur);
  // Neck with a shaggy pale mane, rising into the head.
  s.With([](Vector3 p) {
     if (p.z > 22.0f) return Blend(kDeerNeck, kDeerHead, (p.z - 22.0f) / 2.5f);
     return Blend(kDeerSpine, kDeerNeck, (-7.0f - p.y) / 3.0f);
   })
      .Tube({{0, -6.5f, 16.0f}, {0, -8.5f, 18.0f}, {0, -10.5f, 20.8f}, {0, -12.6f, 23.8f}},
            {3.3f, 3.0f, 2.5f, 2.0f}, 10, kDeerMane, {0, -1, 0}, 1.15f, false);
  MeshBuilder& head = s.With([](Vector3) { return Rigid(kDeerHead); });
  head.Ellipsoid({0, -14.0f, 25.0f}, {2.3f, 3.6f, 2.5f}, 12, 8, kDeerFace);
  head.Ellipsoid({0, -17.2f, 24.2f}, {1.5f, 2.4f, 1.5f}, 10, 6, kDeerFace);
  head.Ellipsoid({0, -19.4f, 24.4f}, {0.8f, 0.7f, 0.7f}, 8, 5, kDeerDark);
  for (float side : {-1.0f, 1.0f}) {
    head.Ellipsoid({side * 1.95f, -15.3f, 25.9f}, {0.4f, 0.45f, 0.45f}, 6, 4, kDeerDark);
    head.Ellipsoid({side * 2.7f, -12.6f, 26.6f}, {1.6f, 0.45f, 0.8f}, 8, 5, kDeerFace);
    // Antlers: a curving beam with three tines.
    head.Tube({{side * 1.1f, -12.8f, 26.8f},
               {side * 2.6f, -12.2f, 29.5f},
               {side * 4.3f, -11.0f, 32.0f},
               {side * 5.0f, -9.5f, 34.5f},
               {side * 4.6f, -8.8f, 36.0f}},
              {0.5f, 0.45f, 0.38f, 0.3f, 0.18f}, 6, kDeerAntler, {0, 1, 0});
    head.Tube(
        {{side * 2.8f, -12.2f, 29.8f}, {side * 2.8f, -13.6f, 31.4f}, {side * 2.6f, -14.4f, 32.8f}},
        {0.3f, 0.24f, 0.14f}, 5, kDeerAntler, {0, 1, 0});
    head.Tube(
        {{side * 4.3f, -11.0f, 32.0f}, {side * 4.1f, -12.4f, 33.6f}, {side * 3.8f, -13.0f, 35.4f}},
        {0.26f, 0.2f, 0.12f}, 5, kDeerAntler, {0, 1, 0});
    head.Tube(
        {{side * 5.0f, -9.6f, 34.4f}, {side * 5.9f, -10.0f, 35.4f}, {side * 6.4f, -10.4f, 36.6f}},
        {0.22f, 0.18f, 0.1f}, 5, kDeerAntler, {0, 1, 0});
  }
  // Four legs, each ending in a dark hoof.
  Limb(s, kDeerSpine, kDeerLUpperArm, kDeerLForearm, kDeerLHand, 1.8f, 1.0f, 0.75f, kDeerLeg, 1.6f);
  Limb(s, kDeerSpine, kDeerRUpperArm, kDeerRForearm, kDeerRHand, 1.8f, 1.0f, 0.75f, kDeerLeg, 1.6f);
  Limb(s, kDeerRoot, kDeerLThigh, kDeerLCalf, kDeerLFoot, 2.0f, 1.0f, 0.75f, kDeerLeg, 1.6f);
  Limb(s, kDeerRoot, kDeerRThigh, kDeerRCalf, kDeerRFoot, 2.0f, 1.0f, 0.75f, kDeerLeg, 1.6f);
  for (auto [hoof, joint] : {std::pair{kDeerLHand, Vector3{2.6f, -7.2f, 1.6f}},
                             std::pair{kDeerRHand, Vector3{-2.6f, -7.2f, 1.6f}},
                             std::pair{kDeerLFoot, Vector3{2.6f, 7.8f, 1.6f}},
                             std::pair{kDeerRFoot, Vector3{-2.6f, 7.8f, 1.6f}}}) {
    s.With([hoof = hoof](Vector3) {
       return Rigid(hoof);
     }).Tube({joint, Add(joint, {0, -0.3f, -1.6f})}, {0.85f, 0.95f}, 8, kDeerDark, {0, 1, 0});
  }
  s.With([](Vector3) {
     return Rigid(kDeerTail);
   }).Ellipsoid({0, 10.9f, 17.4f}, {1.1f, 1.4f, 1.9f}, 8, 6, kDeerWhite);
  // Harness: a red collar with gold bells and a belly band.
  std::vector<Vector3> collar, band;
  for (int i = 0; i <= 16; ++i) {
    const float a = 2 * kPi * i / 16;
    collar.push_back({3.1f * std::cos(a), -8.6f + 0.9f * std::sin(a), 17.8f + 3.0f * std::sin(a)});
    band.push_back({4.45f * std::cos(a), -2.5f, kDeerRootHeight + 5.35f * std::sin(a)});
  }
  s.With([](Vector3 p) { return Blend(kDeerSpine, kDeerNeck, (-7.5f - p.y) / 3.0f); })
      .Tube(collar, std::vector<float>(collar.size(), 0.55f), 6, kDeerHarness, {0, 1, 0}, 1.0f,
            false);
  for (int i = 0; i < 3; ++i) {
    const float a = (-0.5f + (i - 1) * 0.22f) * kPi;
    s.With([](Vector3) { return Rigid(kDeerSpine); })
        .Ellipsoid(
            {3.3f * std::cos(a), -8.9f + 0.9f * std::sin(a), 17.8f + 3.3f * std::sin(a) - 0.5f},
            {0.55f, 0.55f, 0.55f}, 6, 4, kDeerGold);
  }
  s.With([](Vector3 p) {
     return Blend(kDeerRoot, kDeerSpine, (2.0f - p.y) / 8.0f);
   }).Tube(band, std::vector<float>(band.size(), 0.4f), 5, kDeerHarness, {0, 1, 0}, 1.0f, false);
  return s.ToSkinFile();
}

ClipFileData BuildGallop() {
  ClipBuilder clip(kDeerBoneCount, kDeerFrames, kDeerFrameMs);
  struct Leg {
    int upper, lower, end;
    float phase;
    bool front;
  };
  const Leg legs[] = {{kDeerLThigh, kDeerLCalf, kDeerLFoot, 0.00f, false},
                      {kDeerRThigh, kDeerRCalf, kDeerRFoot, 0.09f, false},
                      {kDeerLUpperArm, kDeerLForearm, kDeerLHand, 0.50f, true},
                      {kDeerRUpperArm, kDeerRForearm, kDeerRHand, 0.59f, true}};
  for (int f = 0; f < kDeerFrames; ++f) {
    const float p = static_cast<float>(f) / kDeerFrames;
    const float w = 2 * kPi * p;
    clip.roots[f] = {kDeerX, kDeerY + 0.4f * std::sin(w + 1.0f),
                     kDeerRootHeight + 1.3f * std::sin(w + 0.6f)};
    clip.At(kDeerRoot, f) = {4.0f * kDeg * std::sin(w + 0.3f), 0, 0};
    clip.At(kDeerSpine, f) = {-2.5f * kDeg * std::sin(w), 0, 0};
    clip.At(kDeerNeck, f) = {7.0f * kDeg * std::sin(w + 1.6f), 0, 0};
    clip.At(kDeerHead, f) = {-6.0f * kDeg * std::sin(w + 1.6f), 0, 0};
    clip.At(kDeerTail, f) = {12.0f * kDeg * std::sin(w + 2.0f), 0, 0};
    for (const Leg& leg : legs) {
      const float a = 2 * kPi * (p - leg.phase);
      // Negative angles about x swing a hanging leg forwards (towards -y).
      const float swing = std::sin(a);
      const float fold = std::fmax(0.0f, -std::cos(a));
      if (leg.front) {
        clip.At(leg.upper, f) = {-34.0f * kDeg * swing, 0, 0};
        clip.At(leg.lower, f) = {55.0f * kDeg * fold, 0, 0};
        clip.At(leg.end, f) = {25.0f * kDeg * fold, 0, 0};
      } else {
        clip.At(leg.upper, f) = {-30.0f * kDeg * swing, 0, 0};
        clip.At(leg.lower, f) = {-45.0f * kDeg * fold, 0, 0};
        clip.At(leg.end, f) = {30.0f * kDeg * fold, 0, 0};
      }
    }
  }
  return clip.ToClipFile();
}

// >>driver

enum DriverBone {
  kDrvRoot,
  kDrvSpine,
  kDrvSpine1,
  kDrvNeck,
  kDrvHead,
  kDrvLClavicle,
  kDrvLUpperArm,
  kDrvLForearm,
  kDrvLHand,
  kDrvRClavicle,
  kDrvRUpperArm,
  kDrvRForearm,
  kDrvRHand,
  kDrvLThigh,
  kDrvLCalf,
  kDrvLFoot,
  kDrvRThigh,
  kDrvRCalf,
  kDrvRFoot,
  kDriverBoneCount
};

// The driver sits on the sleigh's seat, in the sleigh's own space (front towards -y);
// the left side is +x.
const Vector3 kDriverPelvis{0, 28.5f, 12.5f};

std::vector<BoneDef> DriverBones() {
  return {
      {"Bip01", -1, kDriverPelvis},
      {"Bip01 Spine", 0, {0, 28.4f, 15.5f}},
      {"Bip01 Spine1", 1, {0, 28.2f, 19.0f}},
      {"Bip01 Neck", 2, {0, 28.0f, 22.6f}},
      {"Bip01 Head", 3, {0, 27.8f, 24.0f}},
      {"Bip01 L Clavicle", 2, {1.2f, 28.1f, 21.4f}},
      {"Bip01 L UpperArm", 5, {3.5f, 28.1f, 21.0f}},
      {"Bip01 L Forearm", 6, {4.0f, 26.6f, 16.6f}},
      {"Bip01 L Hand", 7, {2.6f, 22.2f, 15.6f}},
      {"Bip01 R Clavicle", 2, {-1.2f, 28.1f, 21.4f}},
      {"Bip01 R UpperArm", 9, {-3.5f, 28.1f, 21.0f}},
      {"Bip01 R Forearm", 10, {-4.0f, 26.6f, 16.6f}},
      {"Bip01 R Hand", 11, {-2.6f, 22.2f, 15.6f}},
      {"Bip01 L Thigh", 0, {1.7f, 28.2f, 12.2f}},
      {"Bip01 L Calf", 13, {1.9f, 22.0f, 12.4f}},
      {"Bip01 L Foot", 14, {1.9f, 21.2f, 7.4f}},
      {"Bip01 R Thigh", 0, {-1.7f, 28.2f, 12.2f}},
      {"Bip01 R Calf", 16, {-1.9f, 22.0f, 12.4f}},
      {"Bip01 R Foot", 17, {-1.9f, 21.2f, 7.4f}},
  };
}

constexpr UvRect kCoat{0, 0, 0.5f, 0.5f};
constexpr UvRect kFurTrim{0.5f, 0, 0.625f, 0.25f};
constexpr UvRect kSkin{0.625f, 0, 0.75f, 0.25f};
constexpr UvRect kKnit{0.75f, 0, 1, 0.25f};
constexpr UvRect kBoot{0.5f, 0.25f, 0.625f, 0.375f};
constexpr UvRect kTrousers{0.625f, 0.25f, 0.75f, 0.375f};
constexpr UvRect kMitten{0.75f, 0.25f, 0.875f, 0.375f};
constexpr UvRect kNose{0.875f, 0.25f, 1, 0.375f};

Image BuildDriverTexture() {
  return Supersample(256, 256, 1, [](float u, float v) -> Rgba {
    const float n = Fbm(u * 32.0f, v * 32.0f, 0, 3, 401u);
    const auto in = [&](UvRect r) { return u >= r.u0 && u < r.u1 && v >= r.v0 && v < r.v1; };
    if (in(kCoat)) {
      Rgba c = Scale(Rgba{0.58f, 0.09f, 0.10f, 1}, 0.8f + 0.3f * n);
      // A belt and gold buckle around the waist, buttons down the front (u = 0.75 faces -y).
      const float lv = v / 0.5f, lu = u / 0.5f;
      if (std::fabs(lv - 0.22f) < 0.035f) c = Rgba{0.12f, 0.07f, 0.05f, 1};
      if (std::fabs(lv - 0.22f) < 0.045f && std::fabs(lu - 0.75f) < 0.03f)
        c = Rgba{0.95f, 0.8f, 0.35f, 1};
      if (std::fabs(lu - 0.75f) < 0.012f && std::fmod(lv * 8.0f, 1.0f) < 0.25f && lv > 0.3f) {
        c = Rgba{0.95f, 0.92f, 0.85f, 1};
      }
      return c;
    }
    if (in(kFurTrim)) return Scale(Rgba{0.96f, 0.95f, 0.92f, 1}, 0.85f + 0.2f * n);
    if (in(kSkin)) return Scale(Rgba{0.93f, 0.72f, 0.60f, 1}, 0.95f + 0.08f * n);
    if (in(kKnit)) {
      const float lv = (v - kKnit.v0) / (kKnit.v1 - kKnit.v0);
      const bool stripe = std::fmod(lv * 6.0f, 1.0f) < 0.3f;
      const float rib = 0.85f + 0.15f * std::sin(u * 2 * kPi * 48.0f);
      return Scale(stripe ? Rgba{0.92f, 0.92f, 0.88f, 1} : Rgba{0.10f, 0.42f, 0.22f, 1}, rib);
    }
    if (in(kBoot)) return Scale(Rgba{0.12f, 0.08f, 0.06f, 1}, 0.9f + 0.3f * n);
    if (in(kTrousers)) return Scale(Rgba{0.20f, 0.20f, 0.26f, 1}, 0.85f + 0.3f * n);
    if (in(kMitten)) return Scale(Rgba{0.10f, 0.42f, 0.22f, 1}, 0.85f + 0.3f * n);
    if (in(kNose)) return Rgba{0.90f, 0.52f, 0.50f, 1};
    return Rgba{0.5f, 0.5f, 0.5f, 1};
  });
}

SkinFileData BuildDriverSkin() {
  SkinBuilder s(DriverBones());
  // Coat: pelvis, waist and chest, blended along the height.
  s.With([](Vector3 p) {
     if (p.z < 15.5f) return Blend(kDrvRoot, kDrvSpine, (p.z - 13.0f) / 3.0f);
     return Blend(kDrvSpine, kDrvSpine1, (p.z - 16.5f) / 3.0f);
   })
      .Tube({{0, 28.9f, 10.8f},
             {0, 28.6f, 13.0f},
             {0, 28.4f, 16.5f},
             {0, 28.2f, 20.0f},
             {0, 28.1f, 21.9f},
             {0, 28.0f, 22.7f}},
            {4.3f, 4.0f, 3.6f, 3.8f, 3.0f, 1.2f}, 14, kCoat, {0, 1, 0}, 0.78f, true);
  // White fur at the hem and the collar; a knitted scarf.
  std::vector<Vector3> hem, scarf;
  for (int i = 0; i <= 16; ++i) {
    const float a = 2 * kPi * i / 16;
    hem.push_back({4.4f * std::cos(a), 28.9f + 3.4f * std::sin(a), 11.0f});
    scarf.push_back({2.1f * std::cos(a), 28.0f + 1.8f * std::sin(a), 22.4f});
  }
  s.With([](Vector3) {
     return Rigid(kDrvRoot);
   }).Tube(hem, std::vector<float>(hem.size(), 0.7f), 6, kFurTrim, {0, 0, 1}, 1.0f, false);
  s.With([](Vector3 p) {
     return Blend(kDrvSpine1, kDrvNeck, (p.z - 21.8f) / 1.5f);
   }).Tube(scarf, std::vector<float>(scarf.size(), 0.85f), 6, kKnit, {0, 0, 1}, 1.0f, false);
  s.With([](Vector3) { return Rigid(kDrvSpine1); })
      .Tube({{1.3f, 26.4f, 22.2f}, {1.6f, 25.9f, 20.0f}, {1.8f, 25.7f, 17.6f}}, {0.6f, 0.55f, 0.5f},
            6, kKnit, {0, 1, 0}, 0.45f);
  // Head with a face, a knitted hat, its brim and a pompom.
  MeshBuilder& head = s.With([](Vector3 p) {
    return p.z < 23.8f ? Blend(kDrvNeck, kDrvHead, (p.z - 22.8f) / 1.0f) : Rigid(kDrvHead);
  });
  head.Ellipsoid({0, 27.7f, 25.6f}, {2.2f, 2.3f, 2.6f}, 14, 10, kSkin);
  head.Ellipsoid({0, 25.45f, 25.4f}, {0.55f, 0.5f, 0.5f}, 6, 4, kNose);
  for (float side : {-1.0f, 1.0f}) {
    head.Ellipsoid({side * 0.85f, 25.7f, 26.3f}, {0.3f, 0.2f, 0.35f}, 6, 4, kBoot);
    head.Ellipsoid({side * 1.2f, 25.9f, 25.1f}, {0.55f, 0.3f, 0.4f}, 6, 4, kNose);  // cheeks
  }
  head.Ellipsoid({0, 27.75f, 27.1f}, {2.45f, 2.55f, 2.5f}, 14, 8, kKnit);
  std::vector<Vector3> brim;
  for (int i = 0; i <= 16; ++i) {
    const float a = 2 * kPi * i / 16;
    brim.push_back({2.4f * std::cos(a), 27.75f + 2.5f * std::sin(a), 26.6f});
  }
  head.Tube(brim, std::vector<float>(brim.size(), 0.55f), 6, kFurTrim, {0, 0, 1}, 1.0f, false);
  head.Ellipsoid({0, 27.9f, 29.9f}, {0.95f, 0.95f, 0.95f}, 8, 6, kFurTrim, 0.12f, 5u);
  // Arms in coat sleeves with fur cuffs and mittens; legs in trousers and boots.
  Limb(s, kDrvLClavicle, kDrvLUpperArm, kDrvLForearm, kDrvLHand, 1.3f, 1.1f, 1.0f, kCoat, 1.4f);
  Limb(s, kDrvRClavicle, kDrvRUpperArm, kDrvRForearm, kDrvRHand, 1.3f, 1.1f, 1.0f, kCoat, 1.4f);
  for (auto [hand, joint] : {std::pair{kDrvLHand, Vector3{2.6f, 22.2f, 15.6f}},
                             std::pair{kDrvRHand, Vector3{-2.6f, 22.2f, 15.6f}}}) {
    s.With([hand = hand](Vector3) {
       return Rigid(hand);
     }).Ellipsoid(Add(joint, {0, -0.8f, -0.2f}), {0.95f, 1.2f, 0.9f}, 8, 6, kMitten);
  }
  Limb(s, kDrvRoot, kDrvLThigh, kDrvLCalf, kDrvLFoot, 1.7f, 1.35f, 1.1f, kTrousers, 1.4f);
  Limb(s, kDrvRoot, kDrvRThigh, kDrvRCalf, kDrvRFoot, 1.7f, 1.35f, 1.1f, kTrousers, 1.4f);
  for (auto [foot, joint] : {std::pair{kDrvLFoot, Vector3{1.9f, 21.2f, 7.4f}},
                             std::pair{kDrvRFoot, Vector3{-1.9f, 21.2f, 7.4f}}}) {
    s.With([foot = foot](Vector3) {
       return Rigid(foot);
     }).Ellipsoid(Add(joint, {0, -1.0f, -0.4f}), {1.1f, 2.1f, 1.0f}, 8, 6, kBoot);
  }
  return s.ToSkinFile();
}

// The driver's idle motion at time t (seconds), shared by both clips so that the
// cross-fades between them meet the same pose. Every term repeats within one cycle, the
// length of both clips.
constexpr float kDriverCycle = kDriverBaseFrames * kDriverFrameMs / 1000.0f;
void DriverIdle(ClipBuilder& clip, int f, float t) {
  const float breath = std::sin(2 * kPi * t / kDriverCycle);
  const float sway = std::sin(2 * kPi * t / kDriverCycle + 0.8f);
  clip.roots[f] = Add(kDriverPelvis, {0, 0, 0.12f * std::sin(2 * kPi * t * 2.0f / kDriverCycle)});
  clip.At(kDrvRoot, f) = {0, 1.8f * kDeg * sway, 0};
  clip.At(kDrvSpine, f) = {1.0f * kDeg * breath, 0, 0};
  clip.At(kDrvSpine1, f) = {1.5f * kDeg * breath, 0, 0};
  clip.At(kDrvNeck, f) = {0, -1.5f * kDeg * sway, 0};
  clip.At(kDrvHead, f) = {-2.0f * kDeg * breath, 0,
                          4.0f * kDeg * std::sin(2 * kPi * t / kDriverCycle + 2.0f)};
  // The hands hold the reins and follow the team's pull a little.
  const float pull = std::sin(2 * kPi * t * 3.0f / kDriverCycle);
  clip.At(kDrvLForearm, f) = {3.0f * kDeg * pull, 0, 0};
  clip.At(kDrvRForearm, f) = {3.0f * kDeg * pull, 0, 0};
}

ClipFileData BuildDriverBase() {
  ClipBuilder clip(kDriverBoneCount, kDriverBaseFrames, kDriverFrameMs);
  for (int f = 0; f < kDriverBaseFrames; ++f) DriverIdle(clip, f, f * kDriverFrameMs / 1000.0f);
  return clip.ToClipFile();
}

ClipFileData BuildDriverGesture() {
  ClipBuilder clip(kDriverBoneCount, kDriverGestureFrames, kDriverFrameMs);
  const float length = kDriverGestureFrames * kDriverFrameMs / 1000.0f;
  for (int f = 0; f < kDriverGestureFrames; ++f) {
    const float t = f * kDriverFrameMs / 1000.0f;
    DriverIdle(clip, f, t);
    // Raise the right arm towards the viewer's side (-x), wave, lower it: the gesture
    // starts and ends in the idle pose, so the loop and the cross-fades meet cleanly.
    const float raise =
        SmoothStep(0.0f, 0.6f, t) * (1.0f - SmoothStep(length - 0.7f, length - 0.1f, t));
    const float wave = std::sin(2 * kPi * 1.5f * (t - 0.6f));
    // Upper arm raised beside the head, forearm upright, the hand waving to and fro.
    clip.At(kDrvRClavicle, f) = {0, 12.0f * kDeg * raise, 0};
    clip.At(kDrvRUpperArm, f) = {25.0f * kDeg * raise, 160.0f * kDeg * raise, 0};
    clip.At(kDrvRForearm, f) = {(90.0f + 25.0f * wave) * kDeg * raise, 38.0f * kDeg * raise, 0};
    clip.At(kDrvRHand, f) = {15.0f * kDeg * raise * wave, 0, 0};
    Vector3& head = clip.At(kDrvHead, f);
    head.z += -30.0f * kDeg * raise;
    head.x += 6.0f * kDeg * raise;
  }
  return clip.ToClipFile();
}

}  // namespace

bool WriteCharacters(OutputFolder& out) {
  return out.Write("Data/deer.tga", EncodeTga(BuildDeerTexture(), false)) &&
         out.Write("Data/deer.skn", EncodeSkinFile(BuildDeerSkin())) &&
         out.Write("Data/deer.chr", EncodeCharacterFile("deer.skn", "deer.tga")) &&
         out.Write("Data/deer.anm", EncodeClipFile(BuildGallop())) &&
         out.Write("Data/yulo.tga", EncodeTga(BuildDriverTexture(), false)) &&
         out.Write("Data/yulo.skn", EncodeSkinFile(BuildDriverSkin())) &&
         out.Write("Data/yulo.chr", EncodeCharacterFile("yulo.skn", "yulo.tga")) &&
         out.Write("Data/yulo.anm", EncodeClipFile(BuildDriverBase())) &&
         out.Write("Data/yulo_mah.anm", EncodeClipFile(BuildDriverGesture()));
}

}  // namespace yulo::assetgen
