// The GL backend's textures and buffers (internal to the GL backend).
#pragma once

#include <epoxy/gl.h>

#include <cstdint>
#include <vector>

#include "render/device.h"

namespace yulo {

// Called by a resource of owner as it goes, so that the device lets go of it first
// (defined with the device).
void ForgetGlResource(Device* owner, const void* resource);

class GlTexture final : public DeviceTexture {
 public:
  GlTexture(Device* owner, uint32_t w, uint32_t h, GLuint name, bool opaque)
      : DeviceTexture(owner, w, h), name_(name), opaque_(opaque) {}
  GLuint Name() const { return name_; }
  // Every texel has alpha 255, in every mip level (averages of 255 are 255).
  bool Opaque() const { return opaque_; }

 private:
  ~GlTexture() override;
  void Orphan() override;
  GLuint name_;
  bool opaque_;
};

// A texture object with the full mip chain of width x height RGBA8 texels; a picture
// larger than maxSize on a side is halved until it fits (*width, *height: what was made).
// 0 when GL refuses it. Leaves the texture bound to unit 0.
GLuint MakeGlTexture(const uint8_t* rgba, uint32_t* width, uint32_t* height, uint32_t maxSize);

// The bytes of a device buffer live in memory (what Lock hands out) and in a GL buffer,
// refreshed at Unlock from the locked range only.
class GlBufferData {
 public:
  GlBufferData(uint32_t length, bool dynamic);
  HResult Lock(uint32_t offset, uint32_t size, uint8_t** data);
  HResult Unlock();
  void Delete();
  GLuint Name() const { return name_; }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  GLuint name_ = 0;
  bool locked_ = false;
  uint32_t begin_ = 0;
  uint32_t end_ = 0;
};

class GlVertexBuffer final : public VertexBuffer {
 public:
  GlVertexBuffer(Device* owner, uint32_t length, uint32_t usage, uint32_t fvf)
      : VertexBuffer(owner, length, usage, fvf), data_(length, (usage & D3DUSAGE_DYNAMIC) != 0) {}
  HResult Lock(uint32_t offset, uint32_t size, uint8_t** data, uint32_t /*flags*/) override {
    return data_.Lock(offset, size, data);
  }
  HResult Unlock() override { return data_.Unlock(); }
  GLuint Name() const { return data_.Name(); }
  const std::vector<uint8_t>& Bytes() const { return data_.Bytes(); }

 private:
  ~GlVertexBuffer() override;
  void Orphan() override { data_.Delete(); }
  GlBufferData data_;
};

class GlIndexBuffer final : public IndexBuffer {
 public:
  GlIndexBuffer(Device* owner, uint32_t length, uint32_t usage, Format format)
      : IndexBuffer(owner, length, usage, format), data_(length, (usage & D3DUSAGE_DYNAMIC) != 0) {}
  HResult Lock(uint32_t offset, uint32_t size, uint8_t** data, uint32_t /*flags*/) override {
    return data_.Lock(offset, size, data);
  }
  HResult Unlock() override;
  GLuint Name() const { return data_.Name(); }
  const std::vector<uint8_t>& Bytes() const { return data_.Bytes(); }
  // The largest index anywhere in the buffer, as of the last Unlock.
  uint32_t LargestIndex() const { return largestIndex_; }
  // The largest index in [first, first + count), for bounds checks before a draw.
  uint32_t MaxIndex(uint32_t first, uint32_t count) const;

 private:
  ~GlIndexBuffer() override;
  void Orphan() override { data_.Delete(); }
  GlBufferData data_;
  uint32_t largestIndex_ = 0;
};

}  // namespace yulo
