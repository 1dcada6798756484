#include "core/entry/saved_screen.h"

#include "core/core_state.h"
#include "graphics/draw_front.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_load.h"
#include "graphics/graph_table.h"
#include "graphics/graphics_start.h"
#include "graphics/screen_mode.h"

namespace quelt {

SavedScreenRecord SavedScreen{};

namespace {

constexpr int32_t BilinearFilter = 1;

int ShowSavedScreen() {
  if (IsGraphHandleValid(SavedScreen.graph) == 0) {
    SavedScreen.graph = CreateGraphFromRaster(&SavedScreen.image, nullptr, 0, 0, 0);
    if (SavedScreen.graph < 0) return -1;
  }
  const int32_t target = QueryDrawScreen();
  const int32_t filter = GetSampleFilterMode();
  const int32_t vsync = GetVSyncWait();
  SelectDrawScreen(DrawScreenBack);
  SetSampleFilterMode(BilinearFilter);
  SetVSyncWait(0);
  int32_t width = 0;
  int32_t height = 0;
  QueryScreenSizeOrDefault(&width, &height);
  // The screen's own picture is kept aside and drawn back once the saved one was shown.
  const int32_t copy = CreateBlankGraph(width, height);
  if (copy >= 0) GetDrawScreenGraph(0, 0, width, height, copy);
  int32_t saved_width = 0;
  int32_t saved_height = 0;
  QueryGraphDimensions(SavedScreen.graph, &saved_width, &saved_height);
  if (saved_width == width && saved_height == height)
    DrawGraphAtPoint(0, 0, SavedScreen.graph, 0);
  else
    DrawGraphInRect(0, 0, width, height, SavedScreen.graph, 0);
  CopySubBackBufferAndPresent();
  if (copy >= 0) {
    DrawGraphAtPoint(0, 0, copy, 0);
    ReleaseGraphHandle(copy);
  }
  SetVSyncWait(vsync);
  SetSampleFilterMode(filter);
  SelectDrawScreen(target);
  return 0;
}

}  // namespace

int RedrawFromSavedScreen(void*) {
  if (EndingState == 1) return 0;
  if (SavedScreen.exists == 0) return -1;
  // Drawing must not wait for the window it is repainting to come back.
  const int32_t run_while_inactive = RunWhileInactiveFlag;
  RunWhileInactiveFlag = 1;
  const int result = ShowSavedScreen();
  RunWhileInactiveFlag = run_while_inactive;
  return result;
}

void ReleaseSavedScreen() {
  if (SavedScreen.exists == 0) return;
  FreeRasterImage(&SavedScreen.image);
  if (IsGraphHandleValid(SavedScreen.graph) != 0) ReleaseGraphHandle(SavedScreen.graph);
  SavedScreen = SavedScreenRecord{};
}

}  // namespace quelt
