#include "models/skinning.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "models/mesh_vertex.h"

// The four-lane paths below do, lane by lane, exactly the float operations of the plain
// loops in the same order (no fused multiply-add, no reciprocal estimates), so their
// results are the same bits; the plain loops remain for other processors.

namespace yulo {

namespace {

// The unit normal of the triangle at corners c, c + 1, c + 2, as Vector3::Normalize makes it.
inline Vector3 FaceNormal(const int32_t* c, std::span<const Vector3> positions) {
  const Vector3& p0 = positions[size_t(c[0])];
  Vector3 n = (positions[size_t(c[2])] - p0).Cross(positions[size_t(c[1])] - p0);
  n.Normalize();
  return n;
}

#if defined(__SSE2__)

// (x, y, z, 0) from a Vector3, reading only its twelve bytes.
inline __m128 Load3(const Vector3& v) {
  const __m128 xy = _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(&v.x)));
  return _mm_movelh_ps(xy, _mm_load_ss(&v.z));
}

// Stores lanes 0..2 into a Vector3, writing only its twelve bytes.
inline void Store3(Vector3* out, __m128 v) {
  _mm_storel_epi64(reinterpret_cast<__m128i*>(&out->x), _mm_castps_si128(v));
  _mm_store_ss(&out->z, _mm_movehl_ps(v, v));
}

// FastSqrt of four values: the processor's root of each with the ignored mantissa bits
// cleared, which is FastSqrt's own result for positive normal values; any other lane
// (zero, subnormal, non-finite) is taken from FastSqrt itself.
inline __m128 FastSqrt4(__m128 x) {
  const __m128i bits = _mm_castps_si128(x);
  const __m128i normal = _mm_and_si128(_mm_cmpgt_epi32(bits, _mm_set1_epi32(0x007FFFFF)),
                                       _mm_cmplt_epi32(bits, _mm_set1_epi32(0x7F800000)));
  const __m128 root = _mm_sqrt_ps(_mm_castsi128_ps(
      _mm_and_si128(bits, _mm_set1_epi32(static_cast<int>(kSqrtIgnoredBitsMask)))));
  if (_mm_movemask_ps(_mm_castsi128_ps(normal)) == 0xF) return root;
  alignas(16) float in[4];
  alignas(16) float out[4];
  _mm_store_ps(in, x);
  _mm_store_ps(out, root);
  const int normalLanes = _mm_movemask_ps(_mm_castsi128_ps(normal));
  for (int k = 0; k < 4; ++k) {
    if ((normalLanes & (1 << k)) == 0) out[k] = FastSqrt(in[k]);
  }
  return _mm_load_ps(out);
}

// Vector3::Normalize of four vectors given as their x, y and z lanes.
inline void Normalize4(__m128* x, __m128* y, __m128* z) {
  const __m128 squared =
      _mm_add_ps(_mm_add_ps(_mm_mul_ps(*x, *x), _mm_mul_ps(*y, *y)), _mm_mul_ps(*z, *z));
  const __m128 length = FastSqrt4(squared);
  const __m128 keep = _mm_cmpeq_ps(length, _mm_setzero_ps());  // a zero length: unchanged
  const __m128 inv = _mm_div_ps(_mm_set1_ps(1.0f), length);
  *x = _mm_or_ps(_mm_and_ps(keep, *x), _mm_andnot_ps(keep, _mm_mul_ps(*x, inv)));
  *y = _mm_or_ps(_mm_and_ps(keep, *y), _mm_andnot_ps(keep, _mm_mul_ps(*y, inv)));
  *z = _mm_or_ps(_mm_and_ps(keep, *z), _mm_andnot_ps(keep, _mm_mul_ps(*z, inv)));
}

// The x, y and z of corner `corner` of the four triangles at c, as three registers.
inline void GatherCorner(std::span<const Vector3> p, const int32_t* c, int corner, __m128* x,
                         __m128* y, __m128* z) {
  // Sixteen bytes from each position where the array goes on past it, else twelve.
  const auto load = [&](int t) {
    const size_t i = size_t(c[3 * t + corner]);
    return i + 1 < p.size() ? _mm_loadu_ps(&p[i].x) : Load3(p[i]);
  };
  __m128 a = load(0), b = load(1), d = load(2), e = load(3);
  _MM_TRANSPOSE4_PS(a, b, d, e);
  *x = a;
  *y = b;
  *z = d;
}

#endif  // __SSE2__

}  // namespace

void ListWeightedInfluences(std::span<const SkinVertex> vertices, WeightedInfluences* out) {
  *out = WeightedInfluences();
  for (size_t v = 0; v < vertices.size(); ++v) {
    WeightedInfluences::Influence used[kSkinInfluences];
    size_t count = 0;
    for (const SkinInfluence& in : vertices[v].influences) {
      if (in.weight != 0.0f) used[count++] = {in.position, in.weight, in.bone};
    }
    if (count == 0) {
      out->none.push_back(int32_t(v));
      continue;
    }
    out->vertices[count - 1].push_back(int32_t(v));
    out->influences[count - 1].insert(out->influences[count - 1].end(), used, used + count);
  }
}

