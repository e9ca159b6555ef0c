#include "render/gl/gl_device.h"

#include <cmath>
#include <cstring>

#include "render/gl/gl_batch.h"
#include "render/gl/gl_context.h"
#include "render/gl/gl_magnify.h"
#include "render/gl/gl_programs.h"
#include "render/gl/gl_resources.h"

namespace yulo {

namespace {

constexpr uint32_t kStreamBufferBytes = 4u << 20;  // ring for user-memory vertices
constexpr uint32_t kBatchBytes = 1u << 20;         // merged user-memory draws, expanded
constexpr int kMaxLiveDevices = 8;
// A software rasteriser draws the scene at most this large and stretches it to the window.
constexpr uint32_t kSoftwareSceneWidth = 800;
constexpr uint32_t kSoftwareSceneHeight = 600;

// >>section translation tables
GLenum GlCompare(uint32_t func) {
  switch (func) {
    case D3DCMP_NEVER:
      return GL_NEVER;
    case D3DCMP_LESS:
      return GL_LESS;
    case D3DCMP_EQUAL:
      return GL_EQUAL;
    case D3DCMP_LESSEQUAL:
      return GL_LEQUAL;
    case D3DCMP_GREATER:
      return GL_GREATER;
    case D3DCMP_NOTEQUAL:
      return GL_NOTEQUAL;
    case D3DCMP_GREATEREQUAL:
      return GL_GEQUAL;
    default:
      return GL_ALWAYS;
  }
}

GLenum GlBlend(uint32_t blend) {
  switch (blend) {
    case D3DBLEND_ZERO:
      return GL_ZERO;
    case D3DBLEND_ONE:
      return GL_ONE;
    case D3DBLEND_SRCCOLOR:
      return GL_SRC_COLOR;
    case D3DBLEND_INVSRCCOLOR:
      return GL_ONE_MINUS_SRC_COLOR;
    case D3DBLEND_SRCALPHA:
      return GL_SRC_ALPHA;
    case D3DBLEND_INVSRCALPHA:
      return GL_ONE_MINUS_SRC_ALPHA;
    case D3DBLEND_DESTALPHA:
      return GL_DST_ALPHA;
    case D3DBLEND_INVDESTALPHA:
      return GL_ONE_MINUS_DST_ALPHA;
    case D3DBLEND_DESTCOLOR:
      return GL_DST_COLOR;
    case D3DBLEND_INVDESTCOLOR:
      return GL_ONE_MINUS_DST_COLOR;
    case D3DBLEND_SRCALPHASAT:
      return GL_SRC_ALPHA_SATURATE;
    default:
      return GL_ONE;
  }
}

GLenum GlBlendOp(uint32_t op) {
  switch (op) {
    case D3DBLENDOP_SUBTRACT:
      return GL_FUNC_SUBTRACT;
    case D3DBLENDOP_REVSUBTRACT:
      return GL_FUNC_REVERSE_SUBTRACT;
    case D3DBLENDOP_MIN:
      return GL_MIN;
    case D3DBLENDOP_MAX:
      return GL_MAX;
    default:
      return GL_FUNC_ADD;
  }
}

GLenum GlAddress(uint32_t address, bool mirrorOnce) {
  switch (address) {
    case D3DTADDRESS_MIRROR:
      return GL_MIRRORED_REPEAT;
    case D3DTADDRESS_CLAMP:
      return GL_CLAMP_TO_EDGE;
    case D3DTADDRESS_BORDER:
      return GL_CLAMP_TO_BORDER;
    case D3DTADDRESS_MIRRORONCE:
      // Mirrored once about zero, then clamped: GL's mirror-clamp, where the driver has it.
      return mirrorOnce ? GL_MIRROR_CLAMP_TO_EDGE : GL_CLAMP_TO_EDGE;
    default:
      return GL_REPEAT;
  }
}

GLenum GlPrimitive(PrimitiveType type) {
  switch (type) {
    case D3DPT_POINTLIST:
      return GL_POINTS;
    case D3DPT_LINELIST:
      return GL_LINES;
    case D3DPT_LINESTRIP:
      return GL_LINE_STRIP;
    case D3DPT_TRIANGLELIST:
      return GL_TRIANGLES;
    case D3DPT_TRIANGLESTRIP:
      return GL_TRIANGLE_STRIP;
    case D3DPT_TRIANGLEFAN:
      return GL_TRIANGLE_FAN;
  }
  return GL_POINTS;
}

// >>section matrix helpers (row vectors, as the engine's matrices)
void Multiply(const Matrix4& a, const Matrix4& b, Matrix4* out) {
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      out->m[r][c] = a.m[r][0] * b.m[0][c] + a.m[r][1] * b.m[1][c] + a.m[r][2] * b.m[2][c] +
                     a.m[r][3] * b.m[3][c];
    }
  }
}

// The inverse-transpose of the upper 3x3 block, row-major; the block itself if singular.
void NormalMatrix(const Matrix4& m, float out[9]) {
  const float a = m.m[0][0], b = m.m[0][1], c = m.m[0][2];
  const float d = m.m[1][0], e = m.m[1][1], f = m.m[1][2];
  const float g = m.m[2][0], h = m.m[2][1], i = m.m[2][2];
  const float A = e * i - f * h, B = f * g - d * i, C = d * h - e * g;
  const float det = a * A + b * B + c * C;
  if (std::fabs(det) < 1e-30f) {
    const float same[9] = {a, b, c, d, e, f, g, h, i};
    std::memcpy(out, same, sizeof same);
    return;
  }
  const float k = 1.0f / det;
  // Cofactor matrix divided by the determinant is the inverse-transpose.
  const float cof[9] = {A * k,
                        B * k,
                        C * k,
                        (c * h - b * i) * k,
                        (a * i - c * g) * k,
                        (b * g - a * h) * k,
                        (b * f - c * e) * k,
                        (c * d - a * f) * k,
                        (a * e - b * d) * k};
  std::memcpy(out, cof, sizeof cof);
}

// Mesa's CPU rasterisers name themselves in the renderer string.
bool SoftwareRenderer() {
  const auto* name = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  if (name == nullptr) return false;
  for (const char* word : {"llvmpipe", "softpipe", "swrast", "Software Rasterizer"}) {
    if (std::strstr(name, word) != nullptr) return true;
  }
  return false;
}

// Whether the bound window framebuffer's buffers are at least as deep as the scene
// framebuffer's (8-bit colour, fixed-point depth of 24 bits or more, one sample), so that
// drawing the scene straight into it loses nothing.
bool AsDeepAsTheScenes() {
  constexpr GLenum colour = GL_BACK_LEFT;
  GLint red = 0, green = 0, blue = 0, colourType = 0, depth = 0, depthType = 0, samples = -1;
  glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, colour, GL_FRAMEBUFFER_ATTACHMENT_RED_SIZE,
                                        &red);
  glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, colour,
                                        GL_FRAMEBUFFER_ATTACHMENT_GREEN_SIZE, &green);
  glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, colour, GL_FRAMEBUFFER_ATTACHMENT_BLUE_SIZE,
                                        &blue);
  glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, colour,
                                        GL_FRAMEBUFFER_ATTACHMENT_COMPONENT_TYPE, &colourType);
  glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_DEPTH,
                                        GL_FRAMEBUFFER_ATTACHMENT_DEPTH_SIZE, &depth);
  glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_DEPTH,
                                        GL_FRAMEBUFFER_ATTACHMENT_COMPONENT_TYPE, &depthType);
  glGetIntegerv(GL_SAMPLE_BUFFERS, &samples);
  return glGetError() == GL_NO_ERROR && red == 8 && green == 8 && blue == 8 &&
         colourType == GL_UNSIGNED_NORMALIZED && depth >= 24 &&
         depthType == GL_UNSIGNED_NORMALIZED && samples == 0;
}

}  // namespace

