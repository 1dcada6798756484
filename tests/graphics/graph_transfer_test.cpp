// Original images on the Direct3D road over a texture table in memory: pieces, the
// converted pixels, generated and stored mip levels, block-compressed copies, fills and
// the release and re-creation of textures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "core/core_state.h"
#include "core/tracked_alloc.h"
#include "graphics/d3d_values.h"
#include "graphics/device_formats.h"
#include "graphics/device_state.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_load.h"
#include "graphics/graph_settings.h"
#include "graphics/graph_table.h"
#include "graphics/original_image.h"
#include "graphics/original_image_device.h"
#include "graphics/pixel_transfer.h"
#include "graphics/screen_mode.h"
#include "graphics/texture_split.h"
#include "image/color_format.h"
#include "image/dxt_decode.h"
#include "image/pixel_convert.h"
#include "image/raster_image.h"

namespace {

using namespace quelt;

constexpr int32_t PitchPadding = 12;  // the fake lock pitch is never the row size

struct FakeTexture;
struct FakeSurface {
  FakeTexture* texture;
};
struct FakeTexture {
  int32_t width, height, levels;
  uint32_t format;
  int32_t renderTarget;
  std::vector<std::vector<uint8_t>> data;
  std::vector<int32_t> pitch;
  FakeSurface surface{this};
};

std::set<FakeTexture*> LiveTextures;

int32_t BlockBytes(uint32_t format) {
  const int32_t kind = DxtKindOfD3DFormat(format);
  return kind == 0 ? 0 : (kind == 1 ? 8 : 16);
}
int32_t PixelBytes(uint32_t format) {
  return format == d3d::FmtA8R8G8B8 || format == d3d::FmtX8R8G8B8 ? 4 : 2;
}

int32_t CreateTexture(void*, int32_t w, int32_t h, int32_t levels, int32_t rt, uint32_t format, int32_t,
                      void** out) {
  auto* t = new FakeTexture{w, h, levels, format, rt, {}, {}};
  for (int32_t i = 0; i < levels; ++i) {
    const int32_t lw = std::max(1, w >> i), lh = std::max(1, h >> i);
    const int32_t block = BlockBytes(format);
    const int32_t rowBytes = block ? std::max(1, (lw + 3) / 4) * block : lw * PixelBytes(format);
    const int32_t rows = block ? std::max(1, (lh + 3) / 4) : lh;
    t->pitch.push_back(rowBytes + PitchPadding);
    t->data.emplace_back(static_cast<size_t>((rowBytes + PitchPadding) * rows), 0xEE);
  }
  LiveTextures.insert(t);
  *out = t;
  return 0;
}
int32_t GetSurfaceLevel(void* texture, int32_t, void** surface) {
  *surface = &static_cast<FakeTexture*>(texture)->surface;
  return 0;
}
int32_t Release(void* object) {
  auto* t = static_cast<FakeTexture*>(object);
  if (LiveTextures.erase(t) != 0) delete t;
  return 0;
}
int32_t LockTexture(void* texture, int32_t level, const PixelRect* rect, int32_t, LockedArea* out) {
  auto* t = static_cast<FakeTexture*>(texture);
  if (level >= t->levels) return -1;
  const int32_t x = rect ? rect->left : 0, y = rect ? rect->top : 0;
  out->pitch = t->pitch[static_cast<size_t>(level)];
  out->bits = t->data[static_cast<size_t>(level)].data() + y * out->pitch + x * PixelBytes(t->format);
  return 0;
}
int32_t Unlock(void*, int32_t) { return 0; }
int32_t ColourFill(void*, void* surface, const PixelRect* rect, uint32_t argb) {
  FakeTexture* t = static_cast<FakeSurface*>(surface)->texture;
  const PixelRect r = rect ? *rect : PixelRect{0, 0, t->width, t->height};
  for (int32_t y = r.top; y < r.bottom; ++y)
    for (int32_t x = r.left; x < r.right; ++x) std::memcpy(t->data[0].data() + y * t->pitch[0] + x * 4, &argb, 4);
  return 0;
}

TextureDeviceOps FakeOps{CreateTexture, GetSurfaceLevel, Release, LockTexture, Unlock, nullptr, nullptr,
                         ColourFill,    nullptr,         nullptr, nullptr,     nullptr, nullptr, nullptr,
                         nullptr};

uint32_t TexturePixel(const TextureEntry& e, int32_t x, int32_t y, int32_t level = 0) {
  auto* t = static_cast<FakeTexture*>(e.texture);
  uint32_t v = 0;
  std::memcpy(&v, t->data[static_cast<size_t>(level)].data() + y * t->pitch[static_cast<size_t>(level)] + x * 4, 4);
  return v;
}

// The graph's pixel at (x, y), found through its pieces.
uint32_t GraphPixel(int32_t graph, int32_t x, int32_t y) {
  GraphRecord* record = GetGraphRecord(graph);
  for (int32_t k = 0; k < record->pieceCount; ++k) {
    const TexturePiece& p = GraphPieces(record)[k];
    if (x >= p.destX && x < p.destX + p.width && y >= p.destY && y < p.destY + p.height)
      return TexturePixel(*p.entry, x - p.destX + p.sourceX, y - p.destY + p.sourceY);
  }
  return 0xDEADBEEF;
}

class GraphTransferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ScreenState = ScreenStateRecord{};
    ScreenState.width = 600;
    ScreenState.height = 600;
    ScreenState.colourDepth = 32;
    ScreenState.started = 1;
    WindowActiveFlag = 1;
    ResetDrawSettings();
    ScreenState.hardware = 1;
    ResetNewGraphSettings();
    GraphicsDevice.facts.maxTextureSize = 2048;
    GraphicsDevice.facts.squareTexturesOnly = 0;
    DeviceFormatTable.fill(d3d::FmtA8R8G8B8);
    DeviceFormatTable[FormatColour32] = d3d::FmtX8R8G8B8;
    DeviceFormatTable[FormatAlphaTest16] = d3d::FmtA1R5G5B5;
    DeviceFormatTable[FormatDxt1] = d3d::FmtDxt1;
    TextureOpsOverride = &FakeOps;
  }
  void TearDown() override {
    DeleteAllGraphs();
    ResetGraphTableCounts();
    TextureOpsOverride = nullptr;
    TextureLayoutSettings = TextureLayoutSettingsRecord{};
    GraphicsDevice = GraphicsDeviceRecord{};
    DeviceFormatTable.fill(0);
    ScreenState = ScreenStateRecord{};
    EXPECT_TRUE(LiveTextures.empty());
  }
};

