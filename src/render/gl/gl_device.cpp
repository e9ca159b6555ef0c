#include "render/gl/gl_device.h"

#include <cmath>
#include <cstring>

#include "render/gl/gl_context.h"

namespace yulo {

namespace {

constexpr uint32_t kStreamBufferBytes = 4u << 20;  // ring for user-memory vertices
constexpr uint32_t kBatchBytes = 1u << 20;         // merged user-memory draws, expanded
constexpr int kMaxLiveDevices = 8;

// >>section shaders
// One program pair (smooth and flat shading) reproduces the fixed-function pipeline the
// engine uses; the state decides through uniforms.
const char* const kVertexShader = R"(
layout(location = 0) in vec3 inPosition;
layout(location = 1) in vec3 inNormal;
layout(location = 2) in float inPointSize;
layout(location = 3) in vec4 inDiffuse;
layout(location = 4) in vec2 inTexCoord;

uniform mat4 worldView;
uniform mat4 projection;
uniform mat3 normalMatrix;
uniform mat4 textureMatrix;
uniform ivec4 vertexFlags;  // has normal, has point size, has diffuse, texture transform
uniform ivec4 lightFlags;   // lighting, light 0 on, diffuse from vertex, point scaling
uniform vec3 lightDirection;  // eye space, towards the light
uniform vec3 lightDiffuse;
uniform vec3 lightAmbient;
uniform vec4 materialDiffuse;
uniform vec3 materialAmbient;
uniform vec3 materialEmissive;
uniform vec3 globalAmbient;
uniform vec4 pointParams;  // size, minimum, maximum, viewport height
uniform vec3 pointScale;   // A, B, C
uniform vec2 pixelOffset;  // half a pixel, in clip units per w

SHADE out vec4 vDiffuse;
out vec2 vTexCoord;

void main() {
  vec4 eye = worldView * vec4(inPosition, 1.0);
  vec4 clip = projection * eye;
  clip.z = 2.0 * clip.z - clip.w;
  clip.xy += pixelOffset * clip.w;
  gl_Position = clip;

  vec4 diffuse = vertexFlags.z != 0 ? inDiffuse : vec4(1.0);
  if (lightFlags.x != 0) {
    vec4 md = lightFlags.z != 0 ? diffuse : materialDiffuse;
    vec3 rgb = materialEmissive + materialAmbient * globalAmbient;
    if (lightFlags.y != 0) {
      vec3 n = vertexFlags.x != 0 ? normalMatrix * inNormal : vec3(0.0);
      rgb += materialAmbient * lightAmbient + md.rgb * lightDiffuse * max(0.0, dot(n, lightDirection));
    }
    diffuse = clamp(vec4(rgb, md.a), 0.0, 1.0);
  }
  vDiffuse = diffuse;

  vTexCoord = vertexFlags.w != 0 ? (textureMatrix * vec4(inTexCoord, 1.0, 0.0)).xy : inTexCoord;

  float size = vertexFlags.y != 0 ? inPointSize : pointParams.x;
  if (lightFlags.w != 0) {
    float de = length(eye.xyz);
    size = pointParams.w * size / sqrt(pointScale.x + pointScale.y * de + pointScale.z * de * de);
  }
  gl_PointSize = clamp(size, pointParams.y, pointParams.z);
}
)";

const char* const kFragmentShader = R"(
SHADE in vec4 vDiffuse;
in vec2 vTexCoord;

uniform sampler2D texture0;
uniform ivec4 stageOps;   // texture bound, colour op, alpha op, point-sprite coordinates
uniform ivec4 stageArgs;  // colour arg 1, colour arg 2, alpha arg 1, alpha arg 2
uniform vec4 textureFactor;
uniform ivec2 alphaTest;  // compare function (0: off), reference 0..255

out vec4 outColor;

vec4 Arg(int which, vec4 texel) {
  int a = which & 7;
  if (a == 2) return texel;
  if (a == 3) return textureFactor;
  return vDiffuse;
}

vec4 Combine(int op, vec4 a1, vec4 a2) {
  if (op == 1) return vDiffuse;
  if (op == 2) return a1;
  if (op == 3) return a2;
  if (op == 5) return clamp(2.0 * a1 * a2, 0.0, 1.0);
  if (op == 6) return clamp(4.0 * a1 * a2, 0.0, 1.0);
  if (op == 7) return clamp(a1 + a2, 0.0, 1.0);
  return a1 * a2;
}

bool Passes(int func, float a, float ref) {
  if (func == 1) return false;
  if (func == 2) return a < ref;
  if (func == 3) return a == ref;
  if (func == 4) return a <= ref;
  if (func == 5) return a > ref;
  if (func == 6) return a != ref;
  if (func == 7) return a >= ref;
  return true;
}

void main() {
  vec4 result = vDiffuse;
  if (stageOps.x != 0) {
    vec2 uv = stageOps.w != 0 ? gl_PointCoord : vTexCoord;
    vec4 texel = texture(texture0, uv);
    vec3 rgb = Combine(stageOps.y, Arg(stageArgs.x, texel), Arg(stageArgs.y, texel)).rgb;
    float a = Combine(stageOps.z, Arg(stageArgs.z, texel), Arg(stageArgs.w, texel)).a;
    result = vec4(rgb, a);
  }
  if (alphaTest.x != 0) {
    // Compared as 8-bit values so that texels straight from 8-bit images behave exactly.
    if (!Passes(alphaTest.x, floor(result.a * 255.0 + 0.5), float(alphaTest.y))) discard;
  }
  outColor = result;
}
)";

