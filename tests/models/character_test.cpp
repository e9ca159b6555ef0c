#include "models/character.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "base/shell_state.h"
#include "model_fixture.h"
#include "models/frame_matrices.h"
#include "models/libraries.h"
#include "models/mesh_vertex.h"
#include "models/skin.h"
#include "render/texture.h"
#include "sample_files.h"

namespace yulo {
namespace {

using test::ChainClip;
using test::ChainSkin;

// A clip for the chain that holds bone 1 turned by `angle` about z on every frame.
ClipFileData BentClip(int32_t frames, float angle) {
  ClipFileData c = ChainClip(frames, 100);
  for (Vector3& a : c.angles) a = Vector3();
  for (int32_t f = 0; f < frames; ++f) {
    c.angles[size_t(frames + f)].z = angle;
    c.rootPositions[size_t(f)] = {0, 0, 10};
  }
  return c;
}

void ExpectNear(const Vector3& a, const Vector3& b, float tolerance = 1e-4f) {
  EXPECT_NEAR(a.x, b.x, tolerance);
  EXPECT_NEAR(a.y, b.y, tolerance);
  EXPECT_NEAR(a.z, b.z, tolerance);
}

class CharacterPlayback : public test::ModelFilesTest {
 protected:
  void SetUp() override {
    ModelFilesTest::SetUp();
    Write("chain.skn", EncodeSkinFile(ChainSkin()));
    WriteTga("deer.tga");
    Write("deer.chr", EncodeCharacterFile("chain.skn", "deer.tga"));
    Write("walk.anm", EncodeClipFile(ChainClip(30, 33)));
    Write("bent.anm", EncodeClipFile(BentClip(4, 1.5707964f)));
    frameTiming.elapsedTime = 0.0f;
  }
  void TearDown() override {
    frameTiming.elapsedTime = 0.0f;
    frameMatrices.sleighMatrix.SetIdentity();
    ModelFilesTest::TearDown();
  }
  // Runs one Update with the given time step.
  static void Step(Character& c, float ms) {
    frameTiming.elapsedTime = ms;
    c.Update();
  }
};

// >>section loading
TEST_F(CharacterPlayback, CharactersOfOneFileShareTheSkin) {
  Character a;
  Character b;
  ASSERT_TRUE(a.Load("deer.chr"));
  ASSERT_TRUE(b.Load("deer.chr"));
  EXPECT_EQ(a.skin, b.skin);
  EXPECT_EQ(a.texture, b.texture);
  EXPECT_NE(a.vertexBuffer, b.vertexBuffer);
  EXPECT_EQ(models.skinLibrary.count, 1);
  EXPECT_EQ(Records(TraceKind::CreateIndexBuffer).size(), 1u);
  EXPECT_EQ(Records(TraceKind::CreateVertexBuffer).size(), 2u);
}

TEST_F(CharacterPlayback, SkinSplitsByCoordinateAndFlipsV) {
  Character c;
  c.Load("deer.chr");
  const CharacterSkin& s = *c.skin;
  // Skin vertex 0 meets (0, 0) and (0, 0.25): two render vertices, numbered together.
  EXPECT_EQ(s.renderVertexCount, 5);
  EXPECT_EQ(s.renderToSkin, (std::vector<int32_t>{0, 0, 1, 2, 3}));
  EXPECT_EQ(s.renderIndices, (std::vector<int32_t>{0, 2, 3, 1, 3, 4}));
  EXPECT_FLOAT_EQ(s.renderTexCoords[1].y, 0.75f);
  EXPECT_FLOAT_EQ(s.renderTexCoords[2].y, 0.0f);
  const auto* vb = static_cast<const TraceVertexBuffer*>(c.vertexBuffer);
  ASSERT_EQ(vb->Length(), 5u * 32u);
  MeshVertex v;
  std::memcpy(&v, vb->Bytes().data() + 32, sizeof(v));
  EXPECT_FLOAT_EQ(v.u, 0.0f);
  EXPECT_FLOAT_EQ(v.v, 0.75f);
  const auto* ib = static_cast<const TraceIndexBuffer*>(s.indexBuffer);
  EXPECT_EQ(ib->IndexFormat(), D3DFMT_INDEX16);
  EXPECT_EQ(ib->IndexAt(5), 4u);
}

TEST_F(CharacterPlayback, ClipLengthAndBoneMajorAngles) {
  ClipFileData d;
  d.boneCount = 2;
  d.frameDuration = 33;
  d.rootPositions.resize(3);
  for (int i = 0; i < 6; ++i) d.angles.push_back({0.1f * float(i), 0, 0});
  Write("two.anm", EncodeClipFile(d));
  const AnimationClip* clip = models.animationLibrary.GetOrLoad("two.anm");
  EXPECT_EQ(clip->duration, 99);
  // Bone 1 at frame 0 is the fourth triple.
  const Quaternion expected = QuaternionFromEuler(0.3f, 0, 0);
  EXPECT_FLOAT_EQ(clip->rotations[3].x, expected.x);
  EXPECT_FLOAT_EQ(clip->rotations[3].w, expected.w);
  EXPECT_EQ(models.animationLibrary.GetOrLoad("two.anm"), clip);

  Write("long.anm", EncodeClipFile(ChainClip(60, 33)));
  EXPECT_EQ(models.animationLibrary.GetOrLoad("long.anm")->duration, 1980);
}

// >>section clocks
TEST_F(CharacterPlayback, ClipClockWrapsInsideTheClip) {
  Character c;
  c.Load("deer.chr");
  c.currentClip = models.animationLibrary.GetOrLoad("walk.anm");  // 30 frames of 33 ms: 990
  c.clipTime = 980.0f;
  Step(c, 20.0f);
  EXPECT_FLOAT_EQ(c.clipTime, 10.0f);
  EXPECT_EQ(c.frameIndex, 0);
  EXPECT_FLOAT_EQ(c.frameFraction, 10.0f / 33.0f);
  // A step of many clip lengths (a suspended machine waking up) still lands inside.
  Step(c, 990.0f * 1000.0f + 45.0f);
  EXPECT_NEAR(c.clipTime, 55.0f, 0.01f);
  EXPECT_EQ(c.frameIndex, 1);
  Step(c, 1.0e9f);
  EXPECT_GE(c.clipTime, 0.0f);
  EXPECT_LT(c.clipTime, 990.0f);
  EXPECT_LT(c.frameIndex, 30);
}

TEST_F(CharacterPlayback, LastFrameBlendsTowardsFrameZero) {
  Write("four.anm", EncodeClipFile(ChainClip(4, 100)));
  Character c;
  c.Load("deer.chr");
  c.currentClip = models.animationLibrary.GetOrLoad("four.anm");
  Step(c, 350.0f);
  EXPECT_EQ(c.frameIndex, 3);
  EXPECT_FLOAT_EQ(c.frameFraction, 0.5f);
  ExpectNear(c.rootPosition, {1.5f, 0, 0});  // halfway from x = 3 back to x = 0
  EXPECT_FLOAT_EQ(c.pose.m[3][0], c.rootPosition.x);
  // Root: 0.3 rad at frame 3, 0 at frame 0; bone 1: 0.6 and 0. Halfway, summed down the
  // chain: bone 1 is turned 0.15 + 0.3 about z in model space.
  EXPECT_NEAR(c.boneRotations[0].m[0][0], std::cos(0.15f), 1e-4f);
  EXPECT_NEAR(c.boneRotations[1].m[0][0], std::cos(0.45f), 1e-4f);
  EXPECT_NEAR(c.boneRotations[1].m[0][1], std::sin(0.45f), 1e-4f);
}

TEST_F(CharacterPlayback, ZeroStepKeepsThePoseAndUploadsAgain) {
  Character c;
  c.Load("deer.chr");
  c.currentClip = models.animationLibrary.GetOrLoad("walk.anm");
  Step(c, 100.0f);
  const std::vector<Vector3> before = c.skinnedPositions;
  const auto* vb = static_cast<const TraceVertexBuffer*>(c.vertexBuffer);
  const std::vector<uint8_t> bytes = vb->Bytes();
  const size_t locks = Records(TraceKind::Lock).size();
  Step(c, 0.0f);
  EXPECT_EQ(0, std::memcmp(before.data(), c.skinnedPositions.data(), before.size() * 12));
  EXPECT_EQ(vb->Bytes(), bytes);
  EXPECT_EQ(Records(TraceKind::Lock).size(), locks + 1);
}

// >>section posing and skinning
TEST_F(CharacterPlayback, SkinFollowsTheBones) {
  Character c;
  c.Load("deer.chr");
  c.currentClip = models.animationLibrary.GetOrLoad("bent.anm");
  Step(c, 0.0f);
  // Bone 1 sits at (0, 1, 0) turned a quarter about z; bone 2 hangs off it at (-1, 1, 0).
  ExpectNear(c.bonePositions[1], {0, 1, 0});
  ExpectNear(c.bonePositions[2], {-1, 1, 0});
  ExpectNear(c.skinnedPositions[0], {1, 0, 0});
  ExpectNear(c.skinnedPositions[1], {0, 2, 0});
  ExpectNear(c.skinnedPositions[2], {-1, 1, 1});
  ExpectNear(c.skinnedPositions[3], {-0.5f, 1, 0});  // half and half; the 0 weight ignored
  ExpectNear(c.rootPosition, {0, 0, 10});
  // Every render vertex carries its skin vertex's position and normal; u, v untouched.
  const auto* vb = static_cast<const TraceVertexBuffer*>(c.vertexBuffer);
  for (int32_t r = 0; r < c.renderVertexCount; ++r) {
    MeshVertex v;
    std::memcpy(&v, vb->Bytes().data() + 32 * size_t(r), sizeof(v));
    const size_t s = size_t(c.skin->renderToSkin[size_t(r)]);
    EXPECT_EQ(0, std::memcmp(&v.position, &c.skinnedPositions[s], 12)) << r;
    EXPECT_EQ(0, std::memcmp(&v.normal, &c.normals[s], 12)) << r;
    EXPECT_FLOAT_EQ(v.v, c.skin->renderTexCoords[size_t(r)].y) << r;
  }
}

// Quarter turns about two axes do not commute: a bone takes its own turn first, then its
// parent's. Each turn alone comes from a clip that poses only that bone.
TEST_F(CharacterPlayback, ABoneTakesItsOwnTurnBeforeItsParents) {
  auto posed = [&](const char* name, Vector3 root, Vector3 spine) {
    ClipFileData clip = ChainClip(1, 100);
    clip.angles = {root, spine, Vector3()};
    Write(name, EncodeClipFile(clip));
    auto c = std::make_unique<Character>();
    c->Load("deer.chr");
    c->currentClip = models.animationLibrary.GetOrLoad(name);
    Step(*c, 0.0f);
    return c;
  };
  const float quarter = 1.5707964f;
  const auto rootOnly = posed("y.anm", {0, quarter, 0}, {});
  const auto spineOnly = posed("x.anm", {}, {quarter, 0, 0});
  const auto both = posed("yx.anm", {0, quarter, 0}, {quarter, 0, 0});
  const Matrix4& ry = rootOnly->boneRotations[0];
  const Matrix4& rx = spineOnly->boneRotations[1];
  const Vector3 up{0, 1, 0};
  const Vector3 spine = up.Transform(ry);
  ExpectNear(both->bonePositions[1], spine);
  ExpectNear(both->bonePositions[2], up.Transform(rx).Transform(ry) + spine);
  // Vertex 2 sits at (0, 0, 1) in bone 2, which has no turn of its own.
  ExpectNear(both->skinnedPositions[2],
             Vector3{0, 0, 1}.Transform(rx).Transform(ry) + both->bonePositions[2]);
}

TEST_F(CharacterPlayback, NormalsAverageTheTrianglesAtEachVertex) {
  Character c;
  c.Load("deer.chr");
  c.currentClip = models.animationLibrary.GetOrLoad("bent.anm");
  Step(c, 0.0f);
  const std::vector<Vector3>& s = c.skinnedPositions;
  auto face = [&](int a, int b, int d) {
    Vector3 n = (s[size_t(d)] - s[size_t(a)]).Cross(s[size_t(b)] - s[size_t(a)]);
    return n * (1.0f / std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z));
  };
  const Vector3 n0 = face(0, 1, 2);
  const Vector3 n1 = face(0, 2, 3);
  ExpectNear(c.normals[1], n0, 1e-3f);  // only in the first triangle
  ExpectNear(c.normals[3], n1, 1e-3f);  // only in the second
  Vector3 both = n0 + n1;
  both = both * (1.0f / std::sqrt(both.x * both.x + both.y * both.y + both.z * both.z));
  ExpectNear(c.normals[0], both, 1e-3f);
  ExpectNear(c.normals[2], both, 1e-3f);
}

TEST_F(CharacterPlayback, TwoCharactersHalfACycleApart) {
  Character early;
  Character late;
  early.Load("deer.chr");
  late.Load("deer.chr");
  AnimationClip* walk = models.animationLibrary.GetOrLoad("walk.anm");
  early.currentClip = walk;
  late.currentClip = walk;
  late.clipTime = float(walk->duration / 2);
  for (int i = 0; i < 3; ++i) Step(late, 17.0f);
  Step(early, float(walk->duration / 2) + 51.0f);
  EXPECT_EQ(early.frameIndex, late.frameIndex);
  EXPECT_FLOAT_EQ(early.frameFraction, late.frameFraction);
  for (size_t v = 0; v < early.skinnedPositions.size(); ++v) {
    ExpectNear(early.skinnedPositions[v], late.skinnedPositions[v]);
  }
}

// >>section cross-fade
TEST_F(CharacterPlayback, CrossFadeRunsTwoHundredMillisecondsPlusOneFrame) {
  Character c;
  c.Load("deer.chr");
  AnimationClip* walk = models.animationLibrary.GetOrLoad("walk.anm");
  AnimationClip* bent = models.animationLibrary.GetOrLoad("bent.anm");
  c.currentClip = walk;
  Step(c, 30.0f);
  c.CrossFadeTo(bent);
  EXPECT_TRUE(c.fading);
  EXPECT_EQ(c.fadeTime, 0.0f);
  for (int i = 1; i <= 6; ++i) {
    Step(c, 30.0f);
    EXPECT_EQ(c.currentClip, walk) << i;
    EXPECT_FLOAT_EQ(c.fadeWeight, 30.0f * float(i) / 200.0f) << i;
    EXPECT_FLOAT_EQ(c.clipTime, 30.0f * float(i + 1)) << i;  // the old clip plays on
  }
  // fadeTime reaches 210 here: still blending, 5 % past the new clip's first frame.
  Step(c, 30.0f);
  EXPECT_TRUE(c.fading);
  EXPECT_FLOAT_EQ(c.fadeTime, 210.0f);
  EXPECT_FLOAT_EQ(c.fadeWeight, 1.05f);
  const size_t f = size_t(c.frameIndex);
  const Vector3 own = walk->rootPositions[f].Lerp(walk->rootPositions[f + 1], c.frameFraction);
  ExpectNear(c.rootPosition, own.Lerp(bent->rootPositions[0], 1.05f));
  // The next Update switches, starting the new clip at the 10 ms overshoot.
  Step(c, 30.0f);
  EXPECT_FALSE(c.fading);
  EXPECT_EQ(c.currentClip, bent);
  EXPECT_FLOAT_EQ(c.clipTime, 40.0f);
  ExpectNear(c.bonePositions[2], {-1, 1, 0});
}

TEST_F(CharacterPlayback, CrossFadeBlendsPoseAndRootHalfway) {
  Character c;
  c.Load("deer.chr");
  c.currentClip = models.animationLibrary.GetOrLoad("bent.anm");
  Write("still.anm", EncodeClipFile(BentClip(4, 0.0f)));
  Step(c, 0.0f);
  c.CrossFadeTo(models.animationLibrary.GetOrLoad("still.anm"));
  Step(c, 100.0f);
  EXPECT_FLOAT_EQ(c.fadeWeight, 0.5f);
  // Bone 1 halfway between a quarter turn and none: an eighth of a turn.
  EXPECT_NEAR(c.boneRotations[1].m[0][0], std::cos(0.7853982f), 1e-4f);
  // A new request during the fade restarts it towards the newer clip.
  AnimationClip* walk = models.animationLibrary.GetOrLoad("walk.anm");
  c.CrossFadeTo(walk);
  EXPECT_EQ(c.nextClip, walk);
  EXPECT_EQ(c.fadeTime, 0.0f);
  // A step past the fade's end carries the blend over one; a step past twice the fade (a
  // machine waking up) lands on the new clip instead of extrapolating far past it.
  Step(c, 250.0f);
  EXPECT_FLOAT_EQ(c.fadeWeight, 1.25f);
  c.CrossFadeTo(walk);
  Step(c, 5000.0f);
  EXPECT_FLOAT_EQ(c.fadeWeight, 1.0f);
  ExpectNear(c.rootPosition, walk->rootPositions[0]);
}

// >>section drawing
TEST_F(CharacterPlayback, RenderDrawsThePoseAtItsPlacementOnTheSleigh) {
  Character c;
  c.Load("deer.chr");
  c.currentClip = models.animationLibrary.GetOrLoad("bent.anm");  // root at (0, 0, 10)
  Step(c, 0.0f);
  // The sleigh turns x onto y and y onto -x, then moves by (100, 0, 0).
  frameMatrices.sleighMatrix.SetIdentity();
  frameMatrices.sleighMatrix.m[0][0] = 0;
  frameMatrices.sleighMatrix.m[0][1] = 1;
  frameMatrices.sleighMatrix.m[1][0] = -1;
  frameMatrices.sleighMatrix.m[1][1] = 0;
  frameMatrices.sleighMatrix.m[3][0] = 100;
  device.ClearRecords();
  c.placement.Translate(0, 5, 0);
  c.Render();
  c.placement.SetIdentity();
  c.Render();
  const auto& r = device.Records();
  ASSERT_EQ(r.size(), 12u);
  EXPECT_EQ(r[0].kind, TraceKind::SetTransform);
  ExpectNear({r[0].matrix.m[3][0], r[0].matrix.m[3][1], r[0].matrix.m[3][2]}, {95, 0, 10});
  EXPECT_EQ(r[1].kind, TraceKind::SetTexture);
  EXPECT_EQ(r[1].object, c.texture->texture);
  EXPECT_EQ(r[2].kind, TraceKind::SetStreamSource);
  EXPECT_EQ(r[2].object, c.vertexBuffer);
  EXPECT_EQ(r[2].value, 32u);
  EXPECT_EQ(r[3].value, 0x112u);
  EXPECT_EQ(r[4].kind, TraceKind::SetIndices);
  EXPECT_EQ(r[4].object, c.skin->indexBuffer);
  EXPECT_EQ(r[5].kind, TraceKind::DrawIndexedPrimitive);
  EXPECT_EQ(r[5].numVertices, 5u);
  EXPECT_EQ(r[5].count, 2u);
  ExpectNear({r[6].matrix.m[3][0], r[6].matrix.m[3][1], r[6].matrix.m[3][2]}, {100, 0, 10});
  EXPECT_EQ(r[11].kind, TraceKind::DrawIndexedPrimitive);
  EXPECT_EQ(Records(TraceKind::Lock).size(), 0u);  // drawing twice skins once
}

// >>section bad files
using CharacterValidity = CharacterPlayback;  // bad input: the fatal path

TEST_F(CharacterValidity, BadFilesAndMismatchedClipsTakeTheFatalPath) {
  SkinFileData skin = ChainSkin();
  skin.bones[0].children[0] = 7;
  Write("bad.skn", EncodeSkinFile(skin));
  Write("bad.chr", EncodeCharacterFile("bad.skn", "deer.tga"));
  Character c;
  EXPECT_EXIT(c.Load("bad.chr"), ::testing::ExitedWithCode(1),
              "Can't load bad\\.skn\\.\\.\\.\nbone 0 child 0 is bone 7, outside 1..2");
  Write("noskin.chr", EncodeCharacterFile("none.skn", "deer.tga"));
  EXPECT_EXIT(c.Load("noskin.chr"), ::testing::ExitedWithCode(1), "Can't load none.skn");
  Write("empty.chr", std::vector<uint8_t>(10, 0));
  EXPECT_EXIT(c.Load("empty.chr"), ::testing::ExitedWithCode(1),
              "Can't load empty\\.chr\\.\\.\\.\nfile ends inside the skin name");
  std::vector<uint8_t> clip = EncodeClipFile(ChainClip(3, 33));
  clip.resize(clip.size() - 4);
  Write("cut.anm", clip);
  EXPECT_EXIT(models.animationLibrary.GetOrLoad("cut.anm"), ::testing::ExitedWithCode(1),
              "Can't load cut\\.anm\\.\\.\\.\nfile ends inside the bone angles");

  ClipFileData small = ChainClip(3, 33);
  small.boneCount = 2;
  small.angles.resize(6);
  Write("small.anm", EncodeClipFile(small));
  c.Load("deer.chr");
  c.currentClip = models.animationLibrary.GetOrLoad("small.anm");
  EXPECT_EXIT(c.Update(), ::testing::ExitedWithCode(1),
              "Can't play small.anm on chain.skn: the clip animates 2 bones, the skin has 3");
}

}  // namespace
}  // namespace yulo
