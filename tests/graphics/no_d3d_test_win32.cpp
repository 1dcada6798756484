// Run with d3d9.dll unavailable (WINEDLLOVERRIDES=d3d9=d): graphics cannot start at all,
// which is a start failure, not the software road.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "core/core_state.h"
#include "core/engine_state.h"

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

namespace {

DWORD WINAPI StartWithCloseBlocked(void* result) {
  quelt::WindowSettings.closeBlocked = 1;
  *static_cast<int*>(result) = quelt_test::StartEngineSession({"quelt graphics no d3d9 blocked"});
  return 0;
}

// The start fails after the window exists: the failure road closes the window although
// closing is blocked, and the start returns instead of waiting for a close forever.
TEST(GraphicsWithoutD3D9, FailedStartWithCloseBlockedReturnsMinusOne) {
  int result = 0;
  const HANDLE thread = CreateThread(nullptr, 0, StartWithCloseBlocked, &result, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  const DWORD waited = WaitForSingleObject(thread, 20000);
  if (waited != WAIT_OBJECT_0) {
    ADD_FAILURE() << "the failed start did not return";
    std::fflush(nullptr);
    ExitProcess(3);
  }
  CloseHandle(thread);
  EXPECT_EQ(result, -1);
  EXPECT_EQ(quelt::MainWindowHandle, nullptr);
  EXPECT_EQ(FindWindowA("quelt graphics no d3d9 blocked", nullptr), nullptr);
  quelt::WindowSettings.closeBlocked = 0;
  quelt_test::StopEngineSession();
}

}  // namespace
