// The device state cache and the vertex batch, over a recording device.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <set>
#include <vector>

#include "core/core_state.h"
#include "graphics/d3d_values.h"
#include "graphics/device_state.h"
#include "graphics/draw_settings.h"
#include "graphics/screen_mode.h"
#include "image/color_format.h"
#include "tests/graphics/recording_sink.h"

namespace {

using namespace quelt;
using quelt_test::RecordingDevice;
using quelt_test::RecordingDeviceScope;

class StateCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ScreenState = ScreenStateRecord{};
    ScreenState.width = 640;
    ScreenState.height = 480;
    ScreenState.hardware = 1;
    ScreenState.started = 1;
    QuitFlag = 0;
    InitDeviceDrawState();
    device.Clear();
  }
  void TearDown() override { ScreenState = ScreenStateRecord{}; }

  // Queues one untextured quad the way the draw paths do.
  void QueueQuad() {
    auto* v = static_cast<Vertex2D*>(QueueQuadVertices());
    ASSERT_NE(v, nullptr);
    for (int i = 0; i < 6; ++i) v[i] = {static_cast<float>(i), 0, 0, 1, 0xFFFFFFFF};
  }

  RecordingDevice device;
  RecordingDeviceScope scope{&device};
};

TEST_F(StateCacheTest, EachValueIsSentOnceAndAgainOnlyUnderForcedReapply) {
  EXPECT_EQ(SetZFunc(d3d::CmpGreater), 0);
  EXPECT_EQ(SetZFunc(d3d::CmpGreater), 0);
  EXPECT_EQ(device.Sent(d3d::RsZFunc), 1);
  SetFogColour(0xFF102030);
  SetFogColour(0xFF102030);
  SetFogStartEnd(1.0f, 2.0f);
  SetFogStartEnd(1.0f, 2.0f);
  EXPECT_EQ(device.Sent(d3d::RsFogColor), 1);
  EXPECT_EQ(device.Sent(d3d::RsFogStart), 1);
  EXPECT_EQ(device.Sent(d3d::RsFogEnd), 1);

  ForceStateReapply = 1;
  SetZFunc(d3d::CmpGreater);
  ForceStateReapply = 0;
  EXPECT_EQ(device.Sent(d3d::RsZFunc), 2);

  // A whole re-send after a device reset sends the cached value again.
  device.Clear();
  ReapplyRenderStates();
  EXPECT_GE(device.Sent(d3d::RsZFunc), 1);
  EXPECT_EQ(device.Last(d3d::RsZFunc), d3d::CmpGreater);
  device.Clear();
  SetZFunc(d3d::CmpGreater);
  EXPECT_EQ(device.Sent(d3d::RsZFunc), 0);
}

TEST_F(StateCacheTest, ANewDeviceGetsEveryStageTheCacheNames) {
  // A mask-like block leaves stage 1 values in the cache, then the draw mode disables it.
  DrawModeBlock block{};
  block.states = DeviceStateCache.applied.states;
  block.stageCount = 2;
  block.stages[1] = {nullptr, 0, {d3d::TaCurrent, d3d::TaTexture, d3d::TopSelectArg2, d3d::TaCurrent, d3d::TaTexture,
                                  d3d::TopSelectArg1}};
  SetUserDrawModeBlock(&block, 0);
  SetUserDrawModeBlock(nullptr, 0);
  ApplyDrawMode(1, nullptr, 0);
  device.Clear();
  ReapplyRenderStates();
  // Every value of all eight stages reaches the new device, so later setters may skip them.
  auto last = [&](uint32_t stage, uint32_t type) {
    const auto& sent = device.stageStates[{stage, type}];
    return sent.empty() ? 0xFFFFFFFFu : sent.back();
  };
  EXPECT_EQ(last(1, d3d::TssAlphaArg1), static_cast<uint32_t>(d3d::TaCurrent));
  EXPECT_EQ(last(1, d3d::TssColorArg2), static_cast<uint32_t>(d3d::TaTexture));
  for (uint32_t stage = 0; stage < 8; ++stage) {
    EXPECT_NE(last(stage, d3d::TssTexCoordIndex), 0xFFFFFFFFu) << stage;
    EXPECT_GE(device.SamplerSent(stage, d3d::SampMagFilter), 1) << stage;
    EXPECT_GE(device.SamplerSent(stage, d3d::SampMaxAnisotropy), 1) << stage;
  }
}

