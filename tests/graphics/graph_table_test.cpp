// Graph handles, sub graphs, deletion and the new-graph settings on the software back end.
#include <gtest/gtest.h>

#include <vector>

#include "core/core_state.h"
#include "core/tracked_alloc.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_load.h"
#include "graphics/graph_settings.h"
#include "graphics/graph_table.h"
#include "graphics/graphics_platform.h"
#include "graphics/screen_mode.h"
#include "image/color_format.h"
#include "image/raster_image.h"
#include "softrender/memimg.h"

namespace {

using namespace quelt;

class GraphTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ScreenState = ScreenStateRecord{};
    ScreenState.width = 640;
    ScreenState.height = 480;
    ScreenState.colourDepth = 32;
    ScreenState.started = 1;
    WindowActiveFlag = 1;
    GraphTable.nextCheckId = 0;
    ResetDrawSettings();
    ResetNewGraphSettings();
  }
  void TearDown() override {
    DeleteAllGraphs();
    ResetGraphTableCounts();
    ReleaseSoftwareScreen();
    ScreenState = ScreenStateRecord{};
  }
};

TEST_F(GraphTableTest, HandlesTakeTheHighWaterSlotAndStaleHandlesAreRefused) {
  const int32_t first = CreateBlankGraph(4, 4);
  EXPECT_EQ(first, 0x08000000);
  const int32_t second = CreateBlankGraph(4, 4);
  const int32_t third = CreateBlankGraph(4, 4);
  EXPECT_EQ(second & 0xFFFF, 1);
  EXPECT_EQ(GraphTable.highWater, 3);

  // A lower slot freed stays free while the high-water index is below the capacity.
  EXPECT_EQ(ReleaseGraphHandle(second), 0);
  EXPECT_EQ(GraphTable.highWater, 3);
  EXPECT_EQ(ReleaseGraphHandle(second), -1);
  EXPECT_EQ(IsGraphHandleValid(second), 0);
  int32_t w = 0;
  EXPECT_EQ(QueryGraphDimensions(second, &w, nullptr), -1);
  const int32_t fourth = CreateBlankGraph(4, 4);
  EXPECT_EQ(fourth & 0xFFFF, 3);

  // Deleting the highest graph lowers the index past the trailing free slots.
  EXPECT_EQ(ReleaseGraphHandle(fourth), 0);
  EXPECT_EQ(ReleaseGraphHandle(third), 0);
  EXPECT_EQ(GraphTable.highWater, 1);
  EXPECT_EQ(ReleaseGraphHandle(first), 0);
  EXPECT_EQ(GraphTable.highWater, 0);
  EXPECT_EQ(GraphTable.count, 0);

  EXPECT_EQ(IsGraphHandleValid(-1), 0);
  EXPECT_EQ(IsGraphHandleValid(0x10000000), 0);  // another kind
  EXPECT_EQ(QueryGraphDimensions(-3, &w, nullptr), -1);
  int32_t h = 0;
  EXPECT_EQ(QueryGraphDimensions(DrawScreenBack, &w, &h), 0);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);
}

TEST_F(GraphTableTest, CheckIdsWrapAfter2048) {
  GraphTable.nextCheckId = 2047;
  const int32_t a = CreateBlankGraph(1, 1);
  const int32_t b = CreateBlankGraph(1, 1);
  EXPECT_EQ((a >> 16) & 0x7FF, 2047);
  EXPECT_EQ((b >> 16) & 0x7FF, 0);
}

