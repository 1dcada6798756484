#include <windows.h>
#include <mmsystem.h>

#include "core/core_state.h"
#include "core/engine_state.h"
#include "core/entry/main_window.h"
#include "core/entry/window_modes.h"
#include "core/log.h"
#include "core/window_area.h"
#include "core/window_services.h"
#include "core/window_styles.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graphics_start.h"
#include "graphics/mask.h"
#include "graphics/screen_mode.h"

namespace quelt {

namespace {

HWND MainWindow() { return static_cast<HWND>(MainWindowHandle); }

// The client size of window mode: the screen times the window scale, or the setting.
void WindowModeClientSize(int32_t* width, int32_t* height) {
  if (WindowSettings.clientSizeSet != 0) {
    *width = WindowSettings.clientWidth;
    *height = WindowSettings.clientHeight;
    return;
  }
  int32_t screen_width = 0;
  int32_t screen_height = 0;
  QueryScreenSizeOrDefault(&screen_width, &screen_height);
  const double scale = ReadWindowScale();
  *width = static_cast<int32_t>(screen_width * scale);
  *height = static_cast<int32_t>(screen_height * scale) + ReadToolbarHeight();
}

}  // namespace

int SetWindowModeFlag(int32_t mode) {
  if (mode != 0 && mode != 1) return -1;
  WindowModeFlag = mode;
  WriteLog(mode == 1 ? "ウインドウモードフラグが立てられました\n"
                     : "ウインドウモードフラグが倒されました\n");
  if (WindowSettings.menuInUse != 0 && MainWindowHandle != nullptr) {
    SetMenu(MainWindow(), mode == 1 ? static_cast<HMENU>(WindowSettings.menu) : nullptr);
    CoreRun.menuAttached = mode == 1 ? 1 : 0;
  }
  return 0;
}

int ChangeWindowMode(int32_t mode) {
  if (mode != 0 && mode != 1) return -1;
  WriteLog("ChangeWindowMode実行 \n");
  if (mode == WindowModeFlag) return 0;
  CoreRun.visibleStyleFlag = 1;
  CoreRun.displayChanged = 0;
  SetWindowModeFlag(mode);
  if (MainWindowHandle == nullptr || UserWindowMode != 0) return 0;
  CoreRun.modeChanging = 1;
  ApplyWindowStyle();
  const int result = ChangeScreenMode(-1, -1, -1, 1, -1);
  // The display may never report the change (nothing changed, or no display change was
  // made): the wait is bounded.
  const DWORD start = timeGetTime();
  while (CoreRun.displayChanged == 0 && timeGetTime() - start < DisplayChangeWaitMs) {
    if (PumpFrameMessages() != 0) break;
    if (CoreRun.displayChanged == 0) Sleep(1);
  }
  CoreRun.modeChanging = 0;
  return result;
}

int ApplyMainWindowStyle() {
  if (MainWindowHandle == nullptr || UserWindowMode != 0) return 0;
  const HWND window = MainWindow();
  if (WindowModeFlag == 1) {
    WriteLog("ウインドウスタイルをウインドウモード用に変更します... ");
    const WindowStyleEntry entry = WindowModeStyle(WindowStyleIndex);
    DWORD ex_style = entry.extendedStyle;
    if (WindowSettings.hiddenWindow != 0) ex_style |= TransparentExStyle;
    DWORD style = entry.style;
    if (WindowModeToggleAllowed != 0) style |= MaximizeBoxStyle;
    if (CoreRun.visibleStyleFlag != 0) style |= VisibleStyle;
    if (WindowSettings.sizable != 0) style |= ThickFrameStyle;
    SetWindowLongA(window, GWL_EXSTYLE, static_cast<LONG>(ex_style));
    SetWindowLongA(window, GWL_STYLE, static_cast<LONG>(style));
    int32_t width = 0;
    int32_t height = 0;
    WindowModeClientSize(&width, &height);
    const WindowPlacement place = PlaceWindowForClient(width, height, style, ex_style);
    SetWindowPos(window, HWND_NOTOPMOST, place.x, place.y, place.width, place.height,
                 SWP_FRAMECHANGED | SWP_SHOWWINDOW);
    ReadWindowArea();
    if (WindowArea.left < 0 || WindowArea.top < 0) {
      const int32_t dx = WindowArea.left < 0 ? -WindowArea.left : 0;
      const int32_t dy = WindowArea.top < 0 ? -WindowArea.top : 0;
      RECT outer{};
      GetWindowRect(window, &outer);
      SetWindowPos(window, nullptr, outer.left + dx, outer.top + dy, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER);
      ReadWindowArea();
    }
    SetCursorVisible(1);
  } else {
    WriteLog("ウインドウスタイルをフルスクリーンモード用に変更します... ");
    int32_t width = 0;
    int32_t height = 0;
    QueryScreenSizeOrDefault(&width, &height);
    SetWindowLongA(window, GWL_EXSTYLE, static_cast<LONG>(FullScreenWindowStyle.extendedStyle));
    SetWindowLongA(window, GWL_STYLE, static_cast<LONG>(FullScreenWindowStyle.style));
    WindowArea = {0, 0, width, height};
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    SetWindowPos(window, HWND_TOPMOST, 0, 0, width, height, SWP_NOREDRAW | SWP_FRAMECHANGED);
    SetCursorVisible(0);
  }
  WriteLog("完了\n");
  SetActiveWindow(window);
  PostMessageA(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), HTCLIENT);
  return 0;
}

