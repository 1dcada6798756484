#include <windows.h>
#include <mmsystem.h>
#include <winnls32.h>

#include <cstring>

#include "core/core_state.h"
#include "core/engine_state.h"
#include "core/entry/layer_hooks.h"
#include "core/entry/main_window.h"
#include "core/entry/window_modes.h"
#include "core/entry/window_proc_win32.h"
#include "core/log.h"
#include "core/menu_table.h"
#include "core/random.h"
#include "core/system_settings.h"
#include "core/window_area.h"
#include "core/window_services.h"
#include "core/window_styles.h"
#include "graphics/screen_mode.h"
#include "input/input_devices.h"
#include "input/text_input.h"
#include "movie/movie_table.h"
#include "network/http_slots.h"
#include "network/network_state.h"
#include "sound/music.h"
#include "sound/sound.h"

namespace quelt {

namespace {

// A program with the engine's window has its layers connected before main runs.
[[maybe_unused]] const bool LayerHooksConnected = (ConnectLayerHooks(), true);

constexpr const char* DefaultClassName = "Q123987L";
constexpr const char* DefaultCaption = "Quelt";
constexpr DWORD TimeBaseTestMs = 1000;
constexpr int TimeBaseTestChanges = 60;
constexpr DWORD SettleAfterCreationMs = 200;

HWND MainWindow() { return static_cast<HWND>(MainWindowHandle); }

bool OnMainThread() { return GetCurrentThreadId() == MainThreadId; }

// Samples the multimedia timer and the performance counter side by side and keeps the one
// that moves more often (the counter on a tie).
void ChooseTimeBase() {
  WriteLog("タイマーの精度を検査します\n");
  int mm_changes = 0;
  int counter_changes = 0;
  const DWORD start = timeGetTime();
  DWORD last_mm = start;
  LARGE_INTEGER last_counter{};
  QueryPerformanceCounter(&last_counter);
  while (timeGetTime() - start < TimeBaseTestMs && mm_changes < TimeBaseTestChanges &&
         counter_changes < TimeBaseTestChanges) {
    if (PumpFrameMessages() != 0) break;
    const DWORD mm = timeGetTime();
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    if (mm != last_mm) ++mm_changes;
    if (counter.QuadPart != last_counter.QuadPart) ++counter_changes;
    last_mm = mm;
    last_counter = counter;
  }
  WriteLogFormat("精度結果 更新回数 マルチメディアタイマー：%d  パフォーマンスカウンター：%d",
                 mm_changes, counter_changes);
  if (mm_changes > counter_changes) {
    WriteLogFormat("マルチメディアタイマーを使用します タイマー分解能 : %d.00 ms ",
                   static_cast<int>(MinimumTimerPeriod()));
    PerformanceCounterFlag = 0;
  } else {
    WriteLogFormat("パフォーマンスカウンターを使用します タイマー分解能 : %lf KHz ",
                   static_cast<double>(PerformanceCounterFrequency) * 0.001);
  }
}

HICON LoadWindowIcon(HINSTANCE instance) {
  // The standard application icon is a system icon and loads without a module.
  if (WindowSettings.iconId == 0) return LoadIconA(nullptr, IDI_APPLICATION);
  return LoadIconA(instance, MAKEINTRESOURCEA(WindowSettings.iconId));
}

int FailWindowCreation(const char* message) {
  WriteLog(message);
  QuitFlag = 1;
  return -1;
}

bool TakeMessage(MSG* message) {
  if (PeekMessageA(message, nullptr, 0, 0, PM_NOREMOVE))
    return PeekMessageA(message, nullptr, 0, 0, PM_REMOVE) != 0;
  if (PeekMessageA(message, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE)) return true;
  return MainWindowHandle != nullptr && PeekMessageA(message, MainWindow(), 0, 0, PM_REMOVE);
}

bool WaitsWhileInactive() { return WindowActiveFlag == 0 && RunWhileInactiveFlag == 0; }

// The work that keeps running while an inactive window holds the game inside the pump.
void InactiveBackgroundWork() {
  ProcessNetWorkMessages(1);
  StepAllHttpSlots();
  ProcessStreamSounds();
  RedrawMovieOverlays();
  Sleep(1);
}

// One message each for the modeless dialog and the program's extra windows.
void PumpSideWindows() {
  MSG message{};
  if (WindowSettings.modelessDialog != nullptr) {
    const HWND dialog = static_cast<HWND>(WindowSettings.modelessDialog);
    if (PeekMessageA(&message, dialog, 0, 0, PM_REMOVE) && IsDialogMessageA(dialog, &message) == FALSE) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  const int32_t count = WindowSettings.extraWindowCount < ExtraWindowCapacity ? WindowSettings.extraWindowCount
                                                                             : ExtraWindowCapacity;
  for (int32_t i = 0; i < count; ++i) {
    const HWND window = static_cast<HWND>(WindowSettings.extraWindows[static_cast<size_t>(i)]);
    if (window != nullptr && PeekMessageA(&message, window, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
}

void RunMessageLoop() {
  int run_counter = 0;
  bool previous_empty = false;
  for (;;) {
    if ((WindowClosingFlag != 0 || WindowActiveFlag != 0 || RunWhileInactiveFlag != 0) &&
        (previous_empty || QuitFlag != 0))
      return;
    bool empty = true;
    if (WaitsWhileInactive()) Sleep(1);
    for (;;) {
      MSG message{};
      const bool found = TakeMessage(&message);
      if (found) {
        if (WindowSettings.modelessDialog != nullptr &&
            IsDialogMessageA(static_cast<HWND>(WindowSettings.modelessDialog), &message)) {
          empty = false;
        } else {
          if (message.message == WM_ACTIVATEAPP && WindowModeFlag == 1)
            WindowActiveFlag = LOWORD(message.wParam);
          if (QuitFlag != 0) return;
          if (message.message == WM_QUIT) QuitFlag = 1;
          const HACCEL accelerators = static_cast<HACCEL>(WindowSettings.acceleratorTable);
          if (accelerators == nullptr || MainWindowHandle == nullptr ||
              TranslateAcceleratorA(MainWindow(), accelerators, &message) == 0) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
          }
          if (++run_counter == 5) {
            run_counter = 0;
            break;
          }
          empty = false;
        }
      }
      PumpSideWindows();
      if (!found) break;
    }
    if (WaitsWhileInactive()) InactiveBackgroundWork();
    previous_empty = empty;
    if (QuitFlag != 0 || !OnMainThread()) return;
  }
}

// The work of every frame after the messages.
void PeriodicWork() {
  ProcessStreamSounds();
  PollMusicStatus();
  TickPadVibration();
  ProcessNetWorkMessages(1);
  for (int32_t slot = 0, seen = 0; slot < HttpSlotCapacity && seen < HttpSlotTable.count;
       ++slot) {
    if (HttpSlotTable.slots[slot] == nullptr) continue;
    ++seen;
    StepHttpSlot(slot);
  }
  CoreRun.textInputGuard = 1;
  StepTextInput();
  CoreRun.textInputGuard = 0;
}

}  // namespace

int CreateEngineWindow() {
  ResetCoreRunState();
  if (WindowClassName[0] == '\0') {
    std::strcpy(WindowClassName, WindowCaption[0] != '\0' ? WindowCaption : DefaultClassName);
  }
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  CoreRun.instance = instance;
  MainThreadId = GetCurrentThreadId();

  MEMORYSTATUS memory{};
  memory.dwLength = sizeof memory;
  GlobalMemoryStatus(&memory);
  WriteLogFormat("メモリ総量:%.2fMB  空きメモリ領域:%.2fMB ",
                 static_cast<double>(static_cast<uint32_t>(memory.dwTotalPhys)) / 1048576.0,
                 static_cast<double>(static_cast<uint32_t>(memory.dwAvailPhys)) / 1048576.0);

  CoreRun.desktopWidth = GetSystemMetrics(SM_CXSCREEN);
  CoreRun.desktopHeight = GetSystemMetrics(SM_CYSCREEN);
  {
    const HDC screen = GetDC(nullptr);
    CoreRun.desktopBits = GetDeviceCaps(screen, BITSPIXEL);
    ReleaseDC(nullptr, screen);
  }
  int32_t screen_width = 0;
  int32_t screen_height = 0;
  QueryScreenSizeOrDefault(&screen_width, &screen_height);

  LARGE_INTEGER frequency{};
  QueryPerformanceFrequency(&frequency);
  PerformanceCounterFrequency = frequency.QuadPart;
  PerformanceCounterFlag = frequency.QuadPart != 0 ? 1 : 0;
  BeginTimerPeriod();
  if (PerformanceCounterFlag != 0) ChooseTimeBase();

  SeedRandom(timeGetTime() & 0x7FFFFFFF);
  SuspendScreenSaver();
  if (NoWindowSwitch != 0) return 0;

  WriteLog("ソフトの二重起動検査... ");
  if (FindWindowA(WindowClassName, nullptr) != nullptr) {
    if (DoubleStartAllowed == 0)
      return FailWindowCreation("二重起動されています、ソフトを終了します\n");
    WriteLog("二重起動されていますが続行します\n");
  } else {
    WriteLog("二重起動はされていませんでした\n");
  }

  if (WindowSettings.menuInUse != 0 && WindowSettings.menu != nullptr) {
    ClearMenuItemTable();
    BuildMenuItemTable(WindowSettings.menu);
  }

  if (UserWindowMode != 0) {
    MainWindowHandle = WindowSettings.userWindow;
    CoreRun.userWindowProc =
        reinterpret_cast<void*>(GetWindowLongPtrA(MainWindow(), GWLP_WNDPROC));
  } else {
    CoreRun.windowCreating = 1;
    WNDCLASSA window_class{};
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = EngineWindowProc;
    window_class.hInstance = instance;
    window_class.hIcon = LoadWindowIcon(instance);
    window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    window_class.lpszClassName = WindowClassName;
    WriteLog("ウインドウクラスを登録します... ");
    if (RegisterClassA(&window_class) == 0)
      return FailWindowCreation("ウインドウクラスの登録に失敗しました\n");
    WriteLog("登録に成功しました\n");

    if (WindowCaption[0] == '\0') std::strcpy(WindowCaption, DefaultCaption);

    HWND window = nullptr;
    if (WindowModeFlag == 1) {
      WriteLog("ウインドウモード起動用のウインドウを作成します\n");
      const WindowStyleEntry entry = WindowModeStyle(WindowStyleIndex);
      DWORD style = entry.style;
      DWORD ex_style = entry.extendedStyle;
      if (WindowModeToggleAllowed != 0) style |= MaximizeBoxStyle;
      if (WindowSettings.visibleStyle != 0) style |= VisibleStyle;
      if (WindowSettings.sizable != 0) style |= ThickFrameStyle;
      if (WindowSettings.hiddenWindow != 0) ex_style |= TransparentExStyle;
      CursorVisibleSetting = 1;
      int32_t width = static_cast<int32_t>(screen_width * ReadWindowScale());
      int32_t height = static_cast<int32_t>(screen_height * ReadWindowScale());
      if (WindowSettings.clientSizeSet != 0) {
        width = WindowSettings.clientWidth;
        height = WindowSettings.clientHeight;
      }
      const WindowPlacement place = PlaceWindowForClient(width, height, style, ex_style);
      window = CreateWindowExA(ex_style, WindowClassName, WindowCaption, style, place.x, place.y,
                               place.width, place.height, nullptr,
                               static_cast<HMENU>(WindowSettings.menu), instance, nullptr);
    } else {
      WriteLog("フルスクリーンモード用のウインドウを作成します\n");
      CursorVisibleSetting = 0;
      window = CreateWindowExA(WS_EX_TOPMOST, WindowClassName, WindowCaption, WS_POPUP, 0, 0,
                               screen_width, screen_height, nullptr, nullptr, instance, nullptr);
    }
    if (window == nullptr) {
      // The class goes with the window, or the next start in this process cannot register it.
      UnregisterClassA(WindowClassName, instance);
      CoreRun.windowCreating = 0;
      return FailWindowCreation("ウインドウの作成に失敗しました\n");
    }
    WriteLog("ウインドウの作成に成功しました\n");
    MainWindowHandle = window;

    if (WindowSettings.hiddenWindow != 0) {
      ShowWindow(window, SW_HIDE);
    } else {
      ShowWindow(window, SW_SHOW);
      UpdateWindow(window);
    }
  }

  WindowClosingFlag = 0;
  WindowDestroyedFlag = 0;
  WindowActiveFlag = 1;
  if (WindowModeFlag == 0) {
    WriteLog("カーソルを不可視にしました\n");
    SetCursor(nullptr);
  }
  WriteLog("ＩＭＥを無効にしました\n");
  if (WindowSettings.imeWanted == 0) WINNLSEnableIME(MainWindow(), FALSE);
  if (WindowModeFlag == 1) ReadWindowArea();
  CharSetMode = GetOEMCP() == 949 ? 2 : 1;
  SetCursorVisible(CursorVisibleSetting);
  EndingState = 0;

  if (UserWindowMode == 0) {
    if (WindowSettings.hiddenWindow == 0) BringWindowToTop(MainWindow());
    const DWORD start = timeGetTime();
    while (timeGetTime() - start < SettleAfterCreationMs) {
      PumpFrameMessages();
      Sleep(1);
    }
    if (WindowSettings.hiddenWindow == 0) RecomputeWindowGeometry();
    CoreRun.windowCreating = 0;
  }
  return 0;
}

int PumpMainWindowFrame() {
  if (CoreRun.textInputGuard != 0) return 0;

  if (ClipCursorSetting != 0 && WindowActiveFlag != 0 && WindowModeFlag == 1 &&
      CoreRun.cursorClipped == 0) {
    POINT cursor{};
    GetCursorPos(&cursor);
    if (WindowArea.left < cursor.x && cursor.x <= WindowArea.right &&
        WindowArea.top < cursor.y && cursor.y <= WindowArea.bottom) {
      const RECT area{WindowArea.left, WindowArea.top, WindowArea.right, WindowArea.bottom};
      ClipCursor(&area);
      CoreRun.cursorClipped = 1;
    }
  }

  if (NoWindowSwitch == 0 && UserWindowMode == 0) {
    if (MainWindowHandle == nullptr) return QuitFlag != 0 ? -1 : 0;
    if (OnMainThread() && PendingModeToggle != 0 && WindowModeToggleAllowed != 0) {
      PendingModeToggle = 0;
      ChangeWindowMode(WindowModeFlag == 1 ? 0 : 1);
      if (ModeChangeCallback != nullptr) ModeChangeCallback(WindowSettings.modeChangeArgument);
    }
    RunMessageLoop();
    if (OnMainThread() && WindowSettings.menuAlwaysShown != 1) TrackMenuInFullScreen();
  }

  PeriodicWork();
  return QuitFlag != 0 ? -1 : 0;
}

void WaitWhileMainWindowInactive() {
  if (CoreRun.insidePaint != 0 || WindowActiveFlag != 0 || UserWindowMode != 0) return;
  // Without a window (before start-up, after the stop) nothing can ever activate it.
  if (MainWindowHandle == nullptr) return;
  if (RunWhileInactiveFlag != 0 && WindowModeFlag == 1) return;
  while (PumpFrameMessages() == 0 && WindowActiveFlag == 0) {
  }
}

}  // namespace quelt
