#include "graphics/texture_split.h"

#include "core/log.h"
#include "graphics/d3d_values.h"
#include "graphics/device_state.h"
#include "graphics/graph_settings.h"
#include "graphics/screen_mode.h"
#include "image/color_format.h"

namespace quelt {

TexturePlanTables TexturePlan{};

namespace {

int32_t LogTooManyPieces() {
  WriteLog("テクスチャの分割数がテクスチャ管理テーブルの上限を越えました\n");
  return -1;
}

}  // namespace

TextureSplitLimits CurrentTextureSplitLimits() {
  return {GraphicsDevice.facts.maxTextureSize, ScreenState.width,
          TextureLayoutSettings.TextureSizeLimit, TextureLayoutSettings.SingleTextureFlag};
}

int32_t SplitTextureSizeWith(const TextureSplitLimits& limits, int32_t side, int32_t* sizes,
                             int32_t capacity, int32_t noSplit) {
  if (capacity < 1) return LogTooManyPieces();
  if (side <= 8) {
    sizes[0] = 8;
    return 1;
  }
  // Texture sides are powers of two: a limit between two of them means the lower one.
  const int32_t limit = limits.textureSizeLimit != 0 ? limits.textureSizeLimit : limits.deviceMaxSize;
  int32_t max = 8;
  while (max <= limit / 2) max *= 2;
  int32_t e = max;
  while (e > 8 && e > side) e >>= 1;

  const bool split =
      (limits.singleTexture != 1 && noSplit != 1 &&
       (limits.textureSizeLimit != 0 || side >= limits.screenWidth)) ||
      side >= max;
  if (!split) {
    sizes[0] = e < side ? e * 2 : e;
    return 1;
  }

  int32_t count = 0;
  int32_t rest = side;
  for (;;) {
    if (count == capacity) return LogTooManyPieces();
    sizes[count++] = e;
    rest -= e;
    if (rest <= 0) break;
    // A remainder above three quarters of the piece is better served by one piece twice
    // the size.
    if (rest > e * 3 / 4 && e < max) {
      sizes[count - 1] = e * 2;
      break;
    }
    while (e > rest && e > 8) e >>= 1;
  }
  if (count >= 2 && sizes[count - 1] == sizes[count - 2] && sizes[count - 1] * 2 <= max) {
    sizes[count - 2] *= 2;
    --count;
  }
  return count;
}

int32_t SplitTextureSize(int32_t side, int32_t* sizes, int32_t noSplit) {
  return SplitTextureSizeWith(CurrentTextureSplitLimits(), side, sizes, MaxTexturePieces, noSplit);
}

int32_t PlanTextureLayout(const TextureSplitLimits& limits, int32_t width, int32_t height,
                          int32_t noSplit, int32_t squareOnly, TexturePlanTables* plan) {
  std::array<int32_t, MaxTexturePieces> widths{};
  std::array<int32_t, MaxTexturePieces> heights{};
  const int32_t nx = SplitTextureSizeWith(limits, width, widths.data(), MaxTexturePieces, noSplit);
  const int32_t ny = SplitTextureSizeWith(limits, height, heights.data(), MaxTexturePieces, noSplit);
  if (nx < 0 || ny < 0) return -1;
  if (nx * ny > MaxTexturePieces) return LogTooManyPieces();

  int32_t count = 0;
  int32_t y = 0;
  for (int32_t i = 0; i < ny; ++i) {
    int32_t x = 0;
    for (int32_t j = 0; j < nx; ++j) {
      plan->x[count] = x;
      plan->y[count] = y;
      plan->width[count] = widths[j];
      plan->height[count] = heights[i];
      ++count;
      x += widths[j];
    }
    y += heights[i];
  }
  if (squareOnly == 0) return count;

  // A device of square textures only: each oblong piece becomes a square of its shorter
  // side, and the rest of its length follows as further squares at the end of the list.
  const int32_t planned = count;
  for (int32_t k = 0; k < planned; ++k) {
    const int32_t w = plan->width[k];
    const int32_t h = plan->height[k];
    if (w == h) continue;
    const int32_t s = w < h ? w : h;
    const int32_t extras = (w > h ? w : h) / s - 1;
    if (count + extras > MaxTexturePieces) return LogTooManyPieces();
    plan->width[k] = s;
    plan->height[k] = s;
    for (int32_t n = 1; n <= extras; ++n) {
      plan->x[count] = plan->x[k] + (w > h ? n * s : 0);
      plan->y[count] = plan->y[k] + (w > h ? 0 : n * s);
      plan->width[count] = s;
      plan->height[count] = s;
      ++count;
    }
  }
  return count;
}

int32_t GetTransferFormatIndex(const GraphFormatDescription& d) {
  const int32_t bits32 = d[FormatByteColourBits] != 16 ? 1 : 0;
  if (d[FormatByteDxt] >= 1 && d[FormatByteDxt] <= 5) return 5 + d[FormatByteDxt];
  if (d[FormatByteRenderTarget]) {
    if (d[FormatByteAlpha] == 1 || d[FormatByteAlphaTest] == 1) return 13;
    return 11 + bits32;
  }
  if (d[FormatByteAlpha]) return 2 + bits32;
  if (d[FormatByteAlphaTest]) return 4 + bits32;
  return bits32;
}

namespace {

struct MaskRow {
  int bits;
  uint32_t red, green, blue, alpha;
  uint32_t compression;
};

constexpr MaskRow kArgb{32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, 0};
constexpr std::array<MaskRow, 14> kTransferRows{{
    {16, 0xF800, 0x7E0, 0x1F, 0, 0},
    {32, 0xFF0000, 0xFF00, 0xFF, 0, 0},
    {16, 0xF00, 0xF0, 0xF, 0xF000, 0},
    kArgb,
    {16, 0x7C00, 0x3E0, 0x1F, 0x8000, 0},
    kArgb,
    {4, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, 1},
    {8, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, 2},
    {8, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, 3},
    {8, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, 4},
    {8, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, 5},
    {16, 0xF800, 0x7E0, 0x1F, 0, 0},
    {32, 0xFF0000, 0xFF00, 0xFF, 0, 0},
    kArgb,
}};

struct D3DRow {
  uint32_t format;
  MaskRow masks;
};
constexpr std::array<D3DRow, 14> kD3DRows{{
    {20, {24, 0xFF0000, 0xFF00, 0xFF, 0, 0}},
    {21, kArgb},
    {22, {32, 0xFF0000, 0xFF00, 0xFF, 0, 0}},
    {23, {16, 0xF800, 0x7E0, 0x1F, 0, 0}},
    {24, {16, 0x7C00, 0x3E0, 0x1F, 0, 0}},
    {25, {16, 0x7C00, 0x3E0, 0x1F, 0x8000, 0}},
    {26, {16, 0xF00, 0xF0, 0xF, 0xF000, 0}},
    {27, {8, 0xE0, 0x1C, 0x3, 0, 0}},
    {29, {16, 0xE0, 0x1C, 0x3, 0xFF00, 0}},
    {30, {16, 0xF00, 0xF0, 0xF, 0, 0}},
    {31, {32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000, 0}},
    {32, {32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000, 0}},
    {33, {32, 0xFF, 0xFF00, 0xFF0000, 0, 0}},
    {35, {32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000, 0}},
}};

void BuildFormat(const MaskRow& row, ColorFormat* format) {
  *format = ColorFormat{};
  SetMaskColorFormat(format, row.bits, row.red, row.green, row.blue, row.alpha);
  format->compression = row.compression;
  if (row.compression != 0) format->bitDepth = static_cast<uint16_t>(row.bits);
}

}  // namespace

const ColorFormat* GetTransferFormat(int32_t row) {
  static std::array<ColorFormat, 14> table;
  static bool built = false;
  if (!built) {
    for (size_t i = 0; i < table.size(); ++i) BuildFormat(kTransferRows[i], &table[i]);
    built = true;
  }
  if (row < 0 || row > 13) return nullptr;
  return &table[static_cast<size_t>(row)];
}

const ColorFormat* ChooseTransferFormat(const GraphFormatDescription& description) {
  return GetTransferFormat(GetTransferFormatIndex(description));
}

const ColorFormat* ChooseGraphTextureFormat(int32_t alpha, int32_t alphaTest, int32_t bits32,
                                            int32_t renderTarget) {
  GraphFormatDescription d{};
  d[FormatByteAlpha] = alpha != 0;
  d[FormatByteAlphaTest] = alphaTest != 0;
  d[FormatByteColourBits] = bits32 ? 32 : 16;
  d[FormatByteRenderTarget] = renderTarget != 0;
  return ChooseTransferFormat(d);
}

const ColorFormat* ColorFormatForD3DFormat(uint32_t format) {
  static std::array<ColorFormat, kD3DRows.size()> table;
  static bool built = false;
  if (!built) {
    for (size_t i = 0; i < table.size(); ++i) BuildFormat(kD3DRows[i].masks, &table[i]);
    built = true;
  }
  for (size_t i = 0; i < kD3DRows.size(); ++i) {
    if (kD3DRows[i].format == format) return &table[i];
  }
  return nullptr;
}

int32_t DxtKindOfD3DFormat(uint32_t format) {
  switch (format) {
    case d3d::FmtDxt1: return 1;
    case d3d::FmtDxt2: return 2;
    case d3d::FmtDxt3: return 3;
    case d3d::FmtDxt4: return 4;
    case d3d::FmtDxt5: return 5;
    default: return 0;
  }
}

}  // namespace quelt
