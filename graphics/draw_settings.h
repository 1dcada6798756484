#pragma once
// The one process-wide record of the draw state that every drawing operation reads, its
// setters, the camera and the light handles. Setters store the value and, on the Direct3D
// back end, hand it to the device state cache; the software blitters read the copy in
// SoftDraw (softrender/soft_draw_state.h), which the setters keep current.
#include <array>
#include <cstdint>

#include "graphics/device_sink.h"
#include "graphics/math3d.h"
#include "softrender/blend_mode.h"
#include "softrender/clip_rect.h"

namespace quelt {

struct MEMIMG;
struct GraphRecord;

using GraphRestoreHookFn = void (*)();

inline constexpr int32_t DrawScreenBack = -2;
inline constexpr int32_t DrawScreenFront = -4;

inline constexpr int32_t LightCapacity = 4096;

struct LightRecord {
  int32_t checkId;
  int32_t handle;
  DeviceLight light;
  int32_t deviceIndex;  // -1 = not on the device
  int32_t enabled;
  int32_t changed;
};

struct TransformBlock {
  Matrix4 world, view, projection, viewport;
  Matrix4 drawAreaViewport, drawArea;  // the clip area's viewport matrix and its inverse
  Matrix4 worldViewProjectionViewport, viewProjection, cameraOrientation;
  int32_t worldSent, viewSent, projectionSent, viewportSent;
  int32_t combinedValid;
};

struct DrawSettingsRecord {
  GraphRestoreHookFn GraphRestoreHook;
  int32_t drawScreen;
  IntRect ClipRect;
  float clipFloat[4];
  int32_t drawScreenWidth, drawScreenHeight;
  // Camera.
  int32_t ProjectionKind;  // 0 perspective, 1 orthographic, 2 the caller's matrix
  float cameraNear, cameraFar, aspectScale, fieldOfView, orthoSize;
  Matrix4 cameraProjection;
  // Depth sets: test, write, comparison, bias.
  std::array<int32_t, 4> depth2D, depth3D;
  int32_t cullMode;
  std::array<int32_t, 8> addressU, addressV;
  int32_t fogEnable, fogMode;
  uint32_t fogColour;
  float fogStart, fogEnd;
  float z2D;
  int32_t filterMode, maxAnisotropy;
  int32_t BlendMode, BlendParam;
  int32_t blendGraph, blendBorderParam, blendBorderRange;
  uint32_t BrightColour;
  // New-graph settings (completed with the graph loaders).
  int32_t newGraphDepth, newGraphAlpha, newGraphAlphaTest;
  int32_t vsyncOff;  // the vertical-blank wait, stored inverted
  int32_t emulation320;
  uint32_t transparentColour;
  int32_t DrawSettingsLock;
  int32_t ClipRectEmpty;
  int32_t maskDrawSetting, maskActive;  // mask drawing is off in this program
  uint64_t presentCounter;
  TransformBlock transforms;
  // Kept across ResetDrawSettings from here to the end.
  int32_t lightingOff;
  int32_t materialChanged;
  DeviceMaterial material;
  int32_t diffuseFromMaterial, specularFromMaterial;
  std::array<LightRecord*, LightCapacity> lightSlots;
  int32_t lightCount, lightHighWater, lightNextCheckId;
  int32_t lightsChanged, lightForceResend;
  int32_t nextDeviceLightIndex, lastDeviceLightIndex;
  int32_t defaultLight;
};
extern DrawSettingsRecord DrawSettings;

// x1, y1, x2, y2 as last passed to SetDrawClipRect, before ordering and clamping.
extern IntRect RequestedDrawArea;
// The blend graph's image on the software path, or null.
extern MEMIMG* BlendImage;

int ResetDrawSettings();
int SelectBlendMode(int32_t mode, int32_t param);
int SetDrawBright(int32_t red, int32_t green, int32_t blue);
int SetBrightColour(int32_t rgb);
uint32_t BuildDrawDiffuse();
int SetSampleFilterMode(int32_t mode);
int GetSampleFilterMode();
int SetBlendImageGraph(int32_t graph, int32_t borderParam, int32_t borderRange);
int CheckBlendGraphCovers(const GraphRecord* record);
int SetDrawClipRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
int SetDrawFogMode(int32_t mode);
int SetDrawFogColour(int32_t red, int32_t green, int32_t blue);
int SetDrawFogRange(float start, float end);

// Camera (the projection of the draw screen).
int ApplyCameraProjection();
int SetCameraNearFar(float nearZ, float farZ);
int SetCameraFieldOfView(float fieldOfView);
int SetCameraProjectionMatrix(const Matrix4* matrix);
// The 2-D camera of a draw screen of that size (every selection of a draw screen).
int ResetCameraForScreen(int32_t width, int32_t height);
int UpdateCombinedMatrices();

// Light handles.
int CreateLightHandle();
int MakeDirectionalLight(const Vector3* direction);
int DeleteLightHandle(int32_t handle);
int DeleteAllLightsButDefault();
// Every light and the default light (graphics shutdown).
int DeleteAllLights();
int ApplyLights();

// The restore hook of device restoration and the dialog-box mode.
int SetGraphRestoreHook(GraphRestoreHookFn hook);
int HasGraphRestoreHook();
// The default hook until the graph loaders bring theirs.
extern GraphRestoreHookFn DefaultGraphRestoreHook;
int GetDialogBoxModeFlag();

}  // namespace quelt