int RecomputeMainWindowGeometry() {
  if (UserWindowMode != 0 || MainWindowHandle == nullptr) return 0;
  const HWND window = MainWindow();
  int32_t screen_width = 0;
  int32_t screen_height = 0;
  QueryScreenSizeOrDefault(&screen_width, &screen_height);
  const double scale = WindowModeFlag == 1 ? ReadWindowScale() : 1.0;
  int32_t target_width = static_cast<int32_t>(screen_width * scale);
  int32_t target_height = static_cast<int32_t>(screen_height * scale);

  RECT outer{};
  RECT client{};
  GetWindowRect(window, &outer);
  GetClientRect(window, &client);
  const int32_t client_width = client.right - client.left;
  const int32_t client_height = client.bottom - client.top;
  WindowArea.right = WindowArea.left + client_width;
  WindowArea.bottom = WindowArea.top + client_height;

  int32_t width = target_width;
  int32_t height = target_height;
  if (WindowSettings.sizable != 0) {
    width = client_width < target_width ? client_width : target_width;
    height = client_height < target_height ? client_height : target_height;
  } else if (WindowSettings.clientSizeSet != 0) {
    width = WindowSettings.clientWidth;
    height = WindowSettings.clientHeight;
    if (EngineStartingUp == 0) WindowSettings.clientSizeSet = 0;
  }
  height += ReadToolbarHeight();

  const int32_t frame_width = (outer.right - outer.left) - client_width;
  const int32_t frame_height = (outer.bottom - outer.top) - client_height;
  int32_t x = outer.left;
  int32_t y = outer.top;
  if (WindowSettings.positionSet != 0) {
    x = WindowSettings.positionX;
    y = WindowSettings.positionY;
    if (EngineStartingUp == 0) WindowSettings.positionSet = 0;
  }
  MoveWindow(window, x, y, width + frame_width, height + frame_height, TRUE);

  if (WindowModeFlag == 1 && CoreRun.visibleStyleFlag == 0) {
    CoreRun.visibleStyleFlag = 1;
    ApplyWindowStyle();
  }
  return 0;
}

