#include "render/trace/trace_device.h"

#include <cstring>

namespace yulo {

const char* TraceKindName(TraceKind kind) {
  switch (kind) {
    case TraceKind::SetRenderState:
      return "SetRenderState";
    case TraceKind::SetTextureStageState:
      return "SetTextureStageState";
    case TraceKind::SetTransform:
      return "SetTransform";
    case TraceKind::GetTransform:
      return "GetTransform";
    case TraceKind::SetLight:
      return "SetLight";
    case TraceKind::LightEnable:
      return "LightEnable";
    case TraceKind::SetMaterial:
      return "SetMaterial";
    case TraceKind::SetTexture:
      return "SetTexture";
    case TraceKind::CreateTexture:
      return "CreateTexture";
    case TraceKind::CreateVertexBuffer:
      return "CreateVertexBuffer";
    case TraceKind::CreateIndexBuffer:
      return "CreateIndexBuffer";
    case TraceKind::Lock:
      return "Lock";
    case TraceKind::Unlock:
      return "Unlock";
    case TraceKind::SetStreamSource:
      return "SetStreamSource";
    case TraceKind::SetIndices:
      return "SetIndices";
    case TraceKind::SetVertexShader:
      return "SetVertexShader";
    case TraceKind::DrawPrimitive:
      return "DrawPrimitive";
    case TraceKind::DrawIndexedPrimitive:
      return "DrawIndexedPrimitive";
    case TraceKind::DrawPrimitiveUP:
      return "DrawPrimitiveUP";
    case TraceKind::Clear:
      return "Clear";
    case TraceKind::BeginScene:
      return "BeginScene";
    case TraceKind::EndScene:
      return "EndScene";
    case TraceKind::Present:
      return "Present";
    case TraceKind::TestCooperativeLevel:
      return "TestCooperativeLevel";
    case TraceKind::Reset:
      return "Reset";
  }
  return "?";
}

// >>section resources
// A second lock or a bad range fails.
HResult TraceBufferStore::Lock(TraceDevice* trace, const void* object, uint32_t offset,
                               uint32_t size, uint8_t** data, uint32_t flags) {
  HResult result = D3D_OK;
  if (data == nullptr || locked_) {
    result = D3DERR_INVALIDCALL;
  } else if (!LockRange(static_cast<uint32_t>(bytes_.size()), offset, size, &lockBegin_,
                        &lockEnd_)) {
    *data = nullptr;
    result = D3DERR_INVALIDCALL;
  } else {
    locked_ = true;
    *data = bytes_.data() + lockBegin_;
  }
  if (trace != nullptr) {
    if (TraceRecord* r = trace->Add(TraceKind::Lock)) {
      r->object = object;
      r->start = offset;
      r->count = size;
      r->value = flags;
      r->state = static_cast<uint32_t>(result);
    }
  }
  return result;
}

HResult TraceBufferStore::Unlock(TraceDevice* trace, const void* object) {
  if (!locked_) return D3DERR_INVALIDCALL;
  locked_ = false;
  if (trace != nullptr) {
    if (TraceRecord* r = trace->Add(TraceKind::Unlock)) {
      r->object = object;
      r->start = lockBegin_;
      r->count = lockEnd_ - lockBegin_;
      r->data.assign(bytes_.begin() + lockBegin_, bytes_.begin() + lockEnd_);
    }
  }
  return D3D_OK;
}

TraceVertexBuffer::TraceVertexBuffer(TraceDevice* owner, uint32_t length, uint32_t usage,
                                     uint32_t fvf, Pool pool)
    : VertexBuffer(owner, length, usage, fvf), trace_(owner), pool_(pool), store_(length) {
  ++trace_->liveResources_;
}

TraceVertexBuffer::~TraceVertexBuffer() {
  if (trace_ == nullptr) return;
  --trace_->liveResources_;
  if (trace_->stream_ == this) trace_->stream_ = nullptr;
}

void TraceVertexBuffer::Orphan() {
  trace_ = nullptr;
}

HResult TraceVertexBuffer::Lock(uint32_t offset, uint32_t size, uint8_t** data, uint32_t flags) {
  return store_.Lock(trace_, this, offset, size, data, flags);
}

HResult TraceVertexBuffer::Unlock() {
  return store_.Unlock(trace_, this);
}

TraceIndexBuffer::TraceIndexBuffer(TraceDevice* owner, uint32_t length, uint32_t usage,
                                   Format format, Pool pool)
    : IndexBuffer(owner, length, usage, format), trace_(owner), pool_(pool), store_(length) {
  ++trace_->liveResources_;
}

TraceIndexBuffer::~TraceIndexBuffer() {
  if (trace_ == nullptr) return;
  --trace_->liveResources_;
  if (trace_->indices_ == this) trace_->indices_ = nullptr;
}

void TraceIndexBuffer::Orphan() {
  trace_ = nullptr;
}

HResult TraceIndexBuffer::Lock(uint32_t offset, uint32_t size, uint8_t** data, uint32_t flags) {
  return store_.Lock(trace_, this, offset, size, data, flags);
}

HResult TraceIndexBuffer::Unlock() {
  return store_.Unlock(trace_, this);
}

uint32_t TraceIndexBuffer::IndexAt(uint32_t i) const {
  const size_t size = IndexSize();
  if ((static_cast<size_t>(i) + 1) * size > store_.Bytes().size()) return 0;
  if (size == 2) {
    uint16_t v;
    std::memcpy(&v, store_.Bytes().data() + i * size, 2);
    return v;
  }
  uint32_t v;
  std::memcpy(&v, store_.Bytes().data() + i * size, 4);
  return v;
}

TraceTexture::TraceTexture(TraceDevice* owner, uint32_t width, uint32_t height, const uint8_t* rgba)
    : DeviceTexture(owner, width, height),
      trace_(owner),
      texels_(rgba, rgba + static_cast<size_t>(width) * height * 4) {
  ++trace_->liveResources_;
}

TraceTexture::~TraceTexture() {
  if (trace_ == nullptr) return;
  --trace_->liveResources_;
  if (trace_->texture_ == this) trace_->texture_ = nullptr;
}

void TraceTexture::Orphan() {
  trace_ = nullptr;
}

// >>section device
TraceDevice::TraceDevice() {
  ApplyDeviceDefaults();
}

TraceDevice::~TraceDevice() {
  OrphanResources();
}

// The states a freshly created (or reset) device starts with.
void TraceDevice::ApplyDeviceDefaults() {
  states_.SetDefaults(64.0f);
  for (Matrix4& m : transforms_) m.SetIdentity();
  light_ = Light{};
  lightEnabled_ = false;
  lightSet_ = false;
  material_ = Material{};
  materialSet_ = false;
  texture_ = nullptr;
  stream_ = nullptr;
  streamStride_ = 0;
  indices_ = nullptr;
  baseVertexIndex_ = 0;
  fvf_ = 0;
  inScene_ = false;
}

TraceRecord* TraceDevice::Add(TraceKind kind) {
  if (!recording_) return nullptr;
  records_.emplace_back();
  records_.back().kind = kind;
  return &records_.back();
}

std::vector<const TraceRecord*> TraceDevice::RecordsOf(TraceKind kind) const {
  std::vector<const TraceRecord*> out;
  for (const TraceRecord& r : records_) {
    if (r.kind == kind) out.push_back(&r);
  }
  return out;
}

int TraceDevice::TransformSlot(TransformStateType state) const {
  switch (state) {
    case D3DTS_WORLD:
      return 0;
    case D3DTS_VIEW:
      return 1;
    case D3DTS_PROJECTION:
      return 2;
    case D3DTS_TEXTURE0:
      return 3;
  }
  return -1;
}

uint32_t TraceDevice::RenderState(RenderStateType state) const {
  return state < kRenderStateCount ? states_.render[state] : 0;
}

uint32_t TraceDevice::TextureStageState(uint32_t stage, TextureStageStateType type) const {
  if (stage >= kTextureStageCount || type >= kTextureStageStateCount) return 0;
  return states_.stage[stage][type];
}

const Matrix4& TraceDevice::Transform(TransformStateType state) const {
  const int slot = TransformSlot(state);
  return transforms_[slot < 0 ? 0 : slot];
}

void TraceDevice::SetRenderState(RenderStateType state, uint32_t value) {
  if (state < kRenderStateCount) states_.render[state] = value;
  if (TraceRecord* r = Add(TraceKind::SetRenderState)) {
    r->state = state;
    r->value = value;
  }
}

void TraceDevice::SetTextureStageState(uint32_t stage, TextureStageStateType type, uint32_t value) {
  if (stage < kTextureStageCount && type < kTextureStageStateCount) {
    states_.stage[stage][type] = value;
  }
  if (TraceRecord* r = Add(TraceKind::SetTextureStageState)) {
    r->stage = stage;
    r->state = type;
    r->value = value;
  }
}

void TraceDevice::SetTransform(TransformStateType state, const Matrix4& matrix) {
  const int slot = TransformSlot(state);
  if (slot >= 0) transforms_[slot] = matrix;
  if (TraceRecord* r = Add(TraceKind::SetTransform)) {
    r->state = state;
    r->matrix = matrix;
  }
}

void TraceDevice::GetTransform(TransformStateType state, Matrix4* matrix) {
  const int slot = TransformSlot(state);
  if (matrix != nullptr && slot >= 0) *matrix = transforms_[slot];
  if (TraceRecord* r = Add(TraceKind::GetTransform)) {
    r->state = state;
    if (slot >= 0) r->matrix = transforms_[slot];
  }
}

void TraceDevice::SetLight(uint32_t index, const Light& light) {
  if (index == 0) {
    light_ = light;
    lightSet_ = true;
  }
  if (TraceRecord* r = Add(TraceKind::SetLight)) {
    r->state = index;
    r->light = light;
  }
}

void TraceDevice::LightEnable(uint32_t index, bool enable) {
  if (index == 0) lightEnabled_ = enable;
  if (TraceRecord* r = Add(TraceKind::LightEnable)) {
    r->state = index;
    r->value = enable ? 1 : 0;
  }
}

void TraceDevice::SetMaterial(const Material& material) {
  material_ = material;
  materialSet_ = true;
  if (TraceRecord* r = Add(TraceKind::SetMaterial)) r->material = material;
}

void TraceDevice::SetTexture(uint32_t stage, DeviceTexture* texture) {
  if (stage == 0) texture_ = texture;
  if (TraceRecord* r = Add(TraceKind::SetTexture)) {
    r->stage = stage;
    r->object = texture;
  }
}

DeviceTexture* TraceDevice::CreateTexture(uint32_t width, uint32_t height, const uint8_t* rgba) {
  TraceTexture* texture = nullptr;
  if (!failCreation_ && width > 0 && height > 0 && rgba != nullptr) {
    texture = new TraceTexture(this, width, height, rgba);
    ++texturesCreated_;
  }
  if (TraceRecord* r = Add(TraceKind::CreateTexture)) {
    r->object = texture;
    r->count = width;
    r->numVertices = height;
  }
  return texture;
}

VertexBuffer* TraceDevice::CreateVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf,
                                              Pool pool) {
  TraceVertexBuffer* buffer = nullptr;
  if (!failCreation_ && length > 0) buffer = new TraceVertexBuffer(this, length, usage, fvf, pool);
  if (TraceRecord* r = Add(TraceKind::CreateVertexBuffer)) {
    r->object = buffer;
    r->count = length;
    r->value = fvf;
    r->state = usage;
    r->type = pool;
  }
  return buffer;
}

