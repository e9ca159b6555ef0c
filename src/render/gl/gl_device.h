// The OpenGL 3.3 core backend: a Device that reproduces the fixed-function rules the
// engine relies on, on an offscreen EGL context (headless) or an SDL2 window's context.
#pragma once

#include <cstdint>
#include <vector>

#include "render/device.h"

struct SDL_Window;

namespace yulo {

// >>section factories

// A device rendering into an offscreen width x height framebuffer on an EGL surfaceless
// context (Mesa's software rasteriser when there is no GPU). nullptr when no context can
// be made.
Device* CreateGlDeviceHeadless(uint32_t width, uint32_t height);

// Sets the SDL OpenGL attributes (core 3.3, double buffer, depth, stencil) the window device
// needs; call before SDL_CreateWindow / SDL_CreateWindowFrom, which pick the visual from them.
void PrepareGlWindowAttributes();
// Drops the stencil buffer from those attributes, for an X server with no visual that has
// one; false when there is nothing left to drop.
bool RelaxGlWindowAttributes();

// A device drawing into window (an SDL window made with SDL_WINDOW_OPENGL, or a foreign
// window adopted with the foreign-window OpenGL hint). With vsync, Present waits for the
// retrace. With keep4by3 the scene is drawn into the largest centred 4:3 viewport and the
// bars around it are black. On a software rasteriser (Mesa's llvmpipe, softpipe, swrast)
// the scene is drawn at most 800 x 600 and stretched to that viewport, unless
// fullResolution (a window that the scene fills at its own size is drawn into directly,
// unless it is a host's window, which may vanish between two frames).
// nullptr when no context can be made.
Device* CreateGlDeviceForWindow(SDL_Window* window, bool vsync, bool keep4by3,
                                bool fullResolution = false);

// What CreateGlAdapter builds.
struct GlAdapterOptions {
  bool headless = false;  // offscreen device of headlessWidth x headlessHeight
  uint32_t headlessWidth = 800;
  uint32_t headlessHeight = 600;
  bool keep4by3 = true;         // window devices: pillarbox the scene at 4:3
  bool fullResolution = false;  // window devices: no 800 x 600 cap on software rasterisers
};
// An adapter for CreateRenderer. Its modes are the 4:3 sizes up to the desktop's in both
// display formats (the scene is drawn at the desktop's own resolution; no mode switch
// happens); its device is headless or for the window handed to CreateRenderer (an
// SDL_Window*), as options say.
Adapter* CreateGlAdapter(const GlAdapterOptions& options);

// >>section read-back

// The device's last finished frame as RGBA8, row 0 at the top. For a window device, call
// it between EndScene and PresentFrame. False when device is not a GL device.
bool ReadFrame(Device* device, std::vector<uint8_t>* rgba, uint32_t* width, uint32_t* height);

// Depth values (0..1) of the frame, row 0 at the top; headless devices only.
bool ReadDepth(Device* device, std::vector<float>* depth);

// Draw calls the device sent to GL since the last call (for measurements), and whether
// consecutive user-memory draws with equal states are merged (default on).
uint64_t TakeGlDrawCallCount(Device* device);
void SetGlDrawMerging(Device* device, bool on);

struct GlDeviceStats {
  uint32_t programsBuilt = 0;  // shader programs compiled so far
  bool scaled = false;         // the scene is drawn in a framebuffer of its own and stretched
  uint32_t sceneWidth = 0;     // size of the small scene, when scaled
  uint32_t sceneHeight = 0;
};
// What the device has done so far (all zero when device is not a GL device).
GlDeviceStats GetGlDeviceStats(Device* device);

}  // namespace yulo
