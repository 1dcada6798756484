// The keyboard state: refreshed on demand at most once per millisecond, through
// DirectInput before Windows Vista and through GetKeyboardState otherwise.
#include "input/input_device_set_win32.h"

#include <cstring>

#include "core/core_state.h"
#include "core/engine_state.h"
#include "core/window_hooks.h"
#include "input/input_devices.h"

namespace quelt {

namespace {

constexpr int32_t FirstOsWithoutDirectInputKeys = 0x108;  // Windows Vista

bool ReadsThroughDirectInput() {
  return InputDevices.noDirectInput != 1 && InputDevices.keyboardDeviceSwitch != 1 &&
         InputDevices.keyboard != nullptr && OsVersionCode < FirstOsWithoutDirectInputKeys;
}

bool KeyboardEventSignalled() {
  return InputDevices.keyboardEvent != nullptr &&
         WaitForSingleObject(InputDevices.keyboardEvent, 0) == WAIT_OBJECT_0;
}

int PollThroughDirectInput() {
  const uint32_t now = timeGetTime();
  const bool signalled = KeyboardEventSignalled();
  if (now == InputDevices.lastPoll && !signalled) return 0;
  if (PumpFrameMessages() != 0) return 0;
  if (!HasDirectInput() || InputDevices.keyboard == nullptr) return 0;
  // Read into a copy: a failed read leaves the previous state in place.
  KeyboardScanState state{};
  InputDevice* keyboard = InputDevices.keyboard;
  if (FAILED(keyboard->GetDeviceState(sizeof state, state.data()))) {
    keyboard->Acquire();
    if (FAILED(keyboard->GetDeviceState(sizeof state, state.data()))) return 0;
  }
  InputDevices.lastPoll = now;
  if (KeyboardEventSignalled()) ResetEvent(InputDevices.keyboardEvent);
  // The right Shift key as Windows sees it.
  BYTE keyboard_state[256] = {};
  GetKeyboardState(keyboard_state);
  state[0x36] = keyboard_state[VK_RSHIFT];
  InputDevices.keyboardScanState = state;
  return 1;
}

int PollThroughWindows() {
  const uint32_t now = timeGetTime();
  if (now == InputDevices.lastPoll) return 0;
  InputDevices.lastPoll = now;
  if (PumpFrameMessages() != 0) return 0;
  BYTE keyboard_state[256] = {};
  GetKeyboardState(keyboard_state);
  MapKeyboardToScanState(keyboard_state, InputDevices.keyboardScanState.data());
  return 1;
}

// The lazy start in front of every key read: true when the read goes on. A start reads the
// keys straight after; only a closing window keeps a stopped layer from starting. Before
// start-up and after the stop nothing is read and nothing started: there is no window to
// bind the devices to.
bool StartIfStopped(bool readWhileClosing) {
  if (EngineInitialised == 0 && EngineStartingUp == 0) return false;
  // Inside the pump's text-input step (the Shift keys) the pump refuses to run, so a wait
  // for activation there would never end.
  if (CoreRun.textInputGuard == 0) WaitWhileInactive();
  if (InputDevices.directInput != nullptr) return true;
  if (WindowClosingFlag == 0) {
    StartInputSystem();
    // The start notes its time as the last refresh; the read that follows must refresh
    // all the same, or it would report the cleared state of the start.
    InputDevices.lastPoll = timeGetTime() - 1;
    return true;
  }
  return readWhileClosing;
}

}  // namespace

int PollKeyboardState() {
  return ReadsThroughDirectInput() ? PollThroughDirectInput() : PollThroughWindows();
}

int QueryKeyDown(int32_t code) {
  if (!StartIfStopped(false)) return 0;
  PollKeyboardState();
  if (code < 0 || code > 255) return 0;
  return (InputDevices.keyboardScanState[static_cast<size_t>(code)] & 0x80) != 0 ? 1 : 0;
}

int ReadAllKeys(uint8_t* keys) {
  if (keys == nullptr) return -1;
  if (!StartIfStopped(true)) {
    std::memset(keys, 0, 256);
    return -1;
  }
  PollKeyboardState();
  for (size_t i = 0; i < 256; ++i) keys[i] = (InputDevices.keyboardScanState[i] & 0x80) != 0 ? 1 : 0;
  return 0;
}

}  // namespace quelt
