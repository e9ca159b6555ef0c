#include "render/renderer.h"

#include <cmath>
#include <cstring>

#include "base/fatal.h"

namespace yulo {

namespace {

struct RendererState {
  WindowPlacementHook windowPlacementHook = nullptr;
  Adapter* adapter = nullptr;
  Device* device = nullptr;
  bool ownsDevice = false;
  RendererOptions rendererOptions;
  DisplayMode displayModes[kDisplayModeCapacity] = {};
  int displayModeCount = 0;
  DisplayMode currentMode = {};          // the mode the device was created for
  PresentParameters presentParams = {};  // kept for creation and every reset
  QuadVertex quadVertices[6] = {};
  bool lost = false;  // the last present found the device lost, not yet resettable
};
RendererState renderer;

constexpr Format kDepthFormatOrder[] = {
    D3DFMT_D32,   D3DFMT_D16,   D3DFMT_D24S8,        D3DFMT_D24X4S4,
    D3DFMT_D15S1, D3DFMT_D24X8, D3DFMT_D16_LOCKABLE,
};

void DropDevice() {
  if (renderer.ownsDevice) delete renderer.device;
  renderer.device = nullptr;
  renderer.ownsDevice = false;
  renderer.lost = false;
}

}  // namespace

// >>section device ownership and creation
void SetWindowPlacementHook(WindowPlacementHook hook) {
  renderer.windowPlacementHook = hook;
}

void SetDevice(Device* device, bool takeOwnership) {
  if (device != renderer.device) DropDevice();
  renderer.device = device;
  renderer.ownsDevice = device != nullptr && takeOwnership;
}

Device* GetDevice() {
  return renderer.device;
}

void SetRendererOptions(const RendererOptions& options) {
  renderer.rendererOptions = options;
}

const RendererOptions& GetRendererOptions() {
  return renderer.rendererOptions;
}

int DisplayModeCount() {
  return renderer.displayModeCount;
}

const DisplayMode& DisplayModeAt(int i) {
  return renderer.displayModes[i];
}

const DisplayMode& CurrentDisplayMode() {
  return renderer.currentMode;
}

const QuadVertex* QuadVertices() {
  return renderer.quadVertices;
}

void ChooseSurfaceFormats(Adapter& adapter, DisplayMode& mode) {
  mode.depthFormat = D3DFMT_UNKNOWN;
  for (Format candidate : kDepthFormatOrder) {
    if (adapter.CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, mode.format,
                                  D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, candidate) != D3D_OK) {
      continue;
    }
    if (adapter.CheckDepthStencilMatch(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, mode.format, mode.format,
                                       candidate) != D3D_OK) {
      continue;
    }
    mode.depthFormat = candidate;
    return;
  }
}

void EnumerateDisplayModes(Adapter& adapter) {
  renderer.displayModeCount = 0;
  const uint32_t count = adapter.GetAdapterModeCount(D3DADAPTER_DEFAULT);
  for (uint32_t i = 0; i < count; ++i) {
    AdapterMode mode{};
    if (adapter.EnumAdapterModes(D3DADAPTER_DEFAULT, i, &mode) != D3D_OK) continue;
    if (mode.width < 640 || mode.height < 480) continue;
    const float ratio = static_cast<float>(mode.width) / static_cast<float>(mode.height);
    if (std::fabs(ratio - 1.33f) > 0.01f) continue;
    if (mode.format != D3DFMT_X8R8G8B8 && mode.format != D3DFMT_R5G6B5) continue;

    DisplayMode candidate{};
    candidate.width = mode.width;
    candidate.height = mode.height;
    candidate.bitsPerPixel = mode.format == D3DFMT_X8R8G8B8 ? 32 : 16;
    candidate.refreshRate = mode.refreshRate;
    candidate.format = mode.format;
    ChooseSurfaceFormats(adapter, candidate);
    // A mode no depth buffer can go with could never get a device: leave it out, so that
    // the fallback to the first record always names a usable mode.
    if (candidate.depthFormat == D3DFMT_UNKNOWN) continue;

    bool seen = false;
    for (int j = 0; j < renderer.displayModeCount; ++j) {
      DisplayMode& known = renderer.displayModes[j];
      if (known.bitsPerPixel != candidate.bitsPerPixel || known.width != candidate.width ||
          known.height != candidate.height) {
        continue;
      }
      if (known.refreshRate < candidate.refreshRate) known = candidate;
      seen = true;
      break;
    }
    // A full table keeps the first 256 distinct modes; later ones are not usable anyway
    // once the wanted size is among the first.
    if (!seen && renderer.displayModeCount < kDisplayModeCapacity) {
      renderer.displayModes[renderer.displayModeCount++] = candidate;
    }
  }
}

