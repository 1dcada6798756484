// Pads and force feedback through fake DirectInput objects (Xvfb has neither): the
// enumeration's set-up and its refusals, the vibration rules, re-acquisition and release.
#include "input/input_device_set_win32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "core/core_state.h"
#include "core/log.h"
#include "input/input_devices.h"

namespace quelt {
namespace {

struct FakeEffect : IDirectInputEffect {
  int starts = 0;
  int stops = 0;
  int released = 0;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(++released), 0; }
  HRESULT STDMETHODCALLTYPE Initialize(HINSTANCE, DWORD, REFGUID) override { return DI_OK; }
  HRESULT STDMETHODCALLTYPE GetEffectGuid(LPGUID) override { return DI_OK; }
  HRESULT STDMETHODCALLTYPE GetParameters(LPDIEFFECT, DWORD) override { return DI_OK; }
  HRESULT STDMETHODCALLTYPE SetParameters(LPCDIEFFECT, DWORD) override { return DI_OK; }
  HRESULT STDMETHODCALLTYPE Start(DWORD, DWORD) override { return ++starts, DI_OK; }
  HRESULT STDMETHODCALLTYPE Stop() override { return ++stops, DI_OK; }
  HRESULT STDMETHODCALLTYPE GetEffectStatus(LPDWORD) override { return DI_OK; }
  HRESULT STDMETHODCALLTYPE Download() override { return DI_OK; }
  HRESULT STDMETHODCALLTYPE Unload() override { return DI_OK; }
  HRESULT STDMETHODCALLTYPE Escape(LPDIEFFESCAPE) override { return DI_OK; }
};

struct EffectRequest {
  GUID guid;
  DWORD flags;
  DWORD duration;
  DWORD gain;
  DWORD axes;
  bool envelope;
  DWORD typeSpecificSize;
  LONG magnitude;  // periodic or constant
  DWORD period;
};

struct FakeDevice : IDirectInputDevice7A {
  // What the test makes it refuse.
  bool refuseFormat = false;
  bool refuseXRange = false;
  bool refuseYDeadZone = false;
  bool refuseEffects = false;
  bool refuseEvent = false;
  const DIDATAFORMAT* format = &c_dfDIJoystick;
  // What it saw.
  HANDLE refusedEvent = nullptr;
  int released = 0;
  int acquires = 0;
  int unacquires = 0;
  DWORD lastLevel = 0;
  HANDLE event = nullptr;
  std::vector<EffectRequest> effects;
  FakeEffect sine;
  FakeEffect constant;
  int rangesSet = 0;
  int deadZonesSet = 0;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(++released), 0; }
  HRESULT STDMETHODCALLTYPE GetCapabilities(LPDIDEVCAPS) override { return DI_OK; }
  HRESULT STDMETHODCALLTYPE EnumObjects(LPDIENUMDEVICEOBJECTSCALLBACKA, LPVOID, DWORD) override { return DI_OK; }
  HRESULT STDMETHODCALLTYPE GetProperty(REFGUID, LPDIPROPHEADER) override { return DI_OK; }
  HRESULT STDMETHODCALLTYPE SetProperty(REFGUID property, LPCDIPROPHEADER header) override {
    if (&property == &DIPROP_RANGE) {
      const auto* range = reinterpret_cast<const DIPROPRANGE*>(header);
      if (range->lMin != -1000 || range->lMax != 1000 || header->dwHow != DIPH_BYOFFSET) return E_INVALIDARG;
      ++rangesSet;
      if (refuseXRange && header->dwObj == DIJOFS_X) return E_FAIL;
    } else if (&property == &DIPROP_DEADZONE) {
      if (reinterpret_cast<const DIPROPDWORD*>(header)->dwData != 2500) return E_INVALIDARG;
      ++deadZonesSet;
      if (refuseYDeadZone && header->dwObj == DIJOFS_Y) return E_FAIL;
    }
    return DI_OK;
  }
  HRESULT STDMETHODCALLTYPE Acquire() override { return ++acquires, DI_OK; }
  HRESULT STDMETHODCALLTYPE Unacquire() override { return ++unacquires, DI_OK; }
  HRESULT STDMETHODCALLTYPE GetDeviceState(DWORD, LPVOID) override { return DI_OK; }
  HRESULT STDMETHODCALLTYPE GetDeviceData(DWORD, LPDIDEVICEOBJECTDATA, LPDWORD, DWORD) override { return DI_OK; }
  HRESULT STDMETHODCALLTYPE SetDataFormat(LPCDIDATAFORMAT requested) override {
    return refuseFormat || requested != format ? E_FAIL : DI_OK;
  }
  HRESULT STDMETHODCALLTYPE SetEventNotification(HANDLE handle) override {
    if (handle != nullptr && refuseEvent) {
      refusedEvent = handle;
      return E_FAIL;
    }
    event = handle;
    return DI_OK;
  }
  HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND, DWORD level) override { return lastLevel = level, DI_OK; }
  HRESULT STDMETHODCALLTYPE GetObjectInfo(LPDIDEVICEOBJECTINSTANCEA, DWORD, DWORD) override { return DI_OK; }
  HRESULT STDMETHODCALLTYPE GetDeviceInfo(LPDIDEVICEINSTANCEA info) override {
    if (info->dwSize != sizeof(DIDEVICEINSTANCEA)) return E_INVALIDARG;
    std::strcpy(info->tszInstanceName, "Fake Pad");
    std::strcpy(info->tszProductName, "Fake Product");
    return DI_OK;
  }
  HRESULT STDMETHODCALLTYPE RunControlPanel(HWND, DWORD) override { return DI_OK; }
  HRESULT STDMETHODCALLTYPE Initialize(HINSTANCE, DWORD, REFGUID) override { return DI_OK; }
  HRESULT STDMETHODCALLTYPE CreateEffect(REFGUID guid, LPCDIEFFECT effect, LPDIRECTINPUTEFFECT* out,
                                         LPUNKNOWN) override {
    EffectRequest request{guid, effect->dwFlags, effect->dwDuration, effect->dwGain, effect->cAxes,
                          effect->lpEnvelope != nullptr, effect->cbTypeSpecificParams, 0, 0};
    if (guid == GUID_Sine) {
      const auto* periodic = static_cast<const DIPERIODIC*>(effect->lpvTypeSpecificParams);
      request.magnitude = static_cast<LONG>(periodic->dwMagnitude);
      request.period = periodic->dwPeriod;
    } else {
      request.magnitude = static_cast<const DICONSTANTFORCE*>(effect->lpvTypeSpecificParams)->lMagnitude;
    }
    effects.push_back(request);
    if (refuseEffects) return E_FAIL;
    *out = guid == GUID_Sine ? static_cast<IDirectInputEffect*>(&sine) : &constant;
    return DI_OK;
  }
  HRESULT STDMETHODCALLTYPE EnumEffects(LPDIENUMEFFECTSCALLBACKA, LPVOID, DWORD) override { return DI_OK; }
  HRESULT STDMETHODCALLTYPE GetEffectInfo(LPDIEFFECTINFOA, REFGUID) override { return DI_OK; }
  HRESULT STDMETHODCALLTYPE GetForceFeedbackState(LPDWORD) override { return DI_OK; }
  HRESULT STDMETHODCALLTYPE SendForceFeedbackCommand(DWORD) override { return DI_OK; }
  HRESULT STDMETHODCALLTYPE EnumCreatedEffectObjects(LPDIENUMCREATEDEFFECTOBJECTSCALLBACK, LPVOID, DWORD) override {
    return DI_OK;
  }
  HRESULT STDMETHODCALLTYPE Escape(LPDIEFFESCAPE) override { return DI_OK; }
  HRESULT STDMETHODCALLTYPE Poll() override { return DI_OK; }
  HRESULT STDMETHODCALLTYPE SendDeviceData(DWORD, LPCDIDEVICEOBJECTDATA, LPDWORD, DWORD) override { return DI_OK; }
  HRESULT STDMETHODCALLTYPE EnumEffectsInFile(LPCSTR, LPDIENUMEFFECTSINFILECALLBACK, LPVOID, DWORD) override {
    return DI_OK;
  }
  HRESULT STDMETHODCALLTYPE WriteEffectToFile(LPCSTR, DWORD, LPDIFILEEFFECT, DWORD) override { return DI_OK; }
};

