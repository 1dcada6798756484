#include "softrender/pixel_stage_images.h"
#include "softrender/rotate_blit.h"
#include "softrender/soft_draw_state.h"

namespace quelt {

int MemImgQuad(MEMIMG* dest, const MEMIMG* src, const int32_t corners[8], int32_t transFlag,
               const MEMIMG* blendImage) {
  if (corners == nullptr || !HasPixels(src) || !HasPixels(dest)) return 0;
  MarkMemImgChanged(dest);
  // A cheap test whether the quad can touch the draw area at all.
  int minX = 0, maxX = 0, minY = 0, maxY = 0;
  for (int i = 1; i < 4; ++i) {
    if (corners[2 * i] < corners[2 * minX]) minX = i;
    if (corners[2 * i] > corners[2 * maxX]) maxX = i;
    if (corners[2 * i + 1] < corners[2 * minY + 1]) minY = i;
    if (corners[2 * i + 1] > corners[2 * maxY + 1]) maxY = i;
  }
  // 64-bit margins: a corner near the int32 limits must not wrap the box inside out.
  auto clamp = [](int64_t value) {
    return static_cast<int32_t>(value < INT32_MIN ? INT32_MIN : value > INT32_MAX ? INT32_MAX : value);
  };
  IntRect box = {clamp(int64_t{corners[2 * minX]} - 2), clamp(int64_t{corners[2 * minY + 1]} - 2),
                 clamp(int64_t{corners[2 * maxX]} + 4), clamp(int64_t{corners[2 * maxY + 1]} + 4)};
  ClipRectangle(box, DestinationClip(*dest, SoftDraw.ClipRect));
  if (box.x1 == box.x2 || box.y1 == box.y2) return 0;

  const int32_t w = src->width, h = src->height;
  const TriVertex vertices[4] = {{corners[0], corners[1], 0, 0},
                                 {corners[2], corners[3], w, 0},
                                 {corners[4], corners[5], 0, h},
                                 {corners[6], corners[7], w, h}};
  MemImgTriangle(dest, src, &vertices[0], transFlag, blendImage, 0);
  MemImgTriangle(dest, src, &vertices[1], transFlag, blendImage, 0);
  return 0;
}

}  // namespace quelt
