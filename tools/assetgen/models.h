// The rigid models of the scene: the sleigh ("sani.cgo"), the sky dome ("sky.cgo") and
// the globe ("earth.cgo"), each with its meshes and textures.
#pragma once

#include "assetgen/assetgen.h"

namespace yulo::assetgen {

// Globe: the ground sphere the trees stand on (radius 2600 world units, top at z = -40)
// seen through the globe's world matrix (scale 9, then down 93).
constexpr float kGlobeScale = 9.0f;
constexpr float kGlobeRadius = 2600.0f / kGlobeScale;  // about 288.9 mesh units
constexpr float kGlobeTop = 53.0f / 9.0f;              // (-40 + 93) / 9 above the origin
// The globe's texture slides by -0.37 in v per second while the trees slide by 80 units
// per second: one repeat of the ground picture spans 80 / 0.37 world units.
constexpr float kGroundRepeatWorld = 80.0f / 0.37f;
constexpr float kGroundRepeatMesh = kGroundRepeatWorld / kGlobeScale;

// Sky dome: a sphere scaled (40, 40, 20) and moved down 300 by the scene; this radius
// keeps its farthest point inside the far plane (2500) from every camera position.
constexpr float kSkyRadius = 54.0f;

bool WriteModels(OutputFolder& out);

}  // namespace yulo::assetgen
