// The figure builder: angles that survive the trip through the engine's conversion, aimed
// bones that point where asked, posing that agrees with the character runtime, faces that
// face outwards and weights that blend across joints.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "assetgen/creatures.h"
#include "assetgen/rig.h"
#include "math/quaternion.h"
#include "math/scalar.h"
#include "models/character.h"
#include "models/mesh_vertex.h"
#include "models/skin.h"

namespace yulo::assetgen::creatures {
namespace {

Matrix4 RotationOf(Vector3 angles) {
  Matrix4 m;
  QuaternionFromEuler(angles.x, angles.y, angles.z).ToMatrix(m);
  return m;
}

void ExpectNear(Vector3 a, Vector3 b, float tolerance) {
  EXPECT_NEAR(a.x, b.x, tolerance);
  EXPECT_NEAR(a.y, b.y, tolerance);
  EXPECT_NEAR(a.z, b.z, tolerance);
}

TEST(Rig, EulerAnglesComeBackFromTheEnginesRotation) {
  for (float x = -3.0f; x <= 3.0f; x += 0.75f) {
    for (float y = -1.5f; y <= 1.5f; y += 0.5f) {
      for (float z = -3.0f; z <= 3.0f; z += 0.75f) {
        SCOPED_TRACE(testing::Message() << x << " " << y << " " << z);
        ExpectNear(EulerFromMatrix(RotationOf({x, y, z})), {x, y, z}, 1e-3f);
      }
    }
  }
}

TEST(Rig, AimedBonePointsAtItsTargetUnderAnyParent) {
  const Vector3 rest{1.6f, -3.9f, -0.5f};
  const Vector3 parents[] = {{0, 0, 0}, {0.4f, 0.2f, -1.1f}, {-2.0f, 1.0f, 2.5f}};
  const Vector3 targets[] = {{0, 0, 1}, {-0.3f, -0.2f, 1.0f}, {1, 0, 0}, {-1.6f, 3.9f, 0.5f}};
  for (const Vector3& p : parents) {
    const Matrix4 parent = RotationOf(p);
    for (const Vector3& target : targets) {
      const Matrix4 local = RotationOf(AimAngles(rest, target, parent));
      // The runtime's composition: the bone's own turn first, then its parent's.
      const Vector3 direction = UnitOf(rest).Transform(parent * local);
      ExpectNear(direction, UnitOf(target), 1e-3f);
    }
  }
}

TEST(Rig, PosingAgreesWithTheCharacterRuntime) {
  // The generator places the reindeer's hooves and aims the driver's arm with its own
  // posing; a different composition order than the runtime's shows up here.
  BuildSqrtTable();
  const Skeleton skeleton = BuildDriverSkeleton();
  const SkinFileData skinFile = BuildDriverSkin(skeleton);
  const ClipFileData clipFile = BuildDriverWaveClip(skeleton);
  const int frames = static_cast<int>(clipFile.rootPositions.size());

  CharacterSkin skin;
  skin.boneCount = skeleton.count();
  skin.boneOffsets = skinFile.boneOffsets;
  skin.bones = skinFile.bones;
  AnimationClip clip;
  clip.boneCount = clipFile.boneCount;
  clip.frameCount = frames;
  clip.frameDuration = clipFile.frameDuration;
  clip.duration = frames * clipFile.frameDuration;
  clip.rootPositions = clipFile.rootPositions;
  for (const Vector3& a : clipFile.angles)
    clip.rotations.push_back(QuaternionFromEuler(a.x, a.y, a.z));

  Character character;
  character.skin = &skin;
  character.currentClip = &clip;
  character.bonePositions.resize(size_t(skin.boneCount));
  character.boneRotations.resize(size_t(skin.boneCount));
  for (int f = 0; f < frames; f += 7) {
    character.frameIndex = f;
    character.frameFraction = 0.0f;
    character.PoseBone(0, 0);
    ClipPose pose;
    pose.root = clip.rootPositions[size_t(f)];
    for (int b = 0; b < skin.boneCount; ++b) {
      pose.angles.push_back(clipFile.angles[size_t(b) * size_t(frames) + size_t(f)]);
    }
    const std::vector<Vector3> ours = PoseBones(skeleton, pose);
    for (int b = 0; b < skin.boneCount; ++b) {
      SCOPED_TRACE(testing::Message() << "frame " << f << ", " << skeleton.Name(b));
      ExpectNear(ours[size_t(b)], character.bonePositions[size_t(b)] + pose.root, 2e-3f);
    }
  }
}

TEST(Rig, PrimitivesFaceOutwardsAndBlendAcrossJoints) {
  Skeleton skeleton;
  const int root = skeleton.AddBone("Bip01", -1, {0, 0, 0});
  const int upper = skeleton.AddBone("Bip01 Upper", root, {0, 0, 10});
  const int lower = skeleton.AddBone("Bip01 Lower", upper, {0, 0, 20});
  skeleton.SetTail(lower, {0, 0, 30});
  SkinBuilder builder(skeleton);
  builder.UseBones({upper, lower});
  builder.Tube({{0, 0, 10}, {0, 0, 12}, {0, 0, 20}, {0, 0, 28}, {0, 0, 30}}, {2, 2, 2, 2, 2}, 8, {},
               {1, 0, 0});
  const int tubeVertices = builder.vertexCount();
  builder.UseBones({root});
  builder.Ellipsoid({5, 5, 5}, {0, 0, 3}, {2, 0, 0}, {0, 1, 0}, 10, 6, {});
  const SkinFileData skin = builder.ToSkinFile();

  // Every face, as stored, turns (p1 - p0) x (p2 - p0) away from the middle of its part.
  const auto modelPosition = [&](int v) {
    const SkinInfluence& in = skin.vertices[size_t(v)].influences[0];
    return in.position + skeleton.Head(in.bone);
  };
  for (size_t t = 0; t < skin.corners.size(); t += 3) {
    const Vector3 a = modelPosition(skin.corners[t]), b = modelPosition(skin.corners[t + 1]);
    const Vector3 c = modelPosition(skin.corners[t + 2]);
    const Vector3 centre = Scaled(a + b + c, 1.0f / 3.0f);
    const bool onTube = skin.corners[t] < tubeVertices;
    const Vector3 middle = onTube ? Vector3(0, 0, centre.z) : Vector3(5, 5, 5);
    EXPECT_GT(DotOf((b - a).Cross(c - a), centre - middle), 0.0f) << "face " << t / 3;
  }

  // Along the tube: mostly one bone mid-bone, an even split at the joint.
  const auto weightOf = [&](int v, int bone) {
    float w = 0.0f;
    for (const SkinInfluence& in : skin.vertices[size_t(v)].influences) {
      if (in.weight != 0.0f && in.bone == bone) w += in.weight;
    }
    return w;
  };
  for (int v = 0; v < tubeVertices; ++v) {
    const float z = modelPosition(v).z;
    if (std::fabs(z - 20.0f) < 0.01f) {
      EXPECT_NEAR(weightOf(v, upper), 0.5f, 0.01f);
    }
    if (std::fabs(z - 12.0f) < 0.5f) {
      EXPECT_GT(weightOf(v, upper), 0.9f);
    }
    if (std::fabs(z - 28.0f) < 0.5f) {
      EXPECT_GT(weightOf(v, lower), 0.9f);
    }
  }
}

}  // namespace
}  // namespace yulo::assetgen::creatures
