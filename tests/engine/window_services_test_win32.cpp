// The engine core's window-side services under Wine: clipboard text, the menu item table,
// the toolbar, files dropped on the window, the cursor and the state queries.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/clipboard.h"
#include "core/core_state.h"
#include "core/engine_state.h"
#include "core/entry/api_entry.h"
#include "core/menu_table.h"
#include "core/toolbar.h"
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
  // A capacity ending inside a two-byte character cuts before it.
  ASSERT_EQ(WriteClipboardText("A表示"), 0);
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(ReadClipboardText(buffer, 3), 0);
  EXPECT_STREQ(buffer, "A");
  EXPECT_EQ(ReadClipboardText(buffer, 5), 0);
  EXPECT_STREQ(buffer, "A表");
  EXPECT_EQ(ReadClipboardText(buffer, 4), 0);
  EXPECT_STREQ(buffer, "A表");
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

// Three items, the second a separator, the third opening a two-item sub-menu.
HMENU MakeMenu() {
  const HMENU sub = CreatePopupMenu();
  AppendMenuA(sub, MF_STRING, 201, "Sub one");
  AppendMenuA(sub, MF_STRING, 202, "サブ二");
  const HMENU menu = CreateMenu();
  AppendMenuA(menu, MF_STRING, 101, "File");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), "More");
  return menu;
}

TEST(MenuTable, SeparatorsAreSkippedAndSubMenusFollowTheirItem) {
  const HMENU menu = MakeMenu();
  MenuItemRead item{};
  EXPECT_EQ(ReadMenuItem(menu, 1, &item), 1);
  EXPECT_EQ(ReadMenuItem(menu, 0, &item), 0);
  EXPECT_EQ(item.id, 101);
  EXPECT_STREQ(item.text, "File");
  EXPECT_EQ(ReadMenuItem(menu, 9, &item), -1);
  EXPECT_EQ(ReadMenuItem(nullptr, 0, &item), -1);

  ClearMenuItemTable();
  EXPECT_EQ(BuildMenuItemTable(menu), 0);
  ASSERT_EQ(MenuItemTable.count, 4);
  EXPECT_STREQ(MenuItemTable.entries[0].text, "File");
  EXPECT_EQ(MenuItemTable.entries[1].position, 2);
  EXPECT_STREQ(MenuItemTable.entries[1].text, "More");
  EXPECT_EQ(MenuItemTable.entries[2].id, 201);
  EXPECT_EQ(MenuItemTable.entries[2].position, 0);
  EXPECT_EQ(MenuItemTable.entries[3].id, 202);
  EXPECT_EQ(MenuItemTable.entries[3].menu, GetSubMenu(menu, 2));

  // Without a menu in use there is no text to read.
  char text[8] = {};
  WindowSettings.menuInUse = 0;
  EXPECT_EQ(ReadMenuItemText(201, text, sizeof text), -1);
  WindowSettings.menuInUse = 1;
  EXPECT_EQ(ReadMenuItemText(201, text, 4), 0);
  EXPECT_STREQ(text, "Sub");
  EXPECT_EQ(ReadMenuItemText(999, text, sizeof text), -1);
  WindowSettings.menuInUse = 0;
  ClearMenuItemTable();
  DestroyMenu(menu);
}

