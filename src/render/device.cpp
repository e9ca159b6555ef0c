#include "render/device.h"

#include <cstring>

namespace yulo {

// >>section resources
DeviceResource::DeviceResource(Device* owner) : owner_(owner) {
  if (owner_ == nullptr) return;
  next_ = owner_->resources_;
  if (next_ != nullptr) next_->prev_ = this;
  owner_->resources_ = this;
}

DeviceResource::~DeviceResource() = default;

void DeviceResource::Release() {
  if (owner_ != nullptr) {
    if (prev_ != nullptr) {
      prev_->next_ = next_;
    } else {
      owner_->resources_ = next_;
    }
    if (next_ != nullptr) next_->prev_ = prev_;
  }
  delete this;
}

uint32_t FullMipLevelCount(uint32_t width, uint32_t height) {
  uint32_t largest = width > height ? width : height;
  uint32_t levels = 1;
  while (largest > 1) {
    largest >>= 1;
    ++levels;
  }
  return levels;
}

DeviceTexture::DeviceTexture(Device* owner, uint32_t width, uint32_t height)
    : DeviceResource(owner),
      width_(width),
      height_(height),
      levels_(FullMipLevelCount(width, height)) {}

bool LockRange(uint32_t length, uint32_t offset, uint32_t size, uint32_t* begin, uint32_t* end) {
  if (offset > length) return false;
  const uint32_t last = size == 0 ? length : offset + size;
  // The sum is checked against overflow as well as against the buffer's end.
  if (last < offset || last > length) return false;
  *begin = offset;
  *end = last;
  return true;
}

uint32_t FvfStride(uint32_t fvf) {
  uint32_t stride = 12;
  if (fvf & D3DFVF_NORMAL) stride += 12;
  if (fvf & D3DFVF_PSIZE) stride += 4;
  if (fvf & D3DFVF_DIFFUSE) stride += 4;
  if (fvf & D3DFVF_SPECULAR) stride += 4;
  stride += 8 * ((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT);
  return stride;
}

uint32_t VertexCountOf(PrimitiveType type, uint32_t primitiveCount) {
  if (primitiveCount == 0) return 0;
  switch (type) {
    case D3DPT_POINTLIST:
      return primitiveCount;
    case D3DPT_LINELIST:
      return primitiveCount * 2;
    case D3DPT_LINESTRIP:
      return primitiveCount + 1;
    case D3DPT_TRIANGLELIST:
      return primitiveCount * 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN:
      return primitiveCount + 2;
  }
  return 0;
}

// >>section device
Device::~Device() {
  OrphanResources();
}

void Device::OrphanResources() {
  DeviceResource* resource = resources_;
  resources_ = nullptr;
  while (resource != nullptr) {
    DeviceResource* next = resource->next_;
    resource->prev_ = nullptr;
    resource->next_ = nullptr;
    resource->Orphan();
    resource->owner_ = nullptr;
    resource = next;
  }
}

uint32_t FloatBits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

float BitsFloat(uint32_t value) {
  float f;
  std::memcpy(&f, &value, sizeof f);
  return f;
}

}  // namespace yulo
