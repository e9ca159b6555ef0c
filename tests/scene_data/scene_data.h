// A tiny but complete data folder for the winter scene, written with the format writers:
// empty rigid models, small characters and four-frame clips, 2x2 TGA textures. Shared by
// the scene tests and the frame benchmark.
#pragma once

#include <string>

namespace yulo::test {

// Frames and frame duration of every clip written (duration 4 x 100 = 400 ms).
inline constexpr int kClipFrames = 4;
inline constexpr int kClipFrameMs = 100;

// Writes every file the scene loads into dir (which must exist). The character skins are
// grids of gridSize x gridSize vertices on two bones (gridSize >= 2). Returns the name of
// the first file that could not be written, or an empty string.
std::string WriteSceneData(const std::string& dir, int gridSize = 2);

// A 2x2 uncompressed 32-bit TGA.
std::string TinyTga();

}  // namespace yulo::test