// >>section device
class GlDevice final : public Device {
 public:
  GlDevice(GlContext* context, bool keep4by3, bool scaleOnSoftware)
      : context_(context), keep4by3_(keep4by3), scaleOnSoftware_(scaleOnSoftware) {}
  ~GlDevice() override;

  bool Init();

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
  HResult TestCooperativeLevel() override { return D3D_OK; }
  HResult Reset(const PresentParameters& params) override;

  bool ReadFrame(std::vector<uint8_t>* rgba, uint32_t* width, uint32_t* height) override;
  bool ReadDepth(std::vector<float>* depth);
  uint64_t TakeDrawCalls() {
    Flush();
    const uint64_t n = glDrawCalls_;
    glDrawCalls_ = 0;
    return n;
  }
  void SetMerging(bool on) {
    Flush();
    merging_ = on;
  }
  GlDeviceStats Stats() const {
    GlDeviceStats stats;
    stats.programsBuilt = programs_.BuiltCount();
    stats.sceneWidth = sceneWidth_;
    stats.sceneHeight = sceneHeight_;
    stats.scaled = scaled_;
    return stats;
  }
  // A texture or buffer is about to go: nothing pending may still refer to it.
  void Forget(const void* resource);

 private:
  enum Dirty : uint32_t {
    kDirtyRaster = 1,      // depth, blend, cull, masks, fill
    kDirtyTransforms = 2,  // world-view, normal matrix, light direction
    kDirtyUniforms = 4,    // everything else the shaders read, and the program itself
    kDirtySampler = 8,
    kDirtyTexture = 16,
    kDirtyAll = 31,
  };

  void ApplyDefaults();
  void Sync(bool points);
  void SyncRaster();
  void UploadUniforms();
  void UpdateViewport();
  void UseFramebuffer(GLuint framebuffer);
  void BindAttributes(uint32_t fvf, uint32_t stride, GLuint buffer, GLintptr base);
  void BindElements(GLuint buffer);
  void SetMinFilter(GLenum filter);
  void ChooseMinFilter(const GlVertexBuffer& vertices, const GlIndexBuffer& indices,
                       PrimitiveType type, uint32_t startIndex, uint32_t count);
  void Flush();
  void DrawUserDirect(PrimitiveType type, uint32_t vertexCount, const uint8_t* bytes,
                      uint32_t stride);
  GLintptr StreamUpload(const void* bytes, uint32_t size);
  bool ResizeScene(uint32_t width, uint32_t height);
  void ShowScaledScene();
  GLuint SceneFramebuffer() const { return scaled_ ? sceneFramebuffer_ : context_->Framebuffer(); }
  void Changed(uint32_t dirty) {
    Flush();
    dirty_ |= dirty;
  }

  GlContext* context_;
  bool keep4by3_;
  bool scaleOnSoftware_;
  bool scaleScene_ = false;    // a software rasteriser: the scene has a framebuffer of its own
  bool capScene_ = false;      // ... of at most 800 x 600, unless full resolution (see Init)
  bool scaled_ = false;        // this size of window: the scene has its own framebuffer
  bool windowAsDeep_ = false;  // the window's buffers are as deep as the scene's
  ProgramCache programs_;
  const Program* program_ = nullptr;
  ProgramKey programKey_{~0u};
  GLuint vao_ = 0;
  GLuint sampler_ = 0;
  GLuint streamBuffer_ = 0;
  uint32_t streamCapacity_ = kStreamBufferBytes;
  uint32_t streamOffset_ = 0;
  float maxPointSize_ = 64.0f;
  GLint maxTextureSize_ = 2048;
  bool mirrorOnce_ = false;  // GL_MIRROR_CLAMP_TO_EDGE is there

  DeviceStateTable states_;
  Matrix4 world_, view_, projection_, texture_;
  Light light_{};
  bool lightEnabled_ = false;
  Material material_{};
  DeviceTexture* boundTexture_ = nullptr;
  VertexBuffer* stream_ = nullptr;
  uint32_t streamStride_ = 0;
  IndexBuffer* indices_ = nullptr;
  uint32_t baseVertexIndex_ = 0;
  uint32_t fvf_ = 0;
  uint32_t dirty_ = kDirtyAll;
  bool lastDrawPoints_ = false;
  bool sourceAlphaOne_ = false;         // the current draw's alpha is one everywhere
  GLenum mipMinFilter_ = GL_NEAREST;    // the stage's minification filter
  GLenum plainMinFilter_ = GL_NEAREST;  // the same without mips, where that's equivalent
  GLenum appliedMinFilter_ = 0;

  // The scene's viewport in the pixels of what it is drawn into (GL's lower-left origin):
  // the window's 4:3 part, or the whole small framebuffer when scaled.
  GLint viewportX_ = 0, viewportY_ = 0;
  GLsizei viewportWidth_ = 1, viewportHeight_ = 1;
  uint32_t drawableWidth_ = 0, drawableHeight_ = 0;  // the window's (or offscreen) size
  // Where the scene lands in the window, when scaled.
  GLint windowViewportX_ = 0, windowViewportY_ = 0;
  GLsizei windowViewportWidth_ = 1, windowViewportHeight_ = 1;
  // The small framebuffer of a scaled scene.
  GLuint sceneFramebuffer_ = 0, sceneColor_ = 0, sceneDepth_ = 0;
  uint32_t sceneWidth_ = 0, sceneHeight_ = 0;

  // GL state as last sent, so that equal values are not sent again.
  struct Applied {
    int depthTest = -1, depthMask = -1, blend = -1, cull = -1, frontFace = -1;
    // Blend factors start at no factor: GL_ZERO is 0, and GL's own start is not ours.
    GLenum depthFunc = 0, blendSrc = ~0u, blendDst = ~0u, blendOp = 0, polygonMode = 0;
    uint32_t colorMask = 0xFFFFFFFFu;
    GLuint framebuffer = ~0u, texture = ~0u, elements = ~0u;
    GLint viewport[4] = {-1, -1, -1, -1};
    // Vertex attributes: the buffer, layout and start they were pointed at.
    GLuint attribBuffer = ~0u;
    uint32_t attribFvf = ~0u, attribStride = 0;
    GLintptr attribBase = -1;
  } applied_;

  // Consecutive user-memory draws with equal states, expanded to one list.
  bool merging_ = true;
  UserDrawBatch batch_{kBatchBytes};

  uint64_t glDrawCalls_ = 0;
  std::vector<uint8_t> rowScratch_;  // read-back row swaps, kept between frames
  std::vector<float> depthScratch_;
};

namespace {
GlDevice* liveDevices[kMaxLiveDevices] = {};

GlDevice* AsGlDevice(Device* device) {
  if (device == nullptr) return nullptr;
  for (GlDevice* d : liveDevices) {
    if (d == device) return d;
  }
  return nullptr;
}
}  // namespace

void ForgetGlResource(Device* owner, const void* resource) {
  if (GlDevice* d = AsGlDevice(owner)) d->Forget(resource);
}

