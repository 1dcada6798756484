#pragma once
// The Direct3D device's objects and facts, the cache of every state sent to it, the 2-D
// vertex batch and the translation of the abstract draw mode into device states. Every
// device state change goes through a cached setter here: it skips unchanged values
// (unless ForceStateReapply is set) and flushes the pending vertices first, so queued
// primitives are drawn with the states current when they were queued.
#include <array>
#include <cstdint>

#include "graphics/device_formats.h"
#include "graphics/device_sink.h"
#include "graphics/math3d.h"

namespace quelt {

// Device objects (opaque here; the Windows code owns their types). All null without a device.
struct GraphicsDeviceRecord {
  void* d3d9Module;
  void* directDraw;        // IDirectDraw7, on both back ends
  void* direct3D;          // IDirect3D9
  void* device;            // IDirect3DDevice9
  void* swapChain;
  void* backBuffer;
  void* zBuffer;
  int32_t zBufferWidth, zBufferHeight;
  void* subBackBuffer;
  uint32_t screenFormat;   // the back buffer's D3DFORMAT
  int32_t hardwareVertexProcessing;
  DeviceFacts facts;
  int32_t multiSampleType, multiSampleQuality;  // 0 = none; nothing sets them
  int32_t fpuPreserve;
  int32_t displayModeChanged;  // 1 while the software screen holds a display mode it set
};
extern GraphicsDeviceRecord GraphicsDevice;
// The device call table in use; null without a device.
extern const DeviceSink* ActiveDeviceSink;
inline bool HasDevice() { return GraphicsDevice.device != nullptr && ActiveDeviceSink != nullptr; }
inline int32_t ReverseSubtractSupported() { return GraphicsDevice.facts.reverseSubtract; }

inline constexpr int32_t SamplerStageCount = 8;
inline constexpr int32_t DeviceLightCapacity = 256;

// One stage of a draw recipe: texture-coordinate index (-1 = leave) and six values
// (0xFFFF = leave unchanged).
struct RecipeStage {
  int16_t texCoordIndex;
  uint16_t alphaArg1, alphaArg2, alphaOp, colourArg1, colourArg2, colourOp;
};
struct DrawRecipe {
  int32_t stageCount;
  std::array<RecipeStage, 4> stages;
};
inline constexpr int32_t DrawRecipeCount = 60;
extern const std::array<DrawRecipe, DrawRecipeCount> DrawRecipeTable;

// The eight blend and alpha states in their fixed order.
enum DrawModeState : int32_t {
  DmAlphaTestEnable,
  DmAlphaRef,
  DmAlphaFunc,
  DmAlphaBlendEnable,
  DmTextureFactor,
  DmSrcBlend,
  DmDestBlend,
  DmBlendOp,
  DrawModeStateCount,
};

struct DrawModeStage {
  void* texture;  // in a user block: a texture or a graph handle
  int32_t texCoordIndex;
  std::array<uint16_t, 6> values;  // alpha arg1, arg2, op, colour arg1, arg2, op
};
struct DrawModeBlock {
  std::array<uint32_t, DrawModeStateCount> states;
  int32_t stageCount;
  std::array<DrawModeStage, SamplerStageCount> stages;
};

struct DeviceStateCacheRecord {
  int32_t zEnable, zWriteEnable, zFunc, depthBias;
  int32_t shadeMode, cullMode, lighting, specularEnable;
  int32_t fogEnable, fogMode;
  uint32_t fogColour;
  float fogStart, fogEnd, fogDensity;
  uint32_t ambient;
  std::array<float, 4> ambientChannels;
  int32_t diffuseSource, specularSource;  // 255 = nothing sent yet
  void* renderTarget;
  // Where the draw screen's (0, 0) lies on the render target: a sub graph's place in its
  // parent's surface, else 0. 2-D vertices, the viewport and the scissor rectangle are
  // moved by it; the cached viewport and scissor hold surface coordinates.
  int32_t targetOriginX, targetOriginY;
  DeviceViewport viewport;
  IntRect scissor;
  std::array<uint32_t, SamplerStageCount> addressU, addressV, magFilter, minFilter, mipFilter,
      maxAnisotropy;
  std::array<void*, SamplerStageCount> textures;
  int32_t filterKind, anisotropy, stagesInUse;
  std::array<DeviceLight, DeviceLightCapacity> lights;
  std::array<int32_t, DeviceLightCapacity> lightEnabled;
  std::array<int32_t, DeviceLightCapacity> lightHasData;
  int32_t highestEnabledLight;
  DeviceMaterial material;
  int32_t materialSent;
  void* vertexShader;
  void* pixelShader;
  void* vertexDeclaration;
  uint32_t fvf;
  int32_t sceneOpen;
  // The pending draw mode.
  int32_t blendMode, alphaChannel, alphaTest, colourModulate, alphaModulate;
  void* drawTexture;
  void* blendTexture;
  int32_t borderParam, borderRange;
  int32_t modeChanged, textureChanged, skipDraw;
  // The applied draw-mode states and stages.
  DrawModeBlock applied;
  DrawModeBlock userBlock;
  int32_t userBlockOn, userBlockValue;
};
extern DeviceStateCacheRecord DeviceStateCache;
// While 1 every setter sends its value even when unchanged (device restoration).
extern int32_t ForceStateReapply;
// While 1 textured draws modulate by the vertex colour even when it is white, which leaves
// every texel as it is: a string whose edge and glyph layers alternate between white and a
// colour then keeps one stage recipe and one batch instead of changing both at every layer.
extern int32_t HoldColourModulation;

// --- The 2-D vertex batch ---------------------------------------------------------------
struct Vertex2D {
  float x, y, z, rhw;
  uint32_t colour;
};
struct TexVertex2D {
  float x, y, z, rhw;
  uint32_t colour;
  float u, v;
};
struct TexVertex2DSpec {
  float x, y, z, rhw;
  uint32_t colour, specular;
  float u, v, u2, v2;
};
static_assert(sizeof(Vertex2D) == 20 && sizeof(TexVertex2D) == 28 && sizeof(TexVertex2DSpec) == 40);

struct VertexFormatInfo {
  uint32_t fvf;
  uint32_t stride;
  int32_t capacity;
};
inline constexpr std::array<VertexFormatInfo, 3> VertexFormats{
    {{0x44, 20, 3225}, {0x144, 28, 2340}, {0x2C4, 40, 1638}}};

struct VertexBatchRecord {
  int32_t pendingCount;
  int32_t formatIndex;
  uint32_t primitiveType;
  uint32_t diffuse;  // cached vertex colour for new vertices; 0xFFFFFFFF after start
  uint8_t* writePosition;
  std::array<uint8_t*, 3> arrays;
  // The blend texture's size as floats and their reciprocals.
  float blendWidth, blendHeight, blendInvWidth, blendInvHeight;
  // Counters for tests and benchmarks: flushes that drew, vertices drawn.
  int64_t drawCalls, verticesDrawn;
};
extern VertexBatchRecord VertexBatch;

// --- Cached setters (no device: -1, or 0 where the table of the device layer says so) ---
int SetZEnable(int32_t on);
int SetZWriteEnable(int32_t on);
int SetZFunc(int32_t func);
int SetDepthBias(int32_t bits);
int SetShadeMode(int32_t mode);
int SetCullMode(int32_t ccw);
int SetLighting(int32_t on);
int SetSpecularEnable(int32_t on);
int SetDiffuseMaterialSource(int32_t fromColour);
int SetSpecularMaterialSource(int32_t fromColour);
int SetAmbientColour(uint32_t argb);
int SetFogEnable(int32_t on);
int SetFogMode(int32_t mode);
int SetFogColour(uint32_t argb);
int SetFogStartEnd(float start, float end);
int SetFogDensity(float density);
int SetAddressU(uint32_t mode, int32_t stage);
int SetAddressV(uint32_t mode, int32_t stage);
int SetTextureFilter(int32_t kind);
int SetMaxAnisotropy(int32_t value);
int SetLight(const DeviceLight* light, int32_t index);
int SetLightAndEnable(int32_t index, int32_t on, const DeviceLight* light);
int EnableLight(int32_t index, int32_t on);
int SetMaterial(const DeviceMaterial* material);
int SetViewport(const DeviceViewport* viewport);
// A rectangle of the draw screen (moved by the target origin onto the surface).
int SetViewportRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
int SetScissorRect(const IntRect* rect);
int SetRenderTargetSurface(void* surface);
int SetDrawTexture(void* texture);
int SetBlendTexture(int32_t borderRange, void* texture, int32_t borderParam);
int SetDrawModeParams(int32_t blendMode, int32_t alphaChannel, int32_t alphaTest);
int SetUserDrawModeBlock(const DrawModeBlock* block, int32_t value);
int SetWorldMatrix(const Matrix4* matrix);
int SetViewMatrix(const Matrix4* matrix);
int SetProjectionMatrix(const Matrix4* matrix);
int SetViewportMatrix(const Matrix4* matrix);
int UploadProjectionTransform(const Matrix4* matrix);
int BeginSceneIfNeeded();
int EndSceneIfOpen();

// Draws the pending vertices with one DrawPrimitiveUP (discarded while QuitFlag is set).
int FlushVertexBatch();
// Room for one quad as two triangles in the current format: flushes when the pending
// primitive is not a triangle list or the array would reach its capacity. Returns where
// the six vertices go.
void* QueueQuadVertices();
// The colour-modulation and alpha-modulation flags and image kind decide the recipe.
int ApplyDrawMode(int32_t resolveHandles, const DrawModeBlock* block, int32_t value);
// The flags of PrepareDrawState (the bits 0x4 and 0x10 are unused).
enum DrawPrepFlag : uint32_t {
  DrawPrepImageKind = 0x1,        // the image kind (alpha channel, alpha test) from the format
  DrawPrepExactTexel = 0x2,       // texels land on pixels: linear filtering keeps an alpha-test image tested
  DrawPrepGouraud = 0x8,          // Gouraud shading, else flat
  DrawPrepColourModulate = 0x20,  // modulate by the vertex colour even when it is white
  DrawPrepAlphaModulate = 0x40,   // modulate by the vertex alpha even in the copy mode
  DrawPrepFog = 0x80,             // the settings' fog, else none
  DrawPrepKeepMode = 0x100,       // the draw mode and texture stay as they are
  DrawPrepLit3D = 0x200,          // the settings' lights and material, else no lighting
  DrawPrepSpecular = 0x400,       // specular lighting on
  DrawPrepDepth3D = 0x800,        // the 3-D depth set, else the 2-D one
  DrawPrepStageAddress = 0x1000,  // the settings' address modes on every stage, else clamp on stages 0-3
};
struct ColorFormat;
int PrepareDrawState(const ColorFormat* format, int32_t transparent, void* texture, uint32_t flags);
int FillRectDirect3D(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);
// A grid of columns x rows TexVertex2D vertices as triangle strips. -1 below 2 x 2.
int DrawIndexedGrid(int32_t columns, int32_t rows, const TexVertex2D* vertices);
int ResetBaseStates();
int RestoreAllDeviceStates();
int ReapplyRenderStates();
int InitDeviceDrawState();
// Forgets the cached shader, declaration, FVF and texture values (a new device).
void ForgetDeviceObjectsInCache();
// Every cached value back to "nothing sent yet" (graphics shut down).
void ResetDeviceStateCache();

// The device states of a blend-texture border (pure): what ApplyDrawMode sends.
struct BorderStates {
  int32_t alphaTest;
  uint32_t alphaRef, alphaFunc;
  int32_t alphaBlend;
  uint32_t textureFactor;
  uint16_t stage0AlphaOp, nextStageAlphaOp;  // 0 = as in the recipe
  int32_t skipDraw;
};
BorderStates ComputeBorderStates(int32_t borderParam, int32_t borderRange, int32_t imageKind);
// The mip filter sent for a filter kind (always one Direct3D 9 accepts).
uint32_t MipFilterForKind(int32_t kind);

}  // namespace quelt
