// The screen-mode fall-back chain with a stand-in for the graphics start.
#include <gtest/gtest.h>

#include "graphics/draw_settings.h"
#include "graphics/screen_mode.h"

namespace {

using namespace quelt;

// The display refuses 320 x 240; everything else starts.
int StartRefusing320() { return ScreenState.width == 320 ? -1 : 0; }

TEST(ScreenModeChain, EmulationLastsOnlyWhileThe320ModeRuns) {
  ScreenState = ScreenStateRecord{};
  SetEmulation320Flag(0);
  const ScreenModeValues start{640, 480, 32, 0};
  ASSERT_EQ(StartScreenModeChain({320, 240, 32, 0}, start, &StartRefusing320), 0);
  EXPECT_EQ(ScreenState.width, 640);
  EXPECT_EQ(GetEmulation320Flag(), 1);
  // A genuine 640 x 480 afterwards is presented at its own size.
  ASSERT_EQ(StartScreenModeChain({640, 480, 32, 0}, {640, 480, 32, 0}, &StartRefusing320), 0);
  EXPECT_EQ(GetEmulation320Flag(), 0);
  ScreenState = ScreenStateRecord{};
}

}  // namespace
