// Consecutive draws from user memory with equal states, gathered into one vertex list so
// that GL sees one draw where the engine made many (trees, sprites). CPU only.
#pragma once

#include <cstdint>
#include <vector>

#include "render/device.h"

namespace yulo {

class UserDrawBatch {
 public:
  // Holds up to capacityBytes of expanded vertices; allocated here, once.
  explicit UserDrawBatch(uint32_t capacityBytes) : bytes_(capacityBytes) {}

  // Whether a draw of this kind and size can be batched at all (lists, points and strips
  // that fit alone); the others are drawn as they come.
  bool Accepts(PrimitiveType type, uint32_t primitiveCount, uint32_t stride) const;
  // Whether the draw can join what is pending: same kind of list, vertex format and stride,
  // and room left. An empty batch takes any accepted draw.
  bool Joins(PrimitiveType type, uint32_t primitiveCount, uint32_t stride, uint32_t fvf) const;
  // Appends an accepted draw that joins. A strip becomes a list of its triangles, every
  // second one reordered so that it keeps its winding and its first (provoking) vertex.
  void Append(PrimitiveType type, uint32_t primitiveCount, const uint8_t* vertices, uint32_t stride,
              uint32_t fvf);

  bool Empty() const { return vertices_ == 0; }
  // The pending draw: a list of Vertices() vertices of Stride() bytes at Bytes().
  PrimitiveType Type() const { return type_; }
  uint32_t Vertices() const { return vertices_; }
  uint32_t Stride() const { return stride_; }
  uint32_t Fvf() const { return fvf_; }
  const uint8_t* Bytes() const { return bytes_.data(); }
  void Clear() {
    vertices_ = 0;
    used_ = 0;
  }

 private:
  static PrimitiveType ListOf(PrimitiveType type) {
    return type == D3DPT_TRIANGLESTRIP ? D3DPT_TRIANGLELIST : type;
  }
  static uint64_t BytesOf(PrimitiveType type, uint32_t primitiveCount, uint32_t stride);

  std::vector<uint8_t> bytes_;
  uint32_t used_ = 0;
  uint32_t vertices_ = 0;
  uint32_t stride_ = 0;
  uint32_t fvf_ = 0;
  PrimitiveType type_ = D3DPT_TRIANGLELIST;
};

}  // namespace yulo
