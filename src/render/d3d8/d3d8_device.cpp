#include "render/d3d8/d3d8_device.h"

#include <windows.h>
// clang-format off
#include <d3d8.h>
// clang-format on

#include <cstring>
#include <vector>

#include "render/texels.h"

namespace yulo {

// The engine's records and enumerations mirror the API's; the casts below rely on it.
static_assert(sizeof(Matrix4) == sizeof(D3DMATRIX));
static_assert(sizeof(Light) == sizeof(D3DLIGHT8));
static_assert(sizeof(Material) == sizeof(D3DMATERIAL8));
static_assert(sizeof(ColorValue) == sizeof(D3DCOLORVALUE));
static_assert(uint32_t{D3DRS_POINTSIZE_MAX} == uint32_t{::D3DRS_POINTSIZE_MAX});
static_assert(uint32_t{D3DTSS_TEXTURETRANSFORMFLAGS} == uint32_t{::D3DTSS_TEXTURETRANSFORMFLAGS});
static_assert(uint32_t{D3DFMT_D24X4S4} == uint32_t{::D3DFMT_D24X4S4});
static_assert(uint32_t{D3DFMT_INDEX32} == uint32_t{::D3DFMT_INDEX32});
// d3d8.h defines the result codes as macros: from here on they name the API's values,
// which equal the engine's.

namespace {

constexpr char kOffscreenClass[] = "YuloOffscreen";

template <typename T>
void ReleaseCom(T*& object) {
  if (object != nullptr) object->Release();
  object = nullptr;
}

D3DPRESENT_PARAMETERS ToD3d(const PresentParameters& p) {
  D3DPRESENT_PARAMETERS d{};
  d.BackBufferWidth = p.backBufferWidth;
  d.BackBufferHeight = p.backBufferHeight;
  d.BackBufferFormat = static_cast<D3DFORMAT>(p.backBufferFormat);
  d.BackBufferCount = p.backBufferCount;
  d.MultiSampleType = static_cast<D3DMULTISAMPLE_TYPE>(p.multiSampleType);
  d.SwapEffect = static_cast<D3DSWAPEFFECT>(p.swapEffect);
  d.hDeviceWindow = static_cast<HWND>(p.deviceWindow);
  d.Windowed = p.windowed;
  d.EnableAutoDepthStencil = p.enableAutoDepthStencil;
  d.AutoDepthStencilFormat = static_cast<D3DFORMAT>(p.autoDepthStencilFormat);
  d.Flags = p.flags;
  d.FullScreen_RefreshRateInHz = p.fullScreenRefreshRateInHz;
  d.FullScreen_PresentationInterval = p.fullScreenPresentationInterval;
  return d;
}

// >>section resources
class D3d8Texture final : public DeviceTexture {
 public:
  D3d8Texture(Device* owner, uint32_t width, uint32_t height, IDirect3DTexture8* texture)
      : DeviceTexture(owner, width, height), texture_(texture) {}
  IDirect3DTexture8* Get() const { return texture_; }

 protected:
  ~D3d8Texture() override { ReleaseCom(texture_); }
  void Orphan() override {
    ReleaseCom(texture_);
    DeviceTexture::Orphan();
  }

 private:
  IDirect3DTexture8* texture_;
};

// Lock and Unlock of a vertex or index buffer: the byte range checked as on every device.
template <class ComBuffer>
HResult LockComBuffer(ComBuffer* buffer, uint32_t length, uint32_t offset, uint32_t size,
                      uint8_t** data, uint32_t flags) {
  uint32_t begin = 0;
  uint32_t end = 0;
  if (buffer == nullptr || data == nullptr || !LockRange(length, offset, size, &begin, &end)) {
    return D3DERR_INVALIDCALL;
  }
  BYTE* bytes = nullptr;
  const HRESULT result = buffer->Lock(begin, end - begin, &bytes, flags);
  *data = SUCCEEDED(result) ? bytes : nullptr;
  return static_cast<HResult>(result);
}

template <class ComBuffer>
HResult UnlockComBuffer(ComBuffer* buffer) {
  return buffer != nullptr ? static_cast<HResult>(buffer->Unlock()) : D3DERR_INVALIDCALL;
}

class D3d8VertexBuffer final : public VertexBuffer {
 public:
  D3d8VertexBuffer(Device* owner, uint32_t length, uint32_t usage, uint32_t fvf,
                   IDirect3DVertexBuffer8* buffer)
      : VertexBuffer(owner, length, usage, fvf), buffer_(buffer) {}
  IDirect3DVertexBuffer8* Get() const { return buffer_; }

