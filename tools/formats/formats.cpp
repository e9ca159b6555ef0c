#include "formats.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace yulo {

namespace {

class Writer {
 public:
  void Bytes(const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    out.insert(out.end(), b, b + n);
  }
  void Int32(int32_t v) { Bytes(&v, 4); }
  void Float(float v) { Bytes(&v, 4); }
  void Vec3(const Vector3& v) { Bytes(&v, 12); }
  void Vec2(const Vector2& v) { Bytes(&v, 8); }

  std::vector<uint8_t> out;
};

std::string Number(float v) {
  char text[32];
  std::snprintf(text, sizeof(text), "%.9g", static_cast<double>(v));
  return text;
}

void Line(std::string& text, const std::string& key, const std::string& value) {
  text += key;
  text += '=';
  text += value;
  text += "\r\n";
}

}  // namespace

std::vector<uint8_t> EncodeMeshFile(const MeshFileData& mesh) {
  Writer w;
  const uint8_t head[4] = {'M', 'S', 'H', uint8_t(mesh.smooth ? 1 : 0)};
  w.Bytes(head, 4);
  w.Vec3(mesh.translation);
  w.Vec3(mesh.angles);
  w.Bytes("\0", 1);
  w.Int32(int32_t(mesh.positions.size()));
  w.Int32(int32_t(mesh.corners.size() / 3));
  for (const Vector3& p : mesh.positions) w.Vec3(p);
  for (int32_t c : mesh.corners) w.Int32(c);
  for (const Vector2& t : mesh.texCoords) w.Vec2(t);
  return w.out;
}

std::vector<uint8_t> EncodeSkinFile(const SkinFileData& skin) {
  Writer w;
  w.Int32(int32_t(skin.vertices.size()));
  w.Int32(int32_t(skin.boneOffsets.size()));
  for (const Vector3& o : skin.boneOffsets) w.Vec3(o);
  for (const SkinVertex& v : skin.vertices) w.Bytes(&v, sizeof(v));
  for (const BoneRecord& b : skin.bones) w.Bytes(&b, sizeof(b));
  w.Int32(int32_t(skin.corners.size() / 3));
  for (int32_t c : skin.corners) w.Int32(c);
  for (const Vector2& t : skin.texCoords) w.Vec2(t);
  return w.out;
}

std::vector<uint8_t> EncodeClipFile(const ClipFileData& clip) {
  Writer w;
  w.Int32(clip.boneCount);
  w.Int32(clip.frameDuration);
  w.Int32(int32_t(clip.rootPositions.size()));
  for (const Vector3& p : clip.rootPositions) w.Vec3(p);
  for (const Vector3& a : clip.angles) w.Vec3(a);
  return w.out;
}

std::vector<uint8_t> EncodeCharacterFile(const std::string& skinName,
                                         const std::string& textureName) {
  std::vector<uint8_t> out(kFileNameCapacity + textureName.size() + 1, 0);
  std::memcpy(out.data(), skinName.data(),
              std::min<size_t>(skinName.size(), kFileNameCapacity - 1));
  std::memcpy(out.data() + kFileNameCapacity, textureName.data(), textureName.size());
  return out;
}

std::string EncodeModelDescription(const ModelDescription& model) {
  std::string text;
  Line(text, "nummeshes", std::to_string(model.parts.size()));
  for (size_t i = 0; i < model.parts.size(); ++i) {
    Line(text, "mesh" + std::to_string(i), model.parts[i].mesh);
    Line(text, "texture" + std::to_string(i), model.parts[i].texture);
  }
  Line(text, "numbounds", std::to_string(model.bounds.size()));
  for (size_t i = 0; i < model.bounds.size(); ++i) {
    const ModelDescription::Bound& b = model.bounds[i];
    const std::string key = "bound" + std::to_string(i) + ".";
    Line(text, key + "name", b.name);
    Line(text, key + "b_circle", b.isCircle ? "1" : "0");
    Line(text, key + "center.x", Number(b.centre.x));
    Line(text, key + "center.y", Number(b.centre.y));
    Line(text, key + "center.z", Number(b.centre.z));
    if (b.isCircle) {
      Line(text, key + "radius", Number(b.radius));
    } else {
      Line(text, key + "dx", Number(b.extent1));
      Line(text, key + "dz", Number(b.extent2));
    }
  }
  return text;
}

BoneRecord MakeBone(const char* name, std::initializer_list<int32_t> children) {
  BoneRecord b{};
  for (int32_t c : children) {
    if (b.childCount < kMaxBoneChildren) b.children[b.childCount++] = c;
  }
  std::strncpy(b.name, name, sizeof(b.name) - 1);
  return b;
}

SkinVertex MakeSkinVertex(std::initializer_list<SkinInfluence> influences) {
  SkinVertex v{};
  int i = 0;
  for (const SkinInfluence& in : influences) {
    if (i < kSkinInfluences) v.influences[i++] = in;
  }
  return v;
}

bool WriteWholeFile(const std::string& path, const void* data, size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool written = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && written;
}

}  // namespace yulo