TEST_F(GraphTableTest, SubGraphsClipShareThePixelsAndRefuseOutsideRectangles) {
  const int32_t graph = CreateBlankGraph(64, 64);
  ASSERT_GE(graph, 0);
  const int32_t sub = CreateSubGraph(10, 10, 100, 100, graph);
  ASSERT_GE(sub, 0);
  int32_t w = 0, h = 0;
  QueryGraphDimensions(sub, &w, &h);
  EXPECT_EQ(w, 54);
  EXPECT_EQ(h, 54);
  EXPECT_EQ(CreateSubGraph(64, 0, 4, 4, graph), -1);
  EXPECT_EQ(CreateSubGraph(-1, 0, 4, 4, graph), -1);
  EXPECT_EQ(CreateSubGraph(0, 0, 0, 4, graph), -1);
  EXPECT_EQ(CreateSubGraph(0, 0, 4, 4, 0x08000123), -1);
  EXPECT_EQ(GraphTable.count, 2);

  // A sub graph of the sub graph: positions add up, one image for all.
  const int32_t subSub = CreateSubGraph(4, 2, 8, 8, sub);
  ASSERT_GE(subSub, 0);
  GraphRecord* record = GetGraphRecord(subSub);
  EXPECT_EQ(record->x, 14);
  EXPECT_EQ(record->y, 12);
  OriginalImage* image = GetGraphRecord(graph)->image;
  EXPECT_EQ(record->image, image);
  EXPECT_EQ(image->refCount, 3);
  // The view points into the shared pixels at its position.
  EXPECT_EQ(record->memImg.pixels, image->memImg.pixels + 12 * image->memImg.base->pitch + 14 * 4);

  EXPECT_EQ(ReleaseGraphHandle(graph), 0);
  EXPECT_EQ(image->refCount, 2);
  EXPECT_EQ(ReleaseGraphHandle(sub), 0);
  EXPECT_EQ(ReleaseGraphHandle(subSub), 0);
}

TEST_F(GraphTableTest, DeletedFlagFollowsDeletionAlsoThroughDeleteAll) {
  const int32_t a = CreateBlankGraph(2, 2);
  const int32_t b = CreateBlankGraph(2, 2);
  int32_t flagA = 7, flagB = 7;
  EXPECT_EQ(LinkGraphDeletedFlag(a, &flagA), 0);
  EXPECT_EQ(LinkGraphDeletedFlag(b, &flagB), 0);
  EXPECT_EQ(flagA, 0);
  ReleaseGraphHandle(a);
  EXPECT_EQ(flagA, 1);
  EXPECT_EQ(flagB, 0);
  DeleteAllGraphs();
  EXPECT_EQ(flagB, 1);
  EXPECT_EQ(GraphTable.count, 0);
  EXPECT_EQ(LinkGraphDeletedFlag(a, &flagA), -1);

  // Nothing is deleted while graphics are not started.
  const int32_t c = CreateBlankGraph(2, 2);
  ScreenState.started = 0;
  DeleteAllGraphs();
  EXPECT_EQ(IsGraphHandleValid(c), 1);
  ScreenState.started = 1;
}

TEST_F(GraphTableTest, NewGraphSettingsDefaultsAndEffect) {
  EXPECT_EQ(GetNewGraphAlphaTestFlag(), 1);
  EXPECT_EQ(GetNewGraphBitDepth(), 0);
  EXPECT_EQ(GetNewGraphAlphaFlag(), 0);
  EXPECT_EQ(GetNewGraphDrawableFlag(), 0);
  EXPECT_EQ(GetNewGraphDefaultPoolFlag(), 0);
  EXPECT_EQ(GetMovieGraphFlag(), 0);

  const int32_t before = CreateBlankGraph(8, 8);
  SetNewGraphBitDepth(16);
  SetNewGraphAlphaFlag(1);
  const int32_t after = CreateBlankGraph(8, 8);
  EXPECT_EQ(GetGraphRecord(before)->image->formatIndex, 17);
  EXPECT_EQ(GetGraphRecord(after)->image->formatIndex, 16);
  EXPECT_EQ(GetGraphRecord(after)->image->memImg.base->colourType, static_cast<uint32_t>(MemImgRgb565));

  SetNewGraphDrawableFlag(1);
  SetNewGraphDefaultPoolFlag(1);
  ResetNewGraphSettings();
  EXPECT_EQ(GetNewGraphAlphaTestFlag(), 1);
  EXPECT_EQ(GetNewGraphDrawableFlag(), 0);
  EXPECT_EQ(GetNewGraphBitDepth(), 0);
}

