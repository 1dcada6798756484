#include "graphics/draw_settings.h"

#include <cstddef>
#include <cstring>

#include "core/core_state.h"
#include "core/engine_handle.h"
#include "core/fatal_exit.h"
#include "core/numbers.h"
#include "core/tracked_alloc.h"
#include "graphics/device_state.h"
#include "graphics/draw_screen.h"
#include "graphics/graph_load.h"
#include "graphics/graph_settings.h"
#include "graphics/graph_table.h"
#include "graphics/graphics_platform.h"
#include "graphics/screen_mode.h"
#include "softrender/memimg.h"
#include "softrender/soft_draw_state.h"

namespace quelt {

DrawSettingsRecord DrawSettings{};
IntRect RequestedDrawArea{};
MEMIMG* BlendImage = nullptr;

namespace {


bool OnDirect3D() { return ScreenState.hardware != 0; }

// The software blitters read their copy of the draw state.
void SyncSoftDraw() {
  SoftDraw.BlendMode = DrawSettings.BlendMode;
  SoftDraw.BlendParam = DrawSettings.BlendParam;
  SoftDraw.BrightColour = DrawSettings.BrightColour;
  SoftDraw.ClipRect = DrawSettings.ClipRect;
}

// Queued vertices carry their own colour, so a new colour needs no flush: text drawn glyph
// by glyph in an edge colour and a text colour stays in one batch.
void RefreshVertexDiffuse() {
  if (!OnDirect3D()) return;
  VertexBatch.diffuse = BuildDrawDiffuse();
}

constexpr DeviceMaterial DefaultMaterial{{0.8f, 0.8f, 0.8f, 1.0f},
                                         {0.0f, 0.0f, 0.0f, 0.0f},
                                         {0.8f, 0.8f, 0.8f, 0.0f},
                                         {0.0f, 0.0f, 0.0f, 0.0f},
                                         20.0f};

void WaitForWindow() {
  if (WindowActiveFlag == 0 && GraphicsPlatform.waitWhileInactive != nullptr)
    GraphicsPlatform.waitWhileInactive();
}

}  // namespace

GraphRestoreHookFn DefaultGraphRestoreHook = ReloadGraphsFromFiles;

// --- Reset ---------------------------------------------------------------------------------------

int ResetDrawSettings() {
  constexpr size_t tailStart = offsetof(DrawSettingsRecord, lightingOff);
  constexpr size_t tailSize = sizeof(DrawSettingsRecord) - tailStart;
  const GraphRestoreHookFn hook = DrawSettings.GraphRestoreHook;
  const int32_t emulation = DrawSettings.emulation320;
  const int32_t lock = DrawSettings.DrawSettingsLock;
  static unsigned char tail[tailSize];
  std::memcpy(tail, reinterpret_cast<unsigned char*>(&DrawSettings) + tailStart, tailSize);
  std::memset(static_cast<void*>(&DrawSettings), 0, sizeof DrawSettings);
  DrawSettings.GraphRestoreHook = hook;
  DrawSettings.emulation320 = emulation;
  DrawSettings.DrawSettingsLock = lock;
  std::memcpy(reinterpret_cast<unsigned char*>(&DrawSettings) + tailStart, tail, tailSize);
  DrawSettings.blendGraph = -1;
  BlendImage = nullptr;

  for (int32_t s = 0; s < 8; ++s) {
    if (DrawSettings.addressU[s] == 0) DrawSettings.addressU[s] = 3;
    if (DrawSettings.addressV[s] == 0) DrawSettings.addressV[s] = 3;
  }
  DrawSettings.depth2D = {0, 0, 4, 0};
  DrawSettings.depth3D = {0, 0, 4, 0};
  DrawSettings.lightsChanged = 1;
  DrawSettings.z2D = 0.2f;
  DrawSettings.newGraphAlphaTest = 1;
  DrawSettings.filterMode = 0;
  DrawSettings.maxAnisotropy = 1;
  DrawSettings.BlendMode = BlendCopy;
  SyncSoftDraw();

  SetDrawBright(255, 255, 255);
  SetDrawFogMode(3);
  SetDrawFogColour(255, 255, 255);
  SetDrawFogRange(0.0f, 1500.0f);

  DrawSettings.newGraphDepth = 0;
  DrawSettings.maskDrawSetting = 1;
  DrawSettings.maskActive = 0;

  DrawSettings.drawScreen = DrawScreenBack;
  SelectDrawScreen(DrawScreenFront);
  int32_t width = 0;
  int32_t height = 0;
  QueryGraphDimensions(DrawSettings.drawScreen, &width, &height);
  SetDrawClipRect(0, 0, width, height);

  DrawSettings.DrawSettingsLock = 0;
  const Vector3 direction{1.0f, -1.0f, 1.0f};
  DrawSettings.defaultLight = MakeDirectionalLight(&direction);

  DrawSettings.ProjectionKind = 0;
  DrawSettings.cameraNear = 10.0f;
  DrawSettings.cameraFar = 10000.0f;
  DrawSettings.aspectScale = 1.0f;
  DrawSettings.fieldOfView = 1.0471976f;
  DrawSettings.orthoSize = 1.0f;
  SetIdentityMatrix(&DrawSettings.cameraProjection);

  DrawSettings.materialChanged = 1;
  DrawSettings.material = DefaultMaterial;
  ResetNewGraphSettings();
  return 0;
}

// --- Blend mode, bright colour, filter -----------------------------------------------------------

int SelectBlendMode(int32_t mode, int32_t param) {
  if (DrawSettings.DrawSettingsLock) return 0;
  param = ClampToByte(param);
  if (DrawSettings.BlendMode == mode && DrawSettings.BlendParam == param) return 0;
  WaitForWindow();
  if (OnDirect3D()) FlushVertexBatch();
  DrawSettings.BlendMode = mode;
  DrawSettings.BlendParam = param;
  SyncSoftDraw();
  RefreshVertexDiffuse();
  return 0;
}

int SetDrawBright(int32_t red, int32_t green, int32_t blue) {
  const uint32_t colour = static_cast<uint32_t>(ClampToByte(red) << 16 | ClampToByte(green) << 8 | ClampToByte(blue));
  if (DrawSettings.BrightColour == colour) return 0;
  DrawSettings.BrightColour = colour;
  SyncSoftDraw();
  RefreshVertexDiffuse();
  return 0;
}

int SetBrightColour(int32_t rgb) {
  const uint32_t colour = static_cast<uint32_t>(rgb) & 0xFFFFFF;
  if (DrawSettings.BrightColour == colour) return 0;
  DrawSettings.BrightColour = colour;
  SyncSoftDraw();
  RefreshVertexDiffuse();
  return 0;
}

uint32_t BuildDrawDiffuse() {
  const uint32_t alpha = DrawSettings.BlendMode != BlendCopy ? static_cast<uint32_t>(DrawSettings.BlendParam) : 255u;
  return alpha << 24 | (DrawSettings.BrightColour & 0xFFFFFF);
}

int SetSampleFilterMode(int32_t mode) {
  if (DrawSettings.DrawSettingsLock || DrawSettings.filterMode == mode) return 0;
  DrawSettings.filterMode = mode;
  if (OnDirect3D()) SetTextureFilter(mode);
  return 0;
}

int GetSampleFilterMode() { return DrawSettings.filterMode; }

// --- Blend image --------------------------------------------------------------------------------

int SetBlendImageGraph(int32_t graph, int32_t borderParam, int32_t borderRange) {
  if (DrawSettings.DrawSettingsLock) return 0;
  if (graph == DrawSettings.blendGraph && borderParam == DrawSettings.blendBorderParam &&
      borderRange == DrawSettings.blendBorderRange)
    return 0;
  const GraphRecord* record = nullptr;
  if (graph != -1) {
    record = GetGraphRecord(graph);
    if (record == nullptr) return -1;
  }
  if (OnDirect3D() && !HasDevice()) return -1;
  if (OnDirect3D() && record != nullptr &&
      (record->image == nullptr || record->image->softwareImage))
    return -1;
  WaitForWindow();
  DrawSettings.blendGraph = graph;
  DrawSettings.blendBorderRange = ClampToByte(borderRange);
  DrawSettings.blendBorderParam = ClampToByte(borderParam);
  if (!OnDirect3D()) {
    BlendImage = record != nullptr && record->image != nullptr ? &record->image->memImg : nullptr;
    BuildBorderTable(DrawSettings.blendBorderParam, DrawSettings.blendBorderRange);
    return 0;
  }
  if (record == nullptr) {
    SetBlendTexture(DrawSettings.blendBorderRange, nullptr, DrawSettings.blendBorderParam);
    return 0;
  }
  const OriginalImage& image = *record->image;
  SetBlendTexture(DrawSettings.blendBorderRange, image.firstTexture, DrawSettings.blendBorderParam);
  VertexBatch.blendWidth = static_cast<float>(image.firstTextureWidth);
  VertexBatch.blendHeight = static_cast<float>(image.firstTextureHeight);
  VertexBatch.blendInvWidth = 1.0f / VertexBatch.blendWidth;
  VertexBatch.blendInvHeight = 1.0f / VertexBatch.blendHeight;
  return 0;
}

int CheckBlendGraphCovers(const GraphRecord* record) {
  const GraphRecord* blend = GetGraphRecord(DrawSettings.blendGraph);
  if (blend == nullptr || record == nullptr) return -1;
  return blend->width >= record->width && blend->height >= record->height ? 0 : -1;
}

// --- Draw area -----------------------------------------------------------------------------------

int SetDrawClipRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (DrawSettings.DrawSettingsLock) return 0;
  // The target is validated before anything is stored: a refused call changes nothing.
  int32_t width = 0;
  int32_t height = 0;
  if (QueryGraphDimensions(DrawSettings.drawScreen, &width, &height) < 0) return -1;
  RequestedDrawArea = {x1, y1, x2, y2};
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  auto clamp = [](int32_t v, int32_t high) { return v < 0 ? 0 : (v > high ? high : v); };
  x1 = clamp(x1, width);
  x2 = clamp(x2, width);
  y1 = clamp(y1, height);
  y2 = clamp(y2, height);
  if (OnDirect3D()) FlushVertexBatch();
  DrawSettings.ClipRect = {x1, y1, x2, y2};
  DrawSettings.clipFloat[0] = static_cast<float>(x1);
  DrawSettings.clipFloat[1] = static_cast<float>(y1);
  DrawSettings.clipFloat[2] = static_cast<float>(x2);
  DrawSettings.clipFloat[3] = static_cast<float>(y2);
  SyncSoftDraw();
  if (x1 == x2 || y1 == y2) {
    DrawSettings.ClipRectEmpty = 1;
    return 0;
  }
  DrawSettings.ClipRectEmpty = 0;
  if (!OnDirect3D()) return 0;
  if (!HasDevice()) return -1;
  SetViewportRect(x1, y1, x2, y2);
  SetScissorRect(&DrawSettings.ClipRect);
  const float w = static_cast<float>(x2 - x1);
  const float h = static_cast<float>(y2 - y1);
  TransformBlock& t = DrawSettings.transforms;
  MakeViewportMatrix(&t.drawAreaViewport, static_cast<float>(x1) + w * 0.5f,
                     static_cast<float>(y1) + h * 0.5f, w, h);
  InvertMatrix(&t.drawArea, &t.drawAreaViewport);
  Matrix4 product;
  MultiplyMatrix(&product, &t.projection, &t.viewport);
  MultiplyMatrix(&product, &product, &t.drawArea);
  UploadProjectionTransform(&product);
  t.projectionSent = 1;
  return 0;
}

