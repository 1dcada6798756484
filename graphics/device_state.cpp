#include "graphics/device_state.h"

#include <cstring>

#include "graphics/device_calls.h"
#include "graphics/draw_settings.h"
#include "graphics/graphics_log.h"
#include "graphics/shader_state.h"

namespace quelt {

using namespace d3d;
using namespace device_calls;

GraphicsDeviceRecord GraphicsDevice{};
const DeviceSink* ActiveDeviceSink = nullptr;
// 255 in the material sources: nothing sent yet (the device's own defaults are not 0).
DeviceStateCacheRecord DeviceStateCache = [] {
  DeviceStateCacheRecord fresh{};
  fresh.diffuseSource = 255;
  fresh.specularSource = 255;
  return fresh;
}();
int32_t ForceStateReapply = 0;
int32_t HoldColourModulation = 0;
VertexBatchRecord VertexBatch{};

namespace device_calls {

int SendRenderState(int32_t& cached, int32_t value, uint32_t state, uint32_t sent) {
  return CachedSet(cached, value, [&] { return Sink().setRenderState(Dev(), state, sent); });
}

int SendSamplerState(uint32_t& cached, uint32_t value, uint32_t stage, uint32_t type) {
  return CachedSet(cached, value, [&] { return Sink().setSamplerState(Dev(), stage, type, value); });
}

int SendStageValue(uint32_t stage, uint32_t type, uint16_t value) {
  if (value == Leave) return 0;
  return Sink().setTextureStageState(Dev(), stage, type, value);
}

int SendTexture(uint32_t stage, void* texture) {
  if (DeviceStateCache.textures[stage] == texture && ForceStateReapply == 0) return 0;
  DeviceStateCache.textures[stage] = texture;
  return Sink().setTexture(Dev(), stage, texture);
}

int SendScissor(const IntRect& onSurface) {
  const IntRect& s = DeviceStateCache.scissor;
  if (s.x1 == onSurface.x1 && s.y1 == onSurface.y1 && s.x2 == onSurface.x2 && s.y2 == onSurface.y2 &&
      ForceStateReapply == 0)
    return 0;
  FlushVertexBatch();
  EndSceneIfOpen();
  DeviceStateCache.scissor = onSurface;
  return Result(Sink().setScissorRect(Dev(), &onSurface));
}

}  // namespace device_calls

// --- Render states -------------------------------------------------------------------------

int SetZEnable(int32_t on) {
  if (!HasDevice()) return -1;
  return SendRenderState(DeviceStateCache.zEnable, on, RsZEnable, on == 1 ? 1 : 0);
}
int SetZWriteEnable(int32_t on) {
  if (!HasDevice()) return -1;
  return SendRenderState(DeviceStateCache.zWriteEnable, on, RsZWriteEnable, static_cast<uint32_t>(on));
}
int SetZFunc(int32_t func) {
  if (!HasDevice()) return -1;
  return SendRenderState(DeviceStateCache.zFunc, func, RsZFunc, static_cast<uint32_t>(func));
}
int SetDepthBias(int32_t bits) {
  if (!HasDevice()) return -1;
  return SendRenderState(DeviceStateCache.depthBias, bits, RsDepthBias, static_cast<uint32_t>(bits));
}
int SetShadeMode(int32_t mode) {
  if (!HasDevice()) return -1;
  return SendRenderState(DeviceStateCache.shadeMode, mode, RsShadeMode, static_cast<uint32_t>(mode));
}
int SetCullMode(int32_t ccw) {
  if (!HasDevice()) return 0;
  SendRenderState(DeviceStateCache.cullMode, ccw, RsCullMode, ccw == 1 ? CullCcw : CullNone);
  return 0;
}
int SetLighting(int32_t on) {
  if (!HasDevice()) return 0;
  const int result = SendRenderState(DeviceStateCache.lighting, on, RsLighting, static_cast<uint32_t>(on));
  SelectShaderIndices();
  return result;
}
int SetSpecularEnable(int32_t on) {
  if (!HasDevice()) return 0;
  return SendRenderState(DeviceStateCache.specularEnable, on, RsSpecularEnable, static_cast<uint32_t>(on));
}
int SetDiffuseMaterialSource(int32_t fromColour) {
  if (!HasDevice()) return 0;
  const int32_t value = fromColour != 0 ? McsColor1 : McsMaterial;
  return SendRenderState(DeviceStateCache.diffuseSource, value, RsDiffuseMaterialSource, static_cast<uint32_t>(value));
}
int SetSpecularMaterialSource(int32_t fromColour) {
  if (!HasDevice()) return 0;
  const int32_t value = fromColour != 0 ? McsColor2 : McsMaterial;
  return SendRenderState(DeviceStateCache.specularSource, value, RsSpecularMaterialSource,
                         static_cast<uint32_t>(value));
}
int SetAmbientColour(uint32_t argb) {
  if (!HasDevice()) return 0;
  FlushVertexBatch();
  DeviceStateCache.ambient = argb;
  DeviceStateCache.ambientChannels = {((argb >> 16) & 0xFF) / 255.0f, ((argb >> 8) & 0xFF) / 255.0f,
                       (argb & 0xFF) / 255.0f, (argb >> 24) / 255.0f};
  const int result = Result(Sink().setRenderState(Dev(), RsAmbient, argb));
  UpdateLightColourConstants();
  return result;
}
int SetFogEnable(int32_t on) {
  if (!HasDevice()) return 0;
  const int result = SendRenderState(DeviceStateCache.fogEnable, on, RsFogEnable, static_cast<uint32_t>(on));
  SelectShaderIndices();
  return result;
}
int SetFogMode(int32_t mode) {
  if (!HasDevice()) return 0;
  if (DeviceStateCache.fogMode == mode && ForceStateReapply == 0) return 0;
  const int result = SendRenderState(DeviceStateCache.fogMode, mode, RsFogVertexMode, static_cast<uint32_t>(mode));
  SendFogModeShaderConstants(mode);
  SelectShaderIndices();
  return result;
}
int SetFogColour(uint32_t argb) {
  if (!HasDevice()) return 0;
  return CachedSet(DeviceStateCache.fogColour, argb, [&] { return Sink().setRenderState(Dev(), RsFogColor, argb); });
}
int SetFogStartEnd(float start, float end) {
  if (!HasDevice()) return 0;
  const int a = CachedSet(DeviceStateCache.fogStart, start,
                          [&] { return Sink().setRenderState(Dev(), RsFogStart, FloatBits(start)); });
  const int b = CachedSet(DeviceStateCache.fogEnd, end,
                          [&] { return Sink().setRenderState(Dev(), RsFogEnd, FloatBits(end)); });
  SendFogShaderConstants();
  return a < 0 || b < 0 ? -1 : 0;
}
int SetFogDensity(float density) {
  if (!HasDevice()) return 0;
  if (DeviceStateCache.fogDensity == density && ForceStateReapply == 0) return 0;
  const int result = CachedSet(DeviceStateCache.fogDensity, density,
                               [&] { return Sink().setRenderState(Dev(), RsFogDensity, FloatBits(density)); });
  SendFogShaderConstants();
  return result;
}

// --- Sampler states -------------------------------------------------------------------------

namespace {
int SetAddress(std::array<uint32_t, SamplerStageCount>& cache, uint32_t type, uint32_t mode,
               int32_t stage) {
  if (stage < -1 || stage >= SamplerStageCount) return -1;
  if (!HasDevice()) return 0;
  if (stage >= 0) return SendSamplerState(cache[stage], mode, static_cast<uint32_t>(stage), type);
  int result = 0;
  for (int32_t s = SamplerStageCount - 1; s >= 0; --s)
    if (SendSamplerState(cache[s], mode, static_cast<uint32_t>(s), type) < 0) result = -1;
  return result;
}

int32_t StagesInUse() { return DeviceStateCache.stagesInUse < 1 ? 1 : DeviceStateCache.stagesInUse; }
}  // namespace

int SetAddressU(uint32_t mode, int32_t stage) {
  return SetAddress(DeviceStateCache.addressU, SampAddressU, mode, stage);
}
int SetAddressV(uint32_t mode, int32_t stage) {
  return SetAddress(DeviceStateCache.addressV, SampAddressV, mode, stage);
}

// Direct3D 9 takes none, point or linear as mip filter; anisotropic filtering mips linearly.
uint32_t MipFilterForKind(int32_t kind) { return kind == 2 ? FilterLinear : FilterNone; }

int SetTextureFilter(int32_t kind) {
  if (kind < 0 || kind > 2) return -1;
  DeviceStateCache.filterKind = kind;
  if (!HasDevice()) return -1;
  const uint32_t filter = static_cast<uint32_t>(kind) + 1;
  const uint32_t mip = MipFilterForKind(kind);
  for (int32_t s = 0; s < StagesInUse(); ++s) {
    const uint32_t stage = static_cast<uint32_t>(s);
    SendSamplerState(DeviceStateCache.magFilter[s], filter, stage, SampMagFilter);
    SendSamplerState(DeviceStateCache.minFilter[s], filter, stage, SampMinFilter);
    SendSamplerState(DeviceStateCache.mipFilter[s], mip, stage, SampMipFilter);
  }
  return 0;
}

int SetMaxAnisotropy(int32_t value) {
  if (value < 1) value = 1;
  DeviceStateCache.anisotropy = value;
  if (!HasDevice()) return -1;
  for (int32_t s = 0; s < StagesInUse(); ++s)
    SendSamplerState(DeviceStateCache.maxAnisotropy[s], static_cast<uint32_t>(value), static_cast<uint32_t>(s),
                 SampMaxAnisotropy);
  return 0;
}

// --- Lights and material ----------------------------------------------------------------------

int SetLight(const DeviceLight* light, int32_t index) {
  if (!HasDevice()) return 0;
  FlushVertexBatch();
  if (index >= 0 && index < DeviceLightCapacity) {
    DeviceStateCache.lights[index] = *light;
    DeviceStateCache.lightHasData[index] = 1;
  }
  const int result = Result(Sink().setLight(Dev(), static_cast<uint32_t>(index), light));
  SendLightShaderConstants(index);
  UpdateLightColourConstants();
  SelectShaderIndices();
  return result;
}

int EnableLight(int32_t index, int32_t on) {
  if (!HasDevice()) return 0;
  if (index >= 0 && index < DeviceLightCapacity) {
    if (DeviceStateCache.lightEnabled[index] == on && ForceStateReapply == 0) return 0;
    DeviceStateCache.lightEnabled[index] = on;
    if (on != 0 && index > DeviceStateCache.highestEnabledLight) DeviceStateCache.highestEnabledLight = index;
  }
  FlushVertexBatch();
  const int result = Result(Sink().lightEnable(Dev(), static_cast<uint32_t>(index), on));
  SendLightEnableShaderConstant(index);
  SelectShaderIndices();
  return result;
}

int SetLightAndEnable(int32_t index, int32_t on, const DeviceLight* light) {
  if (HasDevice()) {
    if (on == 1) SetLight(light, index);
    EnableLight(index, on);
  }
  return 0;
}

int SetMaterial(const DeviceMaterial* material) {
  if (!HasDevice()) return 0;
  if (DeviceStateCache.materialSent && std::memcmp(&DeviceStateCache.material, material, sizeof *material) == 0 &&
      ForceStateReapply == 0)
    return 0;
  FlushVertexBatch();
  DeviceStateCache.material = *material;
  DeviceStateCache.materialSent = 1;
  const int result = Result(Sink().setMaterial(Dev(), material));
  SendMaterialShaderConstants();
  return result;
}

// --- Viewport, scissor, render target ----------------------------------------------------------

int SetViewport(const DeviceViewport* viewport) {
  if (!HasDevice()) return -1;
  const DeviceViewport& v = DeviceStateCache.viewport;
  if (v.x == viewport->x && v.y == viewport->y && v.width == viewport->width &&
      v.height == viewport->height && ForceStateReapply == 0)
    return 0;
  FlushVertexBatch();
  EndSceneIfOpen();
  const int32_t hr = Sink().setViewport(Dev(), viewport);
  if (hr < 0) {
    WriteLogText("ビューポートのセットに失敗しました ErrorCode %x\n", static_cast<uint32_t>(hr));
    return -1;
  }
  DeviceStateCache.viewport = *viewport;
  return 0;
}

int SetViewportRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  const DeviceViewport viewport{static_cast<uint32_t>(x1 + DeviceStateCache.targetOriginX),
                                static_cast<uint32_t>(y1 + DeviceStateCache.targetOriginY),
                                static_cast<uint32_t>(x2 - x1), static_cast<uint32_t>(y2 - y1),
                                0.0f, 1.0f};
  return SetViewport(&viewport);
}