TEST_F(GraphTableTest, SourceFileRecordsAreSharedAndCounted) {
  const int32_t a = CreateBlankGraph(8, 8);
  ASSERT_EQ(SetGraphSourceFile(a, "pictures/one.png", -1), 0);
  GraphSourceFile* file = GetGraphRecord(a)->sourceFile;
  ASSERT_NE(file, nullptr);
  const int32_t sub = CreateSubGraph(1, 1, 2, 2, a);
  EXPECT_EQ(GetGraphRecord(sub)->sourceFile, file);
  EXPECT_EQ(file->refCount, 2);
  ReleaseGraphHandle(a);
  EXPECT_EQ(file->refCount, 1);
  EXPECT_EQ(SetGraphSourceFile(sub, nullptr, 0x08000555), -1);
  EXPECT_EQ(SetGraphSourceFile(sub, nullptr, -1), 0);
  EXPECT_EQ(GetGraphRecord(sub)->sourceFile, nullptr);
  // An over-long name is refused, not copied past its buffer.
  std::string longName(700, 'a');
  EXPECT_EQ(SetGraphSourceFile(sub, longName.c_str(), -1), -1);
}

TEST_F(GraphTableTest, RasterGraphsHoldTheConvertedPixels) {
  RasterImage image{};
  ASSERT_EQ(AllocXrgb32Image(5, 3, &image), 0);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 5; ++x)
      reinterpret_cast<uint32_t*>(image.pixels + y * image.pitch)[x] = 0x00102030u + static_cast<uint32_t>(x * 16 + y);
  const int32_t graph = CreateGraphFromRaster(&image, nullptr, 0, 1, 1);
  ASSERT_GE(graph, 0);
  const MEMIMG& view = GetGraphRecord(graph)->memImg;
  for (int32_t y = 0; y < 3; ++y) {
    for (int32_t x = 0; x < 5; ++x) {
      const uint32_t pixel = reinterpret_cast<const uint32_t*>(view.pixels + y * view.base->pitch)[x];
      // Mirrored left-right by the turn option; the caller's image comes back unmirrored.
      EXPECT_EQ(pixel & 0xFFFFFF, 0x00102030u + static_cast<uint32_t>((4 - x) * 16 + y));
    }
  }
  EXPECT_EQ(reinterpret_cast<uint32_t*>(image.pixels)[0] & 0xFFFFFF, 0x102030u);
  // A transfer only takes an image of the graph's size.
  RasterImage small{};
  ASSERT_EQ(AllocXrgb32Image(4, 3, &small), 0);
  EXPECT_EQ(TransferRasterToGraph(&small, nullptr, graph, 0, 0, 0), -1);
  EXPECT_EQ(TransferRasterToGraph(&image, nullptr, graph, 0, 0, 0), 0);
  FreeRasterImage(&small);
  FreeRasterImage(&image);
}

TEST_F(GraphTableTest, PaletteImagesFindTheTransparentColourInTheirPalette) {
  RasterImage image{};
  SetPaletteColorFormat(&image.format);
  image.format.palette[3] = PaletteEntry{0x30, 0x20, 0x10, 0};
  image.format.palette[7] = PaletteEntry{0x30, 0x20, 0x10, 0};
  image.width = 4;
  image.height = 2;
  image.pitch = 4;
  image.pixels = static_cast<uint8_t*>(TrackedCalloc(8, __FILE__, __LINE__));
  DrawSettings.transparentColour = 0x102030;
  const int32_t graph = CreateGraphFromRaster(&image, nullptr, 0, 0, 0);
  ASSERT_GE(graph, 0);
  const MemImgBase* base = GetGraphRecord(graph)->image->memImg.base;
  EXPECT_EQ(base->paletteFlag, 1);
  EXPECT_EQ(base->transparentColour, 3u);
  DrawSettings.transparentColour = 0x0A0B0C;
  const int32_t other = CreateGraphFromRaster(&image, nullptr, 0, 0, 0);
  EXPECT_EQ(GetGraphRecord(other)->image->memImg.base->transparentColour, 0u);
  FreeRasterImage(&image);
}

}  // namespace