// --- Fog -----------------------------------------------------------------------------------------

int SetDrawFogMode(int32_t mode) {
  if (DrawSettings.fogMode == mode) return 0;
  if (OnDirect3D()) FlushVertexBatch();
  DrawSettings.fogMode = mode;
  if (OnDirect3D()) SetFogMode(mode);
  return 0;
}

int SetDrawFogColour(int32_t red, int32_t green, int32_t blue) {
  const uint32_t colour = 0xFF000000u | static_cast<uint32_t>((red & 255) << 16 | (green & 255) << 8 | (blue & 255));
  if (DrawSettings.fogColour == colour) return 0;
  if (OnDirect3D()) FlushVertexBatch();
  DrawSettings.fogColour = colour;
  if (OnDirect3D()) SetFogColour(colour);
  return 0;
}

int SetDrawFogRange(float start, float end) {
  if (DrawSettings.fogStart == start && DrawSettings.fogEnd == end) return 0;
  if (OnDirect3D()) FlushVertexBatch();
  DrawSettings.fogStart = start;
  DrawSettings.fogEnd = end;
  if (OnDirect3D()) SetFogStartEnd(start, end);
  return 0;
}

// --- Camera --------------------------------------------------------------------------------------

int ApplyCameraProjection() {
  if (DrawSettings.ProjectionKind != 2) {
    const float aspect = DrawSettings.drawScreenWidth != 0
                             ? static_cast<float>(DrawSettings.drawScreenHeight) /
                                   static_cast<float>(DrawSettings.drawScreenWidth) * DrawSettings.aspectScale
                             : DrawSettings.aspectScale;
    if (DrawSettings.ProjectionKind == 0) {
      MakePerspectiveMatrix(&DrawSettings.cameraProjection, DrawSettings.fieldOfView, DrawSettings.cameraNear,
                            DrawSettings.cameraFar, aspect);
    } else {
      MakeOrthoMatrix(&DrawSettings.cameraProjection, DrawSettings.orthoSize, DrawSettings.cameraNear,
                      DrawSettings.cameraFar, aspect);
    }
  }
  const Matrix4 projection = DrawSettings.cameraProjection;
  return SetProjectionMatrix(&projection);
}

