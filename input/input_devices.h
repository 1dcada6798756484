#pragma once
// Keyboard, mouse and pads through DirectInput (7, else 8), with the keyboard read through
// GetKeyboardState and a fixed table where DirectInput is not used. Started by the engine's
// start-up and again lazily by the first key read after an end.
#include <cstdint>

namespace quelt {

// 0; 1 when the keyboard's event notification could not be set up (the start ends there);
// device failures of mouse and keyboard are fatal. Does nothing once started.
int StartInputSystem();
int EndInputSystem();

// 1 when the key with this DirectInput key code is down, else 0 (also for a code outside
// 0..255, and while the engine is not running). Starts input first when it is not running.
int QueryKeyDown(int32_t code);
// 256 entries of 1 down / 0 up, indexed by key code. 0; -1 for a null buffer, and with the
// buffer cleared while the engine is not running.
int ReadAllKeys(uint8_t* keys);
// Refreshes the key state at most once per millisecond (or when DirectInput signalled new
// input). 1 refreshed, 0 not.
int PollKeyboardState();

// Activation changes: cooperative levels and acquisition of pads and keyboard.
int ReacquireInputDevices();
// 0, -1 without DirectInput.
int EnumeratePads();
int ReleaseAllPads();

// Force feedback: the effects follow each pad's vibration fields (only while active);
// the tick runs every frame from the pump and halts vibrations whose length ran out.
int ApplyPadVibration();
int TickPadVibration();
// Pad number 1-based; bit 0x1000 is ignored; other numbers do nothing.
int HaltPadVibration(int32_t pad);

// Two flag words driven by private window messages; nothing reads them.
int SetInputFlagA();
int ClearInputFlagA();
int SetInputFlagB();
int ClearInputFlagB();

}  // namespace quelt