bool GlDevice::Init() {
  if (!context_->MakeCurrent()) return false;
  if (epoxy_gl_version() < 33) return false;
  glGenVertexArrays(1, &vao_);
  glBindVertexArray(vao_);
  glGenSamplers(1, &sampler_);
  glBindSampler(0, sampler_);
  glGenBuffers(1, &streamBuffer_);
  glBindBuffer(GL_ARRAY_BUFFER, streamBuffer_);
  glBufferData(GL_ARRAY_BUFFER, streamCapacity_, nullptr, GL_STREAM_DRAW);
  GLfloat range[2] = {1.0f, 64.0f};
  glGetFloatv(GL_ALIASED_POINT_SIZE_RANGE, range);
  maxPointSize_ = range[1];
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTextureSize_);
  mirrorOnce_ = epoxy_gl_version() >= 44 ||
                epoxy_has_gl_extension("GL_ARB_texture_mirror_clamp_to_edge") ||
                epoxy_has_gl_extension("GL_ATI_texture_mirror_once") ||
                epoxy_has_gl_extension("GL_EXT_texture_mirror_clamp");
  glEnable(GL_PROGRAM_POINT_SIZE);
  glPointParameteri(GL_POINT_SPRITE_COORD_ORIGIN, GL_UPPER_LEFT);
  glProvokingVertex(GL_FIRST_VERTEX_CONVENTION);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  const bool software = !context_->Offscreen() && SoftwareRenderer();
  // The software rasteriser sizes a window's buffers at the first drawing after each swap,
  // with garbage when the window is gone (see WindowGone). A host may destroy its window at
  // any moment, so the window is touched only in Present, right after WindowGone: the scene
  // keeps its own framebuffer at every size, full resolution included.
  capScene_ = software && scaleOnSoftware_;
  scaleScene_ = capScene_ || (software && context_->HostWindow());
  scaled_ = scaleScene_;
  if (scaleScene_) {
    UseFramebuffer(context_->Framebuffer());
    windowAsDeep_ = AsDeepAsTheScenes();
  }
  ApplyDefaults();
  // The first draw needs a program: make sure GL takes ours at all.
  if (programs_.Get(MakeProgramKey(states_, DrawInputs{})) == nullptr) return false;
  for (GlDevice*& slot : liveDevices) {
    if (slot == nullptr) {
      slot = this;
      return true;
    }
  }
  return false;
}

GlDevice::~GlDevice() {
  for (GlDevice*& slot : liveDevices) {
    if (slot == this) slot = nullptr;
  }
  if (context_->MakeCurrent()) {
    OrphanResources();
    programs_.Release();
    if (vao_ != 0) glDeleteVertexArrays(1, &vao_);
    if (sampler_ != 0) glDeleteSamplers(1, &sampler_);
    if (streamBuffer_ != 0) glDeleteBuffers(1, &streamBuffer_);
    if (sceneFramebuffer_ != 0) glDeleteFramebuffers(1, &sceneFramebuffer_);
    if (sceneColor_ != 0) glDeleteRenderbuffers(1, &sceneColor_);
    if (sceneDepth_ != 0) glDeleteRenderbuffers(1, &sceneDepth_);
  } else {
    OrphanResources();
  }
  delete context_;
}

void GlDevice::ApplyDefaults() {
  states_.SetDefaults(maxPointSize_);
  world_.SetIdentity();
  view_.SetIdentity();
  projection_.SetIdentity();
  texture_.SetIdentity();
  light_ = Light{};
  lightEnabled_ = false;
  material_ = Material{};
  boundTexture_ = nullptr;
  stream_ = nullptr;
  streamStride_ = 0;
  indices_ = nullptr;
  baseVertexIndex_ = 0;
  fvf_ = 0;
  dirty_ = kDirtyAll;
}

void GlDevice::Forget(const void* resource) {
  context_->MakeCurrent();  // the resource's GL objects go next, in this context
  if (resource == boundTexture_ || resource == stream_ || resource == indices_) Flush();
  if (resource == boundTexture_) {
    boundTexture_ = nullptr;
    dirty_ |= kDirtyTexture | kDirtyUniforms;
  }
  if (resource == stream_) stream_ = nullptr;
  if (resource == indices_) indices_ = nullptr;
  // Its GL name may come back for a new object: nothing cached may match it by name.
  applied_.texture = ~0u;
  applied_.elements = ~0u;
  applied_.attribBuffer = ~0u;
}

// >>section state entry points: a change flushes merged draws, an equal value does nothing
void GlDevice::SetRenderState(RenderStateType state, uint32_t value) {
  if (state >= kRenderStateCount || states_.render[state] == value) return;
  Changed(kDirtyRaster | kDirtyUniforms);
  states_.render[state] = value;
}

void GlDevice::SetTextureStageState(uint32_t stage, TextureStageStateType type, uint32_t value) {
  if (stage >= kTextureStageCount || type >= kTextureStageStateCount) return;
  if (states_.stage[stage][type] == value) return;
  if (stage != 0) {
    states_.stage[stage][type] = value;  // only stage 0 is drawn with
    return;
  }
  Changed(kDirtyUniforms | kDirtySampler);
  states_.stage[stage][type] = value;
}

void GlDevice::SetTransform(TransformStateType state, const Matrix4& matrix) {
  Matrix4* target = nullptr;
  switch (state) {
    case D3DTS_WORLD:
      target = &world_;
      break;
    case D3DTS_VIEW:
      target = &view_;
      break;
    case D3DTS_PROJECTION:
      target = &projection_;
      break;
    case D3DTS_TEXTURE0:
      target = &texture_;
      break;
  }
  if (target == nullptr || std::memcmp(target->Data(), matrix.Data(), sizeof(Matrix4)) == 0) {
    return;
  }
  Changed(kDirtyTransforms | kDirtyUniforms);
  *target = matrix;
}

void GlDevice::GetTransform(TransformStateType state, Matrix4* matrix) {
  if (matrix == nullptr) return;
  switch (state) {
    case D3DTS_WORLD:
      *matrix = world_;
      break;
    case D3DTS_VIEW:
      *matrix = view_;
      break;
    case D3DTS_PROJECTION:
      *matrix = projection_;
      break;
    case D3DTS_TEXTURE0:
      *matrix = texture_;
      break;
  }
}

void GlDevice::SetLight(uint32_t index, const Light& light) {
  if (index != 0 || std::memcmp(&light_, &light, sizeof light) == 0) return;
  Changed(kDirtyTransforms | kDirtyUniforms);
  light_ = light;
}

void GlDevice::LightEnable(uint32_t index, bool enable) {
  if (index != 0 || lightEnabled_ == enable) return;
  Changed(kDirtyUniforms);
  lightEnabled_ = enable;
}

void GlDevice::SetMaterial(const Material& material) {
  if (std::memcmp(&material_, &material, sizeof material) == 0) return;
  Changed(kDirtyUniforms);
  material_ = material;
}

void GlDevice::SetTexture(uint32_t stage, DeviceTexture* texture) {
  if (stage != 0 || boundTexture_ == texture) return;
  Changed(kDirtyTexture | kDirtyUniforms);
  boundTexture_ = texture;
}

void GlDevice::SetStreamSource(uint32_t stream, VertexBuffer* buffer, uint32_t stride) {
  if (stream != 0) return;
  stream_ = buffer;
  streamStride_ = stride;
}

void GlDevice::SetIndices(IndexBuffer* buffer, uint32_t baseVertexIndex) {
  indices_ = buffer;
  baseVertexIndex_ = baseVertexIndex;
}