struct Program {
  GLuint name = 0;
  GLint worldView, projection, normalMatrix, textureMatrix, vertexFlags, lightFlags;
  GLint lightDirection, lightDiffuse, lightAmbient, materialDiffuse, materialAmbient;
  GLint materialEmissive, globalAmbient, pointParams, pointScale, pixelOffset;
  GLint texture0, stageOps, stageArgs, textureFactor, alphaTest;
};

GLuint CompileShader(GLenum kind, const char* shade, const char* body) {
  const char* sources[3] = {"#version 330 core\n", shade, body};
  GLuint shader = glCreateShader(kind);
  glShaderSource(shader, 3, sources, nullptr);
  glCompileShader(shader);
  GLint ok = 0;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    glDeleteShader(shader);
    return 0;
  }
  return shader;
}

bool BuildProgram(Program* p, bool flat) {
  const char* shade = flat ? "#define SHADE flat\n" : "#define SHADE\n";
  GLuint vs = CompileShader(GL_VERTEX_SHADER, shade, kVertexShader);
  GLuint fs = CompileShader(GL_FRAGMENT_SHADER, shade, kFragmentShader);
  if (vs == 0 || fs == 0) {
    if (vs != 0) glDeleteShader(vs);
    if (fs != 0) glDeleteShader(fs);
    return false;
  }
  p->name = glCreateProgram();
  glAttachShader(p->name, vs);
  glAttachShader(p->name, fs);
  glLinkProgram(p->name);
  glDeleteShader(vs);
  glDeleteShader(fs);
  GLint ok = 0;
  glGetProgramiv(p->name, GL_LINK_STATUS, &ok);
  if (!ok) {
    glDeleteProgram(p->name);
    p->name = 0;
    return false;
  }
  const GLuint n = p->name;
  p->worldView = glGetUniformLocation(n, "worldView");
  p->projection = glGetUniformLocation(n, "projection");
  p->normalMatrix = glGetUniformLocation(n, "normalMatrix");
  p->textureMatrix = glGetUniformLocation(n, "textureMatrix");
  p->vertexFlags = glGetUniformLocation(n, "vertexFlags");
  p->lightFlags = glGetUniformLocation(n, "lightFlags");
  p->lightDirection = glGetUniformLocation(n, "lightDirection");
  p->lightDiffuse = glGetUniformLocation(n, "lightDiffuse");
  p->lightAmbient = glGetUniformLocation(n, "lightAmbient");
  p->materialDiffuse = glGetUniformLocation(n, "materialDiffuse");
  p->materialAmbient = glGetUniformLocation(n, "materialAmbient");
  p->materialEmissive = glGetUniformLocation(n, "materialEmissive");
  p->globalAmbient = glGetUniformLocation(n, "globalAmbient");
  p->pointParams = glGetUniformLocation(n, "pointParams");
  p->pointScale = glGetUniformLocation(n, "pointScale");
  p->pixelOffset = glGetUniformLocation(n, "pixelOffset");
  p->texture0 = glGetUniformLocation(n, "texture0");
  p->stageOps = glGetUniformLocation(n, "stageOps");
  p->stageArgs = glGetUniformLocation(n, "stageArgs");
  p->textureFactor = glGetUniformLocation(n, "textureFactor");
  p->alphaTest = glGetUniformLocation(n, "alphaTest");
  glUseProgram(n);
  glUniform1i(p->texture0, 0);
  return true;
}

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

