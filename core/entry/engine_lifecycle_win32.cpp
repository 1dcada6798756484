#include <windows.h>
#include <mmsystem.h>
#include <objbase.h>
#include <winnls32.h>
#include <cpuid.h>
#include <x86intrin.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/core_state.h"
#include "core/engine_state.h"
#include "core/entry/api_entry.h"
#include "core/entry/engine_lifecycle.h"
#include "core/entry/layer_hooks.h"
#include "core/entry/main_window.h"
#include "core/entry/saved_screen.h"
#include "core/entry/screen_console.h"
#include "core/entry/window_modes.h"
#include "core/log.h"
#include "core/menu_table.h"
#include "core/system_settings.h"
#include "core/toolbar.h"
#include "core/tracked_alloc.h"
#include "core/window_services.h"
#include "file/file_access.h"
#include "file/vfs.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graphics_start.h"
#include "graphics/model_table.h"
#include "graphics/screen_mode.h"
#include "input/input_devices.h"
#include "input/text_input.h"
#include "movie/movie_dshow.h"
#include "movie/yuv_tables.h"
#include "network/http_slots.h"
#include "network/network_state.h"
#include "sound/music.h"
#include "sound/sound.h"

// The start-up and shutdown sequences, every step in its place. A step of a subsystem that
// is not part of the build yet is listed by name and skipped the way its start switch
// skips it.

