#include "models/mesh_vertex.h"

#include "math/scalar.h"

namespace yulo {

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