GLenum GlAddress(uint32_t address) {
  switch (address) {
    case D3DTADDRESS_MIRROR:
      return GL_MIRRORED_REPEAT;
    case D3DTADDRESS_CLAMP:
      return GL_CLAMP_TO_EDGE;
    case D3DTADDRESS_BORDER:
      return GL_CLAMP_TO_BORDER;
    case D3DTADDRESS_MIRRORONCE:
      return GL_CLAMP_TO_EDGE;
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

// Halves an RGBA8 picture (box filter, odd edges repeated) into out.
void Halve(const uint8_t* in, uint32_t w, uint32_t h, std::vector<uint8_t>* out, uint32_t* ow,
           uint32_t* oh) {
  const uint32_t nw = w > 1 ? w / 2 : 1;
  const uint32_t nh = h > 1 ? h / 2 : 1;
  out->assign(static_cast<size_t>(nw) * nh * 4, 0);
  for (uint32_t y = 0; y < nh; ++y) {
    for (uint32_t x = 0; x < nw; ++x) {
      const uint32_t x0 = x * 2 < w ? x * 2 : w - 1, x1 = x * 2 + 1 < w ? x * 2 + 1 : x0;
      const uint32_t y0 = y * 2 < h ? y * 2 : h - 1, y1 = y * 2 + 1 < h ? y * 2 + 1 : y0;
      for (int ch = 0; ch < 4; ++ch) {
        const uint32_t sum = in[(static_cast<size_t>(y0) * w + x0) * 4 + ch] +
                             in[(static_cast<size_t>(y0) * w + x1) * 4 + ch] +
                             in[(static_cast<size_t>(y1) * w + x0) * 4 + ch] +
                             in[(static_cast<size_t>(y1) * w + x1) * 4 + ch];
        (*out)[(static_cast<size_t>(y) * nw + x) * 4 + ch] = static_cast<uint8_t>((sum + 2) / 4);
      }
    }
  }
  *ow = nw;
  *oh = nh;
}

}  // namespace

// >>section device
class GlDevice;

namespace {

class GlTexture final : public DeviceTexture {
 public:
  GlTexture(Device* owner, uint32_t w, uint32_t h, GLuint name)
      : DeviceTexture(owner, w, h), name_(name) {}
  GLuint Name() const { return name_; }

 private:
  ~GlTexture() override;
  void Orphan() override {
    if (name_ != 0) glDeleteTextures(1, &name_);
    name_ = 0;
  }
  GLuint name_;
};

// The bytes of a device buffer live in memory (what Lock hands out) and in a GL buffer,
// refreshed at Unlock.
class GlBufferData {
 public:
  GlBufferData(uint32_t length, GLenum target, bool dynamic) : bytes_(length, 0) {
    glGenBuffers(1, &name_);
    glBindBuffer(target, name_);
    glBufferData(target, length, nullptr, dynamic ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
  }
  HResult Lock(uint32_t offset, uint32_t size, uint8_t** data) {
    if (data == nullptr || locked_) return D3DERR_INVALIDCALL;
    if (!LockRange(static_cast<uint32_t>(bytes_.size()), offset, size, &begin_, &end_)) {
      *data = nullptr;
      return D3DERR_INVALIDCALL;
    }
    locked_ = true;
    *data = bytes_.data() + begin_;
    return D3D_OK;
  }
  HResult Unlock(GLenum target) {
    if (!locked_) return D3DERR_INVALIDCALL;
    locked_ = false;
    if (name_ != 0 && end_ > begin_) {
      glBindBuffer(target, name_);
      glBufferSubData(target, begin_, end_ - begin_, bytes_.data() + begin_);
    }
    return D3D_OK;
  }
  void Delete() {
    if (name_ != 0) glDeleteBuffers(1, &name_);
    name_ = 0;
  }
  GLuint Name() const { return name_; }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  GLuint name_ = 0;
  bool locked_ = false;
  uint32_t begin_ = 0;
  uint32_t end_ = 0;
};

class GlVertexBuffer final : public VertexBuffer {
 public:
  GlVertexBuffer(Device* owner, uint32_t length, uint32_t usage, uint32_t fvf)
      : VertexBuffer(owner, length, usage, fvf),
        data_(length, GL_ARRAY_BUFFER, (usage & D3DUSAGE_DYNAMIC) != 0) {}
  HResult Lock(uint32_t offset, uint32_t size, uint8_t** data, uint32_t /*flags*/) override {
    return data_.Lock(offset, size, data);
  }
  HResult Unlock() override { return data_.Unlock(GL_ARRAY_BUFFER); }
  GLuint Name() const { return data_.Name(); }

 private:
  ~GlVertexBuffer() override;
  void Orphan() override { data_.Delete(); }
  GlBufferData data_;
};

class GlIndexBuffer final : public IndexBuffer {
 public:
  GlIndexBuffer(Device* owner, uint32_t length, uint32_t usage, Format format)
      : IndexBuffer(owner, length, usage, format),
        data_(length, GL_ELEMENT_ARRAY_BUFFER, (usage & D3DUSAGE_DYNAMIC) != 0) {}
  HResult Lock(uint32_t offset, uint32_t size, uint8_t** data, uint32_t /*flags*/) override {
    return data_.Lock(offset, size, data);
  }
  HResult Unlock() override {
    const HResult result = data_.Unlock(GL_ELEMENT_ARRAY_BUFFER);
    // Indices change only here: the largest of all is worked out once per write.
    if (result == D3D_OK) largestIndex_ = MaxIndex(0, Length() / IndexSize());
    return result;
  }
  GLuint Name() const { return data_.Name(); }
  // The largest index anywhere in the buffer, as of the last Unlock.
  uint32_t LargestIndex() const { return largestIndex_; }
  // The largest index in [first, first + count), for bounds checks before a draw.
  uint32_t MaxIndex(uint32_t first, uint32_t count) const {
    const uint8_t* p = data_.Bytes().data();
    uint32_t largest = 0;
    for (uint32_t i = first; i < first + count; ++i) {
      uint32_t v;
      if (IndexSize() == 2) {
        uint16_t s;
        std::memcpy(&s, p + static_cast<size_t>(i) * 2, 2);
        v = s;
      } else {
        std::memcpy(&v, p + static_cast<size_t>(i) * 4, 4);
      }
      if (v > largest) largest = v;
    }
    return largest;
  }

 private:
  ~GlIndexBuffer() override;
  void Orphan() override { data_.Delete(); }
  GlBufferData data_;
  uint32_t largestIndex_ = 0;
};

}  // namespace

class GlDevice final : public Device {
 public:
  GlDevice(GlContext* context, bool keep4by3) : context_(context), keep4by3_(keep4by3) {}
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
  // A texture or buffer is about to go: nothing pending may still refer to it.
  void Forget(const void* resource);

 private:
  enum Dirty : uint32_t {
    kDirtyRaster = 1,      // depth, blend, cull, masks, fill
    kDirtyTransforms = 2,  // world-view, normal matrix, light direction
    kDirtyUniforms = 4,    // everything else the shaders read
    kDirtySampler = 8,
    kDirtyTexture = 16,
    kDirtyViewport = 32,
    kDirtyAll = 63,
  };

  void ApplyDefaults();
  void Sync(bool points);
  void SyncRaster();
  void UploadUniforms(bool points);
  void UpdateViewport();
  void BindAttributes(uint32_t fvf, uint32_t stride, GLuint buffer, GLintptr base);
  void Flush();
  void DrawUserDirect(PrimitiveType type, uint32_t vertexCount, const uint8_t* bytes,
                      uint32_t stride);
  GLintptr StreamUpload(const void* bytes, uint32_t size);
  void Changed(uint32_t dirty) {
    Flush();
    dirty_ |= dirty;
  }

  GlContext* context_;
  bool keep4by3_;
  Program programs_[2];  // smooth, flat
  int currentProgram_ = -1;
  GLuint vao_ = 0;
  GLuint sampler_ = 0;
  GLuint streamBuffer_ = 0;
  uint32_t streamCapacity_ = kStreamBufferBytes;
  uint32_t streamOffset_ = 0;
  float maxPointSize_ = 64.0f;
  GLint maxTextureSize_ = 2048;

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

  // Viewport in window pixels (GL's lower-left origin).
  GLint viewportX_ = 0, viewportY_ = 0;
  GLsizei viewportWidth_ = 1, viewportHeight_ = 1;
  uint32_t drawableWidth_ = 1, drawableHeight_ = 1;

  // Raster state as last sent to GL.
  struct Applied {
    int depthTest = -1, depthMask = -1, blend = -1, cull = -1, frontFace = -1;
    GLenum depthFunc = 0, blendSrc = 0, blendDst = 0, blendOp = 0, polygonMode = 0;
    uint32_t colorMask = 0xFFFFFFFFu;
  } applied_;

  // Consecutive user-memory draws with equal states, expanded to one list.
  bool merging_ = true;
  std::vector<uint8_t> batch_;
  uint32_t batchBytes_ = 0;
  uint32_t batchVertices_ = 0;
  uint32_t batchFvf_ = 0;
  uint32_t batchStride_ = 0;
  GLenum batchMode_ = GL_TRIANGLES;

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

GlTexture::~GlTexture() {
  if (GlDevice* d = AsGlDevice(Owner())) d->Forget(this);
  Orphan();
}
GlVertexBuffer::~GlVertexBuffer() {
  if (GlDevice* d = AsGlDevice(Owner())) d->Forget(this);
  Orphan();
}
GlIndexBuffer::~GlIndexBuffer() {
  if (GlDevice* d = AsGlDevice(Owner())) d->Forget(this);
  Orphan();
}
}  // namespace

bool GlDevice::Init() {
  if (!context_->MakeCurrent()) return false;
  if (epoxy_gl_version() < 33) return false;
  if (!BuildProgram(&programs_[0], false) || !BuildProgram(&programs_[1], true)) return false;
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
  glEnable(GL_PROGRAM_POINT_SIZE);
  glPointParameteri(GL_POINT_SPRITE_COORD_ORIGIN, GL_UPPER_LEFT);
  glProvokingVertex(GL_FIRST_VERTEX_CONVENTION);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  batch_.assign(kBatchBytes, 0);
  ApplyDefaults();
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
    for (Program& p : programs_) {
      if (p.name != 0) glDeleteProgram(p.name);
    }
    if (vao_ != 0) glDeleteVertexArrays(1, &vao_);
    if (sampler_ != 0) glDeleteSamplers(1, &sampler_);
    if (streamBuffer_ != 0) glDeleteBuffers(1, &streamBuffer_);
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
  // A picture beyond the largest texture is halved until it fits.
  std::vector<uint8_t> shrunk;
  const uint8_t* texels = rgba;
  const auto largest = static_cast<uint32_t>(maxTextureSize_);
  while (width > largest || height > largest) {
    std::vector<uint8_t> next;
    Halve(texels, width, height, &next, &width, &height);
    shrunk.swap(next);
    texels = shrunk.data();
  }
  Flush();
  GLuint name = 0;
  glGenTextures(1, &name);
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, name);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, static_cast<GLsizei>(width),
               static_cast<GLsizei>(height), 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
  if (glGetError() != GL_NO_ERROR) {
    glDeleteTextures(1, &name);
    dirty_ |= kDirtyTexture;
    return nullptr;
  }
  glGenerateMipmap(GL_TEXTURE_2D);
  dirty_ |= kDirtyTexture;
  return new GlTexture(this, width, height, name);
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
void GlDevice::UpdateViewport() {
  uint32_t w = 1;
  uint32_t h = 1;
  context_->DrawableSize(&w, &h);
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
  if (x != viewportX_ || y != viewportY_ || vw != viewportWidth_ || vh != viewportHeight_) {
    viewportX_ = x;
    viewportY_ = y;
    viewportWidth_ = vw > 0 ? vw : 1;
    viewportHeight_ = vh > 0 ? vh : 1;
    dirty_ |= kDirtyUniforms;
  }
  glViewport(viewportX_, viewportY_, viewportWidth_, viewportHeight_);
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
  const int blend = rs[D3DRS_ALPHABLENDENABLE] != 0 ? 1 : 0;
  if (applied_.blend != blend) {
    blend ? glEnable(GL_BLEND) : glDisable(GL_BLEND);
    applied_.blend = blend;
  }
  const GLenum src = GlBlend(rs[D3DRS_SRCBLEND]);
  const GLenum dst = GlBlend(rs[D3DRS_DESTBLEND]);
  if (applied_.blendSrc != src || applied_.blendDst != dst) {
    glBlendFunc(src, dst);
    applied_.blendSrc = src;
    applied_.blendDst = dst;
  }
  const GLenum op = GlBlendOp(rs[D3DRS_BLENDOP]);
  if (applied_.blendOp != op) {
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

void GlDevice::UploadUniforms(bool points) {
  const Program& p = programs_[currentProgram_];
  const uint32_t* rs = states_.render;
  const uint32_t* st = states_.stage[0];

  Matrix4 worldView;
  Multiply(world_, view_, &worldView);
  glUniformMatrix4fv(p.worldView, 1, GL_FALSE, worldView.Data());
  glUniformMatrix4fv(p.projection, 1, GL_FALSE, projection_.Data());
  float normal[9];
  NormalMatrix(worldView, normal);
  glUniformMatrix3fv(p.normalMatrix, 1, GL_FALSE, normal);
  glUniformMatrix4fv(p.textureMatrix, 1, GL_FALSE, texture_.Data());

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

  const bool hasDiffuse = (fvf_ & D3DFVF_DIFFUSE) != 0;
  const bool count2 = (st[D3DTSS_TEXTURETRANSFORMFLAGS] & 0xFF) == D3DTTFF_COUNT2;
  glUniform4i(p.vertexFlags, (fvf_ & D3DFVF_NORMAL) != 0, (fvf_ & D3DFVF_PSIZE) != 0, hasDiffuse,
              count2);
  const bool lighting = rs[D3DRS_LIGHTING] != 0;
  const bool diffuseFromVertex =
      hasDiffuse && rs[D3DRS_COLORVERTEX] != 0 && rs[D3DRS_DIFFUSEMATERIALSOURCE] == D3DMCS_COLOR1;
  const bool directional = lightEnabled_ && light_.type == D3DLIGHT_DIRECTIONAL;
  glUniform4i(p.lightFlags, lighting, directional, diffuseFromVertex,
              rs[D3DRS_POINTSCALEENABLE] != 0);
  glUniform3f(p.lightDiffuse, light_.diffuse.r, light_.diffuse.g, light_.diffuse.b);
  glUniform3f(p.lightAmbient, light_.ambient.r, light_.ambient.g, light_.ambient.b);
  glUniform4f(p.materialDiffuse, material_.diffuse.r, material_.diffuse.g, material_.diffuse.b,
              material_.diffuse.a);
  glUniform3f(p.materialAmbient, material_.ambient.r, material_.ambient.g, material_.ambient.b);
  glUniform3f(p.materialEmissive, material_.emissive.r, material_.emissive.g, material_.emissive.b);
  const uint32_t ambient = rs[D3DRS_AMBIENT];
  glUniform3f(p.globalAmbient, static_cast<float>((ambient >> 16) & 0xFF) / 255.0f,
              static_cast<float>((ambient >> 8) & 0xFF) / 255.0f,
              static_cast<float>(ambient & 0xFF) / 255.0f);

  const float maxSize = std::fmin(BitsFloat(rs[D3DRS_POINTSIZE_MAX]), maxPointSize_);
  glUniform4f(p.pointParams, BitsFloat(rs[D3DRS_POINTSIZE]), BitsFloat(rs[D3DRS_POINTSIZE_MIN]),
              maxSize, static_cast<float>(viewportHeight_));
  glUniform3f(p.pointScale, BitsFloat(rs[D3DRS_POINTSCALE_A]), BitsFloat(rs[D3DRS_POINTSCALE_B]),
              BitsFloat(rs[D3DRS_POINTSCALE_C]));
  // Pixel centres sit on whole coordinates in the device's convention, on halves in GL's:
  // moving everything half a pixel right and down makes both sample the same points. Down
  // by 63/128 of a pixel only: GL's y points up, so where an edge lies exactly on a sample
  // its tie rule keeps the bottom row of a shape where the device keeps the top one; kept
  // just off the samples, edges on whole coordinates cover the same rows on both.
  glUniform2f(p.pixelOffset, 1.0f / static_cast<float>(viewportWidth_),
              -(63.0f / 64.0f) / static_cast<float>(viewportHeight_));

  const bool textured = boundTexture_ != nullptr;
  const bool spriteCoords = points && rs[D3DRS_POINTSPRITEENABLE] != 0;
  glUniform4i(p.stageOps, textured, static_cast<GLint>(st[D3DTSS_COLOROP]),
              static_cast<GLint>(st[D3DTSS_ALPHAOP]), spriteCoords);
  glUniform4i(p.stageArgs, static_cast<GLint>(st[D3DTSS_COLORARG1]),
              static_cast<GLint>(st[D3DTSS_COLORARG2]), static_cast<GLint>(st[D3DTSS_ALPHAARG1]),
              static_cast<GLint>(st[D3DTSS_ALPHAARG2]));
  const uint32_t factor = rs[D3DRS_TEXTUREFACTOR];
  glUniform4f(p.textureFactor, static_cast<float>((factor >> 16) & 0xFF) / 255.0f,
              static_cast<float>((factor >> 8) & 0xFF) / 255.0f,
              static_cast<float>(factor & 0xFF) / 255.0f,
              static_cast<float>(factor >> 24) / 255.0f);
  const GLint func = rs[D3DRS_ALPHATESTENABLE] != 0 ? static_cast<GLint>(rs[D3DRS_ALPHAFUNC]) : 0;
  glUniform2i(p.alphaTest, func, static_cast<GLint>(rs[D3DRS_ALPHAREF] & 0xFF));
}

void GlDevice::Sync(bool points) {
  UpdateViewport();
  const int program = states_.render[D3DRS_SHADEMODE] == D3DSHADE_FLAT ? 1 : 0;
  if (program != currentProgram_) {
    glUseProgram(programs_[program].name);
    currentProgram_ = program;
    dirty_ |= kDirtyUniforms;
  }
  if (points != lastDrawPoints_) {
    lastDrawPoints_ = points;
    dirty_ |= kDirtyUniforms;
  }
  glBindVertexArray(vao_);
  glBindFramebuffer(GL_FRAMEBUFFER, context_->Framebuffer());
  if (dirty_ & kDirtyRaster) SyncRaster();
  if (dirty_ & kDirtySampler) {
    const uint32_t* st = states_.stage[0];
    glSamplerParameteri(sampler_, GL_TEXTURE_WRAP_S,
                        static_cast<GLint>(GlAddress(st[D3DTSS_ADDRESSU])));
    glSamplerParameteri(sampler_, GL_TEXTURE_WRAP_T,
                        static_cast<GLint>(GlAddress(st[D3DTSS_ADDRESSV])));
    const bool magLinear = st[D3DTSS_MAGFILTER] >= D3DTEXF_LINEAR;
    const bool minLinear = st[D3DTSS_MINFILTER] >= D3DTEXF_LINEAR;
    GLenum minFilter = minLinear ? GL_LINEAR : GL_NEAREST;
    if (st[D3DTSS_MIPFILTER] == D3DTEXF_POINT) {
      minFilter = minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    } else if (st[D3DTSS_MIPFILTER] >= D3DTEXF_LINEAR) {
      minFilter = minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
    }
    glSamplerParameteri(sampler_, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(minFilter));
    glSamplerParameteri(sampler_, GL_TEXTURE_MAG_FILTER, magLinear ? GL_LINEAR : GL_NEAREST);
    const uint32_t border = st[D3DTSS_BORDERCOLOR];
    const float borderColor[4] = {static_cast<float>((border >> 16) & 0xFF) / 255.0f,
                                  static_cast<float>((border >> 8) & 0xFF) / 255.0f,
                                  static_cast<float>(border & 0xFF) / 255.0f,
                                  static_cast<float>(border >> 24) / 255.0f};
    glSamplerParameterfv(sampler_, GL_TEXTURE_BORDER_COLOR, borderColor);
  }
  if (dirty_ & kDirtyTexture) {
    glActiveTexture(GL_TEXTURE0);
    auto* texture = static_cast<GlTexture*>(boundTexture_);
    glBindTexture(GL_TEXTURE_2D, texture != nullptr ? texture->Name() : 0);
  }
  if (dirty_ & (kDirtyUniforms | kDirtyTransforms)) UploadUniforms(points);
  dirty_ = 0;
}

void GlDevice::BindAttributes(uint32_t fvf, uint32_t stride, GLuint buffer, GLintptr base) {
  glBindBuffer(GL_ARRAY_BUFFER, buffer);
  const auto at = [base](uint32_t offset) {
    return reinterpret_cast<const void*>(base + static_cast<GLintptr>(offset));
  };
  const auto s = static_cast<GLsizei>(stride);
  uint32_t offset = 0;
  glEnableVertexAttribArray(0);
  glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, s, at(offset));
  offset += 12;
  if (fvf & D3DFVF_NORMAL) {
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, s, at(offset));
    offset += 12;
  } else {
    glDisableVertexAttribArray(1);
  }
  if (fvf & D3DFVF_PSIZE) {
    glEnableVertexAttribArray(2);
    glVertexAttribPointer(2, 1, GL_FLOAT, GL_FALSE, s, at(offset));
    offset += 4;
  } else {
    glDisableVertexAttribArray(2);
  }
  if (fvf & D3DFVF_DIFFUSE) {
    // Packed 0xAARRGGBB: bytes B, G, R, A in memory.
    glEnableVertexAttribArray(3);
    glVertexAttribPointer(3, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, s, at(offset));
    offset += 4;
  } else {
    glDisableVertexAttribArray(3);
  }
  if (fvf & D3DFVF_SPECULAR) offset += 4;
  if (fvf & D3DFVF_TEXCOUNT_MASK) {
    glEnableVertexAttribArray(4);
    glVertexAttribPointer(4, 2, GL_FLOAT, GL_FALSE, s, at(offset));
  } else {
    glDisableVertexAttribArray(4);
    glVertexAttrib2f(4, 0.0f, 0.0f);
  }
}

GLintptr GlDevice::StreamUpload(const void* bytes, uint32_t size) {
  glBindBuffer(GL_ARRAY_BUFFER, streamBuffer_);
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
  glBufferSubData(GL_ARRAY_BUFFER, base, size, bytes);
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
  glDrawArrays(GlPrimitive(type), 0, static_cast<GLsizei>(vertexCount));
  ++glDrawCalls_;
}

void GlDevice::Flush() {
  if (batchVertices_ == 0) return;
  const uint32_t vertices = batchVertices_;
  batchVertices_ = 0;
  batchBytes_ = 0;
  const PrimitiveType type = batchMode_ == GL_POINTS  ? D3DPT_POINTLIST
                             : batchMode_ == GL_LINES ? D3DPT_LINELIST
                                                      : D3DPT_TRIANGLELIST;
  DrawUserDirect(type, vertices, batch_.data(), batchStride_);
}

void GlDevice::DrawPrimitiveUP(PrimitiveType type, uint32_t primitiveCount, const void* vertices,
                               uint32_t stride) {
  // As on the API, a draw from memory leaves stream 0 unbound.
  stream_ = nullptr;
  streamStride_ = 0;
  const uint32_t count = VertexCountOf(type, primitiveCount);
  if (count == 0 || vertices == nullptr || stride < 12) return;
  const auto* bytes = static_cast<const uint8_t*>(vertices);
  const bool strip = type == D3DPT_TRIANGLESTRIP;
  const bool mergeable =
      type == D3DPT_TRIANGLELIST || type == D3DPT_POINTLIST || type == D3DPT_LINELIST || strip;
  const uint32_t expanded = strip ? primitiveCount * 3 : count;
  const uint64_t bytesNeeded = static_cast<uint64_t>(expanded) * stride;
  if (!merging_ || !mergeable || bytesNeeded > kBatchBytes) {
    Flush();
    DrawUserDirect(type, count, bytes, stride);
    return;
  }
  const GLenum mode = type == D3DPT_POINTLIST  ? GL_POINTS
                      : type == D3DPT_LINELIST ? GL_LINES
                                               : GL_TRIANGLES;
  if (batchVertices_ > 0 && (batchMode_ != mode || batchFvf_ != fvf_ || batchStride_ != stride ||
                             batchBytes_ + bytesNeeded > kBatchBytes)) {
    Flush();
  }
  batchMode_ = mode;
  batchFvf_ = fvf_;
  batchStride_ = stride;
  uint8_t* out = batch_.data() + batchBytes_;
  if (strip) {
    // Triangle i of a strip is (i, i+1, i+2), every other one wound the other way: as a
    // list (i, i+2, i+1), which keeps vertex i first for flat shading.
    for (uint32_t i = 0; i < primitiveCount; ++i) {
      const uint32_t a = i;
      const uint32_t b = (i & 1) ? i + 2 : i + 1;
      const uint32_t c = (i & 1) ? i + 1 : i + 2;
      for (uint32_t v : {a, b, c}) {
        std::memcpy(out, bytes + static_cast<size_t>(v) * stride, stride);
        out += stride;
      }
    }
  } else {
    std::memcpy(out, bytes, static_cast<size_t>(count) * stride);
  }
  batchBytes_ += static_cast<uint32_t>(bytesNeeded);
  batchVertices_ += expanded;
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
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indices->Name());
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
  glBindFramebuffer(GL_FRAMEBUFFER, context_->Framebuffer());
  UpdateViewport();
  // Clears obey the write masks in GL, not on the device: open them for the clear.
  glDepthMask(GL_TRUE);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  applied_.depthMask = -1;
  applied_.colorMask = 0xFFFFFFFFu;
  dirty_ |= kDirtyRaster;
  const bool bars = viewportX_ != 0 || viewportY_ != 0 ||
                    static_cast<uint32_t>(viewportWidth_) != drawableWidth_ ||
                    static_cast<uint32_t>(viewportHeight_) != drawableHeight_;
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

HResult GlDevice::Present() {
  Flush();
  if (!context_->MakeCurrent()) return D3DERR_DEVICELOST;
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
  }
  ApplyDefaults();
  return D3D_OK;
}

// >>section read-back
bool GlDevice::ReadFrame(std::vector<uint8_t>* rgba, uint32_t* width, uint32_t* height) {
  Flush();
  if (!context_->MakeCurrent()) return false;
  uint32_t w = 0, h = 0;
  context_->DrawableSize(&w, &h);
  const size_t row = static_cast<size_t>(w) * 4;
  rgba->resize(row * h);
  glBindFramebuffer(GL_FRAMEBUFFER, context_->Framebuffer());
  if (context_->Framebuffer() == 0) glReadBuffer(GL_BACK);
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
  glBindFramebuffer(GL_FRAMEBUFFER, context_->Framebuffer());
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
  auto* device = new GlDevice(context, false);
  if (!device->Init()) {
    delete device;
    return nullptr;
  }
  return device;
}

Device* CreateGlDeviceForWindow(SDL_Window* window, bool vsync, bool keep4by3) {
  GlContext* context = CreateSdlWindowContext(window, vsync);
  if (context == nullptr) return nullptr;
  auto* device = new GlDevice(context, keep4by3);
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

}  // namespace yulo
