// The engine core's window-side services under Wine: clipboard text, files dropped on the
// window, the cursor and the state queries.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/api_entry.h"
#include "core/clipboard.h"
#include "core/core_state.h"
#include "core/engine_state.h"
#include "core/window_services.h"

namespace quelt {
namespace {

constexpr const char* Caption = "QueltWindowServicesTest";

TEST(Clipboard, ShiftJisTextMakesTheRoundTripAndTheSizeQueryLeavesRoomForIt) {
  const std::string text = "クリップボード ｶﾅ 表示\\ABC";  // 0x5C trail bytes included
  ASSERT_EQ(WriteClipboardText(text.c_str()), 0);
  const int32_t needed = ReadClipboardText(nullptr, 0);
  ASSERT_GT(needed, static_cast<int32_t>(text.size()));
  std::vector<char> buffer(static_cast<size_t>(needed), 'x');
  EXPECT_EQ(ReadClipboardText(buffer.data(), needed), 0);
  EXPECT_EQ(std::string(buffer.data()), text);
  // The block's own size, plus one.
  ASSERT_EQ(OpenClipboard(nullptr), TRUE);
  const HANDLE block = GetClipboardData(CF_TEXT);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(needed, static_cast<int32_t>(GlobalSize(block)) + 1);
  CloseClipboard();
}

TEST(Clipboard, ReadingStopsAtTheCallersCapacity) {
  ASSERT_EQ(WriteClipboardText("0123456789"), 0);
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(ReadClipboardText(buffer, 5), 0);
  EXPECT_STREQ(buffer, "0123");
  EXPECT_EQ(buffer[5], 'x');
  EXPECT_EQ(ReadClipboardText(buffer, 0), -1);
  EXPECT_EQ(WriteClipboardText(nullptr), -1);
}

TEST(Clipboard, WithoutTextOnTheClipboardReadingFails) {
  ASSERT_EQ(OpenClipboard(nullptr), TRUE);
  EmptyClipboard();
  CloseClipboard();
  char buffer[16] = {};
  EXPECT_EQ(ReadClipboardText(buffer, sizeof buffer), -1);
  EXPECT_EQ(ReadClipboardText(nullptr, 0), -1);
}

// A WM_DROPFILES block naming files as the shell would hand them over.
HGLOBAL MakeDrop(const std::vector<std::string>& names) {
  size_t size = sizeof(DROPFILES) + 1;
  for (const std::string& name : names) size += name.size() + 1;
  const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
  auto* drop = static_cast<DROPFILES*>(GlobalLock(block));
  drop->pFiles = sizeof(DROPFILES);
  drop->fWide = FALSE;
  char* at = reinterpret_cast<char*>(drop) + sizeof(DROPFILES);
  for (const std::string& name : names) {
    std::memcpy(at, name.c_str(), name.size() + 1);
    at += name.size() + 1;
  }
  GlobalUnlock(block);
  return block;
}

class WindowServicesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ApiEnableLogFile(1);
    ApiChangeWindowMode(1);
    ApiRequestScreenMode(320, 200, 32, 60);
    ApiSetWindowCaption(Caption);
  }
  void TearDown() override { ApiStopEngine(); }
  HWND Window() const { return static_cast<HWND>(MainWindowHandle); }
};

TEST_F(WindowServicesTest, DroppedFilesAreListedInOrderAndFreedAtTheEnd) {
  ASSERT_EQ(ApiStartEngine(), 0);
  PostMessageA(Window(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({"C:\\a.txt", "C:\\b\\c.png"})), 0);
  PostMessageA(Window(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({"D:\\日本語.dat"})), 0);
  for (int i = 0; i < 5; ++i) ApiPumpMessages();
  ASSERT_EQ(CoreRun.droppedFileCount, 3);
  EXPECT_STREQ(CoreRun.droppedFiles[0], "C:\\a.txt");
  EXPECT_STREQ(CoreRun.droppedFiles[1], "C:\\b\\c.png");
  EXPECT_STREQ(CoreRun.droppedFiles[2], "D:\\日本語.dat");
  EXPECT_EQ(FreeRegisteredBlocks(), 0);
  EXPECT_EQ(CoreRun.droppedFileCount, 0);
  EXPECT_EQ(CoreRun.droppedFiles[0], nullptr);
}

TEST_F(WindowServicesTest, StateQueriesFollowTheCoreAndTheCursorFollowsTheSetting) {
  ASSERT_EQ(ApiStartEngine(), 0);
  EXPECT_EQ(ReadMainWindowHandle(), MainWindowHandle);
  EXPECT_EQ(ReadWindowModeFlag(), 1);
  EXPECT_EQ(ReadWindowActiveFlag(), WindowActiveFlag);
  EXPECT_EQ(ReadQuitFlag(), 0);
  EXPECT_EQ(ReadWindowClosingFlag(), 0);
  int32_t width = 0, height = 0, bits = 0;
  EXPECT_EQ(ReadDesktopMode(&width, &height, &bits), 0);
  EXPECT_EQ(width, GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(height, GetSystemMetrics(SM_CYSCREEN));
  EXPECT_EQ(bits, 32);
  EXPECT_EQ(ReadDesktopMode(nullptr, nullptr, nullptr), 0);

  // Without a menu, window mode hides the cursor on request; 1 always shows it.
  EXPECT_EQ(SetCursorVisible(0), 0);
  EXPECT_EQ(CoreRun.cursorShown, 0);
  EXPECT_EQ(SetCursorVisible(1), 0);
  EXPECT_EQ(CoreRun.cursorShown, 1);
  EXPECT_EQ(CursorVisibleSetting, 1);

  // The mouse position is relative to the client area, divided by the window scale.
  SetCursorPos(WindowArea.left + 30, WindowArea.top + 20);
  int32_t x = -1, y = -1;
  EXPECT_EQ(ReadMousePosition(&x, &y), 0);
  EXPECT_EQ(x, 30);
  EXPECT_EQ(y, 20);
  WindowSettings.windowScale = 2.0;
  EXPECT_EQ(ReadMousePosition(&x, &y), 0);
  EXPECT_EQ(x, 15);
  EXPECT_EQ(y, 10);
  // Full screen ignores the stored scale.
  WindowModeFlag = 0;
  EXPECT_EQ(ReadWindowScale(), 1.0);
  WindowModeFlag = 1;
  EXPECT_EQ(ReadWindowScale(), 2.0);
  WindowSettings.windowScale = 1.0;
}

}  // namespace
}  // namespace quelt
