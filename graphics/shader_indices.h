#pragma once
// The shader pack's slot counts, its layout and the index scheme that picks a vertex and a
// pixel shader from the light, lighting and fog state. Shared by the engine and the build
// tool that fills the pack.
#include <cstdint>

namespace quelt {

inline constexpr int32_t VertexShaderSlotCount = 49152;
inline constexpr int32_t PixelShaderSlotCount = 3456;
inline constexpr int32_t VertexDeclarationCount = 54;
// The slots test-created to decide whether shaders are used.
inline constexpr int32_t TestVertexShaderSlot = 32774;
inline constexpr int32_t TestPixelShaderSlot = 2454;
// QlShaderPack.bin: u16 code sizes of every vertex slot, then of every pixel slot, then
// the code of every present shader back to back in slot order, vertex shaders first.
inline constexpr uint32_t ShaderPackCodeOffset = (VertexShaderSlotCount + PixelShaderSlotCount) * 2u;
static_assert(ShaderPackCodeOffset == 105216);
inline constexpr char ShaderPackFileName[] = "QlShaderPack.bin";

// A light kind as the pixel index counts it: 2 directional, 1 point or spot, 0 none.
constexpr int32_t PixelLightKind(int32_t type) { return type == 3 ? 2 : type != 0 ? 1 : 0; }

// t0..t2: the types of lights 0-2 (1 point, 2 spot, 3 directional; 0 unlit or disabled);
// any: one of them is enabled; lighting 0/1; fog: the fog mode 0-3 when fog is on, else 0.
constexpr int32_t VertexShaderIndex(int32_t t0, int32_t t1, int32_t t2, int32_t fog, int32_t any, int32_t lighting) {
  return 8 * (t2 + 4 * t1 + 16 * t0 + 64 * fog + 512 * any + 3072 * lighting);
}
constexpr int32_t PixelShaderIndex(int32_t t0, int32_t t1, int32_t t2, int32_t any, int32_t lighting) {
  return 8 * (PixelLightKind(t2) + 3 * PixelLightKind(t1) + 9 * PixelLightKind(t0) + 54 * any + 216 * lighting);
}
static_assert(VertexShaderIndex(3, 3, 3, 3, 1, 1) < VertexShaderSlotCount);
static_assert(PixelShaderIndex(3, 3, 3, 1, 1) < PixelShaderSlotCount);

}  // namespace quelt
