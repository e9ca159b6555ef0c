// The graphics device interface: the subset of a Direct3D 8 device the engine calls, with
// the same enumerations and numeric values, declared here. Callers work left-handed with
// row-vector matrices, depth 0..1, texture v pointing down, exactly as on that API.
//
// A backend provides (checklist for a new one):
//   - a Device subclass implementing every pure virtual operation below;
//   - DeviceTexture, VertexBuffer and IndexBuffer subclasses (Width/Height/LevelCount,
//     Lock/Unlock) whose Orphan() drops backend objects when the device goes first;
//   - an Adapter subclass for display modes, format checks and CreateDevice.
#pragma once

#include <cstdint>
#include <vector>

#include "math/matrix.h"
#include "math/vector.h"

namespace yulo {

// >>section results
using HResult = int32_t;
inline constexpr HResult D3D_OK = 0;
inline constexpr HResult D3DERR_DEVICELOST = static_cast<HResult>(0x88760868u);
inline constexpr HResult D3DERR_DEVICENOTRESET = static_cast<HResult>(0x88760869u);
inline constexpr HResult D3DERR_NOTAVAILABLE = static_cast<HResult>(0x8876086Au);
inline constexpr HResult D3DERR_INVALIDCALL = static_cast<HResult>(0x8876086Cu);
inline constexpr HResult D3DERR_OUTOFVIDEOMEMORY = static_cast<HResult>(0x8876017Cu);

inline constexpr uint32_t D3D_SDK_VERSION = 220;
inline constexpr uint32_t D3DADAPTER_DEFAULT = 0;

// >>section render states
enum RenderStateType : uint32_t {
  D3DRS_ZENABLE = 7,
  D3DRS_FILLMODE = 8,
  D3DRS_SHADEMODE = 9,
  D3DRS_ZWRITEENABLE = 14,
  D3DRS_ALPHATESTENABLE = 15,
  D3DRS_LASTPIXEL = 16,
  D3DRS_SRCBLEND = 19,
  D3DRS_DESTBLEND = 20,
  D3DRS_CULLMODE = 22,
  D3DRS_ZFUNC = 23,
  D3DRS_ALPHAREF = 24,
  D3DRS_ALPHAFUNC = 25,
  D3DRS_DITHERENABLE = 26,
  D3DRS_ALPHABLENDENABLE = 27,
  D3DRS_FOGENABLE = 28,
  D3DRS_SPECULARENABLE = 29,
  D3DRS_FOGCOLOR = 34,
  D3DRS_FOGTABLEMODE = 35,
  D3DRS_FOGSTART = 36,
  D3DRS_FOGEND = 37,
  D3DRS_FOGDENSITY = 38,
  D3DRS_STENCILENABLE = 52,
  D3DRS_TEXTUREFACTOR = 60,
  D3DRS_CLIPPING = 136,
  D3DRS_LIGHTING = 137,
  D3DRS_AMBIENT = 139,
  D3DRS_FOGVERTEXMODE = 140,
  D3DRS_COLORVERTEX = 141,
  D3DRS_LOCALVIEWER = 142,
  D3DRS_NORMALIZENORMALS = 143,
  D3DRS_DIFFUSEMATERIALSOURCE = 145,
  D3DRS_SPECULARMATERIALSOURCE = 146,
  D3DRS_AMBIENTMATERIALSOURCE = 147,
  D3DRS_EMISSIVEMATERIALSOURCE = 148,
  D3DRS_POINTSIZE = 154,
  D3DRS_POINTSIZE_MIN = 155,
  D3DRS_POINTSPRITEENABLE = 156,
  D3DRS_POINTSCALEENABLE = 157,
  D3DRS_POINTSCALE_A = 158,
  D3DRS_POINTSCALE_B = 159,
  D3DRS_POINTSCALE_C = 160,
  D3DRS_POINTSIZE_MAX = 166,
  D3DRS_COLORWRITEENABLE = 168,
  D3DRS_BLENDOP = 171,
};
// States are numbered below this bound; backends keep them in a flat table.
inline constexpr uint32_t kRenderStateCount = 172;

enum ZBufferType : uint32_t { D3DZB_FALSE = 0, D3DZB_TRUE = 1, D3DZB_USEW = 2 };
enum FillMode : uint32_t { D3DFILL_POINT = 1, D3DFILL_WIREFRAME = 2, D3DFILL_SOLID = 3 };
enum ShadeMode : uint32_t { D3DSHADE_FLAT = 1, D3DSHADE_GOURAUD = 2, D3DSHADE_PHONG = 3 };
enum CullMode : uint32_t { D3DCULL_NONE = 1, D3DCULL_CW = 2, D3DCULL_CCW = 3 };
enum CompareFunc : uint32_t {
  D3DCMP_NEVER = 1,
  D3DCMP_LESS = 2,
  D3DCMP_EQUAL = 3,
  D3DCMP_LESSEQUAL = 4,
  D3DCMP_GREATER = 5,
  D3DCMP_NOTEQUAL = 6,
  D3DCMP_GREATEREQUAL = 7,
  D3DCMP_ALWAYS = 8,
};
enum Blend : uint32_t {
  D3DBLEND_ZERO = 1,
  D3DBLEND_ONE = 2,
  D3DBLEND_SRCCOLOR = 3,
  D3DBLEND_INVSRCCOLOR = 4,
  D3DBLEND_SRCALPHA = 5,
  D3DBLEND_INVSRCALPHA = 6,
  D3DBLEND_DESTALPHA = 7,
  D3DBLEND_INVDESTALPHA = 8,
  D3DBLEND_DESTCOLOR = 9,
  D3DBLEND_INVDESTCOLOR = 10,
  D3DBLEND_SRCALPHASAT = 11,
};
enum BlendOp : uint32_t {
  D3DBLENDOP_ADD = 1,
  D3DBLENDOP_SUBTRACT = 2,
  D3DBLENDOP_REVSUBTRACT = 3,
  D3DBLENDOP_MIN = 4,
  D3DBLENDOP_MAX = 5,
};
enum MaterialColorSource : uint32_t { D3DMCS_MATERIAL = 0, D3DMCS_COLOR1 = 1, D3DMCS_COLOR2 = 2 };

// >>section texture-stage states
enum TextureStageStateType : uint32_t {
  D3DTSS_COLOROP = 1,
  D3DTSS_COLORARG1 = 2,
  D3DTSS_COLORARG2 = 3,
  D3DTSS_ALPHAOP = 4,
  D3DTSS_ALPHAARG1 = 5,
  D3DTSS_ALPHAARG2 = 6,
  D3DTSS_TEXCOORDINDEX = 11,
  D3DTSS_ADDRESSU = 13,
  D3DTSS_ADDRESSV = 14,
  D3DTSS_BORDERCOLOR = 15,
  D3DTSS_MAGFILTER = 16,
  D3DTSS_MINFILTER = 17,
  D3DTSS_MIPFILTER = 18,
  D3DTSS_MIPMAPLODBIAS = 19,
  D3DTSS_MAXMIPLEVEL = 20,
  D3DTSS_MAXANISOTROPY = 21,
  D3DTSS_TEXTURETRANSFORMFLAGS = 24,
  D3DTSS_ADDRESSW = 25,
};
inline constexpr uint32_t kTextureStageStateCount = 29;
inline constexpr uint32_t kTextureStageCount = 8;

enum TextureOp : uint32_t {
  D3DTOP_DISABLE = 1,
  D3DTOP_SELECTARG1 = 2,
  D3DTOP_SELECTARG2 = 3,
  D3DTOP_MODULATE = 4,
  D3DTOP_MODULATE2X = 5,
  D3DTOP_MODULATE4X = 6,
  D3DTOP_ADD = 7,
};
enum TextureArg : uint32_t {
  D3DTA_DIFFUSE = 0,
  D3DTA_CURRENT = 1,
  D3DTA_TEXTURE = 2,
  D3DTA_TFACTOR = 3,
  D3DTA_SPECULAR = 4,
};
enum TextureAddress : uint32_t {
  D3DTADDRESS_WRAP = 1,
  D3DTADDRESS_MIRROR = 2,
  D3DTADDRESS_CLAMP = 3,
  D3DTADDRESS_BORDER = 4,
  D3DTADDRESS_MIRRORONCE = 5,
};
enum TextureFilter : uint32_t {
  D3DTEXF_NONE = 0,
  D3DTEXF_POINT = 1,
  D3DTEXF_LINEAR = 2,
  D3DTEXF_ANISOTROPIC = 3,
};
enum TextureTransformFlags : uint32_t {
  D3DTTFF_DISABLE = 0,
  D3DTTFF_COUNT1 = 1,
  D3DTTFF_COUNT2 = 2,
  D3DTTFF_COUNT3 = 3,
  D3DTTFF_COUNT4 = 4,
  D3DTTFF_PROJECTED = 256,
};

// >>section transforms, primitives, vertex formats
enum TransformStateType : uint32_t {
  D3DTS_VIEW = 2,
  D3DTS_PROJECTION = 3,
  D3DTS_TEXTURE0 = 16,
  D3DTS_WORLD = 256,
};

enum PrimitiveType : uint32_t {
  D3DPT_POINTLIST = 1,
  D3DPT_LINELIST = 2,
  D3DPT_LINESTRIP = 3,
  D3DPT_TRIANGLELIST = 4,
  D3DPT_TRIANGLESTRIP = 5,
  D3DPT_TRIANGLEFAN = 6,
};

// Flexible vertex format bits. Elements are laid out in this order: position (12),
// normal (12), point size (4), diffuse (4), specular (4), texture coordinates (8 per set).
inline constexpr uint32_t D3DFVF_XYZ = 0x002;
inline constexpr uint32_t D3DFVF_NORMAL = 0x010;
inline constexpr uint32_t D3DFVF_PSIZE = 0x020;
inline constexpr uint32_t D3DFVF_DIFFUSE = 0x040;
inline constexpr uint32_t D3DFVF_SPECULAR = 0x080;
inline constexpr uint32_t D3DFVF_TEXCOUNT_MASK = 0xF00;
inline constexpr uint32_t D3DFVF_TEXCOUNT_SHIFT = 8;
inline constexpr uint32_t D3DFVF_TEX0 = 0x000;
inline constexpr uint32_t D3DFVF_TEX1 = 0x100;

inline constexpr uint32_t D3DCLEAR_TARGET = 0x1;
inline constexpr uint32_t D3DCLEAR_ZBUFFER = 0x2;
inline constexpr uint32_t D3DCLEAR_STENCIL = 0x4;

// >>section resources
enum Format : uint32_t {
  D3DFMT_UNKNOWN = 0,
  D3DFMT_R8G8B8 = 20,
  D3DFMT_A8R8G8B8 = 21,
  D3DFMT_X8R8G8B8 = 22,
  D3DFMT_R5G6B5 = 23,
  D3DFMT_X1R5G5B5 = 24,
  D3DFMT_A1R5G5B5 = 25,
  D3DFMT_D16_LOCKABLE = 70,
  D3DFMT_D32 = 71,
  D3DFMT_D15S1 = 73,
  D3DFMT_D24S8 = 75,
  D3DFMT_D24X8 = 77,
  D3DFMT_D24X4S4 = 79,
  D3DFMT_D16 = 80,
  D3DFMT_INDEX16 = 101,
  D3DFMT_INDEX32 = 102,
};

enum Pool : uint32_t { D3DPOOL_DEFAULT = 0, D3DPOOL_MANAGED = 1, D3DPOOL_SYSTEMMEM = 2 };

inline constexpr uint32_t D3DUSAGE_RENDERTARGET = 0x001;
inline constexpr uint32_t D3DUSAGE_DEPTHSTENCIL = 0x002;
inline constexpr uint32_t D3DUSAGE_WRITEONLY = 0x008;
inline constexpr uint32_t D3DUSAGE_DYNAMIC = 0x200;

inline constexpr uint32_t D3DLOCK_NOOVERWRITE = 0x1000;
inline constexpr uint32_t D3DLOCK_DISCARD = 0x2000;

enum ResourceType : uint32_t { D3DRTYPE_SURFACE = 1, D3DRTYPE_TEXTURE = 3 };
enum DeviceType : uint32_t { D3DDEVTYPE_HAL = 1, D3DDEVTYPE_REF = 2 };

inline constexpr uint32_t D3DCREATE_SOFTWARE_VERTEXPROCESSING = 0x20;

// The render and texture-stage states of a device, as flat tables indexed by state.
struct DeviceStateTable {
  uint32_t render[kRenderStateCount];
  uint32_t stage[kTextureStageCount][kTextureStageStateCount];
  // The values a freshly created or reset device has (POINTSIZE_MAX: maxPointSize).
  void SetDefaults(float maxPointSize);
};

// >>section lights and materials
struct ColorValue {
  float r;
  float g;
  float b;
  float a;
};
static_assert(sizeof(ColorValue) == 16);

enum LightType : uint32_t {
  D3DLIGHT_POINT = 1,
  D3DLIGHT_SPOT = 2,
  D3DLIGHT_DIRECTIONAL = 3,
};

// A light with the members and layout of the API's light record (104 bytes).
struct Light {
  LightType type;
  ColorValue diffuse;
  ColorValue specular;
  ColorValue ambient;
  Vector3 position;
  Vector3 direction;  // a directional light travels along this vector
  float range;
  float falloff;
  float attenuation0;
  float attenuation1;
  float attenuation2;
  float theta;
  float phi;
};
static_assert(sizeof(Light) == 104);

// A material with the members and layout of the API's material record (68 bytes).
struct Material {
  ColorValue diffuse;
  ColorValue ambient;
  ColorValue specular;
  ColorValue emissive;
  float power;
};
static_assert(sizeof(Material) == 68);

// >>section presentation
inline constexpr uint32_t D3DMULTISAMPLE_NONE = 0;
inline constexpr uint32_t D3DSWAPEFFECT_DISCARD = 1;
inline constexpr uint32_t D3DPRESENTFLAG_LOCKABLE_BACKBUFFER = 0x1;
inline constexpr uint32_t D3DPRESENT_INTERVAL_DEFAULT = 0;
inline constexpr uint32_t D3DPRESENT_INTERVAL_ONE = 1;
inline constexpr uint32_t D3DPRESENT_INTERVAL_IMMEDIATE = 0x80000000u;

// The creation and reset parameters, member for member.
struct PresentParameters {
  uint32_t backBufferWidth;   // 0 in a window: the client size
  uint32_t backBufferHeight;  // 0 in a window: the client size
  Format backBufferFormat;
  uint32_t backBufferCount;
  uint32_t multiSampleType;
  uint32_t swapEffect;
  void* deviceWindow;  // the platform window (an SDL_Window* on the SDL backend)
  int32_t windowed;
  int32_t enableAutoDepthStencil;
  Format autoDepthStencilFormat;
  uint32_t flags;
  uint32_t fullScreenRefreshRateInHz;
  uint32_t fullScreenPresentationInterval;
};

// One display mode of an adapter.
struct AdapterMode {
  uint32_t width;
  uint32_t height;
  uint32_t refreshRate;  // Hz, 0 when unknown
  Format format;
};

// >>section resources
class Device;

// Something a device created. Release() destroys it; when the device is destroyed first,
// the resource is orphaned: it stays a valid object whose only remaining use is Release().
class DeviceResource {
 public:
  DeviceResource(const DeviceResource&) = delete;
  DeviceResource& operator=(const DeviceResource&) = delete;

