// Frame comparison: how far two renderings of the same frame are apart, with the
// differences that only a one-pixel shift of an edge explains told apart from the rest.
#pragma once

#include <cstdint>
#include <vector>

namespace yulo {

// An RGBA8 picture, row 0 at the top; alpha is ignored (frames are opaque).
struct ImageView {
  const uint8_t* rgba;
  uint32_t width;
  uint32_t height;
};

struct FrameDifference {
  double rmsePercent;      // root mean square over the R, G, B values, in % of 255
  int maxDifference;       // largest channel difference of any pixel, 0..255
  uint64_t overTolerance;  // pixels with a channel difference above the tolerance
  uint64_t outliers;       // of those, the ones no one-pixel shift explains
  int maxOutsideEdges;     // largest channel difference among the outliers (0: none)
  int offsetX, offsetY;    // the shift of b (within 2 pixels) that brings it closest to a
};

// A pixel over the tolerance is explained by an edge when its colour in a is matched
// within the tolerance by b at the pixel or one of its eight neighbours, and its colour in
// b likewise by a: what a polygon edge, a point or a texel boundary rasterised one pixel
// over looks like. With a background colour (RGB), a pixel within one pixel of that
// colour in both pictures lies on a silhouette and is explained too, whatever texture
// runs along the edge. Anything else is an outlier. False when the sizes differ.
bool CompareFrames(const ImageView& a, const ImageView& b, int tolerance, FrameDifference* out,
                   const uint8_t* background = nullptr);

// A picture of the differences: black where equal, grey rising with the difference
// (times 4) where within the tolerance or explained by an edge, red for outliers.
void DifferencePicture(const ImageView& a, const ImageView& b, int tolerance,
                       std::vector<uint8_t>* rgba, const uint8_t* background = nullptr);

// a, b and their difference picture side by side with 8-pixel dark gaps.
void SideBySide(const ImageView& a, const ImageView& b, const ImageView& difference,
                std::vector<uint8_t>* rgba, uint32_t* width, uint32_t* height);

}  // namespace yulo