TEST_F(StateCacheTest, SettersWithoutADeviceTouchNothing) {
  GraphicsDevice.device = nullptr;
  EXPECT_EQ(SetZFunc(7), -1);
  EXPECT_EQ(SetLighting(1), 0);
  EXPECT_EQ(SetCullMode(1), 0);
  EXPECT_EQ(FlushVertexBatch(), -1);
  GraphicsDevice.device = &device;
  EXPECT_TRUE(device.renderStates.empty());
}

TEST_F(StateCacheTest, ASetterFlushesThePendingVerticesFirst) {
  QueueQuad();
  EXPECT_TRUE(device.draws.empty());
  SetZFunc(d3d::CmpGreaterEqual);
  ASSERT_EQ(device.draws.size(), 1u);
  EXPECT_EQ(device.draws[0].type, static_cast<uint32_t>(d3d::TriangleList));
  EXPECT_EQ(device.draws[0].count, 2u);
  // An unchanged value does not flush.
  QueueQuad();
  SetZFunc(d3d::CmpGreaterEqual);
  EXPECT_EQ(device.draws.size(), 1u);
}

TEST_F(StateCacheTest, BatchFlushesExactlyAtCapacityForEveryVertexFormat) {
  for (int32_t format = 0; format < 3; ++format) {
    SCOPED_TRACE(format);
    FlushVertexBatch();
    VertexBatch.formatIndex = format;
    FlushVertexBatch();
    device.Clear();
    VertexBatch.drawCalls = 0;
    const int32_t capacity = VertexFormats[format].capacity;
    // A quad is queued while the pending count plus six stays below the capacity.
    const int32_t fitting = (capacity - 1) / 6;
    for (int32_t i = 0; i < fitting; ++i) QueueQuadVertices();
    EXPECT_TRUE(device.draws.empty());
    EXPECT_EQ(VertexBatch.pendingCount, fitting * 6);
    EXPECT_LE(VertexBatch.pendingCount, capacity);
    QueueQuadVertices();  // one over: the full array is drawn first
    ASSERT_EQ(device.draws.size(), 1u);
    EXPECT_EQ(device.draws[0].count, static_cast<uint32_t>(fitting * 2));
    EXPECT_EQ(device.draws[0].stride, VertexFormats[format].stride);
    EXPECT_EQ(device.fvfs.back(), VertexFormats[format].fvf);
    EXPECT_EQ(VertexBatch.pendingCount, 6);
    EXPECT_EQ(VertexBatch.drawCalls, 1);
  }
}

TEST_F(StateCacheTest, AnotherPrimitiveTypeDrawsThePendingOnesFirst) {
  QueueQuad();
  VertexBatch.primitiveType = d3d::LineList;  // as a line path would leave it
  VertexBatch.pendingCount = 4;
  QueueQuad();
  ASSERT_EQ(device.draws.size(), 1u);
  EXPECT_EQ(device.draws[0].type, static_cast<uint32_t>(d3d::LineList));
  EXPECT_EQ(device.draws[0].count, 2u);
}

TEST_F(StateCacheTest, QuitFlagDiscardsThePendingVertices) {
  QueueQuad();
  QuitFlag = 1;
  EXPECT_EQ(FlushVertexBatch(), 0);
  QuitFlag = 0;
  EXPECT_TRUE(device.draws.empty());
  EXPECT_EQ(VertexBatch.pendingCount, 0);
}

TEST_F(StateCacheTest, AddressModesTakeOneStageOrAllEight) {
  EXPECT_EQ(SetAddressU(1, -1), 0);
  for (uint32_t s = 0; s < 8; ++s) {
    EXPECT_EQ(DeviceStateCache.addressU[s], 1u);
    EXPECT_EQ(device.SamplerSent(s, d3d::SampAddressU), 1);
  }
  EXPECT_EQ(SetAddressU(2, 8), -1);
  EXPECT_EQ(SetAddressV(2, -2), -1);
  EXPECT_EQ(SetAddressV(2, 3), 0);
  EXPECT_EQ(DeviceStateCache.addressV[3], 2u);
}

