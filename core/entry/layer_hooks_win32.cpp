#include "core/entry/layer_hooks.h"

#include <cstdint>

#include "core/entry/main_window.h"
#include "core/entry/screen_console.h"
#include "core/entry/window_modes.h"
#include "core/window_hooks.h"
#include "font/font_table.h"
#include "graphics/draw_front.h"
#include "graphics/graphics_hooks.h"
#include "input/input_devices.h"
#include "movie/movie_graph.h"
#include "movie/movie_open.h"
#include "movie/movie_table.h"

namespace quelt {

namespace {

void ReadDefaultFontMetrics(char* face, int32_t* size, int32_t* thickness) {
  if (IsLiveFontHandle(QueryDefaultFont())) QueryFontHandleInfo(face, size, thickness, QueryDefaultFont());
}

}  // namespace

void ConnectLayerHooks() {
  MainWindowHooks = {
      .pumpFrameMessages = &PumpMainWindowFrame,
      .waitWhileInactive = &WaitWhileMainWindowInactive,
      .applyWindowStyle = &ApplyMainWindowStyle,
      .recomputeWindowGeometry = &RecomputeMainWindowGeometry,
  };
  GraphicsLayerHooks = {
      .startFontSystem = &StartFontSystem,
      .endFontSystem = &EndFontSystem,
      .recreateAllFonts = &RecreateAllFonts,
      .readDefaultFontMetrics = &ReadDefaultFontMetrics,
      .chooseDefaultFontMetrics = &ChooseDefaultFontMetrics,
      .endInputSystem = &EndInputSystem,
      .openMovieGraph = &OpenMovieGraph,
      .closeMovie = &CloseMovie,
      .restoreMovieDeviceObjects = &RestoreMovieDeviceObjects,
      .drawScreenConsole = &DrawScreenConsole,
  };
  DrawFrontSeams.updateMovieFrame = &UpdateMovieFrame;
}

}  // namespace quelt
