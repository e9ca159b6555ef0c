// The fixed-function pipeline as GLSL programs, one per combination of the states that
// change what a draw computes. Each program does only its own combination's work: no
// branch on a uniform per vertex or fragment, and `discard` only where the alpha test is
// on, so that every other draw is depth-tested before it is shaded.
#pragma once

#include <epoxy/gl.h>

#include <cstddef>
#include <cstdint>

#include "render/device.h"

namespace yulo {

// >>section program keys (no GL needed)

// The states one draw depends on, reduced to what changes the program: a state that can't
// matter for the draw (lighting inputs with lighting off, texture stage with no texture,
// point sizes for triangles) is left out, so equal programs get equal keys.
struct ProgramKey {
  uint32_t bits = 0;
  bool operator==(const ProgramKey&) const = default;
};

// What a draw brings besides the state table.
struct DrawInputs {
  uint32_t fvf = 0;
  bool pointList = false;         // D3DPT_POINTLIST
  bool textured = false;          // a texture is bound to stage 0
  bool directionalLight = false;  // light 0 on and directional
  bool textureOpaque = false;     // every texel of the bound texture has alpha 255
  bool materialAlphaOne = false;  // the material's diffuse alpha is 1 or more
};

// An alpha test that every fragment passes is left out (as when the stage's alpha is one
// everywhere: an opaque texture over an opaque diffuse colour), so that the program
// need not discard.
ProgramKey MakeProgramKey(const DeviceStateTable& states, const DrawInputs& draw);

// Whether programs of key discard fragments (the alpha test is on).
bool KeyDiscards(ProgramKey key);

// Whether the stage's alpha is one for every fragment of the draw, as the eight-bit frame
// sees it (a value a rounding step below one still stores as 255).
bool DrawAlphaIsOne(const DeviceStateTable& states, const DrawInputs& draw);

// Blending as GL needs to do it: factors in the device's numbering, and off where it
// cannot change a pixel (source alpha one makes SRCALPHA one and INVSRCALPHA zero, and
// ONE, ZERO adds or subtracts nothing), which spares the rasteriser reading the frame.
struct BlendUse {
  bool enabled = false;
  uint32_t src = D3DBLEND_ONE;
  uint32_t dst = D3DBLEND_ZERO;
};
BlendUse ReduceBlend(const DeviceStateTable& states, bool sourceAlphaOne);

// Writes the vertex and fragment shader texts of key (NUL-terminated, no version line).
// False when a buffer is too small.
bool WriteShaderSources(ProgramKey key, char* vertex, size_t vertexSize, char* fragment,
                        size_t fragmentSize);

// >>section programs (GL)

struct Program {
  GLuint name = 0;
  GLint worldView, projection, normalMatrix, textureMatrix;
  GLint lightDirection, lightDiffuse, lightAmbient, materialDiffuse, materialAmbient;
  GLint materialEmissive, globalAmbient, pointParams, pointScale, pixelOffset;
  GLint textureFactor, alphaRef;
};

// Programs made on first use and kept. Needs the device's context current.
class ProgramCache {
 public:
  static constexpr int kCapacity = 64;

  // The program for key, compiled and linked now if it is new; nullptr when GL refuses it.
  const Program* Get(ProgramKey key);
  // Programs compiled by Get so far.
  uint32_t BuiltCount() const { return built_; }
  // Deletes every program; the owner calls it with the context current.
  void Release();

 private:
  struct Entry {
    ProgramKey key;
    Program program;
  };
  Entry entries_[kCapacity] = {};
  int count_ = 0;
  int last_ = -1;
  int nextEvicted_ = 0;
  uint32_t built_ = 0;
};

}  // namespace yulo