namespace quelt {

namespace {

// Every program with the engine in it has its layers connected before main runs.
[[maybe_unused]] const bool LayerHooksConnected = (ConnectLayerHooks(), true);

bool RequestedSizeIsADisplayMode() {
  int32_t width = 0;
  int32_t height = 0;
  QueryScreenSizeOrDefault(&width, &height);
  const int32_t count = CountDisplayModes();
  for (int32_t i = 0; i < count; ++i) {
    DisplayModeEntry entry{};
    GetDisplayModeEntry(&entry, i);
    if (entry.width == width && entry.height == height) return true;
  }
  return false;
}

int32_t DesktopBits() {
  const HDC screen = GetDC(nullptr);
  const int32_t bits = GetDeviceCaps(screen, BITSPIXEL);
  ReleaseDC(nullptr, screen);
  return bits;
}

// The current folder, read into a path-sized buffer: one longer than StartDirectory holds
// leaves it empty (no log file, no change back at shutdown) rather than cut short.
void StoreStartDirectory() {
  char current[kPathBufferSize] = {};
  StartDirectory[0] = '\0';
  if (FileAccess.getDir == nullptr || FileAccess.getDir(current) < 0) return;
  const size_t length = strnlen(current, sizeof current);
  if (length >= sizeof StartDirectory) return;
  std::memcpy(StartDirectory, current, length + 1);
}

// Shutdown steps 2 to 12: each leaves alone what never started.
void RunShutdownSteps() {
  // 2.
  ReleaseScreenConsoleFont();
  // 3.
  DeleteAllHttpSlots();
  TerminateNetWork();
  // 4.
  TerminateModelTables();
  FinishAbandonedMovieOpens();
  ShutdownGraphics();
  EndInputSystem();
  StopCurrentMusic();
  DeleteAllMidiHandles();
  TerminateSound();
  // 5.
  DestroyEngineWindow();
  // 6.
  if (ComInitialised != 0) {
    CoUninitialize();
    WriteLog("ＣＯＭを終了... 完了\n");
    ComInitialised = 0;
  }
  // 7.
  ApiDeleteAllScratchImages();
  // 8.
  EngineInitialised = 0;
  // 9. Let the window's last messages through.
  if (NoWindowSwitch == 0) {
    while (QuitFlag == 0 && WindowDestroyedFlag == 0 && MainWindowHandle != nullptr) {
      if (PumpFrameMessages() != 0) break;
    }
  }
  // 10.
  if (FileAccess.changeDir != nullptr) FileAccess.changeDir(StartDirectory);
  // 11.
  SweepUnusedArchives();
  // 12.
  DumpAllTrackedBlocks();
}

int FailStartUp() {
  // The window's own close must go through even with the close-blocked setting on.
  EndingState = 1;
  RunShutdownSteps();
  EngineStartingUp = 0;
  return -1;
}

struct ProcessorInfo {
  int level;  // 0 no CPUID, 1 CPUID, 3 MMX, 4 SSE, 5 SSE2
  bool timeStampCounter;
  char vendor[13];
  char brand[49];
};

ProcessorInfo ReadProcessor() {
  ProcessorInfo info{};
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  // __get_cpuid_max tests the EFLAGS ID bit first on 32-bit targets.
  if (__get_cpuid_max(0, nullptr) == 0) return info;
  __cpuid(0, eax, ebx, ecx, edx);
  std::memcpy(info.vendor + 0, &ebx, 4);
  std::memcpy(info.vendor + 4, &edx, 4);
  std::memcpy(info.vendor + 8, &ecx, 4);
  info.level = 1;
  unsigned features = 0;
  if (eax >= 1) {
    __cpuid(1, eax, ebx, ecx, edx);
    features = edx;
  }
  info.timeStampCounter = (features & (1u << 4)) != 0;
  if (__get_cpuid_max(0x80000000, nullptr) >= 0x80000004) {
    unsigned* brand = reinterpret_cast<unsigned*>(info.brand);
    for (unsigned leaf = 0; leaf < 3; ++leaf) {
      __cpuid(0x80000002 + leaf, brand[leaf * 4 + 0], brand[leaf * 4 + 1], brand[leaf * 4 + 2],
              brand[leaf * 4 + 3]);
    }
  }
  if (features & (1u << 23)) {
    info.level = 3;
    if (features & (1u << 25)) {
      info.level = 4;
      if (features & (1u << 26)) info.level = 5;
    }
  }
  return info;
}

struct OsName {
  const char* suffix;
  int32_t code;
  bool known;
};

OsName NameOperatingSystem(const OSVERSIONINFOA& version) {
  const DWORD major = version.dwMajorVersion;
  const DWORD minor = version.dwMinorVersion;
  switch (version.dwPlatformId) {
    case VER_PLATFORM_WIN32s:
      return {"3.1", 0, true};
    case VER_PLATFORM_WIN32_WINDOWS:
      if (minor == 0) return {version.szCSDVersion[0] == 'C' ? "95OSR2" : "95", 1, true};
      if (minor == 10) return {version.szCSDVersion[0] == 'A' ? "98SE" : "98", 2, true};
      if (minor == 90) return {"Me", 3, true};
      break;
    case VER_PLATFORM_WIN32_NT:
      if (major == 3) return {"NT 3.51", 0x104, true};
      if (major == 4) return {"4.0", 0x105, true};
      if (major == 5 && minor == 0) return {"2000", 0x106, true};
      if (major == 5 && minor == 1) return {"XP", 0x107, true};
      if (major == 6) return {"Vista", 0x108, true};
      break;
    default:
      break;
  }
  return {"", 0, false};
}

}  // namespace

void ReportSystem() {
  WriteLog("システムの情報を出力します\n");
  ApiIncreaseLogIndent();
  WriteLogFormatAsIs("Ｑｕｅｌｔライブラリ Ver%s\n", EngineVersionText);

  WriteLog("ＯＳ  ");
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  GetVersionExA(&version);
  const OsName os = NameOperatingSystem(version);
  if (os.known) OsVersionCode = os.code;
  char name[64];
  std::snprintf(name, sizeof name, "Windows%s", os.suffix);
  WriteLogFormat("%s ( Build %d %s )", name, static_cast<int>(version.dwBuildNumber & 0xFFFF),
                 version.szCSDVersion);

  BeginTimerPeriod();

  const ProcessorInfo cpu = ReadProcessor();
  TimeStampCounterFlag = cpu.timeStampCounter ? 1 : 0;
  if (cpu.timeStampCounter) {
    const uint64_t start_ticks = __rdtsc();
    const DWORD start = timeGetTime();
    while (timeGetTime() - start < 100) {
    }
    const uint64_t delta = __rdtsc() - start_ticks;
    TimeStampTicksPerSecond = static_cast<int64_t>(delta * 10);
    const double mhz = static_cast<double>(static_cast<int64_t>(static_cast<double>(delta) * 0.00001));
    WriteLogFormat("ＣＰＵ動作速度：大体%.2fGHz", mhz * 0.001);
  }
  switch (cpu.level) {
    case 0:
      WriteLog("ＣＰＵＩＤ命令は使えません\n");
      break;
    case 1:
      WriteLog("ＭＭＸは使えません\n");
      break;
    default:
      WriteLog("ＭＭＸ命令を使用します\n");
      if (cpu.level >= 4) WriteLog("ＳＳＥ命令が使用可能です\n");
      if (cpu.level >= 5) WriteLog("ＳＳＥ２命令が使用可能です\n");
      break;
  }
  MmxAvailable = cpu.level >= 3 ? 1 : 0;
  if (cpu.level != 0) {
    WriteLog("ＣＰＵベンダ：");
    WriteLog(cpu.vendor);
    WriteLog("\n");
    if (cpu.brand[0] != '\0') WriteLogFormat("ＣＰＵ名：%s", cpu.brand);
  }
  ApiDecreaseLogIndent();
}

int RunStartUpSequence() {
  // 1.
  if (EngineInitialised == 1) return 0;
  EngineStartingUp = 1;
  // 2. A full-screen size the display cannot show starts in a window.
  if (WindowModeFlag == 0 && !RequestedSizeIsADisplayMode()) ChangeWindowMode(1);
  // 3.
  InitYuvTables();
  // 4.
  ResetArchiveManager();
  SetFileAccessTable(nullptr);
  // 5.
  StoreStartDirectory();
  // 6.
  StartLogFile();
  // 7.
  if (NoWindowSwitch == 0) {
    const int32_t desktop_bits = DesktopBits();
    if ((desktop_bits == 24 && WindowModeFlag == 1) || GetScreenColourDepth() == 24) {
      WriteLog("Ｑｕｅｌｔライブラリは２４ビットカラーモードに対応していません\n");
      EngineStartingUp = 0;
      return -1;
    }
  }
  // 8.
  LARGE_INTEGER frequency{};
  QueryPerformanceFrequency(&frequency);
  PerformanceCounterFrequency = frequency.QuadPart;
  PerformanceCounterFlag = frequency.QuadPart != 0 ? 1 : 0;
  // 9.
  ReportSystem();
  // 10. The file and memory stream tables are constant tables over the file-access table.
  // 11.
  SetGraphRestoreHook(nullptr);
  // 12.
  if (ComInitialised == 0) {
    WriteLog("ＣＯＭの初期化... ");
    if (FAILED(CoInitialize(nullptr))) {
      WriteLog("ＣＯＭの初期化に失敗しました\n");
    } else {
      WriteLog("成功しました\n");
      ComInitialised = 1;
    }
  }
  // 13.
  if (CreateEngineWindow() == -1) return FailStartUp();
  // 14.
  ZeroHttpSlotTable();
  // 15. Only -1 fails the start; 1 (no keyboard event) leaves a usable keyboard.
  if (NoInputSwitch == 0 && StartInputSystem() == -1) return FailStartUp();
  // 16. Its result is not tested.
  if (NoSoundSwitch == 0) InitializeSound();
  // 17.
  if (NoGraphicsSwitch == 0 && StartGraphics() < 0) return FailStartUp();
  // 18.
  StartTextInput();
  // 19.
  EngineInitialised = 1;
  // 20.
  SetVSyncWait(1);
  // 21.
  if (WindowModeFlag == 0 && UserWindowMode == 0) ForceWindowForeground(MainWindowHandle, 1);
  // 22.
  InitScreenConsole();
  // 23.
  SelectDrawScreen(DrawScreenBack);
  SelectDrawScreen(DrawScreenFront);
  // 24.
  if (NoGraphicsSwitch == 0) InitModelTables();
  // 25.
  EngineStartingUp = 0;
  return 0;
}

int RunShutdownSequence() {
  // 1.
  if (EngineInitialised == 0) return 0;
  EndingState = 1;
  RunShutdownSteps();
  return 0;
}

void DestroyEngineWindow() {
  // The screen saver and the timer period are given back even when no window was made:
  // window creation changes both before it can fail.
  RestoreScreenSaver();
  if (MainWindowHandle != nullptr) {
    const HWND window = static_cast<HWND>(MainWindowHandle);
    if (NoWindowSwitch != 0) {
      QuitFlag = 1;
    } else {
      WINNLSEnableIME(window, TRUE);
      SetCursorVisible(1);
      // 4. No keyboard hook or hook library is installed by the engine.
      if (WindowSettings.windowRegion != nullptr) {
        DeleteObject(static_cast<HRGN>(WindowSettings.windowRegion));
        WindowSettings.windowRegion = nullptr;
      }
      if (WindowSettings.menuInUse != 0) {
        SetMenuVisible(0);
        if (WindowSettings.menu != nullptr) DestroyMenu(static_cast<HMENU>(WindowSettings.menu));
        WindowSettings.menu = nullptr;
        WindowSettings.menuInUse = 0;
        ClearMenuItemTable();
        CoreRun.menuAttached = 0;
        CoreRun.lastCursorDecision = 0;
      }
      // 7.
      ReleaseToolbar();
      if (UserWindowMode != 0) {
        SetWindowLongPtrA(window, GWLP_WNDPROC,
                          reinterpret_cast<LONG_PTR>(CoreRun.userWindowProc));
        QuitFlag = 1;
      } else {
        if (WindowClosingFlag == 0) {
          WindowClosingFlag = 1;
          PostMessageA(window, WM_CLOSE, 0, 0);
        }
        while (WindowDestroyedFlag == 0) {
          if (PumpFrameMessages() != 0) break;
        }
        UnregisterClassA(WindowClassName, static_cast<HINSTANCE>(CoreRun.instance));
      }
      // 9.
      EndTextInput();
      // 10.
      ReleaseSavedScreen();
      FreeRegisteredBlocks();
      // 12. The engine starts no auxiliary thread.
    }
  }
  EndTimerPeriods();
  MainWindowHandle = nullptr;
}

}  // namespace quelt