void GlDevice::SetVertexShader(uint32_t fvf) {
  if (fvf_ == fvf) return;
  Changed(kDirtyUniforms);
  fvf_ = fvf;
}

// >>section resources
DeviceTexture* GlDevice::CreateTexture(uint32_t width, uint32_t height, const uint8_t* rgba) {
  if (width == 0 || height == 0 || rgba == nullptr || !context_->MakeCurrent()) return nullptr;
  Flush();
  bool opaque = true;
  const size_t texels = static_cast<size_t>(width) * height;
  for (size_t i = 0; i < texels && opaque; ++i) opaque = rgba[i * 4 + 3] == 0xFF;
  const GLuint name = MakeGlTexture(rgba, &width, &height, static_cast<uint32_t>(maxTextureSize_));
  applied_.texture = ~0u;  // unit 0 now holds the new texture, or nothing
  dirty_ |= kDirtyTexture;
  if (name == 0) return nullptr;
  return new GlTexture(this, width, height, name, opaque);
}

VertexBuffer* GlDevice::CreateVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf,
                                           Pool /*pool*/) {
  if (length == 0 || !context_->MakeCurrent()) return nullptr;
  Flush();
  return new GlVertexBuffer(this, length, usage, fvf);
}

IndexBuffer* GlDevice::CreateIndexBuffer(uint32_t length, uint32_t usage, Format format,
                                         Pool /*pool*/) {
  if (length == 0 || (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32)) return nullptr;
  if (!context_->MakeCurrent()) return nullptr;
  Flush();
  return new GlIndexBuffer(this, length, usage, format);
}

// >>section syncing GL with the device state
void GlDevice::UseFramebuffer(GLuint framebuffer) {
  if (applied_.framebuffer == framebuffer) return;
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
  applied_.framebuffer = framebuffer;
}

// The small framebuffer of a scaled scene, made or remade for width x height.
bool GlDevice::ResizeScene(uint32_t width, uint32_t height) {
  if (sceneFramebuffer_ == 0) {
    glGenFramebuffers(1, &sceneFramebuffer_);
    glGenRenderbuffers(1, &sceneColor_);
    glGenRenderbuffers(1, &sceneDepth_);
  }
  glBindRenderbuffer(GL_RENDERBUFFER, sceneColor_);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, static_cast<GLsizei>(width),
                        static_cast<GLsizei>(height));
  glBindRenderbuffer(GL_RENDERBUFFER, sceneDepth_);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, static_cast<GLsizei>(width),
                        static_cast<GLsizei>(height));
  UseFramebuffer(sceneFramebuffer_);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, sceneColor_);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, sceneDepth_);
  if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) return false;
  sceneWidth_ = width;
  sceneHeight_ = height;
  return true;
}

void GlDevice::UpdateViewport() {
  uint32_t w = 1;
  uint32_t h = 1;
  context_->DrawableSize(&w, &h);
  if (w != drawableWidth_ || h != drawableHeight_) {
    drawableWidth_ = w;
    drawableHeight_ = h;
    GLint x = 0, y = 0;
    GLsizei vw = static_cast<GLsizei>(w), vh = static_cast<GLsizei>(h);
    if (keep4by3_) {
      // The largest centred 4:3 rectangle: bars left and right, or above and below.
      if (static_cast<uint64_t>(w) * 3 > static_cast<uint64_t>(h) * 4) {
        vw = static_cast<GLsizei>(static_cast<uint64_t>(h) * 4 / 3);
        x = static_cast<GLint>((w - static_cast<uint32_t>(vw)) / 2);
      } else {
        vh = static_cast<GLsizei>(static_cast<uint64_t>(w) * 3 / 4);
        y = static_cast<GLint>((h - static_cast<uint32_t>(vh)) / 2);
      }
    }
    windowViewportX_ = x;
    windowViewportY_ = y;
    windowViewportWidth_ = vw > 0 ? vw : 1;
    windowViewportHeight_ = vh > 0 ? vh : 1;
    viewportX_ = x;
    viewportY_ = y;
    viewportWidth_ = windowViewportWidth_;
    viewportHeight_ = windowViewportHeight_;
    scaled_ = scaleScene_;
    if (scaled_) {
      // Small enough for the software rasteriser, same shape as the window's part.
      const double scale =
          capScene_
              ? std::fmin(1.0, std::fmin(double(kSoftwareSceneWidth) / double(viewportWidth_),
                                         double(kSoftwareSceneHeight) / double(viewportHeight_)))
              : 1.0;
      const auto sw = static_cast<uint32_t>(std::fmax(1.0, std::round(viewportWidth_ * scale)));
      const auto sh = static_cast<uint32_t>(std::fmax(1.0, std::round(viewportHeight_ * scale)));
      if (windowAsDeep_ && !context_->HostWindow() && sw == w && sh == h) {
        // The scene would fill the window at the window's own size: it is drawn straight
        // into the window, which saves a clear and a copy of the whole window each frame
        // (never a host's window: see Init).
        scaled_ = false;
      } else if ((sw != sceneWidth_ || sh != sceneHeight_) && !ResizeScene(sw, sh)) {
        scaleScene_ = scaled_ = false;  // no framebuffer of our own: draw into the window
      } else {
        viewportX_ = 0;
        viewportY_ = 0;
        viewportWidth_ = static_cast<GLsizei>(sw);
        viewportHeight_ = static_cast<GLsizei>(sh);
      }
    }
    dirty_ |= kDirtyUniforms;
  }
  const GLint want[4] = {viewportX_, viewportY_, viewportWidth_, viewportHeight_};
  if (std::memcmp(want, applied_.viewport, sizeof want) != 0) {
    glViewport(want[0], want[1], want[2], want[3]);
    std::memcpy(applied_.viewport, want, sizeof want);
  }
}