  HResult Lock(uint32_t offset, uint32_t size, uint8_t** data, uint32_t flags) override {
    return LockComBuffer(buffer_, Length(), offset, size, data, flags);
  }
  HResult Unlock() override { return UnlockComBuffer(buffer_); }

 protected:
  ~D3d8VertexBuffer() override { ReleaseCom(buffer_); }
  void Orphan() override {
    ReleaseCom(buffer_);
    VertexBuffer::Orphan();
  }

 private:
  IDirect3DVertexBuffer8* buffer_;
};

class D3d8IndexBuffer final : public IndexBuffer {
 public:
  D3d8IndexBuffer(Device* owner, uint32_t length, uint32_t usage, Format format,
                  IDirect3DIndexBuffer8* buffer)
      : IndexBuffer(owner, length, usage, format), buffer_(buffer) {}
  IDirect3DIndexBuffer8* Get() const { return buffer_; }

  HResult Lock(uint32_t offset, uint32_t size, uint8_t** data, uint32_t flags) override {
    return LockComBuffer(buffer_, Length(), offset, size, data, flags);
  }
  HResult Unlock() override { return UnlockComBuffer(buffer_); }

 protected:
  ~D3d8IndexBuffer() override { ReleaseCom(buffer_); }
  void Orphan() override {
    ReleaseCom(buffer_);
    IndexBuffer::Orphan();
  }

 private:
  IDirect3DIndexBuffer8* buffer_;
};

// >>section device
class D3d8Device final : public Device {
 public:
  // Takes over device; offscreenWindow (when not null) is the hidden window the device
  // draws into, destroyed with the device.
  D3d8Device(IDirect3DDevice8* device, HWND window, HWND offscreenWindow)
      : device_(device), window_(window), offscreenWindow_(offscreenWindow) {
    D3DCAPS8 caps{};
    if (SUCCEEDED(device_->GetDeviceCaps(&caps))) {
      if (caps.MaxTextureWidth > 0) textureLimits_.maxWidth = caps.MaxTextureWidth;
      if (caps.MaxTextureHeight > 0) textureLimits_.maxHeight = caps.MaxTextureHeight;
      // With only "conditional" support for other sizes a texture can have no mips.
      textureLimits_.powerOfTwo = (caps.TextureCaps & D3DPTEXTURECAPS_POW2) != 0;
      textureLimits_.square = (caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) != 0;
    }
  }

  ~D3d8Device() override {
    // Resources first: their objects belong to the device.
    OrphanResources();
    ReleaseCom(device_);
    if (offscreenWindow_ != nullptr) DestroyWindow(offscreenWindow_);
  }

  void SetRenderState(RenderStateType state, uint32_t value) override {
    device_->SetRenderState(static_cast<D3DRENDERSTATETYPE>(state), value);
  }
  void SetTextureStageState(uint32_t stage, TextureStageStateType type, uint32_t value) override {
    device_->SetTextureStageState(stage, static_cast<D3DTEXTURESTAGESTATETYPE>(type), value);
  }
  void SetTransform(TransformStateType state, const Matrix4& matrix) override {
    device_->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(state),
                          reinterpret_cast<const D3DMATRIX*>(&matrix));
  }
  void GetTransform(TransformStateType state, Matrix4* matrix) override {
    device_->GetTransform(static_cast<D3DTRANSFORMSTATETYPE>(state),
                          reinterpret_cast<D3DMATRIX*>(matrix));
  }
  void SetLight(uint32_t index, const Light& light) override {
    D3DLIGHT8 d;
    std::memcpy(&d, &light, sizeof d);
    device_->SetLight(index, &d);
  }
  void LightEnable(uint32_t index, bool enable) override {
    device_->LightEnable(index, enable ? TRUE : FALSE);
  }
  void SetMaterial(const Material& material) override {
    D3DMATERIAL8 d;
    std::memcpy(&d, &material, sizeof d);
    device_->SetMaterial(&d);
  }
  void SetTexture(uint32_t stage, DeviceTexture* texture) override {
    IDirect3DTexture8* d = texture != nullptr ? static_cast<D3d8Texture*>(texture)->Get() : nullptr;
    device_->SetTexture(stage, d);
  }

