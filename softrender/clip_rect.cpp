#include "softrender/clip_rect.h"

namespace quelt {

namespace {
void ClampInto(int32_t& value, int32_t low, int32_t high) {
  if (value > high) {
    value = high;
  } else if (value < low) {
    value = low;
  }
}
}  // namespace

int32_t ClipRectangle(IntRect& rect, const IntRect& bounds) {
  if (rect.x2 < rect.x1) rect.x2 = rect.x1;
  if (rect.y2 < rect.y1) rect.y2 = rect.y1;
  ClampInto(rect.y2, bounds.y1, bounds.y2);
  ClampInto(rect.y1, bounds.y1, bounds.y2);
  ClampInto(rect.x2, bounds.x1, bounds.x2);
  ClampInto(rect.x1, bounds.x1, bounds.x2);
  return 0;
}

}  // namespace quelt
