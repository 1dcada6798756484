#include "graphics/draw_screen.h"

#include "core/core_state.h"
#include "core/log.h"
#include "graphics/device_state.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_table.h"
#include "graphics/mask.h"
#include "graphics/graphics_platform.h"
#include "graphics/screen_mode.h"
#include "image/color_format.h"
#include "softrender/memimg_draw.h"

namespace quelt {

MEMIMG ScreenMemImg{};
MEMIMG FontWorkMemImg{};
MEMIMG FontWorkAlphaMemImg{};
MEMIMG* DrawScreenMemImg = nullptr;
GraphicsPlatformHooks GraphicsPlatform{};

namespace {

bool IsScreenValue(int32_t screen) { return screen == DrawScreenBack || screen == DrawScreenFront; }

uint32_t PackBackground(const ColorFormat* format) {
  const uint32_t c = BackgroundColour;
  return PackColorToPixel(format, static_cast<int>((c >> 16) & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                          static_cast<int>(c & 0xFF), 255);
}

void* ScreenTargetSurface() {
  return GraphicsDevice.subBackBuffer != nullptr ? GraphicsDevice.subBackBuffer : GraphicsDevice.backBuffer;
}

}  // namespace

int SelectDrawScreen(int32_t screen) {
  if (ScreenState.started == 0) return -1;
  if (WindowActiveFlag == 0 && GraphicsPlatform.waitWhileInactive != nullptr)
    GraphicsPlatform.waitWhileInactive();
  // -3 and -5 stand for the back screen; keeping them would break the size and clip logic.
  if (screen == -3 || screen == -5) screen = DrawScreenBack;
  GraphRecord* graph = nullptr;
  if (!IsScreenValue(screen)) {
    graph = GetGraphRecord(screen);
    if (graph == nullptr || graph->image == nullptr || graph->image->drawable == 0) return -1;
  }
  // Mask drawing is suspended around the switch and then routed to the mask screen again:
  // drawing straight onto the new target would be overwritten by the post-draw's copy.
  const int32_t maskActive = DrawSettings.maskActive;
  DrawSettings.maskActive = 0;

  if (ScreenState.hardware) {
    if (HasDevice()) {
      FlushVertexBatch();
      EndSceneIfOpen();
      SetDrawTexture(nullptr);
      SetRenderTargetSurface(graph != nullptr ? graph->image->targetSurface : ScreenTargetSurface());
    }
    // A sub graph shares its parent's surface: drawing goes to its place there.
    DeviceStateCache.targetOriginX = graph != nullptr ? graph->x : 0;
    DeviceStateCache.targetOriginY = graph != nullptr ? graph->y : 0;
  } else {
    DrawScreenMemImg = graph != nullptr ? &graph->memImg : &ScreenMemImg;
  }

  DrawSettings.drawScreen = screen;
  if (maskActive) {
    SetMaskDrawFlag(DrawSettings.maskDrawSetting);
    DrawSettings.maskActive = 0;
  }
  if (screen == DrawScreenFront && GraphicsPlatform.armFrontScreenTimer != nullptr)
    GraphicsPlatform.armFrontScreenTimer();

  const int32_t oldWidth = DrawSettings.drawScreenWidth;
  const int32_t oldHeight = DrawSettings.drawScreenHeight;
  int32_t width = 0;
  int32_t height = 0;
  QueryGraphDimensions(screen, &width, &height);
  DrawSettings.drawScreenWidth = width;
  DrawSettings.drawScreenHeight = height;
  if (oldWidth != width || oldHeight != height) {
    SetDrawClipRect(0, 0, width, height);
  } else {
    const IntRect clip = DrawSettings.ClipRect;
    SetDrawClipRect(clip.x1, clip.y1, clip.x2, clip.y2);
  }
  ResetCameraForScreen(width, height);
  DrawSettings.maskActive = maskActive;
  return 0;
}

int QueryDrawScreen() { return DrawSettings.drawScreen; }

int EraseDrawScreen() {
  if (ScreenState.started == 0) return -1;
  GraphRecord* graph = IsScreenValue(DrawSettings.drawScreen) ? nullptr : GetGraphRecord(DrawSettings.drawScreen);
  if (!ScreenState.hardware) {
    MEMIMG* target = graph != nullptr ? &graph->memImg : &ScreenMemImg;
    if (!IsValidMemImg(target)) return -1;
    ClearMemImg(target, nullptr, PackBackground(target->base->format));
    return 0;
  }
  if (!HasDevice()) return -1;
  FlushVertexBatch();
  EndSceneIfOpen();
  void* surface = graph != nullptr && graph->image != nullptr ? graph->image->targetSurface : ScreenTargetSurface();
  // A sub graph is erased at its place in the surface it shares with its parent.
  const IntRect area = graph != nullptr ? IntRect{graph->x, graph->y, graph->x + graph->width, graph->y + graph->height}
                                        : IntRect{0, 0, 0, 0};
  // ColorFill takes an ARGB colour whatever the surface format is.
  ActiveDeviceSink->colourFill(GraphicsDevice.device, surface, graph != nullptr ? &area : nullptr,
                               0xFF000000u | (BackgroundColour & 0xFFFFFF));
  if (GraphicsDevice.zBuffer != nullptr) ActiveDeviceSink->clearDepth(GraphicsDevice.device);
  return 0;
}

int StartSoftwareScreen() {
  const int32_t width = ScreenState.width;
  const int32_t height = ScreenState.height;
  const uint32_t colourType = ScreenState.colourDepth != 16 ? MemImgXrgb32 : MemImgRgb565;
  SoftScreenColourDepth = ScreenState.colourDepth == 16 ? 16 : 32;
  // A screen too large for memory fails the start like a device that cannot start, so that
  // a mode change falls back to the mode before.
  if (CreateScreenMemImg(&ScreenMemImg, width, height, static_cast<int32_t>(colourType)) < 0)
    return WriteLog("プライマリサーフェス用の MEMIMG の作成に失敗しました\n");
  FontWorkMemImg = MEMIMG{};
  FontWorkAlphaMemImg = MEMIMG{};
  CreateMemImg(&FontWorkMemImg, width, height, -1, 0, colourType, 0, 0, 0, nullptr);
  CreateMemImg(&FontWorkAlphaMemImg, width, height, -1, 0, colourType, 0, 1, 0, nullptr);
  ClearMemImg(&ScreenMemImg, nullptr, PackBackground(ScreenMemImg.base->format));
  DrawScreenMemImg = &ScreenMemImg;
  return 0;
}

void ReleaseSoftwareScreen() {
  ReleaseMemImg(&ScreenMemImg);
  ReleaseMemImg(&FontWorkMemImg);
  ReleaseMemImg(&FontWorkAlphaMemImg);
  DrawScreenMemImg = nullptr;
}

int SetVSyncWait(int32_t on) {
  DrawSettings.vsyncOff = on != 0 ? 0 : 1;
  return 0;
}

int GetVSyncWait() { return DrawSettings.vsyncOff == 0 ? 1 : 0; }

uint64_t GetPresentCounter() { return DrawSettings.presentCounter; }

}  // namespace quelt
