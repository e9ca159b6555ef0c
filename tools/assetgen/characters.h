// The animated figures: the reindeer ("deer.chr", its skin, texture and the gallop
// "deer.anm") and the driver ("yulo.chr", its skin and texture, the base clip "yulo.anm"
// and the waving gesture "yulo_mah.anm").
#pragma once

#include "assetgen/assetgen.h"

namespace yulo::assetgen {

// Where the first reindeer stands in the sleigh's own space (the scene turns that space
// by 180 degrees): the scene draws the team at placements (0, 0), (18.4, 0), (18.4, -38)
// and (0, -38), which puts the four at x = +-9.2 and y = 45.5 and 83.5 in the world.
constexpr float kDeerX = -9.2f;
constexpr float kDeerY = -45.5f;

constexpr int kDeerFrameMs = 33;
constexpr int kDeerFrames = 18;  // one gallop stride, about 0.6 s
constexpr int kDriverFrameMs = 50;
constexpr int kDriverBaseFrames = 60;     // 3 s: a breath, a sway, three tugs at the reins
constexpr int kDriverGestureFrames = 60;  // 3 s: raise the arm, wave, lower it

bool WriteCharacters(OutputFolder& out);

}  // namespace yulo::assetgen
