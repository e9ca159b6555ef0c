// The recording device: every call becomes a TraceRecord, in order, for exact-sequence
// tests. With recording off it is the null device of CPU benchmarks: it keeps only the
// current states and a few counters. Buffers and textures live in plain memory.
#pragma once

#include <cstdint>
#include <vector>

#include "render/device.h"

namespace yulo {

enum class TraceKind : uint8_t {
  SetRenderState,
  SetTextureStageState,
  SetTransform,
  GetTransform,
  SetLight,
  LightEnable,
  SetMaterial,
  SetTexture,
  CreateTexture,
  CreateVertexBuffer,
  CreateIndexBuffer,
  Lock,    // a vertex or index buffer lock: object, start, count (bytes), flags
  Unlock,  // object, start, count, data = the bytes of the locked range after writing
  SetStreamSource,
  SetIndices,
  SetVertexShader,
  DrawPrimitive,
  DrawIndexedPrimitive,
  DrawPrimitiveUP,
  Clear,
  BeginScene,
  EndScene,
  Present,
  TestCooperativeLevel,
  Reset,
};

// Name of a record kind, for failure messages.
const char* TraceKindName(TraceKind kind);

struct TraceRecord {
  TraceKind kind;
  uint32_t state = 0;  // render state, stage-state type, transform state or light index
  uint32_t value = 0;  // state value; FVF; stride; clear colour; light enable; HResult
  uint32_t stage = 0;  // texture stage; stream number
  uint32_t type = 0;   // primitive type; index format; clear flags
  uint32_t start = 0;  // start vertex / start index / lock offset / base vertex index
  uint32_t count = 0;  // primitive count / bytes / texels wide
  uint32_t minIndex = 0;
  uint32_t numVertices = 0;  // vertices referenced by a draw; texels high for textures
  float z = 0.0f;            // clear depth
  Matrix4 matrix;            // transforms
  Light light{};
  Material material{};
  const void* object = nullptr;  // texture or buffer the call names
  std::vector<uint8_t> data;     // vertices of a user-memory draw; unlocked bytes
};

class TraceDevice;

// The bytes of a trace buffer and its lock; Lock and Unlock are recorded on the device
// (Unlock with a copy of the range that was locked).
class TraceBufferStore {
 public:
  explicit TraceBufferStore(uint32_t length) : bytes_(length, 0) {}
  HResult Lock(TraceDevice* trace, const void* object, uint32_t offset, uint32_t size,
               uint8_t** data, uint32_t flags);
  HResult Unlock(TraceDevice* trace, const void* object);
  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  bool Locked() const { return locked_; }

 private:
  std::vector<uint8_t> bytes_;
  bool locked_ = false;
  uint32_t lockBegin_ = 0;
  uint32_t lockEnd_ = 0;
};

// A buffer of the trace device: its bytes live in Bytes().
class TraceVertexBuffer final : public VertexBuffer {
 public:
  HResult Lock(uint32_t offset, uint32_t size, uint8_t** data, uint32_t flags) override;
  HResult Unlock() override;
  const std::vector<uint8_t>& Bytes() const { return store_.Bytes(); }
  bool Locked() const { return store_.Locked(); }
  Pool PoolType() const { return pool_; }

 private:
  friend class TraceDevice;
  TraceVertexBuffer(TraceDevice* owner, uint32_t length, uint32_t usage, uint32_t fvf, Pool pool);
  ~TraceVertexBuffer() override;
  void Orphan() override;
  TraceDevice* trace_;
  [[maybe_unused]] Pool pool_;
  TraceBufferStore store_;
};

class TraceIndexBuffer final : public IndexBuffer {
 public:
  HResult Lock(uint32_t offset, uint32_t size, uint8_t** data, uint32_t flags) override;
  HResult Unlock() override;
  const std::vector<uint8_t>& Bytes() const { return store_.Bytes(); }
  bool Locked() const { return store_.Locked(); }
  Pool PoolType() const { return pool_; }
  // Index i as stored (16 or 32 bits).
  uint32_t IndexAt(uint32_t i) const;