IndexBuffer* TraceDevice::CreateIndexBuffer(uint32_t length, uint32_t usage, Format format,
                                            Pool pool) {
  TraceIndexBuffer* buffer = nullptr;
  const bool knownFormat = format == D3DFMT_INDEX16 || format == D3DFMT_INDEX32;
  if (!failCreation_ && length > 0 && knownFormat) {
    buffer = new TraceIndexBuffer(this, length, usage, format, pool);
  }
  if (TraceRecord* r = Add(TraceKind::CreateIndexBuffer)) {
    r->object = buffer;
    r->count = length;
    r->value = format;
    r->state = usage;
    r->type = pool;
  }
  return buffer;
}

void TraceDevice::SetStreamSource(uint32_t stream, VertexBuffer* buffer, uint32_t stride) {
  if (stream == 0) {
    stream_ = buffer;
    streamStride_ = stride;
  }
  if (TraceRecord* r = Add(TraceKind::SetStreamSource)) {
    r->stage = stream;
    r->object = buffer;
    r->value = stride;
  }
}

void TraceDevice::SetIndices(IndexBuffer* buffer, uint32_t baseVertexIndex) {
  indices_ = buffer;
  baseVertexIndex_ = baseVertexIndex;
  if (TraceRecord* r = Add(TraceKind::SetIndices)) {
    r->object = buffer;
    r->start = baseVertexIndex;
  }
}

