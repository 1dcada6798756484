#include <gtest/gtest.h>

#include "softrender/clip_rect.h"

namespace {

using quelt::IntRect;

IntRect Clip(IntRect r, IntRect bounds) {
  EXPECT_EQ(quelt::ClipRectangle(r, bounds), 0);
  return r;
}

void ExpectRect(const IntRect& r, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  EXPECT_EQ(r.x1, x1);
  EXPECT_EQ(r.y1, y1);
  EXPECT_EQ(r.x2, x2);
  EXPECT_EQ(r.y2, y2);
}

TEST(ClipRectangle, ReversedCornersBecomeEmptyNotSwapped) {
  ExpectRect(Clip({50, 50, 10, 10}, {0, 0, 640, 480}), 50, 50, 50, 50);
}

TEST(ClipRectangle, ClampsIntoTheBounds) {
  ExpectRect(Clip({-20, 470, 30, 500}, {0, 0, 640, 480}), 0, 470, 30, 480);
  ExpectRect(Clip({700, 10, 800, 20}, {0, 0, 640, 480}), 640, 10, 640, 20);
  ExpectRect(Clip({-100, -100, -50, -60}, {10, 20, 30, 40}), 10, 20, 10, 20);
  ExpectRect(Clip({15, 25, 25, 35}, {10, 20, 30, 40}), 15, 25, 25, 35);
}

TEST(ClipRectangle, ExtremeCoordinatesStayInside) {
  const IntRect r = Clip({INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, {3, 4, 5, 6});
  ExpectRect(r, 3, 4, 5, 6);
}

}  // namespace
