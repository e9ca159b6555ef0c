// Rigid scene objects described by .cgo text files: meshes, each drawn with its own
// texture, placed by one world matrix; and the library that loads each description once.
#pragma once

#include <cstdint>
#include <vector>

#include "math/matrix.h"
#include "math/vector.h"
#include "resources/asset_table.h"

namespace yulo {

class Mesh;
struct Texture;

inline constexpr int kModelLibraryCapacity = 1024;
inline constexpr int kModelNameCapacity = 32;    // with the NUL
inline constexpr int kBoundNameCapacity = 16;    // with the NUL
inline constexpr int32_t kMaxModelMeshes = 256;  // "nummeshes=" above this is malformed
inline constexpr int32_t kMaxModelBounds = 256;  // "numbounds=" likewise

// A bound shape listed in a description; kept with the model, read by nothing else.
struct ModelBound {
  char name[kBoundNameCapacity] = {};  // "bound%i.name=", cut to 15 characters
  bool isCircle = false;               // "bound%i.b_circle=" is not 0
  Vector3 centre;                      // "bound%i.center.x=" .y .z
  float radius = 0.0f;                 // circles: "bound%i.radius="
  float extent1 = 0.0f;                // boxes: "bound%i.dx="
  float extent2 = 0.0f;                // boxes: "bound%i.dz="
};

class Model {
 public:
  Model() = default;
  // Virtual: the library deletes its models through this type, and a model of a derived
  // class must be destroyed whole.
  virtual ~Model() = default;
  Model(const Model&) = delete;
  Model& operator=(const Model&) = delete;

  // Fills the model from the description file path (a name in the current folder).
  // A missing or malformed description, mesh or texture is fatal. Returns true.
  virtual bool Load(const char* path);
  // Draws every mesh i with texture i at meshes[i]->local x world. Inside a scene; the
  // caller sets view, projection, lighting and material. A texture loaded from a TGA file
  // is drawn alpha-tested and blended; both states are off again after each mesh.
  virtual void Render();

  char name[kModelNameCapacity] = {};  // the library's lookup key
  Matrix4 world;                       // written by the owner before Render
  int32_t meshCount = 0;
  int32_t boundCount = 0;
  std::vector<ModelBound> bounds;
  std::vector<Mesh*> meshes;             // owned by the mesh library
  std::vector<const Texture*> textures;  // owned by the texture manager
};

// Clear destroys every model (not the meshes and textures they use).
class ModelLibrary : public AssetTable<Model, kModelLibraryCapacity> {
 public:
  // The model named exactly name, loading it on first request; the new entry is in the
  // library before its Load runs. A name without ".cgo", longer than 31 characters, or
  // past the library's capacity is fatal.
  Model* GetOrLoad(const char* name);
};

}  // namespace yulo
