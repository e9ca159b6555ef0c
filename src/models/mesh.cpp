#include "models/mesh.h"

#include <cstring>

#include "models/file_loading.h"
#include "models/texcoord_split.h"
#include "render/renderer.h"
#include "resources/loaded_file.h"

namespace yulo {

namespace {

Vector3 FaceNormal(const Vector3& p0, const Vector3& p1, const Vector3& p2) {
  return (p2 - p0).Cross(p1 - p0).Normalize();
}

}  // namespace

Mesh::Mesh() = default;

Mesh::~Mesh() {
  if (vertexBuffer) vertexBuffer->Release();
  if (indexBuffer) indexBuffer->Release();
}

void Mesh::Draw() const {
  Device* device = GetDevice();
  if (!device || !vertexBuffer || faceCount == 0) return;
  device->SetStreamSource(0, vertexBuffer, static_cast<uint32_t>(stride));
  device->SetVertexShader(fvf);
  if (smooth) {
    if (!indexBuffer) return;
    device->SetIndices(indexBuffer, 0);
    device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, static_cast<uint32_t>(vertexCount), 0,
                                 static_cast<uint32_t>(faceCount));
  } else {
    device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, static_cast<uint32_t>(faceCount));
  }
}

void BuildMeshGeometry(const MeshFileView& file, Mesh* mesh) {
  mesh->smooth = file.smooth;
  mesh->local.SetIdentity();
  QuaternionFromEuler(file.angles.x, file.angles.y, file.angles.z).ToMatrix(mesh->local);
  mesh->local.m[3][0] = file.translation.x;
  mesh->local.m[3][1] = file.translation.y;
  mesh->local.m[3][2] = file.translation.z;
  mesh->faceCount = file.faceCount;

  const int32_t cornerCount = 3 * file.faceCount;
  std::vector<Vector3> positions(static_cast<size_t>(file.positionCount));
  for (int32_t k = 0; k < file.positionCount; ++k)
    positions[static_cast<size_t>(k)] = file.Position(k);
  std::vector<int32_t> corners(static_cast<size_t>(cornerCount));
  std::vector<Vector2> texCoords(static_cast<size_t>(cornerCount));
  for (int32_t c = 0; c < cornerCount; ++c) {
    corners[static_cast<size_t>(c)] = file.Corner(c);
    texCoords[static_cast<size_t>(c)] = Vector2(file.U(c), 1.0f - file.V(c));  // stored with v up
  }

  if (!mesh->smooth) {
    mesh->vertexCount = cornerCount;
    mesh->vertices.resize(static_cast<size_t>(cornerCount));
    for (int32_t t = 0; t < file.faceCount; ++t) {
      const int32_t* c = &corners[3 * static_cast<size_t>(t)];
      const Vector3 n =
          FaceNormal(positions[static_cast<size_t>(c[0])], positions[static_cast<size_t>(c[1])],
                     positions[static_cast<size_t>(c[2])]);
      for (int j = 0; j < 3; ++j) {
        MeshVertex& v = mesh->vertices[3 * static_cast<size_t>(t) + static_cast<size_t>(j)];
        v.position = positions[static_cast<size_t>(c[j])];
        v.normal = n;
        v.u = texCoords[3 * static_cast<size_t>(t) + static_cast<size_t>(j)].x;
        v.v = texCoords[3 * static_cast<size_t>(t) + static_cast<size_t>(j)].y;
      }
    }
    mesh->indices.clear();
    return;
  }

  std::vector<Vector3> normals(positions.size());
  for (int32_t t = 0; t < file.faceCount; ++t) {
    const int32_t* c = &corners[3 * static_cast<size_t>(t)];
    const Vector3 n =
        FaceNormal(positions[static_cast<size_t>(c[0])], positions[static_cast<size_t>(c[1])],
                   positions[static_cast<size_t>(c[2])]);
    for (int j = 0; j < 3; ++j) normals[static_cast<size_t>(c[j])] += n;
  }
  for (Vector3& n : normals) n.Normalize();

  TexCoordSplit split;
  SplitByTexCoord(corners.data(), texCoords.data(), cornerCount, file.positionCount, &split);
  mesh->vertexCount = static_cast<int32_t>(split.source.size());
  mesh->vertices.resize(split.source.size());
  for (size_t r = 0; r < split.source.size(); ++r) {
    MeshVertex& v = mesh->vertices[r];
    v.position = positions[static_cast<size_t>(split.source[r])];
    v.normal = normals[static_cast<size_t>(split.source[r])];
    v.u = split.texCoord[r].x;
    v.v = split.texCoord[r].y;
  }
  mesh->indices = std::move(split.cornerVertex);
}

void CreateMeshBuffers(Mesh* mesh) {
  Device* device = GetDevice();
  if (!device || mesh->vertexCount == 0) return;
  const uint32_t vertexBytes = static_cast<uint32_t>(mesh->vertexCount) * kMeshVertexStride;
  mesh->vertexBuffer =
      device->CreateVertexBuffer(vertexBytes, D3DUSAGE_WRITEONLY, mesh->fvf, D3DPOOL_MANAGED);
  uint8_t* bytes = nullptr;
  if (mesh->vertexBuffer && mesh->vertexBuffer->Lock(0, 0, &bytes, 0) == D3D_OK) {
    std::memcpy(bytes, mesh->vertices.data(), vertexBytes);
    mesh->vertexBuffer->Unlock();
  }
  if (!mesh->smooth || mesh->faceCount == 0) return;
  mesh->indexBuffer = CreateFilledIndexBuffer(
      device, mesh->indices.data(), 3 * static_cast<uint32_t>(mesh->faceCount), mesh->vertexCount);
}

Mesh* MeshLibrary::GetOrLoad(const char* path) {
  return GetOrLoadFromFile(*this, path, "meshes", ReadMeshFile,
                           [](const MeshFileView& file, Mesh* mesh) {
                             BuildMeshGeometry(file, mesh);
                             CreateMeshBuffers(mesh);
                           });
}

}  // namespace yulo