TEST_F(StateCacheTest, FilterKindsSendValidMipFiltersAndAnisotropyHasAFloor) {
  EXPECT_EQ(SetTextureFilter(3), -1);
  ASSERT_EQ(SetTextureFilter(2), 0);
  // Anisotropic is no mip filter Direct3D 9 accepts.
  EXPECT_EQ(device.samplerStates.at({0, d3d::SampMipFilter}).back(), static_cast<uint32_t>(d3d::FilterLinear));
  EXPECT_EQ(device.samplerStates.at({0, d3d::SampMagFilter}).back(), static_cast<uint32_t>(d3d::FilterAnisotropic));
  SetTextureFilter(1);
  EXPECT_EQ(device.samplerStates.at({0, d3d::SampMipFilter}).back(), static_cast<uint32_t>(d3d::FilterNone));
  for (int32_t kind = 0; kind < 3; ++kind) EXPECT_LE(MipFilterForKind(kind), static_cast<uint32_t>(d3d::FilterLinear));
  SetMaxAnisotropy(0);
  EXPECT_EQ(DeviceStateCache.anisotropy, 1);
}

TEST_F(StateCacheTest, SoftBorderBandsGiveTheFactorAndStageOperations) {
  BorderStates b = ComputeBorderStates(128, 100, 0);
  EXPECT_EQ(b.textureFactor >> 24, 65u);
  EXPECT_EQ(b.stage0AlphaOp, d3d::TopSubtract);
  EXPECT_EQ(b.nextStageAlphaOp, d3d::TopModulate2x);
  b = ComputeBorderStates(32, 10, 0);
  EXPECT_EQ(b.textureFactor >> 24, 24u);
  EXPECT_EQ(b.stage0AlphaOp, d3d::TopAdd);
  EXPECT_EQ(b.nextStageAlphaOp, d3d::TopModulate4x);
  EXPECT_EQ(ComputeBorderStates(255, 100, 0).skipDraw, 1);
  // A hard border tests alpha against the parameter, at least 1 for images with alpha.
  b = ComputeBorderStates(0, 1, 1);
  EXPECT_EQ(b.alphaTest, 1);
  EXPECT_EQ(b.alphaRef, 1u);
  EXPECT_EQ(b.alphaFunc, static_cast<uint32_t>(d3d::CmpGreaterEqual));
  EXPECT_EQ(ComputeBorderStates(0, 0, 0).alphaRef, 0u);
}

TEST_F(StateCacheTest, RecipeTableFollowsItsRule) {
  // Recipe 1 with a blend texture has no stage.
  for (int i = 36; i < 48; ++i) EXPECT_EQ(DrawRecipeTable[i].stageCount, 0) << i;
  // Opaque image, no modulation: the texture colour and the vertex alpha.
  const DrawRecipe& plain = DrawRecipeTable[0];
  ASSERT_EQ(plain.stageCount, 1);
  EXPECT_EQ(plain.stages[0].colourOp, d3d::TopSelectArg1);
  EXPECT_EQ(plain.stages[0].colourArg1, d3d::TaTexture);
  EXPECT_EQ(plain.stages[0].alphaOp, d3d::TopSelectArg2);
  // Alpha image modulated in colour and alpha.
  const DrawRecipe& mod = DrawRecipeTable[6 + 3 + 1];
  EXPECT_EQ(mod.stages[0].colourOp, d3d::TopModulate);
  EXPECT_EQ(mod.stages[0].alphaOp, d3d::TopModulate);
  // Inverted source: the complement of the texture.
  EXPECT_EQ(DrawRecipeTable[48].stages[0].colourArg1, d3d::TaTexture | d3d::TaComplement);
  // Product alpha adds the blend-with-factor stage.
  EXPECT_EQ(DrawRecipeTable[24].stageCount, 2);
  EXPECT_EQ(DrawRecipeTable[24].stages[1].colourOp, d3d::TopBlendCurrentAlpha);
  // Blend texture with an alpha image and alpha modulation: four stages.
  EXPECT_EQ(DrawRecipeTable[12 + 3 + 1].stageCount, 4);
  EXPECT_EQ(DrawRecipeTable[12 + 0].stageCount, 2);
}

