// yulo-inspect FILE...: prints each model file in brief (counts, bones and hierarchy,
// bounding box, clip length) and validates it. Exit status 1 when any file is invalid.
#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <cstdio>
#include <cstring>
#include <vector>

#include "math/vector.h"
#include "models/model_files.h"
#include "models/texcoord_split.h"
#include "resources/key_value.h"

namespace yulo {
namespace {

struct Box {
  Vector3 lo{FLT_MAX, FLT_MAX, FLT_MAX};
  Vector3 hi{-FLT_MAX, -FLT_MAX, -FLT_MAX};
  bool empty = true;
  void Add(const Vector3& p) {
    empty = false;
    lo.Set(std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z));
    hi.Set(std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z));
  }
  void Print(const char* label) const {
    if (empty) {
      std::printf("  %s: empty\n", label);
      return;
    }
    std::printf("  %s: (%g, %g, %g) .. (%g, %g, %g)\n", label, lo.x, lo.y, lo.z, hi.x, hi.y, hi.z);
  }
};

bool EndsWith(const char* s, const char* suffix) {
  const size_t n = std::strlen(s);
  const size_t m = std::strlen(suffix);
  return n >= m && std::strcmp(s + n - m, suffix) == 0;
}

bool ReadWhole(const char* path, std::vector<uint8_t>* out) {
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  uint8_t buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof(buffer), f)) > 0)
    out->insert(out->end(), buffer, buffer + n);
  const bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

int32_t RenderVertexCount(const int32_t* corners, const std::vector<Vector2>& uv, int32_t sources) {
  TexCoordSplit split;
  SplitByTexCoord(corners, uv.data(), int32_t(uv.size()), sources, &split);
  return int32_t(split.source.size());
}

bool InspectMesh(const std::vector<uint8_t>& data, FileError* error) {
  MeshFileView m;
  if (!ReadMeshFile(data.data(), data.size(), &m, error)) return false;
  std::printf("  mesh, %s: %d positions, %d triangles\n", m.smooth ? "smooth" : "flat",
              m.positionCount, m.faceCount);
  std::printf("  translation (%g, %g, %g), angles (%g, %g, %g) rad\n", m.translation.x,
              m.translation.y, m.translation.z, m.angles.x, m.angles.y, m.angles.z);
  Box box;
  for (int32_t k = 0; k < m.positionCount; ++k) box.Add(m.Position(k));
  box.Print("bounding box (mesh space)");
  if (m.smooth) {
    std::vector<int32_t> corners(size_t(m.faceCount) * 3);
    std::vector<Vector2> uv(corners.size());
    for (size_t i = 0; i < corners.size(); ++i) {
      corners[i] = m.Corner(int32_t(i));
      uv[i] = Vector2(m.U(int32_t(i)), 1.0f - m.V(int32_t(i)));
    }
    const int32_t r = RenderVertexCount(corners.data(), uv, m.positionCount);
    std::printf("  %d render vertices, %d-bit indices\n", r, r > 65536 ? 32 : 16);
  } else {
    std::printf("  %d render vertices, not indexed\n", 3 * m.faceCount);
  }
  return true;
}

void PrintBone(const SkinFileView& s, int32_t b, int depth) {
  const BoneRecord r = s.Bone(b);
  const Vector3 o = s.BoneOffset(b);
  std::printf("  %*s%d %.32s  offset (%g, %g, %g)\n", 2 * depth, "", b, r.name, o.x, o.y, o.z);
  for (int i = 0; i < r.childCount; ++i) PrintBone(s, r.children[i], depth + 1);
}

bool InspectSkin(const std::vector<uint8_t>& data, FileError* error) {
  SkinFileView s;
  if (!ReadSkinFile(data.data(), data.size(), &s, error)) return false;
  std::printf("  skin: %d vertices, %d bones, %d triangles\n", s.vertexCount, s.boneCount,
              s.faceCount);
  std::vector<int32_t> corners(size_t(s.faceCount) * 3);
  std::vector<Vector2> uv(corners.size());
  for (size_t i = 0; i < corners.size(); ++i) {
    corners[i] = s.Corner(int32_t(i));
    uv[i] = Vector2(s.U(int32_t(i)), s.V(int32_t(i)));
  }
  const int32_t r = RenderVertexCount(corners.data(), uv, s.vertexCount);
  std::printf("  %d render vertices, %d-bit indices\n", r, r > 65536 ? 32 : 16);
  std::printf("  hierarchy:\n");
  PrintBone(s, 0, 1);
  // Rest pose with every bone unrotated: bone positions are the summed offsets.
  std::vector<Vector3> bone(size_t(s.boneCount));
  std::vector<int32_t> order{0};
  for (size_t i = 0; i < order.size(); ++i) {
    const BoneRecord rec = s.Bone(order[i]);
    for (int c = 0; c < rec.childCount; ++c) {
      bone[size_t(rec.children[c])] = bone[size_t(order[i])] + s.BoneOffset(rec.children[c]);
      order.push_back(rec.children[c]);
    }
  }
  if (int32_t(order.size()) < s.boneCount) {
    std::printf("  note: %d bones are not reached from the root\n",
                s.boneCount - int32_t(order.size()));
  }
  Box box;
  for (int32_t v = 0; v < s.vertexCount; ++v) {
    const SkinVertex sv = s.Vertex(v);
    Vector3 p;
    for (const SkinInfluence& in : sv.influences) {
      if (in.weight != 0.0f) p += (in.position + bone[size_t(in.bone)]) * in.weight;
    }
    box.Add(p);
  }
  box.Print("bounding box (unrotated bones)");
  return true;
}

