// Starting and ending the input layer: DirectInput 7, else 8, else the multimedia joystick
// count; the system mouse and keyboard devices.
#include "input/input_device_set_win32.h"

#include <objbase.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/core_state.h"
#include "core/fatal_exit.h"
#include "core/log.h"
#include "core/window_hooks.h"
#include "input/input_devices.h"

namespace quelt {

InputDeviceSet InputDevices{};

namespace {

HRESULT CreateInProcess(REFCLSID class_id, REFIID interface_id, void** object) {
  return CoCreateInstance(class_id, nullptr, CLSCTX_INPROC_SERVER, interface_id, object);
}

MMRESULT ReadJoystickCaps(UINT id, JOYCAPSA* caps, UINT size) { return joyGetDevCapsA(id, caps, size); }

constexpr DWORD JoyCapsSize = 404;
static_assert(sizeof(JOYCAPSA) == JoyCapsSize);

HWND MainWindow() { return static_cast<HWND>(MainWindowHandle); }

void ReleaseObject(IUnknown* object) {
  if (object != nullptr) object->Release();
}

// Version 7 first. true when it is in use.
bool TryDirectInput7(HINSTANCE module) {
  WriteLog("DirectInput7 の取得中... ");
  IDirectInput7A* object = nullptr;
  const HRESULT created =
      InputPlatform.createInstance(CLSID_DirectInput, IID_IDirectInput7A, reinterpret_cast<void**>(&object));
  if (FAILED(created) || object == nullptr) {
    WriteLog("取得に失敗。\n");
    WriteLogFormatAsIs("エラーコード 0x%x\n", static_cast<unsigned>(created));
    return false;
  }
  WriteLog("成功\n");
  IncreaseLogIndent();
  WriteLog("引き続き初期化処理... ");
  if (SUCCEEDED(object->Initialize(module, 0x700))) {
    WriteLog("初期化成功\n");
    InputDevices.directInput = object;
    return true;
  }
  WriteLog("初期化に失敗。");
  // The indent raised for the initialisation goes back with it, or the log stays one
  // level too deep from here on.
  DecreaseLogIndent();
  object->Release();
  return false;
}

bool TryDirectInput8(HINSTANCE module) {
  WriteLog("DirectInput8 の取得を試みます...");
  IDirectInput8A* object = nullptr;
  const HRESULT created =
      InputPlatform.createInstance(CLSID_DirectInput8, IID_IDirectInput8A, reinterpret_cast<void**>(&object));
  if (FAILED(created) || object == nullptr) {
    WriteLog("取得に失敗。");
    return false;
  }
  WriteLog("成功\n");
  IncreaseLogIndent();
  WriteLog("引き続き初期化処理... ");
  if (SUCCEEDED(object->Initialize(module, 0x800))) {
    WriteLog("初期化成功\n");
    InputDevices.directInput = object;
    InputDevices.directInput8 = 1;
    return true;
  }
  WriteLog("初期化に失敗。");
  DecreaseLogIndent();
  object->Release();
  return false;
}

// A system device (mouse or keyboard) with its data format and a background,
// non-exclusive cooperative level; each failure is fatal with its message.
InputDevice* OpenSystemDevice(REFGUID guid, const DIDATAFORMAT* format, const char* create_failed,
                              const char* format_failed, const char* level_failed) {
  InputDevice* device = nullptr;
  HRESULT result;
  if (InputDevices.directInput8 != 0) {
    IDirectInputDevice8A* device8 = nullptr;
    result = DirectInput8()->CreateDevice(guid, &device8, nullptr);
    device = device8;
  } else {
    result = DirectInput7()->CreateDeviceEx(guid, IID_IDirectInputDevice7A, reinterpret_cast<void**>(&device),
                                            nullptr);
  }
  if (FAILED(result) || device == nullptr) FatalExit(create_failed);
  if (FAILED(device->SetDataFormat(format))) {
    device->Release();
    FatalExit(format_failed);
  }
  if (FAILED(device->SetCooperativeLevel(MainWindow(), DISCL_NONEXCLUSIVE | DISCL_BACKGROUND))) {
    device->Release();
    FatalExit(level_failed);
  }
  return device;
}

// The keyboard device, the last device of the start. 0, or 1 when the event notification
// failed.
int OpenKeyboard() {
  WriteLog("キーボードデバイスの初期化... ");
  InputDevice* keyboard =
      OpenSystemDevice(GUID_SysKeyboard, &c_dfDIKeyboard, "キーボードデバイスの取得に失敗しました",
                       "キーボードデバイスのデータ形式の設定に失敗しました",
                       "キーボードデバイスの協調レベルの設定に失敗しました");
  InputDevices.keyboard = keyboard;
  DIPROPDWORD buffer_size{};
  buffer_size.diph.dwSize = sizeof buffer_size;
  buffer_size.diph.dwHeaderSize = sizeof buffer_size.diph;
  buffer_size.diph.dwObj = 0;
  buffer_size.diph.dwHow = DIPH_DEVICE;
  buffer_size.dwData = 100;
  if (FAILED(keyboard->SetProperty(DIPROP_BUFFERSIZE, &buffer_size.diph)))
    WriteLog("キーボードのプロパティ設定に失敗しました\n");
  const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  const HRESULT notified = keyboard->SetEventNotification(event);
  if (notified != DI_OK && notified != DI_POLLEDDEVICE) {
    WriteLog("キーボードイベントのセットアップが失敗しました\n");
    // The event is nobody's once the device refused it.
    if (event != nullptr) CloseHandle(event);
    // The start ends here; the indent of the start goes back all the same.
    DecreaseLogIndent();
    return 1;
  }
  InputDevices.keyboardEvent = event;
  if (FAILED(keyboard->Acquire()) && FAILED(keyboard->Acquire())) {
    InputDevices.keyboard = nullptr;
    keyboard->SetEventNotification(nullptr);
    keyboard->Release();
    if (InputDevices.mouse != nullptr) {
      InputDevices.mouse->Release();
      InputDevices.mouse = nullptr;
    }
    if (event != nullptr) CloseHandle(event);
    InputDevices.keyboardEvent = nullptr;
    FatalExit("キーボードデバイスの取得に失敗しました");
  }
  WriteLog("初期化成功\n");
  InputDevices.lastPoll = timeGetTime();
  return 0;
}

void CountJoysticks() {
  IncreaseLogIndent();
  int32_t count = 0;
  for (UINT id = 0; id < static_cast<UINT>(PadCapacity); ++id) {
    JOYCAPSA caps{};
    if (InputPlatform.joyGetDevCaps(id, &caps, JoyCapsSize) != JOYERR_NOERROR) break;
    constexpr UINT z_and_r = JOYCAPS_HASZ | JOYCAPS_HASR;
    InputDevices.pads[id].hasZAndR = (caps.wCaps & z_and_r) == z_and_r ? 1 : 0;
    ++count;
  }
  WriteLogFormatAsIs("パッドの数は %d 個です\n", count);
  DecreaseLogIndent();
  InputDevices.directInput = NoDirectInputObject;
  WriteLog("入力関連の初期化をしました\n");
  InputDevices.padCount = PadCapacity;
}

}  // namespace

InputPlatformTable InputPlatform = {CreateInProcess, ReadJoystickCaps};

void ResetInputPlatform() { InputPlatform = {CreateInProcess, ReadJoystickCaps}; }

int StartInputSystem() {
  if (InputDevices.directInput != nullptr) return 0;
  const int32_t no_direct_input = InputDevices.noDirectInput;
  std::memset(static_cast<void*>(&InputDevices), 0, sizeof InputDevices);
  InputDevices.noDirectInput = no_direct_input;

  if (InputDevices.noDirectInput != 1) {
    WriteLog("DirectInput関係初期化処理\n");
    IncreaseLogIndent();
    const HINSTANCE module = GetModuleHandleA(nullptr);
    if (!TryDirectInput7(module) && !TryDirectInput8(module)) {
      WriteLog("DirectInput を使用しません。\n");
      DecreaseLogIndent();
      InputDevices.directInput = nullptr;
      InputDevices.noDirectInput = 1;
    }
  }
  if (InputDevices.noDirectInput == 1) {
    CountJoysticks();
  } else {
    DecreaseLogIndent();
    BringWindowToTop(MainWindow());
    PumpFrameMessages();
    EnumeratePads();

    WriteLog("マウスデバイスの初期化... ");
    InputDevices.mouse = OpenSystemDevice(GUID_SysMouse, &c_dfDIMouse, "マウスデバイスの取得に失敗しました",
                                          "マウスデバイスのデータ形式の設定に失敗しました",
                                          "マウスデバイスの協調レベルの設定に失敗しました");
    WriteLog("初期化成功\n");
    InputDevices.lastPoll = timeGetTime();

    if (InputDevices.keyboardDeviceSwitch == 0 && OpenKeyboard() != 0) return 1;
    DecreaseLogIndent();
    WriteLog("DirectInput 関連の初期化は正常に終了しました\n");
  }
  FillPadKeyMapDefaults(&InputDevices.padKeyMap);
  return 0;
}

int EndInputSystem() {
  if (InputDevices.directInput == nullptr) return 0;
  if (InputDevices.directInput == NoDirectInputObject) {
    WriteLog("入力関連の終了処理... 完了\n");
  } else {
    WriteLog("DirectInput 関連の終了処理... 完了\n");
    ReleaseAllPads();
    if (InputDevices.keyboard != nullptr) {
      InputDevices.keyboard->Unacquire();
      InputDevices.keyboard->SetEventNotification(nullptr);
      InputDevices.keyboard->Release();
      InputDevices.keyboard = nullptr;
    }
    if (InputDevices.keyboardEvent != nullptr) {
      CloseHandle(InputDevices.keyboardEvent);
      InputDevices.keyboardEvent = nullptr;
    }
    if (InputDevices.mouse != nullptr) {
      InputDevices.mouse->Unacquire();
      InputDevices.mouse->Release();
      InputDevices.mouse = nullptr;
    }
    ReleaseObject(InputDevices.directInput);
  }
  InputDevices.directInput = nullptr;
  return 0;
}

int SetInputFlagA() {
  InputDevices.flagA = 1;
  return 0;
}
int ClearInputFlagA() {
  InputDevices.flagA = 0;
  return 0;
}
int SetInputFlagB() {
  InputDevices.flagB = 1;
  return 0;
}
int ClearInputFlagB() {
  InputDevices.flagB = 0;
  return 0;
}

}  // namespace quelt
