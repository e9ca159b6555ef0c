// Loading a smooth mesh (the linear texture-coordinate split against the quadratic rule it
// replaces) and one Update of a skinned character.
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/shell_state.h"
#include "formats/formats.h"
#include "math/scalar.h"
#include "models/character.h"
#include "models/libraries.h"
#include "models/mesh.h"
#include "models/reference_split.h"
#include "models/skin.h"
#include "models/texcoord_split.h"
#include "render/renderer.h"
#include "render/trace/trace_device.h"

namespace yulo {
namespace {

// A w x h grid of quads (2wh triangles) whose texture is cut into 4 x 4 tiles, so that
// positions on a tile seam carry two or four coordinates, as in authored meshes.
MeshFileData Grid(int w, int h) {
  MeshFileData m;
  m.smooth = true;
  for (int y = 0; y <= h; ++y)
    for (int x = 0; x <= w; ++x) m.positions.push_back({float(x), float(y), float((x * y) % 7)});
  auto at = [&](int x, int y) { return y * (w + 1) + x; };
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const int tile = (x * 4 / w) + 4 * (y * 4 / h);
      const float du = float(tile);  // every tile maps its own stretch of u
      const int quad[6][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 0}, {1, 1}, {0, 1}};
      for (const auto& c : quad) {
        m.corners.push_back(at(x + c[0], y + c[1]));
        m.texCoords.push_back({du + float(x + c[0]) / float(w), float(y + c[1]) / float(h)});
      }
    }
  }
  return m;
}

struct SplitInput {
  std::vector<int32_t> corners;
  std::vector<Vector2> uv;
  int32_t positions = 0;
};

SplitInput GridSplitInput() {
  const MeshFileData m = Grid(100, 100);  // 20,000 triangles
  SplitInput in;
  in.corners = m.corners;
  for (const Vector2& t : m.texCoords) in.uv.push_back({t.x, 1.0f - t.y});
  in.positions = int32_t(m.positions.size());
  return in;
}

void BM_MeshSplit20000Triangles(benchmark::State& state) {
  const SplitInput in = GridSplitInput();
  TexCoordSplit out;
  for (auto _ : state) {
    SplitByTexCoord(in.corners.data(), in.uv.data(), int32_t(in.corners.size()), in.positions,
                    &out);
    benchmark::DoNotOptimize(out.source.data());
  }
  state.counters["renderVertices"] = double(out.source.size());
}
BENCHMARK(BM_MeshSplit20000Triangles)->Unit(benchmark::kMillisecond);

void BM_MeshSplit20000TrianglesReference(benchmark::State& state) {
  const SplitInput in = GridSplitInput();
  TexCoordSplit out;
  for (auto _ : state) {
    test::ReferenceSplit(in.corners.data(), in.uv.data(), int32_t(in.corners.size()), in.positions,
                         &out);
    benchmark::DoNotOptimize(out.source.data());
  }
  state.counters["renderVertices"] = double(out.source.size());
}
BENCHMARK(BM_MeshSplit20000TrianglesReference)->Unit(benchmark::kMillisecond)->Iterations(3);

// The whole load of the same mesh from its file image: read, normals, split, vertices.
void BM_MeshBuild20000Triangles(benchmark::State& state) {
  BuildSqrtTable();
  const std::vector<uint8_t> bytes = EncodeMeshFile(Grid(100, 100));
  MeshFileView file;
  FileError error;
  if (!ReadMeshFile(bytes.data(), bytes.size(), &file, &error)) {
    state.SkipWithError(error.text);
    return;
  }
  for (auto _ : state) {
    Mesh mesh;
    BuildMeshGeometry(file, &mesh);
    benchmark::DoNotOptimize(mesh.vertices.data());
  }
}
BENCHMARK(BM_MeshBuild20000Triangles)->Unit(benchmark::kMillisecond);

// A 30-bone tree and a 3,000-vertex grid skin, each vertex held by three bones.
SkinFileData BenchSkin() {
  SkinFileData s;
  for (int b = 0; b < 30; ++b) {
    s.boneOffsets.push_back({0.1f * float(b % 3), 1.0f, 0.05f * float(b % 5)});
    std::vector<int32_t> children;
    for (int c = 2 * b + 1; c <= 2 * b + 2 && c < 30; ++c) children.push_back(c);
    BoneRecord r = MakeBone("Bip01", {});
    for (int32_t c : children) r.children[r.childCount++] = c;
    s.bones.push_back(r);
  }
  const int w = 60;
  const int h = 50;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const int b = (x + y * w) % 30;
      s.vertices.push_back(MakeSkinVertex({{0.5f, b, {float(x) * 0.1f, 0, float(y) * 0.1f}},
                                           {0.3f, (b + 1) % 30, {0, float(x) * 0.1f, 0}},
                                           {0.2f, (b + 7) % 30, {0.1f, 0.2f, 0.3f}}}));
    }
  }
  for (int y = 0; y + 1 < h; ++y) {
    for (int x = 0; x + 1 < w; ++x) {
      const int32_t a = y * w + x;
      for (int32_t c : {a, a + 1, a + w + 1, a, a + w + 1, a + w}) {
        s.corners.push_back(c);
        s.texCoords.push_back({float(c % w) / w, float(c / w) / h});
      }
    }
  }
  return s;
}

ClipFileData BenchClip() {
  ClipFileData c;
  c.boneCount = 30;
  c.frameDuration = 33;
  for (int f = 0; f < 40; ++f) c.rootPositions.push_back({0, 0.1f * float(f % 5), 0});
  for (int b = 0; b < 30; ++b)
    for (int f = 0; f < 40; ++f) c.angles.push_back({0.02f * f, -0.01f * b, 0.03f * (f % 7)});
  return c;
}

void BM_CharacterUpdate3000Vertices30Bones(benchmark::State& state) {
  BuildSqrtTable();
  char folder[] = "/tmp/yulo-bench-XXXXXX";
  if (!mkdtemp(folder) || chdir(folder) != 0) {
    state.SkipWithError("no temporary folder");
    return;
  }
  const std::string tga = std::string("\0\0\2\0\0\0\0\0\0\0\0\0\1\0\1\0\x20\x28", 18) + "\1\2\3\4";
  WriteWholeFile("bench.tga", tga);
  WriteWholeFile("bench.skn", EncodeSkinFile(BenchSkin()));
  WriteWholeFile("bench.chr", EncodeCharacterFile("bench.skn", "bench.tga"));
  WriteWholeFile("bench.anm", EncodeClipFile(BenchClip()));
  TraceDevice device;
  device.SetRecording(false);
  SetDevice(&device);
  {
    Character c;
    c.Load("bench.chr");
    c.currentClip = models.animationLibrary.GetOrLoad("bench.anm");
    frameTiming.elapsedTime = 16.7f;
    for (auto _ : state) c.Update();
    state.SetItemsProcessed(state.iterations() * c.skin->vertexCount);
    state.counters["skinVertices"] = double(c.skin->vertexCount);
    state.counters["renderVertices"] = double(c.renderVertexCount);
  }
  models.skinLibrary.Clear();
  models.animationLibrary.Clear();
  SetDevice(nullptr);
  for (const char* f : {"bench.tga", "bench.skn", "bench.chr", "bench.anm"}) std::remove(f);
  if (chdir("/") == 0) rmdir(folder);
}
BENCHMARK(BM_CharacterUpdate3000Vertices30Bones)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace yulo
