#include "models/mesh_vertex.h"

#include <cstring>

#include "math/scalar.h"
#include "render/device.h"

namespace yulo {

IndexBuffer* CreateFilledIndexBuffer(Device* device, const int32_t* indices, uint32_t count,
                                     int32_t vertexCount) {
  const bool wide = vertexCount > 65536;
  IndexBuffer* buffer =
      device->CreateIndexBuffer(count * (wide ? 4 : 2), D3DUSAGE_WRITEONLY,
                                wide ? D3DFMT_INDEX32 : D3DFMT_INDEX16, D3DPOOL_MANAGED);
  uint8_t* bytes = nullptr;
  if (buffer == nullptr || buffer->Lock(0, 0, &bytes, 0) != D3D_OK) return buffer;
  if (wide) {
    std::memcpy(bytes, indices, static_cast<size_t>(count) * 4);
  } else {
    for (uint32_t i = 0; i < count; ++i) {
      const uint16_t index = static_cast<uint16_t>(indices[i]);
      std::memcpy(bytes + 2 * static_cast<size_t>(i), &index, 2);
    }
  }
  buffer->Unlock();
  return buffer;
}

Quaternion QuaternionFromEuler(float ax, float ay, float az) {
  const float sx = Sin(ax * 0.5f);
  const float cx = Cos(ax * 0.5f);
  const float sy = Sin(ay * 0.5f);
  const float cy = Cos(ay * 0.5f);
  const float sz = Sin(az * 0.5f);
  const float cz = Cos(az * 0.5f);
  // qz * (qy * qx) expanded; qy * qx = (cy sx, cx sy, -sx sy, cx cy).
  return {sx * cy * cz - cx * sy * sz, cx * sy * cz + sx * cy * sz, cx * cy * sz - sx * sy * cz,
          cx * cy * cz + sx * sy * sz};
}

}  // namespace yulo
