// Restoration after a lost device, in a window on both back ends: handles, file graphs,
// render targets, fonts, the device states sent to the new device, the mask map, the back
// end kept, and a Direct3D device that cannot be made again.
#include <windows.h>
#include <d3d9.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/core_state.h"
#include "font/font_table.h"
#include "graphics/d3d_values.h"
#include "graphics/device_restore.h"
#include "graphics/device_state.h"
#include "graphics/draw_front.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_load.h"
#include "graphics/graph_settings.h"
#include "graphics/graph_table.h"
#include "graphics/graphics_start.h"
#include "graphics/mask.h"
#include "graphics/screen_mode.h"
#include "support/bmp_file.h"
#include "tests/graphics/engine_session.h"

namespace {

using namespace quelt;

constexpr int32_t kScreen = 600;

void WriteBmp(const char* path, int width, int height) {
  ASSERT_TRUE(quelt::testing::WriteBmp(path, quelt::testing::NoisePixels(width, height, 12345u), width, height));
}

std::vector<uint32_t> ReadScreen() {
  FlushVertexBatch();
  std::vector<uint32_t> pixels(static_cast<size_t>(kScreen) * kScreen, 0);
  if (ReadBackDrawScreen(pixels.data(), kScreen, kScreen) < 0) pixels.clear();
  return pixels;
}

// The pixels of a rectangle of a screen read back.
std::vector<uint32_t> Area(const std::vector<uint32_t>& screen, int x, int y, int w, int h) {
  std::vector<uint32_t> out;
  if (screen.empty()) return out;
  for (int row = y; row < y + h; ++row)
    for (int col = x; col < x + w; ++col) out.push_back(screen[static_cast<size_t>(row * kScreen + col)] & 0xFFFFFF);
  return out;
}

bool AllBlack(const std::vector<uint32_t>& pixels) {
  for (uint32_t p : pixels)
    if (p != 0) return false;
  return !pixels.empty();
}

int HookRuns = 0;
void CountingHook() { ++HookRuns; }

int DisplayChanges = 0;
void CountDisplayChanges(void*, uint32_t message, uintptr_t, intptr_t) {
  if (message == WM_DISPLAYCHANGE) ++DisplayChanges;
}

class Restore : public ::testing::TestWithParam<int32_t> {
 protected:
  void SetUp() override {
    WriteBmp("restore.bmp", 64, 48);
    const std::string caption = std::string("quelt restore ") + (GetParam() ? "d3d" : "soft");
    ASSERT_EQ(quelt_test::StartEngineSession({caption.c_str(), GetParam()}), 0);
    ASSERT_EQ(ScreenState.hardware, GetParam());
    file = OpenGraphFile("restore.bmp", 1, 0, 0);
    SetNewGraphDrawableFlag(1);
    target = CreateBlankGraph(32, 32);
    SetNewGraphDrawableFlag(0);
    font = CreateFontToHandle(nullptr, 20, -1, -1, -1, -1, 0, -1, -1);
    ASSERT_GE(file, 0);
    ASSERT_GE(target, 0);
    ASSERT_GE(font, 0);
    // Something drawn into the render target.
    SelectDrawScreen(target);
    DrawGraphAtPoint(0, 0, file, 0);
    SelectDrawScreen(DrawScreenBack);
  }
  void TearDown() override {
    GraphicsTestSeams = GraphicsTestSeamsRecord{};
    SetGraphRestoreHook(nullptr);
    WindowSettings.userMessageHook = nullptr;
    DeleteAllGraphs();
    quelt_test::StopEngineSession();
  }

  std::vector<uint32_t> DrawScene() {
    BackgroundColour = 0;
    SelectDrawScreen(DrawScreenBack);
    EraseDrawScreen();
    DrawGraphAtPoint(0, 0, file, 0);
    DrawGraphAtPoint(100, 0, target, 0);
    DrawTextWithFont(0, 100, "Lap 2/5 周回", 0xFFFFFF, font, 0, 0);
    return ReadScreen();
  }

