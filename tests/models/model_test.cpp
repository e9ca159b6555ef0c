#include "models/model.h"
#include "models/libraries.h"

#include <gtest/gtest.h>

#include "model_fixture.h"
#include "models/mesh.h"
#include "render/renderer.h"
#include "sample_files.h"

namespace yulo {
namespace {

using test::QuadMesh;

class ModelLoading : public test::ModelFilesTest {
 protected:
  void SetUp() override {
    ModelFilesTest::SetUp();
    MeshFileData moved = QuadMesh(true);
    moved.translation = {0, 0, 5};
    Write("quad.msh_s", EncodeMeshFile(QuadMesh(true)));
    Write("moved.msh_s", EncodeMeshFile(moved));
    WriteTga("snow.tga");
    WriteBmp("wood.bmp");
  }
};

TEST_F(ModelLoading, DescriptionKeysAreReadInOrder) {
  ModelDescription d;
  d.parts = {{"quad.msh_s", "snow.tga"}, {"moved.msh_s", "wood.bmp"}, {"quad.msh_s", "wood.bmp"}};
  ModelDescription::Bound circle;
  circle.name = "seat";
  circle.isCircle = true;
  circle.centre = {1, 2, 3};
  circle.radius = 4.5f;
  ModelDescription::Bound box;
  box.name = "a bound name that is too long";
  box.centre = {-1, 0, 0};
  box.extent1 = 2;
  box.extent2 = 3;
  d.bounds = {circle, box};
  Write("sleigh.cgo", EncodeModelDescription(d));

  const Model* m = models.modelLibrary.GetOrLoad("sleigh.cgo");
  ASSERT_EQ(m->meshCount, 3);
  EXPECT_STREQ(m->meshes[0]->name, "quad.msh_s");
  EXPECT_STREQ(m->meshes[1]->name, "moved.msh_s");
  EXPECT_EQ(m->meshes[2], m->meshes[0]);  // one file, one shared mesh
  EXPECT_EQ(models.meshLibrary.count, 2);
  EXPECT_TRUE(m->textures[0]->alphaTest);
  EXPECT_FALSE(m->textures[1]->alphaTest);
  EXPECT_EQ(m->textures[2], m->textures[1]);
  ASSERT_EQ(m->boundCount, 2);
  EXPECT_STREQ(m->bounds[0].name, "seat");
  EXPECT_TRUE(m->bounds[0].isCircle);
  EXPECT_FLOAT_EQ(m->bounds[0].centre.z, 3.0f);
  EXPECT_FLOAT_EQ(m->bounds[0].radius, 4.5f);
  EXPECT_STREQ(m->bounds[1].name, "a bound name th");  // cut to 15 characters
  EXPECT_FALSE(m->bounds[1].isCircle);
  EXPECT_FLOAT_EQ(m->bounds[1].extent1, 2.0f);
  EXPECT_FLOAT_EQ(m->bounds[1].extent2, 3.0f);
  EXPECT_FLOAT_EQ(m->bounds[1].radius, 0.0f);
}

TEST_F(ModelLoading, AbsentKeysReadAsZero) {
  Write("empty.cgo", std::string("comment=nothing here\r\n"));
  Model* m = models.modelLibrary.GetOrLoad("empty.cgo");
  EXPECT_EQ(m->meshCount, 0);
  EXPECT_EQ(m->boundCount, 0);
  device.ClearRecords();
  m->Render();
  EXPECT_TRUE(device.Records().empty());
  // A bound whose keys are missing is all zero; the last line needs no line break.
  Write("bare.cgo", std::string("numbounds=1"));
  const Model* bare = models.modelLibrary.GetOrLoad("bare.cgo");
  ASSERT_EQ(bare->boundCount, 1);
  EXPECT_STREQ(bare->bounds[0].name, "");
  EXPECT_FLOAT_EQ(bare->bounds[0].extent1, 0.0f);
  // The file's final line feed is not part of the text, so it is not part of the last value.
  Write("lf.cgo", std::string("nummeshes=1\r\nmesh0=quad.msh_s\r\ntexture0=wood.bmp\n"));
  EXPECT_STREQ(models.modelLibrary.GetOrLoad("lf.cgo")->textures[0]->name, "wood.bmp");
}

TEST_F(ModelLoading, LibraryReturnsTheSameModelForTheSameName) {
  Write("sky.cgo", std::string("nummeshes=1\r\nmesh0=quad.msh_s\r\ntexture0=wood.bmp\r\n"));
  Model* a = models.modelLibrary.GetOrLoad("sky.cgo");
  EXPECT_EQ(models.modelLibrary.GetOrLoad("sky.cgo"), a);
  EXPECT_EQ(models.modelLibrary.count, 1);
  EXPECT_EQ(Records(TraceKind::CreateTexture).size(), 1u);
}

TEST_F(ModelLoading, RenderPlacesEachMeshAndSetsAlphaStatesForTga) {
  Write("two.cgo", std::string("nummeshes=2\r\nmesh0=moved.msh_s\r\ntexture0=snow.tga\r\n"
                               "mesh1=quad.msh_s\r\ntexture1=wood.bmp\r\n"));
  Model* m = models.modelLibrary.GetOrLoad("two.cgo");
  // World turns y onto z and z onto -y, then moves by (10, 0, 0).
  m->world.m[1][1] = 0;
  m->world.m[1][2] = 1;
  m->world.m[2][1] = -1;
  m->world.m[2][2] = 0;
  m->world.m[3][0] = 10;
  device.ClearRecords();
  m->Render();
  const auto& r = device.Records();
  // Mesh 0: world, texture, four states, stream, format, indices, draw, two states.
  ASSERT_EQ(r.size(), 12u + 9u);
  EXPECT_EQ(r[0].kind, TraceKind::SetTransform);
  EXPECT_EQ(r[0].state, uint32_t(D3DTS_WORLD));
  // The mesh's own placement (0, 0, 5) first, then the model's turn and move.
  EXPECT_FLOAT_EQ(r[0].matrix.m[3][0], 10.0f);
  EXPECT_FLOAT_EQ(r[0].matrix.m[3][1], -5.0f);
  EXPECT_FLOAT_EQ(r[0].matrix.m[3][2], 0.0f);
  EXPECT_EQ(r[1].kind, TraceKind::SetTexture);
  EXPECT_EQ(r[1].object, m->textures[0]->texture);
  const uint32_t alphaOn[][2] = {{D3DRS_ALPHATESTENABLE, 1},
                                 {D3DRS_ALPHABLENDENABLE, 1},
                                 {D3DRS_SRCBLEND, D3DBLEND_SRCALPHA},
                                 {D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(r[size_t(2 + i)].kind, TraceKind::SetRenderState);
    EXPECT_EQ(r[size_t(2 + i)].state, alphaOn[i][0]);
    EXPECT_EQ(r[size_t(2 + i)].value, alphaOn[i][1]);
  }
  EXPECT_EQ(r[9].kind, TraceKind::DrawIndexedPrimitive);
  EXPECT_EQ(r[10].state, uint32_t(D3DRS_ALPHABLENDENABLE));
  EXPECT_EQ(r[10].value, 0u);
  EXPECT_EQ(r[11].state, uint32_t(D3DRS_ALPHATESTENABLE));
  EXPECT_EQ(r[11].value, 0u);
  // Mesh 1: no alpha test, so only the test state before the draw.
  EXPECT_FLOAT_EQ(r[12].matrix.m[3][1], 0.0f);
  EXPECT_EQ(r[14].state, uint32_t(D3DRS_ALPHATESTENABLE));
  EXPECT_EQ(r[14].value, 0u);
  EXPECT_EQ(r[15].kind, TraceKind::SetStreamSource);
  EXPECT_EQ(device.RenderState(D3DRS_ALPHABLENDENABLE), 0u);
}

using ModelLoadingValidity = ModelLoading;  // bad input: the fatal path

TEST_F(ModelLoadingValidity, BadDescriptionsTakeTheFatalPath) {
  // An absent key names no file: its loader reports the empty name, under the key's note.
  Write("gap.cgo", std::string("nummeshes=2\r\nmesh0=quad.msh_s\r\ntexture0=wood.bmp\r\n"));
  EXPECT_EXIT(models.modelLibrary.GetOrLoad("gap.cgo"), ::testing::ExitedWithCode(1),
              "Can't load \\(empty name\\)\\.\\.\\.\nProgram will now stop\\.\n\nNamed in "
              "gap\\.cgo, mesh1\\.");
  Write("notexkey.cgo", std::string("nummeshes=1\r\nmesh0=quad.msh_s\r\n"));
  EXPECT_EXIT(models.modelLibrary.GetOrLoad("notexkey.cgo"), ::testing::ExitedWithCode(1),
              "Loading error: Couldn't load texture: \\(empty name\\)\n\nNamed in notexkey\\.cgo, "
              "texture0\\.");
  Write("neg.cgo", std::string("nummeshes=-1\r\n"));
  EXPECT_EXIT(models.modelLibrary.GetOrLoad("neg.cgo"), ::testing::ExitedWithCode(1),
              "Can't load neg\\.cgo\\.\\.\\.\nnummeshes=-1 is outside 0\\.\\.256");
  // A file named by a description is reported by its own name, made printable, and a note
  // below names the description and the key.
  Write("nomesh.cgo", std::string("nummeshes=1\r\nmesh0=none.msh_s\r\ntexture0=wood.bmp\r\n"));
  EXPECT_EXIT(models.modelLibrary.GetOrLoad("nomesh.cgo"), ::testing::ExitedWithCode(1),
              "Can't load none\\.msh_s\\.\\.\\.\nProgram will now stop\\.\n\nNamed in "
              "nomesh\\.cgo, mesh0\\.");
  Write("notex.cgo", std::string("nummeshes=1\r\nmesh0=quad.msh_s\r\ntexture0=n\x01\xE9.tga\r\n"));
  EXPECT_EXIT(models.modelLibrary.GetOrLoad("notex.cgo"), ::testing::ExitedWithCode(1),
              "Couldn't load texture: n\\\\x01\\\\xE9\\.tga\n\nNamed in notex\\.cgo, texture0\\.");
  Write("cut.cgo", std::string("nummeshes=1\r\nmesh0=quad.msh_s\r\ntexture0="));
  EXPECT_EXIT(models.modelLibrary.GetOrLoad("cut.cgo"), ::testing::ExitedWithCode(1),
              "Couldn't load texture: \\(empty name\\)\n\nNamed in cut\\.cgo, texture0\\.");
  EXPECT_EXIT(models.modelLibrary.GetOrLoad("quad.msh_s"), ::testing::ExitedWithCode(1),
              "not a model description");
  EXPECT_EXIT(models.modelLibrary.GetOrLoad("absent.cgo"), ::testing::ExitedWithCode(1),
              "Can't load absent.cgo");
}

}  // namespace
}  // namespace yulo
