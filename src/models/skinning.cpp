#include "models/skinning.h"

#include <bit>
#include <cstring>
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

#if !defined(__SSE2__)
// One influence's contribution, as the plain loop computes it: an unused influence (weight
// 0) reads bone 0 at the origin with no offset and adds 0 * (that) = 0, which leaves the
// sum as it was (the sum starts at +0 and so never is -0). Its bone index is never used,
// as it may be anything.
inline void AddInfluence(const SkinInfluence& in, std::span<const Matrix4> boneRotations,
                         std::span<const Vector3> bonePositions, float* sx, float* sy, float* sz) {
  const bool used = in.weight != 0.0f;
  const size_t b = used ? size_t(in.bone) : 0;
  const float px = used ? in.position.x : 0.0f;
  const float py = used ? in.position.y : 0.0f;
  const float pz = used ? in.position.z : 0.0f;
  const Matrix4& r = boneRotations[b];
  const Vector3& t = bonePositions[b];
  const float tx = used ? t.x : 0.0f;
  const float ty = used ? t.y : 0.0f;
  const float tz = used ? t.z : 0.0f;
  *sx += in.weight * (px * r.m[0][0] + py * r.m[1][0] + pz * r.m[2][0] + tx);
  *sy += in.weight * (px * r.m[0][1] + py * r.m[1][1] + pz * r.m[2][1] + ty);
  *sz += in.weight * (px * r.m[0][2] + py * r.m[1][2] + pz * r.m[2][2] + tz);
}
#endif

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

inline __m128 Gather(std::span<const Vector3> p, const int32_t* c, int corner, int axis) {
  const auto at = [&](int t) { return p[size_t(c[3 * t + corner])].Data()[axis]; };
  return _mm_setr_ps(at(0), at(1), at(2), at(3));
}

#endif  // __SSE2__

}  // namespace

void SkinVertices(std::span<const SkinVertex> vertices, std::span<const Matrix4> boneRotations,
                  std::span<const Vector3> bonePositions, std::span<Vector3> out) {
  const size_t count = vertices.size();
#if defined(__SSE2__)
  // The three lanes x, y, z of AddInfluence at once; the fourth lane is ignored.
  const __m128 zero = _mm_setzero_ps();
  for (size_t v = 0; v < count; ++v) {
    __m128 sum = zero;
    for (const SkinInfluence& in : vertices[v].influences) {
      const __m128 weight = _mm_set1_ps(in.weight);
      const __m128 used = _mm_cmpneq_ps(weight, zero);
      // Bone 0 for an unused influence, chosen without a branch: about a third of the
      // influences are unused, in no order a branch predictor could follow.
      const uint32_t weightBits = std::bit_cast<uint32_t>(in.weight);
      const uint32_t usedBits = 0u - uint32_t((weightBits & 0x7FFFFFFFu) != 0);
      const size_t b = size_t(uint32_t(in.bone) & usedBits);
      const Matrix4& r = boneRotations[b];
      const __m128 px = _mm_and_ps(used, _mm_set1_ps(in.position.x));
      const __m128 py = _mm_and_ps(used, _mm_set1_ps(in.position.y));
      const __m128 pz = _mm_and_ps(used, _mm_set1_ps(in.position.z));
      const __m128 t = _mm_and_ps(used, Load3(bonePositions[b]));
      const __m128 turned = _mm_add_ps(
          _mm_add_ps(_mm_mul_ps(px, _mm_loadu_ps(r.m[0])), _mm_mul_ps(py, _mm_loadu_ps(r.m[1]))),
          _mm_mul_ps(pz, _mm_loadu_ps(r.m[2])));
      sum = _mm_add_ps(sum, _mm_mul_ps(weight, _mm_add_ps(turned, t)));
    }
    Store3(&out[v], sum);
  }
#else
  for (size_t v = 0; v < count; ++v) {
    float sx = 0.0f, sy = 0.0f, sz = 0.0f;
    for (const SkinInfluence& in : vertices[v].influences) {
      AddInfluence(in, boneRotations, bonePositions, &sx, &sy, &sz);
    }
    out[v].Set(sx, sy, sz);
  }
#endif
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
    const __m128 x0 = Gather(positions, c, 0, 0);
    const __m128 y0 = Gather(positions, c, 0, 1);
    const __m128 z0 = Gather(positions, c, 0, 2);
    // a = p2 - p0, b = p1 - p0, n = a x b
    const __m128 ax = _mm_sub_ps(Gather(positions, c, 2, 0), x0);
    const __m128 ay = _mm_sub_ps(Gather(positions, c, 2, 1), y0);
    const __m128 az = _mm_sub_ps(Gather(positions, c, 2, 2), z0);
    const __m128 bx = _mm_sub_ps(Gather(positions, c, 1, 0), x0);
    const __m128 by = _mm_sub_ps(Gather(positions, c, 1, 1), y0);
    const __m128 bz = _mm_sub_ps(Gather(positions, c, 1, 2), z0);
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
  size_t v = 0;
#if defined(__SSE2__)
  const auto sum = [&](size_t vertex) {
    __m128 s = _mm_setzero_ps();
    for (int32_t i = first[vertex]; i < first[vertex + 1]; ++i) {
      s = _mm_add_ps(s, _mm_load_ps(&faceNormals[size_t(listed[i])].x));
    }
    return s;
  };
  for (; v + 4 <= normals.size(); v += 4) {
    __m128 x = sum(v), y = sum(v + 1), z = sum(v + 2), w = sum(v + 3);
    _MM_TRANSPOSE4_PS(x, y, z, w);  // now x, y, z of four vertices
    Normalize4(&x, &y, &z);
    _MM_TRANSPOSE4_PS(x, y, z, w);  // back to one vertex per register
    Store3(&normals[v], x);
    Store3(&normals[v + 1], y);
    Store3(&normals[v + 2], z);
    Store3(&normals[v + 3], w);
  }
#endif
  for (; v < normals.size(); ++v) {
    Vector3 n;
    for (int32_t i = first[v]; i < first[v + 1]; ++i) {
      const PaddedNormal& f = faceNormals[size_t(listed[i])];
      n.x += f.x;
      n.y += f.y;
      n.z += f.z;
    }
    normals[v] = n.Normalize();
  }
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