 private:
  friend class TraceDevice;
  TraceIndexBuffer(TraceDevice* owner, uint32_t length, uint32_t usage, Format format, Pool pool);
  ~TraceIndexBuffer() override;
  void Orphan() override;
  TraceDevice* trace_;
  [[maybe_unused]] Pool pool_;
  TraceBufferStore store_;
};

// A texture of the trace device: the top level's RGBA8 texels as given.
class TraceTexture final : public DeviceTexture {
 public:
  const std::vector<uint8_t>& Texels() const { return texels_; }

 private:
  friend class TraceDevice;
  TraceTexture(TraceDevice* owner, uint32_t width, uint32_t height, const uint8_t* rgba);
  ~TraceTexture() override;
  void Orphan() override;
  TraceDevice* trace_;
  std::vector<uint8_t> texels_;
};

class TraceDevice final : public Device {
 public:
  // Starts with the device defaults (the states a freshly created device has).
  TraceDevice();
  ~TraceDevice() override;

  // >>section recording control
  void SetRecording(bool on) { recording_ = on; }
  bool Recording() const { return recording_; }
  const std::vector<TraceRecord>& Records() const { return records_; }
  void ClearRecords() { records_.clear(); }
  // Records of one kind, in order.
  std::vector<const TraceRecord*> RecordsOf(TraceKind kind) const;

  // Counters kept in both modes.
  uint64_t DrawCalls() const { return drawCalls_; }
  uint64_t PrimitivesDrawn() const { return primitives_; }
  uint32_t TexturesCreated() const { return texturesCreated_; }
  uint32_t LiveResources() const { return liveResources_; }
  void ResetCounters() { drawCalls_ = primitives_ = 0; }

  // What TestCooperativeLevel answers until the next Reset (default D3D_OK).
  void SetCooperativeLevel(HResult level) { cooperativeLevel_ = level; }
  // Makes the next CreateTexture / buffer creations fail (out of memory).
  void SetFailCreation(bool fail) { failCreation_ = fail; }

  // >>section current state
  uint32_t RenderState(RenderStateType state) const;
  uint32_t TextureStageState(uint32_t stage, TextureStageStateType type) const;
  const Matrix4& Transform(TransformStateType state) const;
  const Light& CurrentLight() const { return light_; }
  bool LightEnabled() const { return lightEnabled_; }
  bool LightSet() const { return lightSet_; }
  const Material& CurrentMaterial() const { return material_; }
  bool MaterialSet() const { return materialSet_; }
  DeviceTexture* BoundTexture() const { return texture_; }
  VertexBuffer* StreamSource() const { return stream_; }
  uint32_t StreamStride() const { return streamStride_; }
  IndexBuffer* Indices() const { return indices_; }
  uint32_t Fvf() const { return fvf_; }
  bool InScene() const { return inScene_; }

