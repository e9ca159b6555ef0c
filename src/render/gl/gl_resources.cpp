#include "render/gl/gl_resources.h"

#include <cstring>

#include "render/texels.h"

namespace yulo {

// >>section textures
GlTexture::~GlTexture() {
  ForgetGlResource(Owner(), this);
  Orphan();
}

void GlTexture::Orphan() {
  if (name_ != 0) glDeleteTextures(1, &name_);
  name_ = 0;
}

GLuint MakeGlTexture(const uint8_t* rgba, uint32_t* width, uint32_t* height, uint32_t maxSize) {
  // Levels are made by the engine's own box filter, as the other backend makes them, not
  // left to the driver's resampling.
  std::vector<uint8_t> scratch[2];
  const uint8_t* texels = rgba;
  while (*width > maxSize || *height > maxSize) HalveIntoScratch(scratch, &texels, width, height);
  GLuint name = 0;
  glGenTextures(1, &name);
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, name);
  uint32_t w = *width;
  uint32_t h = *height;
  for (GLint level = 0;; ++level) {
    glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, static_cast<GLsizei>(w), static_cast<GLsizei>(h),
                 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
    if (glGetError() != GL_NO_ERROR) {
      glDeleteTextures(1, &name);
      return 0;
    }
    if (w == 1 && h == 1) break;
    HalveIntoScratch(scratch, &texels, &w, &h);
  }
  return name;
}

// >>section buffers
// Buffers are filled through the copy-write binding point, which no vertex array keeps:
// the device's cached vertex array and element bindings stay as they were.
GlBufferData::GlBufferData(uint32_t length, bool dynamic) : bytes_(length, 0) {
  glGenBuffers(1, &name_);
  glBindBuffer(GL_COPY_WRITE_BUFFER, name_);
  glBufferData(GL_COPY_WRITE_BUFFER, length, nullptr, dynamic ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
}

HResult GlBufferData::Lock(uint32_t offset, uint32_t size, uint8_t** data) {
  if (data == nullptr || locked_) return D3DERR_INVALIDCALL;
  if (!LockRange(static_cast<uint32_t>(bytes_.size()), offset, size, &begin_, &end_)) {
    *data = nullptr;
    return D3DERR_INVALIDCALL;
  }
  locked_ = true;
  *data = bytes_.data() + begin_;
  return D3D_OK;
}

HResult GlBufferData::Unlock() {
  if (!locked_) return D3DERR_INVALIDCALL;
  locked_ = false;
  if (name_ != 0 && end_ > begin_) {
    glBindBuffer(GL_COPY_WRITE_BUFFER, name_);
    glBufferSubData(GL_COPY_WRITE_BUFFER, begin_, end_ - begin_, bytes_.data() + begin_);
  }
  return D3D_OK;
}

void GlBufferData::Delete() {
  if (name_ != 0) glDeleteBuffers(1, &name_);
  name_ = 0;
}

GlVertexBuffer::~GlVertexBuffer() {
  ForgetGlResource(Owner(), this);
  Orphan();
}

HResult GlIndexBuffer::Unlock() {
  const HResult result = data_.Unlock();
  // Indices change only here: the largest of all is worked out once per write.
  if (result == D3D_OK) largestIndex_ = MaxIndex(0, Length() / IndexSize());
  return result;
}

uint32_t GlIndexBuffer::MaxIndex(uint32_t first, uint32_t count) const {
  const uint8_t* p = data_.Bytes().data();
  uint32_t largest = 0;
  for (uint32_t i = first; i < first + count; ++i) {
    uint32_t v;
    if (IndexSize() == 2) {
      uint16_t s;
      std::memcpy(&s, p + static_cast<size_t>(i) * 2, 2);
      v = s;
    } else {
      std::memcpy(&v, p + static_cast<size_t>(i) * 4, 4);
    }
    if (v > largest) largest = v;
  }
  return largest;
}

GlIndexBuffer::~GlIndexBuffer() {
  ForgetGlResource(Owner(), this);
  Orphan();
}

}  // namespace yulo