RasterImage PatternImage(int32_t w, int32_t h) {
  RasterImage image{};
  AllocXrgb32Image(w, h, &image);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      reinterpret_cast<uint32_t*>(image.pixels + y * image.pitch)[x] =
          (x % 7 == 0) ? 0u : 0xFF000000u | static_cast<uint32_t>(x * 37 + y * 1001);
  return image;
}

TEST_F(GraphTransferTest, SixHundredWideImageSplitsIntoFourPiecesWithTheConvertedPixels) {
  RasterImage image = PatternImage(600, 40);
  const int32_t graph = CreateGraphFromRaster(&image, nullptr, 0, 0, 0);
  ASSERT_GE(graph, 0);
  GraphRecord* record = GetGraphRecord(graph);
  ASSERT_EQ(record->pieceCount, 4);
  EXPECT_EQ(GraphPieces(record)[3].entry->textureWidth, 8);
  EXPECT_EQ(GraphPieces(record)[3].destX, 592);
  EXPECT_EQ(record->image->formatIndex, 5);  // alpha test, 32 bit

  // Alpha-test conversion into A8R8G8B8: the transparent colour (black) gets alpha 0.
  const ColorFormat* target = ColorFormatForD3DFormat(d3d::FmtA8R8G8B8);
  std::vector<uint32_t> expected(600 * 40);
  const PixelRect all{0, 0, 600, 40};
  ConvertPixelRect(expected.data(), 600 * 4, target, image.pixels, image.pitch, &image.format, nullptr, 0, nullptr, 0,
                   0, &all, 0, 1, 0, 0, 0, 0, 0, 0);
  int mismatches = 0;
  for (int32_t y = 0; y < 40; ++y)
    for (int32_t x = 0; x < 600; ++x) mismatches += GraphPixel(graph, x, y) != expected[y * 600 + x] ? 1 : 0;
  EXPECT_EQ(mismatches, 0);
  EXPECT_EQ(GraphPixel(graph, 0, 0) >> 24, 0u);
  EXPECT_EQ(GraphPixel(graph, 599, 39) >> 24, 0xFFu);

  // A sub graph across the 512 boundary draws from two pieces.
  const int32_t sub = CreateSubGraph(500, 5, 70, 10, graph);
  ASSERT_GE(sub, 0);
  GraphRecord* subRecord = GetGraphRecord(sub);
  ASSERT_EQ(subRecord->pieceCount, 2);
  EXPECT_EQ(GraphPieces(subRecord)[0].sourceX, 500);
  EXPECT_EQ(GraphPieces(subRecord)[0].width, 12);
  EXPECT_EQ(GraphPieces(subRecord)[1].destX, 12);
  EXPECT_EQ(GraphPieces(subRecord)[1].width, 58);
  EXPECT_FLOAT_EQ(GraphPieces(subRecord)[0].corners[0].u, 500.0f / 512.0f);
  EXPECT_EQ(GraphPixel(sub, 20, 3), expected[8 * 600 + 520]);
  FreeRasterImage(&image);
}

