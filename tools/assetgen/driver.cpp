// The driver: a figure in a winter coat and knitted hat, seated on the sleigh holding the
// reins; a breathing base clip and a wave to the viewer.
#include <cmath>

#include "assetgen/creatures.h"
#include "assetgen/noise.h"
#include "assetgen/textures.h"

namespace yulo::assetgen::creatures {

namespace {

constexpr float kPi = 3.14159265358979f;

// >>section proportions (sleigh space, facing -y; the figure's left is +x)

constexpr float kHipZ = kSeatTopZ + 1.5f;
constexpr float kBackY = kSeatY + 0.5f;  // the spine leans on the seat's back
constexpr float kShoulderX = 3.2f, kShoulderZ = 20.4f;
constexpr float kHeadZ = 24.2f;
constexpr float kHandY = 20.0f, kHandZ = 16.2f, kHandX = 2.3f;  // the reins start here

// Base clip: two breaths and one slow sway per loop.
constexpr float kBreath = 0.045f;  // radians the chest and shoulders rise
constexpr float kSway = 0.035f;    // radians of sideways lean
constexpr float kReinBob = 0.06f;  // forearms following the ride
// Wave: the left arm rises over the head, waves four times and comes down again, while the
// face turns to the right: the camera looks at the driver's right side, so it sees the
// face and the hand against the sky, not a sleeve across the face.
constexpr float kWaveRise = 0.2f;  // share of the clip spent raising the arm (and lowering)
constexpr int kWaveCount = 4;
constexpr float kWaveSwing = 0.38f;                       // radians of each swing of the forearm
constexpr float kWaveTilt = 0.1f;                         // the forearm's mean lean outwards
const Vector3 kWaveElbow = UnitOf({0.8f, -0.3f, 0.45f});  // upper arm, raised to the left

// >>section atlas (picture coordinates, 256 x 256)

constexpr AtlasRect kCoatRect{0.0f, 0.0f, 0.5f, 0.5f};
constexpr AtlasRect kFurRect{0.5f, 0.0f, 0.75f, 0.25f};
constexpr AtlasRect kSkinRect{0.75f, 0.0f, 1.0f, 0.25f};
constexpr AtlasRect kDarkRect{0.5f, 0.25f, 0.625f, 0.375f};
constexpr AtlasRect kNoseRect{0.625f, 0.25f, 0.75f, 0.375f};
constexpr AtlasRect kHatRect{0.75f, 0.25f, 1.0f, 0.5f};
constexpr AtlasRect kHairRect{0.5f, 0.375f, 0.75f, 0.5f};
constexpr AtlasRect kScarfRect{0.5f, 0.5f, 0.75f, 0.75f};
constexpr AtlasRect kMittenRect{0.75f, 0.5f, 1.0f, 0.75f};
constexpr AtlasRect kLegRect{0.0f, 0.5f, 0.25f, 1.0f};
constexpr AtlasRect kBootRect{0.25f, 0.5f, 0.5f, 0.75f};
constexpr AtlasRect kBeltRect{0.25f, 0.75f, 0.5f, 1.0f};
constexpr AtlasRect kSleeveRect{0.5f, 0.75f, 1.0f, 1.0f};
constexpr int kTextureSize = 256;

const Rgba kCoatRed = Rgb(0.66f, 0.09f, 0.10f);
const Rgba kFurWhite = Rgb(0.94f, 0.93f, 0.90f);
const Rgba kSkinTone = Rgb(0.93f, 0.74f, 0.62f);
const Rgba kKnitGreen = Rgb(0.10f, 0.42f, 0.22f);
const Rgba kGold = Rgb(0.95f, 0.76f, 0.30f);

// A closed ring of points round a vertical axis, starting at the front.
std::vector<Vector3> Ring(Vector3 centre, float rx, float ry, int steps) {
  std::vector<Vector3> ring;
  for (int i = 0; i <= steps; ++i) {
    const float a = -0.5f * kPi + 2 * kPi * static_cast<float>(i) / static_cast<float>(steps);
    ring.push_back(centre + Vector3(rx * std::cos(a), ry * std::sin(a), 0));
  }
  return ring;
}

const char* Sided(bool left, const char* l, const char* r) {
  return left ? l : r;
}

}  // namespace

// >>section skeleton

Skeleton BuildDriverSkeleton() {
  Skeleton s;
  const int root = s.AddBone("Bip01", -1, {0, kBackY, kHipZ});
  const int pelvis = s.AddBone("Bip01 Pelvis", root, {0, kBackY, kHipZ});
  const int spine = s.AddBone("Bip01 Spine", pelvis, {0, kBackY + 0.1f, 14.6f});
  const int spine1 = s.AddBone("Bip01 Spine1", spine, {0, kBackY + 0.2f, 17.0f});
  const int spine2 = s.AddBone("Bip01 Spine2", spine1, {0, kBackY + 0.3f, 19.4f});
  const int neck = s.AddBone("Bip01 Neck", spine2, {0, kBackY + 0.2f, 21.4f});
  const int head = s.AddBone("Bip01 Head", neck, {0, kBackY, 22.8f});
  s.SetTail(head, {0, kBackY, 28.0f});
  for (bool left : {true, false}) {
    const float side = left ? 1.0f : -1.0f;
    const int clavicle = s.AddBone(Sided(left, "Bip01 L Clavicle", "Bip01 R Clavicle"), spine2,
                                   {side * 0.8f, kBackY + 0.3f, 20.6f});
    const int upper = s.AddBone(Sided(left, "Bip01 L UpperArm", "Bip01 R UpperArm"), clavicle,
                                {side * kShoulderX, kBackY + 0.2f, kShoulderZ});
    const int fore = s.AddBone(Sided(left, "Bip01 L Forearm", "Bip01 R Forearm"), upper,
                               {side * 3.9f, kBackY - 3.0f, 16.7f});
    const int hand = s.AddBone(Sided(left, "Bip01 L Hand", "Bip01 R Hand"), fore,
                               {side * kHandX, kHandY + 0.6f, kHandZ});
    s.SetTail(hand, {side * (kHandX - 0.3f), kHandY - 1.0f, kHandZ - 0.2f});
  }
  for (bool left : {true, false}) {
    const float side = left ? 1.0f : -1.0f;
    const int thigh = s.AddBone(Sided(left, "Bip01 L Thigh", "Bip01 R Thigh"), pelvis,
                                {side * 1.8f, kBackY - 0.5f, kHipZ - 0.3f});
    const int calf =
        s.AddBone(Sided(left, "Bip01 L Calf", "Bip01 R Calf"), thigh, {side * 2.0f, 20.8f, 12.9f});
    const int foot = s.AddBone(Sided(left, "Bip01 L Foot", "Bip01 R Foot"), calf,
                               {side * 2.0f, 20.2f, kFloorZ + 1.3f});
    s.SetTail(foot, {side * 2.0f, 17.4f, kFloorZ + 0.5f});
  }
  (void)spine1;
  (void)head;
  return s;
}

// >>section skin

SkinFileData BuildDriverSkin(const Skeleton& s) {
  const int pelvis = s.Find("Bip01 Pelvis"), spine = s.Find("Bip01 Spine");
  const int spine1 = s.Find("Bip01 Spine1"), spine2 = s.Find("Bip01 Spine2");
  const int neck = s.Find("Bip01 Neck"), head = s.Find("Bip01 Head");
  SkinBuilder b(s);

  // Coat: a long body and a skirt over the hips, with a white fur strip down the front.
  b.UseBones({pelvis, spine, spine1, spine2});
  b.Ellipsoid({0, kBackY - 0.2f, 17.4f}, {0, 0, 5.2f}, {0, -2.7f, 0}, {3.3f, 0, 0}, 16, 12,
              Inner(kCoatRect, kTextureSize));
  b.UseBones({pelvis, spine});
  b.Ellipsoid({0, kBackY - 1.0f, kHipZ + 0.4f}, {0, 0, 2.4f}, {0, -3.6f, 0}, {3.7f, 0, 0}, 16, 8,
              Inner(kCoatRect, kTextureSize));
  b.UseBones({spine, spine1, spine2});
  b.Tube({{0, kBackY - 2.75f, 21.0f}, {0, kBackY - 2.95f, 17.5f}, {0, kBackY - 2.6f, 13.6f}},
         {0.5f, 0.55f, 0.5f}, 6, Inner(kFurRect, kTextureSize), {0, -1, 0}, 0.7f);
  b.Tube(Ring({0, kBackY - 0.6f, 15.0f}, 3.25f, 2.75f, 20), std::vector<float>(21, 0.4f), 6,
         Inner(kBeltRect, kTextureSize), {0, 0, 1}, 1.0f, false);
  b.Tube(Ring({0, kBackY - 1.0f, 11.2f}, 3.6f, 3.5f, 20), std::vector<float>(21, 0.55f), 6,
         Inner(kFurRect, kTextureSize), {0, 0, 1}, 1.0f, false);

  // Neck, scarf and head.
  b.UseBones({spine2, neck, head});
  b.Tube({{0, kBackY, 21.0f}, {0, kBackY - 0.1f, 23.0f}}, {1.0f, 0.95f}, 8,
         Inner(kSkinRect, kTextureSize), {0, -1, 0});
  b.UseBones({spine2, neck});
  b.Tube(Ring({0, kBackY - 0.1f, 21.9f}, 1.55f, 1.45f, 14), std::vector<float>(15, 0.62f), 6,
         Inner(kScarfRect, kTextureSize), {0, 0, 1}, 1.0f, false);
  b.UseBones({spine2});
  b.Tube(
      {{-0.9f, kBackY - 1.6f, 21.5f}, {-1.3f, kBackY - 2.8f, 19.8f}, {-1.4f, kBackY - 3.1f, 17.6f}},
      {0.55f, 0.5f, 0.5f}, 6, Inner(kScarfRect, kTextureSize), {0, -1, 0}, 0.35f);
  b.UseBones({head});
  const Vector3 face{0, kBackY - 0.2f, kHeadZ};
  b.Ellipsoid(face, {0, 0, 2.25f}, {0, -2.0f, 0}, {1.9f, 0, 0}, 16, 12,
              Inner(kSkinRect, kTextureSize));
  b.Ellipsoid(face + Vector3(0, -2.0f, -0.3f), {0, -0.45f, 0}, {0, 0, 0.4f}, {0.42f, 0, 0}, 8, 6,
              Inner(kNoseRect, kTextureSize));
  for (float side : {1.0f, -1.0f}) {
    b.Ellipsoid(face + Vector3(side * 0.74f, -1.76f, 0.45f), {0, -0.24f, 0}, {0, 0, 0.32f},
                {0.24f, 0, 0}, 8, 6, Inner(kDarkRect, kTextureSize));
    b.Ellipsoid(face + Vector3(side * 1.85f, 0.1f, -0.1f), {side * 0.25f, 0, 0}, {0, 0, 0.55f},
                {0, 0.4f, 0}, 8, 6, Inner(kSkinRect, kTextureSize));  // ears
  }
  // Hair from under the hat down to the nape, leaving the face free.
  b.Ellipsoid(face + Vector3(0, 0.55f, 0.15f), {0, 0, 1.9f}, {0, -1.75f, 0}, {2.0f, 0, 0}, 14, 10,
              Inner(kHairRect, kTextureSize));
  // Knitted hat: a soft cone flopping back, a fur brim and a pompom.
  b.Tube(
      {face + Vector3(0, 0.05f, 0.9f), face + Vector3(0, 0.3f, 2.6f), face + Vector3(0, 1.0f, 4.3f),
       face + Vector3(0, 2.4f, 5.2f), face + Vector3(0, 3.4f, 4.9f)},
      {2.15f, 1.95f, 1.35f, 0.75f, 0.45f}, 12, Inner(kHatRect, kTextureSize), {0, -1, 0});
  b.Tube(Ring(face + Vector3(0, 0.05f, 1.0f), 2.05f, 2.05f, 16), std::vector<float>(17, 0.6f), 6,
         Inner(kFurRect, kTextureSize), {0, 0, 1}, 1.0f, false);
  b.Ellipsoid(face + Vector3(0, 3.9f, 4.6f), {0, 0, 0.95f}, {0, 0.95f, 0}, {0.95f, 0, 0}, 10, 8,
              Inner(kFurRect, kTextureSize));

  // Arms in red sleeves with fur cuffs, and green mittens on the reins.
  for (bool left : {true, false}) {
    const float side = left ? 1.0f : -1.0f;
    const int clavicle = s.Find(Sided(left, "Bip01 L Clavicle", "Bip01 R Clavicle"));
    const int upper = s.Find(Sided(left, "Bip01 L UpperArm", "Bip01 R UpperArm"));
    const int fore = s.Find(Sided(left, "Bip01 L Forearm", "Bip01 R Forearm"));
    const int hand = s.Find(Sided(left, "Bip01 L Hand", "Bip01 R Hand"));
    const Vector3 shoulder = s.Head(upper), elbow = s.Head(fore), wrist = s.Head(hand);
    b.UseBones({spine2, clavicle, upper, fore});
    b.Tube({shoulder - Vector3(side * 0.6f, 0, 0), shoulder, Mid(shoulder, elbow, 0.5f), elbow,
            Mid(elbow, wrist, 0.5f), Mid(elbow, wrist, 0.88f)},
           {1.3f, 1.25f, 1.1f, 0.98f, 0.92f, 0.95f}, 10, Inner(kSleeveRect, kTextureSize),
           {0, 0, 1});
    b.UseBones({fore, hand});
    const Vector3 cuff = Mid(elbow, wrist, 0.9f);
    const Vector3 dir = UnitOf(wrist - elbow);
    b.Tube({cuff - Scaled(dir, 0.35f), cuff + Scaled(dir, 0.35f)}, {1.05f, 1.05f}, 10,
           Inner(kFurRect, kTextureSize), {0, 0, 1});
    b.UseBones({hand});
    const Vector3 palm = Mid(wrist, s.Tail(hand), 0.45f);
    b.Ellipsoid(palm, Scaled(UnitOf(s.Tail(hand) - wrist), 1.15f), {0, 0, 0.8f}, {0.78f, 0, 0}, 10,
                8, Inner(kMittenRect, kTextureSize));
    b.Ellipsoid(palm + Vector3(-side * 0.55f, -0.2f, 0.55f), {0, -0.45f, 0.2f}, {0, 0, 0.35f},
                {0.35f, 0, 0}, 6, 5, Inner(kMittenRect, kTextureSize));
  }

  // Legs: trousers into tall boots.
  for (bool left : {true, false}) {
    const int thigh = s.Find(Sided(left, "Bip01 L Thigh", "Bip01 R Thigh"));
    const int calf = s.Find(Sided(left, "Bip01 L Calf", "Bip01 R Calf"));
    const int foot = s.Find(Sided(left, "Bip01 L Foot", "Bip01 R Foot"));
    const Vector3 hip = s.Head(thigh), knee = s.Head(calf), ankle = s.Head(foot);
    b.UseBones({pelvis, thigh, calf, foot});
    b.Tube({hip, Mid(hip, knee, 0.5f), knee, Mid(knee, ankle, 0.5f), ankle},
           {1.75f, 1.5f, 1.3f, 1.2f, 1.05f}, 10, Inner(kLegRect, kTextureSize), {0, 0, 1});
    b.UseBones({foot});
    const Vector3 toe = s.Tail(foot);
    b.Ellipsoid(Mid(ankle, toe, 0.5f) + Vector3(0, 0, -0.2f), Scaled(toe - ankle, 0.62f),
                {0, 0, 0.85f}, {0.95f, 0, 0}, 10, 8, Inner(kBootRect, kTextureSize));
  }
  return b.ToSkinFile();
}

// >>section texture

Image BuildDriverTexture() {
  return Supersample(kTextureSize, kTextureSize, 2, [](float u, float v) {
    const float grain = Fbm(u * 64.0f, v * 64.0f, 0, 2, 401u);
    const float soft = Fbm(u * 8.0f, v * 8.0f, 0, 3, 409u);
    constexpr float kPad = 1.0f / kTextureSize;
    const auto in = [&](AtlasRect r) {
      return u >= r.u0 - kPad && u < r.u1 + kPad && v >= r.v0 - kPad && v < r.v1 + kPad;
    };
    // Knitted rows: small chevrons.
    const auto knit = [](float s, float t, float rows) {
      const float x = std::fmod(s * rows * 2.0f, 1.0f);
      const float y = std::fmod(t * rows + std::fabs(x - 0.5f), 1.0f);
      return 0.8f + 0.25f * std::sin(kPi * y);
    };
    if (in(kCoatRect)) return Scale(kCoatRed, 0.82f + 0.2f * grain + 0.12f * soft);
    if (in(kSleeveRect)) return Scale(kCoatRed, 0.82f + 0.2f * grain + 0.12f * soft);
    if (in(kFurRect)) return Scale(kFurWhite, 0.82f + 0.25f * grain);
    if (in(kSkinRect)) {
      // u = 0 faces forward; rosy cheeks either side of it, below the eyes.
      const float s = kSkinRect.S(u), t = kSkinRect.T(v);
      Rgba c = kSkinTone;
      for (float cheek : {0.13f, 0.87f}) {
        const float d = std::hypot((s - cheek) * 3.0f, t - 0.56f);
        c = Mix(c, Rgb(0.92f, 0.48f, 0.45f), 0.6f * (1.0f - SmoothStep(0.0f, 0.12f, d)));
      }
      // A little eyebrow above each eye.
      for (float brow : {0.06f, 0.94f}) {
        if (std::fabs(s - brow) < 0.035f && std::fabs(t - 0.33f) < 0.02f)
          c = Rgb(0.35f, 0.22f, 0.15f);
      }
      return Scale(c, 0.95f + 0.08f * soft);
    }
    if (in(kDarkRect)) return Rgb(0.06f, 0.05f, 0.06f);
    if (in(kNoseRect)) return Rgb(0.92f, 0.52f, 0.48f);
    if (in(kHairRect)) {
      // Auburn strands running from the crown down.
      const float s = kHairRect.S(u);
      const float strand = Fbm(s * 40.0f, v * 4.0f, 0, 2, 419u);
      return Scale(Rgb(0.45f, 0.22f, 0.10f), 0.7f + 0.5f * strand);
    }
    if (in(kHatRect)) {
      const float s = kHatRect.S(u), t = kHatRect.T(v);
      Rgba c = Scale(kCoatRed, knit(s, t, 10.0f));
      if (std::fabs(t - 0.3f) < 0.05f) c = Scale(kFurWhite, knit(s, t, 10.0f));  // a white band
      return c;
    }
    if (in(kScarfRect)) {
      const float s = kScarfRect.S(u), t = kScarfRect.T(v);
      const bool stripe = std::fmod(t * 6.0f, 1.0f) < 0.35f;
      return Scale(stripe ? kFurWhite : kKnitGreen, knit(s, t, 12.0f));
    }
    if (in(kMittenRect)) {
      const float s = kMittenRect.S(u), t = kMittenRect.T(v);
      return Scale(kKnitGreen, knit(s, t, 8.0f));
    }
    if (in(kLegRect)) {
      // Trousers from the hip to above the knee, then the boot's cuff and leg.
      const float t = kLegRect.T(v);
      if (t < 0.42f) return Scale(Rgb(0.16f, 0.18f, 0.26f), 0.85f + 0.25f * grain);
      if (t < 0.5f) return Scale(Rgb(0.55f, 0.42f, 0.30f), 0.85f + 0.2f * grain);
      return Scale(Rgb(0.10f, 0.08f, 0.07f), 0.85f + 0.3f * soft);
    }
    if (in(kBootRect)) return Scale(Rgb(0.10f, 0.08f, 0.07f), 0.85f + 0.3f * soft);
    if (in(kBeltRect)) {
      const float t = kBeltRect.T(v);
      if (t < 0.05f || t > 0.95f) return kGold;  // the buckle sits where the ring starts
      return Scale(Rgb(0.08f, 0.06f, 0.05f), 0.9f + 0.2f * grain);
    }
    return kCoatRed;
  });
}

// >>section clips

namespace {

// The pose both clips start from and share: seated, reins in hand, breathing and swaying.
void PoseSeated(const Skeleton& s, float breathPhase, float swayPhase, ClipPose* pose) {
  const float breath = std::sin(2 * kPi * breathPhase);
  const float sway = std::sin(2 * kPi * swayPhase);
  pose->angles[size_t(s.Find("Bip01 Spine1"))].x += -0.4f * kBreath * breath;
  pose->angles[size_t(s.Find("Bip01 Spine2"))].x += -0.6f * kBreath * breath;
  pose->angles[size_t(s.Find("Bip01 L Clavicle"))].y += -kBreath * breath;
  pose->angles[size_t(s.Find("Bip01 R Clavicle"))].y += kBreath * breath;
  pose->angles[size_t(s.Find("Bip01 Spine"))].y += kSway * sway;
  pose->angles[size_t(s.Find("Bip01 Neck"))].y += -0.6f * kSway * sway;
  pose->angles[size_t(s.Find("Bip01 Head"))].z += 0.08f * std::sin(2 * kPi * swayPhase * 2.0f);
  // The hands bob a little with the reins.
  const float bob = kReinBob * std::sin(2 * kPi * breathPhase * 2.0f);
  pose->angles[size_t(s.Find("Bip01 L Forearm"))].x += bob;
  pose->angles[size_t(s.Find("Bip01 R Forearm"))].x += bob;
}

}  // namespace

ClipFileData BuildDriverBaseClip(const Skeleton& s) {
  return SampleClip(s, kDriverBaseFrames, kDriverBaseFrameMs,
                    [&](float phase, ClipPose* pose) { PoseSeated(s, phase * 2.0f, phase, pose); });
}

ClipFileData BuildDriverWaveClip(const Skeleton& s) {
  const int clavicle = s.Find("Bip01 L Clavicle"), upper = s.Find("Bip01 L UpperArm");
  const int fore = s.Find("Bip01 L Forearm"), hand = s.Find("Bip01 L Hand");
  return SampleClip(s, kDriverWaveFrames, kDriverWaveFrameMs, [&](float phase, ClipPose* pose) {
    PoseSeated(s, phase, phase, pose);
    // How far the arm is raised: up over the first share, down over the last.
    const float raise =
        SmoothStep(0.0f, kWaveRise, phase) * (1.0f - SmoothStep(1.0f - kWaveRise, 1.0f, phase));
    const float wave =
        std::sin(2 * kPi * kWaveCount * (phase - kWaveRise) / (1.0f - 2 * kWaveRise));
    const float waving = phase > kWaveRise && phase < 1.0f - kWaveRise ? wave : 0.0f;
    // The fully raised arm: elbow out to the side, forearm upright and rocking about the
    // line of sight, the open hand bent back. The clip turns that far times `raise`.
    ClipPose raised = *pose;
    std::vector<Matrix4> rotations;
    PoseBones(s, raised, &rotations);
    const Vector3 upperAim =
        AimAngles(s.Tail(upper) - s.Head(upper), kWaveElbow, rotations[size_t(clavicle)]);
    raised.angles[size_t(upper)] = raised.angles[size_t(upper)] + upperAim;
    PoseBones(s, raised, &rotations);
    const float tilt = kWaveTilt + kWaveSwing * waving;
    const Vector3 foreAim =
        AimAngles(s.Tail(fore) - s.Head(fore), {std::sin(tilt), -0.2f, std::cos(tilt)},
                  rotations[size_t(upper)]);
    pose->angles[size_t(upper)] = pose->angles[size_t(upper)] + Scaled(upperAim, raise);
    pose->angles[size_t(fore)] = pose->angles[size_t(fore)] + Scaled(foreAim, raise);
    pose->angles[size_t(hand)].x += -0.35f * raise;
    // The head turns to the viewer on the right; the body leans into the raised arm.
    pose->angles[size_t(s.Find("Bip01 Head"))].z += -0.3f * raise;
    pose->angles[size_t(s.Find("Bip01 Head"))].y += 0.08f * raise;
    pose->angles[size_t(s.Find("Bip01 Spine1"))].y += -0.05f * raise;
  });
}

}  // namespace yulo::assetgen::creatures