int SetScissorRect(const IntRect* rect) {
  if (!HasDevice()) return -1;
  const int32_t x = DeviceStateCache.targetOriginX, y = DeviceStateCache.targetOriginY;
  return SendScissor(IntRect{rect->x1 + x, rect->y1 + y, rect->x2 + x, rect->y2 + y});
}

int SetRenderTargetSurface(void* surface) {
  if (!HasDevice()) return -1;
  if (DeviceStateCache.renderTarget == surface && ForceStateReapply == 0) return 0;
  FlushVertexBatch();
  const int32_t hr = Sink().setRenderTarget(Dev(), surface);
  if (hr < 0) return -1;
  DeviceStateCache.renderTarget = surface;
  int32_t width = 0;
  int32_t height = 0;
  Sink().surfaceSize(surface, &width, &height);
  // Setting a render target resets the device's viewport to the whole surface.
  DeviceStateCache.viewport = {0, 0, static_cast<uint32_t>(width), static_cast<uint32_t>(height), 0.0f, 1.0f};
  Sink().setViewport(Dev(), &DeviceStateCache.viewport);
  return 0;
}

// --- Matrices ------------------------------------------------------------------------------------

int UploadProjectionTransform(const Matrix4* matrix) {
  if (!HasDevice()) return 0;
  const int result = Result(Sink().setTransform(Dev(), TsProjection, matrix));
  SendProjectionShaderConstants(matrix);
  return result;
}