// Hands out the prepared devices in order and lists `attached` pads.
struct FakeDirectInput : IDirectInput7A {
  std::vector<std::unique_ptr<FakeDevice>> devices;
  size_t created = 0;
  int attached = 0;
  int callbacks = 0;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 0; }
  HRESULT STDMETHODCALLTYPE CreateDevice(REFGUID, LPDIRECTINPUTDEVICEA*, LPUNKNOWN) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumDevices(DWORD type, LPDIENUMDEVICESCALLBACKA callback, LPVOID context,
                                        DWORD flags) override {
    if (type != DIDEVTYPE_JOYSTICK || flags != DIEDFL_ATTACHEDONLY) return E_INVALIDARG;
    for (int i = 0; i < attached; ++i) {
      DIDEVICEINSTANCEA instance{};
      instance.dwSize = sizeof instance;
      instance.guidInstance.Data1 = static_cast<unsigned long>(i);
      ++callbacks;
      if (callback(&instance, context) == DIENUM_STOP) break;
    }
    return DI_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDeviceStatus(REFGUID) override { return DI_OK; }
  HRESULT STDMETHODCALLTYPE RunControlPanel(HWND, DWORD) override { return DI_OK; }
  HRESULT STDMETHODCALLTYPE Initialize(HINSTANCE, DWORD) override { return DI_OK; }
  HRESULT STDMETHODCALLTYPE FindDevice(REFGUID, LPCSTR, LPGUID) override { return DI_OK; }
  HRESULT STDMETHODCALLTYPE CreateDeviceEx(REFGUID, REFIID interface_id, LPVOID* out, LPUNKNOWN) override {
    if (interface_id != IID_IDirectInputDevice7A) return E_NOINTERFACE;
    if (created >= devices.size()) return E_FAIL;
    *out = static_cast<IDirectInputDevice7A*>(devices[created++].get());
    return DI_OK;
  }
};

class PadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InputDevices = {};
    InputDevices.directInput = &directInput_;
    WindowActiveFlag = 1;
  }
  void TearDown() override {
    InputDevices = {};
    WindowActiveFlag = 0;
  }
  FakeDevice* Prepare(int count) {
    for (int i = 0; i < count; ++i) directInput_.devices.push_back(std::make_unique<FakeDevice>());
    return directInput_.devices.front().get();
  }
  // Enumerates the prepared devices as attached pads.
  void Enumerate() {
    directInput_.attached = static_cast<int>(directInput_.devices.size());
    ASSERT_EQ(EnumeratePads(), 0);
  }
  FakeDevice& Device(size_t i) { return *directInput_.devices[i]; }

  FakeDirectInput directInput_;
};

TEST_F(PadTest, APadIsSetUpWithItsAxesEffectsEventAndNames) {
  Prepare(1);
  Enumerate();
  ASSERT_EQ(InputDevices.padCount, 1);
  const PadRecord& pad = InputDevices.pads[0];
  FakeDevice& device = Device(0);
  EXPECT_EQ(pad.device, &device);
  EXPECT_STREQ(pad.instanceName, "Fake Pad");
  EXPECT_STREQ(pad.productName, "Fake Product");
  EXPECT_EQ(device.lastLevel, static_cast<DWORD>(DISCL_EXCLUSIVE | DISCL_FOREGROUND));
  EXPECT_EQ(device.rangesSet, 4);
  EXPECT_EQ(device.deadZonesSet, 4);
  EXPECT_EQ(device.acquires, 1);
  EXPECT_NE(pad.event, nullptr);
  EXPECT_EQ(device.event, pad.event);
  EXPECT_EQ(pad.power, 10000);
  EXPECT_EQ(pad.vibrationOn, 0);
  ASSERT_EQ(device.effects.size(), 2u);
  const EffectRequest& sine = device.effects[0];
  EXPECT_EQ(sine.guid, GUID_Sine);
  EXPECT_EQ(sine.flags, static_cast<DWORD>(DIEFF_OBJECTOFFSETS | DIEFF_POLAR));
  EXPECT_EQ(sine.duration, INFINITE);
  EXPECT_EQ(sine.gain, 10000u);
  EXPECT_EQ(sine.axes, 2u);
  EXPECT_TRUE(sine.envelope);
  EXPECT_EQ(sine.magnitude, 10000);
  EXPECT_EQ(sine.period, 1500000u);
  const EffectRequest& constant = device.effects[1];
  EXPECT_EQ(constant.guid, GUID_ConstantForce);
  EXPECT_EQ(constant.flags, static_cast<DWORD>(DIEFF_OBJECTOFFSETS | DIEFF_CARTESIAN));
  EXPECT_FALSE(constant.envelope);
  EXPECT_EQ(constant.typeSpecificSize, sizeof(DICONSTANTFORCE));
  EXPECT_EQ(constant.magnitude, 10000);
  EXPECT_EQ(pad.sine, &device.sine);
  EXPECT_EQ(pad.constantForce, &device.constant);
}

TEST_F(PadTest, EnumerationStopsAtSixteenPads) {
  Prepare(17);
  Enumerate();
  EXPECT_EQ(InputDevices.padCount, 16);
  EXPECT_EQ(directInput_.callbacks, 16);
  EXPECT_EQ(directInput_.created, 16u);
}

