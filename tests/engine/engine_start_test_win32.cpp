// Start-up, the pump and shutdown inside the test process: closing, restoring what the
// engine changed, window-mode switching and the window procedure's bookkeeping.
#include <windows.h>
#include <mmsystem.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "core/core_state.h"
#include "core/engine_state.h"
#include "core/entry/api_entry.h"
#include "core/entry/main_window.h"
#include "core/entry/window_modes.h"
#include "core/entry/window_proc_win32.h"
#include "file/file_access.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/screen_mode.h"

namespace quelt {
namespace {

constexpr const char* Caption = "QueltEngineStartTest";

class EngineStartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ApiEnableLogFile(1);
    ApiChangeWindowMode(1);
    ApiRequestScreenMode(320, 200, 32, 60);
    ApiSetWindowCaption(Caption);
  }
  void TearDown() override {
    ApiStopEngine();
    WindowSettings.closeBlocked = 0;
  }
  HWND Window() const { return static_cast<HWND>(MainWindowHandle); }
};

TEST_F(EngineStartTest, ClosingMakesTheNextPumpReturnMinusOneAndStopCleansUp) {
  ASSERT_EQ(ApiStartEngine(), 0);
  EXPECT_EQ(EngineInitialised, 1);
  EXPECT_EQ(EngineStartingUp, 0);
  const HWND window = Window();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(ApiStartEngine(), 0);  // already running: nothing is made again
  EXPECT_EQ(MainWindowHandle, window);
  EXPECT_EQ(ApiPumpMessages(), 0);

  PostMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(ApiPumpMessages(), -1);
  EXPECT_EQ(WindowDestroyedFlag, 1);
  EXPECT_EQ(ApiPumpMessages(), -1);
  EXPECT_EQ(ApiStopEngine(), 0);
  EXPECT_EQ(EngineInitialised, 0);
  EXPECT_EQ(MainWindowHandle, nullptr);
  EXPECT_EQ(FindWindowA(Caption, nullptr), nullptr);
  WNDCLASSA registered{};
  EXPECT_EQ(GetClassInfoA(GetModuleHandleA(nullptr), Caption, &registered), FALSE);
}

TEST_F(EngineStartTest, StopRestoresScreenSaverAndStartDirectory) {
  char start_directory[MAX_PATH] = {};
  GetCurrentDirectoryA(sizeof start_directory, start_directory);
  for (BOOL before : {FALSE, TRUE}) {
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, before, nullptr, 0);
    ASSERT_EQ(ApiStartEngine(), 0);
    BOOL during = TRUE;
    SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &during, 0);
    EXPECT_FALSE(during);
    CreateDirectoryA("elsewhere", nullptr);
    SetCurrentDirectoryA("elsewhere");
    ApiStopEngine();
    BOOL after = !before;
    SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &after, 0);
    EXPECT_EQ(after, before);
    char now[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof now, now);
    EXPECT_STREQ(now, start_directory);
  }
}

// A start folder longer than StartDirectory holds leaves it empty, never unterminated.
TEST_F(EngineStartTest, AStartFolderTooLongForItsBufferIsNotKept) {
  constexpr size_t kFolderLength = 258;
  char start_directory[MAX_PATH] = {};
  GetCurrentDirectoryA(sizeof start_directory, start_directory);
  std::string folder = start_directory;
  while (folder.size() < kFolderLength) {
    folder += '\\';
    folder += std::string(std::min<size_t>(40, kFolderLength - folder.size()), 'd');
    if (folder.back() == '\\') folder.back() = 'd';
    CreateDirectoryA(folder.c_str(), nullptr);
  }
  ASSERT_EQ(folder.size(), kFolderLength);
  ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str()));
  PlainFileAccessSwitch = 1;
  const int started = ApiStartEngine();
  const size_t kept = strnlen(StartDirectory, sizeof StartDirectory);
  ApiStopEngine();
  PlainFileAccessSwitch = 0;
  SetCurrentDirectoryA(start_directory);
  EXPECT_EQ(started, 0);
  EXPECT_EQ(kept, 0u);
}

TEST_F(EngineStartTest, WindowModeSwitchReturnsWithoutADisplayChange) {
  // The desktop's own size: the one mode every display offers for full screen.
  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);
  ApiRequestScreenMode(width, height, 32, 60);
  ASSERT_EQ(ApiStartEngine(), 0);
  const DWORD start = timeGetTime();
  EXPECT_EQ(ApiChangeWindowMode(0), 0);
  EXPECT_EQ(WindowModeFlag, 0);
  const auto style = static_cast<DWORD>(GetWindowLongA(Window(), GWL_STYLE));
  EXPECT_EQ(style & (WS_POPUP | WS_CAPTION), static_cast<DWORD>(WS_POPUP));
  EXPECT_EQ(ApiChangeWindowMode(1), 0);
  EXPECT_EQ(WindowModeFlag, 1);
  const DWORD switches = timeGetTime() - start;
  RECT client{};
  GetClientRect(Window(), &client);
  EXPECT_EQ(client.right, width);
  EXPECT_EQ(client.bottom, height);
  // A window larger than the desktop is moved so its client area starts on screen.
  EXPECT_GE(WindowArea.left, 0);
  EXPECT_GE(WindowArea.top, 0);
  // Each switch waits for the display at most about two seconds beyond its own work, the
  // screen's re-creation, which a loaded machine can make slow: that work is timed alone.
  const DWORD restartStart = timeGetTime();
  ChangeScreenMode(-1, -1, -1, 1, -1);
  const DWORD restart = timeGetTime() - restartStart;
  EXPECT_LT(switches, 2 * (DisplayChangeWaitMs + restart) + 2000) << "one screen re-creation took " << restart << " ms";
}

