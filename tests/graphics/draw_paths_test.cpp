// The Direct3D draw paths over a recording device: the vertices they queue for a graph of
// hand-made texture pieces, the refusals, the four-corner choice between two triangles
// and the grid, and the subtract emulation's state changes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <vector>

#include "core/core_state.h"
#include "core/engine_state.h"
#include "graphics/draw_front.h"
#include "graphics/d3d_draw.h"
#include "graphics/device_state.h"
#include "graphics/draw_settings.h"
#include "graphics/screen_mode.h"
#include "tests/graphics/recording_sink.h"

namespace {

using namespace quelt;
using quelt_test::RecordingDevice;
using quelt_test::RecordingDeviceScope;

// A graph record followed by its pieces, and an image followed by one texture entry.
struct FakeGraph {
  explicit FakeGraph(int32_t width, int32_t height, int32_t textureSize = 64)
      : graphBlock(sizeof(GraphRecord) + sizeof(TexturePiece)), imageBlock(sizeof(OriginalImage) + sizeof(TextureEntry)) {
    image()->description[FormatByteTexture] = 1;
    image()->width = width;
    image()->height = height;
    TextureEntry& entry = *ImageEntries(image());
    entry.texture = &entry;  // any non-null identity
    entry.textureWidth = entry.textureHeight = textureSize;
    entry.areaWidth = width;
    entry.areaHeight = height;
    GraphRecord* g = graph();
    g->image = image();
    g->linkedMovie = -1;
    g->width = width;
    g->height = height;
    g->pieceCount = 1;
    TexturePiece& p = *GraphPieces(g);
    p.width = width;
    p.height = height;
    p.entry = &entry;
    const float w = static_cast<float>(width), h = static_cast<float>(height), t = static_cast<float>(textureSize);
    p.corners = {{{0, 0, 0, 0}, {w, 0, w / t, 0}, {0, h, 0, h / t}, {w, h, w / t, h / t}}};
  }
  GraphRecord* graph() { return reinterpret_cast<GraphRecord*>(graphBlock.data()); }
  OriginalImage* image() { return reinterpret_cast<OriginalImage*>(imageBlock.data()); }
  struct Block {
    explicit Block(size_t bytes) : words(bytes / sizeof(std::max_align_t) + 1) {}
    void* data() { return words.data(); }
    std::vector<std::max_align_t> words;
  };
  Block graphBlock, imageBlock;
};

class DrawPathsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ScreenState = ScreenStateRecord{};
    ScreenState.width = 640;
    ScreenState.height = 480;
    ScreenState.hardware = 1;
    ScreenState.started = 1;
    QuitFlag = 0;
    InitDeviceDrawState();
    ResetDrawSettings();
    DrawSettings.drawScreen = DrawScreenBack;
    DrawSettings.ClipRect = {0, 0, 640, 480};
    const float clip[4] = {0, 0, 640, 480};
    for (int i = 0; i < 4; ++i) DrawSettings.clipFloat[i] = clip[i];
    device.Clear();
  }
  void TearDown() override {
    VertexBatch.pendingCount = 0;
    ScreenState = ScreenStateRecord{};
  }
  std::vector<TexVertex2D> Pending() const {
    const auto* v = reinterpret_cast<const TexVertex2D*>(VertexBatch.arrays[1]);
    return std::vector<TexVertex2D>(v, v + VertexBatch.pendingCount);
  }

  RecordingDevice device;
  RecordingDeviceScope scope{&device};
};

TEST_F(DrawPathsTest, PointDrawPlacesHalfPixelShiftedCornersAndColoursEveryVertex) {
  FakeGraph g(32, 32);
  SetBrightColour(0xFF0000);
  ASSERT_EQ(DrawGraphAtPointD3D(g.graph(), 10, 10, 10.0f, 10.0f, 0, 1), 0);
  ASSERT_EQ(VertexBatch.formatIndex, 1);
  const std::vector<TexVertex2D> v = Pending();
  ASSERT_EQ(v.size(), 6u);
  // TL, TR, BL, then BR, BL, TR.
  EXPECT_FLOAT_EQ(v[0].x, 9.5f);
  EXPECT_FLOAT_EQ(v[0].y, 9.5f);
  EXPECT_FLOAT_EQ(v[3].x, 41.5f);
  EXPECT_FLOAT_EQ(v[3].y, 41.5f);
  EXPECT_FLOAT_EQ(v[3].u, 0.5f);
  EXPECT_FLOAT_EQ(v[1].u, 0.5f);
  EXPECT_FLOAT_EQ(v[2].v, 0.5f);
  for (const TexVertex2D& vertex : v) EXPECT_EQ(vertex.colour, 0xFFFF0000u);
}

