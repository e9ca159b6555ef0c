#include "shell/sdl/fps_overlay.h"

#include <time.h>

#include <cstdio>
#include <cstring>

#include "math/matrix.h"
#include "render/renderer.h"

namespace yulo {

namespace {

// >>section glyphs
// A 5 x 7 pixel font of the characters the two lines use, each row's five bits from the
// left; cells are 8 texels wide in one 256 x 8 texture.
constexpr char kGlyphChars[] = "0123456789.%fpsCUP";
constexpr uint8_t kGlyphRows[][7] = {
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E},  // 0
    {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},  // 1
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F},  // 2
    {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},  // 3
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02},  // 4
    {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},  // 5
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E},  // 6
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},  // 7
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E},  // 8
    {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},  // 9
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C},  // .
    {0x18, 0x19, 0x02, 0x04, 0x08, 0x13, 0x03},  // %
    {0x06, 0x09, 0x08, 0x1C, 0x08, 0x08, 0x08},  // f
    {0x00, 0x00, 0x1E, 0x11, 0x1E, 0x10, 0x10},  // p
    {0x00, 0x00, 0x0E, 0x10, 0x0E, 0x01, 0x1E},  // s
    {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E},  // C
    {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E},  // U
    {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10},  // P
};
constexpr int kGlyphCount = static_cast<int>(sizeof kGlyphRows / sizeof kGlyphRows[0]);
static_assert(kGlyphCount == sizeof kGlyphChars - 1);
constexpr uint32_t kCell = 8;
constexpr uint32_t kAtlasWidth = 256;
static_assert(kGlyphCount * kCell <= kAtlasWidth);

int GlyphIndex(char c) {
  const char* at = std::strchr(kGlyphChars, c);
  return c != '\0' && at != nullptr ? static_cast<int>(at - kGlyphChars) : -1;
}

// >>section state
constexpr int kLineCapacity = 16;
constexpr int kMaxQuads = 2 * 2 * kLineCapacity;  // two lines, each with its shadow
constexpr float kCanvasWidth = 640.0f;            // the 4:3 picture in canvas units
constexpr float kCanvasHeight = 480.0f;
constexpr float kTexelSize = 2.0f;  // canvas units per font texel
constexpr float kMargin = 6.0f;

struct Overlay {
  Texture font{};
  bool ready = false;
  char lines[2][kLineCapacity] = {};
  QuadVertex vertices[kMaxQuads * 6] = {};
  uint32_t vertexCount = 0;
};
Overlay overlay;

void AddQuad(float x, float y, int glyph, uint32_t colour) {
  if (overlay.vertexCount + 6 > kMaxQuads * 6) return;
  const float size = kCell * kTexelSize;
  const float u0 = static_cast<float>(glyph) * kCell / kAtlasWidth;
  const float u1 = u0 + static_cast<float>(kCell) / kAtlasWidth;
  const QuadVertex corners[4] = {{{x, y, 0.0f}, colour, u0, 0.0f},
                                 {{x + size, y, 0.0f}, colour, u1, 0.0f},
                                 {{x + size, y + size, 0.0f}, colour, u1, 1.0f},
                                 {{x, y + size, 0.0f}, colour, u0, 1.0f}};
  QuadVertex* out = overlay.vertices + overlay.vertexCount;
  const int order[6] = {0, 1, 2, 0, 2, 3};
  for (int i = 0; i < 6; ++i) out[i] = corners[order[i]];
  overlay.vertexCount += 6;
}

// Rebuilds the vertices of both lines: a black shadow one texel down and right, then the
// text in white.
void BuildVertices() {
  overlay.vertexCount = 0;
  const float advance = 6.0f * kTexelSize;
  const float lineHeight = 9.0f * kTexelSize;
  for (int pass = 0; pass < 2; ++pass) {
    const float offset = pass == 0 ? kTexelSize : 0.0f;
    const uint32_t colour = pass == 0 ? 0xFF000000u : 0xFFFFFFFFu;
    for (int line = 0; line < 2; ++line) {
      const float y = kCanvasHeight - kMargin - (2 - line) * lineHeight + offset;
      float x = kMargin + offset;
      for (const char* c = overlay.lines[line]; *c != '\0'; ++c, x += advance) {
        const int glyph = GlyphIndex(*c);
        if (glyph >= 0) AddQuad(x, y, glyph, colour);
      }
    }
  }
}

}  // namespace

