// Mask handles and the mask hooks on the software path, without a started engine: this
// program never turns masks on, so only the refusals and one masked draw are checked.
#include <gtest/gtest.h>

#include "core/core_state.h"
#include "core/engine_handle.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_load.h"
#include "graphics/graph_settings.h"
#include "graphics/graph_table.h"
#include "graphics/mask.h"
#include "graphics/screen_mode.h"
#include "softrender/memimg_draw.h"
#include "softrender/soft_draw_state.h"

namespace {

using namespace quelt;

uint32_t PixelAt(const MEMIMG& img, int32_t x, int32_t y) {
  return reinterpret_cast<const uint32_t*>(img.pixels + y * img.base->pitch)[x] & 0xFFFFFF;
}

TEST(Masks, RefusalsWithoutMaskScreen) {
  EXPECT_EQ(SetMaskDrawFlag(1), -1);
  EXPECT_EQ(DrawSettings.maskActive, 0);
  EXPECT_EQ(MaskPreDraw(0, 0, 10, 10), 0);
  EXPECT_EQ(MaskPostDraw(0, 0, 10, 10), 0);
  EXPECT_EQ(DeleteMask(MakeEngineHandle(3, 0, HandleKind::Mask)), -1);    // free slot
  EXPECT_EQ(DeleteMask(MakeEngineHandle(512, 0, HandleKind::Mask)), -1);  // past the table
  EXPECT_EQ(DeleteMask(MakeEngineHandle(3, 0, HandleKind::Graph)), -1);   // other kind
  EXPECT_EQ(DeleteAllMasks(), 0);
  EXPECT_EQ(CreateMaskScreen(0), 0);
  EXPECT_EQ(MaskState.map, nullptr);
}

TEST(Masks, MaskedSoftwareDrawKeepsTheProtectedPixels) {
  ScreenState.width = 64;
  ScreenState.height = 32;
  ScreenState.colourDepth = 32;
  SoftScreenColourDepth = 32;
  ScreenState.hardware = 0;
  MEMIMG screen{};
  ASSERT_EQ(CreateScreenMemImg(&screen, 64, 32, 1), 0);
  ClearMemImg(&screen, nullptr, 0x112233);
  MEMIMG* const previousTarget = DrawScreenMemImg;
  DrawScreenMemImg = &screen;
  ASSERT_EQ(CreateMaskScreen(1), 0);
  ASSERT_NE(MaskState.map, nullptr);
  EXPECT_EQ(MaskState.mapPitch, 64);
  // The left half of the map protects its pixels.
  for (int32_t y = 0; y < 32; ++y)
    for (int32_t x = 0; x < 32; ++x) MaskState.map[y * MaskState.mapPitch + x] = 1;
  SoftDraw = SoftDrawState{BlendCopy, 255, kBrightOff, {0, 0, 64, 32}};
  DrawSettings.ClipRect = {0, 0, 64, 32};
  DrawSettings.drawScreen = DrawScreenBack;
  ScreenMemImg = screen;  // the real target the hooks fall back to
  ASSERT_EQ(SetMaskDrawFlag(1), 0);
  EXPECT_EQ(GetMaskDrawFlag(), 1);
  EXPECT_EQ(DrawScreenMemImg, &MaskState.memImg);
  MaskPreDraw(10, 5, 50, 20);
  const IntRect fill{10, 5, 50, 20};
  MemImgFillRect(DrawScreenMemImg, &fill, 0xFF0000);
  MaskPostDraw(10, 5, 50, 20);
  EXPECT_EQ(PixelAt(screen, 40, 10), 0xFF0000u);  // open: the new drawing
  EXPECT_EQ(PixelAt(screen, 20, 10), 0x112233u);  // protected: unchanged
  EXPECT_EQ(PixelAt(screen, 55, 10), 0x112233u);  // outside the draw
  EXPECT_EQ(EndMasks(), 0);
  EXPECT_EQ(MaskState.map, nullptr);
  EXPECT_EQ(DrawSettings.maskActive, 0);
  ScreenMemImg = MEMIMG{};
  DrawScreenMemImg = previousTarget;
  ReleaseMemImg(&screen);
  ScreenState = ScreenStateRecord{};
}

TEST(Masks, DrawScreenWiderThanTheMaskMapIsMaskedOnlyInsideTheMap) {
  ScreenState = ScreenStateRecord{};
  ScreenState.width = 64;
  ScreenState.height = 32;
  ScreenState.colourDepth = 32;
  ScreenState.started = 1;
  SoftScreenColourDepth = 32;
  WindowActiveFlag = 1;
  ResetDrawSettings();
  ResetNewGraphSettings();
  const int32_t wide = CreateBlankGraph(100, 32);
  ASSERT_GE(wide, 0);
  MEMIMG* target = &GetGraphRecord(wide)->memImg;
  ClearMemImg(target, nullptr, 0x112233);
  ASSERT_EQ(CreateMaskScreen(1), 0);
  DrawSettings.drawScreen = wide;
  DrawSettings.ClipRect = {0, 0, 100, 32};
  SoftDraw = SoftDrawState{BlendCopy, 255, kBrightOff, {0, 0, 100, 32}};
  ASSERT_EQ(SetMaskDrawFlag(1), 0);
  // The last rows, past the 64-pixel map and mask image: nothing is read or written
  // outside either.
  MaskPreDraw(40, 24, 100, 32);
  const IntRect fill{40, 24, 100, 32};
  MemImgFillRect(DrawScreenMemImg, &fill, 0xFF0000);
  MaskPostDraw(40, 24, 100, 32);
  EXPECT_EQ(PixelAt(*target, 50, 28), 0xFF0000u);
  EXPECT_EQ(PixelAt(*target, 80, 28), 0x112233u);
  EXPECT_EQ(EndMasks(), 0);
  DeleteAllGraphs();
  ResetGraphTableCounts();
  DrawScreenMemImg = nullptr;
  ScreenState = ScreenStateRecord{};
}

}  // namespace
