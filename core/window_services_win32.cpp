#include <windows.h>

#include "core/core_state.h"
#include "core/engine_state.h"
#include "core/tracked_alloc.h"
#include "core/window_services.h"

namespace quelt {

int32_t ReadQuitFlag() { return QuitFlag; }
void* ReadMainWindowHandle() { return MainWindowHandle; }
int32_t ReadWindowModeFlag() { return WindowModeFlag; }
int32_t ReadWindowActiveFlag() { return WindowActiveFlag; }
int32_t ReadMmxAvailable() { return MmxAvailable; }
int32_t ReadWindowClosingFlag() { return WindowClosingFlag; }

double ReadWindowScale() {
  if (WindowSettings.windowScale <= 0.0) WindowSettings.windowScale = 1.0;
  return WindowModeFlag == 1 ? WindowSettings.windowScale : 1.0;
}

int ReadDesktopMode(int32_t* width, int32_t* height, int32_t* bits) {
  int32_t w = CoreRun.desktopWidth;
  int32_t h = CoreRun.desktopHeight;
  int32_t b = CoreRun.desktopBits;
  if (EngineInitialised == 0) {
    w = GetSystemMetrics(SM_CXSCREEN);
    h = GetSystemMetrics(SM_CYSCREEN);
    const HDC screen = GetDC(nullptr);
    b = GetDeviceCaps(screen, BITSPIXEL);
    ReleaseDC(nullptr, screen);
  }
  if (width != nullptr) *width = w;
  if (height != nullptr) *height = h;
  if (bits != nullptr) *bits = b;
  return 0;
}

int32_t ShouldShowCursor() {
  if (MainWindowHandle == nullptr || WindowSettings.menuInUse == 0 ||
      WindowSettings.menuHidden != 0)
    return 0;
  return (WindowSettings.menuAlwaysShown != 0 || WindowModeFlag == 1 ||
          CoreRun.fullScreenMenuBar != 0)
             ? 1
             : 0;
}

int SetCursorVisible(int32_t flag) {
  CursorVisibleSetting = flag;
  const int32_t visible = (flag == 1 || ShouldShowCursor() == 1) ? 1 : 0;
  if (visible != CoreRun.cursorShown) {
    if (visible == 1) {
      while (ShowCursor(TRUE) < 0) {
      }
    } else {
      while (ShowCursor(FALSE) >= 0) {
      }
    }
    if (MainWindowHandle != nullptr)
      PostMessageA(static_cast<HWND>(MainWindowHandle), WM_SETCURSOR,
                   reinterpret_cast<WPARAM>(MainWindowHandle), HTCLIENT);
    CoreRun.cursorShown = visible;
  }
  return 0;
}

int ReadMousePosition(int32_t* x, int32_t* y) {
  POINT point{};
  GetCursorPos(&point);
  int32_t mx = point.x;
  int32_t my = point.y;
  if (WindowModeFlag == 1) {
    const double scale = ReadWindowScale();
    mx = static_cast<int32_t>((point.x - WindowArea.left) / scale);
    my = static_cast<int32_t>((point.y - ReadToolbarHeight() - WindowArea.top) / scale);
  }
  if (x != nullptr) *x = mx;
  if (y != nullptr) *y = my;
  return 0;
}

void RecordMouseClick(int32_t button) {
  if (CoreRun.mouseClickCount >= MouseClickCapacity) return;
  MouseClick& click = CoreRun.mouseClicks[CoreRun.mouseClickCount++];
  click.button = button;
  ReadMousePosition(&click.x, &click.y);
}

int FreeRegisteredBlocks() {
  for (int32_t i = 0; i < CoreRun.droppedFileCount; ++i) {
    TrackedFree(CoreRun.droppedFiles[i]);
    CoreRun.droppedFiles[i] = nullptr;
  }
  CoreRun.droppedFileCount = 0;
  return 0;
}

int ReadClientScreenRect(ScreenRect* out) {
  const int32_t toolbar = ReadToolbarHeight();
  *out = {WindowArea.left, WindowArea.top + toolbar, WindowArea.right, WindowArea.bottom + toolbar};
  return 0;
}

}  // namespace quelt
