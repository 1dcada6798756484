#pragma once
// How an image is cut into power-of-two textures, and which pixel format its textures
// take. Pure functions over the screen width and the device's limits.
#include <array>
#include <cstdint>

#include "graphics/graph_record.h"

namespace quelt {

struct ColorFormat;

inline constexpr int32_t MaxTexturePieces = 256;

// What the split depends on besides the side itself.
struct TextureSplitLimits {
  int32_t deviceMaxSize;     // the device's maximum texture side
  int32_t screenWidth;       // the test for both sides of an image
  int32_t textureSizeLimit;  // 0 = the device's maximum
  int32_t singleTexture;     // 1 = no split below the maximum
};
// The limits of the running device and the process-wide settings.
TextureSplitLimits CurrentTextureSplitLimits();

// Piece sizes of one side into sizes[0..capacity); the count, or -1 (with a log line)
// when more than capacity pieces would be needed.
int32_t SplitTextureSizeWith(const TextureSplitLimits& limits, int32_t side, int32_t* sizes,
                             int32_t capacity, int32_t noSplit);
// The same with the current limits and a 256-entry array.
int32_t SplitTextureSize(int32_t side, int32_t* sizes, int32_t noSplit);

// The planning tables of one image: x, y and texture size of every piece, square-only
// extras included.
struct TexturePlanTables {
  std::array<int32_t, MaxTexturePieces> x, y, width, height;
};
extern TexturePlanTables TexturePlan;

// Fills `plan` for an image; the piece count, or -1 (with a log line) when the image would
// need more pieces than the tables hold.
int32_t PlanTextureLayout(const TextureSplitLimits& limits, int32_t width, int32_t height,
                          int32_t noSplit, int32_t squareOnly, TexturePlanTables* plan);

// Row 0-13 of the transfer-format table for an image's description.
int32_t GetTransferFormatIndex(const GraphFormatDescription& description);
// The row's ColorFormat, null above 13 or below 0.
const ColorFormat* GetTransferFormat(int32_t row);
const ColorFormat* ChooseTransferFormat(const GraphFormatDescription& description);
const ColorFormat* ChooseGraphTextureFormat(int32_t alpha, int32_t alphaTest, int32_t bits32,
                                            int32_t renderTarget);
// The layout of a D3DFORMAT, or null for one the engine does not describe.
const ColorFormat* ColorFormatForD3DFormat(uint32_t format);
// The DXT kind 1-5 of a DXT FourCC format, else 0.
int32_t DxtKindOfD3DFormat(uint32_t format);

}  // namespace quelt
