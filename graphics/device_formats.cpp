#include "graphics/device_formats.h"

#include <cstddef>
#include <initializer_list>

#include "core/log.h"
#include "graphics/d3d_values.h"

namespace quelt {

DeviceFormatTableRecord DeviceFormatTable{};

namespace {

using namespace d3d;

struct NamedFormat {
  uint32_t format;
  const char* name;
};

// The names of the colour lines.
const char* ColourName(uint32_t format) {
  switch (format) {
    case FmtR5G6B5: return "D_D3DFMT_R5G6B5";
    case FmtX1R5G5B5: return "D_D3DFMT_X1R5G5B5";
    case FmtX8R8G8B8: return "D_D3DFMT_X8R8G8B8";
    case FmtA4R4G4B4: return "D_D3DFMT_A4R4G4B4";
    case FmtA8R8G8B8: return "D_D3DFMT_A8R8G8B8";
    case FmtA1R5G5B5: return "D_D3DFMT_A1R5G5B5";
    default: return "";
  }
}

template <std::size_t N>
uint32_t FirstTexture(const DeviceFormatProbe& probe, const std::array<uint32_t, N>& choices) {
  for (uint32_t format : choices)
    if (probe.textureOk(probe.context, format)) return format;
  return 0;
}

template <std::size_t N>
uint32_t FirstTarget(const DeviceFormatProbe& probe, const std::array<NamedFormat, N>& choices,
                     const char** name) {
  for (const NamedFormat& choice : choices) {
    if (probe.renderTargetOk(probe.context, choice.format)) {
      *name = choice.name;
      return choice.format;
    }
  }
  return 0;
}

// One colour slot: the first usable choice, logged, or -1 with the failure line.
bool ChooseColourSlot(const DeviceFormatProbe& probe, uint32_t* slot, const char* line,
                      const char* failure, std::initializer_list<uint32_t> choices) {
  for (uint32_t format : choices) {
    if (probe.textureOk(probe.context, format)) {
      *slot = format;
      WriteLogFormat(line, ColourName(format));
      return true;
    }
  }
  WriteLog(failure);
  return false;
}

}  // namespace

int ChooseDeviceFormats(const DeviceFormatProbe& probe, uint32_t screenFormat,
                        int32_t screenDepth, DeviceFormatTableRecord* table) {
  DeviceFormatTableRecord& t = *table;
  t.fill(0);

  static constexpr std::array<NamedFormat, 3> depths{
      {{FmtD16, "D3DFMT_D16"}, {FmtD24X8, "D3DFMT_D24X8"}, {FmtD32, "D3DFMT_D32"}}};
  for (const NamedFormat& depth : depths) {
    if (probe.depthOk(probe.context, depth.format)) {
      t[FormatDepth] = depth.format;
      WriteLogFormat("Ｚバッファのフォーマットは %s です", depth.name);
      break;
    }
  }
  if (t[FormatDepth] == 0) return WriteLog("使用できる Zバッファフォーマットが見つかりませんでした\n");

  if (!ChooseColourSlot(probe, &t[FormatColour16], "16bit カラーフォーマットは %s です",
                        "使用できる 16bit カラーフォーマットが見つかりませんでした\n",
                        {FmtR5G6B5, FmtX1R5G5B5}))
    return -1;
  t[FormatColour32] = FirstTexture(probe, std::array<uint32_t, 1>{FmtX8R8G8B8});
  if (t[FormatColour32] == 0) t[FormatColour32] = t[FormatColour16];
  WriteLogFormat("32bit カラーフォーマットは %s です", ColourName(t[FormatColour32]));
  if (!ChooseColourSlot(probe, &t[FormatAlpha16], "アルファ付き 16bit カラーフォーマットは %s です",
                        "使用できるアルファ付き 16bit カラーフォーマットが見つかりませんでした\n",
                        {FmtA4R4G4B4, FmtA8R8G8B8}))
    return -1;
  if (!ChooseColourSlot(probe, &t[FormatAlpha32], "アルファ付き 32bit カラーフォーマットは %s です",
                        "使用できるアルファ付き 32bit カラーフォーマットが見つかりませんでした\n",
                        {FmtA8R8G8B8, FmtA4R4G4B4}))
    return -1;
  if (!ChooseColourSlot(probe, &t[FormatAlphaTest16],
                        "アルファテスト用 16bit カラーフォーマットは %s です",
                        "使用できるアルファテスト用 16bit カラーフォーマットが見つかりませんでした\n",
                        {FmtA1R5G5B5, FmtA8R8G8B8, FmtA4R4G4B4}))
    return -1;
  if (!ChooseColourSlot(probe, &t[FormatAlphaTest32],
                        "アルファテスト用 32bit カラーフォーマットは %s です",
                        "使用できるアルファテスト用 32bit カラーフォーマットが見つかりませんでした\n",
                        {FmtA8R8G8B8, FmtA1R5G5B5, FmtA4R4G4B4}))
    return -1;

  // Block-compressed formats fall back to the alpha formats that hold their kind of alpha.
  static constexpr std::array<uint32_t, 5> dxt{FmtDxt1, FmtDxt2, FmtDxt3, FmtDxt4, FmtDxt5};
  static constexpr std::array<const char*, 5> dxtLines{
      "ＤＸＴ１テクスチャフォーマットは%s", "ＤＸＴ２テクスチャフォーマットは%s",
      "ＤＸＴ３テクスチャフォーマットは%s", "ＤＸＴ４テクスチャフォーマットは%s",
      "ＤＸＴ５テクスチャフォーマットは%s"};
  static constexpr std::array<const char*, 5> dxtNames{
      " D_D3DFMT_DXT1 です", " D_D3DFMT_DXT2 です", " D_D3DFMT_DXT3 です",
      " D_D3DFMT_DXT4 です", " D_D3DFMT_DXT5 です"};
  for (int i = 0; i < 5; ++i) {
    const bool usable = probe.textureOk(probe.context, dxt[i]);
    t[FormatDxt1 + i] = usable ? dxt[i] : (i == 0 ? t[FormatAlphaTest16] : t[FormatAlpha32]);
    WriteLogFormat(dxtLines[i], usable ? dxtNames[i] : "使えません");
  }

  const bool screen565 = screenFormat == FmtR5G6B5;
  const char* name = "";
  const std::array<NamedFormat, 3> target16{
      {{screen565 ? FmtR5G6B5 : FmtX1R5G5B5, screen565 ? "D_D3DFMT_R5G6B5" : "D_D3DFMT_R5G5B5"},
       {screen565 ? FmtX1R5G5B5 : FmtR5G6B5, screen565 ? "D_D3DFMT_R5G5B5" : "D_D3DFMT_R5G6B5"},
       {FmtX8R8G8B8, "D_D3DFMT_X8R8G8B8"}}};
  t[FormatTarget16] = FirstTarget(probe, target16, &name);
  if (t[FormatTarget16] != 0) {
    WriteLogFormat("描画用 16bit カラーフォーマットは %s です", name);
  } else {
    WriteLog("使用できる描画用 16bit カラーフォーマットがありませんでした\n");
  }
  static constexpr std::array<NamedFormat, 3> target32{{{FmtX8R8G8B8, "D_D3DFMT_X8R8G8B8"},
                                                        {FmtR5G6B5, "D_D3DFMT_R5G6B5"},
                                                        {FmtX1R5G5B5, "D3DFMT_R5G5B5"}}};
  t[FormatTarget32] = FirstTarget(probe, target32, &name);
  if (t[FormatTarget32] != 0) {
    WriteLogFormat("描画用 32bit カラーフォーマットは %s です", name);
  } else {
    WriteLog("使用できる描画用 32bit カラーフォーマットがありませんでした\n");
  }
  static constexpr std::array<NamedFormat, 2> targetAlpha{
      {{FmtA8R8G8B8, "D_D3DFMT_A8R8G8B8"}, {FmtA4R4G4B4, "D3DFMT_A4R4G4B4"}}};
  t[FormatTargetAlpha] = FirstTarget(probe, targetAlpha, &name);
  if (t[FormatTargetAlpha] != 0) {
    WriteLogFormat("描画用アルファ付き 32bit カラーフォーマットは %s です", name);
  } else {
    WriteLog("使用できる描画用 32bit カラーフォーマットがありませんでした\n");
  }

  t[FormatTargetScreen] = screenDepth == 32 ? t[FormatTarget32] : t[FormatTarget16];
  t[FormatAlphaTestScreen] = screenDepth == 32 ? t[FormatAlphaTest32] : t[FormatAlphaTest16];
  return 0;
}

DeviceFacts DeriveDeviceFacts(const DeviceCapsSubset& caps, int32_t hardwareVertexProcessing) {
  DeviceFacts facts{};
  const bool hw = hardwareVertexProcessing != 0;
  facts.vertexShader20 = hw && (caps.vertexShaderVersion & 0xFFFF) >= 0x200 ? 1 : 0;
  facts.pixelShader20 = hw && (caps.pixelShaderVersion & 0xFFFF) >= 0x200 ? 1 : 0;
  facts.reverseSubtract = (caps.primitiveMiscCaps & PMiscCapsBlendOp) != 0 ? 1 : 0;
  facts.squareTexturesOnly = (caps.textureCaps & PTextureCapsSquareOnly) != 0 ? 1 : 0;
  const int32_t w = caps.maxTextureWidth == 0 ? 256 : static_cast<int32_t>(caps.maxTextureWidth);
  const int32_t h = caps.maxTextureHeight == 0 ? 256 : static_cast<int32_t>(caps.maxTextureHeight);
  facts.maxTextureSize = w < h ? w : h;
  return facts;
}

const char* ScreenFormatName(uint32_t format) {
  switch (format) {
    case FmtX8R8G8B8: return "D3DFMT_X8R8G8B8";
    case FmtR5G6B5: return "D3DFMT_R5G6B5";
    case FmtX1R5G5B5: return "D3DFMT_X1R5G5B5";
    default: return nullptr;
  }
}

}  // namespace quelt
