#include "render/gl/gl_programs.h"

#include <cstdio>

namespace yulo {

namespace {

// >>section key layout
enum KeyBit : uint32_t {
  kLighting = 1u << 0,
  kDirectional = 1u << 1,
  kHasNormal = 1u << 2,
  kDiffuseFromVertex = 1u << 3,
  kHasDiffuse = 1u << 4,
  kPointSize = 1u << 5,  // the rasteriser draws points: gl_PointSize matters
  kHasPointSize = 1u << 6,
  kPointScale = 1u << 7,
  kTextured = 1u << 8,
  kSpriteCoords = 1u << 9,
  kTexTransform = 1u << 10,
  kFlat = 1u << 11,
};
constexpr int kColorOpShift = 12;  // 3 bits each for ops, 2 for arguments
constexpr int kColorArg1Shift = 15;
constexpr int kColorArg2Shift = 17;
constexpr int kAlphaOpShift = 19;
constexpr int kAlphaArg1Shift = 22;
constexpr int kAlphaArg2Shift = 24;
constexpr int kAlphaFuncShift = 26;  // 0: no test; otherwise the compare function 1..7

// Texture operations, numbered as the device's (DISABLE 1 .. ADD 7); anything else
// modulates, as the old single program did.
uint32_t NormalOp(uint32_t op) {
  return op >= D3DTOP_DISABLE && op <= D3DTOP_ADD ? op : uint32_t{D3DTOP_MODULATE};
}

// A stage whose colour operation is off is off as a whole: its alpha is the diffuse one too.
uint32_t AlphaOp(const uint32_t* st) {
  return NormalOp(st[D3DTSS_COLOROP]) == D3DTOP_DISABLE ? uint32_t{D3DTOP_DISABLE}
                                                        : NormalOp(st[D3DTSS_ALPHAOP]);
}

// Arguments: 0 the diffuse colour (also CURRENT and the rest on stage 0), 1 the texel,
// 2 the texture factor.
uint32_t NormalArg(uint32_t arg) {
  switch (arg & 7) {
    case D3DTA_TEXTURE:
      return 1;
    case D3DTA_TFACTOR:
      return 2;
    default:
      return 0;
  }
}

uint32_t Field(ProgramKey key, int shift, uint32_t mask) {
  return (key.bits >> shift) & mask;
}

// Whether an alpha of exactly one (255 in eight bits) passes the test.
bool OnePasses(uint32_t func, uint32_t reference) {
  switch (func) {
    case D3DCMP_NEVER:
      return false;
    case D3DCMP_LESS:
      return 255 < reference;
    case D3DCMP_EQUAL:
      return reference == 255;
    case D3DCMP_LESSEQUAL:
      return 255 <= reference;
    case D3DCMP_GREATER:
      return 255 > reference;
    case D3DCMP_NOTEQUAL:
      return reference != 255;
    default:
      return 255 >= reference;
  }
}

// Whether the stage's alpha is one for every fragment of the draw: each argument the
// alpha operation reads is one (a product, a sum or a doubled product of ones clamps
// back to one). Interpolation may leave a constant one a rounding step below, which the
// eight-bit compare still sees as 255.
bool DiffuseFromVertex(const uint32_t* rs, uint32_t fvf) {
  return (fvf & D3DFVF_DIFFUSE) != 0 && rs[D3DRS_COLORVERTEX] != 0 &&
         rs[D3DRS_DIFFUSEMATERIALSOURCE] == D3DMCS_COLOR1;
}

bool AlphaIsOne(const uint32_t* rs, const uint32_t* st, const DrawInputs& draw) {
  const bool diffuseFromVertex = DiffuseFromVertex(rs, draw.fvf);
  const bool hasDiffuse = (draw.fvf & D3DFVF_DIFFUSE) != 0;
  bool diffuseOne;
  if (rs[D3DRS_LIGHTING] != 0) {
    diffuseOne = !diffuseFromVertex && draw.materialAlphaOne;
  } else {
    diffuseOne = !hasDiffuse;
  }
  if (!draw.textured) return diffuseOne;
  const auto argOne = [&](uint32_t arg) {
    switch (NormalArg(arg)) {
      case 1:
        return draw.textureOpaque;
      case 2:
        return (rs[D3DRS_TEXTUREFACTOR] >> 24) == 0xFF;
      default:
        return diffuseOne;
    }
  };
  const uint32_t op = AlphaOp(st);
  if (op == D3DTOP_DISABLE) return diffuseOne;
  if (op == D3DTOP_SELECTARG1) return argOne(st[D3DTSS_ALPHAARG1]);
  if (op == D3DTOP_SELECTARG2) return argOne(st[D3DTSS_ALPHAARG2]);
  return argOne(st[D3DTSS_ALPHAARG1]) && argOne(st[D3DTSS_ALPHAARG2]);
}

}  // namespace

ProgramKey MakeProgramKey(const DeviceStateTable& states, const DrawInputs& draw) {
  const uint32_t* rs = states.render;
  const uint32_t* st = states.stage[0];
  uint32_t bits = 0;
  const bool hasDiffuse = (draw.fvf & D3DFVF_DIFFUSE) != 0;
  bool usesVertexDiffuse = true;
  const bool fromVertex = DiffuseFromVertex(rs, draw.fvf);
  if (rs[D3DRS_LIGHTING] != 0) {
    bits |= kLighting;
    if (fromVertex) bits |= kDiffuseFromVertex;
    usesVertexDiffuse = fromVertex;
    if (draw.directionalLight) {
      bits |= kDirectional;
      if (draw.fvf & D3DFVF_NORMAL) bits |= kHasNormal;
    }
  }
  if (hasDiffuse && usesVertexDiffuse) bits |= kHasDiffuse;
  if (draw.pointList || rs[D3DRS_FILLMODE] == D3DFILL_POINT) {
    bits |= kPointSize;
    if (draw.fvf & D3DFVF_PSIZE) bits |= kHasPointSize;
    if (rs[D3DRS_POINTSCALEENABLE] != 0) bits |= kPointScale;
  }
  if (draw.textured) {
    bits |= kTextured;
    if (draw.pointList && rs[D3DRS_POINTSPRITEENABLE] != 0) {
      bits |= kSpriteCoords;
    } else if ((st[D3DTSS_TEXTURETRANSFORMFLAGS] & 0xFF) == D3DTTFF_COUNT2) {
      bits |= kTexTransform;
    }
    bits |= NormalOp(st[D3DTSS_COLOROP]) << kColorOpShift;
    bits |= NormalArg(st[D3DTSS_COLORARG1]) << kColorArg1Shift;
    bits |= NormalArg(st[D3DTSS_COLORARG2]) << kColorArg2Shift;
    bits |= AlphaOp(st) << kAlphaOpShift;
    bits |= NormalArg(st[D3DTSS_ALPHAARG1]) << kAlphaArg1Shift;
    bits |= NormalArg(st[D3DTSS_ALPHAARG2]) << kAlphaArg2Shift;
  }
  if (rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT) bits |= kFlat;
  const uint32_t func = rs[D3DRS_ALPHAFUNC];
  if (rs[D3DRS_ALPHATESTENABLE] != 0 && func >= D3DCMP_NEVER && func < D3DCMP_ALWAYS &&
      !(OnePasses(func, rs[D3DRS_ALPHAREF] & 0xFF) && AlphaIsOne(rs, st, draw))) {
    bits |= func << kAlphaFuncShift;
  }
  return ProgramKey{bits};
}

bool KeyDiscards(ProgramKey key) {
  return Field(key, kAlphaFuncShift, 7) != 0;
}

bool DrawAlphaIsOne(const DeviceStateTable& states, const DrawInputs& draw) {
  return AlphaIsOne(states.render, states.stage[0], draw);
}

BlendUse ReduceBlend(const DeviceStateTable& states, bool sourceAlphaOne) {
  const uint32_t* rs = states.render;
  BlendUse use;
  if (rs[D3DRS_ALPHABLENDENABLE] == 0) return use;
  const auto reduce = [sourceAlphaOne](uint32_t factor) {
    if (sourceAlphaOne && factor == D3DBLEND_SRCALPHA) return uint32_t{D3DBLEND_ONE};
    if (sourceAlphaOne && factor == D3DBLEND_INVSRCALPHA) return uint32_t{D3DBLEND_ZERO};
    return factor;
  };
  use.src = reduce(rs[D3DRS_SRCBLEND]);
  use.dst = reduce(rs[D3DRS_DESTBLEND]);
  const uint32_t op = rs[D3DRS_BLENDOP];
  const bool addsOrSubtracts =
      op != D3DBLENDOP_REVSUBTRACT && op != D3DBLENDOP_MIN && op != D3DBLENDOP_MAX;
  use.enabled = !(use.src == D3DBLEND_ONE && use.dst == D3DBLEND_ZERO && addsOrSubtracts);
  return use;
}

// >>section shader texts
namespace {

const char* const kVertexBody = R"(
layout(location = 0) in vec3 inPosition;
layout(location = 1) in vec3 inNormal;
layout(location = 2) in float inPointSize;
layout(location = 3) in vec4 inDiffuse;
layout(location = 4) in vec2 inTexCoord;

uniform mat4 worldView;
uniform mat4 projection;
uniform mat3 normalMatrix;
uniform mat4 textureMatrix;
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

#if !WHITE_DIFFUSE
SHADE out vec4 vDiffuse;
#endif
#if TEXTURED && !SPRITE_COORDS
out vec2 vTexCoord;
#endif

void main() {
  vec4 eye = worldView * vec4(inPosition, 1.0);
  vec4 clip = projection * eye;
  clip.z = 2.0 * clip.z - clip.w;
  clip.xy += pixelOffset * clip.w;
  gl_Position = clip;

#if HAS_DIFFUSE
  vec4 diffuse = inDiffuse;
#else
  vec4 diffuse = vec4(1.0);
#endif
#if LIGHTING
#if DIFFUSE_FROM_VERTEX
  vec4 md = diffuse;
#else
  vec4 md = materialDiffuse;
#endif
  vec3 rgb = materialEmissive + materialAmbient * globalAmbient;
#if DIRECTIONAL
#if HAS_NORMAL
  vec3 n = normalMatrix * inNormal;
#else
  vec3 n = vec3(0.0);
#endif
  rgb += materialAmbient * lightAmbient + md.rgb * lightDiffuse * max(0.0, dot(n, lightDirection));
#endif
  diffuse = clamp(vec4(rgb, md.a), 0.0, 1.0);
#endif
#if !WHITE_DIFFUSE
  vDiffuse = diffuse;
#endif

#if TEXTURED && !SPRITE_COORDS
#if TEX_TRANSFORM
  vTexCoord = (textureMatrix * vec4(inTexCoord, 1.0, 0.0)).xy;
#else
  vTexCoord = inTexCoord;
#endif
#endif

#if POINT_SIZE
#if HAS_POINT_SIZE
  float size = inPointSize;
#else
  float size = pointParams.x;
#endif
#if POINT_SCALE
  float de = length(eye.xyz);
  size = pointParams.w * size / sqrt(pointScale.x + pointScale.y * de + pointScale.z * de * de);
#endif
  gl_PointSize = clamp(size, pointParams.y, pointParams.z);
#endif
}
)";

const char* const kFragmentBody = R"(
#if WHITE_DIFFUSE
// Unlit without vertex colours: the same white at every vertex, so nothing to interpolate.
const vec4 vDiffuse = vec4(1.0);
#else
SHADE in vec4 vDiffuse;
#endif
#if TEXTURED && !SPRITE_COORDS
in vec2 vTexCoord;
#endif

uniform sampler2D texture0;
uniform vec4 textureFactor;
uniform float alphaRef;  // 0..255

out vec4 outColor;

void main() {
#if TEXTURED
#if SPRITE_COORDS
  vec4 texel = texture(texture0, gl_PointCoord);
#else
  vec4 texel = texture(texture0, vTexCoord);
#endif
  vec3 rgb = (COLOR_RESULT).rgb;
  float a = (ALPHA_RESULT).a;
  vec4 result = vec4(rgb, a);
#else
  vec4 result = vDiffuse;
#endif
#if ALPHA_FUNC
  // Compared as 8-bit values so that texels straight from 8-bit images behave exactly.
  float a8 = floor(result.a * 255.0 + 0.5);
  if (!(ALPHA_PASSES)) discard;
#endif
  outColor = result;
}
)";

