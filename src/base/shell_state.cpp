#include "base/shell_state.h"

namespace yulo {

RunMode runMode = RunMode::Configure;
Settings settings = {kDefaultMusicVolume, {}};
FrameTiming frameTiming;
char installDir[kPathCapacity] = {};
char dataDir[kPathCapacity] = {};

}  // namespace yulo
