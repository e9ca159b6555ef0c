// yulo-fuzz-seeds DIR: writes small valid model files as fuzzing seeds, one folder per
// format (DIR/mesh, DIR/skin, DIR/clip, DIR/character). The committed seeds under
// fuzz/corpus come from this program.
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "formats/formats.h"

namespace yulo {
namespace {

MeshFileData Quad(bool smooth) {
  MeshFileData m;
  m.smooth = smooth;
  m.translation = {1, 2, 3};
  m.angles = {0.1f, 0.2f, 0.3f};
  m.positions = {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}, {5, 5, 5}};
  m.corners = {0, 1, 2, 0, 2, 3, 2, 1, 3};
  m.texCoords = {{0, 0}, {0, 1}, {1, 1}, {0, 0}, {1, 1}, {1, 0}, {0.5f, 0.5f}, {0, 1}, {1, 0}};
  return m;
}

SkinFileData Chain() {
  SkinFileData s;
  s.boneOffsets = {{0, 0, 0}, {0, 1, 0}, {0, 1, 0}, {1, 0, 0}};
  s.bones = {MakeBone("Bip01", {1, 3}), MakeBone("Bip01 Spine", {2}), MakeBone("Bip01 Head", {}),
             MakeBone("Bip01 Tail", {})};
  s.vertices = {MakeSkinVertex({{1.0f, 0, {1, 0, 0}}}), MakeSkinVertex({{1.0f, 1, {1, 0, 0}}}),
                MakeSkinVertex({{0.5f, 2, {0, 0, 1}}, {0.5f, 3, {0, 1, 0}}}),
                MakeSkinVertex({{0.3f, 1, {0, 0, 0}}, {0.3f, 2, {0, 0, 0}}, {0.4f, 3, {1, 1, 1}}})};
  s.corners = {0, 1, 2, 0, 2, 3};
  s.texCoords = {{0, 0}, {0, 1}, {1, 1}, {0, 0.25f}, {1, 1}, {1, 0}};
  return s;
}

ClipFileData Walk() {
  ClipFileData c;
  c.boneCount = 4;
  c.frameDuration = 33;
  for (int f = 0; f < 3; ++f) c.rootPositions.push_back({float(f), 0, 0});
  for (int i = 0; i < 12; ++i) c.angles.push_back({0.1f * i, -0.05f * i, 0.2f});
  return c;
}

bool Put(const std::string& dir, const std::string& kind, const std::string& name,
         const std::vector<uint8_t>& bytes) {
  const std::string folder = dir + "/" + kind;
  mkdir(folder.c_str(), 0755);
  if (WriteWholeFile(folder + "/" + name, bytes)) return true;
  std::fprintf(stderr, "yulo-fuzz-seeds: can't write %s/%s\n", folder.c_str(), name.c_str());
  return false;
}

}  // namespace
}  // namespace yulo

int main(int argc, char** argv) {
  using namespace yulo;
  if (argc != 2) {
    std::fprintf(stderr, "usage: yulo-fuzz-seeds DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  mkdir(dir.c_str(), 0755);
  bool ok = Put(dir, "mesh", "smooth.msh_s", EncodeMeshFile(Quad(true)));
  ok &= Put(dir, "mesh", "flat.msh_s", EncodeMeshFile(Quad(false)));
  ok &= Put(dir, "skin", "chain.skn", EncodeSkinFile(Chain()));
  ok &= Put(dir, "clip", "walk.anm", EncodeClipFile(Walk()));
  ok &= Put(dir, "character", "deer.chr", EncodeCharacterFile("deer.skn", "deer.tga"));
  return ok ? 0 : 1;
}