  // Destroys the resource and whatever the backend holds for it.
  void Release();
  // The device that created it, or nullptr once that device is gone.
  Device* Owner() const { return owner_; }

 protected:
  explicit DeviceResource(Device* owner);
  virtual ~DeviceResource();
  // Called when the owning device goes away: free backend objects, keep the C++ object.
  virtual void Orphan() { owner_ = nullptr; }

 private:
  friend class Device;
  Device* owner_;
  DeviceResource* prev_ = nullptr;
  DeviceResource* next_ = nullptr;
};

// A 2-D texture with a full mip chain, RGBA with its own alpha, in the managed pool.
class DeviceTexture : public DeviceResource {
 public:
  uint32_t Width() const { return width_; }    // texels of the top level
  uint32_t Height() const { return height_; }  // texels of the top level
  uint32_t LevelCount() const { return levels_; }

 protected:
  DeviceTexture(Device* owner, uint32_t width, uint32_t height);

 private:
  uint32_t width_;
  uint32_t height_;
  uint32_t levels_;
};

// Number of levels of a full mip chain down to 1x1 for a w x h top level.
uint32_t FullMipLevelCount(uint32_t width, uint32_t height);

// Vertex data in a device buffer. Lock gives the bytes [offset, offset + size) (size 0:
// to the end) for writing until Unlock; a range outside the buffer fails.
class VertexBuffer : public DeviceResource {
 public:
  virtual HResult Lock(uint32_t offset, uint32_t size, uint8_t** data, uint32_t flags) = 0;
  virtual HResult Unlock() = 0;
  uint32_t Length() const { return length_; }  // bytes
  uint32_t Usage() const { return usage_; }
  uint32_t Fvf() const { return fvf_; }

