// What the engine core calls in movies and the network before those subsystems run: the
// YUV tables, the empty movie and HTTP tables, the network that never started.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "movie/movie_table.h"
#include "movie/yuv_tables.h"
#include "network/http_slots.h"
#include "network/network_state.h"

namespace quelt {
namespace {

struct Rgb {
  int r, g, b;
};

// The fast path's per-pixel arithmetic over the tables.
Rgb ConvertYuv(int y, int u, int v) {
  const int32_t yy = YuvTables.y[y];
  const int32_t ruv = YuvTables.vToRed[v];
  const int32_t guv = YuvTables.uToGreen[u] + YuvTables.vToGreen[v];
  const int32_t buv = YuvTables.uToBlue[u];
  return {ClampYuvSum((yy + ruv) / 16384), ClampYuvSum((yy + guv) / 16384),
          ClampYuvSum((yy + buv) / 16384)};
}

TEST(YuvTables, HoldTheFixedPointCoefficients) {
  InitYuvTables();
  EXPECT_EQ(ClampYuvSum(-512), 0);
  EXPECT_EQ(ClampYuvSum(-1), 0);
  EXPECT_EQ(ClampYuvSum(0), 0);
  EXPECT_EQ(ClampYuvSum(200), 200);
  EXPECT_EQ(ClampYuvSum(255), 255);
  EXPECT_EQ(ClampYuvSum(256), 255);
  EXPECT_EQ(ClampYuvSum(767), 255);
  EXPECT_EQ(YuvTables.y[16], 0);
  EXPECT_EQ(YuvTables.y[0], -19070 * 16);
  EXPECT_EQ(YuvTables.y[255], 19070 * 239);
  EXPECT_EQ(YuvTables.vToRed[255], 26148 * 127);
  EXPECT_EQ(YuvTables.uToGreen[0], 6406 * 128);
  EXPECT_EQ(YuvTables.vToGreen[255], -13320 * 127);
  EXPECT_EQ(YuvTables.uToBlue[0], -33062 * 128);
}

TEST(YuvTables, ConvertStudioRangeColours) {
  InitYuvTables();
  const Rgb black = ConvertYuv(16, 128, 128);
  EXPECT_EQ(black.r, 0);
  EXPECT_EQ(black.g, 0);
  EXPECT_EQ(black.b, 0);
  const Rgb white = ConvertYuv(235, 128, 128);  // 19070 x 219 / 16384 truncated
  EXPECT_EQ(white.r, 254);
  EXPECT_EQ(white.g, 254);
  EXPECT_EQ(white.b, 254);
  EXPECT_EQ(ConvertYuv(255, 128, 255).r, 255);
  EXPECT_EQ(ConvertYuv(0, 0, 128).b, 0);
}

TEST(YuvTables, EverySumStaysInsideTheClampTable) {
  InitYuvTables();
  for (int y : {0, 255})
    for (int u : {0, 255})
      for (int v : {0, 255}) {
        const int32_t yy = YuvTables.y[y];
        for (int32_t sum : {yy + YuvTables.vToRed[v], yy + YuvTables.uToGreen[u] + YuvTables.vToGreen[v],
                            yy + YuvTables.uToBlue[u]}) {
          EXPECT_GE(sum / 16384, YuvClampLow);
          EXPECT_LE(sum / 16384, YuvClampHigh);
        }
      }
}

TEST(MovieTable, EmptyTableAnswersEveryCallerQuietly) {
  EXPECT_EQ(GetMovieRecord(-1), nullptr);
  EXPECT_EQ(GetMovieRecord(MakeEngineHandle(0, 0, HandleKind::Movie)), nullptr);
  EXPECT_EQ(GetMovieRecord(MakeEngineHandle(100, 0, HandleKind::Movie)), nullptr);
  EXPECT_EQ(SetMovieFrameCallback(MakeEngineHandle(0, 0, HandleKind::Movie), nullptr, 0), -1);
  EXPECT_EQ(UpdateMovieFrame(MakeEngineHandle(0, 0, HandleKind::Graph), 0), 0);
  EXPECT_EQ(PauseAllMovies(), 0);
  EXPECT_EQ(ResumeAllMovies(), 0);
  EXPECT_EQ(RedrawMovieOverlays(), 0);
  EXPECT_EQ(ReleaseMovieDeviceObjects(), 0);
  EXPECT_EQ(RestoreMovieDeviceObjects(), 0);
}

TEST(HttpSlots, ZeroingClearsTheWholeTable) {
  if (sizeof(void*) == 4) {
    EXPECT_EQ(sizeof(HttpSlotTableState), 668u);
  }
  std::memset(&HttpSlotTable, 0xA5, sizeof HttpSlotTable);
  ZeroHttpSlotTable();
  const auto* bytes = reinterpret_cast<const unsigned char*>(&HttpSlotTable);
  for (size_t i = 0; i < sizeof HttpSlotTable; ++i) ASSERT_EQ(bytes[i], 0) << "byte " << i;
}

TEST(HttpSlots, NoSlotsMeansNothingToStepOrDelete) {
  ZeroHttpSlotTable();
  EXPECT_EQ(StepAllHttpSlots(), 0);
  EXPECT_EQ(DeleteAllHttpSlots(), 0);
  EXPECT_EQ(StepHttpSlot(0), -1);
  EXPECT_EQ(StepHttpSlot(-1), -1);
  EXPECT_EQ(StepHttpSlot(100), -1);
  EXPECT_EQ(DeleteHttpSlot(100), -1);
}

TEST(NetWork, NeverStartedNetworkReturnsAtItsFirstCheck) {
  EXPECT_EQ(TerminateNetWork(), 0);
  EXPECT_EQ(ProcessNetWorkMessages(1), 0);
  EXPECT_EQ(HandleNetWorkSocketEvent(1234, 1), 0);
}

}  // namespace
}  // namespace quelt
