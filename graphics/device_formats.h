#pragma once
// The texture, render-target and depth formats a Direct3D device offers, chosen once at
// device creation, and the device facts derived from its capabilities. Both are pure
// functions over injected answers, so capabilities Wine cannot vary are testable.
#include <array>
#include <cstdint>

namespace quelt {

// Slots of the DeviceFormatTable; values are D3DFORMATs, 0 = none usable.
enum DeviceFormatSlot : int32_t {
  FormatColour16 = 0,
  FormatColour32 = 1,
  FormatAlpha16 = 2,
  FormatAlpha32 = 3,
  FormatAlphaTest16 = 4,
  FormatAlphaTest32 = 5,
  FormatDxt1 = 6,
  FormatDxt2 = 7,
  FormatDxt3 = 8,
  FormatDxt4 = 9,
  FormatDxt5 = 10,
  FormatTarget16 = 11,
  FormatTarget32 = 12,
  FormatTargetAlpha = 13,
  FormatTargetScreen = 14,
  FormatAlphaTestScreen = 15,
  FormatDepth = 16,
  DeviceFormatSlotCount = 17,
};
using DeviceFormatTableRecord = std::array<uint32_t, DeviceFormatSlotCount>;
extern DeviceFormatTableRecord DeviceFormatTable;

// What the device answers about one format on the screen format.
struct DeviceFormatProbe {
  void* context;
  bool (*textureOk)(void* context, uint32_t format);       // CheckDeviceFormat, texture
  bool (*renderTargetOk)(void* context, uint32_t format);  // with D3DUSAGE_RENDERTARGET
  bool (*depthOk)(void* context, uint32_t format);         // CheckDepthStencilMatch
};

// Fills the table in slot order 16, 0-13, then 14 and 15, logging each choice. -1 (with
// the log line) when a slot that the device cannot do without finds no format.
int ChooseDeviceFormats(const DeviceFormatProbe& probe, uint32_t screenFormat,
                        int32_t screenDepth, DeviceFormatTableRecord* table);

// The capability fields the engine reads.
struct DeviceCapsSubset {
  uint32_t vertexShaderVersion;
  uint32_t pixelShaderVersion;
  uint32_t primitiveMiscCaps;
  uint32_t textureCaps;
  uint32_t maxTextureWidth;
  uint32_t maxTextureHeight;
};

struct DeviceFacts {
  int32_t vertexShader20;  // only with hardware vertex processing
  int32_t pixelShader20;
  int32_t reverseSubtract;
  int32_t squareTexturesOnly;
  int32_t maxTextureSize;  // min of both sides, each 256 when reported as 0
};
DeviceFacts DeriveDeviceFacts(const DeviceCapsSubset& caps, int32_t hardwareVertexProcessing);

// The name the log uses for a screen format ("D3DFMT_X8R8G8B8" ...), or null.
const char* ScreenFormatName(uint32_t format);

}  // namespace quelt
