#include "graphics/device_state.h"

#include <cstddef>

#include "graphics/device_calls.h"
#include "graphics/draw_settings.h"
#include "graphics/screen_mode.h"
#include "graphics/shader_state.h"

namespace quelt {

using namespace d3d;
using namespace device_calls;

namespace {
// Static arrays: drawing never allocates.
Vertex2D ColourVertices[3225];
TexVertex2D TextureVertices[2340];
TexVertex2DSpec BlendVertices[1638];
}  // namespace

// --- Whole-state passes ---------------------------------------------------------------------------

int ResetBaseStates() {
  if (!HasDevice()) return -1;
  FlushVertexBatch();
  for (int32_t s = 0; s < 4; ++s) {
    Sink().setSamplerState(Dev(), static_cast<uint32_t>(s), SampAddressU, DeviceStateCache.addressU[s]);
    Sink().setSamplerState(Dev(), static_cast<uint32_t>(s), SampAddressV, DeviceStateCache.addressV[s]);
  }
  static constexpr std::array<uint32_t, 4> coords{0, 1, 1, 0};
  for (uint32_t s = 0; s < 4; ++s) {
    Sink().setTextureStageState(Dev(), s, TssTexCoordIndex, coords[s]);
    DeviceStateCache.applied.stages[s].texCoordIndex = static_cast<int32_t>(coords[s]);
  }
  Sink().setRenderState(Dev(), RsShadeMode, static_cast<uint32_t>(DeviceStateCache.shadeMode));
  Sink().setRenderState(Dev(), RsLighting, static_cast<uint32_t>(DeviceStateCache.lighting));
  Sink().setRenderState(Dev(), RsCullMode, CullNone);
  Sink().setRenderState(Dev(), RsDitherEnable, 0);
  SendBaseShaderConstants();
  Sink().unsetShaders(Dev());
  ForgetDeviceObjectsInCache();
  return 0;
}

namespace {
// Every stage and sampler value of all eight stages as the cache holds it. A device starts
// from its own defaults: a value the cache names but the device lacks would be skipped by
// every later setter (a mask's stage 1 after a lost device drew black boxes).
void ResendAllStages() {
  for (uint32_t s = 0; s < SamplerStageCount; ++s) {
    const DrawModeStage& stage = DeviceStateCache.applied.stages[s];
    if (stage.texCoordIndex >= 0)
      Sink().setTextureStageState(Dev(), s, TssTexCoordIndex, static_cast<uint32_t>(stage.texCoordIndex));
    for (size_t i = 0; i < StageValueTypes.size(); ++i) SendStageValue(s, StageValueTypes[i], stage.values[i]);
    Sink().setSamplerState(Dev(), s, SampAddressU, DeviceStateCache.addressU[s]);
    Sink().setSamplerState(Dev(), s, SampAddressV, DeviceStateCache.addressV[s]);
    Sink().setSamplerState(Dev(), s, SampMagFilter, DeviceStateCache.magFilter[s]);
    Sink().setSamplerState(Dev(), s, SampMinFilter, DeviceStateCache.minFilter[s]);
    Sink().setSamplerState(Dev(), s, SampMipFilter, DeviceStateCache.mipFilter[s]);
    Sink().setSamplerState(Dev(), s, SampMaxAnisotropy, DeviceStateCache.maxAnisotropy[s]);
  }
}
}  // namespace

int RestoreAllDeviceStates() {
  if (!HasDevice()) return -1;
  ForceStateReapply = 1;
  const DeviceViewport viewport = DeviceStateCache.viewport;
  SetViewport(&viewport);
  const IntRect scissor = DeviceStateCache.scissor;
  SendScissor(scissor);
  ResetBaseStates();
  ResendAllStages();
  SetTextureFilter(DeviceStateCache.filterKind);
  ApplyDrawMode(1, nullptr, 0);
  SetZEnable(DeviceStateCache.zEnable);
  SetZWriteEnable(DeviceStateCache.zWriteEnable);
  SetZFunc(DeviceStateCache.zFunc);
  SetDepthBias(DeviceStateCache.depthBias);
  SetCullMode(DeviceStateCache.cullMode);
  SetShadeMode(DeviceStateCache.shadeMode);
  ForceStateReapply = 0;
  return 0;
}

int ReapplyRenderStates() {
  if (!HasDevice()) return -1;
  Sink().setRenderState(Dev(), RsDitherEnable, 0);
  ForceStateReapply = 1;
  DeviceStateCache.drawTexture = nullptr;
  VertexBatch.pendingCount = 0;
  // Every blend and alpha state the old device held, also those the current draw mode does
  // not send (the blend factors of the copy mode): later draws skip what the cache already
  // names. A 0 that names no valid value was never sent.
  for (int32_t which = 0; which < DrawModeStateCount; ++which) {
    const bool zeroIsAValue = which == DmAlphaTestEnable || which == DmAlphaRef || which == DmAlphaBlendEnable ||
                              which == DmTextureFactor;
    const uint32_t value = DeviceStateCache.applied.states[which];
    if (value != 0 || zeroIsAValue) SendDrawModeState(which, value);
  }
  SetDrawModeParams(DeviceStateCache.blendMode, DeviceStateCache.alphaChannel, DeviceStateCache.alphaTest);
  SetCullMode(DeviceStateCache.cullMode);
  SetTextureFilter(DeviceStateCache.filterKind);
  SetShadeMode(DeviceStateCache.shadeMode);
  SetMaxAnisotropy(DeviceStateCache.anisotropy);
  for (int32_t s = 0; s < SamplerStageCount; ++s) {
    SetAddressU(DeviceStateCache.addressU[s], s);
    SetAddressV(DeviceStateCache.addressV[s], s);
  }
  SetFogEnable(DeviceStateCache.fogEnable);
  SetFogMode(DeviceStateCache.fogMode);
  SetFogColour(DeviceStateCache.fogColour);
  SetFogStartEnd(DeviceStateCache.fogStart, DeviceStateCache.fogEnd);
  SetFogDensity(DeviceStateCache.fogDensity);
  SetZEnable(DeviceStateCache.zEnable);
  SetZWriteEnable(DeviceStateCache.zWriteEnable);
  SetZFunc(DeviceStateCache.zFunc);
  SetDepthBias(DeviceStateCache.depthBias);
  const TransformBlock t = DrawSettings.transforms;
  SetWorldMatrix(&t.world);
  SetViewMatrix(&t.view);
  SetProjectionMatrix(&t.projection);
  SetViewportMatrix(&t.viewport);
  const DeviceMaterial material = DeviceStateCache.material;
  SetMaterial(&material);
  SetSpecularEnable(DeviceStateCache.specularEnable);
  SetDiffuseMaterialSource(DeviceStateCache.diffuseSource == McsColor1);
  SetSpecularMaterialSource(DeviceStateCache.specularSource == McsColor2);
  SetAmbientColour(DeviceStateCache.ambient);
  SetLighting(DeviceStateCache.lighting);
  for (int32_t i = 0; i < DeviceLightCapacity; ++i) {
    if (!DeviceStateCache.lightHasData[i]) continue;
    const DeviceLight light = DeviceStateCache.lights[i];
    SetLight(&light, i);
    EnableLight(i, DeviceStateCache.lightEnabled[i]);
  }
  const IntRect& clip = DrawSettings.ClipRect;
  SetViewportRect(clip.x1, clip.y1, clip.x2, clip.y2);
  SetScissorRect(&clip);
  ApplyDrawMode(1, nullptr, 0);
  RestoreAllDeviceStates();
  ForceStateReapply = 0;
  return 0;
}

int InitDeviceDrawState() {
  if (!HasDevice()) return -1;
  for (auto& v : ColourVertices) v = {0, 0, 0.0f, 1.0f, 0};
  for (auto& v : TextureVertices) v = {0, 0, 0.0f, 1.0f, 0, 0, 0};
  for (auto& v : BlendVertices) v = {0, 0, 0.0f, 1.0f, 0, 0xFFFFFFFF, 0, 0, 0, 0};
  VertexBatch.arrays = {reinterpret_cast<uint8_t*>(ColourVertices),
                        reinterpret_cast<uint8_t*>(TextureVertices),
                        reinterpret_cast<uint8_t*>(BlendVertices)};
  VertexBatch.formatIndex = 0;
  VertexBatch.primitiveType = TriangleList;
  ResetWritePosition();

  DrawSettingsRecord& d = DrawSettings;
  const uint32_t filter = static_cast<uint32_t>(DeviceStateCache.filterKind) + 1;
  const uint32_t mip = filter > FilterLinear ? FilterLinear : filter;
  for (int32_t s = 0; s < SamplerStageCount; ++s) {
    if (d.addressU[s] == 0) d.addressU[s] = AddressClamp;
    if (d.addressV[s] == 0) d.addressV[s] = AddressClamp;
    const uint32_t stage = static_cast<uint32_t>(s);
    DeviceStateCache.addressU[s] = static_cast<uint32_t>(d.addressU[s]);
    DeviceStateCache.addressV[s] = static_cast<uint32_t>(d.addressV[s]);
    DeviceStateCache.magFilter[s] = DeviceStateCache.minFilter[s] = filter;
    DeviceStateCache.mipFilter[s] = mip;
    DeviceStateCache.maxAnisotropy[s] = 1;
    Sink().setSamplerState(Dev(), stage, SampAddressU, DeviceStateCache.addressU[s]);
    Sink().setSamplerState(Dev(), stage, SampAddressV, DeviceStateCache.addressV[s]);
    Sink().setSamplerState(Dev(), stage, SampMagFilter, filter);
    Sink().setSamplerState(Dev(), stage, SampMinFilter, filter);
    Sink().setSamplerState(Dev(), stage, SampMipFilter, mip);
    Sink().setSamplerState(Dev(), stage, SampMaxAnisotropy, 1);
  }
  DeviceStateCache.anisotropy = 1;
  Sink().setRenderState(Dev(), RsCullMode, CullNone);
  Sink().setRenderState(Dev(), RsLighting, 1);
  Sink().setRenderState(Dev(), RsShadeMode, ShadeFlat);
  Sink().setRenderState(Dev(), RsDitherEnable, 0);
  Sink().setRenderState(Dev(), RsSpecularEnable, 1);
  Sink().setRenderState(Dev(), RsAmbientMaterialSource, McsMaterial);
  DeviceStateCache.lighting = 1;
  DeviceStateCache.specularEnable = 1;

  DeviceStateCache.applied.states.fill(0);
  DeviceStateCache.applied.stageCount = 0;
  for (DrawModeStage& stage : DeviceStateCache.applied.stages) {
    stage.texture = nullptr;
    stage.texCoordIndex = 0;
    stage.values = {TaTexture, TaDiffuse, TopDisable, TaTexture, TaDiffuse, TopDisable};
  }
  DeviceStateCache.drawTexture = nullptr;
  DeviceStateCache.borderParam = -1;
  VertexBatch.diffuse = 0xFFFFFFFF;
  int32_t width = 0;
  int32_t height = 0;
  QueryScreenSizeOrDefault(&width, &height);
  DeviceStateCache.viewport = {0, 0, static_cast<uint32_t>(width), static_cast<uint32_t>(height), 0.0f, 1.0f};
  DeviceStateCache.zEnable = 1;
  DeviceStateCache.zWriteEnable = 0;
  DeviceStateCache.zFunc = CmpLessEqual;
  DeviceStateCache.depthBias = 0;
  DeviceStateCache.shadeMode = ShadeFlat;
  DeviceStateCache.cullMode = 0;
  DeviceStateCache.modeChanged = 1;

  RestoreAllDeviceStates();
  BeginSceneIfNeeded();
  PrepareDrawState(nullptr, 0, nullptr, 0);
  if (DeviceStateCache.modeChanged || DeviceStateCache.textureChanged) ApplyDrawMode(1, nullptr, 0);
  return 0;
}

}  // namespace quelt