void GlDevice::SyncRaster() {
  const uint32_t* rs = states_.render;
  const int depthTest = rs[D3DRS_ZENABLE] != D3DZB_FALSE ? 1 : 0;
  if (applied_.depthTest != depthTest) {
    depthTest ? glEnable(GL_DEPTH_TEST) : glDisable(GL_DEPTH_TEST);
    applied_.depthTest = depthTest;
  }
  const int depthMask = rs[D3DRS_ZWRITEENABLE] != 0 ? 1 : 0;
  if (applied_.depthMask != depthMask) {
    glDepthMask(depthMask ? GL_TRUE : GL_FALSE);
    applied_.depthMask = depthMask;
  }
  const GLenum depthFunc = GlCompare(rs[D3DRS_ZFUNC]);
  if (applied_.depthFunc != depthFunc) {
    glDepthFunc(depthFunc);
    applied_.depthFunc = depthFunc;
  }
  const BlendUse use = ReduceBlend(states_, sourceAlphaOne_);
  const int blend = use.enabled ? 1 : 0;
  if (applied_.blend != blend) {
    blend ? glEnable(GL_BLEND) : glDisable(GL_BLEND);
    applied_.blend = blend;
  }
  const GLenum src = GlBlend(use.src);
  const GLenum dst = GlBlend(use.dst);
  if (blend && (applied_.blendSrc != src || applied_.blendDst != dst)) {
    glBlendFunc(src, dst);
    applied_.blendSrc = src;
    applied_.blendDst = dst;
  }
  const GLenum op = GlBlendOp(rs[D3DRS_BLENDOP]);
  if (blend && applied_.blendOp != op) {
    glBlendEquation(op);
    applied_.blendOp = op;
  }
  // The device culls by on-screen winding with y pointing down; the image is not flipped,
  // so GL's front face is the winding that is kept.
  const uint32_t cullMode = rs[D3DRS_CULLMODE];
  const int cull = cullMode == D3DCULL_CW || cullMode == D3DCULL_CCW ? 1 : 0;
  if (applied_.cull != cull) {
    cull ? glEnable(GL_CULL_FACE) : glDisable(GL_CULL_FACE);
    applied_.cull = cull;
  }
  if (cull) {
    const int frontFace = cullMode == D3DCULL_CCW ? GL_CW : GL_CCW;
    if (applied_.frontFace != frontFace) {
      glFrontFace(static_cast<GLenum>(frontFace));
      glCullFace(GL_BACK);
      applied_.frontFace = frontFace;
    }
  }
  // The frame's format has no alpha (X8R8G8B8): alpha stays at the opaque value the clears
  // write, so frames read back opaque and destination alpha reads as one.
  const uint32_t mask = rs[D3DRS_COLORWRITEENABLE] & 0x7;
  if (applied_.colorMask != mask) {
    glColorMask((mask & 1) != 0, (mask & 2) != 0, (mask & 4) != 0, GL_FALSE);
    applied_.colorMask = mask;
  }
  const GLenum fill = rs[D3DRS_FILLMODE] == D3DFILL_WIREFRAME ? GL_LINE
                      : rs[D3DRS_FILLMODE] == D3DFILL_POINT   ? GL_POINT
                                                              : GL_FILL;
  if (applied_.polygonMode != fill) {
    glPolygonMode(GL_FRONT_AND_BACK, fill);
    applied_.polygonMode = fill;
  }
}

void GlDevice::UploadUniforms() {
  const Program& p = *program_;
  const uint32_t* rs = states_.render;

  Matrix4 worldView;
  Multiply(world_, view_, &worldView);
  glUniformMatrix4fv(p.worldView, 1, GL_FALSE, worldView.Data());
  glUniformMatrix4fv(p.projection, 1, GL_FALSE, projection_.Data());
  if (p.normalMatrix >= 0) {
    float normal[9];
    NormalMatrix(worldView, normal);
    glUniformMatrix3fv(p.normalMatrix, 1, GL_FALSE, normal);
  }
  if (p.textureMatrix >= 0) glUniformMatrix4fv(p.textureMatrix, 1, GL_FALSE, texture_.Data());

  if (p.lightDirection >= 0) {
    // Light travels along its direction: towards it is minus the direction, in eye space.
    const Vector3& d = light_.direction;
    float lx = d.x * view_.m[0][0] + d.y * view_.m[1][0] + d.z * view_.m[2][0];
    float ly = d.x * view_.m[0][1] + d.y * view_.m[1][1] + d.z * view_.m[2][1];
    float lz = d.x * view_.m[0][2] + d.y * view_.m[1][2] + d.z * view_.m[2][2];
    const float length = std::sqrt(lx * lx + ly * ly + lz * lz);
    if (length > 0.0f) {
      lx /= -length;
      ly /= -length;
      lz /= -length;
    }
    glUniform3f(p.lightDirection, lx, ly, lz);
  }
  // Each on its own: without normals the direction is compiled out, the ambient term not.
  if (p.lightDiffuse >= 0)
    glUniform3f(p.lightDiffuse, light_.diffuse.r, light_.diffuse.g, light_.diffuse.b);
  if (p.lightAmbient >= 0)
    glUniform3f(p.lightAmbient, light_.ambient.r, light_.ambient.g, light_.ambient.b);
  if (p.materialEmissive >= 0) {
    glUniform4f(p.materialDiffuse, material_.diffuse.r, material_.diffuse.g, material_.diffuse.b,
                material_.diffuse.a);
    glUniform3f(p.materialAmbient, material_.ambient.r, material_.ambient.g, material_.ambient.b);
    glUniform3f(p.materialEmissive, material_.emissive.r, material_.emissive.g,
                material_.emissive.b);
    const uint32_t ambient = rs[D3DRS_AMBIENT];
    glUniform3f(p.globalAmbient, static_cast<float>((ambient >> 16) & 0xFF) / 255.0f,
                static_cast<float>((ambient >> 8) & 0xFF) / 255.0f,
                static_cast<float>(ambient & 0xFF) / 255.0f);
  }

  if (p.pointParams >= 0) {
    const float maxSize = std::fmin(BitsFloat(rs[D3DRS_POINTSIZE_MAX]), maxPointSize_);
    glUniform4f(p.pointParams, BitsFloat(rs[D3DRS_POINTSIZE]), BitsFloat(rs[D3DRS_POINTSIZE_MIN]),
                maxSize, static_cast<float>(viewportHeight_));
    glUniform3f(p.pointScale, BitsFloat(rs[D3DRS_POINTSCALE_A]), BitsFloat(rs[D3DRS_POINTSCALE_B]),
                BitsFloat(rs[D3DRS_POINTSCALE_C]));
  }
  // Pixel centres sit on whole coordinates in the device's convention, on halves in GL's:
  // moving everything half a pixel right and down makes both sample the same points. Down
  // by 63/128 of a pixel only: GL's y points up, so where an edge lies exactly on a sample
  // its tie rule keeps the bottom row of a shape where the device keeps the top one; kept
  // just off the samples, edges on whole coordinates cover the same rows on both.
  glUniform2f(p.pixelOffset, 1.0f / static_cast<float>(viewportWidth_),
              -(63.0f / 64.0f) / static_cast<float>(viewportHeight_));

  if (p.textureFactor >= 0) {
    const uint32_t factor = rs[D3DRS_TEXTUREFACTOR];
    glUniform4f(p.textureFactor, static_cast<float>((factor >> 16) & 0xFF) / 255.0f,
                static_cast<float>((factor >> 8) & 0xFF) / 255.0f,
                static_cast<float>(factor & 0xFF) / 255.0f,
                static_cast<float>(factor >> 24) / 255.0f);
  }
  if (p.alphaRef >= 0) {
    glUniform1f(p.alphaRef, static_cast<float>(rs[D3DRS_ALPHAREF] & 0xFF));
  }
}

