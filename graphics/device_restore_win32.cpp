#include "graphics/device_restore.h"

#include "core/core_state.h"
#include "core/log.h"
#include "graphics/device_state.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_load.h"
#include "graphics/graphics_hooks.h"
#include "graphics/graphics_start.h"
#include "graphics/mask.h"
#include "graphics/model_table.h"
#include "graphics/original_image.h"
#include "graphics/screen_mode.h"

namespace quelt {

namespace {

int32_t RestorePending = 0;

// A new device on the back end the program started with. The software back end does not
// try Direct3D again: its graphs live in memory images, not in textures.
void StartDeviceOnSameBackEnd() {
  const int32_t hardware = ScreenState.hardware;
  const int32_t refused = ScreenState.direct3DRefused;
  if (hardware == 0) ScreenState.direct3DRefused = 1;
  StartGraphicsDevice();
  ScreenState.direct3DRefused = refused;
  if (hardware == 0) return;
  RestorePending = HasDevice() ? 0 : 1;
  // Without a device the Direct3D back end draws nothing; there is no software screen to
  // fall back on.
  ScreenState.hardware = 1;
  if (RestorePending != 0) WriteLog("Direct3D デバイスを再作成できませんでした、次のアクティブ化で再試行します\n");
}

void RebuildDeviceObjects() {
  RecreateAllGraphTextures();
  RestoreMaskScreen();
  const TransformBlock kept = DrawSettings.transforms;
  SelectDrawScreen(DrawSettings.drawScreen);
  ReapplyRenderStates();
  // Both buffers of the chain start with the background colour.
  EraseDrawScreen();
  PresentScreen();
  EraseDrawScreen();
  PresentScreen();
  if (DrawSettings.GraphRestoreHook != nullptr) {
    DrawSettings.GraphRestoreHook();
  } else {
    ReloadGraphsFromFiles();
  }
  RestoreModelTextures();
  if (GraphicsLayerHooks.recreateAllFonts != nullptr) GraphicsLayerHooks.recreateAllFonts();
  RestoreAllDeviceStates();
  RebuildAllModelMeshBuffers();
  DrawSettings.lightForceResend = 1;
  const Matrix4 world = DrawSettings.transforms.world;
  SetWorldMatrix(&world);
  SetViewMatrix(&kept.view);
  SetCameraProjectionMatrix(&kept.projection);
  SetViewportMatrix(&kept.viewport);
}

}  // namespace

int32_t IsGraphicsRestorePending() { return RestorePending != 0 && ScreenState.started != 0 && !HasDevice() ? 1 : 0; }

int RestoreGraphicsAfterLoss() {
  // Graphics already ended (a window destroyed): a device made now would outlive them.
  const bool nothingToRestore = NoGraphicsSwitch != 0 || ScreenState.started == 0;
  if (!nothingToRestore) {
    if (ScreenState.hardware) {
      ReleaseMaskDeviceSurfaces();
      ReleaseAllGraphTextures();
    }
    EndGraphicsDevice();
  }
  if (GraphicsLayerHooks.endInputSystem != nullptr) GraphicsLayerHooks.endInputSystem();
  if (nothingToRestore) return 0;
  StartDeviceOnSameBackEnd();
  if (ScreenState.hardware && HasDevice()) RebuildDeviceObjects();
  if (GraphicsLayerHooks.restoreMovieDeviceObjects != nullptr) GraphicsLayerHooks.restoreMovieDeviceObjects();
  return 0;
}

}  // namespace quelt