TEST_F(DrawPathsTest, PartlyVisibleGraphIsCutWithItsTexelsAndAnInvisibleOneAddsNothing) {
  FakeGraph g(32, 32);
  ASSERT_EQ(DrawGraphAtPointD3D(g.graph(), -16, 10, -16.0f, 10.0f, 0, 1), 0);
  std::vector<TexVertex2D> v = Pending();
  ASSERT_EQ(v.size(), 6u);
  EXPECT_FLOAT_EQ(v[0].x, -0.5f);
  EXPECT_FLOAT_EQ(v[0].u, 16.0f / 64.0f);
  EXPECT_FLOAT_EQ(v[1].x, 15.5f);
  FlushVertexBatch();
  EXPECT_EQ(DrawGraphAtPointD3D(g.graph(), 700, 10, 700.0f, 10.0f, 0, 1), 0);
  EXPECT_EQ(VertexBatch.pendingCount, 0);
  // A mirrored rectangle cut on the left moves its texels the other way.
  ASSERT_EQ(DrawGraphInRectD3D(16, 0, -16, 32, 16.0f, 0.0f, -16.0f, 32.0f, g.graph(), 0, 1), 0);
  v = Pending();
  ASSERT_EQ(v.size(), 6u);
  EXPECT_FLOAT_EQ(v[1].x, -0.5f);           // TR lies on the left when mirrored
  EXPECT_FLOAT_EQ(v[1].u, 16.0f / 64.0f);   // half the graph is cut away
}

TEST_F(DrawPathsTest, RefusalsOfTheRectangleAndRotatedPaths) {
  FakeGraph g(32, 32);
  EXPECT_EQ(DrawGraphInRectD3D(5, 0, 5, 10, 5, 0, 5, 10, g.graph(), 0, 1), -1);
  EXPECT_EQ(DrawGraphRotatedD3D(g.graph(), 10, 10, 0.0, 1.0, 0, 0), -1);
  EXPECT_EQ(VertexBatch.pendingCount, 0);
  GraphicsDevice.device = nullptr;
  EXPECT_EQ(DrawGraphAtPointD3D(g.graph(), 0, 0, 0, 0, 0, 1), -1);
}

TEST_F(DrawPathsTest, QuarterTurnsOfOddGraphsLandOnPixelBoundaries) {
  FakeGraph g(33, 21);
  for (double angle : {1.5707963267948966, 3.141592653589793, 4.71238898038469}) {
    FlushVertexBatch();
    ASSERT_EQ(DrawGraphRotatedD3D(g.graph(), 100.0f, 100.0f, 1.0, angle, 0, 0), 0);
    for (const TexVertex2D& v : Pending()) {
      EXPECT_NEAR(std::fabs(v.x - std::floor(v.x)), 0.5, 0.001) << angle;
      EXPECT_NEAR(std::fabs(v.y - std::floor(v.y)), 0.5, 0.001) << angle;
    }
  }
  // A turn flag of exactly 1 mirrors: TL lands right of TR.
  FlushVertexBatch();
  ASSERT_EQ(DrawGraphRotatedD3D(g.graph(), 100.0f, 100.0f, 1.0, 0.0, 0, 1), 0);
  const std::vector<TexVertex2D> v = Pending();
  EXPECT_GT(v[0].x, v[1].x);
}

TEST_F(DrawPathsTest, ParallelogramTakesTwoTrianglesAndATrapezoidTheGrid) {
  FakeGraph g(32, 32);
  ASSERT_EQ(DrawGraphFourCornersD3D(0, g.graph(), {10, 10}, {42, 14}, {6, 42}, {38, 46}), 0);
  EXPECT_EQ(VertexBatch.pendingCount, 6);
  EXPECT_TRUE(device.indexedDraws.empty());
  FlushVertexBatch();
  ASSERT_EQ(DrawGraphFourCornersD3D(0, g.graph(), {10, 10}, {42, 10}, {0, 42}, {60, 42}), 0);
  EXPECT_FALSE(device.indexedDraws.empty());
}