 protected:
  VertexBuffer(Device* owner, uint32_t length, uint32_t usage, uint32_t fvf)
      : DeviceResource(owner), length_(length), usage_(usage), fvf_(fvf) {}

 private:
  uint32_t length_;
  uint32_t usage_;
  uint32_t fvf_;
};

// 16- or 32-bit indices in a device buffer; Lock as for VertexBuffer.
class IndexBuffer : public DeviceResource {
 public:
  virtual HResult Lock(uint32_t offset, uint32_t size, uint8_t** data, uint32_t flags) = 0;
  virtual HResult Unlock() = 0;
  uint32_t Length() const { return length_; }  // bytes
  uint32_t Usage() const { return usage_; }
  Format IndexFormat() const { return format_; }  // D3DFMT_INDEX16 or D3DFMT_INDEX32
  uint32_t IndexSize() const { return format_ == D3DFMT_INDEX32 ? 4 : 2; }

 protected:
  IndexBuffer(Device* owner, uint32_t length, uint32_t usage, Format format)
      : DeviceResource(owner), length_(length), usage_(usage), format_(format) {}

 private:
  uint32_t length_;
  uint32_t usage_;
  Format format_;
};

// Checks a lock request against a buffer of length bytes; on success *begin/*end is the
// byte range. Shared by the backends so every one refuses the same bad requests.
bool LockRange(uint32_t length, uint32_t offset, uint32_t size, uint32_t* begin, uint32_t* end);

// Byte size of one vertex of a flexible vertex format (position assumed present), with
// 8 bytes per texture set of the format's texture count: what a backend reads. The
// renderer's UserVertexStride counts the D3DFVF_TEX1 bit alone, on purpose; the two agree
// on every format the engine draws (none has more than one texture set).
uint32_t FvfStride(uint32_t fvf);
// Vertices used by count primitives of the given type; 0 when that is more than 32 bits hold.
uint32_t VertexCountOf(PrimitiveType type, uint32_t primitiveCount);

// >>section device
class Device {
 public:
  Device() = default;
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;
  // Orphans every resource still alive (they stay safe to Release afterwards).
  virtual ~Device();