  DeviceTexture* CreateTexture(uint32_t width, uint32_t height, const uint8_t* rgba) override;

  VertexBuffer* CreateVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf,
                                   Pool pool) override {
    if (length == 0) return nullptr;
    IDirect3DVertexBuffer8* buffer = nullptr;
    if (FAILED(
            device_->CreateVertexBuffer(length, usage, fvf, static_cast<D3DPOOL>(pool), &buffer))) {
      return nullptr;
    }
    return new D3d8VertexBuffer(this, length, usage, fvf, buffer);
  }

  IndexBuffer* CreateIndexBuffer(uint32_t length, uint32_t usage, Format format,
                                 Pool pool) override {
    if (length == 0 || (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32)) return nullptr;
    IDirect3DIndexBuffer8* buffer = nullptr;
    if (FAILED(device_->CreateIndexBuffer(length, usage, static_cast<D3DFORMAT>(format),
                                          static_cast<D3DPOOL>(pool), &buffer))) {
      return nullptr;
    }
    return new D3d8IndexBuffer(this, length, usage, format, buffer);
  }

  void SetStreamSource(uint32_t stream, VertexBuffer* buffer, uint32_t stride) override {
    IDirect3DVertexBuffer8* d =
        buffer != nullptr ? static_cast<D3d8VertexBuffer*>(buffer)->Get() : nullptr;
    device_->SetStreamSource(stream, d, stride);
  }
  void SetIndices(IndexBuffer* buffer, uint32_t baseVertexIndex) override {
    IDirect3DIndexBuffer8* d =
        buffer != nullptr ? static_cast<D3d8IndexBuffer*>(buffer)->Get() : nullptr;
    device_->SetIndices(d, baseVertexIndex);
  }
  void SetVertexShader(uint32_t fvf) override { device_->SetVertexShader(fvf); }

  void DrawPrimitive(PrimitiveType type, uint32_t startVertex, uint32_t primitiveCount) override {
    device_->DrawPrimitive(static_cast<D3DPRIMITIVETYPE>(type), startVertex, primitiveCount);
  }
  void DrawIndexedPrimitive(PrimitiveType type, uint32_t minIndex, uint32_t numVertices,
                            uint32_t startIndex, uint32_t primitiveCount) override {
    device_->DrawIndexedPrimitive(static_cast<D3DPRIMITIVETYPE>(type), minIndex, numVertices,
                                  startIndex, primitiveCount);
  }
  void DrawPrimitiveUP(PrimitiveType type, uint32_t primitiveCount, const void* vertices,
                       uint32_t stride) override {
    device_->DrawPrimitiveUP(static_cast<D3DPRIMITIVETYPE>(type), primitiveCount, vertices, stride);
  }

  void Clear(uint32_t count, const void* rects, uint32_t flags, uint32_t color, float z,
             uint32_t stencil) override {
    device_->Clear(count, static_cast<const D3DRECT*>(rects), flags, color, z, stencil);
  }
  void BeginScene() override { device_->BeginScene(); }
  void EndScene() override { device_->EndScene(); }

  HResult Present() override {
    // An offscreen device shows nothing: its back buffer keeps the frame for read-back.
    if (offscreenWindow_ != nullptr) return D3D_OK;
    return static_cast<HResult>(device_->Present(nullptr, nullptr, window_, nullptr));
  }
  HResult TestCooperativeLevel() override {
    return static_cast<HResult>(device_->TestCooperativeLevel());
  }
  HResult Reset(const PresentParameters& params) override {
    D3DPRESENT_PARAMETERS d = ToD3d(params);
    if (offscreenWindow_ != nullptr) FitOffscreen(&d);
    return static_cast<HResult>(device_->Reset(&d));
  }

  bool ReadFrame(std::vector<uint8_t>* rgba, uint32_t* width, uint32_t* height) override;

  // Offscreen parameters: the hidden window's size, always read back.
  void FitOffscreen(D3DPRESENT_PARAMETERS* d) const {
    RECT client{};
    GetClientRect(offscreenWindow_, &client);
    d->BackBufferWidth = static_cast<UINT>(client.right - client.left);
    d->BackBufferHeight = static_cast<UINT>(client.bottom - client.top);
    d->Windowed = TRUE;
    d->hDeviceWindow = offscreenWindow_;
    d->Flags |= D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
  }

