// Every generated model file through the engine's own loaders, and the facts the scene
// relies on: names that resolve, bone counts that match, clips that loop and meet the
// cross-fade, and the layout of sleigh, team, globe and sky in the scene's space.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "assetgen/creatures.h"
#include "assetgen/models.h"
#include "base/shell_state.h"
#include "data_files.h"
#include "math/math.h"
#include "models/character.h"
#include "models/libraries.h"
#include "models/mesh.h"
#include "models/model.h"
#include "models/skin.h"
#include "render/renderer.h"
#include "render/trace/trace_device.h"
#include "resources/loaded_file.h"
#include "resources/texture_manager.h"

namespace yulo::assetgen {
namespace {

class GeneratedModels : public testing::Test {
 protected:
  void SetUp() override {
    BuildSqrtTable();
    SetDevice(&device_);
    ASSERT_TRUE(getcwd(previous_, sizeof previous_));
    ASSERT_EQ(chdir((test::ShareDir() + "/Data").c_str()), 0);
  }
  void TearDown() override {
    models.modelLibrary.Clear();
    models.meshLibrary.Clear();
    models.skinLibrary.Clear();
    models.animationLibrary.Clear();
    textureManager.ReleaseAll();
    while (LoadedFileCount() > 0) FreeFileByName(LoadedFileAt(0)->name);
    SetDevice(nullptr);
    EXPECT_EQ(chdir(previous_), 0);
  }

