#include "models/mesh.h"
#include "models/libraries.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "model_fixture.h"
#include "sample_files.h"

namespace yulo {
namespace {

using test::QuadMesh;

class MeshLoading : public test::ModelFilesTest {};

// A unit cube around the origin: 8 positions, 12 triangles wound so that
// (p2 - p0) x (p1 - p0) points outwards. With perFaceCoordinates every face maps the full
// texture (so each position meets three coordinates); otherwise a position has one.
MeshFileData Cube(bool perFaceCoordinates) {
  MeshFileData m;
  m.smooth = true;
  for (int i = 0; i < 8; ++i)
    m.positions.push_back({i & 1 ? 1.f : -1.f, i & 2 ? 1.f : -1.f, i & 4 ? 1.f : -1.f});
  // Faces as quads a b c d, split into (a b c) and (a c d).
  const int faces[6][4] = {{0, 1, 3, 2}, {4, 6, 7, 5}, {0, 4, 5, 1},
                           {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 5, 7, 3}};
  const Vector2 quad[4] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  for (int face = 0; face < 6; ++face) {
    const int order[6] = {0, 1, 2, 0, 2, 3};
    for (int j : order) {
      const int p = faces[face][j];
      m.corners.push_back(p);
      // Faces side by side along u, so no two faces share a coordinate.
      m.texCoords.push_back(perFaceCoordinates ? Vector2(quad[j].x + float(face), quad[j].y)
                                               : Vector2(float(p) * 0.125f, 0.5f));
    }
  }
  return m;
}

TEST_F(MeshLoading, FlatMeshCarriesFaceNormalsAndFlippedCoordinates) {
  Write("quad.msh_s", EncodeMeshFile(QuadMesh(false)));
  const Mesh* mesh = models.meshLibrary.GetOrLoad("quad.msh_s");
  ASSERT_EQ(mesh->vertexCount, 6);
  EXPECT_EQ(mesh->faceCount, 2);
  EXPECT_TRUE(mesh->indices.empty());
  for (const MeshVertex& v : mesh->vertices) {
    EXPECT_NEAR(v.normal.z, 1.0f, 1e-4f);  // (p2 - p0) x (p1 - p0) of both triangles
  }
  EXPECT_FLOAT_EQ(mesh->vertices[1].position.y, 1.0f);
  EXPECT_FLOAT_EQ(mesh->vertices[1].v, 0.0f);  // stored v 1
  EXPECT_FLOAT_EQ(mesh->vertices[5].u, 1.0f);
  EXPECT_FLOAT_EQ(mesh->vertices[5].v, 1.0f);  // stored v 0
}

TEST_F(MeshLoading, SmoothCubeWithSharedCoordinatesKeepsEightVertices) {
  Write("cube.msh_s", EncodeMeshFile(Cube(false)));
  const Mesh* mesh = models.meshLibrary.GetOrLoad("cube.msh_s");
  ASSERT_EQ(mesh->vertexCount, 8);
  ASSERT_EQ(mesh->indices.size(), 36u);
  for (int k = 0; k < 8; ++k) {
    const MeshVertex& v = mesh->vertices[size_t(k)];
    // Positions keep their order; the normal points outwards along the diagonal's side.
    EXPECT_FLOAT_EQ(v.position.x, k & 1 ? 1.f : -1.f);
    EXPECT_NEAR(
        std::sqrt(v.normal.x * v.normal.x + v.normal.y * v.normal.y + v.normal.z * v.normal.z),
        1.0f, 1e-3f);
    EXPECT_GT(v.normal.x * v.position.x + v.normal.y * v.position.y + v.normal.z * v.position.z,
              0.5f);
    EXPECT_FLOAT_EQ(v.v, 0.5f);
  }
}

TEST_F(MeshLoading, SmoothCubeWithPerFaceCoordinatesSplitsEachCornerInThree) {
  Write("cube.msh_s", EncodeMeshFile(Cube(true)));
  const Mesh* mesh = models.meshLibrary.GetOrLoad("cube.msh_s");
  ASSERT_EQ(mesh->vertexCount, 24);
  // Render vertices of one position are consecutive and share its averaged normal.
  for (int k = 0; k < 8; ++k) {
    for (int j = 1; j < 3; ++j) {
      const MeshVertex& a = mesh->vertices[size_t(3 * k)];
      const MeshVertex& b = mesh->vertices[size_t(3 * k + j)];
      EXPECT_EQ(0, std::memcmp(&a.position, &b.position, sizeof(Vector3))) << k;
      EXPECT_EQ(0, std::memcmp(&a.normal, &b.normal, sizeof(Vector3))) << k;
      EXPECT_FALSE(a.u == b.u && a.v == b.v) << k;
    }
  }
  const MeshFileData cube = Cube(true);
  for (size_t c = 0; c < 36; ++c) {
    const MeshVertex& v = mesh->vertices[size_t(mesh->indices[c])];
    EXPECT_EQ(0, std::memcmp(&v.position, &cube.positions[size_t(cube.corners[c])], 12)) << c;
    EXPECT_FLOAT_EQ(v.v, 1.0f - cube.texCoords[c].y) << c;
  }
}

TEST_F(MeshLoading, UnusedPositionStillGetsARenderVertex) {
  Write("quad.msh_s", EncodeMeshFile(QuadMesh(true)));
  const Mesh* mesh = models.meshLibrary.GetOrLoad("quad.msh_s");
  // Positions 0 and 2 carry one coordinate each, 1 and 3 one each, 4 none.
  ASSERT_EQ(mesh->vertexCount, 5);
  EXPECT_FLOAT_EQ(mesh->vertices[4].position.x, 9.0f);
  EXPECT_FLOAT_EQ(mesh->vertices[4].normal.x, 0.0f);
  EXPECT_EQ(mesh->indices, (std::vector<int32_t>{0, 1, 2, 0, 2, 3}));
}

TEST_F(MeshLoading, HeaderPlacesTheMesh) {
  MeshFileData data = QuadMesh(false);
  data.translation = {1, 2, 3};
  Write("moved.msh_s", EncodeMeshFile(data));
  const Mesh* moved = models.meshLibrary.GetOrLoad("moved.msh_s");
  Matrix4 expected;
  expected.m[3][0] = 1;
  expected.m[3][1] = 2;
  expected.m[3][2] = 3;
  for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(moved->local[i], expected[i]) << i;

  data.angles = {1.5707964f, 0, 0};
  Write("turned.msh_s", EncodeMeshFile(data));
  const Mesh* turned = models.meshLibrary.GetOrLoad("turned.msh_s");
  // Rotation first, then the translation: +y lands on +z, then moves by (1, 2, 3).
  const Vector3 p = Vector3(0, 1, 0).Transform(turned->local);
  EXPECT_NEAR(p.x, 1.0f, 1e-5f);
  EXPECT_NEAR(p.y, 2.0f, 1e-5f);
  EXPECT_NEAR(p.z, 4.0f, 1e-5f);
}

TEST_F(MeshLoading, BuffersHoldTheVerticesAndSixteenBitIndices) {
  Write("cube.msh_s", EncodeMeshFile(Cube(true)));
  const Mesh* mesh = models.meshLibrary.GetOrLoad("cube.msh_s");
  const auto* vb = static_cast<const TraceVertexBuffer*>(mesh->vertexBuffer);
  const auto* ib = static_cast<const TraceIndexBuffer*>(mesh->indexBuffer);
  ASSERT_NE(vb, nullptr);
  ASSERT_NE(ib, nullptr);
  EXPECT_EQ(vb->Length(), 24u * 32u);
  EXPECT_EQ(vb->Fvf(), 0x112u);
  EXPECT_EQ(0, std::memcmp(vb->Bytes().data(), mesh->vertices.data(), 24 * 32));
  EXPECT_EQ(ib->IndexFormat(), D3DFMT_INDEX16);
  EXPECT_EQ(ib->Length(), 12u * 6u);
  for (uint32_t i = 0; i < 36; ++i) EXPECT_EQ(ib->IndexAt(i), uint32_t(mesh->indices[i])) << i;
}

TEST_F(MeshLoading, MoreThan65536VerticesUseThirtyTwoBitIndices) {
  MeshFileData m;
  m.smooth = true;
  const int triangles = 21846;  // 65,538 corners, each at its own position
  for (int i = 0; i < 3 * triangles; ++i) {
    m.positions.push_back({float(i % 100), float(i / 100), float(i % 3)});
    m.corners.push_back(i);
    m.texCoords.push_back({0, 0});
  }
  Write("big.msh_s", EncodeMeshFile(m));
  const Mesh* mesh = models.meshLibrary.GetOrLoad("big.msh_s");
  ASSERT_EQ(mesh->vertexCount, 3 * triangles);
  const auto* ib = static_cast<const TraceIndexBuffer*>(mesh->indexBuffer);
  ASSERT_NE(ib, nullptr);
  EXPECT_EQ(ib->IndexFormat(), D3DFMT_INDEX32);
  EXPECT_EQ(ib->IndexAt(65536), 65536u);
  EXPECT_EQ(ib->IndexAt(65537), 65537u);
}

TEST_F(MeshLoading, DrawIssuesOneCall) {
  Write("cube.msh_s", EncodeMeshFile(Cube(true)));
  Write("quad.msh_s", EncodeMeshFile(QuadMesh(false)));
  const Mesh* smooth = models.meshLibrary.GetOrLoad("cube.msh_s");
  const Mesh* flat = models.meshLibrary.GetOrLoad("quad.msh_s");
  device.ClearRecords();
  smooth->Draw();
  flat->Draw();
  const auto& r = device.Records();
  ASSERT_EQ(r.size(), 7u);
  EXPECT_EQ(r[0].kind, TraceKind::SetStreamSource);
  EXPECT_EQ(r[0].object, smooth->vertexBuffer);
  EXPECT_EQ(r[0].value, 32u);
  EXPECT_EQ(r[1].kind, TraceKind::SetVertexShader);
  EXPECT_EQ(r[1].value, 0x112u);
  EXPECT_EQ(r[2].kind, TraceKind::SetIndices);
  EXPECT_EQ(r[3].kind, TraceKind::DrawIndexedPrimitive);
  EXPECT_EQ(r[3].type, uint32_t(D3DPT_TRIANGLELIST));
  EXPECT_EQ(r[3].numVertices, 24u);
  EXPECT_EQ(r[3].count, 12u);
  EXPECT_EQ(r[4].object, flat->vertexBuffer);
  EXPECT_EQ(r[6].kind, TraceKind::DrawPrimitive);
  EXPECT_EQ(r[6].start, 0u);
  EXPECT_EQ(r[6].count, 2u);
}

TEST_F(MeshLoading, LibrarySharesAMeshByExactName) {
  Write("quad.msh_s", EncodeMeshFile(QuadMesh(true)));
  Mesh* a = models.meshLibrary.GetOrLoad("quad.msh_s");
  EXPECT_EQ(models.meshLibrary.GetOrLoad("quad.msh_s"), a);
  EXPECT_EQ(models.meshLibrary.count, 1);
  EXPECT_EQ(Records(TraceKind::CreateVertexBuffer).size(), 1u);
}

using MeshLoadingValidity = MeshLoading;  // bad input: the fatal path

TEST_F(MeshLoadingValidity, CorruptOrMissingFilesTakeTheFatalPath) {
  MeshFileData bad = QuadMesh(true);
  bad.corners[2] = 9;
  Write("bad.msh_s", EncodeMeshFile(bad));
  EXPECT_EXIT(
      models.meshLibrary.GetOrLoad("bad.msh_s"), ::testing::ExitedWithCode(1),
      "Loading Error: Can't load bad\\.msh_s\\.\\.\\.\ntriangle 0 corner 2 names position 9, but "
      "there are 5");
  std::vector<uint8_t> shortFile = EncodeMeshFile(QuadMesh(true));
  shortFile.resize(shortFile.size() - 1);
  Write("short.msh_s", shortFile);
  EXPECT_EXIT(models.meshLibrary.GetOrLoad("short.msh_s"), ::testing::ExitedWithCode(1),
              "short\\.msh_s\\.\\.\\.\nfile ends inside the texture coordinates");
  EXPECT_EXIT(models.meshLibrary.GetOrLoad("absent.msh_s"), ::testing::ExitedWithCode(1),
              "Can't load absent.msh_s");
}

}  // namespace
}  // namespace yulo
