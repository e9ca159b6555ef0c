#include "models/frame_matrices.h"

namespace yulo {

FrameMatrices frameMatrices;

}  // namespace yulo
