#pragma once
// Where a rotated draw at a whole-pixel position (x, y) puts the picture: one rule for the
// software renderer and Direct3D, so that both sample the same texels. In coordinates whose
// whole numbers are pixel centres, the picture's centre lands on (x - shiftX2 / 2,
// y - shiftY2 / 2). Scaled, the centre lies on the top-left corner of pixel (x, y); unscaled,
// per axis, on that corner for an even size and on the pixel's centre for an odd one, so
// that texel (width >> 1, height >> 1) covers pixel (x, y) exactly, on texel centres.
#include <cstdint>

namespace quelt {

struct RotatedPlacement {
  int32_t shiftX2, shiftY2;  // half pixels the centre lies up and left of (x, y): 0 or 1
};

constexpr RotatedPlacement PlaceRotated(int32_t width, int32_t height, bool unitScale) {
  return {!unitScale || (width & 1) == 0 ? 1 : 0, !unitScale || (height & 1) == 0 ? 1 : 0};
}

}  // namespace quelt
