// Graphics on Wine's Direct3D 9 device and on the software screen: start-up roads and
// their log lines, a cleared and presented frame read back, the format table, window and
// full-screen switching and screen-mode changes at the X server's own size.
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "core/core_state.h"
#include "core/entry/api_entry.h"
#include "core/entry/window_modes.h"
#include "core/log.h"
#include "graphics/d3d_values.h"
#include "graphics/device_state.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graphics_start.h"
#include "graphics/screen_mode.h"
#include "tests/graphics/engine_session.h"

namespace {

using namespace quelt;
using quelt_test::ErasePresentAndReadBack;
using quelt_test::ReadEngineLog;
using quelt_test::SessionOptions;
using quelt_test::StartEngineSession;
using quelt_test::StopEngineSession;

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// Every pixel of the frame is the colour.
::testing::AssertionResult FrameIs(const std::vector<uint32_t>& pixels, uint32_t colour) {
  if (pixels.empty()) return ::testing::AssertionFailure() << "no read-back";
  const auto wrong = std::find_if(pixels.begin(), pixels.end(), [&](uint32_t p) { return p != colour; });
  if (wrong == pixels.end()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "pixel " << (wrong - pixels.begin()) << " is " << std::hex << *wrong
                                       << ", expected " << colour;
}

TEST(GraphicsDevice, Direct3DRoadPresentsTheClearedFrame) {
  ASSERT_EQ(StartEngineSession({"quelt graphics d3d road"}), 0);
  EXPECT_EQ(ScreenState.hardware, 1);
  EXPECT_EQ(ScreenState.started, 1);
  EXPECT_EQ(ScreenState.colourDepth, 32);  // the desktop's depth in window mode
  EXPECT_EQ(QueryDrawScreen(), DrawScreenFront);
  EXPECT_EQ(SetHardwareDrawFlag(0), -1);
  EXPECT_EQ(GetHardwareDrawFlag(), 1);
  // The start-up clears blanked the chain (the target alone: there is no depth surface then).
  std::vector<uint32_t> start(600 * 600, 0xDEADBEEF);
  ASSERT_EQ(ReadBackDrawScreen(start.data(), 600, 600), 0);
  EXPECT_TRUE(FrameIs(start, 0));

  int32_t width = 0;
  int32_t height = 0;
  EXPECT_TRUE(FrameIs(ErasePresentAndReadBack(0x2050A0, &width, &height), 0x2050A0));
  EXPECT_EQ(width, 600);
  EXPECT_TRUE(FrameIs(ErasePresentAndReadBack(0xFF00FF, &width, &height), 0xFF00FF));
  EXPECT_EQ(GetPresentCounter(), 2u);

  // A filled rectangle through the batch lands on exactly its pixels.
  BackgroundColour = 0;
  EraseDrawScreen();
  SetDrawClipRect(0, 0, 600, 600);
  FillRectDirect3D(10, 10, 20, 20, MakeScreenColourCode(255, 255, 255));
  std::vector<uint32_t> pixels(600 * 600);
  ASSERT_EQ(ReadBackDrawScreen(pixels.data(), 600, 600), 0);
  EXPECT_EQ(pixels[10 * 600 + 10], 0xFFFFFFu);
  EXPECT_EQ(pixels[19 * 600 + 19], 0xFFFFFFu);
  EXPECT_EQ(pixels[20 * 600 + 20], 0u);
  EXPECT_EQ(pixels[9 * 600 + 10], 0u);

  // The format table as Wine's device reports it.
  EXPECT_EQ(GraphicsDevice.screenFormat, static_cast<uint32_t>(d3d::FmtX8R8G8B8));
  EXPECT_EQ(DeviceFormatTable[FormatDepth], static_cast<uint32_t>(d3d::FmtD16));
  EXPECT_EQ(DeviceFormatTable[FormatColour16], static_cast<uint32_t>(d3d::FmtR5G6B5));
  EXPECT_EQ(DeviceFormatTable[FormatColour32], static_cast<uint32_t>(d3d::FmtX8R8G8B8));
  EXPECT_EQ(DeviceFormatTable[FormatAlpha32], static_cast<uint32_t>(d3d::FmtA8R8G8B8));
  EXPECT_EQ(DeviceFormatTable[FormatDxt1], static_cast<uint32_t>(d3d::FmtDxt1));
  EXPECT_EQ(DeviceFormatTable[FormatDxt5], static_cast<uint32_t>(d3d::FmtDxt5));
  EXPECT_EQ(DeviceFormatTable[FormatTargetScreen], static_cast<uint32_t>(d3d::FmtX8R8G8B8));
  EXPECT_EQ(GraphicsDevice.facts.reverseSubtract, 1);
  EXPECT_GE(GraphicsDevice.facts.maxTextureSize, 8192);
  EXPECT_EQ(GraphicsDevice.zBufferWidth, 1024);
  StopEngineSession();

  const std::string log = ReadEngineLog();
  EXPECT_TRUE(Contains(log, "DirectDraw オブジェクトの取得を行います....  成功"));
  EXPECT_TRUE(Contains(log, "IDirect3D9 オブジェクトを取得します.... 成功"));
  EXPECT_TRUE(Contains(log, "IDirect3DDevice9 オブジェクトを取得します.... "));
  EXPECT_TRUE(Contains(log, "ハードウエア頂点演算を使用します"));
  EXPECT_TRUE(Contains(log, "画面のフォーマットは D3DFMT_X8R8G8B8 です"));
  EXPECT_TRUE(Contains(log, "Ｚバッファのフォーマットは D3DFMT_D16 です"));
  EXPECT_TRUE(Contains(log, "ＤＸＴ１テクスチャフォーマットは D_D3DFMT_DXT1 です"));
  EXPECT_TRUE(Contains(log, "Ｚバッファを作成します.... 成功"));
  // Wine's device offers shader model 2.0 with hardware vertex processing: the embedded
  // pack is used.
  EXPECT_TRUE(Contains(log, "プログラマブルシェーダーを使用します"));
  EXPECT_FALSE(Contains(log, "プログラマブルシェーダーを使用しません"));
}

// A windowed Direct3D present must not invalidate the window: every repaint presents once
// more, and a present that invalidated would double each frame and keep the pump busy.
// The DirectDraw object is still there for the vertical-blank questions.
TEST(GraphicsDevice, Direct3DPresentsLeaveTheWindowValid) {
  ASSERT_EQ(StartEngineSession({"quelt graphics present repaint"}), 0);
  ASSERT_EQ(ScreenState.hardware, 1);
  EXPECT_NE(GraphicsDevice.directDraw, nullptr);
  SelectDrawScreen(DrawScreenBack);
  for (int i = 0; i < 5; ++i) {
    EraseDrawScreen();
    PresentScreen();
    ApiPumpMessages();
  }
  constexpr int frames = 30;
  const uint64_t before = GetPresentCounter();
  for (int i = 0; i < frames; ++i) {
    BackgroundColour = static_cast<uint32_t>(i * 0x030507) & 0xFFFFFF;
    EraseDrawScreen();
    PresentScreen();
    Sleep(2);
    ApiPumpMessages();
  }
  EXPECT_LE(GetPresentCounter() - before, static_cast<uint64_t>(frames + 2));
  WaitVerticalBlank();
  StopEngineSession();
}

TEST(GraphicsDevice, SoftwareRoadWhenDirect3DIsRefused) {
  ASSERT_EQ(StartEngineSession({"quelt graphics soft road", 0}), 0);
  EXPECT_EQ(ScreenState.hardware, 0);
  EXPECT_EQ(GetHardwareDrawFlag(), 0);
  EXPECT_NE(GetDirectDrawObject(), nullptr);  // made on both back ends
  EXPECT_TRUE(IsValidMemImg(&ScreenMemImg));
  EXPECT_EQ(ScreenState.colourDepth, 32);
  int32_t width = 0;
  int32_t height = 0;
  EXPECT_TRUE(FrameIs(ErasePresentAndReadBack(0x2050A0, &width, &height), 0x2050A0));
  EXPECT_EQ(height, 600);
  StopEngineSession();
  const std::string log = ReadEngineLog();
  EXPECT_TRUE(Contains(log, "DirectDraw オブジェクトの取得を行います....  成功"));
  EXPECT_TRUE(Contains(log, "初期化に成功しました"));
  EXPECT_FALSE(Contains(log, "IDirect3D9 オブジェクトを取得します"));
  EXPECT_FALSE(IsValidMemImg(&ScreenMemImg));
}

TEST(GraphicsDevice, FailingDeviceCreationFallsBackToSoftware) {
  GraphicsTestSeams.failDeviceCreation = 1;
  ASSERT_EQ(StartEngineSession({"quelt graphics failing device"}), 0);
  GraphicsTestSeams.failDeviceCreation = 0;
  EXPECT_EQ(ScreenState.hardware, 0);
  EXPECT_EQ(GraphicsDevice.direct3D, nullptr);
  int32_t width = 0;
  int32_t height = 0;
  EXPECT_TRUE(FrameIs(ErasePresentAndReadBack(0x123456, &width, &height), 0x123456));
  StopEngineSession();
  const std::string log = ReadEngineLog();
  EXPECT_TRUE(Contains(log, "IDirect3D9 オブジェクトを取得します.... 成功"));
  EXPECT_TRUE(Contains(log, "Direct3DDevice9 の作成に失敗しました"));
}

TEST(GraphicsDevice, CapabilityOverridesReachTheDeviceFacts) {
  const DeviceCapsSubset small{0, 0, 0, d3d::PTextureCapsSquareOnly, 256, 0};
  GraphicsTestSeams.capsOverride = &small;
  ASSERT_EQ(StartEngineSession({"quelt graphics small caps"}), 0);
  GraphicsTestSeams.capsOverride = nullptr;
  EXPECT_EQ(ScreenState.hardware, 1);
  EXPECT_EQ(GraphicsDevice.facts.maxTextureSize, 256);
  EXPECT_EQ(GraphicsDevice.facts.squareTexturesOnly, 1);
  EXPECT_EQ(GraphicsDevice.facts.reverseSubtract, 0);
  StopEngineSession();
  const std::string log = ReadEngineLog();
  // Without shader model 2.0 only the fixed-function line is written.
  EXPECT_FALSE(Contains(log, "シェーダーコードを展開するメモリ領域の確保に失敗しました"));
  EXPECT_TRUE(Contains(log, "プログラマブルシェーダーを使用しません"));
}

TEST(GraphicsDevice, FailedStartGivesBackTheLibraryAndDirectDraw) {
  ASSERT_EQ(StartEngineSession({"quelt graphics failed start", 0}), 0);
  ShutdownGraphics();
  // Full screen on the software road at a depth it cannot run: the start fails after
  // d3d9.dll and DirectDraw were taken.
  SetWindowModeFlag(0);
  ScreenState.colourDepth = 8;
  EXPECT_EQ(StartGraphics(), -1);
  EXPECT_EQ(GraphicsDevice.d3d9Module, nullptr);
  EXPECT_EQ(GraphicsDevice.directDraw, nullptr);
  EXPECT_EQ(ScreenState.started, 0);
  SetWindowModeFlag(1);
  ScreenState.colourDepth = 32;
  EXPECT_EQ(StartGraphics(), 0);
  StopEngineSession();
}

TEST(GraphicsDevice, GraphicsEndedMidFrameRefuseDrawingSafely) {
  for (int32_t hardware : {1, 0}) {
    SCOPED_TRACE(hardware);
    ASSERT_EQ(StartEngineSession({"quelt graphics ended mid frame", hardware}), 0);
    EraseDrawScreen();
    ShutdownGraphics();  // what the window's destruction does
    EXPECT_EQ(EraseDrawScreen(), -1);
    EXPECT_EQ(PresentScreen(), -1);
    EXPECT_EQ(SelectDrawScreen(DrawScreenBack), -1);
    EXPECT_EQ(FillRectDirect3D(0, 0, 10, 10, 0), -1);
    uint32_t pixel = 0;
    EXPECT_EQ(ReadBackDrawScreen(&pixel, 1, 1), -1);
    EXPECT_EQ(ShutdownGraphics(), 0);
    StopEngineSession();
  }
}

TEST(GraphicsModes, ChangeScreenModeBeforeStartUpStoresTheMode) {
  ScreenState = ScreenStateRecord{};
  EXPECT_EQ(ChangeScreenMode(800, 600, 32, 0, 0), 0);
  EXPECT_EQ(ScreenState.width, 800);
  EXPECT_EQ(ScreenState.height, 600);
  EXPECT_EQ(ScreenState.colourDepth, 32);
  EXPECT_EQ(ScreenState.started, 0);
  EXPECT_EQ(EngineLog.indentLevel, 0);
  EXPECT_EQ(ChangeScreenMode(-1, 480, -1, 0, -1), 0);
  EXPECT_EQ(ScreenState.width, 800);
  EXPECT_EQ(ScreenState.height, 480);
  ScreenState = ScreenStateRecord{};
}

// The X server's own size: full screen and back keep the back end.
TEST(GraphicsModes, WindowModeToFullScreenAndBack) {
  for (int32_t hardware : {1, 0}) {
    SCOPED_TRACE(hardware);
    ASSERT_EQ(StartEngineSession({"quelt graphics window mode", hardware, 1024, 768, 32}), 0);
    ASSERT_EQ(ScreenState.hardware, hardware);
    EXPECT_EQ(ChangeWindowMode(0), 0);
    EXPECT_EQ(WindowModeFlag, 0);
    EXPECT_EQ(ScreenState.started, 1);
    EXPECT_EQ(ScreenState.hardware, hardware);
    int32_t width = 0;
    int32_t height = 0;
    EXPECT_TRUE(FrameIs(ErasePresentAndReadBack(0x406080, &width, &height), 0x406080));
    EXPECT_EQ(width, 1024);
    EXPECT_EQ(ChangeWindowMode(1), 0);
    EXPECT_EQ(WindowModeFlag, 1);
    EXPECT_EQ(ScreenState.hardware, hardware);
    EXPECT_TRUE(FrameIs(ErasePresentAndReadBack(0x806040, &width, &height), 0x806040));
    StopEngineSession();
    EXPECT_TRUE(Contains(ReadEngineLog(), "画面モード変更処理は正常に終了しました"));
  }
}

TEST(GraphicsModes, SameSizeAt16And32BitsInFullScreen) {
  for (int32_t hardware : {1, 0}) {
    SCOPED_TRACE(hardware);
    SessionOptions options{"quelt graphics depth change", hardware, 1024, 768, 32, 0};
    ASSERT_EQ(StartEngineSession(options), 0);
    EXPECT_EQ(RequestScreenMode(1024, 768, 24, 0), -1);
    // A depth no back end runs in full screen: refused, the mode before comes back and the
    // log indent is where it was.
    const int32_t indent = EngineLog.indentLevel;
    EXPECT_EQ(RequestScreenMode(1024, 768, 8, 0), -1);
    EXPECT_EQ(EngineLog.indentLevel, indent);
    EXPECT_EQ(GetScreenColourDepth(), 32);
    EXPECT_EQ(ScreenState.hardware, hardware);
    EXPECT_EQ(RequestScreenMode(1024, 768, 16, 0), 0);
    EXPECT_EQ(GetScreenColourDepth(), 16);
    EXPECT_EQ(ScreenState.hardware, hardware);
    if (hardware) {
      EXPECT_EQ(GraphicsDevice.screenFormat, static_cast<uint32_t>(d3d::FmtR5G6B5));
    }
    EXPECT_EQ(MakeScreenColourCode(255, 255, 255), 0xFFFFu);
    int32_t width = 0;
    int32_t height = 0;
    EXPECT_TRUE(FrameIs(ErasePresentAndReadBack(0xFF00FF, &width, &height), 0xFF00FF));
    EXPECT_EQ(RequestScreenMode(1024, 768, 32, 0), 0);
    EXPECT_EQ(GetScreenColourDepth(), 32);
    EXPECT_TRUE(FrameIs(ErasePresentAndReadBack(0x102030, &width, &height), 0x102030));
    EXPECT_EQ(RequestScreenMode(1024, 768, 32, 0), 0);  // unchanged: nothing rebuilt
    StopEngineSession();
    SetWindowModeFlag(1);
  }
}

}  // namespace