  // >>section device
  void SetRenderState(RenderStateType state, uint32_t value) override;
  void SetTextureStageState(uint32_t stage, TextureStageStateType type, uint32_t value) override;
  void SetTransform(TransformStateType state, const Matrix4& matrix) override;
  void GetTransform(TransformStateType state, Matrix4* matrix) override;
  void SetLight(uint32_t index, const Light& light) override;
  void LightEnable(uint32_t index, bool enable) override;
  void SetMaterial(const Material& material) override;
  void SetTexture(uint32_t stage, DeviceTexture* texture) override;
  DeviceTexture* CreateTexture(uint32_t width, uint32_t height, const uint8_t* rgba) override;
  VertexBuffer* CreateVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf,
                                   Pool pool) override;
  IndexBuffer* CreateIndexBuffer(uint32_t length, uint32_t usage, Format format,
                                 Pool pool) override;
  void SetStreamSource(uint32_t stream, VertexBuffer* buffer, uint32_t stride) override;
  void SetIndices(IndexBuffer* buffer, uint32_t baseVertexIndex) override;
  void SetVertexShader(uint32_t fvf) override;
  void DrawPrimitive(PrimitiveType type, uint32_t startVertex, uint32_t primitiveCount) override;
  void DrawIndexedPrimitive(PrimitiveType type, uint32_t minIndex, uint32_t numVertices,
                            uint32_t startIndex, uint32_t primitiveCount) override;
  void DrawPrimitiveUP(PrimitiveType type, uint32_t primitiveCount, const void* vertices,
                       uint32_t stride) override;
  void Clear(uint32_t count, const void* rects, uint32_t flags, uint32_t color, float z,
             uint32_t stencil) override;
  void BeginScene() override;
  void EndScene() override;
  HResult Present() override;
  HResult TestCooperativeLevel() override;
  HResult Reset(const PresentParameters& params) override;

 private:
  friend class TraceBufferStore;
  friend class TraceVertexBuffer;
  friend class TraceIndexBuffer;
  friend class TraceTexture;
  TraceRecord* Add(TraceKind kind);
  void ApplyDeviceDefaults();
  int TransformSlot(TransformStateType state) const;

  bool recording_ = true;
  std::vector<TraceRecord> records_;
  uint64_t drawCalls_ = 0;
  uint64_t primitives_ = 0;
  uint32_t texturesCreated_ = 0;
  uint32_t liveResources_ = 0;
  HResult cooperativeLevel_ = D3D_OK;
  bool failCreation_ = false;

  DeviceStateTable states_;
  Matrix4 transforms_[4];  // world, view, projection, texture 0
  Light light_{};
  bool lightEnabled_ = false;
  bool lightSet_ = false;
  Material material_{};
  bool materialSet_ = false;
  DeviceTexture* texture_ = nullptr;
  VertexBuffer* stream_ = nullptr;
  uint32_t streamStride_ = 0;
  IndexBuffer* indices_ = nullptr;
  uint32_t baseVertexIndex_ = 0;
  uint32_t fvf_ = 0;
  bool inScene_ = false;
};

// An adapter with made-up modes for tests of the mode choice and of device creation; tests
// may override a check to make it depend on the display format.
class TraceAdapter : public Adapter {
 public:
  std::vector<AdapterMode> modes;                                      // in enumeration order
  AdapterMode desktop{1024, 768, 60, D3DFMT_X8R8G8B8};                 // GetAdapterDisplayMode
  std::vector<Format> depthFormats{D3DFMT_D24S8, D3DFMT_D16};          // CheckDeviceFormat passes
  std::vector<Format> matchingDepthFormats{D3DFMT_D24S8, D3DFMT_D16};  // and the match
  bool failCreateDevice = false;
  // Filled by CreateDevice.
  PresentParameters createdWith{};
  void* createdForWindow = nullptr;
  uint32_t createdBehaviorFlags = 0;
  int createCount = 0;

  uint32_t GetAdapterModeCount(uint32_t adapter) override;
  HResult EnumAdapterModes(uint32_t adapter, uint32_t mode, AdapterMode* out) override;
  HResult GetAdapterDisplayMode(uint32_t adapter, AdapterMode* out) override;
  HResult CheckDeviceFormat(uint32_t adapter, DeviceType type, Format adapterFormat, uint32_t usage,
                            ResourceType resourceType, Format checkFormat) override;
  HResult CheckDepthStencilMatch(uint32_t adapter, DeviceType type, Format adapterFormat,
                                 Format renderTargetFormat, Format depthFormat) override;
  // A new TraceDevice; fails when failCreateDevice is set or no depth format was given.
  Device* CreateDevice(uint32_t adapter, DeviceType type, void* window, uint32_t behaviorFlags,
                       const PresentParameters& params, HResult* result) override;
};

}  // namespace yulo