void TraceDevice::SetVertexShader(uint32_t fvf) {
  fvf_ = fvf;
  if (TraceRecord* r = Add(TraceKind::SetVertexShader)) r->value = fvf;
}

void TraceDevice::DrawPrimitive(PrimitiveType type, uint32_t startVertex, uint32_t primitiveCount) {
  ++drawCalls_;
  primitives_ += primitiveCount;
  if (TraceRecord* r = Add(TraceKind::DrawPrimitive)) {
    r->type = type;
    r->start = startVertex;
    r->count = primitiveCount;
    r->object = stream_;
    r->value = streamStride_;
    r->numVertices = VertexCountOf(type, primitiveCount);
  }
}

void TraceDevice::DrawIndexedPrimitive(PrimitiveType type, uint32_t minIndex, uint32_t numVertices,
                                       uint32_t startIndex, uint32_t primitiveCount) {
  ++drawCalls_;
  primitives_ += primitiveCount;
  if (TraceRecord* r = Add(TraceKind::DrawIndexedPrimitive)) {
    r->type = type;
    r->minIndex = minIndex;
    r->numVertices = numVertices;
    r->start = startIndex;
    r->count = primitiveCount;
    r->object = indices_;
    r->value = streamStride_;
  }
}

void TraceDevice::DrawPrimitiveUP(PrimitiveType type, uint32_t primitiveCount, const void* vertices,
                                  uint32_t stride) {
  ++drawCalls_;
  primitives_ += primitiveCount;
  // As on the real API, a draw from memory leaves stream 0 unbound.
  stream_ = nullptr;
  streamStride_ = 0;
  if (TraceRecord* r = Add(TraceKind::DrawPrimitiveUP)) {
    r->type = type;
    r->count = primitiveCount;
    r->value = stride;
    r->object = vertices;
    r->numVertices = VertexCountOf(type, primitiveCount);
    if (vertices != nullptr) {
      const auto* bytes = static_cast<const uint8_t*>(vertices);
      r->data.assign(bytes, bytes + static_cast<size_t>(r->numVertices) * stride);
    }
  }
}