 private:
  IDirect3DDevice8* device_;
  HWND window_;
  HWND offscreenWindow_;
  TextureLimits textureLimits_;
  // Start-up scratch for texture levels; kept so that later textures reuse it.
  std::vector<uint8_t> levelScratch_[2];
};

DeviceTexture* D3d8Device::CreateTexture(uint32_t width, uint32_t height, const uint8_t* rgba) {
  if (width == 0 || height == 0 || rgba == nullptr) return nullptr;
  // A picture larger than the device takes is halved until it fits.
  const uint8_t* level = rgba;
  while (width > textureLimits_.maxWidth || height > textureLimits_.maxHeight)
    HalveIntoScratch(levelScratch_, &level, &width, &height);
  // A device that takes only powers of two or squares gets the nearest size it takes.
  uint32_t fitWidth = width;
  uint32_t fitHeight = height;
  SupportedTextureSize(textureLimits_, &fitWidth, &fitHeight);
  if (fitWidth != width || fitHeight != height) {
    std::vector<uint8_t>& next = OtherScratch(levelScratch_, level);
    next.resize(static_cast<size_t>(fitWidth) * fitHeight * 4);
    ResizeRgba(level, width, height, next.data(), fitWidth, fitHeight);
    level = next.data();
    width = fitWidth;
    height = fitHeight;
  }

  IDirect3DTexture8* texture = nullptr;
  if (FAILED(device_->CreateTexture(width, height, 0, 0, ::D3DFMT_A8R8G8B8, ::D3DPOOL_MANAGED,
                                    &texture))) {
    return nullptr;
  }
  const UINT levels = texture->GetLevelCount();
  uint32_t w = width;
  uint32_t h = height;
  for (UINT i = 0; i < levels; ++i) {
    D3DLOCKED_RECT locked{};
    if (FAILED(texture->LockRect(i, &locked, nullptr, 0))) {
      texture->Release();
      return nullptr;
    }
    for (uint32_t y = 0; y < h; ++y) {
      RgbaRowToBgra(level + static_cast<size_t>(y) * w * 4, w,
                    static_cast<uint8_t*>(locked.pBits) + static_cast<size_t>(y) * locked.Pitch);
    }
    texture->UnlockRect(i);
    if (i + 1 < levels) HalveIntoScratch(levelScratch_, &level, &w, &h);
  }
  return new D3d8Texture(this, width, height, texture);
}

bool D3d8Device::ReadFrame(std::vector<uint8_t>* rgba, uint32_t* width, uint32_t* height) {
  IDirect3DSurface8* surface = nullptr;
  if (FAILED(device_->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &surface))) return false;
  D3DSURFACE_DESC desc{};
  D3DLOCKED_RECT locked{};
  bool ok = SUCCEEDED(surface->GetDesc(&desc)) &&
            (desc.Format == ::D3DFMT_X8R8G8B8 || desc.Format == ::D3DFMT_A8R8G8B8 ||
             desc.Format == ::D3DFMT_R5G6B5) &&
            SUCCEEDED(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY));
  if (ok) {
    rgba->resize(static_cast<size_t>(desc.Width) * desc.Height * 4);
    const uint8_t* bits = static_cast<const uint8_t*>(locked.pBits);
    const uint32_t pitch = static_cast<uint32_t>(locked.Pitch);
    if (desc.Format == ::D3DFMT_R5G6B5) {
      Rgb565ToRgba(bits, pitch, desc.Width, desc.Height, rgba->data());
    } else {
      XrgbToRgba(bits, pitch, desc.Width, desc.Height, rgba->data());
    }
    surface->UnlockRect();
    *width = desc.Width;
    *height = desc.Height;
  }
  surface->Release();
  return ok;
}

// >>section adapter
class D3d8Adapter final : public Adapter {
 public:
  D3d8Adapter(IDirect3D8* d3d, const D3d8AdapterOptions& options) : d3d_(d3d), options_(options) {}
  ~D3d8Adapter() override { ReleaseCom(d3d_); }

