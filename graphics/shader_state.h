#pragma once
// The programmable path's objects and constants: whether shaders are used, the vertex and
// pixel shader objects made from the pack, the 54 vertex declarations, the shader indices
// chosen from the light and fog state, and the shader constants kept in step with the
// device state cache. No draw path binds these objects: drawing runs on the
// fixed-function states, this keeps the shader side current beside it.
#include <array>
#include <cstdint>

#include "graphics/math3d.h"
#include "graphics/shader_indices.h"

namespace quelt {

// Layout of D3DVERTEXELEMENT9 (checked against <d3d9types.h> in the Windows build).
struct VertexElement {
  uint16_t stream, offset;
  uint8_t type, method, usage, usageIndex;
};
static_assert(sizeof(VertexElement) == 8);
// A declaration's elements: the position, up to nine more, eight texture coordinates and
// the closing element.
inline constexpr int32_t VertexElementCapacity = 19;

// The shader calls of the device, beside DeviceSink; results are HRESULT-like.
struct ShaderSink {
  int32_t (*createVertexShader)(void* device, const void* code, void** shader);
  int32_t (*createPixelShader)(void* device, const void* code, void** shader);
  int32_t (*createVertexDeclaration)(void* device, const VertexElement* elements, void** declaration);
  void (*release)(void* object);
  int32_t (*setVertexConstantF)(void* device, uint32_t start, const float* values, uint32_t count);
  int32_t (*setPixelConstantF)(void* device, uint32_t start, const float* values, uint32_t count);
  int32_t (*setVertexConstantB)(void* device, uint32_t start, const int32_t* values, uint32_t count);
};
// The table in use; set with the device (null without one).
extern const ShaderSink* ActiveShaderSink;

struct ShaderStateRecord {
  int32_t inUse;
  int32_t vertexIndex, pixelIndex;
  std::array<void*, VertexShaderSlotCount> vertexShaders;
  std::array<void*, PixelShaderSlotCount> pixelShaders;
  std::array<void*, VertexDeclarationCount> declarations;
};
extern ShaderStateRecord ShaderState;
inline bool ShadersInUse() { return ShaderState.inUse != 0; }

// Decides whether shaders are used: the device must offer vertex and pixel shader 2.0
// (with hardware vertex processing), the pack must load and one shader of each kind must
// create. Logs the decision. 0.
int SetupShaders();
int CreateVertexDeclarations();
int ReleaseShaders();
int ReleaseVertexDeclarations();
// Creates the shader of a slot on first use (null when the slot is empty or creation fails).
void* GetVertexShaderObject(int32_t slot);
void* GetPixelShaderObject(int32_t slot);

// The elements of declaration `slot` (0..53) ending with the closing element; their count.
int32_t BuildVertexDeclaration(int32_t slot, VertexElement* elements);

// Recomputes the two indices from the light, lighting and fog caches (only with shaders).
void SelectShaderIndices();
// Re-sends the light colour constants and the ambient term.
int UpdateLightColourConstants();
// D3DTS_VIEW and, with shaders, the view constants and the lights' view-space vectors.
int SetViewShaderConstants(const Matrix4* matrix);

// Constant updates the state cache's setters make (each does nothing without shaders).
void SendBaseShaderConstants();                 // vertex c0, pixel c0
void SendProjectionShaderConstants(const Matrix4* matrix);  // c2-c5
void SendFogModeShaderConstants(int32_t mode);  // b0-b3
void SendFogShaderConstants();                  // c10
void SendMaterialShaderConstants();             // c11-c13, pixel c2-c4, then the colours
void SendLightShaderConstants(int32_t index);   // the light's vectors, colours and ranges, kind
void SendLightEnableShaderConstant(int32_t index);
void SendTextureFactorShaderConstant(uint32_t argb);  // pixel c5

// The constant values themselves (pure), for the senders above and the tests.
struct ShaderVec4 {
  float x, y, z, w;
};
ShaderVec4 FogShaderConstant(float start, float end, float density);
ShaderVec4 AmbientTermConstant();
// The seven vertex constants of light `index` of the cache under the cached view matrix.
std::array<ShaderVec4, 7> LightShaderConstants(int32_t index);

}  // namespace quelt