void GlDevice::Sync(bool points) {
  UpdateViewport();
  if (points != lastDrawPoints_) {
    lastDrawPoints_ = points;
    dirty_ |= kDirtyUniforms;
  }
  if (dirty_ & kDirtyUniforms) {
    DrawInputs draw;
    draw.fvf = fvf_;
    draw.pointList = points;
    draw.textured = boundTexture_ != nullptr;
    draw.directionalLight = lightEnabled_ && light_.type == D3DLIGHT_DIRECTIONAL;
    draw.textureOpaque = draw.textured && static_cast<GlTexture*>(boundTexture_)->Opaque();
    draw.materialAlphaOne = material_.diffuse.a >= 1.0f;
    const bool alphaOne = DrawAlphaIsOne(states_, draw);
    if (alphaOne != sourceAlphaOne_) {
      sourceAlphaOne_ = alphaOne;
      dirty_ |= kDirtyRaster;  // blending may reduce differently
    }
    const ProgramKey key = MakeProgramKey(states_, draw);
    if (!(key == programKey_) || program_ == nullptr) {
      const Program* next = programs_.Get(key);
      if (next != nullptr && next != program_) {
        glUseProgram(next->name);
        program_ = next;
      }
      programKey_ = key;
    }
  }
  UseFramebuffer(SceneFramebuffer());
  if (dirty_ & kDirtyRaster) SyncRaster();
  if (dirty_ & kDirtySampler) {
    const uint32_t* st = states_.stage[0];
    glSamplerParameteri(sampler_, GL_TEXTURE_WRAP_S,
                        static_cast<GLint>(GlAddress(st[D3DTSS_ADDRESSU], mirrorOnce_)));
    glSamplerParameteri(sampler_, GL_TEXTURE_WRAP_T,
                        static_cast<GLint>(GlAddress(st[D3DTSS_ADDRESSV], mirrorOnce_)));
    const bool magLinear = st[D3DTSS_MAGFILTER] >= D3DTEXF_LINEAR;
    const bool minLinear = st[D3DTSS_MINFILTER] >= D3DTEXF_LINEAR;
    GLenum minFilter = minLinear ? GL_LINEAR : GL_NEAREST;
    if (st[D3DTSS_MIPFILTER] == D3DTEXF_POINT) {
      minFilter = minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    } else if (st[D3DTSS_MIPFILTER] >= D3DTEXF_LINEAR) {
      minFilter = minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
    }
    mipMinFilter_ = minFilter;
    // Where the texture is only magnified the minification filter is never used, and
    // without mips it is the magnification filter's twin.
    plainMinFilter_ = minFilter != GL_LINEAR && minFilter != GL_NEAREST && minLinear == magLinear
                          ? (minLinear ? GL_LINEAR : GL_NEAREST)
                          : minFilter;
    SetMinFilter(minFilter);
    glSamplerParameteri(sampler_, GL_TEXTURE_MAG_FILTER, magLinear ? GL_LINEAR : GL_NEAREST);
    const uint32_t border = st[D3DTSS_BORDERCOLOR];
    const float borderColor[4] = {static_cast<float>((border >> 16) & 0xFF) / 255.0f,
                                  static_cast<float>((border >> 8) & 0xFF) / 255.0f,
                                  static_cast<float>(border & 0xFF) / 255.0f,
                                  static_cast<float>(border >> 24) / 255.0f};
    glSamplerParameterfv(sampler_, GL_TEXTURE_BORDER_COLOR, borderColor);
  }
  if (dirty_ & kDirtyTexture) {
    auto* texture = static_cast<GlTexture*>(boundTexture_);
    const GLuint name = texture != nullptr ? texture->Name() : 0;
    if (applied_.texture != name) {
      glActiveTexture(GL_TEXTURE0);
      glBindTexture(GL_TEXTURE_2D, name);
      applied_.texture = name;
    }
  }
  if ((dirty_ & (kDirtyUniforms | kDirtyTransforms)) && program_ != nullptr) UploadUniforms();
  dirty_ = 0;
}

void GlDevice::SetMinFilter(GLenum filter) {
  if (appliedMinFilter_ == filter) return;
  glSamplerParameteri(sampler_, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(filter));
  appliedMinFilter_ = filter;
}

// Indexed triangle lists that provably only magnify their texture are drawn without mip
// filtering: the same texels, without the per-pixel level-of-detail work.
void GlDevice::ChooseMinFilter(const GlVertexBuffer& vertices, const GlIndexBuffer& indices,
                               PrimitiveType type, uint32_t startIndex, uint32_t count) {
  const uint32_t* st = states_.stage[0];
  bool plain = false;
  // Filled triangles only: lines and points set up their derivatives their own way.
  if (plainMinFilter_ != mipMinFilter_ && type == D3DPT_TRIANGLELIST && boundTexture_ != nullptr &&
      (fvf_ & D3DFVF_TEXCOUNT_MASK) != 0 && states_.render[D3DRS_FILLMODE] == D3DFILL_SOLID) {
    MagnifyDraw d;
    d.vertices = vertices.Bytes().data();
    d.stride = streamStride_;
    d.vertexCount = vertices.Length() / streamStride_;
    d.texOffset = FvfStride(fvf_ & ~D3DFVF_TEXCOUNT_MASK);  // coordinates come last
    d.indexSize = indices.IndexSize();
    d.indices = indices.Bytes().data() + static_cast<size_t>(startIndex) * d.indexSize;
    d.indexCount = count;
    d.baseVertex = baseVertexIndex_;
    Matrix4 worldView;
    Multiply(world_, view_, &worldView);
    Multiply(worldView, projection_, &d.clip);
    if ((st[D3DTSS_TEXTURETRANSFORMFLAGS] & 0xFF) == D3DTTFF_COUNT2) {
      const float linear[4] = {texture_.m[0][0], texture_.m[0][1], texture_.m[1][0],
                               texture_.m[1][1]};
      std::memcpy(d.texLinear, linear, sizeof linear);
    }
    d.texWidth = boundTexture_->Width();
    d.texHeight = boundTexture_->Height();
    d.viewWidth = static_cast<uint32_t>(viewportWidth_);
    d.viewHeight = static_cast<uint32_t>(viewportHeight_);
    plain = DrawOnlyMagnifies(d);
  }
  SetMinFilter(plain ? plainMinFilter_ : mipMinFilter_);
}

void GlDevice::BindAttributes(uint32_t fvf, uint32_t stride, GLuint buffer, GLintptr base) {
  if (applied_.attribBuffer == buffer && applied_.attribFvf == fvf &&
      applied_.attribStride == stride && applied_.attribBase == base) {
    return;
  }
  const bool sameLayout = applied_.attribFvf == fvf;
  applied_.attribBuffer = buffer;
  applied_.attribFvf = fvf;
  applied_.attribStride = stride;
  applied_.attribBase = base;
  glBindBuffer(GL_ARRAY_BUFFER, buffer);
  const auto at = [base](uint32_t offset) {
    return reinterpret_cast<const void*>(base + static_cast<GLintptr>(offset));
  };
  const auto s = static_cast<GLsizei>(stride);
  // Arrays are switched on and off only when the layout changes.
  const auto enable = [sameLayout](GLuint index, bool on) {
    if (sameLayout) return;
    on ? glEnableVertexAttribArray(index) : glDisableVertexAttribArray(index);
  };
  uint32_t offset = 0;
  enable(0, true);
  glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, s, at(offset));
  offset += 12;
  enable(1, (fvf & D3DFVF_NORMAL) != 0);
  if (fvf & D3DFVF_NORMAL) {
    glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, s, at(offset));
    offset += 12;
  }
  enable(2, (fvf & D3DFVF_PSIZE) != 0);
  if (fvf & D3DFVF_PSIZE) {
    glVertexAttribPointer(2, 1, GL_FLOAT, GL_FALSE, s, at(offset));
    offset += 4;
  }
  enable(3, (fvf & D3DFVF_DIFFUSE) != 0);
  if (fvf & D3DFVF_DIFFUSE) {
    // Packed 0xAARRGGBB: bytes B, G, R, A in memory.
    glVertexAttribPointer(3, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, s, at(offset));
    offset += 4;
  }
  if (fvf & D3DFVF_SPECULAR) offset += 4;
  enable(4, (fvf & D3DFVF_TEXCOUNT_MASK) != 0);
  if (fvf & D3DFVF_TEXCOUNT_MASK) {
    glVertexAttribPointer(4, 2, GL_FLOAT, GL_FALSE, s, at(offset));
  } else if (!sameLayout) {
    glVertexAttrib2f(4, 0.0f, 0.0f);
  }
}

