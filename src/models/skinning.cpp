#include "models/skinning.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
// Eight-lane code for processors with AVX2, chosen at run time. Not on Windows, where GCC
// may spill 32-byte registers to a stack that is only 16-byte aligned.
#if defined(__GNUC__) && defined(__x86_64__) && defined(__SSE2__) && !defined(_WIN32)
#define YULO_EIGHT_LANES 1
#include <immintrin.h>
#endif

#include "models/mesh_vertex.h"

// The four- and eight-lane paths below do, lane by lane, exactly the float operations of the
// plain loops in the same order (no fused multiply-add, no reciprocal estimates), so their
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

// Sixteen bytes from p[i] where the array goes on past it, else the twelve of Load3; only
// lanes 0..2 are used.
inline __m128 LoadPadded(std::span<const Vector3> p, size_t i) {
  return i + 1 < p.size() ? _mm_loadu_ps(&p[i].x) : Load3(p[i]);
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

// Position i, lanes 0..2; sixteen bytes are read unless it may be the last position.
template <bool mayBeLast>
inline __m128 LoadPosition(std::span<const Vector3> p, int32_t i) {
  return mayBeLast ? LoadPadded(p, size_t(i)) : _mm_loadu_ps(&p[size_t(i)].x);
}

// Walks the triangles that use the last position, which byVertex lists in order, telling the
// face pass which runs of triangles may not be read sixteen bytes per corner.
class LastPositionUsers {
 public:
  LastPositionUsers(const VertexTriangles& byVertex, size_t positionCount)
      : next_(byVertex.triangles.data() + byVertex.first[positionCount - 1]),
        end_(byVertex.triangles.data() + byVertex.first[positionCount]) {}

  // Whether one of the triangles t .. t + n - 1 uses it; t never decreases between calls.
  bool Among(size_t t, size_t n) {
    while (next_ != end_ && size_t(*next_) < t) ++next_;
    return next_ != end_ && size_t(*next_) < t + n;
  }

 private:
  const int32_t* next_;
  const int32_t* end_;
};

// The x, y and z of corner `corner` of the four triangles at c, as three registers.
template <bool mayBeLast>
inline void GatherCorner(std::span<const Vector3> p, const int32_t* c, int corner, __m128* x,
                         __m128* y, __m128* z) {
  const auto load = [&](int t) { return LoadPosition<mayBeLast>(p, c[3 * t + corner]); };
  __m128 a = load(0), b = load(1), d = load(2), e = load(3);
  _MM_TRANSPOSE4_PS(a, b, d, e);
  *x = a;
  *y = b;
  *z = d;
}

#endif  // __SSE2__

#if defined(YULO_EIGHT_LANES)

bool eightLanes = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));

#define YULO_AVX2 __attribute__((target("avx2")))
#define YULO_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

// FastSqrt4 over eight lanes.
YULO_AVX2 inline __m256 FastSqrt8(__m256 x) {
  const __m256i bits = _mm256_castps_si256(x);
  const __m256i normal = _mm256_and_si256(_mm256_cmpgt_epi32(bits, _mm256_set1_epi32(0x007FFFFF)),
                                          _mm256_cmpgt_epi32(_mm256_set1_epi32(0x7F800000), bits));
  const __m256 root = _mm256_sqrt_ps(_mm256_castsi256_ps(
      _mm256_and_si256(bits, _mm256_set1_epi32(static_cast<int>(kSqrtIgnoredBitsMask)))));
  const int normalLanes = _mm256_movemask_ps(_mm256_castsi256_ps(normal));
  if (normalLanes == 0xFF) return root;
  alignas(32) float in[8];
  alignas(32) float out[8];
  _mm256_store_ps(in, x);
  _mm256_store_ps(out, root);
  for (int k = 0; k < 8; ++k) {
    if ((normalLanes & (1 << k)) == 0) out[k] = FastSqrt(in[k]);
  }
  return _mm256_load_ps(out);
}

// Normalize4 over eight lanes.
YULO_AVX2_INLINE void Normalize8(__m256* x, __m256* y, __m256* z) {
  const __m256 squared = _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(*x, *x), _mm256_mul_ps(*y, *y)),
                                       _mm256_mul_ps(*z, *z));
  const __m256 length = FastSqrt8(squared);
  const __m256 keep = _mm256_cmp_ps(length, _mm256_setzero_ps(), _CMP_EQ_OQ);
  const __m256 inv = _mm256_div_ps(_mm256_set1_ps(1.0f), length);
  *x = _mm256_blendv_ps(_mm256_mul_ps(*x, inv), *x, keep);
  *y = _mm256_blendv_ps(_mm256_mul_ps(*y, inv), *y, keep);
  *z = _mm256_blendv_ps(_mm256_mul_ps(*z, inv), *z, keep);
}