  uint32_t GetAdapterModeCount(uint32_t adapter) override {
    return d3d_->GetAdapterModeCount(adapter);
  }
  HResult EnumAdapterModes(uint32_t adapter, uint32_t mode, AdapterMode* out) override {
    D3DDISPLAYMODE d{};
    const HRESULT result = d3d_->EnumAdapterModes(adapter, mode, &d);
    if (SUCCEEDED(result) && out != nullptr) {
      *out = AdapterMode{d.Width, d.Height, d.RefreshRate, static_cast<Format>(d.Format)};
    }
    return static_cast<HResult>(result);
  }
  HResult GetAdapterDisplayMode(uint32_t adapter, AdapterMode* out) override {
    D3DDISPLAYMODE d{};
    const HRESULT result = d3d_->GetAdapterDisplayMode(adapter, &d);
    if (SUCCEEDED(result) && out != nullptr) {
      *out = AdapterMode{d.Width, d.Height, d.RefreshRate, static_cast<Format>(d.Format)};
    }
    return static_cast<HResult>(result);
  }
  HResult CheckDeviceFormat(uint32_t adapter, DeviceType type, Format adapterFormat, uint32_t usage,
                            ResourceType resourceType, Format checkFormat) override {
    return static_cast<HResult>(d3d_->CheckDeviceFormat(
        adapter, static_cast<D3DDEVTYPE>(type), static_cast<D3DFORMAT>(adapterFormat), usage,
        static_cast<D3DRESOURCETYPE>(resourceType), static_cast<D3DFORMAT>(checkFormat)));
  }
  HResult CheckDepthStencilMatch(uint32_t adapter, DeviceType type, Format adapterFormat,
                                 Format renderTargetFormat, Format depthFormat) override {
    return static_cast<HResult>(d3d_->CheckDepthStencilMatch(
        adapter, static_cast<D3DDEVTYPE>(type), static_cast<D3DFORMAT>(adapterFormat),
        static_cast<D3DFORMAT>(renderTargetFormat), static_cast<D3DFORMAT>(depthFormat)));
  }

  Device* CreateDevice(uint32_t adapter, DeviceType type, void* window, uint32_t behaviorFlags,
                       const PresentParameters& params, HResult* result) override {
    HWND target = static_cast<HWND>(window);
    HWND offscreen = nullptr;
    if (target == nullptr) {
      offscreen = CreateOffscreenWindow();
      if (offscreen == nullptr) {
        if (result != nullptr) *result = D3DERR_NOTAVAILABLE;
        return nullptr;
      }
      target = offscreen;
    }
    D3DPRESENT_PARAMETERS d = ToD3d(params);
    if (offscreen != nullptr) {
      d.BackBufferWidth = options_.offscreenWidth;
      d.BackBufferHeight = options_.offscreenHeight;
      d.Windowed = TRUE;
      d.hDeviceWindow = offscreen;
      d.Flags |= D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    }
    IDirect3DDevice8* device = nullptr;
    const HRESULT created = d3d_->CreateDevice(adapter, static_cast<D3DDEVTYPE>(type), target,
                                               behaviorFlags, &d, &device);
    if (result != nullptr) *result = static_cast<HResult>(created);
    if (FAILED(created) || device == nullptr) {
      if (offscreen != nullptr) DestroyWindow(offscreen);
      return nullptr;
    }
    return new D3d8Device(device, target, offscreen);
  }

 private:
  HWND CreateOffscreenWindow() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass{};
    if (!GetClassInfoA(instance, kOffscreenClass, &windowClass)) {
      windowClass.lpfnWndProc = DefWindowProcA;
      windowClass.hInstance = instance;
      windowClass.lpszClassName = kOffscreenClass;
      if (RegisterClassA(&windowClass) == 0) return nullptr;
    }
    // A pop-up window's client area is its whole size; it is never shown.
    return CreateWindowExA(
        0, kOffscreenClass, "", WS_POPUP, 0, 0, static_cast<int>(options_.offscreenWidth),
        static_cast<int>(options_.offscreenHeight), nullptr, nullptr, instance, nullptr);
  }

  IDirect3D8* d3d_;
  D3d8AdapterOptions options_;
};

}  // namespace

Adapter* CreateD3d8Adapter(const D3d8AdapterOptions& options) {
  IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
  if (d3d == nullptr) return nullptr;
  return new D3d8Adapter(d3d, options);
}

}  // namespace yulo