void TraceDevice::Clear(uint32_t count, const void* /*rects*/, uint32_t flags, uint32_t color,
                        float z, uint32_t stencil) {
  if (TraceRecord* r = Add(TraceKind::Clear)) {
    r->count = count;
    r->type = flags;
    r->value = color;
    r->z = z;
    r->start = stencil;
  }
}

void TraceDevice::BeginScene() {
  inScene_ = true;
  Add(TraceKind::BeginScene);
}

void TraceDevice::EndScene() {
  inScene_ = false;
  Add(TraceKind::EndScene);
}

HResult TraceDevice::Present() {
  Add(TraceKind::Present);
  // A lost device presents nothing, whether or not it can be reset yet.
  return cooperativeLevel_ == D3D_OK ? D3D_OK : D3DERR_DEVICELOST;
}

HResult TraceDevice::TestCooperativeLevel() {
  if (TraceRecord* r = Add(TraceKind::TestCooperativeLevel)) {
    r->value = static_cast<uint32_t>(cooperativeLevel_);
  }
  return cooperativeLevel_;
}

HResult TraceDevice::Reset(const PresentParameters& /*params*/) {
  const HResult result = cooperativeLevel_ == D3DERR_DEVICELOST ? D3DERR_DEVICELOST : D3D_OK;
  if (result == D3D_OK) {
    // Managed resources survive; every device state, light and material is lost.
    ApplyDeviceDefaults();
    cooperativeLevel_ = D3D_OK;
  }
  if (TraceRecord* r = Add(TraceKind::Reset)) r->value = static_cast<uint32_t>(result);
  return result;
}

// >>section adapter
uint32_t TraceAdapter::GetAdapterModeCount(uint32_t /*adapter*/) {
  return static_cast<uint32_t>(modes.size());
}

HResult TraceAdapter::EnumAdapterModes(uint32_t /*adapter*/, uint32_t mode, AdapterMode* out) {
  if (mode >= modes.size() || out == nullptr) return D3DERR_INVALIDCALL;
  *out = modes[mode];
  return D3D_OK;
}

HResult TraceAdapter::GetAdapterDisplayMode(uint32_t /*adapter*/, AdapterMode* out) {
  if (out == nullptr) return D3DERR_INVALIDCALL;
  *out = desktop;
  return D3D_OK;
}

namespace {
bool Contains(const std::vector<Format>& list, Format f) {
  for (Format x : list) {
    if (x == f) return true;
  }
  return false;
}
}  // namespace

HResult TraceAdapter::CheckDeviceFormat(uint32_t /*adapter*/, DeviceType /*type*/,
                                        Format /*adapterFormat*/, uint32_t usage,
                                        ResourceType /*resourceType*/, Format checkFormat) {
  if ((usage & D3DUSAGE_DEPTHSTENCIL) == 0) return D3D_OK;
  return Contains(depthFormats, checkFormat) ? D3D_OK : D3DERR_NOTAVAILABLE;
}

HResult TraceAdapter::CheckDepthStencilMatch(uint32_t /*adapter*/, DeviceType /*type*/,
                                             Format /*adapterFormat*/,
                                             Format /*renderTargetFormat*/, Format depthFormat) {
  return Contains(matchingDepthFormats, depthFormat) ? D3D_OK : D3DERR_NOTAVAILABLE;
}

Device* TraceAdapter::CreateDevice(uint32_t /*adapter*/, DeviceType /*type*/, void* window,
                                   uint32_t behaviorFlags, const PresentParameters& params,
                                   HResult* result) {
  ++createCount;
  createdWith = params;
  createdForWindow = window;
  createdBehaviorFlags = behaviorFlags;
  const bool noDepth = params.enableAutoDepthStencil && params.autoDepthStencilFormat == 0;
  if (failCreateDevice || noDepth) {
    if (result != nullptr) *result = D3DERR_INVALIDCALL;
    return nullptr;
  }
  if (result != nullptr) *result = D3D_OK;
  return new TraceDevice();
}

}  // namespace yulo