TEST_F(StateCacheTest, SubtractModeUsesReverseSubtractOnlyWhenTheDeviceHasIt) {
  int dummyTexture = 0;
  for (int32_t reverse = 0; reverse < 2; ++reverse) {
    SCOPED_TRACE(reverse);
    GraphicsDevice.facts.reverseSubtract = reverse;
    SetDrawTexture(&dummyTexture);
    SetDrawModeParams(3, 0, 0);
    DeviceStateCache.modeChanged = 1;
    device.Clear();
    ASSERT_EQ(ApplyDrawMode(1, nullptr, 0), 0);
    // The applied states hold what the device has (unchanged ones are not sent again).
    const auto& states = DeviceStateCache.applied.states;
    EXPECT_EQ(states[DmBlendOp], reverse ? static_cast<uint32_t>(d3d::BlendOpRevSubtract)
                                         : static_cast<uint32_t>(d3d::BlendOpAdd));
    EXPECT_EQ(states[DmSrcBlend],
              reverse ? static_cast<uint32_t>(d3d::BlendSrcAlpha) : static_cast<uint32_t>(d3d::BlendInvDestColor));
    EXPECT_EQ(device.Last(d3d::RsSrcBlend), states[DmSrcBlend]);
    EXPECT_EQ(states[DmAlphaBlendEnable], 1u);
    EXPECT_EQ(VertexBatch.formatIndex, 1);
    SetDrawModeParams(0, 0, 0);
    SetDrawTexture(nullptr);
    ApplyDrawMode(1, nullptr, 0);
  }
  // Only a texture change: one SetTexture, no blend states.
  int other = 0;
  SetDrawTexture(&dummyTexture);
  ApplyDrawMode(1, nullptr, 0);
  device.Clear();
  SetDrawTexture(&other);
  EXPECT_EQ(ApplyDrawMode(1, nullptr, 0), 0);
  EXPECT_TRUE(device.renderStates.empty());
  ASSERT_EQ(device.textures.size(), 1u);
  EXPECT_EQ(device.textures[0].second, &other);
  EXPECT_EQ(ApplyDrawMode(1, nullptr, 0), -1);  // nothing changed
}

TEST_F(StateCacheTest, FillAfterTexturedDrawAndBackSwitchTheVertexFormat) {
  // Same colour and alpha modulation on both sides: only the texture differs.
  ColorFormat format{};
  format.bitDepth = 32;
  int texture = 0;
  DrawSettings.ClipRect = {0, 0, 640, 480};
  PrepareDrawState(&format, 0, &texture, 0x21);
  QueueQuadVertices();
  ASSERT_EQ(FillRectDirect3D(10, 10, 20, 20, 0xFFFFFF), 0);
  FlushVertexBatch();
  ASSERT_EQ(device.draws.size(), 2u);
  EXPECT_EQ(device.draws[0].stride, 28u);
  EXPECT_EQ(device.draws[1].stride, 20u);
  EXPECT_EQ(device.fvfs.back(), VertexFormats[0].fvf);
  EXPECT_EQ(device.StageLast(0, d3d::TssColorArg1), static_cast<uint32_t>(d3d::TaDiffuse));
  // And a textured draw after the fill takes the textured format and stage again.
  PrepareDrawState(&format, 0, &texture, 0x21);
  EXPECT_EQ(VertexBatch.formatIndex, 1);
  EXPECT_EQ(device.StageLast(0, d3d::TssColorArg1), static_cast<uint32_t>(d3d::TaTexture));
}

TEST_F(StateCacheTest, UserBlockStageCountIsHeldToEightStages) {
  DrawModeBlock block{};
  block.stageCount = 100;
  ASSERT_EQ(SetUserDrawModeBlock(&block, 0), 0);
  EXPECT_EQ(DeviceStateCache.userBlock.stageCount, 8);
  EXPECT_EQ(DeviceStateCache.applied.stageCount, 8);
  EXPECT_EQ(DeviceStateCache.stagesInUse, 8);
  block.stageCount = 9;
  ASSERT_EQ(ApplyDrawMode(1, &block, 0), 0);
  EXPECT_LE(DeviceStateCache.stagesInUse, 8);
  for (const auto& [key, values] : device.samplerStates) EXPECT_LT(key.first, 8u);
  SetUserDrawModeBlock(nullptr, 0);
}

TEST_F(StateCacheTest, ModesSixAndSevenDrawWithBlendingOff) {
  int dummyTexture = 0;
  SetDrawTexture(&dummyTexture);
  for (int32_t mode : {1, 6, 7}) {
    SCOPED_TRACE(mode);
    SetDrawModeParams(mode, 0, 0);
    DeviceStateCache.modeChanged = 1;
    ASSERT_EQ(ApplyDrawMode(1, nullptr, 0), 0);
    EXPECT_EQ(DeviceStateCache.applied.states[DmAlphaBlendEnable], mode == 1 ? 1u : 0u);
  }
  SetDrawModeParams(0, 0, 0);
  SetDrawTexture(nullptr);
  ApplyDrawMode(1, nullptr, 0);
}