TEST_F(GraphTransferTest, SourceRectanglesOutsideTheImageAreCut) {
  RasterImage image = PatternImage(16, 16);
  const int32_t graph = CreateGraphForImage(&image, nullptr);
  ASSERT_GE(graph, 0);
  // A reload offset past the image's edge (a file that shrank) reads nothing outside it.
  EXPECT_EQ(TransferImageToGraphAt(nullptr, nullptr, nullptr, nullptr, 0, &image, nullptr, 8, 8, graph, 0), 0);
  EXPECT_EQ(TransferImageToGraphAt(nullptr, nullptr, nullptr, nullptr, 0, &image, nullptr, 100, 0, graph, 0), -1);
  const PixelRect empty{3, 3, 3, 9};
  EXPECT_EQ(TransferToTextures(graph, nullptr, nullptr, nullptr, &empty, 0, 0, 0, &image, nullptr, 0, 1, 0), 0);
  FreeRasterImage(&image);
}

TEST_F(GraphTransferTest, MipLevelsAreGeneratedFromTheConvertedImage) {
  TextureLayoutSettings.MipLevelSetting = -1;
  RasterImage image{};
  AllocXrgb32Image(16, 16, &image);
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x < 16; ++x) reinterpret_cast<uint32_t*>(image.pixels + y * image.pitch)[x] = x < 8 ? 0x404040u : 0x808080u;
  SetNewGraphAlphaTestFlag(0);
  const int32_t graph = CreateGraphFromRaster(&image, nullptr, 0, 0, 0);
  ASSERT_GE(graph, 0);
  OriginalImage* original = GetGraphRecord(graph)->image;
  EXPECT_EQ(original->mipCount, 5);
  const TextureEntry& e = ImageEntries(original)[0];
  EXPECT_EQ(TexturePixel(e, 0, 0, 1) & 0xFFFFFF, 0x404040u);
  EXPECT_EQ(TexturePixel(e, 7, 7, 1) & 0xFFFFFF, 0x808080u);
  EXPECT_EQ(TexturePixel(e, 0, 0, 4) & 0xFFFFFF, 0x606060u);
  FreeRasterImage(&image);
}

TEST_F(GraphTransferTest, MipMappedImageSplitIntoPiecesFillsEveryPiece) {
  // 600 x 40 with a full chain (10 levels): the 8 x 64 piece has only 7.
  TextureLayoutSettings.MipLevelSetting = -1;
  RasterImage image = PatternImage(600, 40);
  const int32_t graph = CreateGraphFromRaster(&image, nullptr, 0, 0, 0);
  ASSERT_GE(graph, 0);
  GraphRecord* record = GetGraphRecord(graph);
  ASSERT_EQ(record->pieceCount, 4);
  EXPECT_EQ(record->image->mipCount, 10);
  const ColorFormat* target = ColorFormatForD3DFormat(d3d::FmtA8R8G8B8);
  std::vector<uint32_t> expected(600 * 40);
  const PixelRect all{0, 0, 600, 40};
  ConvertPixelRect(expected.data(), 600 * 4, target, image.pixels, image.pitch, &image.format, nullptr, 0, nullptr, 0,
                   0, &all, 0, 1, 0, 0, 0, 0, 0, 0);
  int mismatches = 0;
  for (int32_t y = 0; y < 40; ++y)
    for (int32_t x = 0; x < 600; ++x) mismatches += GraphPixel(graph, x, y) != expected[y * 600 + x] ? 1 : 0;
  EXPECT_EQ(mismatches, 0);
  FreeRasterImage(&image);
}