namespace {
void MatrixChanged() {
  DrawSettings.transforms.combinedValid = 0;
  UpdateCombinedMatrices();
}

int SendProjectionProduct() {
  TransformBlock& t = DrawSettings.transforms;
  Matrix4 product;
  MultiplyMatrix(&product, &t.projection, &t.viewport);
  MultiplyMatrix(&product, &product, &t.drawArea);
  t.projectionSent = t.viewportSent = 1;
  return UploadProjectionTransform(&product);
}
}  // namespace

int SetWorldMatrix(const Matrix4* matrix) {
  if (HasDevice()) FlushVertexBatch();
  DrawSettings.transforms.world = *matrix;
  MatrixChanged();
  if (!HasDevice()) return 0;
  DrawSettings.transforms.worldSent = 1;
  return Result(Sink().setTransform(Dev(), TsWorld, matrix));
}

int SetViewMatrix(const Matrix4* matrix) {
  if (HasDevice()) FlushVertexBatch();
  DrawSettings.transforms.view = *matrix;
  MatrixChanged();
  if (!HasDevice()) return 0;
  DrawSettings.transforms.viewSent = 1;
  return SetViewShaderConstants(matrix);
}

int SetProjectionMatrix(const Matrix4* matrix) {
  if (HasDevice()) FlushVertexBatch();
  DrawSettings.transforms.projection = *matrix;
  MatrixChanged();
  return SendProjectionProduct();
}

int SetViewportMatrix(const Matrix4* matrix) {
  if (HasDevice()) FlushVertexBatch();
  DrawSettings.transforms.viewport = *matrix;
  MatrixChanged();
  return SendProjectionProduct();
}

// --- The cache as a whole ---------------------------------------------------------------------

void ResetDeviceStateCache() {
  DeviceStateCache = DeviceStateCacheRecord{};
  DeviceStateCache.diffuseSource = 255;
  DeviceStateCache.specularSource = 255;
}

void ForgetDeviceObjectsInCache() {
  DeviceStateCache.vertexShader = DeviceStateCache.pixelShader = DeviceStateCache.vertexDeclaration = nullptr;
  DeviceStateCache.fvf = 0;
  DeviceStateCache.textures.fill(nullptr);
}

}  // namespace quelt