TEST_F(StateCacheTest, TransparentColourImageInAlphaModeBlendsItsEdges) {
  ColorFormat format{};
  format.bitDepth = 32;
  DrawSettings.BlendMode = 1;
  int texture = 0;
  PrepareDrawState(&format, 1, &texture, 0x1);
  EXPECT_EQ(DeviceStateCache.alphaChannel, 1);
  EXPECT_EQ(DeviceStateCache.alphaTest, 0);
  DrawSettings.BlendMode = 0;
  PrepareDrawState(&format, 1, &texture, 0x1);
  EXPECT_EQ(DeviceStateCache.alphaChannel, 0);
  EXPECT_EQ(DeviceStateCache.alphaTest, 1);
}

TEST_F(StateCacheTest, GridIsDrawnAsJoinedStripsInBoundedPieces) {
  std::vector<TexVertex2D> vertices(3 * 2);
  EXPECT_EQ(DrawIndexedGrid(1, 5, vertices.data()), -1);
  ASSERT_EQ(DrawIndexedGrid(3, 2, vertices.data()), 0);
  ASSERT_EQ(device.indexedDraws.size(), 1u);
  EXPECT_EQ(device.indexedDraws[0], (std::vector<uint16_t>{0, 3, 1, 4, 2, 5}));
  device.Clear();
  DrawIndexedGrid(2, 3, vertices.data());
  ASSERT_EQ(device.indexedDraws.size(), 1u);
  EXPECT_EQ(device.indexedDraws[0], (std::vector<uint16_t>{0, 2, 1, 3, 3, 2, 2, 4, 3, 5}));
  // A large grid never sends more than 1000 indices at once, and covers every row pair.
  device.Clear();
  std::vector<TexVertex2D> big(100 * 60);
  DrawIndexedGrid(100, 60, big.data());
  EXPECT_GT(device.indexedDraws.size(), 1u);
  size_t total = 0;
  for (const auto& draw : device.indexedDraws) {
    EXPECT_LE(draw.size(), 1000u);
    total += draw.size();
  }
  EXPECT_GE(total, 59u * 200u);
}

// Every cell of a grid as the two triangles of a strip, from the indices and the vertex
// pointer of each draw.
void ExpectGridCovered(const RecordingDevice& device, const std::vector<TexVertex2D>& vertices, int32_t columns,
                       int32_t rows) {
  std::set<std::array<int64_t, 3>> drawn;
  ASSERT_EQ(device.indexedDraws.size(), device.indexedVertices.size());
  for (size_t d = 0; d < device.indexedDraws.size(); ++d) {
    const auto& strip = device.indexedDraws[d];
    EXPECT_LE(strip.size(), 1000u);
    const int64_t base = static_cast<const TexVertex2D*>(device.indexedVertices[d]) - vertices.data();
    for (size_t i = 0; i + 2 < strip.size(); ++i) {
      EXPECT_LT(strip[i + 2], device.indexedVertexCounts[d]);
      std::array<int64_t, 3> t{base + strip[i], base + strip[i + 1], base + strip[i + 2]};
      std::sort(t.begin(), t.end());
      if (t[0] != t[1] && t[1] != t[2]) drawn.insert(t);
    }
  }
  std::set<std::array<int64_t, 3>> expected;
  for (int64_t r = 0; r + 1 < rows; ++r)
    for (int64_t c = 0; c + 1 < columns; ++c) {
      const int64_t a = r * columns + c, b = a + columns;
      expected.insert({a, a + 1, b});
      expected.insert({a + 1, b, b + 1});
    }
  EXPECT_TRUE(drawn == expected) << drawn.size() << " triangles drawn of " << expected.size();
}

TEST_F(StateCacheTest, WideAndLargeGridsAreDrawnWhole) {
  std::vector<TexVertex2D> wide(1200 * 3);
  ASSERT_EQ(DrawIndexedGrid(1200, 3, wide.data()), 0);
  ExpectGridCovered(device, wide, 1200, 3);
  device.Clear();
  // More vertices than 16-bit indices reach from the first.
  std::vector<TexVertex2D> large(300 * 300);
  ASSERT_EQ(DrawIndexedGrid(300, 300, large.data()), 0);
  ExpectGridCovered(device, large, 300, 300);
}

TEST_F(StateCacheTest, ViewportComparesOnlyItsRectangle) {
  DeviceViewport v{10, 20, 30, 40, 0.0f, 1.0f};
  SetViewport(&v);
  const size_t sent = device.viewports.size();
  v.maxZ = 0.5f;
  SetViewport(&v);
  EXPECT_EQ(device.viewports.size(), sent);
  SetViewportRect(0, 0, 100, 50);
  EXPECT_EQ(device.viewports.back().width, 100u);
  EXPECT_EQ(device.viewports.back().height, 50u);
}

}  // namespace
