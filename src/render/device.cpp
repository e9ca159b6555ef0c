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
  const uint64_t n = primitiveCount;
  uint64_t count = 0;
  switch (type) {
    case D3DPT_POINTLIST:
      count = n;
      break;
    case D3DPT_LINELIST:
      count = n * 2;
      break;
    case D3DPT_LINESTRIP:
      count = n + 1;
      break;
    case D3DPT_TRIANGLELIST:
      count = n * 3;
      break;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN:
      count = n + 2;
      break;
  }
  // A count past what 32 bits hold names no vertex range at all: nothing, not a wrapped one.
  return primitiveCount == 0 || count > UINT32_MAX ? 0 : static_cast<uint32_t>(count);
}

// >>section state table
void DeviceStateTable::SetDefaults(float maxPointSize) {
  std::memset(render, 0, sizeof render);
  render[D3DRS_ZENABLE] = D3DZB_TRUE;
  render[D3DRS_FILLMODE] = D3DFILL_SOLID;
  render[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
  render[D3DRS_ZWRITEENABLE] = 1;
  render[D3DRS_LASTPIXEL] = 1;
  render[D3DRS_SRCBLEND] = D3DBLEND_ONE;
  render[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
  render[D3DRS_CULLMODE] = D3DCULL_CCW;
  render[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
  render[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
  render[D3DRS_DITHERENABLE] = 0;
  render[D3DRS_CLIPPING] = 1;
  render[D3DRS_LIGHTING] = 1;
  render[D3DRS_COLORVERTEX] = 1;
  render[D3DRS_LOCALVIEWER] = 1;
  render[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
  render[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
  render[D3DRS_AMBIENTMATERIALSOURCE] = D3DMCS_MATERIAL;
  render[D3DRS_EMISSIVEMATERIALSOURCE] = D3DMCS_MATERIAL;
  render[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFFu;
  render[D3DRS_POINTSIZE] = FloatBits(1.0f);
  render[D3DRS_POINTSCALE_A] = FloatBits(1.0f);
  render[D3DRS_POINTSIZE_MAX] = FloatBits(maxPointSize);
  render[D3DRS_COLORWRITEENABLE] = 0xF;
  render[D3DRS_BLENDOP] = D3DBLENDOP_ADD;

  std::memset(stage, 0, sizeof stage);
  for (uint32_t s = 0; s < kTextureStageCount; ++s) {
    uint32_t* st = stage[s];
    st[D3DTSS_COLOROP] = s == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
    st[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
    st[D3DTSS_COLORARG2] = D3DTA_CURRENT;
    st[D3DTSS_ALPHAOP] = s == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
    st[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
    st[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
    st[D3DTSS_TEXCOORDINDEX] = s;
    st[D3DTSS_ADDRESSU] = D3DTADDRESS_WRAP;
    st[D3DTSS_ADDRESSV] = D3DTADDRESS_WRAP;
    st[D3DTSS_ADDRESSW] = D3DTADDRESS_WRAP;
    st[D3DTSS_MAGFILTER] = D3DTEXF_POINT;
    st[D3DTSS_MINFILTER] = D3DTEXF_POINT;
    st[D3DTSS_MIPFILTER] = D3DTEXF_NONE;
    st[D3DTSS_MAXANISOTROPY] = 1;
  }
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