void SelectDisplayMode() {
  const uint32_t wantedDepth = renderer.rendererOptions.preferTrueColor ? 32 : 16;
  for (int i = 0; i < renderer.displayModeCount; ++i) {
    const DisplayMode& mode = renderer.displayModes[i];
    if (mode.bitsPerPixel == wantedDepth &&
        static_cast<int64_t>(mode.width) == renderer.rendererOptions.windowWidth &&
        static_cast<int64_t>(mode.height) == renderer.rendererOptions.windowHeight) {
      renderer.currentMode = mode;
      return;
    }
  }
  if (renderer.displayModeCount > 0) {
    renderer.currentMode = renderer.displayModes[0];
  } else {
    renderer.currentMode = DisplayMode{};
  }
}

bool CreateRenderer(Adapter* adapter, void* window) {
  ReleaseRenderer();
  renderer.adapter = adapter;
  if (renderer.adapter == nullptr) return false;
  EnumerateDisplayModes(*adapter);
  SelectDisplayMode();

  std::memset(&renderer.presentParams, 0, sizeof renderer.presentParams);
  const bool fullScreen = renderer.rendererOptions.fullScreen;
  if (fullScreen) {
    renderer.presentParams.backBufferWidth = renderer.currentMode.width;
    renderer.presentParams.backBufferHeight = renderer.currentMode.height;
    renderer.presentParams.backBufferFormat = renderer.currentMode.format;
    renderer.presentParams.fullScreenPresentationInterval = renderer.rendererOptions.waitForVSync
                                                                ? D3DPRESENT_INTERVAL_ONE
                                                                : D3DPRESENT_INTERVAL_IMMEDIATE;
  } else {
    AdapterMode desktop{};
    adapter->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &desktop);
    renderer.currentMode.format = desktop.format;
    renderer.presentParams.backBufferFormat = desktop.format;
    // A display without a usable full-screen mode (one size, not 4:3, as in many virtual
    // machines) gives no depth format to take: a window needs no mode of its own, so it
    // takes the one found for the desktop's format.
    if (renderer.currentMode.depthFormat == D3DFMT_UNKNOWN) {
      ChooseSurfaceFormats(*adapter, renderer.currentMode);
    }
  }
  renderer.presentParams.backBufferCount = 0;
  renderer.presentParams.multiSampleType = D3DMULTISAMPLE_NONE;
  renderer.presentParams.swapEffect = D3DSWAPEFFECT_DISCARD;
  renderer.presentParams.deviceWindow = window;
  renderer.presentParams.windowed = fullScreen ? 0 : 1;
  renderer.presentParams.enableAutoDepthStencil = 1;
  renderer.presentParams.autoDepthStencilFormat = renderer.currentMode.depthFormat;
  renderer.presentParams.flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
  renderer.presentParams.fullScreenRefreshRateInHz = 0;

  HResult result = D3D_OK;
  Device* device =
      adapter->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                            D3DCREATE_SOFTWARE_VERTEXPROCESSING, renderer.presentParams, &result);
  if (device == nullptr) {
    ShowMessage("Initialization failed", adapter->DeviceFailureText());
    return false;
  }
  SetDevice(device, true);
  ApplyDefaultStates();
  return true;
}

