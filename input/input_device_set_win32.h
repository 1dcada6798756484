#pragma once
// The input layer's global device block and the replaceable platform calls it starts
// through (the tests put fakes in both).
#ifndef DIRECTINPUT_VERSION
#define DIRECTINPUT_VERSION 0x0800
#endif
#include <windows.h>
#include <mmsystem.h>
#include <dinput.h>

#include <array>
#include <cstdint>

#include "input/key_tables.h"

namespace quelt {

static_assert(sizeof(DIJOYSTATE) == 80);
static_assert(sizeof(DIDEVICEINSTANCEA) == 580);
// The 32-bit layout (pointers in it grow on 64-bit builds).
static_assert(sizeof(void*) != 4 || sizeof(DIEFFECT) == 56);

// MinGW's C++ interfaces derive the version-8 device from the version-7 one, so one
// pointer type serves both.
using InputDevice = IDirectInputDevice7A;

struct PadRecord {
  InputDevice* device;
  IDirectInputEffect* constantForce;
  IDirectInputEffect* sine;
  HANDLE event;
  DIJOYSTATE state;
  int32_t hasZAndR;  // multimedia-joystick road only
  int32_t vibrationOn;
  int32_t power;     // 0..10000
  int32_t length;    // ms; negative = endless
  int32_t elapsed;   // ms
  int32_t lastTick;  // ms
  int32_t constantForcePlaying;
  int32_t sinePlaying;
  char instanceName[260];
  char productName[260];
};

using KeyboardScanState = std::array<uint8_t, 256>;

struct InputDeviceSet {
  int32_t noDirectInput;  // 1 once both versions failed; survives restarts
  int32_t directInput8;   // 1 when the version-8 interface is in use
  IUnknown* directInput;  // null: not started; NoDirectInputObject: started without it
  InputDevice* mouse;
  InputDevice* keyboard;
  HANDLE keyboardEvent;
  uint32_t lastPoll;  // timeGetTime() of the last keyboard refresh
  KeyboardScanState keyboardScanState;  // bit 7 set = down
  PadKeyMap padKeyMap;
  int32_t padCount;
  std::array<PadRecord, PadCapacity> pads;
  int32_t keyboardDeviceSwitch;  // 1 = no DirectInput keyboard; nothing sets it
  int32_t flagA;
  int32_t flagB;
};
extern InputDeviceSet InputDevices;

inline IUnknown* const NoDirectInputObject = reinterpret_cast<IUnknown*>(~uintptr_t{0});

inline bool HasDirectInput() {
  return InputDevices.directInput != nullptr && InputDevices.directInput != NoDirectInputObject;
}
inline IDirectInput7A* DirectInput7() { return static_cast<IDirectInput7A*>(InputDevices.directInput); }
inline IDirectInput8A* DirectInput8() { return static_cast<IDirectInput8A*>(InputDevices.directInput); }

// The platform calls the start goes through; the defaults are CoCreateInstance (in-process
// server) and joyGetDevCapsA.
struct InputPlatformTable {
  HRESULT (*createInstance)(REFCLSID classId, REFIID interfaceId, void** object);
  MMRESULT (*joyGetDevCaps)(UINT id, JOYCAPSA* caps, UINT size);
};
extern InputPlatformTable InputPlatform;
void ResetInputPlatform();

// The DirectInput enumeration callback for one attached pad: 1 go on, 0 stop.
BOOL CALLBACK OnPadEnumerated(const DIDEVICEINSTANCEA* instance, void* context);

// Logs without adding a line end (the texts carry their own).

}  // namespace quelt
