#include "graphics/device_state.h"

#include <bit>
#include <cstring>

#include "core/core_state.h"
#include "graphics/d3d_values.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_table.h"
#include "graphics/graphics_log.h"
#include "graphics/screen_mode.h"
#include "graphics/shader_state.h"
#include "image/color_format.h"

namespace quelt {

using namespace d3d;

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

namespace {

DeviceStateCacheRecord& C = DeviceStateCache;

// Static arrays: drawing never allocates.
Vertex2D ColourVertices[3225];
TexVertex2D TextureVertices[2340];
TexVertex2DSpec BlendVertices[1638];

void* Dev() { return GraphicsDevice.device; }
const DeviceSink& Sink() { return *ActiveDeviceSink; }

uint32_t FloatBits(float value) { return std::bit_cast<uint32_t>(value); }

int Result(int32_t hr) { return hr < 0 ? -1 : 0; }

// The setter rule: skip an unchanged value unless forced; flush; send; cache.
template <typename T, typename Send>
int CachedSet(T& cached, T value, Send send) {
  if (cached == value && ForceStateReapply == 0) return 0;
  FlushVertexBatch();
  const int32_t hr = send();
  cached = value;
  return Result(hr);
}

int SendRenderState(int32_t& cached, int32_t value, uint32_t state, uint32_t sent) {
  return CachedSet(cached, value, [&] { return Sink().setRenderState(Dev(), state, sent); });
}

int SendSamplerState(uint32_t& cached, uint32_t value, uint32_t stage, uint32_t type) {
  return CachedSet(cached, value, [&] { return Sink().setSamplerState(Dev(), stage, type, value); });
}

int SendStageValue(uint32_t stage, uint32_t type, uint16_t value) {
  if (value == 0xFFFF) return 0;
  return Sink().setTextureStageState(Dev(), stage, type, value);
}

int SendTexture(uint32_t stage, void* texture) {
  if (C.textures[stage] == texture && ForceStateReapply == 0) return 0;
  C.textures[stage] = texture;
  return Sink().setTexture(Dev(), stage, texture);
}

}  // namespace

// --- Render states -------------------------------------------------------------------------

int SetZEnable(int32_t on) {
  if (!HasDevice()) return -1;
  return SendRenderState(C.zEnable, on, RsZEnable, on == 1 ? 1 : 0);
}
int SetZWriteEnable(int32_t on) {
  if (!HasDevice()) return -1;
  return SendRenderState(C.zWriteEnable, on, RsZWriteEnable, static_cast<uint32_t>(on));
}
int SetZFunc(int32_t func) {
  if (!HasDevice()) return -1;
  return SendRenderState(C.zFunc, func, RsZFunc, static_cast<uint32_t>(func));
}
int SetDepthBias(int32_t bits) {
  if (!HasDevice()) return -1;
  return SendRenderState(C.depthBias, bits, RsDepthBias, static_cast<uint32_t>(bits));
}
int SetShadeMode(int32_t mode) {
  if (!HasDevice()) return -1;
  return SendRenderState(C.shadeMode, mode, RsShadeMode, static_cast<uint32_t>(mode));
}
int SetCullMode(int32_t ccw) {
  if (!HasDevice()) return 0;
  SendRenderState(C.cullMode, ccw, RsCullMode, ccw == 1 ? CullCcw : CullNone);
  return 0;
}
int SetLighting(int32_t on) {
  if (!HasDevice()) return 0;
  const int result = SendRenderState(C.lighting, on, RsLighting, static_cast<uint32_t>(on));
  SelectShaderIndices();
  return result;
}
int SetSpecularEnable(int32_t on) {
  if (!HasDevice()) return 0;
  return SendRenderState(C.specularEnable, on, RsSpecularEnable, static_cast<uint32_t>(on));
}
int SetDiffuseMaterialSource(int32_t fromColour) {
  if (!HasDevice()) return 0;
  const int32_t value = fromColour != 0 ? McsColor1 : McsMaterial;
  return SendRenderState(C.diffuseSource, value, RsDiffuseMaterialSource, static_cast<uint32_t>(value));
}
int SetSpecularMaterialSource(int32_t fromColour) {
  if (!HasDevice()) return 0;
  const int32_t value = fromColour != 0 ? McsColor2 : McsMaterial;
  return SendRenderState(C.specularSource, value, RsSpecularMaterialSource, static_cast<uint32_t>(value));
}
int SetAmbientColour(uint32_t argb) {
  if (!HasDevice()) return 0;
  FlushVertexBatch();
  C.ambient = argb;
  C.ambientChannels = {((argb >> 16) & 0xFF) / 255.0f, ((argb >> 8) & 0xFF) / 255.0f,
                       (argb & 0xFF) / 255.0f, (argb >> 24) / 255.0f};
  const int result = Result(Sink().setRenderState(Dev(), RsAmbient, argb));
  UpdateLightColourConstants();
  return result;
}
int SetFogEnable(int32_t on) {
  if (!HasDevice()) return 0;
  const int result = SendRenderState(C.fogEnable, on, RsFogEnable, static_cast<uint32_t>(on));
  SelectShaderIndices();
  return result;
}
int SetFogMode(int32_t mode) {
  if (!HasDevice()) return 0;
  if (C.fogMode == mode && ForceStateReapply == 0) return 0;
  const int result = SendRenderState(C.fogMode, mode, RsFogVertexMode, static_cast<uint32_t>(mode));
  SendFogModeShaderConstants(mode);
  SelectShaderIndices();
  return result;
}
int SetFogColour(uint32_t argb) {
  if (!HasDevice()) return 0;
  return CachedSet(C.fogColour, argb, [&] { return Sink().setRenderState(Dev(), RsFogColor, argb); });
}
int SetFogStartEnd(float start, float end) {
  if (!HasDevice()) return 0;
  const int a = CachedSet(C.fogStart, start,
                          [&] { return Sink().setRenderState(Dev(), RsFogStart, FloatBits(start)); });
  const int b = CachedSet(C.fogEnd, end,
                          [&] { return Sink().setRenderState(Dev(), RsFogEnd, FloatBits(end)); });
  SendFogShaderConstants();
  return a < 0 || b < 0 ? -1 : 0;
}
int SetFogDensity(float density) {
  if (!HasDevice()) return 0;
  if (C.fogDensity == density && ForceStateReapply == 0) return 0;
  const int result = CachedSet(C.fogDensity, density,
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

int32_t StagesInUse() { return C.stagesInUse < 1 ? 1 : C.stagesInUse; }
}  // namespace

int SetAddressU(uint32_t mode, int32_t stage) { return SetAddress(C.addressU, SampAddressU, mode, stage); }
int SetAddressV(uint32_t mode, int32_t stage) { return SetAddress(C.addressV, SampAddressV, mode, stage); }

// Direct3D 9 takes none, point or linear as mip filter; anisotropic filtering mips linearly.
uint32_t MipFilterForKind(int32_t kind) { return kind == 2 ? FilterLinear : FilterNone; }

int SetTextureFilter(int32_t kind) {
  if (kind < 0 || kind > 2) return -1;
  C.filterKind = kind;
  if (!HasDevice()) return -1;
  const uint32_t filter = static_cast<uint32_t>(kind) + 1;
  const uint32_t mip = MipFilterForKind(kind);
  for (int32_t s = 0; s < StagesInUse(); ++s) {
    const uint32_t stage = static_cast<uint32_t>(s);
    SendSamplerState(C.magFilter[s], filter, stage, SampMagFilter);
    SendSamplerState(C.minFilter[s], filter, stage, SampMinFilter);
    SendSamplerState(C.mipFilter[s], mip, stage, SampMipFilter);
  }
  return 0;
}

int SetMaxAnisotropy(int32_t value) {
  if (value < 1) value = 1;
  C.anisotropy = value;
  if (!HasDevice()) return -1;
  for (int32_t s = 0; s < StagesInUse(); ++s)
    SendSamplerState(C.maxAnisotropy[s], static_cast<uint32_t>(value), static_cast<uint32_t>(s),
                 SampMaxAnisotropy);
  return 0;
}

// --- Lights and material ----------------------------------------------------------------------

int SetLight(const DeviceLight* light, int32_t index) {
  if (!HasDevice()) return 0;
  FlushVertexBatch();
  if (index >= 0 && index < DeviceLightCapacity) {
    C.lights[index] = *light;
    C.lightHasData[index] = 1;
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
    if (C.lightEnabled[index] == on && ForceStateReapply == 0) return 0;
    C.lightEnabled[index] = on;
    if (on != 0 && index > C.highestEnabledLight) C.highestEnabledLight = index;
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
  if (C.materialSent && std::memcmp(&C.material, material, sizeof *material) == 0 &&
      ForceStateReapply == 0)
    return 0;
  FlushVertexBatch();
  C.material = *material;
  C.materialSent = 1;
  const int result = Result(Sink().setMaterial(Dev(), material));
  SendMaterialShaderConstants();
  return result;
}

// --- Viewport, scissor, render target ----------------------------------------------------------

int SetViewport(const DeviceViewport* viewport) {
  if (!HasDevice()) return -1;
  const DeviceViewport& v = C.viewport;
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
  C.viewport = *viewport;
  return 0;
}

int SetViewportRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  const DeviceViewport viewport{static_cast<uint32_t>(x1 + C.targetOriginX), static_cast<uint32_t>(y1 + C.targetOriginY),
                                static_cast<uint32_t>(x2 - x1), static_cast<uint32_t>(y2 - y1),
                                0.0f, 1.0f};
  return SetViewport(&viewport);
}

namespace {
int SendScissor(const IntRect& onSurface) {
  const IntRect& s = C.scissor;
  if (s.x1 == onSurface.x1 && s.y1 == onSurface.y1 && s.x2 == onSurface.x2 && s.y2 == onSurface.y2 &&
      ForceStateReapply == 0)
    return 0;
  FlushVertexBatch();
  EndSceneIfOpen();
  C.scissor = onSurface;
  return Result(Sink().setScissorRect(Dev(), &onSurface));
}
}  // namespace

int SetScissorRect(const IntRect* rect) {
  if (!HasDevice()) return -1;
  const int32_t x = C.targetOriginX, y = C.targetOriginY;
  return SendScissor(IntRect{rect->x1 + x, rect->y1 + y, rect->x2 + x, rect->y2 + y});
}

int SetRenderTargetSurface(void* surface) {
  if (!HasDevice()) return -1;
  if (C.renderTarget == surface && ForceStateReapply == 0) return 0;
  FlushVertexBatch();
  const int32_t hr = Sink().setRenderTarget(Dev(), surface);
  if (hr < 0) return -1;
  C.renderTarget = surface;
  int32_t width = 0;
  int32_t height = 0;
  Sink().surfaceSize(surface, &width, &height);
  // Setting a render target resets the device's viewport to the whole surface.
  C.viewport = {0, 0, static_cast<uint32_t>(width), static_cast<uint32_t>(height), 0.0f, 1.0f};
  Sink().setViewport(Dev(), &C.viewport);
  return 0;
}

// --- Deferred draw-mode setters -----------------------------------------------------------------

int SetDrawTexture(void* texture) {
  if (C.drawTexture != texture) {
    FlushVertexBatch();
    // A texture replacing none, or the reverse, changes the stage recipe and the vertex
    // format: the whole draw mode is applied again, whichever draw prepares it.
    if ((C.drawTexture == nullptr) != (texture == nullptr)) C.modeChanged = 1;
    C.drawTexture = texture;
    C.textureChanged = 1;
  }
  return 0;
}

int SetBlendTexture(int32_t borderRange, void* texture, int32_t borderParam) {
  if (borderRange == -1) borderRange = C.borderRange;
  if (borderParam == -1) borderParam = C.borderParam;
  if (C.blendTexture == texture && C.borderRange == borderRange && C.borderParam == borderParam)
    return 0;
  FlushVertexBatch();
  C.blendTexture = texture;
  C.borderRange = borderRange;
  C.borderParam = borderParam;
  C.modeChanged = 1;
  return 0;
}

int SetDrawModeParams(int32_t blendMode, int32_t alphaChannel, int32_t alphaTest) {
  if (C.blendMode == blendMode && C.alphaChannel == alphaChannel && C.alphaTest == alphaTest)
    return 0;
  FlushVertexBatch();
  C.blendMode = blendMode;
  C.alphaChannel = alphaChannel;
  C.alphaTest = alphaTest;
  C.modeChanged = 1;
  return 0;
}

int SetUserDrawModeBlock(const DrawModeBlock* block, int32_t value) {
  FlushVertexBatch();
  if (block == nullptr) {
    C.userBlockOn = 0;
    C.modeChanged = 1;
    return 0;
  }
  C.userBlock = *block;
  // A block names at most the eight stages the device and the cache have.
  if (C.userBlock.stageCount < 0) C.userBlock.stageCount = 0;
  if (C.userBlock.stageCount > SamplerStageCount) C.userBlock.stageCount = SamplerStageCount;
  C.userBlockOn = 1;
  C.userBlockValue = value;
  return ApplyDrawMode(1, nullptr, value);
}

// --- Scene and batch ----------------------------------------------------------------------------

int BeginSceneIfNeeded() {
  if (!HasDevice()) return -1;
  if (C.sceneOpen) return 0;
  C.sceneOpen = 1;
  return Result(Sink().beginScene(Dev()));
}

int EndSceneIfOpen() {
  if (!HasDevice()) return -1;
  if (!C.sceneOpen) return 0;
  FlushVertexBatch();
  C.sceneOpen = 0;
  return Result(Sink().endScene(Dev()));
}

namespace {
uint32_t PrimitiveCount(uint32_t type, int32_t n) {
  switch (type) {
    case PointList: return static_cast<uint32_t>(n);
    case LineList: return static_cast<uint32_t>(n / 2);
    case LineStrip: return n > 0 ? static_cast<uint32_t>(n - 1) : 0;
    case TriangleList: return static_cast<uint32_t>(n / 3);
    case TriangleStrip:
    case TriangleFan: return n > 1 ? static_cast<uint32_t>(n - 2) : 0;
    default: return 0;
  }
}

void ResetWritePosition() {
  VertexBatch.pendingCount = 0;
  VertexBatch.writePosition = VertexBatch.arrays[VertexBatch.formatIndex];
}
}  // namespace

int FlushVertexBatch() {
  if (!HasDevice()) return -1;
  VertexBatchRecord& b = VertexBatch;
  if (b.pendingCount > 0 && QuitFlag == 0) {
    BeginSceneIfNeeded();
    if (!C.skipDraw) {
      const VertexFormatInfo& format = VertexFormats[b.formatIndex];
      const uint32_t count = PrimitiveCount(b.primitiveType, b.pendingCount);
      if (C.fvf != format.fvf) {
        Sink().setFvf(Dev(), format.fvf);
        C.fvf = format.fvf;
      }
      Sink().drawPrimitiveUp(Dev(), b.primitiveType, count, b.arrays[b.formatIndex], format.stride);
      ++b.drawCalls;
      b.verticesDrawn += b.pendingCount;
    }
  }
  ResetWritePosition();
  return 0;
}

void* QueueQuadVertices() {
  VertexBatchRecord& b = VertexBatch;
  if (b.arrays[0] == nullptr) return nullptr;
  if ((b.pendingCount > 0 && b.primitiveType != TriangleList) ||
      b.pendingCount + 6 >= VertexFormats[b.formatIndex].capacity)
    FlushVertexBatch();
  b.primitiveType = TriangleList;
  void* at = b.writePosition;
  b.writePosition += 6 * VertexFormats[b.formatIndex].stride;
  b.pendingCount += 6;
  return at;
}

void ResetDeviceStateCache() {
  C = DeviceStateCacheRecord{};
  C.diffuseSource = 255;
  C.specularSource = 255;
}

void ForgetDeviceObjectsInCache() {
  C.vertexShader = C.pixelShader = C.vertexDeclaration = nullptr;
  C.fvf = 0;
  C.textures.fill(nullptr);
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

// --- Draw mode -------------------------------------------------------------------------------------

namespace {

struct BlendModeRow {
  uint32_t src, dest;  // 0 = the blend factors are not sent
  int32_t recipe;
  uint32_t op;
};
constexpr std::array<BlendModeRow, 13> BlendModeTable{{
    {0, 0, 0, BlendOpAdd},
    {BlendSrcAlpha, BlendInvSrcAlpha, 0, BlendOpAdd},
    {BlendSrcAlpha, BlendOne, 0, BlendOpAdd},
    {BlendInvDestColor, BlendZero, 0, BlendOpAdd},
    {BlendZero, BlendSrcColor, 0, BlendOpAdd},
    {BlendSrcAlpha, BlendOne, 0, BlendOpAdd},
    {0, 0, 0, BlendOpAdd},
    {0, 0, 0, BlendOpAdd},
    {BlendZero, BlendOne, 0, BlendOpAdd},
    {BlendInvDestColor, BlendZero, 0, BlendOpAdd},
    {BlendSrcAlpha, BlendInvSrcAlpha, 2, BlendOpAdd},
    {BlendZero, BlendSrcColor, 1, BlendOpAdd},
    {BlendSrcAlpha, BlendOne, 0, BlendOpRevSubtract},
}};

constexpr uint16_t Leave = 0xFFFF;

constexpr RecipeStage Stage(int16_t coords, uint16_t aOp, uint16_t a1, uint16_t a2, uint16_t cOp,
                            uint16_t c1, uint16_t c2) {
  return {coords, a1, a2, aOp, c1, c2, cOp};
}

// Stage 0 colour of an image: c = 0 takes X, c = 1 modulates it with the vertex colour.
constexpr void ImageColour(RecipeStage& s, int c, uint16_t x) {
  s.colourOp = c ? TopModulate : TopSelectArg1;
  s.colourArg1 = x;
  s.colourArg2 = c ? uint16_t{TaDiffuse} : Leave;
}

constexpr DrawRecipe BuildRecipe(int index) {
  DrawRecipe r{};
  const int recipe = index / 24;
  const bool blend = (index % 24) >= 12;
  const int c = (index % 12) / 6;
  const int a = (index % 6) / 3;
  const int k = index % 3;
  if (blend && recipe != 0) return r;  // recipe 1 with a blend texture: no stage
  if (!blend) {
    RecipeStage s0 = k == 0 ? Stage(0, TopSelectArg2, Leave, TaDiffuse, 0, 0, 0)
                     : a == 0 ? Stage(0, TopSelectArg1, TaTexture, Leave, 0, 0, 0)
                              : Stage(0, TopModulate, TaTexture, TaDiffuse, 0, 0, 0);
    ImageColour(s0, c, recipe == 2 ? uint16_t{TaTexture | TaComplement} : uint16_t{TaTexture});
    r.stages[0] = s0;
    r.stageCount = 1;
    if (recipe == 1) {
      r.stages[1] = Stage(-1, TopSelectArg1, TaCurrent, Leave, TopBlendCurrentAlpha, TaCurrent, TaTFactor);
      r.stageCount = 2;
    }
    return r;
  }
  r.stages[0] = Stage(0, TopAdd, TaTexture, TaTFactor, TopSelectArg2, Leave, TaDiffuse);
  if (k == 0) {
    RecipeStage s1 = a == 0 ? Stage(1, TopModulate, TaCurrent, TaDiffuse, 0, 0, 0)
                            : Stage(1, TopModulate, TaDiffuse, TaCurrent, 0, 0, 0);
    ImageColour(s1, c, TaTexture);
    r.stages[1] = s1;
    r.stageCount = 2;
  } else if (k == 2) {
    RecipeStage s1 = Stage(1, TopModulate, TaTexture, TaCurrent, 0, 0, 0);
    ImageColour(s1, c, TaTexture);
    r.stages[1] = s1;
    r.stageCount = 2;
    if (a == 1) {
      r.stages[2] = Stage(1, TopModulate, TaDiffuse, TaCurrent, TopSelectArg1, TaCurrent, Leave);
      r.stageCount = 3;
    }
  } else {
    r.stages[1] = Stage(1, TopModulate, TaSpecular, TaCurrent, TopSelectArg1, TaCurrent, Leave);
    RecipeStage s2 = Stage(1, TopModulate, TaTexture, TaCurrent, 0, 0, 0);
    ImageColour(s2, c, TaTexture);
    r.stages[2] = s2;
    r.stageCount = 3;
    if (a == 1) {
      r.stages[3] = Stage(0, TopModulate, TaDiffuse, TaCurrent, TopSelectArg1, TaCurrent, Leave);
      r.stageCount = 4;
    }
  }
  return r;
}

constexpr std::array<DrawRecipe, DrawRecipeCount> BuildRecipeTable() {
  std::array<DrawRecipe, DrawRecipeCount> table{};
  for (int i = 0; i < DrawRecipeCount; ++i) table[i] = BuildRecipe(i);
  return table;
}

// Without a draw texture: the vertex colour alone (one stage per recipe).
constexpr std::array<RecipeStage, 3> UntexturedStages{{
    Stage(0, TopSelectArg1, TaDiffuse, Leave, TopSelectArg1, TaDiffuse, Leave),
    Stage(0, TopSelectArg1, TaDiffuse, Leave, TopBlendDiffuseAlpha, TaDiffuse, TaTFactor),
    Stage(0, TopSelectArg1, TaDiffuse, Leave, TopSelectArg1, TaDiffuse | TaComplement, Leave),
}};

constexpr std::array<uint32_t, DrawModeStateCount> DrawModeStateIds{
    RsAlphaTestEnable, RsAlphaRef, RsAlphaFunc, RsAlphaBlendEnable,
    RsTextureFactor,   RsSrcBlend, RsDestBlend, RsBlendOp};

void SendDrawModeState(int32_t which, uint32_t value) {
  uint32_t& cached = C.applied.states[which];
  if (cached == value && ForceStateReapply == 0) return;
  cached = value;
  Sink().setRenderState(Dev(), DrawModeStateIds[which], value);
  if (which == DmTextureFactor) SendTextureFactorShaderConstant(value);
}

constexpr std::array<uint32_t, 6> StageValueTypes{TssAlphaArg1, TssAlphaArg2, TssAlphaOp,
                                                  TssColorArg1, TssColorArg2, TssColorOp};

void SendStage(uint32_t stage, const DrawModeStage& s) {
  DrawModeStage& cached = C.applied.stages[stage];
  SendTexture(stage, s.texture);
  cached.texture = s.texture;
  if (s.texCoordIndex >= 0 && (cached.texCoordIndex != s.texCoordIndex || ForceStateReapply)) {
    Sink().setTextureStageState(Dev(), stage, TssTexCoordIndex, static_cast<uint32_t>(s.texCoordIndex));
    cached.texCoordIndex = s.texCoordIndex;
  }
  const auto& types = StageValueTypes;
  for (int i = 0; i < 6; ++i) {
    if (s.values[i] == Leave) continue;
    if (cached.values[i] == s.values[i] && ForceStateReapply == 0) continue;
    cached.values[i] = s.values[i];
    SendStageValue(stage, types[i], s.values[i]);
  }
}

void DisableStage(uint32_t stage) {
  if (stage >= SamplerStageCount) return;
  DrawModeStage off = C.applied.stages[stage];
  off.texture = nullptr;
  off.texCoordIndex = -1;
  for (auto& v : off.values) v = Leave;
  off.values[2] = TopDisable;
  off.values[5] = TopDisable;
  SendStage(stage, off);
}

DrawModeStage FromRecipe(const RecipeStage& r, void* texture) {
  return {texture, r.texCoordIndex,
          {r.alphaArg1, r.alphaArg2, r.alphaOp, r.colourArg1, r.colourArg2, r.colourOp}};
}

// Sends a whole block: states, stages, the stage after the last disabled.
void SendBlock(const DrawModeBlock& block, bool sendBlendFactors) {
  const int32_t stagesBefore = C.applied.stageCount;
  if (block.stageCount != stagesBefore) {
    C.applied.stageCount = block.stageCount;
    C.stagesInUse = block.stageCount;
    const int32_t force = ForceStateReapply;
    ForceStateReapply = 1;
    SetTextureFilter(C.filterKind);
    SetMaxAnisotropy(C.anisotropy < 1 ? 1 : C.anisotropy);
    ForceStateReapply = force;
  }
  for (int32_t i = 0; i < DrawModeStateCount; ++i) {
    if (!sendBlendFactors && (i == DmSrcBlend || i == DmDestBlend)) continue;
    SendDrawModeState(i, block.states[i]);
  }
  for (int32_t s = 0; s < block.stageCount && s < SamplerStageCount; ++s)
    SendStage(static_cast<uint32_t>(s), block.stages[s]);
  DisableStage(static_cast<uint32_t>(block.stageCount));
}

// Replaces graph handles of a user block by the graphs' textures (validated like handles).
void* ResolveStageTexture(void* entry, int32_t resolve);

}  // namespace

const std::array<DrawRecipe, DrawRecipeCount> DrawRecipeTable = BuildRecipeTable();

BorderStates ComputeBorderStates(int32_t p, int32_t r, int32_t imageKind) {
  BorderStates out{};
  out.skipDraw = p == 255 ? 1 : 0;
  if (r <= 1) {
    out.alphaTest = 1;
    out.alphaFunc = CmpGreaterEqual;
    out.alphaRef = static_cast<uint32_t>(p == 0 && (imageKind == 1 || imageKind == 2) ? 1 : p);
    out.alphaBlend = 0;
    out.textureFactor = 0x00FFFFFF;
    return out;
  }
  out.alphaTest = 0;
  out.alphaBlend = 1;
  int32_t aa = 0;
  if (r <= 64) {
    const int32_t s = p * 1280 / 255;
    out.nextStageAlphaOp = TopModulate4x;
    if (s < 257) {
      aa = (256 - s) * 64 / 256;
      out.stage0AlphaOp = TopAdd;
    } else {
      aa = 255 - (326400 - 255 * s) / 1024;
      out.stage0AlphaOp = TopSubtract;
    }
  } else if (r <= 128) {
    const int32_t s = p * 768 / 255;
    out.nextStageAlphaOp = TopModulate2x;
    if (s < 257) {
      aa = (256 - s) * 128 / 256;
      out.stage0AlphaOp = TopAdd;
    } else {
      aa = 255 - (195840 - 255 * s) / 512;
      out.stage0AlphaOp = TopSubtract;
    }
  } else {
    const int32_t h = 512 - p * 512 / 255;
    out.nextStageAlphaOp = TopModulate;
    if (h < 256) {
      aa = 255 - h * 255 / 256;
      out.stage0AlphaOp = TopSubtract;
    } else {
      aa = (h - 256) * 255 / 256;
      out.stage0AlphaOp = TopAdd;
    }
  }
  out.textureFactor = (static_cast<uint32_t>(aa & 0xFF) << 24) | 0x00FFFFFF;
  return out;
}

int ApplyDrawMode(int32_t resolveHandles, const DrawModeBlock* block, int32_t value) {
  if (!HasDevice()) return -1;
  (void)value;
  if (block == nullptr && C.userBlockOn) block = &C.userBlock;
  if (block != nullptr) {
    DrawModeBlock resolved = *block;
    if (resolved.stageCount < 0) resolved.stageCount = 0;
    if (resolved.stageCount > SamplerStageCount) resolved.stageCount = SamplerStageCount;
    for (int32_t s = 0; s < resolved.stageCount && s < SamplerStageCount; ++s)
      resolved.stages[s].texture = ResolveStageTexture(resolved.stages[s].texture, resolveHandles);
    FlushVertexBatch();
    SendBlock(resolved, true);
    C.modeChanged = C.textureChanged = 0;
    return 0;
  }
  if (ForceStateReapply == 0 && C.modeChanged == 0) {
    if (C.textureChanged == 0) return -1;
    FlushVertexBatch();
    const uint32_t stage = C.blendTexture == nullptr ? 0 : (C.alphaChannel ? 2 : 1);
    SendTexture(stage, C.drawTexture);
    C.applied.stages[stage].texture = C.drawTexture;
    C.textureChanged = 0;
    return 0;
  }
  FlushVertexBatch();

  const int32_t mode = C.blendMode >= 0 && C.blendMode <= 12 ? C.blendMode : 0;
  BlendModeRow row = BlendModeTable[mode];
  if (mode == 3 && ReverseSubtractSupported()) row = {BlendSrcAlpha, BlendOne, 0, BlendOpRevSubtract};
  // Mode 7, like mode 6, draws with blending off (the table would leave it on with
  // whatever factors were sent last).
  const bool blendingMode = mode != 0 && mode != 6 && mode != 7;
  const int32_t k = C.alphaChannel ? 1 : (C.alphaTest ? 2 : 0);
  const int32_t c = C.colourModulate ? 1 : 0;
  const int32_t a = C.alphaModulate ? 1 : 0;

  DrawModeBlock out{};
  out.states = C.applied.states;
  out.states[DmBlendOp] = row.op;
  C.skipDraw = 0;
  bool sendFactors = row.src != 0;
  if (sendFactors) {
    out.states[DmSrcBlend] = row.src;
    out.states[DmDestBlend] = row.dest;
  }
  if (C.drawTexture == nullptr) {
    out.stageCount = 1;
    out.stages[0] = FromRecipe(UntexturedStages[row.recipe], nullptr);
    out.states[DmAlphaTestEnable] = 0;
    out.states[DmAlphaBlendEnable] = blendingMode ? 1 : 0;
    if (row.recipe == 1) out.states[DmTextureFactor] = 0xFFFFFFFF;
    VertexBatch.formatIndex = 0;
  } else if (C.blendTexture == nullptr) {
    // Multiplying by an image with alpha (or a transparent colour) mixes towards the
    // product by the texel's alpha alone, as mode 11 does with the parameter: a transparent
    // texel keeps the destination.
    const bool alphaProduct = mode == 4 && k == 1;
    const int32_t recipeIndex = alphaProduct ? 24 * BlendModeTable[11].recipe + 6 * c + k
                                             : 24 * row.recipe + 6 * c + 3 * a + k;
    const DrawRecipe& recipe = DrawRecipeTable[recipeIndex];
    out.stageCount = recipe.stageCount;
    for (int32_t s = 0; s < recipe.stageCount; ++s)
      out.stages[s] = FromRecipe(recipe.stages[s], s == 0 ? C.drawTexture : nullptr);
    if (k == 2) {
      out.states[DmAlphaTestEnable] = 1;
      out.states[DmAlphaRef] = 16;
      out.states[DmAlphaFunc] = CmpGreater;
    } else if (C.zEnable == 1) {
      out.states[DmAlphaTestEnable] = 1;
      out.states[DmAlphaRef] = 0;
      out.states[DmAlphaFunc] = CmpGreater;
    } else {
      out.states[DmAlphaTestEnable] = 0;
    }
    if (k == 1 && !blendingMode) {
      out.states[DmSrcBlend] = BlendSrcAlpha;
      out.states[DmDestBlend] = BlendInvSrcAlpha;
      sendFactors = true;
    }
    out.states[DmAlphaBlendEnable] = k == 1 || blendingMode ? 1 : 0;
    out.states[DmTextureFactor] = 0xFFFFFFFF;
    VertexBatch.formatIndex = 1;
  } else {
    const DrawRecipe& recipe = DrawRecipeTable[12 + 6 * c + 3 * a + k];
    out.stageCount = recipe.stageCount;
    for (int32_t s = 0; s < recipe.stageCount; ++s) {
      void* texture = nullptr;
      if (s == 0) texture = C.blendTexture;
      if ((k != 1 && s == 1) || (k == 1 && s == 2)) texture = C.drawTexture;
      out.stages[s] = FromRecipe(recipe.stages[s], texture);
    }
    if (!blendingMode) {
      out.states[DmSrcBlend] = BlendSrcAlpha;
      out.states[DmDestBlend] = BlendInvSrcAlpha;
      sendFactors = true;
    }
    const BorderStates border = ComputeBorderStates(C.borderParam, C.borderRange, k);
    out.states[DmAlphaTestEnable] = static_cast<uint32_t>(border.alphaTest);
    if (border.alphaTest) {
      out.states[DmAlphaRef] = border.alphaRef;
      out.states[DmAlphaFunc] = border.alphaFunc;
    }
    out.states[DmAlphaBlendEnable] = static_cast<uint32_t>(border.alphaBlend);
    out.states[DmTextureFactor] = border.textureFactor;
    if (border.stage0AlphaOp != 0) out.stages[0].values[2] = border.stage0AlphaOp;
    if (border.nextStageAlphaOp != 0 && out.stageCount > 1) out.stages[1].values[2] = border.nextStageAlphaOp;
    C.skipDraw = border.skipDraw;
    VertexBatch.formatIndex = 2;
  }
  SendBlock(out, sendFactors);
  ResetWritePosition();
  C.modeChanged = C.textureChanged = 0;
  return 0;
}

namespace {
void* ResolveStageTexture(void* entry, int32_t resolve) {
  // An entry with the layout of a graph handle names a graph: its first texture, or none
  // for a handle that does not validate. Anything else is a texture already.
  const uintptr_t value = reinterpret_cast<uintptr_t>(entry);
  if (resolve == 0 || value > 0x7FFFFFFF || (value & 0x78000000) != 0x08000000 || (value & 0x8000) != 0)
    return entry;
  const GraphRecord* graph = GetGraphRecord(static_cast<int32_t>(value));
  return graph != nullptr && graph->image != nullptr ? graph->image->firstTexture : nullptr;
}
}  // namespace

// --- Preparing a draw -------------------------------------------------------------------------

int PrepareDrawState(const ColorFormat* format, int32_t transparent, void* texture, uint32_t flags) {
  if (!HasDevice()) return -1;
  if (C.vertexShader != nullptr || C.pixelShader != nullptr || C.vertexDeclaration != nullptr) {
    FlushVertexBatch();
    Sink().unsetShaders(Dev());
    C.vertexShader = C.pixelShader = C.vertexDeclaration = nullptr;
    C.fvf = 0;
  }
  DrawSettingsRecord& d = DrawSettings;
  if ((flags & 0x200) != 0 && d.lightingOff == 0) {
    if (d.lightsChanged || d.lightForceResend) {
      ApplyLights();
    } else {
      SetLighting(1);
    }
    if (d.materialChanged) {
      SetMaterial(&d.material);
      d.materialChanged = 0;
    }
    SetDiffuseMaterialSource(d.diffuseFromMaterial ? 0 : 1);
    SetSpecularMaterialSource(d.specularFromMaterial ? 0 : 1);
  } else {
    SetLighting(0);
  }
  SetSpecularEnable((flags & 0x400) != 0 ? 1 : 0);
  if ((flags & 0x100) == 0) {
    int32_t alphaChannel = 0;
    int32_t alphaTest = 0;
    if (texture != nullptr && format != nullptr && (flags & 0x1) != 0) {
      const bool hasAlpha = format->alphaWidth != 0;
      if (hasAlpha) {
        alphaChannel = 1;
      } else if (transparent) {
        const bool edgesBlend = (d.BlendMode != 0 && d.BlendMode != 8) ||
                                (d.filterMode == 1 && (flags & 0x2) == 0);
        (edgesBlend ? alphaChannel : alphaTest) = 1;
      }
    }
    const int32_t colourModulate =
        (flags & 0x20) != 0 || HoldColourModulation != 0 || (d.BrightColour & 0xFFFFFF) != 0xFFFFFF ? 1 : 0;
    const int32_t alphaModulate = (flags & 0x40) != 0 || d.BlendMode != 0 ? 1 : 0;
    if (colourModulate != C.colourModulate || alphaModulate != C.alphaModulate) {
      FlushVertexBatch();
      C.colourModulate = colourModulate;
      C.alphaModulate = alphaModulate;
      C.modeChanged = 1;
    }
    SetDrawTexture(texture);
    SetDrawModeParams(d.BlendMode, alphaChannel, alphaTest);
    if (C.modeChanged || C.textureChanged) ApplyDrawMode(1, nullptr, 0);
  }
  SetShadeMode((flags & 0x8) != 0 ? ShadeGouraud : ShadeFlat);
  SetTextureFilter(d.filterMode);
  SetMaxAnisotropy(d.maxAnisotropy);
  SetCullMode(d.cullMode);
  if ((flags & 0x1000) != 0) {
    for (int32_t s = 0; s < SamplerStageCount; ++s) {
      SetAddressU(static_cast<uint32_t>(d.addressU[s]), s);
      SetAddressV(static_cast<uint32_t>(d.addressV[s]), s);
    }
  } else {
    for (int32_t s = 0; s < 4; ++s) {
      SetAddressU(AddressClamp, s);
      SetAddressV(AddressClamp, s);
    }
  }
  const std::array<int32_t, 4>& depth = (flags & 0x800) != 0 ? d.depth3D : d.depth2D;
  SetZEnable(depth[0]);
  if (depth[0] != 0) {
    SetZWriteEnable(depth[1]);
    SetZFunc(depth[2]);
    SetDepthBias(depth[3]);
  }
  SetFogEnable((flags & 0x80) != 0 ? d.fogEnable : 0);
  return 0;
}

int FillRectDirect3D(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour) {
  if (!HasDevice()) return -1;
  IntRect rect{x1 < x2 ? x1 : x2, y1 < y2 ? y1 : y2, x1 < x2 ? x2 : x1, y1 < y2 ? y2 : y1};
  ClipRectangle(rect, DrawSettings.ClipRect);
  if (rect.x1 == rect.x2 || rect.y1 == rect.y2) return 0;
  BeginSceneIfNeeded();
  SetDrawTexture(nullptr);
  PrepareDrawState(nullptr, 0, nullptr, 0x20);
  int32_t r = 0;
  int32_t g = 0;
  int32_t b = 0;
  SplitScreenColourCode(colour, &r, &g, &b);
  const uint32_t diffuse = VertexBatch.diffuse;
  r = r * static_cast<int32_t>((diffuse >> 16) & 0xFF) / 255;
  g = g * static_cast<int32_t>((diffuse >> 8) & 0xFF) / 255;
  b = b * static_cast<int32_t>(diffuse & 0xFF) / 255;
  const uint32_t argb = (diffuse & 0xFF000000) | static_cast<uint32_t>(r << 16 | g << 8 | b);
  auto* v = static_cast<Vertex2D*>(QueueQuadVertices());
  if (v == nullptr) return -1;
  const float z = DrawSettings.z2D;
  const float ox = static_cast<float>(C.targetOriginX) - 0.5f;
  const float oy = static_cast<float>(C.targetOriginY) - 0.5f;
  const float left = static_cast<float>(rect.x1) + ox;
  const float top = static_cast<float>(rect.y1) + oy;
  const float right = static_cast<float>(rect.x2) + ox;
  const float bottom = static_cast<float>(rect.y2) + oy;
  v[0] = {left, top, z, 1.0f, argb};
  v[1] = {right, top, z, 1.0f, argb};
  v[2] = {left, bottom, z, 1.0f, argb};
  v[3] = {right, top, z, 1.0f, argb};
  v[4] = {right, bottom, z, 1.0f, argb};
  v[5] = {left, bottom, z, 1.0f, argb};
  return 0;
}

int DrawIndexedGrid(int32_t columns, int32_t rows, const TexVertex2D* vertices) {
  if (columns < 2 || rows < 2) return -1;
  if (!HasDevice()) return -1;
  FlushVertexBatch();
  BeginSceneIfNeeded();
  if (C.fvf != VertexFormats[1].fvf) {
    Sink().setFvf(Dev(), VertexFormats[1].fvf);
    C.fvf = VertexFormats[1].fvf;
  }
  constexpr int32_t MaxIndices = 1000;
  // A strip through w columns of a row pair takes 2 w indices plus two to join it to the
  // one before; wider rows go in pieces that share their edge column.
  constexpr int32_t MaxChunkColumns = MaxIndices / 2 - 1;
  // Indices are 16 bits relative to the first vertex of each draw; the lower row of a
  // piece lies `columns` vertices after its upper row.
  if (columns > 65536 - MaxChunkColumns) return -1;
  std::array<uint16_t, MaxIndices> indices{};
  int32_t count = 0;
  int64_t base = 0;      // first vertex of the current draw
  int64_t highest = 0;   // highest index used in it
  auto draw = [&] {
    if (count > 2)
      Sink().drawIndexedPrimitiveUp(Dev(), TriangleStrip, static_cast<uint32_t>(highest + 1),
                                    static_cast<uint32_t>(count - 2), indices.data(), vertices + base,
                                    VertexFormats[1].stride);
    count = 0;
    highest = 0;
  };
  for (int32_t r = 0; r + 1 < rows; ++r) {
    for (int32_t c0 = 0; c0 + 1 < columns; c0 += MaxChunkColumns - 1) {
      const int32_t c1 = c0 + MaxChunkColumns - 1 < columns - 1 ? c0 + MaxChunkColumns - 1 : columns - 1;
      const int32_t width = c1 - c0 + 1;
      const int64_t first = static_cast<int64_t>(r) * columns + c0;
      const int64_t last = first + columns + (c1 - c0);
      if (count > 0 && (count + 2 + 2 * width > MaxIndices || last - base > 0xFFFF)) draw();
      if (count == 0) base = first;
      if (count > 0) {
        indices[count] = indices[count - 1];
        ++count;
        indices[count++] = static_cast<uint16_t>(first - base);
      }
      for (int32_t c = 0; c < width; ++c) {
        indices[count++] = static_cast<uint16_t>(first + c - base);
        indices[count++] = static_cast<uint16_t>(first + columns + c - base);
      }
      if (last - base > highest) highest = last - base;
    }
  }
  draw();
  return 0;
}

// --- Whole-state passes ---------------------------------------------------------------------------

int ResetBaseStates() {
  if (!HasDevice()) return -1;
  FlushVertexBatch();
  for (int32_t s = 0; s < 4; ++s) {
    Sink().setSamplerState(Dev(), static_cast<uint32_t>(s), SampAddressU, C.addressU[s]);
    Sink().setSamplerState(Dev(), static_cast<uint32_t>(s), SampAddressV, C.addressV[s]);
  }
  static constexpr std::array<uint32_t, 4> coords{0, 1, 1, 0};
  for (uint32_t s = 0; s < 4; ++s) {
    Sink().setTextureStageState(Dev(), s, TssTexCoordIndex, coords[s]);
    C.applied.stages[s].texCoordIndex = static_cast<int32_t>(coords[s]);
  }
  Sink().setRenderState(Dev(), RsShadeMode, static_cast<uint32_t>(C.shadeMode));
  Sink().setRenderState(Dev(), RsLighting, static_cast<uint32_t>(C.lighting));
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
    const DrawModeStage& stage = C.applied.stages[s];
    if (stage.texCoordIndex >= 0)
      Sink().setTextureStageState(Dev(), s, TssTexCoordIndex, static_cast<uint32_t>(stage.texCoordIndex));
    for (size_t i = 0; i < StageValueTypes.size(); ++i) SendStageValue(s, StageValueTypes[i], stage.values[i]);
    Sink().setSamplerState(Dev(), s, SampAddressU, C.addressU[s]);
    Sink().setSamplerState(Dev(), s, SampAddressV, C.addressV[s]);
    Sink().setSamplerState(Dev(), s, SampMagFilter, C.magFilter[s]);
    Sink().setSamplerState(Dev(), s, SampMinFilter, C.minFilter[s]);
    Sink().setSamplerState(Dev(), s, SampMipFilter, C.mipFilter[s]);
    Sink().setSamplerState(Dev(), s, SampMaxAnisotropy, C.maxAnisotropy[s]);
  }
}
}  // namespace

int RestoreAllDeviceStates() {
  if (!HasDevice()) return -1;
  ForceStateReapply = 1;
  const DeviceViewport viewport = C.viewport;
  SetViewport(&viewport);
  const IntRect scissor = C.scissor;
  SendScissor(scissor);
  ResetBaseStates();
  ResendAllStages();
  SetTextureFilter(C.filterKind);
  ApplyDrawMode(1, nullptr, 0);
  SetZEnable(C.zEnable);
  SetZWriteEnable(C.zWriteEnable);
  SetZFunc(C.zFunc);
  SetDepthBias(C.depthBias);
  SetCullMode(C.cullMode);
  SetShadeMode(C.shadeMode);
  ForceStateReapply = 0;
  return 0;
}

int ReapplyRenderStates() {
  if (!HasDevice()) return -1;
  Sink().setRenderState(Dev(), RsDitherEnable, 0);
  ForceStateReapply = 1;
  C.drawTexture = nullptr;
  VertexBatch.pendingCount = 0;
  // Every blend and alpha state the old device held, also those the current draw mode does
  // not send (the blend factors of the copy mode): later draws skip what the cache already
  // names. A 0 that names no valid value was never sent.
  for (int32_t which = 0; which < DrawModeStateCount; ++which) {
    const bool zeroIsAValue = which == DmAlphaTestEnable || which == DmAlphaRef || which == DmAlphaBlendEnable ||
                              which == DmTextureFactor;
    if (C.applied.states[which] != 0 || zeroIsAValue) SendDrawModeState(which, C.applied.states[which]);
  }
  SetDrawModeParams(C.blendMode, C.alphaChannel, C.alphaTest);
  SetCullMode(C.cullMode);
  SetTextureFilter(C.filterKind);
  SetShadeMode(C.shadeMode);
  SetMaxAnisotropy(C.anisotropy);
  for (int32_t s = 0; s < SamplerStageCount; ++s) {
    SetAddressU(C.addressU[s], s);
    SetAddressV(C.addressV[s], s);
  }
  SetFogEnable(C.fogEnable);
  SetFogMode(C.fogMode);
  SetFogColour(C.fogColour);
  SetFogStartEnd(C.fogStart, C.fogEnd);
  SetFogDensity(C.fogDensity);
  SetZEnable(C.zEnable);
  SetZWriteEnable(C.zWriteEnable);
  SetZFunc(C.zFunc);
  SetDepthBias(C.depthBias);
  const TransformBlock t = DrawSettings.transforms;
  SetWorldMatrix(&t.world);
  SetViewMatrix(&t.view);
  SetProjectionMatrix(&t.projection);
  SetViewportMatrix(&t.viewport);
  const DeviceMaterial material = C.material;
  SetMaterial(&material);
  SetSpecularEnable(C.specularEnable);
  SetDiffuseMaterialSource(C.diffuseSource == McsColor1);
  SetSpecularMaterialSource(C.specularSource == McsColor2);
  SetAmbientColour(C.ambient);
  SetLighting(C.lighting);
  for (int32_t i = 0; i < DeviceLightCapacity; ++i) {
    if (!C.lightHasData[i]) continue;
    const DeviceLight light = C.lights[i];
    SetLight(&light, i);
    EnableLight(i, C.lightEnabled[i]);
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
  const uint32_t filter = static_cast<uint32_t>(C.filterKind) + 1;
  const uint32_t mip = filter > FilterLinear ? FilterLinear : filter;
  for (int32_t s = 0; s < SamplerStageCount; ++s) {
    if (d.addressU[s] == 0) d.addressU[s] = AddressClamp;
    if (d.addressV[s] == 0) d.addressV[s] = AddressClamp;
    const uint32_t stage = static_cast<uint32_t>(s);
    C.addressU[s] = static_cast<uint32_t>(d.addressU[s]);
    C.addressV[s] = static_cast<uint32_t>(d.addressV[s]);
    C.magFilter[s] = C.minFilter[s] = filter;
    C.mipFilter[s] = mip;
    C.maxAnisotropy[s] = 1;
    Sink().setSamplerState(Dev(), stage, SampAddressU, C.addressU[s]);
    Sink().setSamplerState(Dev(), stage, SampAddressV, C.addressV[s]);
    Sink().setSamplerState(Dev(), stage, SampMagFilter, filter);
    Sink().setSamplerState(Dev(), stage, SampMinFilter, filter);
    Sink().setSamplerState(Dev(), stage, SampMipFilter, mip);
    Sink().setSamplerState(Dev(), stage, SampMaxAnisotropy, 1);
  }
  C.anisotropy = 1;
  Sink().setRenderState(Dev(), RsCullMode, CullNone);
  Sink().setRenderState(Dev(), RsLighting, 1);
  Sink().setRenderState(Dev(), RsShadeMode, ShadeFlat);
  Sink().setRenderState(Dev(), RsDitherEnable, 0);
  Sink().setRenderState(Dev(), RsSpecularEnable, 1);
  Sink().setRenderState(Dev(), RsAmbientMaterialSource, McsMaterial);
  C.lighting = 1;
  C.specularEnable = 1;

  C.applied.states.fill(0);
  C.applied.stageCount = 0;
  for (DrawModeStage& stage : C.applied.stages) {
    stage.texture = nullptr;
    stage.texCoordIndex = 0;
    stage.values = {TaTexture, TaDiffuse, TopDisable, TaTexture, TaDiffuse, TopDisable};
  }
  C.drawTexture = nullptr;
  C.borderParam = -1;
  VertexBatch.diffuse = 0xFFFFFFFF;
  int32_t width = 0;
  int32_t height = 0;
  QueryScreenSizeOrDefault(&width, &height);
  C.viewport = {0, 0, static_cast<uint32_t>(width), static_cast<uint32_t>(height), 0.0f, 1.0f};
  C.zEnable = 1;
  C.zWriteEnable = 0;
  C.zFunc = CmpLessEqual;
  C.depthBias = 0;
  C.shadeMode = ShadeFlat;
  C.cullMode = 0;
  C.modeChanged = 1;

  RestoreAllDeviceStates();
  BeginSceneIfNeeded();
  PrepareDrawState(nullptr, 0, nullptr, 0);
  if (C.modeChanged || C.textureChanged) ApplyDrawMode(1, nullptr, 0);
  return 0;
}

}  // namespace quelt