TEST_F(PadTest, RefusedPadsAreSkippedAndGiveBackWhatWasMadeForThem) {
  Prepare(5);
  Device(0).refuseFormat = true;
  Device(1).refuseXRange = true;
  Device(2).refuseYDeadZone = true;
  Device(3).refuseEvent = true;
  Device(4).refuseEffects = true;  // effects only log: the pad is kept
  Enumerate();
  ASSERT_EQ(InputDevices.padCount, 1);
  EXPECT_EQ(InputDevices.pads[0].device, &Device(4));
  EXPECT_EQ(InputDevices.pads[0].sine, nullptr);
  EXPECT_EQ(InputDevices.pads[0].constantForce, nullptr);
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(Device(i).released, 1) << i;
  EXPECT_EQ(Device(4).released, 0);
  // The refused pad's effects and its event are given back; its record stays empty.
  EXPECT_EQ(Device(3).sine.released, 1);
  EXPECT_EQ(Device(3).constant.released, 1);
  EXPECT_EQ(InputDevices.pads[1].device, nullptr);
  EXPECT_EQ(InputDevices.pads[1].event, nullptr);
}

TEST_F(PadTest, VibrationStartsTheConstantForceAndAboveHalfPowerTheSine) {
  Prepare(1);
  Enumerate();
  PadRecord& pad = InputDevices.pads[0];
  FakeDevice& device = Device(0);
  pad.vibrationOn = 1;
  pad.power = 5001;
  ApplyPadVibration();
  EXPECT_EQ(device.constant.starts, 1);
  EXPECT_EQ(device.sine.starts, 1);
  ApplyPadVibration();  // unchanged: nothing restarts
  EXPECT_EQ(device.constant.starts, 1);
  EXPECT_EQ(device.sine.starts, 1);
  pad.power = 5000;
  ApplyPadVibration();
  EXPECT_EQ(device.sine.stops, 1);
  EXPECT_EQ(device.constant.stops, 0);
  EXPECT_EQ(pad.sinePlaying, 0);
  EXPECT_EQ(pad.constantForcePlaying, 1);
  // An inactive window stops whatever plays.
  WindowActiveFlag = 0;
  ApplyPadVibration();
  EXPECT_EQ(device.constant.stops, 1);
  EXPECT_EQ(pad.constantForcePlaying, 0);
  WindowActiveFlag = 1;
  ApplyPadVibration();
  EXPECT_EQ(device.constant.starts, 2);
}

TEST_F(PadTest, HaltTakesOnlyPadNumbersInRange) {
  Prepare(2);
  Enumerate();
  for (PadRecord& pad : InputDevices.pads) pad.vibrationOn = 1;
  InputDevices.pads[0].power = 300;
  ApplyPadVibration();
  for (int32_t number : {0, -1, 3, 0x1000, 0x1003}) HaltPadVibration(number);
  EXPECT_EQ(InputDevices.pads[0].vibrationOn, 1);
  EXPECT_EQ(InputDevices.pads[1].vibrationOn, 1);
  EXPECT_EQ(HaltPadVibration(0x1000 | 1), 0);
  EXPECT_EQ(InputDevices.pads[0].vibrationOn, 0);
  EXPECT_EQ(InputDevices.pads[0].power, 10000);
  EXPECT_EQ(Device(0).constant.stops, 1);
  EXPECT_EQ(InputDevices.pads[1].vibrationOn, 1);
}

TEST_F(PadTest, TheTickHaltsAVibrationWhoseLengthRanOutAndNeverAnEndlessOne) {
  Prepare(2);
  Enumerate();
  const int32_t now = static_cast<int32_t>(timeGetTime() & 0x7FFFFFFF);
  for (PadRecord& pad : InputDevices.pads) {
    pad.vibrationOn = 1;
    pad.lastTick = now;
  }
  InputDevices.pads[0].length = 30;
  InputDevices.pads[1].length = -1;
  for (int i = 0; i < 100 && InputDevices.pads[0].vibrationOn == 1; ++i) {
    Sleep(5);
    TickPadVibration();
  }
  EXPECT_EQ(InputDevices.pads[0].vibrationOn, 0);
  EXPECT_GE(InputDevices.pads[0].elapsed, 30);
  EXPECT_EQ(InputDevices.pads[1].vibrationOn, 1);
  EXPECT_EQ(InputDevices.pads[1].elapsed, 0);
  EXPECT_EQ(Device(1).constant.starts, 1);
  // A last tick ahead of the clock (the clock wrapped) restarts the count at now.
  InputDevices.pads[0].vibrationOn = 1;
  InputDevices.pads[0].elapsed = 0;
  InputDevices.pads[0].lastTick = 0x7FFFFFF0;
  InputDevices.pads[0].length = 1000000;
  TickPadVibration();
  EXPECT_EQ(InputDevices.pads[0].elapsed, 0);
  EXPECT_LE(InputDevices.pads[0].lastTick, static_cast<int32_t>(timeGetTime() & 0x7FFFFFFF));
}