RasterImage Dxt1Image(int32_t w, int32_t h, int32_t mips, size_t bytes) {
  RasterImage image{};
  SetArgb32ColorFormat(&image.format);
  image.format.bitDepth = 4;
  image.format.compression = kCompressionDxt1;
  image.width = w;
  image.height = h;
  image.mipCount = mips;
  image.pixels = static_cast<uint8_t*>(TrackedAlloc(static_cast<int32_t>(bytes), __FILE__, __LINE__));
  for (size_t i = 0; i < bytes; ++i) image.pixels[i] = static_cast<uint8_t>(i * 7 + 1);
  return image;
}

TEST_F(GraphTransferTest, CompressedDataAndItsLevelsAreCopiedRowByRowAlongTheLockPitch) {
  // 8 x 8 DXT1 with its 4 x 4 level: 32 + 8 bytes, as the reader stores them.
  RasterImage image = Dxt1Image(8, 8, 2, 40);
  const int32_t graph = CreateGraphFromRaster(&image, nullptr, 0, 0, 0);
  ASSERT_GE(graph, 0);
  const TextureEntry& e = ImageEntries(GetGraphRecord(graph)->image)[0];
  auto* t = static_cast<FakeTexture*>(e.texture);
  ASSERT_EQ(t->levels, 2);
  EXPECT_EQ(t->format, static_cast<uint32_t>(d3d::FmtDxt1));
  // Block row 1 starts one lock pitch down; the padding after each row stays untouched.
  EXPECT_EQ(std::memcmp(t->data[0].data(), image.pixels, 16), 0);
  EXPECT_EQ(std::memcmp(t->data[0].data() + t->pitch[0], image.pixels + 16, 16), 0);
  EXPECT_EQ(t->data[0][16], 0xEE);
  EXPECT_EQ(std::memcmp(t->data[1].data(), image.pixels + 32, 8), 0);
  FreeRasterImage(&image);
}

TEST_F(GraphTransferTest, CompressedDataOfOddSidesIsDecodedWithoutReadingPastIt) {
  // 6 x 6 DXT1: one whole block stored; the texture (8 x 8) does not match, so it is decoded.
  DeviceFormatTable[FormatDxt1] = d3d::FmtA1R5G5B5;
  RasterImage image = Dxt1Image(6, 6, 0, 8);
  const int32_t graph = CreateGraphFromRaster(&image, nullptr, 0, 0, 0);
  ASSERT_GE(graph, 0);
  EXPECT_EQ(image.format.compression, 0u);  // decoded in place
  FreeRasterImage(&image);
}

TEST_F(GraphTransferTest, CompressedImagesNotTheSizeOfTheirTextureShowTheirDecodedPixels) {
  // 12 x 12 (a 16 x 16 texture) and 6 x 6 (an 8 x 8 one) on a device that has DXT1: the
  // data cannot be copied into such a texture, so the graph holds the decoded pixels.
  for (const int32_t side : {12, 6}) {
    const int32_t blocks = (side + 3) / 4;
    RasterImage image = Dxt1Image(side, side, 0, static_cast<size_t>(blocks * blocks * 8));
    for (int32_t b = 0; b < blocks * blocks; ++b) {
      // Four-colour blocks (first colour above the second): no transparent texels.
      const uint8_t block[8] = {0x00, 0xF8, 0x1F, static_cast<uint8_t>(b), 0x1B, 0xE4, 0x4E, 0xB1};
      std::memcpy(image.pixels + b * 8, block, 8);
    }
    std::vector<uint32_t> decoded(static_cast<size_t>(side * side));
    DecodeDxtBlocks(kCompressionDxt1, image.pixels, static_cast<size_t>(blocks * blocks * 8), side, side,
                    reinterpret_cast<uint8_t*>(decoded.data()));
    const int32_t graph = CreateGraphFromRaster(&image, nullptr, 0, 0, 0);
    ASSERT_GE(graph, 0);
    const TextureEntry& e = ImageEntries(GetGraphRecord(graph)->image)[0];
    EXPECT_EQ(static_cast<FakeTexture*>(e.texture)->format, static_cast<uint32_t>(d3d::FmtA8R8G8B8)) << side;
    int mismatches = 0;
    for (int32_t y = 0; y < side; ++y)
      for (int32_t x = 0; x < side; ++x)
        mismatches += GraphPixel(graph, x, y) != decoded[static_cast<size_t>(y * side + x)] ? 1 : 0;
    EXPECT_EQ(mismatches, 0) << side;
    FreeRasterImage(&image);
  }
  // A whole-texture image keeps its blocks, but not when the texture wants more levels
  // than the data brings.
  TextureLayoutSettings.MipLevelSetting = -1;
  RasterImage image = Dxt1Image(8, 8, 0, 32);
  const int32_t graph = CreateGraphFromRaster(&image, nullptr, 0, 0, 0);
  ASSERT_GE(graph, 0);
  EXPECT_EQ(static_cast<FakeTexture*>(ImageEntries(GetGraphRecord(graph)->image)[0].texture)->format,
            static_cast<uint32_t>(d3d::FmtA8R8G8B8));
  FreeRasterImage(&image);
}