TEST_F(DrawPathsTest, FourCornersAndTheTargetOriginPlaceCornersOnPixelEdges) {
  FakeGraph g(33, 21);
  ASSERT_EQ(DrawGraphFourCornersD3D(0, g.graph(), {300, 300}, {333, 300}, {300, 321}, {333, 321}), 0);
  std::vector<TexVertex2D> v = Pending();
  ASSERT_EQ(v.size(), 6u);
  EXPECT_FLOAT_EQ(v[0].x, 299.5f);
  EXPECT_FLOAT_EQ(v[0].y, 299.5f);
  EXPECT_FLOAT_EQ(v[3].x, 332.5f);
  EXPECT_FLOAT_EQ(v[3].y, 320.5f);
  FlushVertexBatch();
  // A sub graph as draw screen: everything lands at its place in the shared surface.
  DeviceStateCache.targetOriginX = 24;
  DeviceStateCache.targetOriginY = 16;
  ASSERT_EQ(DrawGraphAtPointD3D(g.graph(), 4, 3, 4.0f, 3.0f, 0, 1), 0);
  v = Pending();
  EXPECT_FLOAT_EQ(v[0].x, 27.5f);
  EXPECT_FLOAT_EQ(v[0].y, 18.5f);
  FlushVertexBatch();
  ASSERT_EQ(DrawGraphFourCornersD3D(0, g.graph(), {0, 0}, {33, 0}, {0, 21}, {40, 21}), 0);  // the grid
  ASSERT_FALSE(device.indexedDraws.empty());
  device.Clear();
  SetScissorRect(&DrawSettings.ClipRect);
  ASSERT_FALSE(device.scissors.empty());
  EXPECT_EQ(device.scissors.back().x1, 24);
  EXPECT_EQ(device.scissors.back().y2, 480 + 16);
  DeviceStateCache.targetOriginX = DeviceStateCache.targetOriginY = 0;
}

TEST_F(DrawPathsTest, SubtractEmulationInvertsTwiceWithTheSameWhiteFill) {
  SetBrightColour(0x00FF00);
  SelectBlendMode(3, 120);
  const int32_t fills = SubtractEmulationFills;
  const IntRect rect{0, 0, 100, 50};
  SubtractBlendPrePass(rect);
  EXPECT_EQ(DrawSettings.BlendMode, 5);
  EXPECT_EQ(DrawSettings.BlendParam, 120);
  EXPECT_EQ(DrawSettings.BrightColour, 0x00FF00u);
  // A caller changing the bright colour between the passes does not tint the second fill.
  SetBrightColour(0xFF0000);
  FlushVertexBatch();
  SubtractBlendPostPass(rect);
  EXPECT_EQ(SubtractEmulationFills - fills, 2);
  EXPECT_EQ(DrawSettings.BlendMode, 3);
  EXPECT_EQ(DrawSettings.BlendParam, 120);
  EXPECT_EQ(DrawSettings.BrightColour, 0xFF0000u);
}

TEST_F(DrawPathsTest, FrontEndsTestInitialisationThenTheDrawAreaThenTheHandle) {
  const int32_t initialised = EngineInitialised;
  EngineInitialised = 0;
  DrawSettings.ClipRectEmpty = 1;
  EXPECT_EQ(DrawGraphAtPoint(0, 0, 0x0800ABCD, 1), -1);
  EngineInitialised = 1;
  EXPECT_EQ(DrawGraphAtPoint(0, 0, 0x0800ABCD, 1), 0);
  EXPECT_EQ(DrawGraphInRect(0, 0, 9, 9, 0x0800ABCD, 1), 0);
  EXPECT_EQ(DrawGraphRotated(0, 0, 1.0, 0.0, 0x0800ABCD, 1, 0), 0);
  EXPECT_EQ(DrawGraphFourCorners(0, 0, 9, 0, 9, 9, 0, 9, 0x0800ABCD, 1), 0);
  DrawSettings.ClipRectEmpty = 0;
  DrawSettings.DrawSettingsLock = 1;
  EXPECT_EQ(DrawGraphInRect(0, 0, 9, 9, 0x0800ABCD, 1), 0);
  DrawSettings.DrawSettingsLock = 0;
  EXPECT_EQ(DrawGraphAtPoint(0, 0, 0x0800ABCD, 1), -1);
  EXPECT_EQ(DrawGraphTurned(0, 0, 0x0800ABCD, 1), -1);
  EXPECT_EQ(DrawGraphPartInRect(0, 0, 9, 9, 0, 0, 4, 4, 0x0800ABCD, 1), -1);
  // A bad handle in a part draw still gives the draw area back.
  EXPECT_EQ(DrawGraphPart(5, 5, 0, 0, 3, 3, 0x0800ABCD, 1, 0), -1);
  EXPECT_EQ(DrawSettings.ClipRect.x1, 0);
  EXPECT_EQ(DrawSettings.ClipRect.x2, 640);
  EXPECT_FLOAT_EQ(DrawSettings.clipFloat[2], 640.0f);
  EngineInitialised = initialised;
}

}  // namespace
