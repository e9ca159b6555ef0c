#include "models/libraries.h"

namespace yulo {

ModelsState models;

}  // namespace yulo