bool MeasureFrame(FpsMeter* meter, uint64_t nowUs, uint64_t cpuUs) {
  const bool started = meter->frames.started;
  float rate = 0.0f;
  if (!CountFrame(&meter->frames, nowUs, &rate)) {
    if (!started || !meter->frames.started || meter->frames.frames == 0) {
      meter->wallStartUs = nowUs;
      meter->cpuStartUs = cpuUs;
    }
    return false;
  }
  const uint64_t wall = nowUs - meter->wallStartUs;
  const uint64_t cpu = cpuUs >= meter->cpuStartUs ? cpuUs - meter->cpuStartUs : 0;
  meter->fps = rate;
  meter->cpuPercent =
      wall > 0 ? static_cast<float>(100.0 * static_cast<double>(cpu) / static_cast<double>(wall))
               : 0.0f;
  meter->wallStartUs = nowUs;
  meter->cpuStartUs = cpuUs;
  return true;
}

void FormatFpsLines(const FpsMeter& meter, char* fpsLine, size_t fpsCapacity, char* cpuLine,
                    size_t cpuCapacity) {
  std::snprintf(fpsLine, fpsCapacity, "%.1f fps", static_cast<double>(meter.fps));
  std::snprintf(cpuLine, cpuCapacity, "CPU %.0f%%", static_cast<double>(meter.cpuPercent));
}

uint64_t ProcessCpuMicroseconds() {
  timespec t{};
  if (clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t) != 0) return 0;
  return static_cast<uint64_t>(t.tv_sec) * 1000000u + static_cast<uint64_t>(t.tv_nsec) / 1000u;
}

bool CreateFpsOverlay() {
  Device* device = GetDevice();
  if (device == nullptr) return false;
  static uint8_t texels[kAtlasWidth * kCell * 4];
  std::memset(texels, 0, sizeof texels);
  for (int g = 0; g < kGlyphCount; ++g) {
    const uint8_t* rows = kGlyphRows[g];
    for (uint32_t y = 0; y < 7; ++y) {
      for (uint32_t x = 0; x < 5; ++x) {
        if ((rows[y] >> (4 - x) & 1) == 0) continue;
        uint8_t* t =
            texels + ((y + 1) * kAtlasWidth + static_cast<uint32_t>(g) * kCell + x + 1) * 4;
        t[0] = t[1] = t[2] = t[3] = 255;
      }
    }
  }
  overlay.font.texture = device->CreateTexture(kAtlasWidth, kCell, texels);
  if (overlay.font.texture == nullptr) return false;
  std::snprintf(overlay.font.name, sizeof overlay.font.name, "fps overlay");
  overlay.font.width = kAtlasWidth;
  overlay.font.height = kCell;
  overlay.font.alphaTest = true;
  overlay.ready = true;
  std::snprintf(overlay.lines[0], kLineCapacity, "0.0 fps");
  overlay.lines[1][0] = '\0';
  BuildVertices();
  return true;
}

void ReleaseFpsOverlay() {
  if (overlay.font.texture != nullptr) overlay.font.texture->Release();
  overlay.font.texture = nullptr;
  overlay.ready = false;
}

void UpdateFpsOverlay(const FpsMeter& meter) {
  FormatFpsLines(meter, overlay.lines[0], kLineCapacity, overlay.lines[1], kLineCapacity);
  BuildVertices();
}

void DrawFpsOverlay() {
  Device* device = GetDevice();
  if (!overlay.ready || device == nullptr || overlay.vertexCount == 0) return;
  // Canvas units to clip space: x 0..640 to -1..1, y 0..480 downwards to 1..-1.
  Matrix4 projection;  // identity
  projection.m[0][0] = 2.0f / kCanvasWidth;
  projection.m[1][1] = -2.0f / kCanvasHeight;
  projection.m[2][2] = 0.0f;
  projection.m[3][0] = -1.0f;
  projection.m[3][1] = 1.0f;
  projection.m[3][2] = 0.5f;
  SetWorldMatrix(nullptr);
  SetViewMatrix(nullptr);
  SetTextureMatrix(nullptr);
  SetProjectionMatrix(projection);
  SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  SetRenderState(D3DRS_LIGHTING, 0);
  SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
  SetRenderState(D3DRS_ALPHATESTENABLE, 1);
  SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_POINT);
  device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_POINT);
  device->SetTextureStageState(0, D3DTSS_MIPFILTER, D3DTEXF_NONE);
  SetTexture(&overlay.font);
  DrawUserPrimitives(overlay.vertices, overlay.vertexCount / 3, kQuadVertexFvf, D3DPT_TRIANGLELIST);
  // The next frame's scene finds the engine's defaults, as on its first frame.
  SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
  SetRenderState(D3DRS_ALPHATESTENABLE, 0);
  SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
  device->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
  device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
  device->SetTextureStageState(0, D3DTSS_MIPFILTER, D3DTEXF_LINEAR);
  SetTexture(nullptr);
}

}  // namespace yulo
