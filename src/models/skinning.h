// The per-frame loops of a skinned character as plain jobs over spans. Callers size every
// span once at load time; the jobs check nothing and allocate nothing.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "math/matrix.h"
#include "math/vector.h"
#include "models/model_files.h"

namespace yulo {

// out[v] = sum over the influences of vertices[v] with a weight other than 0 of
// weight * (position * boneRotations[bone] + bonePositions[bone]). Weights are used as
// stored. out.size() == vertices.size(); every weighted bone indexes both bone spans.
void SkinVertices(std::span<const SkinVertex> vertices, std::span<const Matrix4> boneRotations,
                  std::span<const Vector3> bonePositions, std::span<Vector3> out);

// A triangle's unit normal, padded to 16 bytes so that adding it is one four-lane addition.
struct alignas(16) PaddedNormal {
  float x, y, z, unused;
};

// The triangles that use each vertex, in triangle order, a triangle once for every corner
// it has on the vertex: those of vertex v are triangles[first[v]] .. triangles[first[v + 1] - 1].
struct VertexTriangles {
  std::vector<int32_t> first;      // V + 1
  std::vector<int32_t> triangles;  // 3F
};

// Lists the whole triangles of corners (indices below vertexCount) by vertex. Allocates;
// called once when a skin is built.
void ListVertexTriangles(std::span<const int32_t> corners, size_t vertexCount,
                         VertexTriangles* out);

// Smooth normals: each triangle's unit normal (p2 - p0) x (p1 - p0) added to its three
// corners in triangle order, then every sum normalised (a zero sum stays zero). corners
// holds 3F indices into positions and byVertex lists them; faceNormals (F, scratch, left
// undefined) and normals (the size of positions) are written.
void RebuildNormals(std::span<const int32_t> corners, std::span<const Vector3> positions,
                    const VertexTriangles& byVertex, std::span<PaddedNormal> faceNormals,
                    std::span<Vector3> normals);

// Writes position and normal of every render vertex r (those of skin vertex
// renderToSkin[r]) into 32-byte records at vertices, leaving bytes 24..31 alone.
void WriteRenderVertices(std::span<const int32_t> renderToSkin, std::span<const Vector3> positions,
                         std::span<const Vector3> normals, uint8_t* vertices);

}  // namespace yulo