int SetCameraNearFar(float nearZ, float farZ) {
  DrawSettings.cameraNear = nearZ;
  DrawSettings.cameraFar = farZ;
  return ApplyCameraProjection();
}

int SetCameraFieldOfView(float fieldOfView) {
  DrawSettings.ProjectionKind = 0;
  DrawSettings.fieldOfView = fieldOfView;
  return ApplyCameraProjection();
}

int SetCameraProjectionMatrix(const Matrix4* matrix) {
  DrawSettings.ProjectionKind = 2;
  DrawSettings.cameraProjection = *matrix;
  return ApplyCameraProjection();
}

int ResetCameraForScreen(int32_t width, int32_t height) {
  Matrix4 m;
  SetIdentityMatrix(&m);
  SetWorldMatrix(&m);
  MakeViewportMatrix(&m, static_cast<float>(width / 2), static_cast<float>(height / 2),
                     static_cast<float>(width), static_cast<float>(height));
  SetViewportMatrix(&m);
  DrawSettings.transforms.drawAreaViewport = m;
  InvertMatrix(&DrawSettings.transforms.drawArea, &m);
  const float d = static_cast<float>(height / 2) * 1.7320509f;
  const Vector3 eye{static_cast<float>(width) * 0.5f, static_cast<float>(height) * 0.5f, -d};
  const Vector3 target{eye.x, eye.y, -d + 1.0f};
  const Vector3 up{0.0f, 1.0f, 0.0f};
  MakeLookAtMatrix(&m, &eye, &target, &up);
  SetViewMatrix(&m);
  DrawSettings.fieldOfView = 1.0471976f;
  DrawSettings.ProjectionKind = 0;
  return SetCameraNearFar(d * 0.1f, d + 20000.0f);
}

