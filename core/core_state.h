#pragma once
// State of the engine core's start-up, main window, message pump and window modes.
// Settings are what a program may set before start-up: window creation keeps them while it
// clears the run-time state (ResetCoreRunState). Window-system objects are kept as void*
// so that platform-free code can read the flags.
#include <array>
#include <cstdint>

namespace quelt {

// --- Start and end ---------------------------------------------------------------------
extern int32_t EngineStartingUp;  // 1 while the start-up sequence runs
extern int32_t EndingState;       // 0 running, 1 shutdown running, 4 a refused close
extern int32_t NoWindowSwitch;    // start switches: 1 skips that start
extern int32_t NoGraphicsSwitch;
extern int32_t NoSoundSwitch;
extern int32_t NoInputSwitch;
extern int32_t ComInitialised;
extern int32_t OsVersionCode;
extern int32_t MmxAvailable;

// --- Settings kept across window creation ----------------------------------------------
using ModeChangeCallbackFn = void (*)(void* argument);
using ActivationCallbackFn = int32_t (*)(int32_t active, void* argument);
using UserMessageHookFn = void (*)(void* window, uint32_t message, uintptr_t w_param,
                                   intptr_t l_param);
using MenuCallbackFn = void (*)(uintptr_t w_param);
using MenuNameCallbackFn = void (*)(const char* text, int32_t id);

extern int32_t WindowModeFlag;  // 1 window mode, 0 full screen
extern char WindowCaption[256];
extern char WindowClassName[256];
extern int32_t WindowStyleIndex;  // 0..8
extern int32_t DoubleStartAllowed;
extern int32_t RunWhileInactiveFlag;
extern int32_t WindowModeToggleAllowed;
extern ModeChangeCallbackFn ModeChangeCallback;
extern int32_t ClipCursorSetting;
extern uint32_t BackgroundColour;

inline constexpr int32_t ExtraWindowCapacity = 8;

// The rest of what a program may set before start-up.
struct WindowSettingsState {
  int32_t iconId;
  int32_t clientWidth, clientHeight, clientSizeSet;
  int32_t positionX, positionY, positionSet;
  int32_t sizable;
  int32_t visibleStyle;
  int32_t hiddenWindow;
  int32_t fixedScale;
  double windowScale;  // 1 when not above 0
  int32_t backgroundColourSet;
  void* modeChangeArgument;
  ActivationCallbackFn activationCallback;
  void* activationArgument;
  UserMessageHookFn userMessageHook;
  void* menu;
  int32_t menuInUse;
  int32_t menuHidden;
  int32_t menuAlwaysShown;
  MenuCallbackFn menuCallback;          // called with WM_COMMAND's wParam
  MenuNameCallbackFn menuNameCallback;  // called with the clicked item's text and id
  void* acceleratorTable;
  void* modelessDialog;
  // The program's other windows, whose messages the pump also takes (HWND each).
  std::array<void*, ExtraWindowCapacity> extraWindows;
  int32_t extraWindowCount;
  void* userWindow;  // the program's window in UserWindowMode
  void* windowRegion;
  int32_t closeBlocked;
  int32_t noQuitMessage;
  int32_t systemKeys;
  int32_t imeWanted;  // the text-input setting that keeps the input method on
};
extern WindowSettingsState WindowSettings;

// --- Run-time state, cleared by window creation --------------------------------------------
struct ScreenRect {
  int32_t left, top, right, bottom;
};

struct MouseClick {
  int32_t button;  // 1 left, 2 right, 4 middle
  int32_t x, y;
};

inline constexpr int32_t MouseClickCapacity = 32;
inline constexpr int32_t ClickedCommandCapacity = 64;
inline constexpr int32_t DroppedFileCapacity = 1000;

extern void* MainWindowHandle;
extern uint32_t MainThreadId;
extern int32_t WindowActiveFlag;
extern int32_t QuitFlag;
extern int32_t WindowClosingFlag;
extern int32_t WindowDestroyedFlag;
extern int32_t PendingModeToggle;
extern ScreenRect WindowArea;  // the client area in screen coordinates
extern int32_t CursorVisibleSetting;

struct CoreRunState {
  void* instance;
  int32_t windowCreating;
  int32_t modeChanging;
  int32_t visibleStyleFlag;
  int32_t displayChanged;
  int32_t insidePaint;
  int32_t textInputGuard;
  int32_t cursorClipped;
  int32_t cursorShown;
  int32_t desktopWidth, desktopHeight, desktopBits;
  void* userWindowProc;  // the program's own procedure in UserWindowMode
  int32_t lostWhileInactive;
  int32_t fullScreenMenuBar;
  int32_t menuAttached;
  int32_t lastCursorDecision;
  int32_t wheelCount;
  std::array<int32_t, ClickedCommandCapacity> clickedCommands;
  int32_t clickedCommandCount;
  std::array<MouseClick, MouseClickCapacity> mouseClicks;
  int32_t mouseClickCount;
  std::array<char*, DroppedFileCapacity> droppedFiles;
  int32_t droppedFileCount;
};
extern CoreRunState CoreRun;

// Zeroes the run-time state; settings, start switches, StartDirectory, EngineStartingUp,
// the system report's results, COM, the timer periods, the log, the allocator and the API
// lock stay.
void ResetCoreRunState();

}  // namespace quelt

namespace quelt {
// The on-screen console's has-text flag, read by the present function.
extern int32_t ScreenConsoleHasText;
}  // namespace quelt