  virtual void SetRenderState(RenderStateType state, uint32_t value) = 0;
  virtual void SetTextureStageState(uint32_t stage, TextureStageStateType type, uint32_t value) = 0;
  virtual void SetTransform(TransformStateType state, const Matrix4& matrix) = 0;
  virtual void GetTransform(TransformStateType state, Matrix4* matrix) = 0;
  virtual void SetLight(uint32_t index, const Light& light) = 0;
  virtual void LightEnable(uint32_t index, bool enable) = 0;
  virtual void SetMaterial(const Material& material) = 0;
  // Binds texture (nullptr: none) to a stage; untextured stages pass the diffuse colour.
  virtual void SetTexture(uint32_t stage, DeviceTexture* texture) = 0;

  // A managed texture from width x height RGBA8 texels (row 0 at the top, 4 bytes per
  // texel, no padding) with a full mip chain made by the device. The device may shrink a
  // picture beyond its largest size (Width/Height then tell). nullptr on failure.
  virtual DeviceTexture* CreateTexture(uint32_t width, uint32_t height, const uint8_t* rgba) = 0;
  // A vertex buffer of length bytes; contents undefined until written. nullptr on failure.
  virtual VertexBuffer* CreateVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf,
                                           Pool pool) = 0;
  // An index buffer of length bytes of D3DFMT_INDEX16 or D3DFMT_INDEX32 indices.
  virtual IndexBuffer* CreateIndexBuffer(uint32_t length, uint32_t usage, Format format,
                                         Pool pool) = 0;