  TraceDevice device_;
  char previous_[4096] = {};
};

// m as the engine composes it: with a * b, b applies first.
Vector3 Place(const Vector3& p, const Matrix4& m) {
  return p.Transform(m);
}
float DotOf(const Vector3& a, const Vector3& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}

// Angle in degrees between two unit quaternions.
float AngleBetween(const Quaternion& a, const Quaternion& b) {
  const float d = std::fabs(a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w);
  return 2.0f * std::acos(std::min(d, 1.0f)) * 57.29578f;
}

// The scene's light travels along (1.4, 1.3, 1.0); a surface faces it when its engine
// normal points against that direction.
const Vector3 kTowardsLight =
    Vector3(-1.4f, -1.3f, -1.0f) * (1.0f / std::sqrt(1.96f + 1.69f + 1.0f));

TEST_F(GeneratedModels, EveryModelLoadsWithTexturesAndMeshes) {
  for (const char* name : {"sani.cgo", "sky.cgo", "earth.cgo"}) {
    Model* model = models.modelLibrary.GetOrLoad(name);
    ASSERT_NE(model, nullptr) << name;
    EXPECT_GT(model->meshCount, 0) << name;
    for (int i = 0; i < model->meshCount; ++i) {
      EXPECT_NE(model->textures[i], nullptr) << name << " texture " << i;
      EXPECT_GT(model->meshes[i]->faceCount, 0) << name << " mesh " << i;
      EXPECT_LE(model->meshes[i]->vertexCount, 65536) << name << " mesh " << i;
    }
  }
  EXPECT_GE(models.modelLibrary.GetOrLoad("sani.cgo")->meshCount, 4)
      << "the sleigh is several meshes";
}

TEST_F(GeneratedModels, SleighRunnersEndWhereTheTrailsStart) {
  Model* sleigh = models.modelLibrary.GetOrLoad("sani.cgo");
  // The scene turns the sleigh by 180 degrees: the trails start at (+-8.5, -61, 0).
  Matrix4 world;
  world.SetIdentity();
  world.SetRotationZ(180.0f);
  float rearmost = 0, lowest = 1e9f, highest = -1e9f;
  bool smooth = false, flat = false, placedByHeader = false;
  for (int i = 0; i < sleigh->meshCount; ++i) {
    const Mesh* mesh = sleigh->meshes[i];
    smooth |= mesh->smooth;
    flat |= !mesh->smooth;
    placedByHeader |= mesh->local.m[3][0] != 0.0f || mesh->local.m[3][1] != 0.0f;
    const Matrix4 m = world * mesh->local;
    for (const MeshVertex& v : mesh->vertices) {
      const Vector3 p = Place(v.position, m);
      rearmost = std::min(rearmost, p.y);
      lowest = std::min(lowest, p.z);
      highest = std::max(highest, p.z);
    }
  }
  EXPECT_TRUE(smooth && flat && placedByHeader);
  EXPECT_NEAR(rearmost, -61.0f, 1.5f);
  EXPECT_NEAR(lowest, 0.0f, 1.5f);
  EXPECT_GT(highest, 15.0f);
}

// The engine derives normals from the winding as (p2 - p0) x (p1 - p0) and its light
// travels upwards along (1.4, 1.3, 1.0). The data is wound so that those normals point
// into the solids: the side of every object that faces the moon is the lit one.
int InwardShare(const std::vector<Vector3>& points, const std::vector<Vector3>& normals) {
  Vector3 centre;
  for (const Vector3& p : points) centre += p * (1.0f / static_cast<float>(points.size()));
  int inward = 0;
  for (size_t i = 0; i < points.size(); ++i) inward += DotOf(normals[i], points[i] - centre) < 0;
  return inward * 100 / static_cast<int>(points.size());
}

TEST_F(GeneratedModels, LitSidesLookUpAtTheMoon) {
  const Mesh* sack = models.meshLibrary.GetOrLoad("sani_sack.msh_s");
  std::vector<Vector3> points, normals;
  const MeshVertex* top = &sack->vertices[0];
  for (const MeshVertex& v : sack->vertices) {
    if (v.position.z > 6.0f) continue;  // the sack itself, not its tied neck
    points.push_back(v.position);
    normals.push_back(v.normal);
    if (v.position.z > top->position.z) top = &v;
  }
  EXPECT_GT(InwardShare(points, normals), 80);
  EXPECT_GT(DotOf(top->normal, kTowardsLight), 0.2f) << "the top of the sack is in shadow";

  Character deer;
  ASSERT_TRUE(deer.Load("deer.chr"));
  deer.currentClip = models.animationLibrary.GetOrLoad("deer.anm");
  frameTiming.elapsedTime = 0.0f;
  deer.Update();
  EXPECT_GT(InwardShare(deer.skinnedPositions, deer.normals), 55) << "limbs and antlers blur this";
}

TEST_F(GeneratedModels, GlobeIsTheTreesGroundAndScrollsWithThem) {
  const Model* earth = models.modelLibrary.GetOrLoad("earth.cgo");
  const Mesh* mesh = earth->meshes[0];
  Matrix4 world;
  world.SetIdentity();
  world.Translate(0, 0, -93);
  world.SetScale(9, 9, 9);
  const Vector3 centre(0, 0, -40.0f - 2600.0f);
  float top = -1e9f;
  for (const MeshVertex& v : mesh->vertices) {
    const Vector3 p = Place(v.position, world * mesh->local);
    top = std::max(top, p.z);
    EXPECT_NEAR((p - centre).Length(), 2600.0f, 2.0f);
  }
  EXPECT_NEAR(top, -40.0f, 0.5f);
  // Along y near the top, v must fall by 0.37 for every 80 units (the trees' speed), so
  // that the picture slides with the trees when the scene scrolls v by -0.37 per second.
  const MeshVertex* best[2] = {nullptr, nullptr};
  for (const MeshVertex& v : mesh->vertices) {
    const Vector3 p = Place(v.position, world * mesh->local);
    if (std::fabs(p.x) > 1.0f || std::fabs(p.y) > 150.0f) continue;
    if (!best[0] || p.y < Place(best[0]->position, world * mesh->local).y) best[0] = &v;
    if (!best[1] || p.y > Place(best[1]->position, world * mesh->local).y) best[1] = &v;
  }
  ASSERT_TRUE(best[0] && best[1]);
  const float dy = Place(best[1]->position, world * mesh->local).y -
                   Place(best[0]->position, world * mesh->local).y;
  ASSERT_GT(dy, 50.0f);
  EXPECT_NEAR((best[1]->v - best[0]->v) / dy, -0.37f / 80.0f, 0.0002f);
}

TEST_F(GeneratedModels, SkyDomeStaysInsideTheFarPlane) {
  const Model* sky = models.modelLibrary.GetOrLoad("sky.cgo");
  const Mesh* mesh = sky->meshes[0];
  Matrix4 world;
  world.SetIdentity();
  world.Translate(0, 0, -300);
  world.SetScale(40, 40, 20);
  float farthest = 0, highest = -1e9f;
  for (const MeshVertex& v : mesh->vertices) {
    const Vector3 p = Place(v.position, world * mesh->local);
    farthest = std::max(farthest, p.Length());
    highest = std::max(highest, p.z);
  }
  // Every camera of the loop stays within 260 units of the origin.
  EXPECT_LT(farthest + 260.0f, 2500.0f);
  EXPECT_GT(highest, 300.0f) << "the dome must rise well above every camera";
}

TEST_F(GeneratedModels, SkinsAndClipsAgreeAndClipsLoop) {
  struct Pair {
    const char* skin;
    const char* clip;
  };
  for (const Pair& p : {Pair{"deer.chr", "deer.anm"}, Pair{"yulo.chr", "yulo.anm"},
                        Pair{"yulo.chr", "yulo_mah.anm"}}) {
    Character c;
    ASSERT_TRUE(c.Load(p.skin));
    ASSERT_NE(c.texture, nullptr) << p.skin;
    const AnimationClip* clip = models.animationLibrary.GetOrLoad(p.clip);
    ASSERT_EQ(clip->boneCount, c.skin->boneCount) << p.clip;
    EXPECT_GE(c.skin->boneCount, 15) << p.skin;
    EXPECT_EQ(std::string(c.skin->bones[0].name), "Bip01");
    // The step from the last frame back to the first is no bigger than the others.
    const int n = clip->frameCount;
    for (int b = 0; b < clip->boneCount; ++b) {
      float largest = 0;
      for (int f = 0; f + 1 < n; ++f) {
        largest = std::max(
            largest, AngleBetween(clip->rotations[b * n + f], clip->rotations[b * n + f + 1]));
      }
      EXPECT_LE(AngleBetween(clip->rotations[b * n + n - 1], clip->rotations[b * n]),
                largest * 1.5f + 0.5f)
          << p.clip << " bone " << b;
    }
    EXPECT_LE((clip->rootPositions[n - 1] - clip->rootPositions[0]).Length(), 1.0f) << p.clip;
  }
  EXPECT_EQ(models.animationLibrary.GetOrLoad("deer.anm")->duration,
            creatures::kGallopFrames * creatures::kGallopFrameMs);
  // The gesture fills the three-second shot it is played in.
  EXPECT_GE(models.animationLibrary.GetOrLoad("yulo_mah.anm")->duration, 3000 - 200);
}

// Both driver clips start from the same resting pose and hold the same root, so the
// 200 ms cross-fades between them never snap.
TEST_F(GeneratedModels, DriverClipsMeetInTheCrossFade) {
  const AnimationClip* base = models.animationLibrary.GetOrLoad("yulo.anm");
  const AnimationClip* gesture = models.animationLibrary.GetOrLoad("yulo_mah.anm");
  ASSERT_EQ(base->boneCount, gesture->boneCount);
  for (int b = 0; b < base->boneCount; ++b) {
    EXPECT_LT(AngleBetween(base->rotations[b * base->frameCount],
                           gesture->rotations[b * gesture->frameCount]),
              1.0f)
        << "bone " << b;
    const Quaternion& last = gesture->rotations[b * gesture->frameCount + gesture->frameCount - 1];
    for (int f = 0; f < base->frameCount; ++f) {
      EXPECT_LT(AngleBetween(base->rotations[b * base->frameCount + f], last), 12.0f)
          << "bone " << b;
    }
  }
  EXPECT_LT((base->rootPositions[0] - gesture->rootPositions[0]).Length(), 0.01f);
  // Somewhere in the gesture a bone really moves away from the resting pose.
  float widest = 0;
  for (int b = 0; b < gesture->boneCount; ++b) {
    for (int f = 0; f < gesture->frameCount; ++f) {
      widest = std::max(widest, AngleBetween(gesture->rotations[b * gesture->frameCount + f],
                                             base->rotations[b * base->frameCount]));
    }
  }
  EXPECT_GT(widest, 90.0f);
}

// Posed like the scene poses them, the reindeer stand where the sparkles are emitted and
// the driver sits in the sleigh.
TEST_F(GeneratedModels, TeamAndDriverStandWhereTheSceneExpectsThem) {
  Matrix4 sleigh;  // the scene's sleigh matrix without the rocking
  sleigh.SetIdentity();
  sleigh.SetRotationZ(180.0f);
  frameTiming.elapsedTime = 0.0f;
  Character deer;
  ASSERT_TRUE(deer.Load("deer.chr"));
  deer.currentClip = models.animationLibrary.GetOrLoad("deer.anm");
  Vector3 lo(1e9f, 1e9f, 1e9f), hi(-1e9f, -1e9f, -1e9f);
  for (int frame = 0; frame < creatures::kGallopFrames; ++frame) {
    frameTiming.elapsedTime = frame == 0 ? 0.0f : static_cast<float>(creatures::kGallopFrameMs);
    deer.Update();
    for (const Vector3& s : deer.skinnedPositions) {
      const Vector3 p = Place(s, sleigh * deer.pose);  // world, placement identity
      lo.Set(std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z));
      hi.Set(std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z));
    }
  }
  EXPECT_NEAR((lo.x + hi.x) * 0.5f, 9.2f, 1.5f);
  EXPECT_LT(hi.x - lo.x, 18.4f) << "side by side pairs would overlap";
  EXPECT_LT(hi.y - lo.y, 38.0f + 4.0f) << "the pairs stand 38 apart";
  EXPECT_LT(lo.y, 37.0f);
  EXPECT_GT(hi.y, 55.0f);
  EXPECT_NEAR(lo.z, 0.0f, 3.0f);

  Character driver;
  ASSERT_TRUE(driver.Load("yulo.chr"));
  driver.currentClip = models.animationLibrary.GetOrLoad("yulo.anm");
  frameTiming.elapsedTime = 0.0f;
  driver.Update();
  Vector3 dlo(1e9f, 1e9f, 1e9f), dhi(-1e9f, -1e9f, -1e9f);
  for (const Vector3& s : driver.skinnedPositions) {
    const Vector3 p = Place(s, sleigh * driver.pose);
    dlo.Set(std::min(dlo.x, p.x), std::min(dlo.y, p.y), std::min(dlo.z, p.z));
    dhi.Set(std::max(dhi.x, p.x), std::max(dhi.y, p.y), std::max(dhi.z, p.z));
  }
  // Inside the sleigh's body (world y -57..-15, x -7.5..7.5), feet on its floor.
  EXPECT_GT(dlo.y, -57.0f);
  EXPECT_LT(dhi.y, -15.0f);
  EXPECT_LT(std::max(-dlo.x, dhi.x), 7.5f);
  EXPECT_NEAR(dlo.z, 6.0f, 1.0f);
}

}  // namespace
}  // namespace yulo::assetgen
