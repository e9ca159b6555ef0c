#include "models/model_files.h"

#include <cstdarg>
#include <cstdio>

#include "base/printf_format.h"

namespace yulo {

namespace {

bool Fail(FileError* error, const char* format, ...) YULO_PRINTF_FORMAT(2, 3);

bool Fail(FileError* error, const char* format, ...) {
  if (error) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(error->text, sizeof(error->text), format, args);
    va_end(args);
  }
  return false;
}

// Walks a file image block by block; every block is checked against the bytes left
// before its start is handed out. Sizes are 64-bit so that no count can wrap them.
class Cursor {
 public:
  Cursor(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  // The start of the next `bytes` bytes, or nullptr when the file ends before them.
  const uint8_t* Take(uint64_t bytes) {
    if (bytes > size_ - offset_) return nullptr;
    const uint8_t* p = data_ + offset_;
    offset_ += static_cast<size_t>(bytes);
    return p;
  }
  size_t Offset() const { return offset_; }
  size_t Size() const { return size_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t offset_ = 0;
};

bool Truncated(FileError* error, const Cursor& c, const char* what, uint64_t bytes) {
  return Fail(error, "file ends inside the %s (%llu bytes needed at offset %zu, file has %zu)",
              what, static_cast<unsigned long long>(bytes), c.Offset(), c.Size());
}

// Checks every index of count int32 values at p against [0, limit).
bool CheckCorners(const uint8_t* p, int32_t count, int32_t limit, const char* target,
                  FileError* error) {
  for (int32_t i = 0; i < count; ++i) {
    const int32_t index = ReadInt32(p + 4 * size_t(i));
    if (index < 0 || index >= limit) {
      return Fail(error, "triangle %d corner %d names %s %d, but there are %d", i / 3, i % 3,
                  target, index, limit);
    }
  }
  return true;
}

}  // namespace

bool ReadMeshFile(const uint8_t* data, size_t size, MeshFileView* out, FileError* error) {
  Cursor c(data, size);
  const uint8_t* header = c.Take(kMeshHeaderSize);
  if (!header) return Truncated(error, c, "header", kMeshHeaderSize);
  MeshFileView m;
  m.smooth = header[3] != 0;
  m.translation = ReadVector3(header + 4);
  m.angles = ReadVector3(header + 16);
  m.positionCount = ReadInt32(header + 29);
  m.faceCount = ReadInt32(header + 33);
  if (m.positionCount < 0) return Fail(error, "negative position count %d", m.positionCount);
  if (m.faceCount < 0) return Fail(error, "negative triangle count %d", m.faceCount);
  const uint64_t p = uint64_t(m.positionCount);
  const uint64_t f = uint64_t(m.faceCount);
  if (!(m.positions = c.Take(12 * p))) return Truncated(error, c, "positions", 12 * p);
  if (!(m.corners = c.Take(12 * f))) return Truncated(error, c, "triangles", 12 * f);
  if (!(m.texCoords = c.Take(24 * f))) {
    return Truncated(error, c, "texture coordinates", 24 * f);
  }
  if (3 * int64_t(m.faceCount) + m.positionCount > kMaxRenderVertices) {
    return Fail(error, "%d triangles over %d positions are more than %lld vertices", m.faceCount,
                m.positionCount, static_cast<long long>(kMaxRenderVertices));
  }
  if (!CheckCorners(m.corners, 3 * m.faceCount, m.positionCount, "position", error)) {
    return false;
  }
  *out = m;
  return true;
}

bool ReadCharacterFile(const uint8_t* data, size_t size, CharacterFileView* out, FileError* error) {
  CharacterFileView v;
  if (size < kFileNameCapacity) {
    return Fail(error, "file ends inside the skin name (%zu bytes, need at least %d)", size,
                kFileNameCapacity);
  }
  const void* skinEnd = std::memchr(data, 0, kFileNameCapacity);
  if (!skinEnd) return Fail(error, "skin name is not terminated within its 32 bytes");
  const size_t skinLength = static_cast<const uint8_t*>(skinEnd) - data;
  if (skinLength == 0) return Fail(error, "skin name is empty");
  std::memcpy(v.skinName, data, skinLength);

  // The texture name runs to its NUL; a file whose last byte ends the name is accepted.
  const uint8_t* texture = data + kFileNameCapacity;
  const size_t rest = size - kFileNameCapacity;
  const void* textureEnd = std::memchr(texture, 0, rest);
  const size_t textureLength =
      textureEnd ? static_cast<const uint8_t*>(textureEnd) - texture : rest;
  if (textureLength == 0) return Fail(error, "texture name is empty");
  if (textureLength >= sizeof(v.textureName)) {
    return Fail(error, "texture name is longer than %zu characters", sizeof(v.textureName) - 1);
  }
  std::memcpy(v.textureName, texture, textureLength);
  *out = v;
  return true;
}

bool ReadSkinFile(const uint8_t* data, size_t size, SkinFileView* out, FileError* error) {
  Cursor c(data, size);
  const uint8_t* counts = c.Take(8);
  if (!counts) return Truncated(error, c, "vertex and bone counts", 8);
  SkinFileView s;
  s.vertexCount = ReadInt32(counts);
  s.boneCount = ReadInt32(counts + 4);
  if (s.vertexCount < 0) return Fail(error, "negative vertex count %d", s.vertexCount);
  if (s.boneCount < 1 || s.boneCount > kMaxBones) {
    return Fail(error, "bone count %d is outside 1..%d", s.boneCount, kMaxBones);
  }
  const uint64_t v = uint64_t(s.vertexCount);
  const uint64_t b = uint64_t(s.boneCount);
  if (!(s.boneOffsets = c.Take(12 * b))) return Truncated(error, c, "bone offsets", 12 * b);
  if (!(s.vertices = c.Take(sizeof(SkinVertex) * v))) {
    return Truncated(error, c, "skin vertices", sizeof(SkinVertex) * v);
  }
  if (!(s.bones = c.Take(sizeof(BoneRecord) * b))) {
    return Truncated(error, c, "bone records", sizeof(BoneRecord) * b);
  }
  const uint8_t* faces = c.Take(4);
  if (!faces) return Truncated(error, c, "triangle count", 4);
  s.faceCount = ReadInt32(faces);
  if (s.faceCount < 0) return Fail(error, "negative triangle count %d", s.faceCount);
  const uint64_t f = uint64_t(s.faceCount);
  if (!(s.corners = c.Take(12 * f))) return Truncated(error, c, "triangles", 12 * f);
  if (!(s.texCoords = c.Take(24 * f))) {
    return Truncated(error, c, "texture coordinates", 24 * f);
  }

  if (3 * int64_t(s.faceCount) + s.vertexCount > kMaxRenderVertices) {
    return Fail(error, "%d triangles over %d vertices are more than %lld render vertices",
                s.faceCount, s.vertexCount, static_cast<long long>(kMaxRenderVertices));
  }
  for (int32_t i = 0; i < s.vertexCount; ++i) {
    const SkinVertex sv = s.Vertex(i);
    for (int j = 0; j < kSkinInfluences; ++j) {
      const SkinInfluence& in = sv.influences[j];
      if (in.weight != 0.0f && (in.bone < 0 || in.bone >= s.boneCount)) {
        return Fail(error, "vertex %d influence %d names bone %d, but there are %d", i, j, in.bone,
                    s.boneCount);
      }
    }
  }
  bool hasParent[kMaxBones] = {};
  for (int32_t i = 0; i < s.boneCount; ++i) {
    const BoneRecord r = s.Bone(i);
    if (r.childCount < 0 || r.childCount > kMaxBoneChildren) {
      return Fail(error, "bone %d has %d children (at most %d)", i, r.childCount, kMaxBoneChildren);
    }
    for (int j = 0; j < r.childCount; ++j) {
      const int32_t child = r.children[j];
      if (child < 1 || child >= s.boneCount) {
        return Fail(error, "bone %d child %d is bone %d, outside 1..%d", i, j, child,
                    s.boneCount - 1);
      }
      if (hasParent[child]) return Fail(error, "bone %d has more than one parent", child);
      hasParent[child] = true;
    }
  }
  if (!CheckCorners(s.corners, 3 * s.faceCount, s.vertexCount, "skin vertex", error)) {
    return false;
  }
  *out = s;
  return true;
}

bool ReadClipFile(const uint8_t* data, size_t size, ClipFileView* out, FileError* error) {
  Cursor c(data, size);
  const uint8_t* header = c.Take(12);
  if (!header) return Truncated(error, c, "header", 12);
  ClipFileView a;
  a.boneCount = ReadInt32(header);
  a.frameDuration = ReadInt32(header + 4);
  a.frameCount = ReadInt32(header + 8);
  if (a.boneCount < 1 || a.boneCount > kMaxBones) {
    return Fail(error, "bone count %d is outside 1..%d", a.boneCount, kMaxBones);
  }
  if (a.frameDuration < 1)
    return Fail(error, "frame duration %d ms is not positive", a.frameDuration);
  if (a.frameCount < 1) return Fail(error, "frame count %d is not positive", a.frameCount);
  if (int64_t(a.frameCount) * a.frameDuration > INT32_MAX) {
    return Fail(error, "%d frames of %d ms overflow the clip length", a.frameCount,
                a.frameDuration);
  }
  const uint64_t n = uint64_t(a.frameCount);
  if (!(a.rootPositions = c.Take(12 * n))) return Truncated(error, c, "root positions", 12 * n);
  const uint64_t angleBytes = 12 * n * uint64_t(a.boneCount);
  if (!(a.angles = c.Take(angleBytes))) return Truncated(error, c, "bone angles", angleBytes);
  *out = a;
  return true;
}

}  // namespace yulo