TEST_F(GraphTransferTest, FillsReachOrdinaryAndDrawableGraphs) {
  const int32_t plain = CreateBlankGraph(8, 8);
  ASSERT_GE(plain, 0);
  EXPECT_EQ(FillGraphColour(plain, 300, 0, 0, 255), 0);
  EXPECT_EQ(TexturePixel(ImageEntries(GetGraphRecord(plain)->image)[0], 1, 1), 0xFFFF0000u);
  // The transparent colour keeps its zero alpha in an image whose key became alpha.
  EXPECT_EQ(FillGraphColour(plain, 0, 0, 0, 255), 0);
  EXPECT_EQ(TexturePixel(ImageEntries(GetGraphRecord(plain)->image)[0], 7, 7) >> 24, 0u);

  TextureLayoutSettings.MipLevelSetting = -1;
  SetNewGraphDrawableFlag(1);
  const int32_t target = CreateBlankGraph(8, 8);
  ASSERT_GE(target, 0);
  OriginalImage* image = GetGraphRecord(target)->image;
  EXPECT_EQ(image->renderTarget, 1);
  EXPECT_EQ(image->description[FormatByteDefaultPool], 1);
  EXPECT_EQ(static_cast<FakeTexture*>(ImageEntries(image)[0].texture)->levels, 1);
  EXPECT_EQ(image->targetSurface, ImageEntries(image)[0].surface);
  EXPECT_EQ(FillGraphColour(target, 300, 16, -4, 128), 0);
  EXPECT_EQ(TexturePixel(ImageEntries(image)[0], 7, 7), 0x80FF1000u);
  EXPECT_EQ(FillGraphColour(0x08000999, 0, 0, 0, 0), -1);
}

TEST_F(GraphTransferTest, TexturesAreReleasedAndMadeAgainAroundAReset) {
  const int32_t graph = CreateBlankGraph(600, 20);
  ASSERT_GE(graph, 0);
  EXPECT_EQ(LiveTextures.size(), 4u);
  ReleaseAllGraphTextures();
  EXPECT_TRUE(LiveTextures.empty());
  EXPECT_EQ(GetGraphRecord(graph)->image->firstTexture, nullptr);
  RecreateAllGraphTextures();
  EXPECT_EQ(LiveTextures.size(), 4u);
  EXPECT_NE(GetGraphRecord(graph)->image->firstTexture, nullptr);
}

TEST_F(GraphTransferTest, ImagesNeedingMorePiecesThanTheTablesHoldAreRefused) {
  TextureLayoutSettings.TextureSizeLimit = 8;
  EXPECT_EQ(CreateBlankGraph(200, 200), -1);
  EXPECT_EQ(GraphTable.count, 0);
  EXPECT_GE(CreateBlankGraph(64, 64), 0);
}

int32_t TexturesAsked = 0;
int32_t RefuseTexture(void*, int32_t, int32_t, int32_t, int32_t, uint32_t, int32_t, void**) {
  ++TexturesAsked;
  return -1;
}

// Sizes whose textures would outgrow what the software screen can hold are refused before
// the device is asked for any of them.
TEST_F(GraphTransferTest, ImagesTooLargeInBytesAreRefusedBeforeAnyTextureIsMade) {
  GraphicsDevice.facts.maxTextureSize = 16384;
  FakeOps.createTexture = RefuseTexture;
  TexturesAsked = 0;
  for (const auto& [w, h] : {std::pair{100000, 100000}, std::pair{46341, 46341}, std::pair{65536, 8192}})
    EXPECT_EQ(CreateBlankGraph(w, h), -1) << w << "x" << h;
  FakeOps.createTexture = CreateTexture;
  EXPECT_EQ(TexturesAsked, 0);
  EXPECT_EQ(GraphTable.count, 0);
  EXPECT_GE(CreateBlankGraph(64, 64), 0);
}

}  // namespace
