// The scene's animated characters, built from code: the reindeer ("deer.chr", its skin,
// texture and gallop "deer.anm") and the driver ("yulo.chr", its skin and texture, the
// seated base clip "yulo.anm" and the wave "yulo_mah.anm").
//
// Both are authored in the sleigh's own space (z up, the sleigh's front towards -y), the
// space in which the scene places them: the driver at the origin, the reindeer at
// placements (0, 0), (18.4, 0), (18.4, -38) and (0, -38).
#pragma once

#include "assetgen/assetgen.h"
#include "assetgen/image.h"
#include "assetgen/rig.h"

namespace yulo::assetgen {

namespace creatures {

// The reindeer at placement (0, 0) stands centred here, facing -y, hooves on z = 0; the
// others follow from the scene's placements (the sleigh's traces expect them there).
constexpr float kReindeerX = -9.2f;
constexpr float kReindeerY = -45.5f;
// The driver sits on the sleigh's seat (top at z = 11, centred at y = 27) and holds the
// reins at about (+-2, 19, 16).
constexpr float kSeatY = 27.0f;
constexpr float kSeatTopZ = 11.0f;
constexpr float kFloorZ = 6.0f;

// Gallop: one stride.
constexpr int kGallopFrames = 20;
constexpr int kGallopFrameMs = 30;
// Driver: a breath with a slow sway, and the wave.
constexpr int kDriverBaseFrames = 48;
constexpr int kDriverBaseFrameMs = 75;
constexpr int kDriverWaveFrames = 60;
constexpr int kDriverWaveFrameMs = 50;

Skeleton BuildReindeerSkeleton();
SkinFileData BuildReindeerSkin(const Skeleton& skeleton);
Image BuildReindeerTexture();
ClipFileData BuildGallopClip(const Skeleton& skeleton);

Skeleton BuildDriverSkeleton();
SkinFileData BuildDriverSkin(const Skeleton& skeleton);
Image BuildDriverTexture();
ClipFileData BuildDriverBaseClip(const Skeleton& skeleton);
ClipFileData BuildDriverWaveClip(const Skeleton& skeleton);

}  // namespace creatures

// Writes deer.chr, deer.skn, deer.tga, deer.anm, yulo.chr, yulo.skn, yulo.tga, yulo.anm
// and yulo_mah.anm into Data/.
bool WriteCreatures(OutputFolder& out);

}  // namespace yulo::assetgen