TEST_F(EngineStartTest, BlockedCloseIsRefusedUntilShutdown) {
  WindowSettings.closeBlocked = 1;
  ASSERT_EQ(ApiStartEngine(), 0);
  SendMessageA(Window(), WM_CLOSE, 0, 0);
  EXPECT_EQ(EndingState, 4);
  EXPECT_TRUE(IsWindow(Window()));
  EXPECT_EQ(ApiPumpMessages(), 0);
  EXPECT_EQ(ApiStopEngine(), 0);  // shutdown's own close is let through
  EXPECT_EQ(FindWindowA(Caption, nullptr), nullptr);
}

TEST_F(EngineStartTest, WindowProcedureCountsWheelAndLogsClicks) {
  ASSERT_EQ(ApiStartEngine(), 0);
  SendMessageA(Window(), WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0);
  SendMessageA(Window(), WM_MOUSEWHEEL, MAKEWPARAM(0, 0), 0);
  SendMessageA(Window(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-240)), 0);
  EXPECT_EQ(CoreRun.wheelCount, -1);
  for (int i = 0; i < 33; ++i) SendMessageA(Window(), WM_RBUTTONDOWN, 0, 0);
  SendMessageA(Window(), WM_MOUSEMOVE, 0, 0);
  EXPECT_EQ(CoreRun.mouseClickCount, 32);
  EXPECT_EQ(CoreRun.mouseClicks[31].button, 2);
}

DWORD WINAPI StopFromAnotherThread(void* result) {
  *static_cast<int*>(result) = ApiStopEngine();
  return 0;
}

DWORD WINAPI EndAfterDeadline(void*) {
  Sleep(20000);
  std::fputs("a stop from another thread never returned\n", stderr);
  std::fflush(nullptr);
  ExitProcess(3);
}

TEST_F(EngineStartTest, StopFromAnotherThreadWhileTheWindowThreadPumpsIsRefused) {
  ASSERT_EQ(ApiStartEngine(), 0);
  const HANDLE watchdog = CreateThread(nullptr, 0, EndAfterDeadline, nullptr, 0, nullptr);
  int result = 0;
  const HANDLE stopper = CreateThread(nullptr, 0, StopFromAnotherThread, &result, 0, nullptr);
  ASSERT_NE(stopper, nullptr);
  while (WaitForSingleObject(stopper, 0) == WAIT_TIMEOUT) {
    ApiPumpMessages();
    Sleep(1);
  }
  TerminateThread(watchdog, 0);
  CloseHandle(watchdog);
  CloseHandle(stopper);
  EXPECT_EQ(result, -1);
  EXPECT_EQ(EngineInitialised, 1);
  EXPECT_TRUE(IsWindow(Window()));
  EXPECT_EQ(ApiPumpMessages(), 0);
  EXPECT_EQ(ApiStopEngine(), 0);
  EXPECT_EQ(FindWindowA(Caption, nullptr), nullptr);
}

TEST_F(EngineStartTest, WindowModeValuesOtherThanZeroAndOneAreRefused) {
  for (int32_t mode : {2, -1, 7}) {
    EXPECT_EQ(ApiChangeWindowMode(mode), -1) << mode;
    EXPECT_EQ(SetWindowModeFlag(mode), -1) << mode;
    EXPECT_EQ(WindowModeFlag, 1) << mode;
  }
  ASSERT_EQ(ApiStartEngine(), 0);
  EXPECT_EQ(ApiChangeWindowMode(2), -1);
  EXPECT_EQ(WindowModeFlag, 1);
  EXPECT_TRUE(IsWindow(Window()));
}

LRESULT CALLBACK RefuseEngineWindow(int code, WPARAM w_param, LPARAM l_param) {
  if (code == HCBT_CREATEWND) {
    char name[256] = {};
    GetClassNameA(reinterpret_cast<HWND>(w_param), name, sizeof name);
    if (std::string(name) == Caption) return 1;
  }
  return CallNextHookEx(nullptr, code, w_param, l_param);
}

TEST_F(EngineStartTest, FailedWindowCreationUnregistersTheClassForTheNextStart) {
  const HHOOK hook = SetWindowsHookExA(WH_CBT, RefuseEngineWindow, nullptr, GetCurrentThreadId());
  ASSERT_NE(hook, nullptr);
  EXPECT_EQ(ApiStartEngine(), -1);
  UnhookWindowsHookEx(hook);
  WNDCLASSA registered{};
  EXPECT_EQ(GetClassInfoA(GetModuleHandleA(nullptr), Caption, &registered), FALSE);
  EXPECT_EQ(ApiStartEngine(), 0);
  EXPECT_TRUE(IsWindow(Window()));
}

