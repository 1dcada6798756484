#include "core/core_state.h"
#include "core/engine_state.h"
#include "core/fatal_exit.h"
#include "core/log.h"
#include "core/window_hooks.h"
#include "graphics/graphics_hooks.h"
#include "graphics/graphics_start.h"
#include "graphics/screen_mode.h"

namespace quelt {

namespace {
ScreenModeValues CurrentMode() {
  return {ScreenState.width, ScreenState.height, ScreenState.colourDepth, ScreenState.refreshRate};
}
}  // namespace

int RequestScreenMode(int32_t width, int32_t height, int32_t bits, int32_t refresh) {
  if (!IsPossibleScreenSize(width, height)) return -1;
  if (bits != 8 && bits != 16 && bits != 32) return -1;
  if (EngineInitialised == 0) {
    ScreenState.width = width;
    ScreenState.height = height;
    ScreenState.colourDepth = bits;
    ScreenState.refreshRate = refresh;
    return 0;
  }
  const ScreenModeValues before = CurrentMode();
  ChangeScreenMode(width, height, bits, 0, refresh);
  return ClassifyScreenModeResult({width, height, bits, refresh}, before, CurrentMode());
}

int ChangeScreenMode(int32_t width, int32_t height, int32_t bits, int32_t force, int32_t refresh) {
  if (width == -1) width = ScreenState.width;
  if (height == -1) height = ScreenState.height;
  if (bits == -1) bits = ScreenState.colourDepth;
  if (refresh == -1) refresh = ScreenState.refreshRate;
  // A size below zero or beyond any display no back end can run; 0 is "not set" before
  // start-up.
  if (width < 0 || height < 0 || width > MaxScreenSide || height > MaxScreenSide) return -1;
  const ScreenModeValues wanted{width, height, bits, refresh};
  const ScreenModeValues before = CurrentMode();
  if (force == 0 && wanted == before) return 0;
  WriteLog("画面モード変更処理を開始します\n");
  IncreaseLogIndent();
  char fontFace[256] = "";
  int32_t fontSize = -1, fontThickness = -1;
  if (GraphicsLayerHooks.readDefaultFontMetrics != nullptr)
    GraphicsLayerHooks.readDefaultFontMetrics(fontFace, &fontSize, &fontThickness);
  if (EngineInitialised == 0 && EngineStartingUp == 0) {
    // Before start-up the mode is only remembered for the start.
    ScreenState.width = width;
    ScreenState.height = height;
    ScreenState.colourDepth = bits;
    ScreenState.refreshRate = refresh;
    DecreaseLogIndent();
    return 0;
  }
  if (ScreenState.started) ShutdownGraphics();
  if (StartScreenModeChain(wanted, before, StartGraphics) < 0)
    FatalExit("予期せぬ画面モード変更不能現象が起きました2\n");
  if (WindowModeFlag == 1 || ScreenState.hardware == 0) ApplyWindowStyle();
  if (GraphicsLayerHooks.chooseDefaultFontMetrics != nullptr)
    GraphicsLayerHooks.chooseDefaultFontMetrics(fontFace, fontSize, fontThickness);
  DecreaseLogIndent();
  WriteLog("画面モード変更処理は正常に終了しました\n");
  PumpFrameMessages();
  return 0;
}

}  // namespace quelt