int UpdateCombinedMatrices() {
  TransformBlock& t = DrawSettings.transforms;
  if (t.combinedValid) return 0;
  MultiplyMatrix(&t.viewProjection, &t.view, &t.projection);
  MultiplyMatrix(&t.worldViewProjectionViewport, &t.world, &t.viewProjection);
  MultiplyMatrix(&t.worldViewProjectionViewport, &t.worldViewProjectionViewport, &t.viewport);
  t.cameraOrientation = Matrix4{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) t.cameraOrientation.m[i][j] = t.view.m[j][i];
  t.combinedValid = 1;
  return 0;
}

// --- Lights --------------------------------------------------------------------------------------

namespace {
LightRecord* GetLight(int32_t handle) {
  const int32_t slot = HandleSlotIn(handle, HandleKind::Light, LightCapacity);
  if (slot < 0) return nullptr;
  LightRecord* light = DrawSettings.lightSlots[slot];
  if (light == nullptr || !HandleCheckIdIs(handle, light->checkId)) return nullptr;
  return light;
}
}  // namespace

int CreateLightHandle() {
  int32_t slot = DrawSettings.lightHighWater;
  if (slot >= LightCapacity) {
    slot = -1;
    for (int32_t i = 0; i < LightCapacity; ++i) {
      if (DrawSettings.lightSlots[i] == nullptr) {
        slot = i;
        break;
      }
    }
    // Every slot in use: the table allows no more.
    if (slot < 0) return -1;
  }
  auto* light = static_cast<LightRecord*>(TrackedCalloc(sizeof(LightRecord), __FILE__, __LINE__));
  if (light == nullptr) FatalExit("ライト用のメモリの確保に失敗しました");
  DeviceLight& l = light->light;
  l.diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
  l.specular = {1.0f, 1.0f, 1.0f, 1.0f};
  l.ambient = {0.33f, 0.33f, 0.33f, 0.33f};
  l.range = 2000.0f;
  l.falloff = 1.0f;
  l.attenuation0 = 0.1f;
  l.theta = 2.0f;
  l.phi = 2.0f;
  light->deviceIndex = -1;
  light->checkId = DrawSettings.lightNextCheckId;
  DrawSettings.lightNextCheckId = NextCheckId(DrawSettings.lightNextCheckId);
  light->handle = MakeEngineHandle(slot, light->checkId, HandleKind::Light);
  DrawSettings.lightSlots[slot] = light;
  ++DrawSettings.lightCount;
  if (slot == DrawSettings.lightHighWater) ++DrawSettings.lightHighWater;
  light->enabled = 1;
  light->changed = 1;
  DrawSettings.lightsChanged = 1;
  return light->handle;
}