TEST(Toolbar, ButtonsAreFoundPastSeparatorsAndClearedFromTheWindow) {
  EXPECT_EQ(FindToolbarButton(5), -1);
  EXPECT_EQ(ClearToolbarButtons(), -1);
  EXPECT_EQ(ReadToolbarHeight(), 0);
  InitCommonControls();
  const HWND parent = CreateWindowExA(0, "STATIC", "toolbar parent", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200,
                                      nullptr, nullptr, nullptr, nullptr);
  const HWND bar = CreateWindowExA(0, TOOLBARCLASSNAMEA, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent,
                                   nullptr, nullptr, nullptr);
  ASSERT_NE(bar, nullptr);
  SendMessageA(bar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  TBBUTTON buttons[3] = {};
  buttons[0].fsStyle = BTNS_SEP;
  buttons[1].idCommand = ToolbarCommandBase + 5;
  buttons[2].idCommand = ToolbarCommandBase + 7;
  SendMessageA(bar, TB_ADDBUTTONS, 3, reinterpret_cast<LPARAM>(buttons));
  SendMessageA(bar, TB_AUTOSIZE, 0, 0);
  ASSERT_EQ(SendMessageA(bar, TB_BUTTONCOUNT, 0, 0), 3);

  Toolbar = ToolbarRecord{};
  Toolbar.window = bar;
  Toolbar.exists = 1;
  Toolbar.buttonCount = 3;
  Toolbar.buttons[0] = {5, 0, ToolbarSeparator, 0, 0};
  Toolbar.buttons[1] = {5, 0, ToolbarPlainButton, 0, 0};
  Toolbar.buttons[2] = {7, 0, 1, 0, 0};
  EXPECT_EQ(FindToolbarButton(5), 1);
  EXPECT_EQ(FindToolbarButton(7), 2);
  EXPECT_EQ(FindToolbarButton(9), -1);
  RECT area{};
  GetWindowRect(bar, &area);
  EXPECT_GT(ReadToolbarHeight(), 0);
  EXPECT_EQ(ReadToolbarHeight(), area.bottom - area.top);

  // Only a plain button's command marks it; commands below the toolbar range are not its own.
  EXPECT_TRUE(NoteToolbarCommand(ToolbarCommandBase + 5));
  EXPECT_TRUE(NoteToolbarCommand(ToolbarCommandBase + 7));
  EXPECT_FALSE(NoteToolbarCommand(7));
  EXPECT_EQ(Toolbar.buttons[1].clicked, 1);
  EXPECT_EQ(Toolbar.buttons[2].clicked, 0);

  EXPECT_EQ(ClearToolbarButtons(), 0);
  EXPECT_EQ(Toolbar.buttonCount, 0);
  EXPECT_EQ(SendMessageA(bar, TB_BUTTONCOUNT, 0, 0), 0);
  Toolbar = ToolbarRecord{};
  DestroyWindow(parent);
}

std::vector<std::string> NamedCommands;
std::vector<uintptr_t> MenuCommands;
void NoteMenuName(const char* text, int32_t id) { NamedCommands.push_back(std::string(text) + "#" + std::to_string(id)); }
void NoteMenuCommand(uintptr_t w_param) { MenuCommands.push_back(w_param); }

TEST_F(WindowServicesTest, MenuInUseIsTabledAtWindowStartAndItsCommandsReported) {
  WindowSettings.menu = MakeMenu();
  WindowSettings.menuInUse = 1;
  WindowSettings.menuCallback = NoteMenuCommand;
  WindowSettings.menuNameCallback = NoteMenuName;
  ASSERT_EQ(ApiStartEngine(), 0);
  EXPECT_EQ(MenuItemTable.count, 4);
  EXPECT_EQ(GetMenu(Window()), WindowSettings.menu);
  SendMessageA(Window(), WM_COMMAND, 202, 0);
  SendMessageA(Window(), WM_COMMAND, 202, 0);
  SendMessageA(Window(), WM_COMMAND, 101, 0);
  EXPECT_EQ(NamedCommands, (std::vector<std::string>{"サブ二#202", "サブ二#202", "File#101"}));
  EXPECT_EQ(MenuCommands.size(), 3u);
  ASSERT_EQ(CoreRun.clickedCommandCount, 2);
  EXPECT_EQ(CoreRun.clickedCommands[0], 202);
  EXPECT_EQ(CoreRun.clickedCommands[1], 101);
  ApiStopEngine();
  // The end destroys the menu and forgets its table.
  EXPECT_EQ(WindowSettings.menuInUse, 0);
  EXPECT_EQ(MenuItemTable.count, 0);
  WindowSettings.menuCallback = nullptr;
  WindowSettings.menuNameCallback = nullptr;
}

int32_t ExtraWindowMessages = 0;
LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM w_param, LPARAM l_param) {
  if (message == WM_APP + 7) ++ExtraWindowMessages;
  return DefWindowProcA(window, message, w_param, l_param);
}

TEST_F(WindowServicesTest, ThePumpDeliversTheMessagesOfTheProgramsExtraWindows) {
  WNDCLASSA extra_class{};
  extra_class.lpfnWndProc = CountingProc;
  extra_class.hInstance = GetModuleHandleA(nullptr);
  extra_class.lpszClassName = "QueltExtraWindow";
  RegisterClassA(&extra_class);
  const HWND extra = CreateWindowExA(0, "QueltExtraWindow", "extra", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                     GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(extra, nullptr);
  WindowSettings.extraWindows[0] = extra;
  WindowSettings.extraWindowCount = 1;
  ASSERT_EQ(ApiStartEngine(), 0);
  ExtraWindowMessages = 0;
  for (int i = 0; i < 12; ++i) PostMessageA(extra, WM_APP + 7, 0, 0);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(ApiPumpMessages(), 0);
  EXPECT_EQ(ExtraWindowMessages, 12);
  ApiStopEngine();
  WindowSettings.extraWindows[0] = nullptr;
  WindowSettings.extraWindowCount = 0;
  DestroyWindow(extra);
}

}  // namespace
}  // namespace quelt
