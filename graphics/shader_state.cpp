#include "graphics/shader_state.h"

#include <cmath>

#include "core/log.h"
#include "graphics/d3d_values.h"
#include "graphics/device_state.h"
#include "graphics/draw_settings.h"
#include "graphics/shader_pack.h"

namespace quelt {

const ShaderSink* ActiveShaderSink = nullptr;
ShaderStateRecord ShaderState{};

namespace {


constexpr int32_t ShaderLightCount = 6;      // lights with vertex and pixel constants
constexpr int32_t ShaderLightBoolCount = 4;  // lights with boolean constants
constexpr uint32_t LightVertexBase = 14;
constexpr uint32_t LightPixelBase = 6;

void* Dev() { return GraphicsDevice.device; }
bool CanSend() { return ShaderState.inUse != 0 && HasDevice() && ActiveShaderSink != nullptr; }

void SendVertex(uint32_t start, const ShaderVec4* values, uint32_t count) {
  ActiveShaderSink->setVertexConstantF(Dev(), start, &values->x, count);
}
void SendPixel(uint32_t start, const ShaderVec4* values, uint32_t count) {
  ActiveShaderSink->setPixelConstantF(Dev(), start, &values->x, count);
}
void SendBool(uint32_t start, int32_t value) {
  ActiveShaderSink->setVertexConstantB(Dev(), start, &value, 1);
}

ShaderVec4 Colour(const DeviceColour& c) { return {c.r, c.g, c.b, c.a}; }
ShaderVec4 Product(const DeviceColour& a, const DeviceColour& b) {
  return {a.r * b.r, a.g * b.g, a.b * b.b, a.a * b.a};
}
// The four rows of the transposed matrix: one column of `m` each.
std::array<ShaderVec4, 4> Transposed(const Matrix4& m) {
  std::array<ShaderVec4, 4> rows{};
  for (int c = 0; c < 4; ++c) rows[c] = {m.m[0][c], m.m[1][c], m.m[2][c], m.m[3][c]};
  return rows;
}

void LogNoShaders() { WriteLog("プログラマブルシェーダーを使用しません\n"); }

template <size_t N>
void ReleaseAll(std::array<void*, N>& objects) {
  for (void*& object : objects) {
    if (object == nullptr) continue;
    if (ActiveShaderSink != nullptr) ActiveShaderSink->release(object);
    object = nullptr;
  }
}

// --- Vertex declarations -------------------------------------------------------------------

enum : uint8_t {
  TypeFloat2 = 1,
  TypeFloat3 = 2,
  TypeFloat4 = 3,
  TypeColour = 4,
  TypeUbyte4 = 5,
  TypeUnused = 17,
};
enum : uint8_t {
  UsagePosition = 0,
  UsageBlendWeight = 1,
  UsageBlendIndices = 2,
  UsageNormal = 3,
  UsageTexCoord = 5,
  UsageColour = 10,
};

struct BaseElement {
  uint16_t offset;
  uint8_t type, usage, usageIndex;
};
struct BaseLayout {
  int32_t count;
  std::array<BaseElement, 9> elements;  // after the position
  uint16_t stride;                      // where the texture coordinates begin
};
// Group 0: one normal; group 1: a tangent frame as normals 1 and 2. Layouts 1 and 2 carry
// one or two sets of blend indices and weights.
constexpr std::array<BaseLayout, 6> BaseLayouts{{
    {3, {{{12, TypeFloat3, UsageNormal, 0}, {24, TypeColour, UsageColour, 0}, {28, TypeColour, UsageColour, 1}}}, 32},
    {5,
     {{{12, TypeUbyte4, UsageBlendIndices, 0},
       {16, TypeFloat4, UsageBlendWeight, 0},
       {32, TypeFloat3, UsageNormal, 0},
       {44, TypeColour, UsageColour, 0},
       {48, TypeColour, UsageColour, 1}}},
     52},
    {7,
     {{{12, TypeUbyte4, UsageBlendIndices, 0},
       {16, TypeUbyte4, UsageBlendIndices, 1},
       {20, TypeFloat4, UsageBlendWeight, 0},
       {36, TypeFloat4, UsageBlendWeight, 1},
       {52, TypeFloat3, UsageNormal, 0},
       {64, TypeColour, UsageColour, 0},
       {68, TypeColour, UsageColour, 1}}},
     72},
    {5,
     {{{12, TypeFloat3, UsageNormal, 0},
       {24, TypeFloat3, UsageNormal, 1},
       {36, TypeFloat3, UsageNormal, 2},
       {48, TypeColour, UsageColour, 0},
       {52, TypeColour, UsageColour, 1}}},
     56},
    {7,
     {{{12, TypeUbyte4, UsageBlendIndices, 0},
       {16, TypeFloat4, UsageBlendWeight, 0},
       {32, TypeFloat3, UsageNormal, 0},
       {44, TypeFloat3, UsageNormal, 1},
       {56, TypeFloat3, UsageNormal, 2},
       {68, TypeColour, UsageColour, 0},
       {72, TypeColour, UsageColour, 1}}},
     76},
    {9,
     {{{12, TypeUbyte4, UsageBlendIndices, 0},
       {16, TypeUbyte4, UsageBlendIndices, 1},
       {20, TypeFloat4, UsageBlendWeight, 0},
       {36, TypeFloat4, UsageBlendWeight, 1},
       {52, TypeFloat3, UsageNormal, 0},
       {64, TypeFloat3, UsageNormal, 1},
       {76, TypeFloat3, UsageNormal, 2},
       {88, TypeColour, UsageColour, 0},
       {92, TypeColour, UsageColour, 1}}},
     96},
}};

}  // namespace

// --- Objects ---------------------------------------------------------------------------------

void* GetVertexShaderObject(int32_t slot) {
  if (slot < 0 || slot >= VertexShaderSlotCount) return nullptr;
  void*& object = ShaderState.vertexShaders[slot];
  if (object == nullptr && ShaderPack.vertexCode[slot] != nullptr && HasDevice() && ActiveShaderSink != nullptr) {
    void* made = nullptr;
    if (ActiveShaderSink->createVertexShader(Dev(), ShaderPack.vertexCode[slot], &made) >= 0) object = made;
  }
  return object;
}

void* GetPixelShaderObject(int32_t slot) {
  if (slot < 0 || slot >= PixelShaderSlotCount) return nullptr;
  void*& object = ShaderState.pixelShaders[slot];
  if (object == nullptr && ShaderPack.pixelCode[slot] != nullptr && HasDevice() && ActiveShaderSink != nullptr) {
    void* made = nullptr;
    if (ActiveShaderSink->createPixelShader(Dev(), ShaderPack.pixelCode[slot], &made) >= 0) object = made;
  }
  return object;
}

int SetupShaders() {
  ReleaseShaders();
  ShaderState.inUse = 0;
  const DeviceFacts& facts = GraphicsDevice.facts;
  if (!facts.vertexShader20 || !facts.pixelShader20) {
    LogNoShaders();
    return 0;
  }
  ShaderState.inUse = 1;
  if (ShaderPack.pack == nullptr && LoadShaderPack() == 0) {
    WriteLog("シェーダーコードを展開するメモリ領域の確保に失敗しました\n");
    ShaderState.inUse = 0;
    LogNoShaders();
    return 0;
  }
  if (GetVertexShaderObject(TestVertexShaderSlot) == nullptr || GetPixelShaderObject(TestPixelShaderSlot) == nullptr) {
    ShaderState.inUse = 0;
    LogNoShaders();
    return 0;
  }
  WriteLog("プログラマブルシェーダーを使用します\n");
  SendBaseShaderConstants();
  return 0;
}

int32_t BuildVertexDeclaration(int32_t slot, VertexElement* elements) {
  if (slot < 0 || slot >= VertexDeclarationCount) return 0;
  const BaseLayout& base = BaseLayouts[static_cast<size_t>(slot / 9)];
  const int32_t texCoords = slot % 9;
  int32_t n = 0;
  elements[n++] = {0, 0, TypeFloat3, 0, UsagePosition, 0};
  for (int32_t i = 0; i < base.count; ++i) {
    const BaseElement& e = base.elements[static_cast<size_t>(i)];
    elements[n++] = {0, e.offset, e.type, 0, e.usage, e.usageIndex};
  }
  for (int32_t k = 0; k < texCoords; ++k)
    elements[n++] = {0, static_cast<uint16_t>(base.stride + 8 * k), TypeFloat2, 0, UsageTexCoord,
                     static_cast<uint8_t>(k)};
  elements[n++] = {0xFF, 0, TypeUnused, 0, 0, 0};
  return n;
}

int CreateVertexDeclarations() {
  if (!ShaderState.inUse || !HasDevice() || ActiveShaderSink == nullptr) return 0;
  for (int32_t slot = 0; slot < VertexDeclarationCount; ++slot) {
    if (ShaderState.declarations[slot] != nullptr) continue;
    VertexElement elements[VertexElementCapacity];
    BuildVertexDeclaration(slot, elements);
    void* made = nullptr;
    if (ActiveShaderSink->createVertexDeclaration(Dev(), elements, &made) >= 0) ShaderState.declarations[slot] = made;
  }
  return 0;
}

int ReleaseShaders() {
  if (HasDevice()) ActiveDeviceSink->unsetShaders(Dev());
  DeviceStateCache.vertexShader = DeviceStateCache.pixelShader = nullptr;
  ReleaseAll(ShaderState.vertexShaders);
  ReleaseAll(ShaderState.pixelShaders);
  return 0;
}

int ReleaseVertexDeclarations() {
  if (HasDevice()) ActiveDeviceSink->unsetShaders(Dev());
  DeviceStateCache.vertexShader = DeviceStateCache.pixelShader = DeviceStateCache.vertexDeclaration = nullptr;
  ReleaseAll(ShaderState.declarations);
  return 0;
}

// --- Indices -----------------------------------------------------------------------------------

void SelectShaderIndices() {
  if (!ShaderState.inUse) return;
  const int32_t lighting = DeviceStateCache.lighting != 0 ? 1 : 0;
  std::array<int32_t, 3> t{};
  int32_t any = 0;
  for (size_t i = 0; i < t.size(); ++i) {
    if (DeviceStateCache.lightEnabled[i] == 0) continue;
    any = 1;
    const uint32_t type = DeviceStateCache.lights[i].type;
    if (lighting && type >= 1 && type <= 3) t[i] = static_cast<int32_t>(type);
  }
  const int32_t fogMode = DeviceStateCache.fogMode;
  const int32_t fog = DeviceStateCache.fogEnable != 0 && fogMode >= 0 && fogMode <= 3 ? fogMode : 0;
  ShaderState.vertexIndex = VertexShaderIndex(t[0], t[1], t[2], fog, any, lighting);
  ShaderState.pixelIndex = PixelShaderIndex(t[0], t[1], t[2], any, lighting);
}

// --- Constant values ---------------------------------------------------------------------------

ShaderVec4 FogShaderConstant(float start, float end, float density) {
  const float range = end - start;
  return {end / range, -1.0f / range, density, 2.7182817f};
}

ShaderVec4 AmbientTermConstant() {
  const DeviceMaterial& m = DeviceStateCache.material;
  const std::array<float, 4>& a = DeviceStateCache.ambientChannels;
  return {a[0] * m.ambient.r + m.emissive.r, a[1] * m.ambient.g + m.emissive.g, a[2] * m.ambient.b + m.emissive.b,
          a[3] * m.ambient.a + m.emissive.a};
}

std::array<ShaderVec4, 7> LightShaderConstants(int32_t index) {
  const DeviceLight& l = DeviceStateCache.lights[static_cast<size_t>(index)];
  const Matrix4& view = DrawSettings.transforms.view;
  Vector3 position{}, direction{};
  TransformPoint(&position, &l.position, &view);
  TransformNormal(&direction, &l.direction, &view);
  const float cosHalfPhi = std::cos(l.phi * 0.5f);
  const float cone = std::cos(l.theta * 0.5f) - cosHalfPhi;
  // A cone with equal inner and outer angles has a hard edge: a steep ramp stands in for
  // the division by zero.
  const float coneScale = std::fabs(cone) > 1e-6f ? 1.0f / cone : 1e6f;
  return {{
      {position.x, position.y, position.z, 1.0f},
      {direction.x, direction.y, direction.z, 0.0f},
      Colour(l.diffuse),
      Colour(l.specular),
      Product(l.ambient, DeviceStateCache.material.ambient),
      {l.range * l.range, l.falloff, l.attenuation0, l.attenuation1},
      {l.attenuation2, cosHalfPhi, coneScale, 0.0f},
  }};
}

// --- Senders -------------------------------------------------------------------------------------

void SendBaseShaderConstants() {
  if (!CanSend()) return;
  const ShaderVec4 vertex{0.0f, 1.0f, 0.0f, 0.0f};
  const ShaderVec4 pixel{0.0f, 0.5f, 1.0f, 2.0f};
  SendVertex(0, &vertex, 1);
  SendPixel(0, &pixel, 1);
}

void SendProjectionShaderConstants(const Matrix4* matrix) {
  if (!CanSend()) return;
  const std::array<ShaderVec4, 4> rows = Transposed(*matrix);
  SendVertex(2, rows.data(), 4);
}

void SendFogModeShaderConstants(int32_t mode) {
  if (!CanSend()) return;
  SendBool(0, mode != 0);
  SendBool(1, mode == 1);
  SendBool(2, mode == 2);
  SendBool(3, mode == 3);
}

void SendFogShaderConstants() {
  if (!CanSend()) return;
  const ShaderVec4 fog = FogShaderConstant(DeviceStateCache.fogStart, DeviceStateCache.fogEnd, DeviceStateCache.fogDensity);
  SendVertex(10, &fog, 1);
}

int UpdateLightColourConstants() {
  if (!CanSend()) return 0;
  const ShaderVec4 ambient = AmbientTermConstant();
  SendVertex(1, &ambient, 1);
  SendPixel(1, &ambient, 1);
  for (int32_t i = 0; i < ShaderLightCount; ++i) {
    if (!DeviceStateCache.lightHasData[i]) continue;
    const DeviceLight& l = DeviceStateCache.lights[i];
    const std::array<ShaderVec4, 3> colours{Colour(l.diffuse), Colour(l.specular),
                                            Product(l.ambient, DeviceStateCache.material.ambient)};
    SendVertex(LightVertexBase + 7 * static_cast<uint32_t>(i) + 2, colours.data(), 3);
    SendPixel(LightPixelBase + 3 * static_cast<uint32_t>(i), colours.data(), 3);
  }
  return 0;
}

void SendMaterialShaderConstants() {
  if (!CanSend()) return;
  const DeviceMaterial& m = DeviceStateCache.material;
  const std::array<ShaderVec4, 3> values{Colour(m.diffuse), Colour(m.specular), ShaderVec4{m.power, 0, 0, 0}};
  SendVertex(11, values.data(), 3);
  SendPixel(2, values.data(), 3);
  UpdateLightColourConstants();
}

void SendLightShaderConstants(int32_t index) {
  if (!CanSend() || index < 0 || index >= ShaderLightCount) return;
  const std::array<ShaderVec4, 7> values = LightShaderConstants(index);
  SendVertex(LightVertexBase + 7 * static_cast<uint32_t>(index), values.data(), 7);
  SendPixel(LightPixelBase + 3 * static_cast<uint32_t>(index), &values[2], 3);
  if (index < ShaderLightBoolCount) {
    const uint32_t type = DeviceStateCache.lights[static_cast<size_t>(index)].type;
    SendBool(5 + 3 * static_cast<uint32_t>(index), type == 1 || type == 2);
    SendBool(6 + 3 * static_cast<uint32_t>(index), type == 2);
  }
}

void SendLightEnableShaderConstant(int32_t index) {
  if (!CanSend() || index < 0 || index >= ShaderLightBoolCount) return;
  SendBool(4 + 3 * static_cast<uint32_t>(index), DeviceStateCache.lightEnabled[static_cast<size_t>(index)] != 0);
}

void SendTextureFactorShaderConstant(uint32_t argb) {
  if (!CanSend()) return;
  const ShaderVec4 factor{((argb >> 16) & 0xFF) / 255.0f, ((argb >> 8) & 0xFF) / 255.0f, (argb & 0xFF) / 255.0f,
                          (argb >> 24) / 255.0f};
  SendPixel(5, &factor, 1);
}

int SetViewShaderConstants(const Matrix4* matrix) {
  if (!HasDevice()) return 0;
  const int32_t hr = ActiveDeviceSink->setTransform(Dev(), d3d::TsView, matrix);
  if (CanSend()) {
    const std::array<ShaderVec4, 4> rows = Transposed(*matrix);
    SendVertex(6, rows.data(), 4);
    // The lights' view-space position and direction follow the view.
    for (int32_t i = 0; i < ShaderLightCount; ++i) {
      if (!DeviceStateCache.lightHasData[i]) continue;
      const std::array<ShaderVec4, 7> values = LightShaderConstants(i);
      SendVertex(LightVertexBase + 7 * static_cast<uint32_t>(i), values.data(), 2);
    }
  }
  return hr < 0 ? -1 : 0;
}

}  // namespace quelt
