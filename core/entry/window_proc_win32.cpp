#include <windows.h>
#include <shellapi.h>

#include <cstring>

#include "core/core_state.h"
#include "core/engine_state.h"
#include "core/entry/saved_screen.h"
#include "core/entry/window_modes.h"
#include "core/entry/window_proc_win32.h"
#include "core/fatal_exit.h"
#include "core/log.h"
#include "core/menu_table.h"
#include "core/toolbar.h"
#include "core/tracked_alloc.h"
#include "core/window_services.h"
#include "graphics/device_restore.h"
#include "graphics/device_state.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graphics_start.h"
#include "graphics/screen_mode.h"
#include "input/input_devices.h"
#include "input/text_input.h"
#include "input/typed_char_ring.h"
#include "movie/movie_table.h"
#include "network/network_state.h"
#include "sound/music.h"

namespace quelt {

namespace {

constexpr UINT MciNotifyMessage = 0x3B9;
constexpr UINT InputFlagAMessage = 0x46F;
constexpr UINT InputFlagBMessage = 0x470;
constexpr UINT SocketEventMessage = 0x505;

bool InFullScreen() { return WindowModeFlag == 0; }

void RequestClose(HWND window) {
  if (WindowClosingFlag != 0) return;
  WindowClosingFlag = 1;
  PostMessageA(window, WM_CLOSE, 0, 0);
}

void OnPaint(HWND window) {
  CoreRun.insidePaint = 1;
  PAINTSTRUCT paint{};
  const HDC dc = BeginPaint(window, &paint);
  if (WindowModeFlag == 1 && WindowActiveFlag == 0 && SavedScreen.exists != 0 && RunWhileInactiveFlag == 0) {
    RedrawFromSavedScreen(dc);
  } else if (WindowModeFlag == 1 && EngineInitialised != 0 && QueryDrawScreen() == DrawScreenBack) {
    // Present once, without waiting for the vertical blank inside the paint. A present can
    // itself expose the window again (Wine's does while a DirectDraw object is bound to the
    // window), so the paint repairs only a frame it has not shown yet; otherwise paint and
    // present feed each other and the pump never empties.
    static uint64_t last_repaired = ~uint64_t{0};
    if (GetPresentCounter() != last_repaired) {
      const int32_t vsync = GetVSyncWait();
      SetVSyncWait(0);
      CopySubBackBufferAndPresent();
      SetVSyncWait(vsync);
      last_repaired = GetPresentCounter();
    }
  } else if (WindowModeFlag == 1) {
    // Until a screen exists to present, the invalid area is filled with the background.
    const COLORREF colour =
        WindowSettings.backgroundColourSet != 0 ? BackgroundColour & 0xFFFFFF : RGB(0, 0, 0);
    const HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &paint.rcPaint, brush);
    DeleteObject(brush);
  }
  EndPaint(window, &paint);
  CoreRun.insidePaint = 0;
}

void OnActivation(HWND window, WPARAM w_param) {
  WindowActiveFlag = LOWORD(w_param) != 0 ? 1 : 0;
  if (CoreRun.windowCreating != 0) return;
  if (WindowActiveFlag != 0) {
    RequestImeReopen();
    if (InFullScreen() && EngineInitialised != 0) {
      if (IsIconic(window) == FALSE) RestoreGraphicsAfterLoss();
      CoreRun.lostWhileInactive = 0;
      ResumeAllMovies();
    } else {
      // A restoration that could not make the Direct3D device again tries once more.
      if (EngineInitialised != 0 && IsGraphicsRestorePending() != 0 && IsIconic(window) == FALSE)
        RestoreGraphicsAfterLoss();
      if (RunWhileInactiveFlag == 0) ResumeAllMovies();
    }
    ReacquireInputDevices();
  } else {
    if (InFullScreen() && GetHardwareDrawFlag() == 0) {
      // The software back end gives the display mode back while it is away.
      ChangeDisplaySettingsA(nullptr, 0);
      GraphicsDevice.displayModeChanged = 0;
      ShowWindow(window, SW_MINIMIZE);
    }
    if (InFullScreen() && GraphicsDevice.directDraw != nullptr) {
      if (HasGraphRestoreHook() == 0 && UserWindowMode == 0) {
        WriteLog("復元関数が登録されていないため終了します\n");
        RequestClose(window);
        return;
      }
      PauseAllMovies();
      CoreRun.lostWhileInactive = 1;
    } else {
      if (RunWhileInactiveFlag == 0) PauseAllMovies();
      ReacquireInputDevices();
    }
    if (ClipCursorSetting != 0 && CoreRun.cursorClipped != 0) {
      ClipCursor(nullptr);
      CoreRun.cursorClipped = 0;
    }
    if (SavedScreen.exists != 0) {
      const HDC dc = GetDC(window);
      RedrawFromSavedScreen(dc);
      if (dc != nullptr) ReleaseDC(window, dc);
    }
  }
  ApplyPadVibration();
  if (WindowSettings.activationCallback != nullptr)
    WindowSettings.activationCallback(WindowActiveFlag, WindowSettings.activationArgument);
}

void OnMouseMessage(UINT message) {
  if (message == WM_LBUTTONDOWN) RecordMouseClick(1);
  if (message == WM_RBUTTONDOWN) RecordMouseClick(2);
  if (message == WM_MBUTTONDOWN) RecordMouseClick(4);
  if (CursorVisibleSetting != 1 && ShouldShowCursor() == 0) {
    SetCursor(nullptr);
    while (ShowCursor(FALSE) >= 0) {
    }
  }
}

void OnDisplayChange(HWND window, WPARAM w_param, LPARAM l_param) {
  if (WindowModeFlag != 1 || CoreRun.modeChanging != 0) {
    CoreRun.displayChanged = 1;
    return;
  }
  int32_t width = 0;
  int32_t height = 0;
  int32_t depth = 0;
  QueryScreenMode(&width, &height, &depth);
  const int32_t new_depth = static_cast<int32_t>(w_param);
  const int32_t new_width = LOWORD(l_param);
  const int32_t new_height = HIWORD(l_param);
  const bool differs = new_depth != depth || new_width != width || new_height != height;
  if ((differs && HasGraphRestoreHook() == 0) || new_depth == 24 || (new_depth == 8 && depth != 8) ||
      new_width < width || new_height < height) {
    WriteLog("復元関数が登録されていないためか画面が２４ビットカラーに変更されたため終了します\n");
    WriteLog("またはスクリーンが小さすぎるためか色ビット数の違いが大きいためか終了します\n");
    RequestClose(window);
    return;
  }
  ReleaseMovieDeviceObjects();
  ResumeAllMovies();
  CoreRun.displayChanged = 1;
}

// Direct3D in full screen: the menu bar over a Direct3D screen needs the dialog-box mode.
void OnSetCursor(LPARAM l_param) {
  if (GetHardwareDrawFlag() == 0 || WindowModeFlag != 0) return;
  const int hit = LOWORD(l_param);
  if (hit == HTMENU || hit == HTCAPTION) {
    if (CoreRun.fullScreenMenuBar == 0) {
      SetDeviceDialogBoxMode(1);
      DrawMenuBar(static_cast<HWND>(MainWindowHandle));
      CoreRun.fullScreenMenuBar = 1;
      SetCursorVisible(-1);
    }
  } else if (CoreRun.fullScreenMenuBar != 0) {
    SetDeviceDialogBoxMode(0);
    CoreRun.fullScreenMenuBar = 0;
  }
}

void OnDropFiles(HDROP drop) {
  const UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count && CoreRun.droppedFileCount < DroppedFileCapacity; ++i) {
    const UINT length = DragQueryFileA(drop, i, nullptr, 0);
    auto* name = static_cast<char*>(TrackedAlloc(static_cast<int32_t>(length + 1), __FILE__, __LINE__));
    if (name == nullptr) break;
    DragQueryFileA(drop, i, name, length + 1);
    CoreRun.droppedFiles[CoreRun.droppedFileCount++] = name;
  }
  DragFinish(drop);
}

