#include "base/shell_state.h"

namespace yulo {

RunMode runMode = RunMode::Configure;
Settings settings = {kDefaultMusicVolume, {}};
uint32_t elapsedMs = 0;
float elapsedTime = 0.0f;
float speedFactor = 1.0f;
char installDir[kPathCapacity] = {};
char dataDir[kPathCapacity] = {};

}  // namespace yulo