void ApplyDefaultStates() {
  Device* device = renderer.device;
  if (device == nullptr) return;
  device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
  device->SetRenderState(D3DRS_ALPHAREF, 128);
  device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
  device->SetRenderState(D3DRS_LASTPIXEL, 0);
  device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
  device->SetRenderState(D3DRS_LIGHTING, 0);
  device->SetRenderState(D3DRS_SPECULARMATERIALSOURCE, D3DMCS_MATERIAL);
  device->SetRenderState(D3DRS_AMBIENT, 0xFFFFFFFFu);
  device->SetRenderState(D3DRS_POINTSPRITEENABLE, 1);
  device->SetRenderState(D3DRS_POINTSCALEENABLE, 1);
  device->SetRenderState(D3DRS_POINTSIZE, FloatBits(1.0f));
  device->SetRenderState(D3DRS_POINTSIZE_MIN, FloatBits(0.01f));
  device->SetRenderState(D3DRS_POINTSCALE_A, FloatBits(0.0f));
  device->SetRenderState(D3DRS_POINTSCALE_B, FloatBits(5.0f));
  device->SetRenderState(D3DRS_POINTSCALE_C, FloatBits(5.0f));

  device->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_WRAP);
  device->SetTextureStageState(0, D3DTSS_ADDRESSV, D3DTADDRESS_WRAP);
  device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
  device->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
  device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
  device->SetTextureStageState(0, D3DTSS_MIPFILTER, D3DTEXF_LINEAR);
  device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
}

void PresentFrame() {
  Device* device = renderer.device;
  if (device == nullptr) return;
  device->Present();
  const HResult level = device->TestCooperativeLevel();
  renderer.lost = level == D3DERR_DEVICELOST;
  if (level == D3DERR_DEVICENOTRESET) {
    if (renderer.windowPlacementHook != nullptr) {
      renderer.windowPlacementHook(renderer.presentParams.deviceWindow,
                                   renderer.rendererOptions.windowWidth,
                                   renderer.rendererOptions.windowHeight);
    }
    ResetDevice();
  }
}

bool DeviceLost() {
  return renderer.device != nullptr && renderer.lost;
}

void ResetDevice() {
  if (renderer.device == nullptr) return;
  renderer.device->Reset(renderer.presentParams);
  ApplyDefaultStates();
}

void ReleaseRenderer() {
  DropDevice();
  delete renderer.adapter;
  renderer.adapter = nullptr;
}

// >>section states, transforms, drawing
// Each function is a device call or two. With no device installed they do nothing, so a
// scene can be driven (and measured) before or without a device.

void SetRenderState(RenderStateType state, uint32_t value) {
  if (renderer.device != nullptr) renderer.device->SetRenderState(state, value);
}

void ClearTarget(uint32_t colour) {
  if (renderer.device != nullptr) {
    renderer.device->Clear(0, nullptr, D3DCLEAR_TARGET, colour, 0.0f, 0);
  }
}

void ClearDepth(float z) {
  if (renderer.device != nullptr) renderer.device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, z, 0);
}

void BeginScene() {
  if (renderer.device != nullptr) renderer.device->BeginScene();
}

void EndScene() {
  if (renderer.device != nullptr) renderer.device->EndScene();
}

namespace {
void SetTransformOrIdentity(TransformStateType state, const Matrix4* matrix) {
  if (renderer.device == nullptr) return;
  if (matrix != nullptr) {
    renderer.device->SetTransform(state, *matrix);
  } else {
    const Matrix4 identity;
    renderer.device->SetTransform(state, identity);
  }
}
}  // namespace

void SetWorldMatrix(const Matrix4* matrix) {
  SetTransformOrIdentity(D3DTS_WORLD, matrix);
}

void SetViewMatrix(const Matrix4* matrix) {
  SetTransformOrIdentity(D3DTS_VIEW, matrix);
}

void SetTextureMatrix(const Matrix4* matrix) {
  SetTransformOrIdentity(D3DTS_TEXTURE0, matrix);
}

void SetProjectionMatrix(const Matrix4& matrix) {
  if (renderer.device != nullptr) renderer.device->SetTransform(D3DTS_PROJECTION, matrix);
}