// Keeps the drawing area's proportions while the user drags the window's border.
void KeepProportions(HWND window, WPARAM edge, RECT* proposed) {
  RECT outer{};
  RECT client{};
  GetWindowRect(window, &outer);
  GetClientRect(window, &client);
  const int32_t frame_width = (outer.right - outer.left) - (client.right - client.left);
  const int32_t frame_height = (outer.bottom - outer.top) - (client.bottom - client.top);
  int32_t width = (proposed->right - proposed->left) - frame_width;
  int32_t height = (proposed->bottom - proposed->top) - frame_height;
  int32_t sw = 0;
  int32_t sh = 0;
  QueryScreenSizeOrDefault(&sw, &sh);
  if (sw <= 0 || sh <= 0) return;
  if (WindowSettings.fixedScale != 0 || WindowSettings.clientSizeSet != 0) {
    const double scale = ReadWindowScale();
    const auto max_width = static_cast<int32_t>(sw * scale);
    const auto max_height = static_cast<int32_t>(sh * scale);
    if (width > max_width) proposed->right = proposed->left + max_width + frame_width;
    if (height > max_height) proposed->bottom = proposed->top + max_height + frame_height;
    return;
  }
  switch (edge) {
    case WMSZ_LEFT:
    case WMSZ_RIGHT:
      height = width * sh / sw;
      break;
    case WMSZ_TOP:
    case WMSZ_BOTTOM:
      width = height * sw / sh;
      break;
    case WMSZ_TOPLEFT:
    case WMSZ_TOPRIGHT:
    case WMSZ_BOTTOMLEFT:
    case WMSZ_BOTTOMRIGHT:
      if (static_cast<double>(width) / sw > static_cast<double>(height) / sh)
        height = width * sh / sw;
      else
        width = height * sw / sh;
      break;
    default:
      WindowSettings.windowScale = static_cast<double>(width) / sw;
      return;
  }
  WindowSettings.windowScale = static_cast<double>(width) / sw;
  // The edges being dragged move; the opposite ones stay.
  if (edge == WMSZ_LEFT || edge == WMSZ_TOPLEFT || edge == WMSZ_BOTTOMLEFT)
    proposed->left = proposed->right - width - frame_width;
  else
    proposed->right = proposed->left + width + frame_width;
  if (edge == WMSZ_TOP || edge == WMSZ_TOPLEFT || edge == WMSZ_TOPRIGHT)
    proposed->top = proposed->bottom - height - frame_height;
  else
    proposed->bottom = proposed->top + height + frame_height;
}

