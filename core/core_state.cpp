#include "core/core_state.h"

namespace quelt {

int32_t EngineStartingUp = 0;
int32_t EndingState = 0;
int32_t NoWindowSwitch = 0;
int32_t NoGraphicsSwitch = 0;
int32_t NoSoundSwitch = 0;
int32_t NoInputSwitch = 0;
int32_t ComInitialised = 0;
int32_t OsVersionCode = 0;
int32_t MmxAvailable = 0;

int32_t WindowModeFlag = 0;
char WindowCaption[256] = {};
char WindowClassName[256] = {};
int32_t WindowStyleIndex = 0;
int32_t DoubleStartAllowed = 0;
int32_t RunWhileInactiveFlag = 0;
int32_t WindowModeToggleAllowed = 0;
ModeChangeCallbackFn ModeChangeCallback = nullptr;
int32_t ClipCursorSetting = 0;
uint32_t BackgroundColour = 0;
WindowSettingsState WindowSettings{};

void* MainWindowHandle = nullptr;
uint32_t MainThreadId = 0;
int32_t WindowActiveFlag = 0;
int32_t QuitFlag = 0;
int32_t WindowClosingFlag = 0;
int32_t WindowDestroyedFlag = 0;
int32_t PendingModeToggle = 0;
ScreenRect WindowArea = {};
int32_t CursorVisibleSetting = 0;
CoreRunState CoreRun{};
int32_t ScreenConsoleHasText = 0;

void ResetCoreRunState() {
  MainWindowHandle = nullptr;
  MainThreadId = 0;
  WindowActiveFlag = 0;
  QuitFlag = 0;
  WindowClosingFlag = 0;
  WindowDestroyedFlag = 0;
  PendingModeToggle = 0;
  WindowArea = {};
  CursorVisibleSetting = 0;
  EndingState = 0;
  CoreRun = CoreRunState{};
}

}  // namespace quelt
