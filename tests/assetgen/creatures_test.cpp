// The generated reindeer and driver, loaded and played through the engine's own character
// runtime: files that load, skeletons that match their clips, poses that stay where the
// scene puts them, and clips that loop and cross-fade without a jump.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "assetgen/creatures.h"
#include "base/shell_state.h"
#include "data_files.h"
#include "math/scalar.h"
#include "models/character.h"
#include "models/libraries.h"
#include "models/skin.h"
#include "render/renderer.h"
#include "render/trace/trace_device.h"
#include "resources/loaded_file.h"
#include "resources/texture_manager.h"

namespace yulo::assetgen {
namespace {

using creatures::kReindeerX;
using creatures::kReindeerY;

class GeneratedCharacters : public testing::Test {
 protected:
  void SetUp() override {
    BuildSqrtTable();
    SetDevice(&device_);
    ASSERT_NE(::getcwd(previousDir_, sizeof(previousDir_)), nullptr);
    ASSERT_EQ(::chdir((test::ShareDir() + "/Data").c_str()), 0) << test::ShareDir();
    frameTiming.elapsedTime = 0.0f;
  }
  void TearDown() override {
    models.skinLibrary.Clear();
    models.animationLibrary.Clear();
    textureManager.ReleaseAll();
    while (LoadedFileCount() > 0) FreeFileByName(LoadedFileAt(0)->name);
    SetDevice(nullptr);
    frameTiming.elapsedTime = 0.0f;
    EXPECT_EQ(::chdir(previousDir_), 0);
  }

  // Model-space vertex positions of the character after one Update with step `dt`.
  static std::vector<Vector3> Step(Character& c, float dt) {
    frameTiming.elapsedTime = dt;
    c.Update();
    frameTiming.elapsedTime = 0.0f;
    std::vector<Vector3> out;
    for (const Vector3& p : c.skinnedPositions) out.push_back(p + c.rootPosition);
    return out;
  }
  // The pose of `clip` at `timeMs`, without a fade.
  static std::vector<Vector3> PoseAt(Character& c, AnimationClip* clip, float timeMs) {
    c.currentClip = clip;
    c.fading = false;
    c.clipTime = timeMs;
    return Step(c, 0.0f);
  }
  static int BoneIndex(const Character& c, const char* name) {
    for (int b = 0; b < c.skin->boneCount; ++b) {
      if (std::strcmp(c.skin->bones[size_t(b)].name, name) == 0) return b;
    }
    ADD_FAILURE() << "no bone " << name;
    return 0;
  }
  static Vector3 BoneAt(const Character& c, const char* name) {
    for (int b = 0; b < c.skin->boneCount; ++b) {
      if (std::strcmp(c.skin->bones[size_t(b)].name, name) == 0) {
        return c.bonePositions[size_t(b)] + c.rootPosition;
      }
    }
    ADD_FAILURE() << "no bone " << name;
    return {};
  }
  static float LargestMove(const std::vector<Vector3>& a, const std::vector<Vector3>& b) {
    float largest = 0.0f;
    for (size_t i = 0; i < a.size(); ++i) {
      const Vector3 d = a[i] - b[i];
      largest = std::max(largest, std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z));
    }
    return largest;
  }
  struct Box {
    Vector3 lo{1e9f, 1e9f, 1e9f}, hi{-1e9f, -1e9f, -1e9f};
  };
  static Box BoundsOf(const std::vector<Vector3>& points) {
    Box box;
    for (const Vector3& p : points) {
      box.lo = {std::min(box.lo.x, p.x), std::min(box.lo.y, p.y), std::min(box.lo.z, p.z)};
      box.hi = {std::max(box.hi.x, p.x), std::max(box.hi.y, p.y), std::max(box.hi.z, p.z)};
    }
    return box;
  }

  // Largest single-frame move of any vertex over consecutive frame starts, and the move
  // from the last frame back to the first (the loop's join).
  static void FrameSteps(Character& c, AnimationClip* clip, float* inside, float* join) {
    *inside = 0.0f;
    std::vector<Vector3> first = PoseAt(c, clip, 0.0f), previous = first;
    for (int f = 1; f < clip->frameCount; ++f) {
      const std::vector<Vector3> now =
          PoseAt(c, clip, static_cast<float>(f * clip->frameDuration) + 0.01f);
      *inside = std::max(*inside, LargestMove(previous, now));
      previous = now;
    }
    *join = LargestMove(previous, first);
  }

