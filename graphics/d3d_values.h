#pragma once
// The Direct3D 9 numbers that the platform-free graphics code sends through the device
// sink. They are the values of <d3d9types.h>; the Windows build checks each one against
// the real header (device_sink_win32.cpp), so the pure code never needs <windows.h>.
#include <cstdint>

namespace quelt::d3d {

// D3DFORMAT
enum Format : uint32_t {
  FmtUnknown = 0,
  FmtR8G8B8 = 20,
  FmtA8R8G8B8 = 21,
  FmtX8R8G8B8 = 22,
  FmtR5G6B5 = 23,
  FmtX1R5G5B5 = 24,
  FmtA1R5G5B5 = 25,
  FmtA4R4G4B4 = 26,
  FmtX4R4G4B4 = 30,
  FmtD32 = 71,
  FmtD24X8 = 77,
  FmtD16 = 80,
  FmtDxt1 = 0x31545844,  // MAKEFOURCC('D','X','T','1')
  FmtDxt2 = 0x32545844,
  FmtDxt3 = 0x33545844,
  FmtDxt4 = 0x34545844,
  FmtDxt5 = 0x35545844,
};

// D3DRENDERSTATETYPE
enum RenderState : uint32_t {
  RsZEnable = 7,
  RsShadeMode = 9,
  RsZWriteEnable = 14,
  RsAlphaTestEnable = 15,
  RsSrcBlend = 19,
  RsDestBlend = 20,
  RsCullMode = 22,
  RsZFunc = 23,
  RsAlphaRef = 24,
  RsAlphaFunc = 25,
  RsDitherEnable = 26,
  RsAlphaBlendEnable = 27,
  RsFogEnable = 28,
  RsSpecularEnable = 29,
  RsFogColor = 34,
  RsFogStart = 36,
  RsFogEnd = 37,
  RsFogDensity = 38,
  RsTextureFactor = 60,
  RsLighting = 137,
  RsAmbient = 139,
  RsFogVertexMode = 140,
  RsDiffuseMaterialSource = 145,
  RsSpecularMaterialSource = 146,
  RsAmbientMaterialSource = 147,
  RsBlendOp = 171,
  RsScissorTestEnable = 174,
  RsDepthBias = 195,
};

// D3DSAMPLERSTATETYPE
enum SamplerState : uint32_t {
  SampAddressU = 1,
  SampAddressV = 2,
  SampMagFilter = 5,
  SampMinFilter = 6,
  SampMipFilter = 7,
  SampMaxAnisotropy = 10,
};

// D3DTEXTURESTAGESTATETYPE
enum StageState : uint32_t {
  TssColorOp = 1,
  TssColorArg1 = 2,
  TssColorArg2 = 3,
  TssAlphaOp = 4,
  TssAlphaArg1 = 5,
  TssAlphaArg2 = 6,
  TssTexCoordIndex = 11,
};

// D3DTEXTUREOP
enum TextureOp : uint16_t {
  TopDisable = 1,
  TopSelectArg1 = 2,
  TopSelectArg2 = 3,
  TopModulate = 4,
  TopModulate2x = 5,
  TopModulate4x = 6,
  TopAdd = 7,
  TopSubtract = 10,
  TopBlendDiffuseAlpha = 12,
  TopBlendCurrentAlpha = 16,
};

// D3DTA_*
enum TextureArg : uint16_t {
  TaDiffuse = 0,
  TaCurrent = 1,
  TaTexture = 2,
  TaTFactor = 3,
  TaSpecular = 4,
  TaComplement = 0x10,
};

// D3DBLEND
enum Blend : uint32_t {
  BlendZero = 1,
  BlendOne = 2,
  BlendSrcColor = 3,
  BlendSrcAlpha = 5,
  BlendInvSrcAlpha = 6,
  BlendInvDestColor = 10,
};

// D3DBLENDOP
enum BlendOp : uint32_t { BlendOpAdd = 1, BlendOpRevSubtract = 3 };

// D3DCMPFUNC
enum CmpFunc : uint32_t { CmpLessEqual = 4, CmpGreater = 5, CmpGreaterEqual = 7 };

// D3DTEXTUREFILTERTYPE
enum Filter : uint32_t { FilterNone = 0, FilterPoint = 1, FilterLinear = 2, FilterAnisotropic = 3 };

// D3DTEXTUREADDRESS, D3DCULL, D3DSHADEMODE, D3DMCS
inline constexpr uint32_t AddressClamp = 3;
inline constexpr uint32_t CullNone = 1;
inline constexpr uint32_t CullCcw = 3;
inline constexpr uint32_t ShadeFlat = 1;
inline constexpr uint32_t ShadeGouraud = 2;
inline constexpr uint32_t McsMaterial = 0;
inline constexpr uint32_t McsColor1 = 1;
inline constexpr uint32_t McsColor2 = 2;

// D3DPRIMITIVETYPE
enum PrimitiveType : uint32_t {
  PointList = 1,
  LineList = 2,
  LineStrip = 3,
  TriangleList = 4,
  TriangleStrip = 5,
  TriangleFan = 6,
};

// D3DTRANSFORMSTATETYPE
enum TransformState : uint32_t { TsView = 2, TsProjection = 3, TsWorld = 256 };

// D3DFVF_*
inline constexpr uint32_t FvfXyzRhw = 0x004;
inline constexpr uint32_t FvfDiffuse = 0x040;
inline constexpr uint32_t FvfSpecular = 0x080;
inline constexpr uint32_t FvfTex1 = 0x100;
inline constexpr uint32_t FvfTex2 = 0x200;

// Caps bits read at device creation.
inline constexpr uint32_t PMiscCapsBlendOp = 0x800;       // D3DPMISCCAPS_BLENDOP
inline constexpr uint32_t PTextureCapsSquareOnly = 0x20;  // D3DPTEXTURECAPS_SQUAREONLY

}  // namespace quelt::d3d
