// Texture splitting, the layout of pieces and the choice of transfer formats.
#include <gtest/gtest.h>

#include <vector>

#include "graphics/graph_record.h"
#include "graphics/texture_split.h"
#include "image/color_format.h"

namespace {

using namespace quelt;

std::vector<int32_t> Split(const TextureSplitLimits& limits, int32_t side, int32_t noSplit = 0) {
  std::vector<int32_t> sizes(MaxTexturePieces, -1);
  const int32_t n = SplitTextureSizeWith(limits, side, sizes.data(), MaxTexturePieces, noSplit);
  if (n < 0) return {};
  sizes.resize(static_cast<size_t>(n));
  return sizes;
}

// A screen narrower than every side: splitting applies.
constexpr TextureSplitLimits Splitting{2048, 8, 0, 0};

TEST(GraphSplit, GreedySplitOfTheExamples) {
  EXPECT_EQ(Split(Splitting, 200), (std::vector<int32_t>{128, 64, 8}));
  EXPECT_EQ(Split(Splitting, 250), (std::vector<int32_t>{256}));
  EXPECT_EQ(Split(Splitting, 3000), (std::vector<int32_t>{2048, 1024}));
  EXPECT_EQ(Split(Splitting, 140), (std::vector<int32_t>{128, 16}));
  EXPECT_EQ(Split(Splitting, 5), (std::vector<int32_t>{8}));
}

TEST(GraphSplit, SixHundredOnTheSixHundredWideScreen) {
  const TextureSplitLimits screen600{16384, 600, 0, 0};
  EXPECT_EQ(Split(screen600, 600), (std::vector<int32_t>{512, 64, 16, 8}));
  // Narrower than the screen: one power of two at least the side.
  EXPECT_EQ(Split(screen600, 100), (std::vector<int32_t>{128}));
  EXPECT_EQ(Split(screen600, 599), (std::vector<int32_t>{1024}));
  EXPECT_EQ(Split(screen600, 512), (std::vector<int32_t>{512}));
}

TEST(GraphSplit, NoSplitFlagsStillSplitAboveTheMaximum) {
  EXPECT_EQ(Split(Splitting, 200, 1), (std::vector<int32_t>{256}));
  EXPECT_EQ(Split(Splitting, 3000, 1), (std::vector<int32_t>{2048, 1024}));
  const TextureSplitLimits single{2048, 8, 0, 1};
  EXPECT_EQ(Split(single, 200), (std::vector<int32_t>{256}));
  EXPECT_EQ(Split(single, 2048), (std::vector<int32_t>{2048}));
  // A size limit makes every side split, whatever the screen.
  const TextureSplitLimits limited{2048, 4096, 256, 0};
  EXPECT_EQ(Split(limited, 600), (std::vector<int32_t>{256, 256, 64, 16, 8}));
  // A limit between two powers of two acts as the lower one.
  const TextureSplitLimits oddLimit{2048, 4096, 300, 0};
  EXPECT_EQ(Split(oddLimit, 600), (std::vector<int32_t>{256, 256, 64, 16, 8}));
}

TEST(GraphSplit, TooManyPiecesAreRefused) {
  const TextureSplitLimits tiny{8, 8, 0, 0};
  std::vector<int32_t> sizes(4);
  EXPECT_EQ(SplitTextureSizeWith(tiny, 64, sizes.data(), 4, 0), -1);
  EXPECT_EQ(SplitTextureSizeWith(tiny, 32, sizes.data(), 4, 0), 4);
  // 17 x 17 pieces of 8 do not fit the planning tables.
  TexturePlanTables plan{};
  EXPECT_EQ(PlanTextureLayout(tiny, 136, 136, 0, 0, &plan), -1);
  EXPECT_EQ(PlanTextureLayout(tiny, 128, 128, 0, 0, &plan), 256);
}

TEST(GraphSplit, LayoutRunsRowByRowAndSquaresOnlyDevicesGetExtras) {
  const TextureSplitLimits screen600{2048, 600, 0, 0};
  TexturePlanTables plan{};
  ASSERT_EQ(PlanTextureLayout(screen600, 600, 40, 0, 0, &plan), 4);
  EXPECT_EQ(plan.x[1], 512);
  EXPECT_EQ(plan.x[3], 592);
  EXPECT_EQ(plan.width[2], 16);
  EXPECT_EQ(plan.height[3], 64);

  const TextureSplitLimits screen640{2048, 640, 0, 0};
  ASSERT_EQ(PlanTextureLayout(screen640, 300, 200, 0, 1, &plan), 2);
  EXPECT_EQ(plan.x[0], 0);
  EXPECT_EQ(plan.width[0], 256);
  EXPECT_EQ(plan.height[0], 256);
  EXPECT_EQ(plan.x[1], 256);
  EXPECT_EQ(plan.y[1], 0);
  EXPECT_EQ(plan.width[1], 256);
}

TEST(GraphSplit, TransferFormatRows) {
  GraphFormatDescription d{};
  d[FormatByteColourBits] = 16;
  EXPECT_EQ(GetTransferFormatIndex(d), 0);
  d[FormatByteColourBits] = 32;
  EXPECT_EQ(GetTransferFormatIndex(d), 1);
  d[FormatByteAlphaTest] = 1;
  EXPECT_EQ(GetTransferFormatIndex(d), 5);
  d[FormatByteAlpha] = 1;
  EXPECT_EQ(GetTransferFormatIndex(d), 3);
  d[FormatByteRenderTarget] = 1;
  EXPECT_EQ(GetTransferFormatIndex(d), 13);
  d[FormatByteDxt] = 3;
  EXPECT_EQ(GetTransferFormatIndex(d), 8);

  const ColorFormat* a1 = GetTransferFormat(4);
  ASSERT_NE(a1, nullptr);
  EXPECT_EQ(a1->bitDepth, 16);
  EXPECT_EQ(a1->alphaMask, 0x8000u);
  EXPECT_EQ(GetTransferFormat(6)->bitDepth, 4);
  EXPECT_EQ(GetTransferFormat(6)->compression, 1u);
  EXPECT_EQ(GetTransferFormat(14), nullptr);
  EXPECT_EQ(ChooseGraphTextureFormat(0, 1, 0, 0), GetTransferFormat(4));
  EXPECT_EQ(ChooseGraphTextureFormat(1, 0, 1, 1), GetTransferFormat(13));

  EXPECT_EQ(ColorFormatForD3DFormat(35)->redMask, 0x3FF00000u);
  EXPECT_EQ(ColorFormatForD3DFormat(32)->redMask, 0xFFu);
  EXPECT_EQ(ColorFormatForD3DFormat(28), nullptr);
  EXPECT_EQ(DxtKindOfD3DFormat(0x35545844), 5);
}

}  // namespace
