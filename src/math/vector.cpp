#include "math/vector.h"

#include "math/matrix.h"
#include "math/scalar.h"

namespace yulo {

Vector3 Vector3::Transform(const Matrix4& m) const {
  return {x * m.m[0][0] + y * m.m[1][0] + z * m.m[2][0] + m.m[3][0],
          x * m.m[0][1] + y * m.m[1][1] + z * m.m[2][1] + m.m[3][1],
          x * m.m[0][2] + y * m.m[1][2] + z * m.m[2][2] + m.m[3][2]};
}

}  // namespace yulo
