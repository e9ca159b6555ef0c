// All math types and functions in one include.
#pragma once

#include "math/color.h"
#include "math/matrix.h"
#include "math/quaternion.h"
#include "math/random.h"
#include "math/scalar.h"
#include "math/vector.h"