  // Stream 0 reads vertices from buffer (nullptr: unbound) with stride bytes per vertex.
  virtual void SetStreamSource(uint32_t stream, VertexBuffer* buffer, uint32_t stride) = 0;
  // Indices for DrawIndexedPrimitive; baseVertexIndex is added to every index.
  virtual void SetIndices(IndexBuffer* buffer, uint32_t baseVertexIndex) = 0;
  // The vertex format (FVF bits) of the following draws.
  virtual void SetVertexShader(uint32_t fvf) = 0;

  // Draws from the stream-0 buffer, starting at vertex startVertex.
  virtual void DrawPrimitive(PrimitiveType type, uint32_t startVertex, uint32_t primitiveCount) = 0;
  // Draws with the index buffer: indices from startIndex; minIndex and numVertices bound
  // the vertices the indices refer to (relative to the base vertex index).
  virtual void DrawIndexedPrimitive(PrimitiveType type, uint32_t minIndex, uint32_t numVertices,
                                    uint32_t startIndex, uint32_t primitiveCount) = 0;
  // Draws vertices read from caller memory, stride bytes apart; leaves stream 0 unbound.
  virtual void DrawPrimitiveUP(PrimitiveType type, uint32_t primitiveCount, const void* vertices,
                               uint32_t stride) = 0;