// Handles one message; true when `result` is the answer, false to fall through to the
// default procedure.
bool HandleMessage(HWND window, UINT message, WPARAM w_param, LPARAM l_param,
                   LRESULT* result) {
  switch (message) {
    case FatalExitHandOffMessage:
      FinishFatalExit();
    case WM_CREATE:
      if (WindowSettings.windowRegion != nullptr)
        SetWindowRgn(window, static_cast<HRGN>(WindowSettings.windowRegion), FALSE);
      return false;
    case WM_DESTROY:
      if (UserWindowMode != 0) return false;
      WriteLog("ウインドウが破棄されようとしています\n");
      WindowDestroyedFlag = 1;
      ShutdownGraphics();
      if (WindowSettings.noQuitMessage == 0) PostQuitMessage(0);
      QuitFlag = 1;
      WriteLog("ソフトを終了する準備が整いました\n");
      return false;
    case WM_MOVE:
      if (WindowModeFlag == 1 && CoreRun.modeChanging == 0)
        StoreWindowArea(static_cast<uint32_t>(l_param));
      return false;
    case WM_SIZE:
      if (w_param == SIZE_MAXIMIZED) {
        if (WindowModeToggleAllowed != 0 && CoreRun.modeChanging == 0 &&
            CoreRun.windowCreating == 0 && WindowModeFlag == 1)
          PendingModeToggle = 1;
      } else {
        RecomputeWindowGeometry();
      }
      if (Toolbar.exists != 0 && Toolbar.window != nullptr)
        SendMessageA(static_cast<HWND>(Toolbar.window), WM_SIZE, w_param, l_param);
      return false;
    case WM_PAINT:
      OnPaint(window);
      return false;
    case WM_CLOSE:
      if (UserWindowMode != 0) return false;
      WriteLog("ウインドウを閉じようとしています\n");
      if (WindowSettings.closeBlocked == 0 || EndingState == 1) DestroyWindow(window);
      if (EndingState == 0) EndingState = 4;
      *result = 0;
      return true;
    case WM_ACTIVATE:
      OnActivation(window, w_param);
      return false;
    case WM_ACTIVATEAPP:
      if (w_param == 0) OnActivation(window, w_param);
      return false;
    case WM_SETCURSOR:
      OnSetCursor(l_param);
      OnMouseMessage(message);
      return false;
    case WM_NCHITTEST:
      // Over a full-screen Direct3D screen the top rows stand for the menu bar.
      if (GetHardwareDrawFlag() != 0 && InFullScreen() && static_cast<int16_t>(HIWORD(l_param)) < 8) {
        *result = HTMENU;
        return true;
      }
      return false;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
      OnMouseMessage(message);
      return false;
    case WM_MOUSEWHEEL:
      CoreRun.wheelCount += static_cast<int16_t>(HIWORD(w_param)) > 0 ? 1 : -1;
      return false;
    case WM_KEYDOWN:
      PushKeyDownMessage(static_cast<uint32_t>(w_param));
      return false;
    case WM_CHAR:
      PushCharMessage(static_cast<uint32_t>(w_param));
      return false;
    case WM_IME_STARTCOMPOSITION:
    case WM_IME_ENDCOMPOSITION:
    case WM_IME_COMPOSITION:
    case WM_IME_SETCONTEXT:
    case WM_IME_NOTIFY:
      *result = HandleImeMessage(w_param, message, window, l_param);
      return true;
    case WM_SYSCHAR:
      if (w_param == 13 && WindowModeToggleAllowed != 0) {
        PendingModeToggle = 1;
        *result = 0;
        return true;
      }
      return false;
    case WM_COMMAND:
      if (NoteToolbarCommand(LOWORD(w_param))) return false;
      if (WindowSettings.menuInUse != 0) {
        const int32_t id = LOWORD(w_param);
        if (WindowSettings.menuCallback != nullptr) WindowSettings.menuCallback(w_param);
        if (WindowSettings.menuNameCallback != nullptr) {
          char text[MenuTextCapacity] = {};
          if (ReadMenuItemText(id, text, sizeof text) == 0) WindowSettings.menuNameCallback(text, id);
        }
        bool listed = false;
        for (int32_t i = 0; i < CoreRun.clickedCommandCount; ++i)
          listed = listed || CoreRun.clickedCommands[i] == id;
        if (!listed && CoreRun.clickedCommandCount < ClickedCommandCapacity)
          CoreRun.clickedCommands[CoreRun.clickedCommandCount++] = id;
      }
      return false;
    case WM_SYSCOMMAND:
      if ((w_param & 0xFFF0) == SC_KEYMENU && WindowSettings.systemKeys != 0) {
        *result = 0;
        return true;
      }
      if ((w_param & 0xFFF0) == SC_SCREENSAVE || (w_param & 0xFFF0) == SC_MONITORPOWER) {
        *result = 1;
        return true;
      }
      return false;
    case WM_DISPLAYCHANGE:
      OnDisplayChange(window, w_param, l_param);
      return false;
    case WM_SIZING:
      if (WindowModeFlag == 1 && UserWindowMode == 0)
        KeepProportions(window, w_param, reinterpret_cast<RECT*>(l_param));
      return false;
    case WM_MOVING:
      if (InFullScreen()) GetWindowRect(window, reinterpret_cast<RECT*>(l_param));
      return false;
    case WM_DROPFILES:
      OnDropFiles(reinterpret_cast<HDROP>(w_param));
      return false;
    case MciNotifyMessage:
      HandleMciNotify();
      return false;
    case InputFlagAMessage:
      if (w_param == 1)
        SetInputFlagA();
      else
        ClearInputFlagA();
      return false;
    case InputFlagBMessage:
      if (w_param == 1)
        SetInputFlagB();
      else
        ClearInputFlagB();
      return false;
    case SocketEventMessage:
      *result = HandleNetWorkSocketEvent(static_cast<uint32_t>(w_param),
                                         static_cast<uint32_t>(l_param));
      return true;
    default:
      return false;
  }
}

}  // namespace

LRESULT CALLBACK EngineWindowProc(HWND window, UINT message, WPARAM w_param, LPARAM l_param) {
  LRESULT user_result = 0;
  if (UserWindowMode != 0 && CoreRun.userWindowProc != nullptr) {
    user_result = CallWindowProcA(reinterpret_cast<WNDPROC>(CoreRun.userWindowProc), window,
                                  message, w_param, l_param);
  }
  if (WindowSettings.userMessageHook != nullptr)
    WindowSettings.userMessageHook(window, message, w_param, l_param);
  LRESULT result = 0;
  const bool answered = HandleMessage(window, message, w_param, l_param, &result);
  if (UserWindowMode != 0) return user_result;
  if (answered) return result;
  return DefWindowProcA(window, message, w_param, l_param);
}

}  // namespace quelt