namespace {

// The vertices of one group, each with exactly K weighted influences.
template <int K>
void SkinGroup(std::span<const int32_t> vertices, const WeightedInfluences::Influence* in,
               std::span<const Matrix4> boneRotations, std::span<const Vector3> bonePositions,
               std::span<Vector3> out) {
  for (const int32_t v : vertices) {
#if defined(__SSE2__)
    // x, y and z in three lanes at once; the fourth lane is ignored.
    __m128 sum = _mm_setzero_ps();
    for (int k = 0; k < K; ++k, ++in) {
      const Matrix4& r = boneRotations[size_t(in->bone)];
      const __m128 p = _mm_loadu_ps(&in->position.x);  // x, y, z, weight
      const __m128 turned =
          _mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_shuffle_ps(p, p, 0x00), _mm_loadu_ps(r.m[0])),
                                _mm_mul_ps(_mm_shuffle_ps(p, p, 0x55), _mm_loadu_ps(r.m[1]))),
                     _mm_mul_ps(_mm_shuffle_ps(p, p, 0xAA), _mm_loadu_ps(r.m[2])));
      const __m128 moved = _mm_add_ps(turned, Load3(bonePositions[size_t(in->bone)]));
      sum = _mm_add_ps(sum, _mm_mul_ps(_mm_shuffle_ps(p, p, 0xFF), moved));
    }
    Store3(&out[size_t(v)], sum);
#else
    float sx = 0.0f, sy = 0.0f, sz = 0.0f;
    for (int k = 0; k < K; ++k, ++in) {
      const Matrix4& r = boneRotations[size_t(in->bone)];
      const Vector3& p = in->position;
      const Vector3& t = bonePositions[size_t(in->bone)];
      sx += in->weight * (p.x * r.m[0][0] + p.y * r.m[1][0] + p.z * r.m[2][0] + t.x);
      sy += in->weight * (p.x * r.m[0][1] + p.y * r.m[1][1] + p.z * r.m[2][1] + t.y);
      sz += in->weight * (p.x * r.m[0][2] + p.y * r.m[1][2] + p.z * r.m[2][2] + t.z);
    }
    out[size_t(v)].Set(sx, sy, sz);
#endif
  }
}

}  // namespace

void SkinVertices(const WeightedInfluences& weighted, std::span<const Matrix4> boneRotations,
                  std::span<const Vector3> bonePositions, std::span<Vector3> out) {
  static_assert(kSkinInfluences == 3);
  for (const int32_t v : weighted.none) out[size_t(v)] = Vector3();
  SkinGroup<1>(weighted.vertices[0], weighted.influences[0].data(), boneRotations, bonePositions,
               out);
  SkinGroup<2>(weighted.vertices[1], weighted.influences[1].data(), boneRotations, bonePositions,
               out);
  SkinGroup<3>(weighted.vertices[2], weighted.influences[2].data(), boneRotations, bonePositions,
               out);
}

void ListVertexTriangles(std::span<const int32_t> corners, size_t vertexCount,
                         VertexTriangles* out) {
  const size_t cornerCount = corners.size() / 3 * 3;
  out->first.assign(vertexCount + 1, 0);
  for (size_t c = 0; c < cornerCount; ++c) ++out->first[size_t(corners[c]) + 1];
  for (size_t v = 0; v < vertexCount; ++v) out->first[v + 1] += out->first[v];
  out->triangles.resize(cornerCount);
  std::vector<int32_t> next(out->first.begin(), out->first.end() - 1);
  for (size_t c = 0; c < cornerCount; ++c) {
    out->triangles[size_t(next[size_t(corners[c])]++)] = int32_t(c / 3);
  }

  // Blocks of four vertices that sum equally many normals, so that the four sums of a block
  // run side by side and the loop over them ends at the same place in every block of a row.
  const auto count = [&](int32_t v) { return out->first[size_t(v) + 1] - out->first[size_t(v)]; };
  std::vector<int32_t> order(vertexCount);
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](int32_t a, int32_t b) { return count(a) < count(b); });
  out->blockVertices.clear();
  out->blockCounts.clear();
  out->blockTriangles.clear();
  out->leftOver.clear();
  for (size_t i = 0; i < vertexCount;) {
    size_t end = i;
    while (end < vertexCount && count(order[end]) == count(order[i])) ++end;
    for (; i + 4 <= end; i += 4) {
      const int32_t m = count(order[i]);
      out->blockVertices.insert(out->blockVertices.end(), &order[i], &order[i] + 4);
      out->blockCounts.push_back(m);
      for (int32_t k = 0; k < m; ++k) {
        for (size_t l = 0; l < 4; ++l) {
          out->blockTriangles.push_back(
              out->triangles[size_t(out->first[size_t(order[i + l])] + k)]);
        }
      }
    }
    out->leftOver.insert(out->leftOver.end(), order.begin() + ptrdiff_t(i),
                         order.begin() + ptrdiff_t(end));
    i = end;
  }
}