void GetViewMatrix(Matrix4* matrix) {
  if (renderer.device != nullptr) renderer.device->GetTransform(D3DTS_VIEW, matrix);
}

void GetProjectionMatrix(Matrix4* matrix) {
  if (renderer.device != nullptr) renderer.device->GetTransform(D3DTS_PROJECTION, matrix);
}

void SetTexture(const Texture* texture) {
  if (renderer.device != nullptr) {
    renderer.device->SetTexture(0, texture != nullptr ? texture->texture : nullptr);
  }
}

uint32_t UserVertexStride(uint32_t fvf) {
  uint32_t stride = 12;
  if (fvf & D3DFVF_NORMAL) stride += 12;
  if (fvf & D3DFVF_TEX1) stride += 8;
  if (fvf & D3DFVF_PSIZE) stride += 4;
  if (fvf & D3DFVF_DIFFUSE) stride += 4;
  if (fvf & D3DFVF_SPECULAR) stride += 4;
  return stride;
}

void DrawUserPrimitives(const void* vertices, uint32_t count, uint32_t fvf, PrimitiveType type) {
  Device* device = renderer.device;
  if (device == nullptr) return;
  const uint32_t stride = UserVertexStride(fvf);
  device->SetStreamSource(0, nullptr, stride);
  device->SetVertexShader(fvf);
  device->DrawPrimitiveUP(type, count, vertices, stride);
}

namespace {
void PutQuadVertex(int i, const Vector3& p, uint32_t colour, float u, float v) {
  renderer.quadVertices[i].position = p;
  renderer.quadVertices[i].color = colour;
  renderer.quadVertices[i].u = u;
  renderer.quadVertices[i].v = v;
}
}  // namespace

void DrawColoredQuad(const Vector3& p0, const Vector3& p1, const Vector3& p2, const Vector3& p3,
                     const ColorARGB& c0, const ColorARGB& c1, const ColorARGB& c2,
                     const ColorARGB& c3) {
  PutQuadVertex(0, p0, c0.Value(), 0.0f, 0.0f);
  PutQuadVertex(1, p1, c1.Value(), 0.0f, -1.0f);
  PutQuadVertex(2, p2, c2.Value(), -1.0f, -1.0f);
  PutQuadVertex(3, p0, c0.Value(), 0.0f, 0.0f);
  PutQuadVertex(4, p2, c2.Value(), -1.0f, -1.0f);
  PutQuadVertex(5, p3, c3.Value(), -1.0f, 0.0f);
  DrawUserPrimitives(renderer.quadVertices, 2, kQuadVertexFvf, D3DPT_TRIANGLELIST);
}

void DrawTexturedStrip(const Vector3& p0, const Vector3& p1, const Vector3& p2, const Vector3& p3,
                       const Vector2& t0, const Vector2& t1, const Vector2& t2, const Vector2& t3,
                       const ColorARGB& colour) {
  const uint32_t c = colour.Value();
  PutQuadVertex(0, p1, c, t1.x, t1.y);
  PutQuadVertex(1, p2, c, t2.x, t2.y);
  PutQuadVertex(2, p0, c, t0.x, t0.y);
  PutQuadVertex(3, p3, c, t3.x, t3.y);
  Device* device = renderer.device;
  if (device == nullptr) return;
  device->SetStreamSource(0, nullptr, sizeof(QuadVertex));
  device->SetVertexShader(kQuadVertexFvf);
  device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, renderer.quadVertices, sizeof(QuadVertex));
}

Matrix4& BuildPerspective(Matrix4& m, float fovY, float aspect, float zNear, float zFar) {
  const float h = std::cos(fovY * 0.5f) / std::sin(fovY * 0.5f);
  for (int i = 0; i < 16; ++i) m[i] = 0.0f;
  m.m[0][0] = h / aspect;
  m.m[1][1] = h;
  m.m[2][2] = zFar / (zFar - zNear);
  m.m[2][3] = 1.0f;
  m.m[3][2] = zNear * zFar / (zNear - zFar);
  return m;
}

}  // namespace yulo