const char* ArgText(uint32_t arg) {
  switch (arg) {
    case 1:
      return "texel";
    case 2:
      return "textureFactor";
    default:
      return "vDiffuse";
  }
}

// The stage's operation on its two arguments as one GLSL expression.
int WriteCombine(char* out, size_t size, uint32_t op, uint32_t arg1, uint32_t arg2) {
  const char* a1 = ArgText(arg1);
  const char* a2 = ArgText(arg2);
  switch (op) {
    case D3DTOP_DISABLE:
      return std::snprintf(out, size, "vDiffuse");
    case D3DTOP_SELECTARG1:
      return std::snprintf(out, size, "%s", a1);
    case D3DTOP_SELECTARG2:
      return std::snprintf(out, size, "%s", a2);
    case D3DTOP_MODULATE2X:
      return std::snprintf(out, size, "clamp(2.0 * %s * %s, 0.0, 1.0)", a1, a2);
    case D3DTOP_MODULATE4X:
      return std::snprintf(out, size, "clamp(4.0 * %s * %s, 0.0, 1.0)", a1, a2);
    case D3DTOP_ADD:
      return std::snprintf(out, size, "clamp(%s + %s, 0.0, 1.0)", a1, a2);
    default:
      return std::snprintf(out, size, "%s * %s", a1, a2);
  }
}

