// Mesh files: validate, then build the render vertices as a load would.
#include <cstddef>
#include <cstdint>

#include "math/scalar.h"
#include "models/mesh.h"
#include "models/model_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool tableBuilt = (yulo::BuildSqrtTable(), true);
  (void)tableBuilt;
  yulo::MeshFileView file;
  yulo::FileError error;
  if (!yulo::ReadMeshFile(data, size, &file, &error)) return 0;
  yulo::Mesh mesh;
  yulo::BuildMeshGeometry(file, &mesh);
  for (int32_t index : mesh.indices) {
    if (index < 0 || index >= mesh.vertexCount) __builtin_trap();
  }
  return 0;
}