// _MM_TRANSPOSE4_PS in each 128-bit half.
YULO_AVX2_INLINE void Transpose4x2(__m256* r0, __m256* r1, __m256* r2, __m256* r3) {
  const __m256 t0 = _mm256_unpacklo_ps(*r0, *r1);
  const __m256 t1 = _mm256_unpacklo_ps(*r2, *r3);
  const __m256 t2 = _mm256_unpackhi_ps(*r0, *r1);
  const __m256 t3 = _mm256_unpackhi_ps(*r2, *r3);
  *r0 = _mm256_shuffle_ps(t0, t1, 0x44);
  *r1 = _mm256_shuffle_ps(t0, t1, 0xEE);
  *r2 = _mm256_shuffle_ps(t2, t3, 0x44);
  *r3 = _mm256_shuffle_ps(t2, t3, 0xEE);
}

// Corner `corner` of triangles t and t + 4 at c, as GatherCorner loads it, in the two halves.
template <bool mayBeLast>
YULO_AVX2_INLINE __m256 LoadCornerPair(std::span<const Vector3> p, const int32_t* c, int corner,
                                       int t) {
  return _mm256_insertf128_ps(_mm256_castps128_ps256(LoadPosition<mayBeLast>(p, c[3 * t + corner])),
                              LoadPosition<mayBeLast>(p, c[3 * (t + 4) + corner]), 1);
}

// GatherCorner for the eight triangles at c: triangle l in lane l.
template <bool mayBeLast>
YULO_AVX2_INLINE void GatherCorner8(std::span<const Vector3> p, const int32_t* c, int corner,
                                    __m256* x, __m256* y, __m256* z) {
  __m256 a = LoadCornerPair<mayBeLast>(p, c, corner, 0);
  __m256 b = LoadCornerPair<mayBeLast>(p, c, corner, 1);
  __m256 d = LoadCornerPair<mayBeLast>(p, c, corner, 2);
  __m256 e = LoadCornerPair<mayBeLast>(p, c, corner, 3);
  Transpose4x2(&a, &b, &d, &e);
  *x = a;
  *y = b;
  *z = d;
}

// The face pass of RebuildNormals eight triangles at a time; returns how many it did.
YULO_AVX2 size_t FaceNormals8(std::span<const int32_t> corners, std::span<const Vector3> positions,
                              LastPositionUsers* usesLast, std::span<PaddedNormal> faceNormals) {
  const size_t triangles = corners.size() / 3;
  size_t t = 0;
  for (; t + 8 <= triangles; t += 8) {
    const int32_t* c = &corners[3 * t];
    __m256 x0, y0, z0, x1, y1, z1, x2, y2, z2;
    if (!usesLast->Among(t, 8)) {
      GatherCorner8<false>(positions, c, 0, &x0, &y0, &z0);
      GatherCorner8<false>(positions, c, 1, &x1, &y1, &z1);
      GatherCorner8<false>(positions, c, 2, &x2, &y2, &z2);
    } else {
      GatherCorner8<true>(positions, c, 0, &x0, &y0, &z0);
      GatherCorner8<true>(positions, c, 1, &x1, &y1, &z1);
      GatherCorner8<true>(positions, c, 2, &x2, &y2, &z2);
    }
    const __m256 ax = _mm256_sub_ps(x2, x0);
    const __m256 ay = _mm256_sub_ps(y2, y0);
    const __m256 az = _mm256_sub_ps(z2, z0);
    const __m256 bx = _mm256_sub_ps(x1, x0);
    const __m256 by = _mm256_sub_ps(y1, y0);
    const __m256 bz = _mm256_sub_ps(z1, z0);
    __m256 nx = _mm256_sub_ps(_mm256_mul_ps(ay, bz), _mm256_mul_ps(az, by));
    __m256 ny = _mm256_sub_ps(_mm256_mul_ps(az, bx), _mm256_mul_ps(ax, bz));
    __m256 nz = _mm256_sub_ps(_mm256_mul_ps(ax, by), _mm256_mul_ps(ay, bx));
    Normalize8(&nx, &ny, &nz);
    __m256 nw = _mm256_setzero_ps();
    Transpose4x2(&nx, &ny, &nz, &nw);  // triangles t .. t + 3 low, t + 4 .. t + 7 high
    const __m256 n[4] = {nx, ny, nz, nw};
    for (size_t l = 0; l < 4; ++l) {
      _mm_store_ps(&faceNormals[t + l].x, _mm256_castps256_ps128(n[l]));
      _mm_store_ps(&faceNormals[t + 4 + l].x, _mm256_extractf128_ps(n[l], 1));
    }
  }
  return t;
}

