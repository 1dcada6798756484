#include <windows.h>

#include <cstring>

#include "core/core_state.h"
#include "core/engine_state.h"
#include "core/entry/api_entry.h"
#include "core/entry/api_lock.h"
#include "core/entry/engine_lifecycle.h"
#include "core/entry/main_window.h"
#include "core/entry/window_modes.h"
#include "core/entry/window_proc_win32.h"
#include "core/fatal_exit.h"
#include "core/log.h"
#include "core/window_services.h"
#include "graphics/screen_mode.h"

namespace quelt {

namespace {
// The engine's own window can only be closed by the thread that made it, and that thread
// waits on the lock while another holds it: a stop from elsewhere could never finish.
bool StopNeedsTheWindowThread() {
  return MainWindowHandle != nullptr && NoWindowSwitch == 0 && UserWindowMode == 0 &&
         GetCurrentThreadId() != MainThreadId;
}

// How long a fatal exit on another thread waits for the window's thread to end the
// process before ending it itself (the window thread may be waiting on a lock this thread
// holds).
constexpr DWORD FatalExitHandOffWaitMs = 10000;

// What the fatal exit runs before it ends the process: the shutdown and the lock's end,
// as ApiStopEngine does. On another thread than the window's the shutdown is handed to
// the window's thread, which ends the process; running it here would race that thread's
// own engine work and wait for a window it cannot close.
void ShutdownForFatalExit() {
  if (StopNeedsTheWindowThread()) {
    if (PostMessageA(static_cast<HWND>(MainWindowHandle), FatalExitHandOffMessage, 0, 0) != 0)
      Sleep(FatalExitHandOffWaitMs);
    return;
  }
  RunShutdownSequence();
  DestroyApiLock();
}
}  // namespace

int ApiStartEngine() {
  if (EngineInitialised == 1) return 0;
  FatalExitShutdownHook = ShutdownForFatalExit;
  AcquireApiLock();
  const int result = RunStartUpSequence();
  ReleaseApiLock();
  return result;
}

int ApiStopEngine() {
  if (EngineInitialised == 0) return 0;
  if (StopNeedsTheWindowThread()) {
    WriteLog("エンジンの終了はウインドウを作成したスレッドで行ってください\n");
    return -1;
  }
  AcquireApiLock();
  RunShutdownSequence();
  ReleaseApiLock();
  DestroyApiLock();
  return 0;
}

int ApiPumpMessages() {
  AcquireApiLock();
  const int result = PumpFrameMessages();
  ReleaseApiLock();
  return result;
}

int ApiSetWindowCaption(const char* text) {
  if (text == nullptr) text = "";
  if (MainWindowHandle != nullptr) SetWindowTextA(static_cast<HWND>(MainWindowHandle), text);
  // A longer caption is cut to the 255 characters the stored copy holds, never inside a
  // two-byte character.
  size_t length = std::strlen(text);
  if (length > sizeof WindowCaption - 1) {
    length = 0;
    while (text[length] != '\0') {
      const auto byte = static_cast<unsigned char>(text[length]);
      const size_t step =
          ((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC)) ? 2 : 1;
      if (length + step > sizeof WindowCaption - 1) break;
      length += step;
    }
  }
  std::memcpy(WindowCaption, text, length);
  WindowCaption[length] = '\0';
  return 0;
}

int ApiSetWindowIcon(int32_t icon_id) {
  WindowSettings.iconId = icon_id;
  if (MainWindowHandle != nullptr) {
    // The standard application icon is a system icon: it loads without a module.
    const HICON icon = icon_id == 0
                           ? LoadIconA(nullptr, IDI_APPLICATION)
                           : LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(icon_id));
    SetClassLongPtrA(static_cast<HWND>(MainWindowHandle), GCLP_HICON,
                     reinterpret_cast<LONG_PTR>(icon));
  }
  return 0;
}

void* ApiQueryMainWindow() { return ReadMainWindowHandle(); }

int ApiChangeWindowMode(int32_t mode) { return ChangeWindowMode(mode); }

int ApiRequestScreenMode(int32_t width, int32_t height, int32_t bits, int32_t refresh) {
  return RequestScreenMode(width, height, bits, refresh);
}

}  // namespace quelt