  int32_t file = -1, target = -1, font = -1;
};

TEST_P(Restore, KeepsHandlesAndRefillsFileGraphsAndFonts) {
  const std::vector<uint32_t> before = DrawScene();
  ASSERT_FALSE(before.empty());
  ASSERT_FALSE(AllBlack(Area(before, 100, 0, 32, 32)));
  const int32_t graphs = GraphTable.count;
  WindowSettings.userMessageHook = CountDisplayChanges;
  DisplayChanges = 0;

  EXPECT_EQ(RestoreGraphicsAfterLoss(), 0);

  // A window never changed the display mode, so nothing gives one back.
  EXPECT_EQ(DisplayChanges, 0);
  EXPECT_EQ(ScreenState.hardware, GetParam());
  EXPECT_EQ(IsGraphicsRestorePending(), 0);
  EXPECT_EQ(IsGraphHandleValid(file), 1);
  EXPECT_EQ(IsGraphHandleValid(target), 1);
  EXPECT_EQ(IsLiveFontHandle(font), 1);
  EXPECT_EQ(GraphTable.count, graphs);
  const std::vector<uint32_t> after = DrawScene();
  ASSERT_FALSE(after.empty());
  EXPECT_EQ(Area(after, 0, 0, 64, 48), Area(before, 0, 0, 64, 48));
  EXPECT_EQ(Area(after, 0, 100, 300, 30), Area(before, 0, 100, 300, 30));
  if (GetParam()) {
    // What was drawn into a render target lived only in video memory.
    EXPECT_TRUE(AllBlack(Area(after, 100, 0, 32, 32)));
  } else {
    EXPECT_EQ(Area(after, 100, 0, 32, 32), Area(before, 100, 0, 32, 32));
  }
  // The software back end's graphs live in memory: nothing to refill.
  EXPECT_EQ(quelt_test::ReadEngineLog().find("グラフィックを復帰します") != std::string::npos, GetParam() == 1);

  // A hook of the program's own runs once in place of the reload.
  SetGraphRestoreHook(CountingHook);
  HookRuns = 0;
  EXPECT_EQ(RestoreGraphicsAfterLoss(), 0);
  EXPECT_EQ(HookRuns, GetParam());
  if (GetParam()) {
    EXPECT_TRUE(AllBlack(Area(DrawScene(), 0, 0, 64, 48)));
  }
}

TEST_P(Restore, TheNewDeviceGetsTheCachedStatesAndMasksKeepTheirMap) {
  DrawScene();  // leaves blend factors in the cache
  ASSERT_EQ(CreateMaskScreen(1), 0);
  ASSERT_NE(MaskState.map, nullptr);
  MaskState.map[5] = 0x7F;
  if (GetParam()) {
    SetZFunc(d3d::CmpGreaterEqual);
    SetFogColour(0x00123456);
    SetZWriteEnable(1);
  }
  EXPECT_EQ(RestoreGraphicsAfterLoss(), 0);
  ASSERT_NE(MaskState.map, nullptr);
  EXPECT_EQ(MaskState.map[5], 0x7F);
  if (!GetParam()) return;
  EXPECT_NE(MaskState.screenTexture, nullptr);
  auto* device = static_cast<IDirect3DDevice9*>(GraphicsDevice.device);
  ASSERT_NE(device, nullptr);
  DWORD value = 0;
  device->GetRenderState(D3DRS_ZFUNC, &value);
  EXPECT_EQ(value, static_cast<DWORD>(D3DCMP_GREATEREQUAL));
  device->GetRenderState(D3DRS_FOGCOLOR, &value);
  EXPECT_EQ(value, 0x00123456u);
  device->GetRenderState(D3DRS_ZWRITEENABLE, &value);
  EXPECT_EQ(value, 1u);
  // The blend factors of the last blended draw, which the copy mode current at the
  // restoration does not send itself.
  device->GetRenderState(D3DRS_SRCBLEND, &value);
  EXPECT_EQ(value, DeviceStateCache.applied.states[DmSrcBlend]);
  device->GetRenderState(D3DRS_DESTBLEND, &value);
  EXPECT_EQ(value, DeviceStateCache.applied.states[DmDestBlend]);
  EXPECT_EQ(DeviceStateCache.zFunc, static_cast<int32_t>(d3d::CmpGreaterEqual));
}

INSTANTIATE_TEST_SUITE_P(BothBackEnds, Restore, ::testing::Values(1, 0),
                         [](const ::testing::TestParamInfo<int32_t>& i) { return i.param ? "Direct3D" : "Software"; });

TEST(RestoreWithoutDirect3D, NoDeviceUntilTheNextActivationMakesOne) {
  WriteBmp("restore.bmp", 64, 48);
  ASSERT_EQ(quelt_test::StartEngineSession({"quelt restore retry"}), 0);
  ASSERT_EQ(ScreenState.hardware, 1);
  const int32_t file = OpenGraphFile("restore.bmp", 1, 0, 0);
  const int32_t font = CreateFontToHandle(nullptr, 20, -1, -1, -1, -1, 0, -1, -1);
  ASSERT_GE(file, 0);
  BackgroundColour = 0;
  EraseDrawScreen();
  DrawGraphAtPoint(0, 0, file, 0);
  const std::vector<uint32_t> before = Area(ReadScreen(), 0, 0, 64, 48);

  GraphicsTestSeams.failDeviceCreation = 1;
  EXPECT_EQ(RestoreGraphicsAfterLoss(), 0);
  // Still the Direct3D back end, without a device: nothing draws and nothing breaks.
  EXPECT_EQ(ScreenState.hardware, 1);
  EXPECT_FALSE(HasDevice());
  EXPECT_EQ(IsGraphicsRestorePending(), 1);
  EXPECT_NE(quelt_test::ReadEngineLog().find("Direct3D デバイスを再作成できませんでした"), std::string::npos);
  EraseDrawScreen();
  DrawGraphAtPoint(0, 0, file, 0);
  DrawTextWithFont(0, 100, "Lap", 0xFFFFFF, font, 0, 0);
  FillGraphColour(file, 1, 2, 3, 255);
  EXPECT_EQ(PresentScreen(), -1);
  std::vector<uint32_t> none(16, 0);
  EXPECT_EQ(ReadBackDrawScreen(none.data(), 4, 4), -1);

  // The next activation tries again, in a window too.
  GraphicsTestSeams.failDeviceCreation = 0;
  SendMessageA(static_cast<HWND>(MainWindowHandle), WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_TRUE(HasDevice());
  EXPECT_EQ(IsGraphicsRestorePending(), 0);
  EraseDrawScreen();
  DrawGraphAtPoint(0, 0, file, 0);
  EXPECT_EQ(Area(ReadScreen(), 0, 0, 64, 48), before);
  EXPECT_EQ(IsLiveFontHandle(font), 1);

  // With the graphics switch off a restoration only ends input: the device stays.
  void* device = GraphicsDevice.device;
  NoGraphicsSwitch = 1;
  EXPECT_EQ(RestoreGraphicsAfterLoss(), 0);
  NoGraphicsSwitch = 0;
  EXPECT_EQ(GraphicsDevice.device, device);

  // Once graphics have ended (the window's destruction ends them) nothing is made again.
  ShutdownGraphics();
  EXPECT_EQ(RestoreGraphicsAfterLoss(), 0);
  EXPECT_EQ(GraphicsDevice.device, nullptr);
  EXPECT_EQ(GraphicsDevice.directDraw, nullptr);
  EXPECT_EQ(GraphicsDevice.d3d9Module, nullptr);
  quelt_test::StopEngineSession();
}

}  // namespace