  TraceDevice device_;
  char previousDir_[4096] = {};
};

TEST_F(GeneratedCharacters, LoadThroughTheRuntimeWithMatchingSkeletonsAndClips) {
  Character deer, driver;
  ASSERT_TRUE(deer.Load("deer.chr"));
  ASSERT_TRUE(driver.Load("yulo.chr"));
  AnimationClip* gallop = models.animationLibrary.GetOrLoad("deer.anm");
  AnimationClip* base = models.animationLibrary.GetOrLoad("yulo.anm");
  AnimationClip* wave = models.animationLibrary.GetOrLoad("yulo_mah.anm");
  ASSERT_NE(deer.texture, nullptr);
  ASSERT_NE(driver.texture, nullptr);
  EXPECT_GT(deer.texture->width, 0u);
  EXPECT_GT(driver.texture->width, 0u);

  EXPECT_EQ(gallop->boneCount, deer.skin->boneCount);
  EXPECT_EQ(base->boneCount, driver.skin->boneCount);
  EXPECT_EQ(wave->boneCount, driver.skin->boneCount);
  for (const CharacterSkin* skin : {deer.skin, driver.skin}) {
    EXPECT_GE(skin->boneCount, 15) << skin->name;
    EXPECT_GT(skin->faceCount, 500) << skin->name;
    for (int b = 0; b < skin->boneCount; ++b) {
      EXPECT_EQ(std::strncmp(skin->bones[size_t(b)].name, "Bip01", 5), 0)
          << skin->bones[size_t(b)].name;
    }
  }
  // A stride of a galloping animal; a base loop long enough not to look mechanical; a
  // wave that fills the three seconds the camera looks at the driver.
  EXPECT_GE(gallop->duration, 400);
  EXPECT_LE(gallop->duration, 900);
  EXPECT_GE(base->duration, 3000);
  EXPECT_GE(wave->duration, 2500);
  EXPECT_LE(wave->duration, 3500);
}

TEST_F(GeneratedCharacters, SkinWeightsSumToOne) {
  // The runtime uses weights as stored: a vertex whose weights don't sum to one would be
  // pulled towards the model's origin as soon as its bones move.
  for (const char* name : {"deer.chr", "yulo.chr"}) {
    Character c;
    ASSERT_TRUE(c.Load(name));
    int bad = 0;
    for (const SkinVertex& v : c.skin->vertices) {
      float sum = 0.0f;
      for (const SkinInfluence& in : v.influences) sum += in.weight;
      if (std::fabs(sum - 1.0f) > 1e-4f) ++bad;
    }
    EXPECT_EQ(bad, 0) << name;
  }
}

TEST_F(GeneratedCharacters, ReindeerGallopsInItsPlaceOnTheGround) {
  Character deer;
  ASSERT_TRUE(deer.Load("deer.chr"));
  AnimationClip* gallop = models.animationLibrary.GetOrLoad("deer.anm");
  constexpr int kSamples = 40;
  int grounded = 0;
  const char* hooves[] = {"Bip01 L Hand", "Bip01 R Hand", "Bip01 L Foot", "Bip01 R Foot"};
  float hoofLow[4], hoofHigh[4];
  std::fill(hoofLow, hoofLow + 4, 1e9f);
  std::fill(hoofHigh, hoofHigh + 4, -1e9f);
  // The hooves: the vertices held by a lower leg bone alone.
  int hoofBones[4];
  for (int h = 0; h < 4; ++h) hoofBones[h] = BoneIndex(deer, hooves[h]);
  for (int i = 0; i < kSamples; ++i) {
    const float t = static_cast<float>(gallop->duration) * static_cast<float>(i) / kSamples;
    const std::vector<Vector3> points = PoseAt(deer, gallop, t);
    const Box box = BoundsOf(points);
    SCOPED_TRACE(testing::Message() << "at " << t << " ms");
    // Within its lane: the neighbour stands 18.4 to the side, the next pair 38 ahead.
    EXPECT_GT(box.lo.x, kReindeerX - 9.0f);
    EXPECT_LT(box.hi.x, kReindeerX + 9.0f);
    EXPECT_GT(box.lo.y, kReindeerY - 19.0f);
    EXPECT_LT(box.hi.y, kReindeerY + 19.0f);
    // Hooves never sink into the ground; all four leave it only briefly and not far.
    EXPECT_GT(box.lo.z, -0.5f);
    EXPECT_LT(box.lo.z, 2.5f);
    if (box.lo.z < 0.3f) ++grounded;
    EXPECT_GT(box.hi.z, 28.0f);  // antlers up
    EXPECT_LT(box.hi.z, 45.0f);
    // Facing the direction of travel: the head leads (-y here, +y after the sleigh's turn).
    EXPECT_LT(BoneAt(deer, "Bip01 Head").y, BoneAt(deer, "Bip01 Pelvis").y - 15.0f);
    for (int h = 0; h < 4; ++h) {
      float z = 1e9f;
      for (size_t v = 0; v < points.size(); ++v) {
        const SkinInfluence& in = deer.skin->vertices[v].influences[0];
        if (in.bone == hoofBones[h] && in.weight == 1.0f) z = std::min(z, points[v].z);
      }
      ASSERT_LT(z, 1e8f) << hooves[h] << " holds no hoof";
      hoofLow[h] = std::min(hoofLow[h], z);
      hoofHigh[h] = std::max(hoofHigh[h], z);
    }
  }
  EXPECT_GE(grounded, kSamples * 3 / 4);
  for (int h = 0; h < 4; ++h) {
    EXPECT_LT(hoofLow[h], 0.5f) << hooves[h] << " never touches the ground";
    EXPECT_GT(hoofHigh[h] - hoofLow[h], 2.0f) << hooves[h] << " never lifts";
  }
}

TEST_F(GeneratedCharacters, EveryClipJoinsItsEndToItsStart) {
  Character deer, driver;
  ASSERT_TRUE(deer.Load("deer.chr"));
  ASSERT_TRUE(driver.Load("yulo.chr"));
  struct Case {
    Character* character;
    const char* clip;
  } cases[] = {{&deer, "deer.anm"}, {&driver, "yulo.anm"}, {&driver, "yulo_mah.anm"}};
  for (const Case& c : cases) {
    float inside = 0.0f, join = 0.0f;
    FrameSteps(*c.character, models.animationLibrary.GetOrLoad(c.clip), &inside, &join);
    EXPECT_GT(inside, 0.0f) << c.clip << " does not move";
    // The last frame blends into the first like any other pair of neighbours.
    EXPECT_LE(join, 1.25f * inside + 0.01f) << c.clip;
  }
}

TEST_F(GeneratedCharacters, DriverSitsOnTheSeatHoldingTheReins) {
  Character driver;
  ASSERT_TRUE(driver.Load("yulo.chr"));
  AnimationClip* base = models.animationLibrary.GetOrLoad("yulo.anm");
  for (int i = 0; i < 8; ++i) {
    const float t = static_cast<float>(base->duration) * static_cast<float>(i) / 8.0f;
    const Box box = BoundsOf(PoseAt(driver, base, t));
    SCOPED_TRACE(testing::Message() << "at " << t << " ms");
    EXPECT_GT(box.lo.z, creatures::kFloorZ - 0.3f);  // boots on the floor, not through it
    EXPECT_LT(box.lo.z, creatures::kFloorZ + 0.8f);
    EXPECT_GT(box.lo.x, -7.0f);  // inside the sleigh's walls
    EXPECT_LT(box.hi.x, 7.0f);
    EXPECT_GT(box.hi.z, 28.0f);  // hat above the dash
    // The reins leave the sleigh's front from about (+-2, 19, 16).
    for (const char* hand : {"Bip01 L Hand", "Bip01 R Hand"}) {
      const Vector3 p = BoneAt(driver, hand);
      EXPECT_NEAR(std::fabs(p.x), 2.3f, 1.0f) << hand;
      EXPECT_NEAR(p.y, 20.5f, 1.5f) << hand;
      EXPECT_NEAR(p.z, 16.2f, 1.5f) << hand;
    }
  }
}

TEST_F(GeneratedCharacters, DriverWavesAndCrossFadesWithoutAJump) {
  Character driver;
  ASSERT_TRUE(driver.Load("yulo.chr"));
  AnimationClip* base = models.animationLibrary.GetOrLoad("yulo.anm");
  AnimationClip* wave = models.animationLibrary.GetOrLoad("yulo_mah.anm");

  // Both clips start from the same pose, so a fade into either begins where it should.
  EXPECT_LT(LargestMove(PoseAt(driver, base, 0.0f), PoseAt(driver, wave, 0.0f)), 0.3f);
  // Half way through the wave the left hand is up beside the head.
  PoseAt(driver, wave, 0.5f * static_cast<float>(wave->duration));
  EXPECT_GT(BoneAt(driver, "Bip01 L Hand").z, BoneAt(driver, "Bip01 Head").z);
  EXPECT_GT(BoneAt(driver, "Bip01 L Hand").x, BoneAt(driver, "Bip01 Head").x + 2.0f);

  // The camera's switches: base for a while, the wave for three seconds, back to base,
  // at 16 ms a frame. No vertex may leap between two frames.
  driver.currentClip = base;
  driver.clipTime = 0.0f;
  std::vector<Vector3> previous = Step(driver, 0.0f);
  float largest = 0.0f;
  for (int frame = 1; frame < 500; ++frame) {
    if (frame == 120) driver.CrossFadeTo(wave);
    if (frame == 120 + 188) driver.CrossFadeTo(base);
    const std::vector<Vector3> now = Step(driver, 16.0f);
    largest = std::max(largest, LargestMove(previous, now));
    previous = now;
  }
  EXPECT_LT(largest, 1.2f);
}

}  // namespace
}  // namespace yulo::assetgen