int MakeDirectionalLight(const Vector3* direction) {
  const int32_t handle = CreateLightHandle();
  LightRecord* light = GetLight(handle);
  if (light == nullptr) return -1;
  light->light.type = 3;
  NormalizeVector(direction->x, direction->y, direction->z, &light->light.direction);
  return handle;
}

int DeleteLightHandle(int32_t handle) {
  LightRecord* light = GetLight(handle);
  if (light == nullptr) return -1;
  const int32_t slot = HandleSlot(handle);
  if (light->deviceIndex != -1) DrawSettings.lightsChanged = 1;
  --DrawSettings.lightCount;
  if (slot == DrawSettings.lightHighWater - 1) {
    int32_t top = slot;
    while (top > 0 && DrawSettings.lightSlots[top - 1] == nullptr) --top;
    DrawSettings.lightHighWater = top;
  }
  TrackedFree(light);
  DrawSettings.lightSlots[slot] = nullptr;
  DrawSettings.lightsChanged = 1;
  return 0;
}

int DeleteAllLightsButDefault() {
  for (int32_t i = 0; i < DrawSettings.lightHighWater; ++i) {
    const LightRecord* light = DrawSettings.lightSlots[i];
    if (light != nullptr && light->handle != DrawSettings.defaultLight) DeleteLightHandle(light->handle);
  }
  return 0;
}

int DeleteAllLights() {
  for (int32_t i = DrawSettings.lightHighWater - 1; i >= 0; --i)
    if (DrawSettings.lightSlots[i] != nullptr) DeleteLightHandle(DrawSettings.lightSlots[i]->handle);
  DrawSettings.defaultLight = -1;
  return 0;
}

int ApplyLights() {
  SetLighting(DrawSettings.lightingOff == 0 ? 1 : 0);
  if (!DrawSettings.lightsChanged && !DrawSettings.lightForceResend) return 0;
  int32_t next = 0;
  for (int32_t i = 0; i < DrawSettings.lightHighWater; ++i) {
    LightRecord* light = DrawSettings.lightSlots[i];
    if (light == nullptr) continue;
    const int32_t index = light->enabled ? next++ : -1;
    if (index != light->deviceIndex || light->changed || DrawSettings.lightForceResend) {
      if (index >= 0) SetLightAndEnable(index, light->enabled, &light->light);
      light->deviceIndex = index;
      light->changed = 0;
    }
  }
  for (int32_t i = next; i < DrawSettings.lastDeviceLightIndex; ++i) EnableLight(i, 0);
  DrawSettings.lastDeviceLightIndex = next;
  DrawSettings.nextDeviceLightIndex = next;
  DrawSettings.lightsChanged = 0;
  DrawSettings.lightForceResend = 0;
  return 0;
}

// --- Restore hook, dialog-box mode -----------------------------------------------------------------

int SetGraphRestoreHook(GraphRestoreHookFn hook) {
  DrawSettings.GraphRestoreHook = hook != nullptr ? hook : DefaultGraphRestoreHook;
  return 0;
}

int HasGraphRestoreHook() { return DrawSettings.GraphRestoreHook != nullptr ? 1 : 0; }

int GetDialogBoxModeFlag() { return 0; }

}  // namespace quelt