const char* PassesText(uint32_t func) {
  switch (func) {
    case D3DCMP_NEVER:
      return "false";
    case D3DCMP_LESS:
      return "a8 < alphaRef";
    case D3DCMP_EQUAL:
      return "a8 == alphaRef";
    case D3DCMP_LESSEQUAL:
      return "a8 <= alphaRef";
    case D3DCMP_GREATER:
      return "a8 > alphaRef";
    case D3DCMP_NOTEQUAL:
      return "a8 != alphaRef";
    default:
      return "a8 >= alphaRef";
  }
}

}  // namespace

bool WriteShaderSources(ProgramKey key, char* vertex, size_t vertexSize, char* fragment,
                        size_t fragmentSize) {
  const uint32_t b = key.bits;
  const auto on = [b](uint32_t bit) { return (b & bit) != 0 ? 1 : 0; };
  char colour[96];
  char alpha[96];
  WriteCombine(colour, sizeof colour, Field(key, kColorOpShift, 7), Field(key, kColorArg1Shift, 3),
               Field(key, kColorArg2Shift, 3));
  WriteCombine(alpha, sizeof alpha, Field(key, kAlphaOpShift, 7), Field(key, kAlphaArg1Shift, 3),
               Field(key, kAlphaArg2Shift, 3));
  const uint32_t func = Field(key, kAlphaFuncShift, 7);
  char defines[768];
  const int n = std::snprintf(
      defines, sizeof defines,
      "#define SHADE %s\n#define LIGHTING %d\n#define DIRECTIONAL %d\n#define HAS_NORMAL %d\n"
      "#define DIFFUSE_FROM_VERTEX %d\n#define HAS_DIFFUSE %d\n#define POINT_SIZE %d\n"
      "#define HAS_POINT_SIZE %d\n#define POINT_SCALE %d\n#define TEXTURED %d\n"
      "#define SPRITE_COORDS %d\n#define TEX_TRANSFORM %d\n#define ALPHA_FUNC %u\n"
      "#define COLOR_RESULT %s\n#define ALPHA_RESULT %s\n#define ALPHA_PASSES %s\n"
      "#define WHITE_DIFFUSE %d\n",
      on(kFlat) ? "flat" : "", on(kLighting), on(kDirectional), on(kHasNormal),
      on(kDiffuseFromVertex), on(kHasDiffuse), on(kPointSize), on(kHasPointSize), on(kPointScale),
      on(kTextured), on(kSpriteCoords), on(kTexTransform), func, colour, alpha, PassesText(func),
      !on(kLighting) && !on(kHasDiffuse));
  if (n < 0 || size_t(n) >= sizeof defines) return false;
  const int v = std::snprintf(vertex, vertexSize, "%s%s", defines, kVertexBody);
  const int f = std::snprintf(fragment, fragmentSize, "%s%s", defines, kFragmentBody);
  return v >= 0 && size_t(v) < vertexSize && f >= 0 && size_t(f) < fragmentSize;
}

