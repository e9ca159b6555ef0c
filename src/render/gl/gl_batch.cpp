#include "render/gl/gl_batch.h"

#include <cstring>

namespace yulo {

uint64_t UserDrawBatch::BytesOf(PrimitiveType type, uint32_t primitiveCount, uint32_t stride) {
  // In 64 bits: a huge count must not wrap into a small one.
  const uint64_t n = primitiveCount;
  const uint64_t vertices = type == D3DPT_POINTLIST  ? n
                            : type == D3DPT_LINELIST ? n * 2
                                                     : n * 3;  // lists, and strips expanded
  return vertices * stride;
}

bool UserDrawBatch::Accepts(PrimitiveType type, uint32_t primitiveCount, uint32_t stride) const {
  const bool kind = type == D3DPT_TRIANGLELIST || type == D3DPT_POINTLIST ||
                    type == D3DPT_LINELIST || type == D3DPT_TRIANGLESTRIP;
  return kind && primitiveCount > 0 && stride > 0 &&
         BytesOf(type, primitiveCount, stride) <= bytes_.size();
}

bool UserDrawBatch::Joins(PrimitiveType type, uint32_t primitiveCount, uint32_t stride,
                          uint32_t fvf) const {
  if (Empty()) return true;
  return ListOf(type) == type_ && stride == stride_ && fvf == fvf_ &&
         used_ + BytesOf(type, primitiveCount, stride) <= bytes_.size();
}

void UserDrawBatch::Append(PrimitiveType type, uint32_t primitiveCount, const uint8_t* vertices,
                           uint32_t stride, uint32_t fvf) {
  type_ = ListOf(type);
  stride_ = stride;
  fvf_ = fvf;
  uint8_t* out = bytes_.data() + used_;
  if (type == D3DPT_TRIANGLESTRIP) {
    // Triangle i of a strip is (i, i+1, i+2), every other one wound the other way: as a
    // list (i, i+2, i+1), which keeps vertex i first for flat shading.
    for (uint32_t i = 0; i < primitiveCount; ++i) {
      const uint32_t b = (i & 1) ? i + 2 : i + 1;
      const uint32_t c = (i & 1) ? i + 1 : i + 2;
      for (uint32_t v : {i, b, c}) {
        std::memcpy(out, vertices + size_t(v) * stride, stride);
        out += stride;
      }
    }
    vertices_ += primitiveCount * 3;
  } else {
    const uint32_t count = VertexCountOf(type, primitiveCount);
    std::memcpy(out, vertices, size_t(count) * stride);
    out += size_t(count) * stride;
    vertices_ += count;
  }
  used_ = uint32_t(out - bytes_.data());
}

}  // namespace yulo