TEST_F(EngineStartTest, MovingTheWindowReappliesTheDrawArea) {
  ASSERT_EQ(ApiStartEngine(), 0);
  SelectDrawScreen(DrawScreenFront);
  ASSERT_EQ(SetDrawClipRect(10, 20, 100, 150), 0);
  DrawSettings.ClipRect = {0, 0, 5, 5};  // as left behind by a target of another size
  SendMessageA(Window(), WM_MOVE, 0, MAKELPARAM(50, 60));
  EXPECT_EQ(WindowArea.left, 50);
  EXPECT_EQ(WindowArea.top, 60);
  EXPECT_EQ(DrawSettings.ClipRect.x1, 10);
  EXPECT_EQ(DrawSettings.ClipRect.y1, 20);
  EXPECT_EQ(DrawSettings.ClipRect.x2, 100);
  EXPECT_EQ(DrawSettings.ClipRect.y2, 150);
}

int RestoreCalls = 0;
void CountRestore() { ++RestoreCalls; }

TEST_F(EngineStartTest, FullScreenActivationRestoresAndDeactivationWithoutRestoreHookCloses) {
  ApiRequestScreenMode(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), 32, 60);
  ASSERT_EQ(ApiStartEngine(), 0);
  ASSERT_EQ(ApiChangeWindowMode(0), 0);
  ASSERT_NE(GetHardwareDrawFlag(), 0);
  // The top rows of a full-screen Direct3D screen stand for the menu bar.
  EXPECT_EQ(SendMessageA(Window(), WM_NCHITTEST, 0, MAKELPARAM(100, 3)), HTMENU);
  EXPECT_NE(SendMessageA(Window(), WM_NCHITTEST, 0, MAKELPARAM(100, 40)), HTMENU);

  // The restoration refills the graphs through the restore hook once.
  SetGraphRestoreHook(CountRestore);
  RestoreCalls = 0;
  SendMessageA(Window(), WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_EQ(RestoreCalls, 1);
  SetGraphRestoreHook(nullptr);

  const GraphRestoreHookFn hook = DrawSettings.GraphRestoreHook;
  DrawSettings.GraphRestoreHook = nullptr;
  SendMessageA(Window(), WM_ACTIVATE, WA_INACTIVE, 0);
  DrawSettings.GraphRestoreHook = hook;
  EXPECT_EQ(WindowClosingFlag, 1);
  std::ifstream in("Log.txt", std::ios::binary);
  const std::string log{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_NE(log.find("復元関数が登録されていないため終了します"), std::string::npos);
  for (int i = 0; i < 200 && ApiPumpMessages() == 0; ++i) Sleep(1);
  EXPECT_EQ(WindowDestroyedFlag, 1);  // the program closed itself
}

TEST(EngineEntry, CaptionIsStoredWholeUpTo255Characters) {
  const std::string exact(255, 'c');
  ApiSetWindowCaption(exact.c_str());
  EXPECT_EQ(std::string(WindowCaption), exact);
  ApiSetWindowCaption(std::string(300, 'd').c_str());
  EXPECT_EQ(std::string(WindowCaption), std::string(255, 'd'));
  // A two-byte character that would straddle the limit is left out whole.
  std::string sjis(254, 'e');
  sjis += "\x82\xA0";
  ApiSetWindowCaption(sjis.c_str());
  EXPECT_EQ(std::string(WindowCaption), std::string(254, 'e'));
  ApiSetWindowCaption("");
}

TEST(EngineEntry, ScreenModeRequestBeforeStartOnlyStores) {
  const ScreenStateRecord saved = ScreenState;
  EXPECT_EQ(ApiRequestScreenMode(600, 600, 24, 60), -1);
  EXPECT_EQ(ApiRequestScreenMode(0, 600, 32, 60), -1);
  // Negative sizes are refused before start-up too, and nothing is stored.
  EXPECT_EQ(ApiRequestScreenMode(-640, 480, 32, 60), -1);
  EXPECT_EQ(ApiRequestScreenMode(640, -1, 32, 60), -1);
  EXPECT_EQ(ScreenState.width, saved.width);
  EXPECT_EQ(ScreenState.height, saved.height);
  EXPECT_EQ(ApiRequestScreenMode(600, 600, 32, 60), 0);
  EXPECT_EQ(ScreenState.width, 600);
  EXPECT_EQ(ScreenState.height, 600);
  EXPECT_EQ(ScreenState.colourDepth, 32);
  EXPECT_EQ(ScreenState.refreshRate, 60);
  ScreenState = saved;
}

TEST(EngineEntry, PumpWithoutAWindowReportsOnlyTheQuitFlag) {
  ASSERT_EQ(MainWindowHandle, nullptr);
  QuitFlag = 0;
  EXPECT_EQ(ApiPumpMessages(), 0);
  QuitFlag = 1;
  EXPECT_EQ(ApiPumpMessages(), -1);
  QuitFlag = 0;
}

}  // namespace
}  // namespace quelt
