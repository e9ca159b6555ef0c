// Triangle meshes loaded from .msh_s files, turned into device buffers once, and the
// library that loads each file once and shares it.
#pragma once

#include <cstdint>
#include <vector>

#include "math/matrix.h"
#include "models/mesh_vertex.h"
#include "models/model_files.h"
#include "resources/asset_table.h"

namespace yulo {

class VertexBuffer;
class IndexBuffer;

inline constexpr int kMeshLibraryCapacity = 1024;
inline constexpr int kMeshNameCapacity = 129;  // with the NUL

class Mesh {
 public:
  Mesh();
  // Releases the device buffers (while the device lives) and the vertex arrays.
  virtual ~Mesh();
  Mesh(const Mesh&) = delete;
  Mesh& operator=(const Mesh&) = delete;

  // Draws every triangle with the current transform, texture and states: one indexed call
  // for a smooth mesh, one plain call for a flat one. Sets only stream, format and indices.
  void Draw() const;

  bool smooth = false;
  char name[kMeshNameCapacity] = {};
  int32_t vertexCount = 0;  // render vertices (flat: 3 * faceCount)
  int32_t faceCount = 0;
  Matrix4 local;                     // placement in the model: rotation, then translation
  std::vector<MeshVertex> vertices;  // render vertices, kept after upload
  std::vector<int32_t> indices;      // smooth only: 3 * faceCount render-vertex indices
  uint32_t fvf = kMeshVertexFvf;
  VertexBuffer* vertexBuffer = nullptr;  // owned
  IndexBuffer* indexBuffer = nullptr;    // smooth only; owned; 32-bit past 65,536 vertices
  int16_t stride = kMeshVertexStride;
};

// Builds a mesh's placement and render vertices (and, when smooth, its indices) from a
// validated file. Touches no device.
void BuildMeshGeometry(const MeshFileView& file, Mesh* mesh);
// Creates and fills the mesh's device buffers on the current device (none without one).
void CreateMeshBuffers(Mesh* mesh);

class MeshLibrary : public AssetTable<Mesh, kMeshLibraryCapacity> {
 public:
  // The mesh loaded from path (exact, case-sensitive name), loading it on first request.
  // A missing or malformed file, an over-long name or a full library is fatal.
  Mesh* GetOrLoad(const char* path);
};

}  // namespace yulo