// >>section cache
namespace {

constexpr size_t kSourceBytes = 6144;

GLuint CompileShader(GLenum kind, const char* body) {
  const char* sources[2] = {"#version 330 core\n", body};
  GLuint shader = glCreateShader(kind);
  glShaderSource(shader, 2, sources, nullptr);
  glCompileShader(shader);
  GLint ok = 0;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    glDeleteShader(shader);
    return 0;
  }
  return shader;
}

bool BuildProgram(ProgramKey key, Program* p) {
  char vertex[kSourceBytes];
  char fragment[kSourceBytes];
  if (!WriteShaderSources(key, vertex, sizeof vertex, fragment, sizeof fragment)) return false;
  GLuint vs = CompileShader(GL_VERTEX_SHADER, vertex);
  GLuint fs = CompileShader(GL_FRAGMENT_SHADER, fragment);
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
  p->textureFactor = glGetUniformLocation(n, "textureFactor");
  p->alphaRef = glGetUniformLocation(n, "alphaRef");
  glUseProgram(n);
  glUniform1i(glGetUniformLocation(n, "texture0"), 0);
  return true;
}

}  // namespace

const Program* ProgramCache::Get(ProgramKey key) {
  if (last_ >= 0 && entries_[last_].key == key) return &entries_[last_].program;
  for (int i = 0; i < count_; ++i) {
    if (entries_[i].key == key) {
      last_ = i;
      return &entries_[i].program;
    }
  }
  int slot = count_;
  if (count_ == kCapacity) {
    // Full (a client cycling through very many states): replace in turn.
    slot = nextEvicted_;
    nextEvicted_ = (nextEvicted_ + 1) % kCapacity;
    glDeleteProgram(entries_[slot].program.name);
    entries_[slot] = Entry{};
  }
  Program program;
  if (!BuildProgram(key, &program)) return nullptr;
  ++built_;
  entries_[slot] = Entry{key, program};
  if (slot == count_) ++count_;
  last_ = slot;
  return &entries_[slot].program;
}

void ProgramCache::Release() {
  for (int i = 0; i < count_; ++i) {
    if (entries_[i].program.name != 0) glDeleteProgram(entries_[i].program.name);
  }
  count_ = 0;
  last_ = -1;
  nextEvicted_ = 0;
}

}  // namespace yulo