  // Clears the whole target (rects unused, count 0) by flags D3DCLEAR_*.
  virtual void Clear(uint32_t count, const void* rects, uint32_t flags, uint32_t color, float z,
                     uint32_t stencil) = 0;
  virtual void BeginScene() = 0;
  virtual void EndScene() = 0;
  // Shows the finished frame.
  virtual HResult Present() = 0;
  // D3D_OK, D3DERR_DEVICELOST, or D3DERR_DEVICENOTRESET when Reset may be called.
  virtual HResult TestCooperativeLevel() = 0;
  // Restores a lost device with these parameters; device states return to the defaults.
  virtual HResult Reset(const PresentParameters& params) = 0;

  // The finished frame (call between EndScene and Present) as RGBA8 texels, row 0 at the
  // top, in *rgba (resized; its capacity is reused from frame to frame). False when the
  // backend cannot read its frames back.
  virtual bool ReadFrame(std::vector<uint8_t>* /*rgba*/, uint32_t* /*width*/,
                         uint32_t* /*height*/) {
    return false;
  }

 protected:
  // Calls Orphan() on every live resource; backends call it before their own teardown.
  void OrphanResources();

 private:
  friend class DeviceResource;
  DeviceResource* resources_ = nullptr;
};

// >>section adapter
// The display adapter: modes, format support and device creation.
class Adapter {
 public:
  virtual ~Adapter() = default;

  virtual uint32_t GetAdapterModeCount(uint32_t adapter) = 0;
  virtual HResult EnumAdapterModes(uint32_t adapter, uint32_t mode, AdapterMode* out) = 0;
  // The desktop's current mode.
  virtual HResult GetAdapterDisplayMode(uint32_t adapter, AdapterMode* out) = 0;
  virtual HResult CheckDeviceFormat(uint32_t adapter, DeviceType type, Format adapterFormat,
                                    uint32_t usage, ResourceType resourceType,
                                    Format checkFormat) = 0;
  virtual HResult CheckDepthStencilMatch(uint32_t adapter, DeviceType type, Format adapterFormat,
                                         Format renderTargetFormat, Format depthFormat) = 0;
  // A device for window per params; nullptr with the failure in *result.
  virtual Device* CreateDevice(uint32_t adapter, DeviceType type, void* window,
                               uint32_t behaviorFlags, const PresentParameters& params,
                               HResult* result) = 0;
  // The message CreateRenderer shows when CreateDevice failed, in the platform's words.
  virtual const char* DeviceFailureText() const { return "Can't init Direct3D"; }
};

// The 32-bit pattern of a float, as float-valued states take it.
uint32_t FloatBits(float value);
// The float whose pattern a state value holds.
float BitsFloat(uint32_t value);

}  // namespace yulo
