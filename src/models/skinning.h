// The per-frame loops of a skinned character as plain jobs over spans. Callers size every
// span once at load time; the jobs check nothing and allocate nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "math/matrix.h"
#include "math/vector.h"
#include "models/model_files.h"

namespace yulo {

// A skin's weighted influences (those whose weight is not 0 or -0), grouped by how many
// each vertex has so that the per-frame loop tests no weight: group k - 1 lists the
// vertices with k of them, and their influences k at a time in the stored order.
struct WeightedInfluences {
  struct Influence {
    Vector3 position;  // the vertex in the bone's frame
    float weight;
    int32_t bone;
  };
  std::vector<int32_t> none;  // vertices without any: skinned to the origin
  std::vector<int32_t> vertices[kSkinInfluences];
  std::vector<Influence> influences[kSkinInfluences];
};
static_assert(offsetof(WeightedInfluences::Influence, weight) == 12);  // loaded with position

// Whether the jobs below may use eight-lane (AVX2) code where the processor has it, as they
// do from the start; returns whether they now do. Same bits either way: for tests.
bool UseEightLanes(bool allowed);

// Groups the weighted influences of vertices. Allocates; called once when a skin is built.
void ListWeightedInfluences(std::span<const SkinVertex> vertices, WeightedInfluences* out);

// out[v] = sum over the weighted influences of vertex v, in their stored order, of
// weight * (position * boneRotations[bone] + bonePositions[bone]); weights are used as
// stored. weighted lists the vertices of out (ListWeightedInfluences), and its every bone
// indexes both bone spans.
void SkinVertices(const WeightedInfluences& weighted, std::span<const Matrix4> boneRotations,
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
  // The same lists arranged for summing four vertices at once: blocks of four vertices with
  // equally many triangles (blocks of equal counts in a row), each block's lists
  // interleaved (triangle k of its vertex l at 4k + l); then the vertices in no block.
  std::vector<int32_t> blockVertices;   // 4 per block
  std::vector<int32_t> blockCounts;     // a block's triangles per vertex
  std::vector<int32_t> blockTriangles;  // 4 x count per block
  std::vector<int32_t> leftOver;
};

// Lists the whole triangles of corners (indices below vertexCount) by vertex, both ways.
// Allocates; called once when a skin is built.
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