TEST_F(PadTest, ActivationChangesTheCooperativeLevelAndReacquires) {
  Prepare(1);
  Enumerate();
  FakeDevice keyboard;
  InputDevices.keyboard = &keyboard;
  WindowActiveFlag = 0;
  ReacquireInputDevices();
  EXPECT_EQ(Device(0).lastLevel, static_cast<DWORD>(DISCL_NONEXCLUSIVE | DISCL_BACKGROUND));
  EXPECT_EQ(Device(0).unacquires, 1);
  EXPECT_EQ(Device(0).acquires, 2);
  EXPECT_EQ(keyboard.unacquires, 1);
  EXPECT_EQ(keyboard.acquires, 1);
  WindowActiveFlag = 1;
  ReacquireInputDevices();
  EXPECT_EQ(Device(0).lastLevel, static_cast<DWORD>(DISCL_EXCLUSIVE | DISCL_FOREGROUND));
  InputDevices.keyboard = nullptr;
}

TEST_F(PadTest, ReleaseGivesBackDevicesEffectsAndEvents) {
  Prepare(2);
  Enumerate();
  const HANDLE event = InputDevices.pads[0].event;
  InputDevices.pads[0].vibrationOn = 1;
  ApplyPadVibration();
  EXPECT_EQ(ReleaseAllPads(), 0);
  EXPECT_EQ(InputDevices.padCount, 0);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(Device(i).released, 1);
    EXPECT_EQ(Device(i).sine.released, 1);
    EXPECT_EQ(Device(i).constant.released, 1);
    EXPECT_EQ(Device(i).event, nullptr);
    EXPECT_EQ(InputDevices.pads[i].device, nullptr);
  }
  EXPECT_GE(Device(0).constant.stops, 1);
  DWORD flags = 0;
  EXPECT_EQ(GetHandleInformation(event, &flags), FALSE);
}

FakeDirectInput* StartingObject = nullptr;
HRESULT CreateFake(REFCLSID class_id, REFIID, void** object) {
  if (class_id != CLSID_DirectInput) return REGDB_E_CLASSNOTREG;
  *object = static_cast<IDirectInput7A*>(StartingObject);
  return S_OK;
}

TEST_F(PadTest, AKeyboardThatRefusesItsEventEndsTheStartWithOneAndTheEventIsClosed) {
  InputDevices = {};
  Prepare(2);
  Device(0).format = &c_dfDIMouse;
  Device(1).format = &c_dfDIKeyboard;
  Device(1).refuseEvent = true;
  StartingObject = &directInput_;
  InputPlatform.createInstance = CreateFake;
  const int32_t indent = EngineLog.indentLevel;
  EXPECT_EQ(StartInputSystem(), 1);
  ResetInputPlatform();
  EXPECT_EQ(EngineLog.indentLevel, indent);
  EXPECT_EQ(InputDevices.mouse, &Device(0));
  EXPECT_EQ(InputDevices.keyboard, &Device(1));
  EXPECT_EQ(InputDevices.keyboardEvent, nullptr);
  ASSERT_NE(Device(1).refusedEvent, nullptr);
  DWORD flags = 0;
  EXPECT_EQ(GetHandleInformation(Device(1).refusedEvent, &flags), FALSE);
  EXPECT_EQ(InputDevices.padKeyMap[0][0][0], 0);  // the rest of the start was skipped
  EXPECT_EQ(EndInputSystem(), 0);
  EXPECT_EQ(Device(0).released, 1);
  EXPECT_EQ(Device(1).released, 1);
  EXPECT_EQ(InputDevices.directInput, nullptr);
}

TEST_F(PadTest, WithoutDirectInputNothingIsTouched) {
  InputDevices.directInput = NoDirectInputObject;
  EXPECT_EQ(EnumeratePads(), -1);
  EXPECT_EQ(ReleaseAllPads(), -1);
  EXPECT_EQ(ApplyPadVibration(), 0);
  EXPECT_EQ(TickPadVibration(), 0);
  EXPECT_EQ(HaltPadVibration(1), 0);
  EXPECT_EQ(ReacquireInputDevices(), 0);
}

}  // namespace
}  // namespace quelt