// Each vertex sums its triangles' normals in triangle order, so every sum sees the same
// additions in the same order as adding each triangle to its corners would, without the
// chain of stores and reloads that adding into memory makes.
void RebuildNormals(std::span<const int32_t> corners, std::span<const Vector3> positions,
                    const VertexTriangles& byVertex, std::span<PaddedNormal> faceNormals,
                    std::span<Vector3> normals) {
  const size_t triangles = corners.size() / 3;
  size_t t = 0;
#if defined(__SSE2__)
  for (; t + 4 <= triangles; t += 4) {
    const int32_t* c = &corners[3 * t];
    __m128 x0, y0, z0, x1, y1, z1, x2, y2, z2;
    GatherCorner(positions, c, 0, &x0, &y0, &z0);
    GatherCorner(positions, c, 1, &x1, &y1, &z1);
    GatherCorner(positions, c, 2, &x2, &y2, &z2);
    // a = p2 - p0, b = p1 - p0, n = a x b
    const __m128 ax = _mm_sub_ps(x2, x0);
    const __m128 ay = _mm_sub_ps(y2, y0);
    const __m128 az = _mm_sub_ps(z2, z0);
    const __m128 bx = _mm_sub_ps(x1, x0);
    const __m128 by = _mm_sub_ps(y1, y0);
    const __m128 bz = _mm_sub_ps(z1, z0);
    __m128 nx = _mm_sub_ps(_mm_mul_ps(ay, bz), _mm_mul_ps(az, by));
    __m128 ny = _mm_sub_ps(_mm_mul_ps(az, bx), _mm_mul_ps(ax, bz));
    __m128 nz = _mm_sub_ps(_mm_mul_ps(ax, by), _mm_mul_ps(ay, bx));
    Normalize4(&nx, &ny, &nz);
    __m128 nw = _mm_setzero_ps();
    _MM_TRANSPOSE4_PS(nx, ny, nz, nw);  // now one normal per register
    _mm_store_ps(&faceNormals[t].x, nx);
    _mm_store_ps(&faceNormals[t + 1].x, ny);
    _mm_store_ps(&faceNormals[t + 2].x, nz);
    _mm_store_ps(&faceNormals[t + 3].x, nw);
  }
#endif
  for (; t < triangles; ++t) {
    const Vector3 n = FaceNormal(&corners[3 * t], positions);
    faceNormals[t] = {n.x, n.y, n.z, 0.0f};
  }

  const int32_t* first = byVertex.first.data();
  const int32_t* listed = byVertex.triangles.data();
  const auto sumAndNormalize = [&](int32_t vertex) {
    Vector3 n;
    for (int32_t i = first[vertex]; i < first[vertex + 1]; ++i) {
      const PaddedNormal& f = faceNormals[size_t(listed[i])];
      n.x += f.x;
      n.y += f.y;
      n.z += f.z;
    }
    normals[size_t(vertex)] = n.Normalize();
  };
#if defined(__SSE2__)
  // Four vertices at once, their four sums side by side.
  const int32_t* block = byVertex.blockTriangles.data();
  for (size_t b = 0; b < byVertex.blockCounts.size(); ++b) {
    __m128 x = _mm_setzero_ps(), y = x, z = x, w = x;
    for (int32_t k = 0; k < byVertex.blockCounts[b]; ++k, block += 4) {
      x = _mm_add_ps(x, _mm_load_ps(&faceNormals[size_t(block[0])].x));
      y = _mm_add_ps(y, _mm_load_ps(&faceNormals[size_t(block[1])].x));
      z = _mm_add_ps(z, _mm_load_ps(&faceNormals[size_t(block[2])].x));
      w = _mm_add_ps(w, _mm_load_ps(&faceNormals[size_t(block[3])].x));
    }
    _MM_TRANSPOSE4_PS(x, y, z, w);  // now x, y, z of four vertices
    Normalize4(&x, &y, &z);
    _MM_TRANSPOSE4_PS(x, y, z, w);  // back to one vertex per register
    const int32_t* v = &byVertex.blockVertices[4 * b];
    Store3(&normals[size_t(v[0])], x);
    Store3(&normals[size_t(v[1])], y);
    Store3(&normals[size_t(v[2])], z);
    Store3(&normals[size_t(v[3])], w);
  }
  for (const int32_t v : byVertex.leftOver) sumAndNormalize(v);
#else
  for (size_t v = 0; v < normals.size(); ++v) sumAndNormalize(int32_t(v));
#endif
}

void WriteRenderVertices(std::span<const int32_t> renderToSkin, std::span<const Vector3> positions,
                         std::span<const Vector3> normals, uint8_t* vertices) {
  for (size_t r = 0; r < renderToSkin.size(); ++r) {
    uint8_t* record = vertices + r * kMeshVertexStride;
    const size_t s = size_t(renderToSkin[r]);
    std::memcpy(record, &positions[s], sizeof(Vector3));
    std::memcpy(record + sizeof(Vector3), &normals[s], sizeof(Vector3));
  }
}

}  // namespace yulo