int StoreWindowArea(uint32_t l_param) {
  if (MainWindowHandle == nullptr) return 0;
  RECT client{};
  GetClientRect(MainWindow(), &client);
  const auto x = static_cast<int16_t>(l_param & 0xFFFF);
  const auto y = static_cast<int16_t>(l_param >> 16);
  WindowArea = {x, y, x + (client.right - client.left), y + (client.bottom - client.top)};
  if (EngineInitialised == 0) return 0;
  if (QueryDrawScreen() == DrawScreenFront) {
    // Drawing straight onto the window: the mask's target follows the moved window.
    const int32_t mask = GetMaskDrawFlag();
    SetMaskDrawFlag(0);
    SetMaskDrawFlag(mask);
  }
  SetDrawClipRect(RequestedDrawArea.x1, RequestedDrawArea.y1, RequestedDrawArea.x2, RequestedDrawArea.y2);
  return 0;
}

void ForceWindowForeground(void* window_handle, int32_t topmost) {
  const HWND window = static_cast<HWND>(window_handle);
  const DWORD foreground_thread = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
  const DWORD window_thread = GetWindowThreadProcessId(window, nullptr);
  AttachThreadInput(window_thread, foreground_thread, TRUE);
  DWORD lock_timeout = 0;
  SystemParametersInfoA(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &lock_timeout, 0);
  SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, 0);
  SetForegroundWindow(window);
  SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0,
                        reinterpret_cast<void*>(static_cast<uintptr_t>(lock_timeout)), 0);
  AttachThreadInput(window_thread, foreground_thread, FALSE);
  if (topmost == 1)
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOREDRAW);
}

int SetMenuVisible(int32_t flag) {
  if (WindowSettings.menuInUse == 0) return 0;
  WindowSettings.menuHidden = flag == 0 ? 1 : 0;
  if (MainWindowHandle == nullptr) return 0;
  const int32_t show = ShouldShowCursor();
  if (show != CoreRun.lastCursorDecision) {
    CoreRun.lastCursorDecision = show;
    SetMenu(MainWindow(), show == 1 ? static_cast<HMENU>(WindowSettings.menu) : nullptr);
    CoreRun.menuAttached = show;
    if (WindowModeFlag == 1) ApplyWindowStyle();
    UpdateWindow(MainWindow());
  }
  return 0;
}

int TrackMenuInFullScreen() {
  if (WindowModeFlag == 1 || MainWindowHandle == nullptr) return 0;
  int32_t x = 0;
  int32_t y = 0;
  ReadMousePosition(&x, &y);
  if (WindowSettings.menuAlwaysShown != 0) {
    if (WindowSettings.menuInUse != 0 && CoreRun.menuAttached == 0) {
      SetMenu(MainWindow(), static_cast<HMENU>(WindowSettings.menu));
      CoreRun.menuAttached = 1;
    }
    if (y < 60) SetCursorVisible(CursorVisibleSetting);
    return 0;
  }
  CoreRun.fullScreenMenuBar = y < 60 ? 1 : 0;
  ApplyDialogBoxMode(GetDialogBoxModeFlag());
  SetCursorVisible(CursorVisibleSetting);
  SetMenuVisible(WindowSettings.menuHidden == 0 ? 1 : 0);
  return 0;
}

WindowPlacement PlaceWindowForClient(int32_t client_width, int32_t client_height, uint32_t style,
                                     uint32_t ex_style) {
  RECT rect{0, 0, client_width, client_height};
  AdjustWindowRectEx(&rect, style, FALSE, ex_style);
  WindowPlacement place{0, 0, rect.right - rect.left, rect.bottom - rect.top};
  OffsetRect(&rect, (CoreRun.desktopWidth - place.width) / 2, (CoreRun.desktopHeight - place.height) / 2);
  place.x = rect.left;
  place.y = rect.top;
  if (WindowSettings.positionSet != 0) {
    place.x = WindowSettings.positionX;
    place.y = WindowSettings.positionY;
  }
  return place;
}

}  // namespace quelt
