// The vertex shared by meshes and characters, and the angle-to-rotation conversion that
// the mesh and animation files share.
#pragma once

#include <cstddef>
#include <cstdint>

#include "math/quaternion.h"
#include "math/vector.h"

namespace yulo {

// Vertex format code of MeshVertex: position, normal, one two-float texture coordinate.
inline constexpr uint32_t kMeshVertexFvf = 0x112;
inline constexpr int kMeshVertexStride = 32;

// 32 bytes: position, normal, texture coordinate (v pointing down, as the device expects).
struct MeshVertex {
  Vector3 position;
  Vector3 normal;
  float u = 0.0f;
  float v = 0.0f;
};
static_assert(sizeof(MeshVertex) == kMeshVertexStride);
static_assert(offsetof(MeshVertex, position) == 0);
static_assert(offsetof(MeshVertex, normal) == 12);
static_assert(offsetof(MeshVertex, u) == 24);
static_assert(offsetof(MeshVertex, v) == 28);

class Device;
class IndexBuffer;

// A static index buffer on device holding count indices into vertexCount vertices:
// sixteen-bit up to 65,536 vertices, thirty-two-bit past that (sixteen bits would wrap).
// nullptr when the device makes none; left unfilled when it can't be locked.
IndexBuffer* CreateFilledIndexBuffer(Device* device, const int32_t* indices, uint32_t count,
                                     int32_t vertexCount);

// Rotation by ax about x, then ay about y, then az about z (radians): the product
// qz * qy * qx of the three elementary quaternions.
Quaternion QuaternionFromEuler(float ax, float ay, float az);

}  // namespace yulo
