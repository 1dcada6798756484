// Full-screen deactivation and activation through the window procedure: the restoration
// runs on activation. A full-screen mode needs a display that offers one, so each case runs
// this program again as a child inside a Wine virtual desktop (explorer /desktop=NAME,1024x768);
// the child writes what it saw to a file and the parent checks it.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "core/core_state.h"
#include "graphics/device_restore.h"
#include "graphics/device_state.h"
#include "graphics/draw_front.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_load.h"
#include "graphics/graph_table.h"
#include "graphics/graphics_start.h"
#include "graphics/screen_mode.h"
#include "support/bmp_file.h"
#include "tests/graphics/engine_session.h"

namespace {

using namespace quelt;

constexpr const char* kChildFlag = "--restore-child=";

std::string ResultFile(int hardware) { return "restore_fs_" + std::to_string(hardware) + ".txt"; }

void WriteBmp(const char* path, int width, int height) {
  quelt::testing::WriteBmp(path, quelt::testing::NoisePixels(width, height, 54321u), width, height);
}

std::vector<uint32_t> DrawAndRead(int32_t graph) {
  BackgroundColour = 0;
  SelectDrawScreen(DrawScreenBack);
  EraseDrawScreen();
  DrawGraphAtPoint(0, 0, graph, 0);
  FlushVertexBatch();
  std::vector<uint32_t> pixels(64 * 48, 0);
  if (ReadBackDrawScreen(pixels.data(), 64, 48) < 0) pixels.clear();
  for (uint32_t& p : pixels) p &= 0xFFFFFF;
  return pixels;
}

int HookRuns = 0;
void ReloadAndCount() {
  ++HookRuns;
  ReloadGraphsFromFiles();
}

int RunChild(int hardware) {
  std::ofstream out(ResultFile(hardware) + ".part");
  const std::string caption = "quelt restore full screen " + std::to_string(hardware);
  const int started = quelt_test::StartEngineSession({caption.c_str(), hardware, 640, 480, 32, 0});
  out << "start=" << started << "\n";
  out << "hardware=" << ScreenState.hardware << "\n";
  if (started == 0) {
    const HWND window = static_cast<HWND>(MainWindowHandle);
    WriteBmp("restore_fs.bmp", 64, 48);
    const int32_t graph = OpenGraphFile("restore_fs.bmp", 1, 0, 0);
    SetGraphRestoreHook(ReloadAndCount);
    const std::vector<uint32_t> before = DrawAndRead(graph);
    out << "drawn=" << (before.empty() ? 0 : 1) << "\n";
    out << "widthRunning=" << GetSystemMetrics(SM_CXSCREEN) << "\n";

    SendMessageA(window, WM_ACTIVATE, WA_INACTIVE, 0);
    out << "widthAway=" << GetSystemMetrics(SM_CXSCREEN) << "\n";
    out << "lostWhileInactive=" << CoreRun.lostWhileInactive << "\n";
    out << "iconic=" << (IsIconic(window) ? 1 : 0) << "\n";
    if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
    HookRuns = 0;
    SendMessageA(window, WM_ACTIVATE, WA_ACTIVE, 0);
    out << "hookRuns=" << HookRuns << "\n";
    out << "lostAfter=" << CoreRun.lostWhileInactive << "\n";
    out << "hardwareAfter=" << ScreenState.hardware << "\n";
    out << "device=" << (HasDevice() ? 1 : 0) << "\n";
    out << "pending=" << IsGraphicsRestorePending() << "\n";
    out << "widthBack=" << GetSystemMetrics(SM_CXSCREEN) << "\n";
    out << "handleValid=" << IsGraphHandleValid(graph) << "\n";
    out << "samePixels=" << (DrawAndRead(graph) == before ? 1 : 0) << "\n";
    out << "logged=" << (quelt_test::ReadEngineLog().find("グラフィックを復帰します") != std::string::npos ? 1 : 0)
        << "\n";
    DeleteAllGraphs();
    quelt_test::StopEngineSession();
    out << "widthEnd=" << GetSystemMetrics(SM_CXSCREEN) << "\n";
  }
  out << "done=1\n";
  out.close();
  std::rename((ResultFile(hardware) + ".part").c_str(), ResultFile(hardware).c_str());
  return 0;
}

std::map<std::string, int> RunInVirtualDesktop(int hardware) {
  return quelt_test::RunChildInVirtualDesktop("quelt_restore_" + std::to_string(hardware),
                                              kChildFlag + std::to_string(hardware), ResultFile(hardware));
}

TEST(RestoreFullScreen, Direct3DDeactivationAndActivationRunTheRestoration) {
  auto v = RunInVirtualDesktop(1);
  ASSERT_EQ(v["done"], 1) << "the child left no result";
  ASSERT_EQ(v["start"], 0);
  ASSERT_EQ(v["hardware"], 1);
  EXPECT_EQ(v["drawn"], 1);
  EXPECT_EQ(v["widthRunning"], 640);
  EXPECT_EQ(v["lostWhileInactive"], 1);
  EXPECT_EQ(v["iconic"], 0);
  EXPECT_EQ(v["hookRuns"], 1);
  EXPECT_EQ(v["lostAfter"], 0);
  EXPECT_EQ(v["hardwareAfter"], 1);
  EXPECT_EQ(v["device"], 1);
  EXPECT_EQ(v["pending"], 0);
  EXPECT_EQ(v["widthBack"], 640);
  EXPECT_EQ(v["handleValid"], 1);
  EXPECT_EQ(v["samePixels"], 1);
  EXPECT_EQ(v["logged"], 1);
  EXPECT_EQ(v["widthEnd"], 1024);
}

TEST(RestoreFullScreen, SoftwareScreenGivesTheModeBackWhileAwayAndTakesItAgain) {
  auto v = RunInVirtualDesktop(0);
  ASSERT_EQ(v["done"], 1) << "the child left no result";
  ASSERT_EQ(v["start"], 0);
  ASSERT_EQ(v["hardware"], 0);
  EXPECT_EQ(v["drawn"], 1);
  EXPECT_EQ(v["widthRunning"], 640);
  EXPECT_EQ(v["widthAway"], 1024);
  EXPECT_EQ(v["iconic"], 1);
  EXPECT_EQ(v["hookRuns"], 0);  // memory images need no refill
  EXPECT_EQ(v["hardwareAfter"], 0);
  EXPECT_EQ(v["widthBack"], 640);
  EXPECT_EQ(v["handleValid"], 1);
  EXPECT_EQ(v["samePixels"], 1);
  EXPECT_EQ(v["widthEnd"], 1024);
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], kChildFlag, std::strlen(kChildFlag)) == 0)
      return RunChild(std::atoi(argv[i] + std::strlen(kChildFlag)));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