void GlDevice::BindElements(GLuint buffer) {
  if (applied_.elements == buffer) return;
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffer);  // part of the vertex array's state
  applied_.elements = buffer;
}

// User-memory vertices go into a ring written without waiting for the rasteriser: a range
// is never written again until the ring wraps, and a wrap hands GL a fresh store.
GLintptr GlDevice::StreamUpload(const void* bytes, uint32_t size) {
  glBindBuffer(GL_ARRAY_BUFFER, streamBuffer_);
  applied_.attribBuffer = ~0u;
  if (size > streamCapacity_) {
    // Grows once to the largest draw seen; steady state allocates nothing.
    streamCapacity_ = size;
    glBufferData(GL_ARRAY_BUFFER, streamCapacity_, nullptr, GL_STREAM_DRAW);
    streamOffset_ = 0;
  } else if (streamOffset_ + size > streamCapacity_) {
    glBufferData(GL_ARRAY_BUFFER, streamCapacity_, nullptr, GL_STREAM_DRAW);  // orphan
    streamOffset_ = 0;
  }
  const GLintptr base = streamOffset_;
  void* target =
      glMapBufferRange(GL_ARRAY_BUFFER, base, size,
                       GL_MAP_WRITE_BIT | GL_MAP_UNSYNCHRONIZED_BIT | GL_MAP_INVALIDATE_RANGE_BIT);
  if (target != nullptr) {
    std::memcpy(target, bytes, size);
    glUnmapBuffer(GL_ARRAY_BUFFER);
  } else {
    glBufferSubData(GL_ARRAY_BUFFER, base, size, bytes);
  }
  streamOffset_ += (size + 15u) & ~15u;
  return base;
}

// >>section drawing
void GlDevice::DrawUserDirect(PrimitiveType type, uint32_t vertexCount, const uint8_t* bytes,
                              uint32_t stride) {
  if (vertexCount == 0 || !context_->MakeCurrent()) return;
  Sync(type == D3DPT_POINTLIST);
  const GLintptr base = StreamUpload(bytes, vertexCount * stride);
  BindAttributes(fvf_, stride, streamBuffer_, base);
  SetMinFilter(mipMinFilter_);
  glDrawArrays(GlPrimitive(type), 0, static_cast<GLsizei>(vertexCount));
  ++glDrawCalls_;
}

void GlDevice::Flush() {
  if (batch_.Empty()) return;
  const PrimitiveType type = batch_.Type();
  const uint32_t vertices = batch_.Vertices();
  batch_.Clear();  // before drawing: the draw's own Sync flushes again
  DrawUserDirect(type, vertices, batch_.Bytes(), batch_.Stride());
}

void GlDevice::DrawPrimitiveUP(PrimitiveType type, uint32_t primitiveCount, const void* vertices,
                               uint32_t stride) {
  // As on the API, a draw from memory leaves stream 0 unbound.
  stream_ = nullptr;
  streamStride_ = 0;
  const uint32_t count = VertexCountOf(type, primitiveCount);
  if (count == 0 || vertices == nullptr || stride < 12) return;
  const auto* bytes = static_cast<const uint8_t*>(vertices);
  if (!merging_ || !batch_.Accepts(type, primitiveCount, stride)) {
    Flush();
    DrawUserDirect(type, count, bytes, stride);
    return;
  }
  if (!batch_.Joins(type, primitiveCount, stride, fvf_)) Flush();
  batch_.Append(type, primitiveCount, bytes, stride, fvf_);
}

void GlDevice::DrawPrimitive(PrimitiveType type, uint32_t startVertex, uint32_t primitiveCount) {
  Flush();
  auto* buffer = static_cast<GlVertexBuffer*>(stream_);
  const uint32_t count = VertexCountOf(type, primitiveCount);
  if (buffer == nullptr || count == 0 || streamStride_ < 12) return;
  // A draw past the end of the buffer is refused rather than read out of bounds.
  const uint64_t end = (static_cast<uint64_t>(startVertex) + count) * streamStride_;
  if (end > buffer->Length() || !context_->MakeCurrent()) return;
  Sync(type == D3DPT_POINTLIST);
  BindAttributes(fvf_, streamStride_, buffer->Name(), 0);
  SetMinFilter(mipMinFilter_);
  glDrawArrays(GlPrimitive(type), static_cast<GLint>(startVertex), static_cast<GLsizei>(count));
  ++glDrawCalls_;
}

void GlDevice::DrawIndexedPrimitive(PrimitiveType type, uint32_t /*minIndex*/,
                                    uint32_t /*numVertices*/, uint32_t startIndex,
                                    uint32_t primitiveCount) {
  Flush();
  auto* vertices = static_cast<GlVertexBuffer*>(stream_);
  auto* indices = static_cast<GlIndexBuffer*>(indices_);
  const uint32_t count = VertexCountOf(type, primitiveCount);
  if (vertices == nullptr || indices == nullptr || count == 0 || streamStride_ < 12) return;
  const uint64_t indexEnd = (static_cast<uint64_t>(startIndex) + count) * indices->IndexSize();
  if (indexEnd > indices->Length()) return;
  // Every index must name a vertex inside the buffer. Usually the largest index of the whole
  // buffer settles it; only when it does not is the drawn range looked at.
  const auto reaches = [&](uint64_t index) {
    return (index + baseVertexIndex_ + 1) * streamStride_ <= vertices->Length();
  };
  if (!reaches(indices->LargestIndex()) && !reaches(indices->MaxIndex(startIndex, count))) return;
  if (!context_->MakeCurrent()) return;
  Sync(type == D3DPT_POINTLIST);
  BindAttributes(fvf_, streamStride_, vertices->Name(), 0);
  BindElements(indices->Name());
  ChooseMinFilter(*vertices, *indices, type, startIndex, count);
  const GLenum indexType = indices->IndexSize() == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT;
  glDrawElementsBaseVertex(
      GlPrimitive(type), static_cast<GLsizei>(count), indexType,
      reinterpret_cast<const void*>(static_cast<uintptr_t>(startIndex) * indices->IndexSize()),
      static_cast<GLint>(baseVertexIndex_));
  ++glDrawCalls_;
}

void GlDevice::Clear(uint32_t /*count*/, const void* /*rects*/, uint32_t flags, uint32_t color,
                     float z, uint32_t /*stencil*/) {
  Flush();
  if (!context_->MakeCurrent()) return;
  UpdateViewport();
  UseFramebuffer(SceneFramebuffer());
  // Clears obey the write masks in GL, not on the device: open them for the clear.
  glDepthMask(GL_TRUE);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  applied_.depthMask = -1;
  applied_.colorMask = 0xFFFFFFFFu;
  dirty_ |= kDirtyRaster;
  // A scaled scene has its own framebuffer: the window's bars are drawn when it is shown.
  const bool bars = !scaled_ && (viewportX_ != 0 || viewportY_ != 0 ||
                                 static_cast<uint32_t>(viewportWidth_) != drawableWidth_ ||
                                 static_cast<uint32_t>(viewportHeight_) != drawableHeight_);
  if (bars && (flags & D3DCLEAR_TARGET)) {
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
  }
  GLbitfield mask = 0;
  if (flags & D3DCLEAR_TARGET) {
    glClearColor(static_cast<float>((color >> 16) & 0xFF) / 255.0f,
                 static_cast<float>((color >> 8) & 0xFF) / 255.0f,
                 static_cast<float>(color & 0xFF) / 255.0f, 1.0f);
    mask |= GL_COLOR_BUFFER_BIT;
  }
  if (flags & D3DCLEAR_ZBUFFER) {
    glClearDepth(z < 0.0f ? 0.0 : z > 1.0f ? 1.0 : static_cast<double>(z));
    mask |= GL_DEPTH_BUFFER_BIT;
  }
  if (mask == 0) return;
  if (bars) {
    glEnable(GL_SCISSOR_TEST);
    glScissor(viewportX_, viewportY_, viewportWidth_, viewportHeight_);
  }
  glClear(mask);
  if (bars) glDisable(GL_SCISSOR_TEST);
}

