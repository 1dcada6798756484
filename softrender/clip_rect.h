#pragma once
// The one rule by which every rectangle of the engine is cut to bounds, so that both
// renderers agree on which pixels a rectangle covers.
#include <cstdint>

namespace quelt {

// x2 and y2 are exclusive.
struct IntRect {
  int32_t x1;
  int32_t y1;
  int32_t x2;
  int32_t y2;
};
static_assert(sizeof(IntRect) == 16);

// Raises x2 to x1 and y2 to y1 when they lie below (corners are never swapped), then
// clamps y2, y1, x2, x1 in that order into the bounds. The result may be empty
// (x1 == x2 or y1 == y2); callers test for that. Returns 0.
int32_t ClipRectangle(IntRect& rect, const IntRect& bounds);

}  // namespace quelt
