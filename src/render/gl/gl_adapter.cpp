#include <SDL.h>

#include <cstdio>

#include "render/gl/gl_context.h"
#include "render/gl/gl_device.h"

namespace yulo {

namespace {

// The sizes offered as display modes. The desktop keeps its own resolution; the scene is
// drawn at 4:3 inside it, so a mode here only names the size the engine asks for.
constexpr uint32_t kFourByThree[][2] = {
    {640, 480},  {800, 600},   {1024, 768},  {1152, 864},
    {1280, 960}, {1400, 1050}, {1600, 1200}, {2048, 1536},
};

class GlAdapter final : public Adapter {
 public:
  explicit GlAdapter(const GlAdapterOptions& options) : options_(options) {
    desktop_ = AdapterMode{options.headlessWidth, options.headlessHeight, 60, D3DFMT_X8R8G8B8};
    if (!options.headless) {
      SDL_DisplayMode mode;
      if (SDL_GetDesktopDisplayMode(0, &mode) == 0 && mode.w > 0 && mode.h > 0) {
        desktop_.width = static_cast<uint32_t>(mode.w);
        desktop_.height = static_cast<uint32_t>(mode.h);
        desktop_.refreshRate =
            mode.refresh_rate > 0 ? static_cast<uint32_t>(mode.refresh_rate) : 60;
        desktop_.format = SDL_BITSPERPIXEL(mode.format) == 16 ? D3DFMT_R5G6B5 : D3DFMT_X8R8G8B8;
      }
    }
    for (const auto& size : kFourByThree) {
      // 640 x 480 is always offered, so that a small desktop still gets a device; an
      // offscreen device has no desktop to fit.
      const bool fits = size[0] <= desktop_.width && size[1] <= desktop_.height;
      if (size[0] != 640 && !fits && !options.headless) continue;
      for (Format f : {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5}) {
        if (modeCount_ < kMaxModes) {
          modes_[modeCount_++] = AdapterMode{size[0], size[1], desktop_.refreshRate, f};
        }
      }
    }
  }

  uint32_t GetAdapterModeCount(uint32_t adapter) override {
    return adapter == D3DADAPTER_DEFAULT ? modeCount_ : 0;
  }

  HResult EnumAdapterModes(uint32_t adapter, uint32_t mode, AdapterMode* out) override {
    if (adapter != D3DADAPTER_DEFAULT || mode >= modeCount_ || out == nullptr) {
      return D3DERR_INVALIDCALL;
    }
    *out = modes_[mode];
    return D3D_OK;
  }

  HResult GetAdapterDisplayMode(uint32_t adapter, AdapterMode* out) override {
    if (adapter != D3DADAPTER_DEFAULT || out == nullptr) return D3DERR_INVALIDCALL;
    *out = desktop_;
    return D3D_OK;
  }

  HResult CheckDeviceFormat(uint32_t /*adapter*/, DeviceType /*type*/, Format /*adapterFormat*/,
                            uint32_t usage, ResourceType /*resourceType*/,
                            Format checkFormat) override {
    if ((usage & D3DUSAGE_DEPTHSTENCIL) == 0) return D3D_OK;
    return DepthAvailable(checkFormat) ? D3D_OK : D3DERR_NOTAVAILABLE;
  }

  HResult CheckDepthStencilMatch(uint32_t /*adapter*/, DeviceType /*type*/,
                                 Format /*adapterFormat*/, Format /*renderTargetFormat*/,
                                 Format depthFormat) override {
    return DepthAvailable(depthFormat) ? D3D_OK : D3DERR_NOTAVAILABLE;
  }

  Device* CreateDevice(uint32_t adapter, DeviceType /*type*/, void* window,
                       uint32_t /*behaviorFlags*/, const PresentParameters& params,
                       HResult* result) override {
    Device* device = nullptr;
    const bool depthOk =
        !params.enableAutoDepthStencil || DepthAvailable(params.autoDepthStencilFormat);
    if (adapter == D3DADAPTER_DEFAULT && depthOk) {
      if (options_.headless) {
        device = CreateGlDeviceHeadless(options_.headlessWidth, options_.headlessHeight);
      } else if (window != nullptr) {
        const bool vsync = params.fullScreenPresentationInterval != D3DPRESENT_INTERVAL_IMMEDIATE;
        device = CreateGlDeviceForWindow(static_cast<SDL_Window*>(window), vsync, options_.keep4by3,
                                         options_.fullResolution);
      }
    }
    if (result != nullptr) *result = device != nullptr ? D3D_OK : D3DERR_NOTAVAILABLE;
    if (device == nullptr) {
      const char* why = depthOk ? GlContextFailure() : "no depth buffer of the wanted format";
      std::snprintf(failureText_, sizeof failureText_, "Can't create %s OpenGL 3.3 context%s%s",
                    options_.headless ? "an offscreen (EGL)" : "the window's",
                    why[0] != '\0' ? ": " : "", why);
    }
    return device;
  }

  const char* DeviceFailureText() const override { return failureText_; }

 private:
  // The offscreen framebuffer has a 32-bit float depth buffer; windows ask for 24 bits.
  bool DepthAvailable(Format f) const {
    switch (f) {
      case D3DFMT_D32:
        return options_.headless;
      case D3DFMT_D16:
      case D3DFMT_D24S8:
      case D3DFMT_D24X8:
        return true;
      default:
        return false;
    }
  }

  static constexpr uint32_t kMaxModes = 32;
  GlAdapterOptions options_;
  AdapterMode desktop_{};
  AdapterMode modes_[kMaxModes] = {};
  uint32_t modeCount_ = 0;
  char failureText_[320] = "Can't create an OpenGL 3.3 context";
};

}  // namespace

Adapter* CreateGlAdapter(const GlAdapterOptions& options) {
  return new GlAdapter(options);
}

}  // namespace yulo
