// The renderer: the one device of the program, the display-mode choice, the default states,
// presentation and reset, and the thin state, transform and drawing functions the other
// layers draw through. None of them caches state or examines a device result.
//
// States, transforms, clears, scenes and drawing from memory go through these functions.
// Three kinds of caller take GetDevice() and use the device directly, on purpose:
//  - owners of device resources (models/mesh, models/skin, models/character,
//    resources/texture_manager) create and fill their own buffers and textures, and the
//    mesh and character draws bind them and draw from them: nothing here wraps buffers;
//  - the scene framework (scene/scene) installs its one light and material, once;
//  - the shell reads the finished frame back (headless) and draws the frame-rate overlay
//    (shell/sdl/fps_overlay), which owns its font texture and sets its own filtering.
#pragma once

#include <cstdint>

#include "math/color.h"
#include "math/matrix.h"
#include "math/vector.h"
#include "render/device.h"
#include "render/texture.h"

namespace yulo {

// >>section device ownership and creation

// One usable display mode.
struct DisplayMode {
  uint32_t width;         // pixels
  uint32_t height;        // pixels
  uint32_t bitsPerPixel;  // 32 for D3DFMT_X8R8G8B8, 16 for D3DFMT_R5G6B5
  uint32_t refreshRate;   // Hz, the highest seen for this size and depth
  Format format;          // the display format
  Format depthFormat;     // chosen by ChooseSurfaceFormats; D3DFMT_UNKNOWN when none fits
};
static_assert(sizeof(DisplayMode) == 24);

inline constexpr int kDisplayModeCapacity = 256;

// What the shell decides before CreateRenderer; the renderer only reads it.
struct RendererOptions {
  bool fullScreen = false;      // false in preview or windowed use
  bool preferTrueColor = true;  // look for a 32-bit mode first
  bool waitForVSync = true;     // full-screen presentation waits for the retrace
  int32_t windowWidth = 800;    // the wanted display size, also the window's size
  int32_t windowHeight = 600;
};

// The options the next CreateRenderer and every reset use (a copy is kept).
void SetRendererOptions(const RendererOptions& options);
const RendererOptions& GetRendererOptions();

// The usable modes EnumerateDisplayModes found, and the mode the device was created for.
int DisplayModeCount();
const DisplayMode& DisplayModeAt(int i);  // 0 <= i < DisplayModeCount()
const DisplayMode& CurrentDisplayMode();

// Puts a window back in place (topmost, at 0,0, width x height, shown) before a reset.
using WindowPlacementHook = void (*)(void* window, int32_t width, int32_t height);
void SetWindowPlacementHook(WindowPlacementHook hook);

// Takes adapter (the platform's graphics system, built by the shell; nullptr when there is
// none) and creates its device for window, then installs the default states. The renderer
// owns the adapter from here until ReleaseRenderer, whatever the result. No adapter:
// false, silently. Device creation failing: the adapter's DeviceFailureText ("Can't init
// Direct3D" on Direct3D) under "Initialization failed" through ShowMessage, then false.
bool CreateRenderer(Adapter* adapter, void* window);
// Installs the engine's default render and stage-0 states, in a fixed order.
void ApplyDefaultStates();
// Presents the frame; when the device reports it can be reset, puts the window back and
// resets it.
void PresentFrame();
// Whether the last PresentFrame found the device lost and not yet resettable: frames show
// nothing until it can be reset, so a shell need not draw them at full speed.
bool DeviceLost();
// Resets the device with the parameters it was created with and installs the default
// states again.
void ResetDevice();
// Destroys the device (if the renderer created it) and the adapter.
void ReleaseRenderer();

// Fills the display-mode table from the adapter: at least 640 x 480, 4:3, 32- or 16-bit, with a
// depth format, one record per size and depth with the highest refresh rate.
void EnumerateDisplayModes(Adapter& adapter);
// Fills mode.depthFormat with the first depth format the adapter accepts for mode.format.
void ChooseSurfaceFormats(Adapter& adapter, DisplayMode& mode);
// The current mode = the record of the wanted depth and window size, else record 0 (an
// all-zero record when the table is empty).
void SelectDisplayMode();

// Installs device as the current one (nullptr uninstalls). With takeOwnership the renderer
// destroys it in ReleaseRenderer or when another device replaces it; otherwise the caller
// keeps it (tests with a device on the stack). A device made by CreateRenderer is owned.
void SetDevice(Device* device, bool takeOwnership = false);
// The current device, or nullptr.
Device* GetDevice();

// >>section states, transforms, drawing

// A vertex of the quad functions: D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1.
struct QuadVertex {
  Vector3 position;
  uint32_t color;  // 0xAARRGGBB
  float u;
  float v;
};
static_assert(sizeof(QuadVertex) == 24);
inline constexpr uint32_t kQuadVertexFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;
static_assert(kQuadVertexFvf == 0x142);

// The six vertices DrawColoredQuad and DrawTexturedStrip fill and draw (not reentrant).
const QuadVertex* QuadVertices();

void SetRenderState(RenderStateType state, uint32_t value);
// Float-valued states take the float's bit pattern.
inline void SetRenderStateFloat(RenderStateType state, float value) {
  SetRenderState(state, FloatBits(value));
}
// Clears the colour target to colour (0xAARRGGBB).
void ClearTarget(uint32_t colour);
// Clears the depth buffer to z (0..1).
void ClearDepth(float z);
void BeginScene();
void EndScene();
// nullptr installs identity.
void SetWorldMatrix(const Matrix4* matrix);
void SetViewMatrix(const Matrix4* matrix);
void SetTextureMatrix(const Matrix4* matrix);
void SetProjectionMatrix(const Matrix4& matrix);
void GetViewMatrix(Matrix4* matrix);
void GetProjectionMatrix(Matrix4* matrix);
// Binds the record's texture to stage 0; nullptr binds none (untextured drawing).
void SetTexture(const Texture* texture);

// Stride of a user-memory vertex: 12 for the position, + 12 normal, + 8 one texture set,
// + 4 point size, + 4 diffuse, + 4 specular; no other bits count. This is the engine's own
// rule, kept apart from the device's FvfStride (which counts every texture set): the two
// agree on every format the engine draws.
uint32_t UserVertexStride(uint32_t fvf);
// Draws count primitives of type from vertices in memory with the format fvf.
void DrawUserPrimitives(const void* vertices, uint32_t count, uint32_t fvf, PrimitiveType type);
// Two triangles p0 p1 p2 and p0 p2 p3 with texture coordinates running 0..-1, so a texture
// shows mirrored in both directions; corners given bottom-left, top-left, top-right,
// bottom-right.
void DrawColoredQuad(const Vector3& p0, const Vector3& p1, const Vector3& p2, const Vector3& p3,
                     const ColorARGB& c0, const ColorARGB& c1, const ColorARGB& c2,
                     const ColorARGB& c3);
// A two-triangle strip p1 p2 p0 p3 with its texture coordinates and one colour.
void DrawTexturedStrip(const Vector3& p0, const Vector3& p1, const Vector3& p2, const Vector3& p3,
                       const Vector2& t0, const Vector2& t1, const Vector2& t2, const Vector2& t3,
                       const ColorARGB& colour);

// Overwrites m with a left-handed perspective projection (depth 0..1) and returns it.
Matrix4& BuildPerspective(Matrix4& m, float fovY, float aspect, float zNear, float zFar);

}  // namespace yulo