// Sixteen bytes at low and at high, in the low and the high half.
YULO_AVX2_INLINE __m256 LoadPair(const float* low, const float* high) {
  return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(low)), _mm_loadu_ps(high), 1);
}

// SkinGroup<K> for the first even number of its vertices, two at a time: vertex 2i in the
// low half of each register, 2i + 1 in the high one. Returns how many vertices it did.
template <int K>
YULO_AVX2 size_t SkinGroupPairs(std::span<const int32_t> vertices,
                                const WeightedInfluences::Influence* in,
                                std::span<const Matrix4> boneRotations,
                                std::span<const Vector3> bonePositions, std::span<Vector3> out) {
  const size_t pairs = vertices.size() / 2;
  for (size_t i = 0; i < pairs; ++i, in += K) {
    __m256 sum = _mm256_setzero_ps();
    for (int k = 0; k < K; ++k, ++in) {
      const WeightedInfluences::Influence& a = in[0];
      const WeightedInfluences::Influence& b = in[K];
      const Matrix4& ra = boneRotations[size_t(a.bone)];
      const Matrix4& rb = boneRotations[size_t(b.bone)];
      const __m256 p = LoadPair(&a.position.x, &b.position.x);  // x, y, z, weight
      const __m256 turned = _mm256_add_ps(
          _mm256_add_ps(_mm256_mul_ps(_mm256_shuffle_ps(p, p, 0x00), LoadPair(ra.m[0], rb.m[0])),
                        _mm256_mul_ps(_mm256_shuffle_ps(p, p, 0x55), LoadPair(ra.m[1], rb.m[1]))),
          _mm256_mul_ps(_mm256_shuffle_ps(p, p, 0xAA), LoadPair(ra.m[2], rb.m[2])));
      const __m256 t =
          _mm256_insertf128_ps(_mm256_castps128_ps256(LoadPadded(bonePositions, size_t(a.bone))),
                               LoadPadded(bonePositions, size_t(b.bone)), 1);
      sum = _mm256_add_ps(sum,
                          _mm256_mul_ps(_mm256_shuffle_ps(p, p, 0xFF), _mm256_add_ps(turned, t)));
    }
    Store3(&out[size_t(vertices[2 * i])], _mm256_castps256_ps128(sum));
    Store3(&out[size_t(vertices[2 * i + 1])], _mm256_extractf128_ps(sum, 1));
  }
  return 2 * pairs;
}

#endif  // YULO_EIGHT_LANES

}  // namespace

bool UseEightLanes(bool allowed) {
#if defined(YULO_EIGHT_LANES)
  eightLanes = allowed && __builtin_cpu_supports("avx2");
  return eightLanes;
#else
  (void)allowed;
  return false;
#endif
}

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
#if defined(YULO_EIGHT_LANES)
  if (eightLanes) {
    const size_t done = SkinGroupPairs<K>(vertices, in, boneRotations, bonePositions, out);
    vertices = vertices.subspan(done);
    in += done * K;
  }
#endif
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
  if (triangles != 0) {
    LastPositionUsers usesLast(byVertex, positions.size());
#if defined(YULO_EIGHT_LANES)
    if (eightLanes) t = FaceNormals8(corners, positions, &usesLast, faceNormals);
#endif
    for (; t + 4 <= triangles; t += 4) {
      const int32_t* c = &corners[3 * t];
      __m128 x0, y0, z0, x1, y1, z1, x2, y2, z2;
      if (!usesLast.Among(t, 4)) {
        GatherCorner<false>(positions, c, 0, &x0, &y0, &z0);
        GatherCorner<false>(positions, c, 1, &x1, &y1, &z1);
        GatherCorner<false>(positions, c, 2, &x2, &y2, &z2);
      } else {
        GatherCorner<true>(positions, c, 0, &x0, &y0, &z0);
        GatherCorner<true>(positions, c, 1, &x1, &y1, &z1);
        GatherCorner<true>(positions, c, 2, &x2, &y2, &z2);
      }
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
