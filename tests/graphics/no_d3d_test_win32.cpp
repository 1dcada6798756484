// Run with d3d9.dll unavailable (WINEDLLOVERRIDES=d3d9=d): graphics cannot start at all,
// which is a start failure, not the software road.
#include <gtest/gtest.h>

#include "graphics/device_state.h"
#include "graphics/graphics_start.h"
#include "graphics/screen_mode.h"
#include "tests/graphics/engine_session.h"

namespace {

using namespace quelt;

TEST(GraphicsWithoutD3D9, StartFailsWithItsLogLine) {
  EXPECT_EQ(quelt_test::StartEngineSession({"quelt graphics no d3d9"}), -1);
  EXPECT_EQ(ScreenState.started, 0);
  EXPECT_EQ(GraphicsDevice.directDraw, nullptr);
  EXPECT_EQ(GraphicsDevice.d3d9Module, nullptr);
  quelt_test::StopEngineSession();
  const std::string log = quelt_test::ReadEngineLog();
  EXPECT_NE(log.find("d3d9.dll の読み込みに失敗しました"), std::string::npos);
}

}  // namespace