void GlDevice::BeginScene() {}

void GlDevice::EndScene() {
  Flush();
}

// Stretches the small scene over the window's 4:3 part, with black bars around it.
void GlDevice::ShowScaledScene() {
  UseFramebuffer(context_->Framebuffer());
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  applied_.colorMask = 0xFFFFFFFFu;
  dirty_ |= kDirtyRaster;
  // Only the bars are cleared: the copy covers the rest.
  const GLint w = static_cast<GLint>(drawableWidth_), h = static_cast<GLint>(drawableHeight_);
  const GLint x0 = windowViewportX_, x1 = windowViewportX_ + windowViewportWidth_;
  const GLint y0 = windowViewportY_, y1 = windowViewportY_ + windowViewportHeight_;
  const GLint bars[4][4] = {{0, 0, x0, h}, {x1, 0, w - x1, h}, {0, 0, w, y0}, {0, y1, w, h - y1}};
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glEnable(GL_SCISSOR_TEST);
  for (const GLint* bar : bars) {
    if (bar[2] <= 0 || bar[3] <= 0) continue;
    glScissor(bar[0], bar[1], bar[2], bar[3]);
    glClear(GL_COLOR_BUFFER_BIT);
  }
  glDisable(GL_SCISSOR_TEST);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, sceneFramebuffer_);
  glBlitFramebuffer(0, 0, static_cast<GLint>(sceneWidth_), static_cast<GLint>(sceneHeight_),
                    windowViewportX_, windowViewportY_, windowViewportX_ + windowViewportWidth_,
                    windowViewportY_ + windowViewportHeight_, GL_COLOR_BUFFER_BIT, GL_LINEAR);
  applied_.framebuffer = ~0u;  // the read binding differs from the draw binding now
}

HResult GlDevice::Present() {
  Flush();
  if (!context_->MakeCurrent()) return D3DERR_DEVICELOST;
  if (context_->WindowGone()) return D3DERR_DEVICELOST;
  if (scaled_ && sceneFramebuffer_ != 0) ShowScaledScene();
  context_->Swap();
  return D3D_OK;
}

HResult GlDevice::Reset(const PresentParameters& params) {
  Flush();
  if (!context_->MakeCurrent()) return D3DERR_DEVICELOST;
  if (context_->Offscreen() && params.backBufferWidth != 0 && params.backBufferHeight != 0) {
    uint32_t w = 0, h = 0;
    context_->DrawableSize(&w, &h);
    if ((w != params.backBufferWidth || h != params.backBufferHeight) &&
        !context_->Resize(params.backBufferWidth, params.backBufferHeight)) {
      return D3DERR_INVALIDCALL;
    }
    applied_.framebuffer = ~0u;  // the offscreen framebuffer may be a new one
  }
  ApplyDefaults();
  return D3D_OK;
}

// >>section read-back
bool GlDevice::ReadFrame(std::vector<uint8_t>* rgba, uint32_t* width, uint32_t* height) {
  Flush();
  if (!context_->MakeCurrent()) return false;
  uint32_t w = 0, h = 0;
  if (scaled_ && sceneFramebuffer_ != 0) {
    w = sceneWidth_;
    h = sceneHeight_;
  } else {
    context_->DrawableSize(&w, &h);
  }
  const size_t row = static_cast<size_t>(w) * 4;
  rgba->resize(row * h);
  UseFramebuffer(SceneFramebuffer());
  if (SceneFramebuffer() == 0) glReadBuffer(GL_BACK);
  glReadPixels(0, 0, static_cast<GLsizei>(w), static_cast<GLsizei>(h), GL_RGBA, GL_UNSIGNED_BYTE,
               rgba->data());
  // GL's first row is the bottom one.
  std::vector<uint8_t>& swap = rowScratch_;
  swap.resize(row);
  for (uint32_t y = 0; y < h / 2; ++y) {
    uint8_t* top = rgba->data() + y * row;
    uint8_t* bottom = rgba->data() + (h - 1 - y) * row;
    std::memcpy(swap.data(), top, row);
    std::memcpy(top, bottom, row);
    std::memcpy(bottom, swap.data(), row);
  }
  *width = w;
  *height = h;
  return glGetError() == GL_NO_ERROR;
}

bool GlDevice::ReadDepth(std::vector<float>* depth) {
  Flush();
  if (!context_->Offscreen() || !context_->MakeCurrent()) return false;
  uint32_t w = 0, h = 0;
  context_->DrawableSize(&w, &h);
  std::vector<float>& raw = depthScratch_;
  raw.resize(static_cast<size_t>(w) * h);
  UseFramebuffer(context_->Framebuffer());
  glReadPixels(0, 0, static_cast<GLsizei>(w), static_cast<GLsizei>(h), GL_DEPTH_COMPONENT, GL_FLOAT,
               raw.data());
  depth->resize(raw.size());
  for (uint32_t y = 0; y < h; ++y) {
    std::memcpy(depth->data() + static_cast<size_t>(y) * w,
                raw.data() + static_cast<size_t>(h - 1 - y) * w, sizeof(float) * w);
  }
  return glGetError() == GL_NO_ERROR;
}

// >>section factories
Device* CreateGlDeviceHeadless(uint32_t width, uint32_t height) {
  GlContext* context = CreateEglOffscreenContext(width, height);
  if (context == nullptr) return nullptr;
  auto* device = new GlDevice(context, false, false);
  if (!device->Init()) {
    delete device;
    return nullptr;
  }
  return device;
}

Device* CreateGlDeviceForWindow(SDL_Window* window, bool vsync, bool keep4by3,
                                bool fullResolution) {
  GlContext* context = CreateSdlWindowContext(window, vsync);
  if (context == nullptr) return nullptr;
  auto* device = new GlDevice(context, keep4by3, !fullResolution);
  if (!device->Init()) {
    delete device;
    return nullptr;
  }
  return device;
}

bool ReadFrame(Device* device, std::vector<uint8_t>* rgba, uint32_t* width, uint32_t* height) {
  GlDevice* gl = AsGlDevice(device);
  return gl != nullptr && rgba != nullptr && width != nullptr && height != nullptr &&
         gl->ReadFrame(rgba, width, height);
}

bool ReadDepth(Device* device, std::vector<float>* depth) {
  GlDevice* gl = AsGlDevice(device);
  return gl != nullptr && depth != nullptr && gl->ReadDepth(depth);
}

uint64_t TakeGlDrawCallCount(Device* device) {
  GlDevice* gl = AsGlDevice(device);
  return gl != nullptr ? gl->TakeDrawCalls() : 0;
}

void SetGlDrawMerging(Device* device, bool on) {
  if (GlDevice* gl = AsGlDevice(device)) gl->SetMerging(on);
}

GlDeviceStats GetGlDeviceStats(Device* device) {
  GlDevice* gl = AsGlDevice(device);
  return gl != nullptr ? gl->Stats() : GlDeviceStats{};
}

}  // namespace yulo
