// The reindeer: a skinned quadruped in harness with a looping gallop.
#include <cmath>

#include "assetgen/creatures.h"
#include "assetgen/noise.h"
#include "assetgen/textures.h"

namespace yulo::assetgen::creatures {

namespace {

constexpr float kPi = 3.14159265358979f;

// >>section proportions (deer-local: centred over the ground point below the body, facing -y)

constexpr float kBodyZ = 15.6f;  // centre height of the barrel
constexpr float kBodyHalfLength = 10.5f;
constexpr float kBodyHalfHeight = 4.6f;
constexpr float kBodyHalfWidth = 3.5f;
constexpr float kHipY = 7.0f, kShoulderY = -6.5f;
constexpr float kLegX = 2.2f;
const Vector3 kHeadPos{0, -12.8f, 23.4f};  // the skull's joint with the neck
constexpr float kHoofHeight = 0.75f;

// Gallop (one stride of kGallopFrames frames).
constexpr float kStanceShare = 0.36f;    // share of the stride a hoof is on the ground
constexpr float kFrontReach = 0.50f;     // radians each way of the upper front leg
constexpr float kHindReach = 0.42f;      // and of the thigh
constexpr float kFrontFold = 1.7f;       // how far the front cannon folds back in flight
constexpr float kHindFold = 1.25f;       // and the hind one forward
constexpr float kSuspensionLift = 0.8f;  // extra height while no hoof is down
// Stride phase at which each hoof lands: hind left, hind right, front left, front right.
constexpr float kLandHindL = 0.00f, kLandHindR = 0.10f, kLandFrontL = 0.36f, kLandFrontR = 0.47f;

Vector3 Local(float x, float y, float z) {
  return {x + kReindeerX, y + kReindeerY, z};
}
Vector3 Local(Vector3 p) {
  return Local(p.x, p.y, p.z);
}

// >>section atlas (picture coordinates, 256 x 256)

constexpr AtlasRect kBodyRect{0.0f, 0.0f, 0.5f, 0.5f};
constexpr AtlasRect kNeckRect{0.5f, 0.0f, 0.75f, 0.5f};
constexpr AtlasRect kHeadRect{0.75f, 0.0f, 1.0f, 0.25f};
constexpr AtlasRect kMuzzleRect{0.75f, 0.25f, 1.0f, 0.5f};
constexpr AtlasRect kLegRect{0.0f, 0.5f, 0.25f, 1.0f};
constexpr AtlasRect kHoofRect{0.25f, 0.5f, 0.375f, 0.625f};
constexpr AtlasRect kDarkRect{0.375f, 0.5f, 0.5f, 0.625f};
constexpr AtlasRect kAntlerRect{0.25f, 0.625f, 0.5f, 0.75f};
constexpr AtlasRect kTailRect{0.25f, 0.75f, 0.5f, 0.875f};
constexpr AtlasRect kEarRect{0.25f, 0.875f, 0.5f, 1.0f};
constexpr AtlasRect kCollarRect{0.5f, 0.5f, 0.75f, 0.625f};
constexpr AtlasRect kGoldRect{0.5f, 0.625f, 0.75f, 0.75f};
constexpr AtlasRect kPadRect{0.5f, 0.75f, 0.75f, 1.0f};
constexpr int kTextureSize = 256;

const Rgba kFurBrown = Rgb(0.42f, 0.29f, 0.18f);
const Rgba kFurDark = Rgb(0.24f, 0.16f, 0.10f);
const Rgba kFurCream = Rgb(0.86f, 0.80f, 0.68f);
const Rgba kLeather = Rgb(0.62f, 0.08f, 0.07f);
const Rgba kGold = Rgb(0.95f, 0.76f, 0.30f);

int BoneOf(const Skeleton& s, const char* name) {
  return s.Find(name);
}

}  // namespace

// >>section skeleton

Skeleton BuildReindeerSkeleton() {
  Skeleton s;
  const int root = s.AddBone("Bip01", -1, Local(0, 0, kBodyZ));
  const int pelvis = s.AddBone("Bip01 Pelvis", root, Local(0, kHipY, kBodyZ));
  const int spine = s.AddBone("Bip01 Spine", pelvis, Local(0, 1.5f, kBodyZ + 0.2f));
  const int spine1 = s.AddBone("Bip01 Spine1", spine, Local(0, -5.0f, kBodyZ + 0.4f));
  const int neck = s.AddBone("Bip01 Neck", spine1, Local(0, -8.0f, 17.5f));
  const int head = s.AddBone("Bip01 Head", neck, Local(kHeadPos));
  s.SetTail(head, Local(0, -18.0f, 22.4f));
  for (float side : {1.0f, -1.0f}) {
    const int ear = s.AddBone(side > 0 ? "Bip01 L Ear" : "Bip01 R Ear", head,
                              Local(side * 1.3f, -12.9f, 25.2f));
    s.SetTail(ear, Local(side * 3.3f, -12.3f, 25.9f));
  }
  for (float side : {1.0f, -1.0f}) {
    const bool left = side > 0;
    const int upper = s.AddBone(left ? "Bip01 L UpperArm" : "Bip01 R UpperArm", spine1,
                                Local(side * kLegX, kShoulderY, 15.0f));
    const int fore = s.AddBone(left ? "Bip01 L Forearm" : "Bip01 R Forearm", upper,
                               Local(side * kLegX, -6.0f, 9.5f));
    const int hand =
        s.AddBone(left ? "Bip01 L Hand" : "Bip01 R Hand", fore, Local(side * kLegX, -6.3f, 4.6f));
    s.SetTail(hand, Local(side * kLegX, -6.7f, 0.0f));
  }
  for (float side : {1.0f, -1.0f}) {
    const bool left = side > 0;
    const int thigh = s.AddBone(left ? "Bip01 L Thigh" : "Bip01 R Thigh", pelvis,
                                Local(side * kLegX, kHipY, 14.8f));
    const int calf =
        s.AddBone(left ? "Bip01 L Calf" : "Bip01 R Calf", thigh, Local(side * kLegX, 5.0f, 9.3f));
    const int foot =
        s.AddBone(left ? "Bip01 L Foot" : "Bip01 R Foot", calf, Local(side * kLegX, 8.1f, 4.8f));
    s.SetTail(foot, Local(side * kLegX, 7.4f, 0.0f));
  }
  const int tail = s.AddBone("Bip01 Tail", pelvis, Local(0, 10.2f, 17.6f));
  const int tail1 = s.AddBone("Bip01 Tail1", tail, Local(0, 11.6f, 16.9f));
  s.SetTail(tail1, Local(0, 12.4f, 15.4f));
  (void)spine;
  (void)neck;
  return s;
}

// >>section skin

SkinFileData BuildReindeerSkin(const Skeleton& s) {
  const int pelvis = BoneOf(s, "Bip01 Pelvis"), spine = BoneOf(s, "Bip01 Spine");
  const int spine1 = BoneOf(s, "Bip01 Spine1"), neck = BoneOf(s, "Bip01 Neck");
  const int head = BoneOf(s, "Bip01 Head");
  SkinBuilder b(s);

  // Barrel, chest and haunches.
  b.UseBones({pelvis, spine, spine1});
  b.Ellipsoid(Local(0, 0.5f, kBodyZ), {0, -kBodyHalfLength, 0}, {0, 0, kBodyHalfHeight},
              {kBodyHalfWidth, 0, 0}, 20, 16, Inner(kBodyRect, kTextureSize));
  b.UseBones({spine, spine1, neck});
  b.Ellipsoid(Local(0, -5.8f, kBodyZ + 0.1f), {0, -4.6f, 0.8f}, {0, 0.8f, 4.9f}, {3.4f, 0, 0}, 14,
              10, Inner(kBodyRect, kTextureSize));
  for (float side : {1.0f, -1.0f}) {
    b.UseBones({pelvis, spine, s.Find(side > 0 ? "Bip01 L Thigh" : "Bip01 R Thigh")});
    b.Ellipsoid(Local(side * 1.5f, 6.2f, kBodyZ - 0.3f), {0, -4.2f, 0}, {0, 0, 4.6f},
                {side * 2.4f, 0, 0}, 12, 10, Inner(kBodyRect, kTextureSize));
  }

  // Neck and head, with the pale fur of the throat facing down.
  b.UseBones({spine1, neck, head});
  b.Tube({Local(0, -5.5f, 16.6f), Local(0, -8.6f, 18.6f), Local(0, -11.0f, 21.4f),
          Local(0, -12.6f, 23.2f)},
         {3.3f, 2.7f, 2.0f, 1.7f}, 12, Inner(kNeckRect, kTextureSize), {0, -0.3f, -1.0f}, 0.85f,
         false);
  b.UseBones({head});
  const Vector3 snout = UnitOf({0, -1.0f, -0.38f});
  const Vector3 up = UnitOf({0, -0.38f, 1.0f});
  b.Ellipsoid(Local(0, -13.6f, 23.7f), Scaled(snout, 2.7f), Scaled(up, 2.0f), {1.85f, 0, 0}, 14, 10,
              Inner(kHeadRect, kTextureSize));
  b.Ellipsoid(Local(0, -16.3f, 22.7f), Scaled(snout, 2.1f), Scaled(up, 1.25f), {1.15f, 0, 0}, 12, 8,
              Inner(kMuzzleRect, kTextureSize));
  b.Ellipsoid(Local(0, -18.0f, 22.75f), {0, -0.45f, 0}, {0, 0, 0.45f}, {0.6f, 0, 0}, 8, 6,
              Inner(kDarkRect, kTextureSize));
  for (float side : {1.0f, -1.0f}) {
    b.Ellipsoid(Local(side * 1.45f, -14.9f, 24.45f), {0, -0.48f, 0}, {0, 0, 0.42f},
                {side * 0.36f, 0, 0}, 8, 6, Inner(kDarkRect, kTextureSize));
  }

  // Ears: flat leaves along their bones.
  for (float side : {1.0f, -1.0f}) {
    const int ear = s.Find(side > 0 ? "Bip01 L Ear" : "Bip01 R Ear");
    b.UseBones({ear});
    const Vector3 from = s.Head(ear), to = s.Tail(ear);
    b.Ellipsoid(Mid(from, to, 0.5f), Scaled(to - from, 0.55f), {0, -0.25f, 0.55f}, {0, 0.22f, 0.1f},
                8, 6, Inner(kEarRect, kTextureSize));
  }

  // Antlers: a sweeping beam with a brow tine, a back tine and a forked top.
  b.UseBones({head});
  for (float side : {1.0f, -1.0f}) {
    const auto at = [side](float x, float y, float z) { return Local(side * x, y, z); };
    b.Tube({at(0.9f, -13.0f, 25.4f), at(2.0f, -12.2f, 28.0f), at(3.6f, -11.2f, 30.6f),
            at(4.6f, -12.2f, 33.0f), at(4.3f, -14.4f, 35.0f)},
           {0.48f, 0.4f, 0.34f, 0.28f, 0.18f}, 6, Inner(kAntlerRect, kTextureSize), {0, -1, 0});
    b.Tube({at(1.5f, -12.6f, 26.9f), at(1.6f, -14.4f, 27.4f), at(1.3f, -16.0f, 28.6f)},
           {0.28f, 0.22f, 0.14f}, 5, Inner(kAntlerRect, kTextureSize), {0, 0, 1});
    b.Tube({at(3.2f, -11.4f, 30.0f), at(3.9f, -9.9f, 31.6f), at(4.1f, -9.2f, 33.2f)},
           {0.26f, 0.2f, 0.13f}, 5, Inner(kAntlerRect, kTextureSize), {0, 0, 1});
    b.Tube({at(4.6f, -12.4f, 32.6f), at(5.8f, -11.6f, 34.0f), at(6.2f, -11.0f, 35.4f)},
           {0.22f, 0.17f, 0.12f}, 5, Inner(kAntlerRect, kTextureSize), {0, 0, 1});
  }

  // Legs: a thick top blending into the body, slim cannons, pale fetlocks and hooves.
  for (float side : {1.0f, -1.0f}) {
    const bool left = side > 0;
    const int upper = s.Find(left ? "Bip01 L UpperArm" : "Bip01 R UpperArm");
    const int fore = s.Find(left ? "Bip01 L Forearm" : "Bip01 R Forearm");
    const int hand = s.Find(left ? "Bip01 L Hand" : "Bip01 R Hand");
    const float x = side * kLegX;
    b.UseBones({spine1, upper, fore, hand});
    b.Tube({Local(x, kShoulderY, 16.0f), Local(x, -6.2f, 12.4f), Local(x, -6.0f, 9.5f),
            Local(x, -6.2f, 7.0f), Local(x, -6.4f, 4.6f), Local(x, -6.6f, 1.6f)},
           {2.1f, 1.45f, 0.95f, 0.7f, 0.55f, 0.6f}, 9, Inner(kLegRect, kTextureSize), {0, -1, 0});
    b.UseBones({hand});
    b.Ellipsoid(Local(x, -6.8f, kHoofHeight), {0, 0, kHoofHeight}, {0, -1.0f, 0}, {0.8f, 0, 0}, 8,
                6, Inner(kHoofRect, kTextureSize));

    const int thigh = s.Find(left ? "Bip01 L Thigh" : "Bip01 R Thigh");
    const int calf = s.Find(left ? "Bip01 L Calf" : "Bip01 R Calf");
    const int foot = s.Find(left ? "Bip01 L Foot" : "Bip01 R Foot");
    b.UseBones({pelvis, thigh, calf, foot});
    b.Tube({Local(x, kHipY, 16.2f), Local(x, 6.0f, 12.2f), Local(x, 5.0f, 9.3f),
            Local(x, 6.8f, 7.0f), Local(x, 8.1f, 4.8f), Local(x, 7.6f, 1.6f)},
           {2.5f, 1.8f, 1.05f, 0.75f, 0.55f, 0.6f}, 9, Inner(kLegRect, kTextureSize), {0, -1, 0});
    b.UseBones({foot});
    b.Ellipsoid(Local(x, 7.3f, kHoofHeight), {0, 0, kHoofHeight}, {0, -1.0f, 0}, {0.8f, 0, 0}, 8, 6,
                Inner(kHoofRect, kTextureSize));
  }

  // Short white tail.
  const int tail = s.Find("Bip01 Tail"), tail1 = s.Find("Bip01 Tail1");
  b.UseBones({pelvis, tail, tail1});
  b.Tube({s.Head(tail), s.Head(tail1), s.Tail(tail1)}, {0.9f, 0.8f, 0.35f}, 7,
         Inner(kTailRect, kTextureSize), {0, 0, 1});

  // Harness: a red collar with bells, a girth and a saddle pad where the traces meet.
  b.UseBones({spine1, neck});
  {
    std::vector<Vector3> ring;
    const Vector3 centre = Local(0, -7.4f, 17.4f);
    const Vector3 axis = UnitOf({0, -0.75f, 0.66f});
    const Vector3 side1{1, 0, 0};
    const Vector3 side2 = axis.Cross(side1);
    constexpr int kSteps = 16;
    for (int i = 0; i <= kSteps; ++i) {
      const float a = 2 * kPi * static_cast<float>(i) / kSteps;
      ring.push_back(centre + Scaled(side1, 3.55f * std::cos(a)) +
                     Scaled(side2, 4.0f * std::sin(a)));
    }
    b.Tube(ring, std::vector<float>(ring.size(), 0.5f), 6, Inner(kCollarRect, kTextureSize), axis,
           1.0f, false);
    for (float x : {-1.9f, 0.0f, 1.9f}) {
      const Vector3 bell = centre - Scaled(side2, 4.1f) + Vector3(x, 0, x == 0.0f ? -0.4f : 0.5f);
      b.Ellipsoid(bell, {0, 0, 0.55f}, {0.5f, 0, 0}, {0, 0.5f, 0}, 8, 6,
                  Inner(kGoldRect, kTextureSize));
    }
  }
  b.UseBones({spine, spine1});
  {
    std::vector<Vector3> ring;
    constexpr int kSteps = 18;
    for (int i = 0; i <= kSteps; ++i) {
      const float a = 2 * kPi * static_cast<float>(i) / kSteps;
      ring.push_back(Local(3.55f * std::cos(a), -2.0f, kBodyZ + 4.6f * std::sin(a)));
    }
    b.Tube(ring, std::vector<float>(ring.size(), 0.42f), 6, Inner(kCollarRect, kTextureSize),
           {0, 1, 0}, 1.0f, false);
    b.Ellipsoid(Local(0, -2.0f, kBodyZ + 4.3f), {0, 0, 0.7f}, {0, 2.0f, 0}, {3.0f, 0, 0}, 12, 6,
                Inner(kPadRect, kTextureSize));
  }
  return b.ToSkinFile();
}

// >>section texture

Image BuildReindeerTexture() {
  return Supersample(kTextureSize, kTextureSize, 2, [](float u, float v) {
    const float grain = Fbm(u * 24.0f, v * 96.0f, 0, 3, 301u);
    const float blotch = Fbm(u * 6.0f, v * 6.0f, 0, 3, 307u);
    const auto fur = [&](Rgba base) { return Scale(base, 0.82f + 0.3f * grain + 0.1f * blotch); };
    // Each area is painted a little past its rectangle so filtering stays inside the part.
    constexpr float kPad = 1.0f / kTextureSize;
    const auto in = [&](AtlasRect r) {
      return u >= r.u0 - kPad && u < r.u1 + kPad && v >= r.v0 - kPad && v < r.v1 + kPad;
    };
    if (in(kBodyRect)) {
      // u runs round the barrel from the back (0) over the belly (0.5); v from chest to rump.
      const float s = kBodyRect.S(u), t = kBodyRect.T(v);
      const float down = 0.5f - 0.5f * std::cos(2 * kPi * s);
      Rgba c = Mix(kFurBrown, kFurCream, SmoothStep(0.55f, 0.85f, down));
      c = Mix(c, kFurDark, 0.45f * (1.0f - SmoothStep(0.0f, 0.12f, down)));  // dorsal stripe
      c = Mix(c, kFurCream, 0.35f * (1.0f - SmoothStep(0.0f, 0.25f, t)));    // pale chest
      return fur(c);
    }
    if (in(kNeckRect)) {
      // u = 0 faces the throat: a pale mane below, darker above.
      const float s = kNeckRect.S(u);
      const float throat = 0.5f + 0.5f * std::cos(2 * kPi * s);
      return fur(Mix(Mix(kFurBrown, kFurDark, 0.3f), kFurCream, SmoothStep(0.35f, 0.8f, throat)));
    }
    if (in(kHeadRect)) {
      const float s = kHeadRect.S(u);
      const float top = 0.5f + 0.5f * std::cos(2 * kPi * s);
      return fur(Mix(kFurBrown, kFurDark, 0.4f * top));
    }
    if (in(kMuzzleRect)) return fur(Mix(kFurBrown, kFurCream, 0.35f));
    if (in(kLegRect)) {
      // Dark legs with pale bands above the hooves.
      const float t = kLegRect.T(v);
      Rgba c = Mix(kFurBrown, kFurDark, SmoothStep(0.1f, 0.45f, t));
      c = Mix(c, kFurCream, SmoothStep(0.82f, 0.9f, t));
      return fur(c);
    }
    if (in(kHoofRect)) return Scale(Rgb(0.12f, 0.11f, 0.10f), 0.9f + 0.2f * grain);
    if (in(kDarkRect)) return Rgb(0.05f, 0.04f, 0.04f);
    if (in(kAntlerRect)) {
      const float t = kAntlerRect.T(v);
      return Scale(Mix(Rgb(0.55f, 0.45f, 0.33f), Rgb(0.90f, 0.84f, 0.70f), t),
                   0.85f + 0.25f * grain);
    }
    if (in(kTailRect)) return fur(Rgb(0.95f, 0.93f, 0.88f));
    if (in(kEarRect)) return fur(Mix(kFurBrown, kFurCream, 0.2f));
    if (in(kCollarRect)) {
      // Red leather with gold stitching along both edges.
      const float t = kCollarRect.T(v);
      const float s = kCollarRect.S(u);
      Rgba c = Scale(kLeather, 0.85f + 0.25f * blotch);
      if (std::fabs(std::fabs(s - 0.5f) - 0.32f) < 0.04f && std::fmod(t * 24.0f, 1.0f) < 0.6f)
        c = kGold;
      return c;
    }
    if (in(kGoldRect)) {
      const float s = kGoldRect.S(u);
      return Mix(Scale(kGold, 0.6f), Rgb(1.0f, 0.95f, 0.75f), 0.5f + 0.5f * std::cos(2 * kPi * s));
    }
    if (in(kPadRect)) {
      // Green saddle pad with a gold border.
      const float t = kPadRect.T(v);
      Rgba c = Scale(Rgb(0.08f, 0.35f, 0.20f), 0.8f + 0.3f * blotch);
      if (t > 0.8f) c = kGold;
      return c;
    }
    return kFurBrown;
  });
}

// >>section gallop

namespace {

struct LegSwing {
  float reach;  // turn of the upper bone, negative reaching forward
  float fold;   // 0 on the ground, 1 fully folded in mid-flight
};

// One leg over the stride: on the ground it sweeps back evenly; in the air it folds and
// swings forward again, landing fully reached.
LegSwing Swing(float phase, float land, float reach) {
  float s = phase - land;
  s -= std::floor(s);
  if (s < kStanceShare) {
    const float u = s / kStanceShare;
    return {-reach + 2.0f * reach * u, 0.0f};
  }
  const float u = (s - kStanceShare) / (1.0f - kStanceShare);
  return {reach - 2.0f * reach * (0.5f - 0.5f * std::cos(kPi * u)), std::sin(kPi * u)};
}

bool OnGround(float phase, float land) {
  float s = phase - land;
  s -= std::floor(s);
  return s < kStanceShare;
}

struct LegBones {
  int upper, middle, lower;
  float land;
  bool front;
};

void PoseGallop(const Skeleton& s, const std::vector<LegBones>& legs, float phase, ClipPose* pose) {
  const float w = 2 * kPi * phase;
  for (const LegBones& leg : legs) {
    const LegSwing swing = Swing(phase, leg.land, leg.front ? kFrontReach : kHindReach);
    if (leg.front) {
      pose->angles[size_t(leg.upper)].x = swing.reach;
      pose->angles[size_t(leg.middle)].x = -0.35f * swing.fold;
      pose->angles[size_t(leg.lower)].x = kFrontFold * swing.fold;
    } else {
      pose->angles[size_t(leg.upper)].x = swing.reach - 0.25f * swing.fold;
      pose->angles[size_t(leg.middle)].x = 0.55f * swing.fold;
      pose->angles[size_t(leg.lower)].x = -kHindFold * swing.fold;
    }
  }
  // The back rocks with the stride; the neck and head counter it so the head stays calm.
  pose->angles[size_t(s.Find("Bip01 Pelvis"))].x = 0.05f * std::sin(w - 0.6f);
  pose->angles[size_t(s.Find("Bip01 Spine1"))].x = -0.04f * std::sin(w - 0.2f);
  pose->angles[size_t(s.Find("Bip01 Neck"))].x = 0.07f * std::sin(w + 0.8f);
  pose->angles[size_t(s.Find("Bip01 Head"))].x = -0.09f * std::sin(w + 0.8f);
  pose->angles[size_t(s.Find("Bip01 L Ear"))].x = 0.18f * std::sin(w + 2.0f);
  pose->angles[size_t(s.Find("Bip01 R Ear"))].x = 0.18f * std::sin(w + 2.3f);
  pose->angles[size_t(s.Find("Bip01 Tail"))].x = -0.25f + 0.25f * std::sin(w + 0.4f);
  pose->angles[size_t(s.Find("Bip01 Tail1"))].x = 0.3f * std::sin(w - 0.4f);
}

}  // namespace

ClipFileData BuildGallopClip(const Skeleton& s) {
  std::vector<LegBones> legs = {
      {s.Find("Bip01 L Thigh"), s.Find("Bip01 L Calf"), s.Find("Bip01 L Foot"), kLandHindL, false},
      {s.Find("Bip01 R Thigh"), s.Find("Bip01 R Calf"), s.Find("Bip01 R Foot"), kLandHindR, false},
      {s.Find("Bip01 L UpperArm"), s.Find("Bip01 L Forearm"), s.Find("Bip01 L Hand"), kLandFrontL,
       true},
      {s.Find("Bip01 R UpperArm"), s.Find("Bip01 R Forearm"), s.Find("Bip01 R Hand"), kLandFrontR,
       true},
  };
  // The height of the body in each frame: low enough that the hooves on the ground touch
  // it, and while all four are in the air, a short float between the neighbouring heights.
  const int n = kGallopFrames;
  std::vector<float> lift(size_t(n), 0.0f);
  std::vector<float> clearance(size_t(n), 0.0f);  // lift that keeps every hoof above ground
  std::vector<bool> grounded(size_t(n), false);
  for (int f = 0; f < n; ++f) {
    const float phase = static_cast<float>(f) / n;
    ClipPose pose;
    pose.angles.assign(size_t(s.count()), Vector3(0, 0, 0));
    pose.root = s.Head(0);
    PoseGallop(s, legs, phase, &pose);
    std::vector<Matrix4> rotations;
    const std::vector<Vector3> positions = PoseBones(s, pose, &rotations);
    float lowestDown = 1e9f, lowestAny = 1e9f;
    for (const LegBones& leg : legs) {
      const float z = PosedTail(s, leg.lower, positions, rotations).z;
      lowestAny = std::fmin(lowestAny, z);
      if (OnGround(phase, leg.land)) {
        lowestDown = std::fmin(lowestDown, z);
        grounded[size_t(f)] = true;
      }
    }
    lift[size_t(f)] = grounded[size_t(f)] ? -lowestDown : 0.0f;
    clearance[size_t(f)] = -lowestAny;
  }
  for (int f = 0; f < n; ++f) {
    if (grounded[size_t(f)]) continue;
    int before = f, after = f, gapBefore = 0, gapAfter = 0;
    while (!grounded[size_t(before)]) before = (before + n - 1) % n, ++gapBefore;
    while (!grounded[size_t(after)]) after = (after + 1) % n, ++gapAfter;
    const float t = static_cast<float>(gapBefore) / static_cast<float>(gapBefore + gapAfter);
    lift[size_t(f)] = lift[size_t(before)] + (lift[size_t(after)] - lift[size_t(before)]) * t +
                      kSuspensionLift * std::sin(kPi * t);
  }
  return SampleClip(s, n, kGallopFrameMs, [&](float phase, ClipPose* pose) {
    PoseGallop(s, legs, phase, pose);
    const int f = static_cast<int>(std::lround(phase * n)) % n;
    pose->root.z += std::fmax(lift[size_t(f)], clearance[size_t(f)]);
  });
}

}  // namespace yulo::assetgen::creatures