bool InspectClip(const std::vector<uint8_t>& data, FileError* error) {
  ClipFileView c;
  if (!ReadClipFile(data.data(), data.size(), &c, error)) return false;
  std::printf("  clip: %d bones, %d frames of %d ms, length %d ms\n", c.boneCount, c.frameCount,
              c.frameDuration, c.frameCount * c.frameDuration);
  Box box;
  for (int32_t f = 0; f < c.frameCount; ++f) box.Add(c.RootPosition(f));
  box.Print("root positions");
  return true;
}

bool InspectCharacter(const std::vector<uint8_t>& data, FileError* error) {
  CharacterFileView v;
  if (!ReadCharacterFile(data.data(), data.size(), &v, error)) return false;
  std::printf("  character: skin \"%s\", texture \"%s\"\n", v.skinName, v.textureName);
  return true;
}

bool InspectModel(std::vector<uint8_t> data, FileError* error) {
  data.push_back(0);
  const char* text = reinterpret_cast<const char*>(data.data());
  if (std::strlen(text) + 1 != data.size()) {
    std::snprintf(error->text, sizeof(error->text), "text holds a NUL byte");
    return false;
  }
  const int32_t meshes = GetValueInt(text, "nummeshes=");
  const int32_t bounds = GetValueInt(text, "numbounds=");
  std::printf("  model: %d meshes, %d bounds\n", meshes, bounds);
  char key[64];
  char mesh[256];
  char texture[256];
  for (int32_t i = 0; i < meshes; ++i) {
    std::snprintf(key, sizeof(key), "mesh%d=", i);
    const bool hasMesh = GetValueString(mesh, sizeof(mesh), text, key) != nullptr;
    std::snprintf(key, sizeof(key), "texture%d=", i);
    const bool hasTexture = GetValueString(texture, sizeof(texture), text, key) != nullptr;
    std::printf("  %d: mesh \"%s\", texture \"%s\"\n", i, mesh, texture);
    if (!hasMesh || !hasTexture) {
      std::snprintf(error->text, sizeof(error->text), "%s%d= is missing",
                    hasMesh ? "texture" : "mesh", i);
      return false;
    }
  }
  for (int32_t i = 0; i < bounds; ++i) {
    char name[64];
    std::snprintf(key, sizeof(key), "bound%d.name=", i);
    GetValueString(name, sizeof(name), text, key);
    std::snprintf(key, sizeof(key), "bound%d.b_circle=", i);
    const bool circle = GetValueInt(text, key) != 0;
    std::printf("  bound %d \"%s\": %s\n", i, name, circle ? "circle" : "box");
  }
  return true;
}

int Inspect(const char* path) {
  std::vector<uint8_t> data;
  if (!ReadWhole(path, &data)) {
    std::printf("%s: can't read: %s\n", path, std::strerror(errno));
    return 1;
  }
  std::printf("%s: %zu bytes\n", path, data.size());
  FileError error;
  bool ok;
  if (EndsWith(path, ".msh_s")) {
    ok = InspectMesh(data, &error);
  } else if (EndsWith(path, ".anm")) {
    ok = InspectClip(data, &error);
  } else if (EndsWith(path, ".chr")) {
    ok = InspectCharacter(data, &error);
  } else if (EndsWith(path, ".cgo")) {
    ok = InspectModel(data, &error);
  } else {
    ok = InspectSkin(data, &error);  // skins carry whatever extension their .chr names
  }
  if (!ok) {
    std::printf("%s: invalid: %s\n", path, error.text);
    return 1;
  }
  std::printf("  valid\n");
  return 0;
}

}  // namespace
}  // namespace yulo

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
    std::printf(
        "usage: yulo-inspect FILE...\n"
        "Prints each file in brief and checks it. The kind follows the extension: .msh_s\n"
        "mesh, .cgo model description, .chr character, .anm clip; anything else is read as\n"
        "a skin.\n");
    return argc < 2 ? 2 : 0;
  }
  int status = 0;
  for (int i = 1; i < argc; ++i) status |= yulo::Inspect(argv[i]);
  return status;
}
