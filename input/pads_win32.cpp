// Pads: one DirectInput device per attached joypad (up to 16), its axes set to -1000..1000
// with a dead zone, a sine and a constant-force effect, and the re-acquisition of every
// device when the window's activation changes.
#include "input/input_device_set_win32.h"

#include <cstring>

#include "core/core_state.h"
#include "core/log.h"
#include "input/input_devices.h"

namespace quelt {

namespace {

HWND MainWindow() { return static_cast<HWND>(MainWindowHandle); }

HRESULT SetAxisProperty(InputDevice* device, REFGUID property, DWORD offset, LONG low, LONG high) {
  DIPROPRANGE range{};
  range.diph.dwSize = sizeof range;
  range.diph.dwHeaderSize = sizeof range.diph;
  range.diph.dwObj = offset;
  range.diph.dwHow = DIPH_BYOFFSET;
  range.lMin = low;
  range.lMax = high;
  return device->SetProperty(property, &range.diph);
}

HRESULT SetAxisDeadZone(InputDevice* device, DWORD offset) {
  DIPROPDWORD zone{};
  zone.diph.dwSize = sizeof zone;
  zone.diph.dwHeaderSize = sizeof zone.diph;
  zone.diph.dwObj = offset;
  zone.diph.dwHow = DIPH_BYOFFSET;
  zone.dwData = 2500;
  return device->SetProperty(DIPROP_DEADZONE, &zone.diph);
}

// Sets ranges and dead zones; false (after logging and releasing the device) when X or Y
// refused.
bool SetUpAxes(InputDevice* device) {
  if (FAILED(SetAxisProperty(device, DIPROP_RANGE, DIJOFS_X, -1000, 1000))) {
    device->Release();
    WriteLog("ジョイパッドデバイスのＸ軸関係の設定に失敗しました\n");
    return false;
  }
  if (FAILED(SetAxisProperty(device, DIPROP_RANGE, DIJOFS_Y, -1000, 1000))) {
    device->Release();
    WriteLog("ジョイパッドデバイスのＹ軸関係の設定に失敗しました\n");
    return false;
  }
  SetAxisProperty(device, DIPROP_RANGE, DIJOFS_Z, -1000, 1000);
  SetAxisProperty(device, DIPROP_RANGE, DIJOFS_RZ, -1000, 1000);
  if (FAILED(SetAxisDeadZone(device, DIJOFS_X))) {
    device->Release();
    WriteLog("ジョイパッドデバイスのＸ軸の無効ゾーンの設定に失敗しました\n");
    return false;
  }
  if (FAILED(SetAxisDeadZone(device, DIJOFS_Y))) {
    device->Release();
    WriteLog("ジョイパッドデバイスのＹ軸の無効ゾーンの設定に失敗しました\n");
    return false;
  }
  SetAxisDeadZone(device, DIJOFS_Z);
  SetAxisDeadZone(device, DIJOFS_RZ);
  return true;
}

// Both effects act on X and Y with full gain, endless until stopped.
void CreateEffects(InputDevice* device, PadRecord* pad) {
  DWORD axes[2] = {static_cast<DWORD>(DIJOFS_X), static_cast<DWORD>(DIJOFS_Y)};
  LONG direction[2] = {0, 0};

  DIENVELOPE envelope{};
  envelope.dwSize = sizeof envelope;
  envelope.dwAttackLevel = 0;
  envelope.dwAttackTime = 500000;
  envelope.dwFadeLevel = 0;
  envelope.dwFadeTime = 1000000;
  DIPERIODIC periodic{};
  periodic.dwMagnitude = 10000;
  periodic.lOffset = 0;
  periodic.dwPhase = 0;
  periodic.dwPeriod = 1500000;

  DIEFFECT effect{};
  effect.dwSize = sizeof effect;
  effect.dwFlags = DIEFF_OBJECTOFFSETS | DIEFF_POLAR;
  effect.dwDuration = INFINITE;
  effect.dwSamplePeriod = 0;
  effect.dwGain = 10000;
  effect.dwTriggerButton = DIEB_NOTRIGGER;
  effect.dwTriggerRepeatInterval = 0;
  effect.cAxes = 2;
  effect.rgdwAxes = axes;
  effect.rglDirection = direction;
  effect.lpEnvelope = &envelope;
  effect.cbTypeSpecificParams = sizeof periodic;
  effect.lpvTypeSpecificParams = &periodic;
  effect.dwStartDelay = 0;
  if (FAILED(device->CreateEffect(GUID_Sine, &effect, &pad->sine, nullptr))) {
    pad->sine = nullptr;
    WriteLog("周期的エフェクトの作成に失敗しました。\n");
  }

  DICONSTANTFORCE constant{};
  constant.lMagnitude = 10000;
  effect.dwFlags = DIEFF_OBJECTOFFSETS | DIEFF_CARTESIAN;
  effect.lpEnvelope = nullptr;
  effect.cbTypeSpecificParams = sizeof constant;
  effect.lpvTypeSpecificParams = &constant;
  if (FAILED(device->CreateEffect(GUID_ConstantForce, &effect, &pad->constantForce, nullptr))) {
    pad->constantForce = nullptr;
    WriteLog("定数エフェクトの作成に失敗しました。\n");
  }
}

void ReleaseEffect(IDirectInputEffect** effect) {
  if (*effect == nullptr) return;
  (*effect)->Stop();
  (*effect)->Release();
  *effect = nullptr;
}

}  // namespace

BOOL CALLBACK OnPadEnumerated(const DIDEVICEINSTANCEA* instance, void* /*context*/) {
  if (InputDevices.padCount >= PadCapacity) return DIENUM_STOP;
  PadRecord* pad = &InputDevices.pads[static_cast<size_t>(InputDevices.padCount)];
  WriteLog("入力装置を見つけました\n");

  InputDevice* device = nullptr;
  HRESULT created;
  if (InputDevices.directInput8 != 0) {
    IDirectInputDevice8A* device8 = nullptr;
    created = DirectInput8()->CreateDevice(instance->guidInstance, &device8, nullptr);
    device = device8;
  } else {
    created = DirectInput7()->CreateDeviceEx(instance->guidInstance, IID_IDirectInputDevice7A,
                                             reinterpret_cast<void**>(&device), nullptr);
  }
  if (FAILED(created) || device == nullptr) {
    WriteLog("入力装置の取得に失敗しました\n");
    return DIENUM_CONTINUE;
  }

  DIDEVICEINSTANCEA info{};
  info.dwSize = sizeof info;
  device->GetDeviceInfo(&info);
  std::memcpy(pad->instanceName, info.tszInstanceName, sizeof pad->instanceName);
  std::memcpy(pad->productName, info.tszProductName, sizeof pad->productName);
  pad->instanceName[sizeof pad->instanceName - 1] = '\0';
  pad->productName[sizeof pad->productName - 1] = '\0';
  IncreaseLogIndent();
  WriteLogFormat("デバイスの登録名:%s", pad->instanceName);
  WriteLogFormat("デバイスの製品登録名:%s", pad->productName);
  DecreaseLogIndent();

  if (FAILED(device->SetDataFormat(&c_dfDIJoystick))) {
    device->Release();
    WriteLog("ジョイパッドデバイスではありませんでした、又は設定に失敗しました\n");
    return DIENUM_CONTINUE;
  }
  if (FAILED(device->SetCooperativeLevel(MainWindow(), DISCL_EXCLUSIVE | DISCL_FOREGROUND)))
    WriteLog("ジョイパッドデバイスの協調レベルの設定に失敗しました\n");
  if (!SetUpAxes(device)) return DIENUM_CONTINUE;

  pad->sine = nullptr;
  pad->constantForce = nullptr;
  CreateEffects(device, pad);
  pad->vibrationOn = 0;
  pad->power = 10000;
  pad->constantForcePlaying = 0;
  pad->sinePlaying = 0;

  const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  const HRESULT notified = device->SetEventNotification(event);
  if (notified != DI_OK && notified != DI_POLLEDDEVICE) {
    WriteLog("ジョイパッドイベントのセットアップが失敗しました\n");
    // A pad that is not added gives back everything made for it.
    ReleaseEffect(&pad->sine);
    ReleaseEffect(&pad->constantForce);
    device->Release();
    if (event != nullptr) CloseHandle(event);
    std::memset(static_cast<void*>(pad), 0, sizeof *pad);
    return DIENUM_CONTINUE;
  }
  device->Acquire();
  pad->event = event;
  pad->device = device;
  std::memset(&pad->state, 0, sizeof pad->state);
  ++InputDevices.padCount;
  WriteLog("ジョイパッドの追加は正常に終了しました\n");
  return InputDevices.padCount < PadCapacity ? DIENUM_CONTINUE : DIENUM_STOP;
}

int EnumeratePads() {
  if (!HasDirectInput()) return -1;
  ReleaseAllPads();
  WriteLog("ジョイパッドの初期化... \n");
  InputDevices.padCount = 0;
  if (InputDevices.directInput8 != 0)
    DirectInput8()->EnumDevices(DI8DEVCLASS_GAMECTRL, OnPadEnumerated, nullptr, DIEDFL_ATTACHEDONLY);
  else
    DirectInput7()->EnumDevices(DIDEVTYPE_JOYSTICK, OnPadEnumerated, nullptr, DIEDFL_ATTACHEDONLY);
  WriteLog("ジョイパッドの初期化は正常に終了しました\n");
  return 0;
}

int ReleaseAllPads() {
  if (!HasDirectInput()) return -1;
  for (PadRecord& pad : InputDevices.pads) {
    if (pad.device != nullptr) {
      pad.device->Unacquire();
      pad.device->SetEventNotification(nullptr);
    }
    ReleaseEffect(&pad.sine);
    ReleaseEffect(&pad.constantForce);
    if (pad.device != nullptr) pad.device->Release();
    if (pad.event != nullptr) CloseHandle(pad.event);
    std::memset(static_cast<void*>(&pad), 0, sizeof pad);
  }
  InputDevices.padCount = 0;
  return 0;
}

int ReacquireInputDevices() {
  if (!HasDirectInput()) return 0;
  const DWORD level =
      WindowActiveFlag == 1 ? DISCL_EXCLUSIVE | DISCL_FOREGROUND : DISCL_NONEXCLUSIVE | DISCL_BACKGROUND;
  for (PadRecord& pad : InputDevices.pads) {
    if (pad.device == nullptr) continue;
    pad.device->Unacquire();
    pad.device->SetCooperativeLevel(MainWindow(), level);
    pad.device->Acquire();
  }
  if (InputDevices.keyboard != nullptr) {
    InputDevices.keyboard->Unacquire();
    InputDevices.keyboard->Acquire();
  }
  return 0;
}

}  // namespace quelt
