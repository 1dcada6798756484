// Pad vibration: each pad's vibration fields (on, power, length) drive its two effects;
// the pump's tick halts a vibration whose length has run out.
#include "input/input_device_set_win32.h"

#include "core/clock.h"
#include "core/core_state.h"
#include "core/window_hooks.h"
#include "input/input_devices.h"

namespace quelt {

namespace {

constexpr int32_t StrongVibrationPower = 5000;
constexpr int32_t HaltBitMask = 0x1000;

void SetPlaying(IDirectInputEffect* effect, int32_t* playing, int32_t wanted) {
  if (effect == nullptr || *playing == wanted) return;
  if (wanted == 1)
    effect->Start(1, 0);
  else
    effect->Stop();
  *playing = wanted;
}

void StopEffect(IDirectInputEffect* effect, int32_t* playing) {
  if (effect != nullptr && *playing != 0) effect->Stop();
  *playing = 0;
}

int HaltPad(int32_t index) {
  if (index < 0 || index >= InputDevices.padCount || index >= PadCapacity) return 0;
  PadRecord& pad = InputDevices.pads[static_cast<size_t>(index)];
  if (pad.device == nullptr || pad.constantForce == nullptr || pad.vibrationOn == 0) return 0;
  pad.vibrationOn = 0;
  pad.power = 10000;
  ApplyPadVibration();
  return 0;
}

}  // namespace

int ApplyPadVibration() {
  if (!HasDirectInput()) return 0;
  for (PadRecord& pad : InputDevices.pads) {
    if (pad.device == nullptr) continue;
    if (WindowActiveFlag == 1) {
      SetPlaying(pad.constantForce, &pad.constantForcePlaying, pad.vibrationOn == 1 ? 1 : 0);
      const int32_t strong = pad.vibrationOn == 1 && pad.power > StrongVibrationPower ? 1 : 0;
      SetPlaying(pad.sine, &pad.sinePlaying, strong);
    } else {
      StopEffect(pad.constantForce, &pad.constantForcePlaying);
      StopEffect(pad.sine, &pad.sinePlaying);
    }
  }
  return 0;
}

int HaltPadVibration(int32_t pad_number) {
  WaitWhileInactive();
  if (InputDevices.directInput == nullptr && WindowClosingFlag == 0) StartInputSystem();
  if (!HasDirectInput()) return 0;
  return HaltPad((pad_number & ~HaltBitMask) - 1);
}

int TickPadVibration() {
  if (!HasDirectInput()) return 0;
  const int32_t now = ReadMillisecondClock();
  for (int32_t i = 0; i < InputDevices.padCount && i < PadCapacity; ++i) {
    PadRecord& pad = InputDevices.pads[static_cast<size_t>(i)];
    if (pad.vibrationOn == 0 || pad.device == nullptr || pad.length < 0 || now == pad.lastTick) continue;
    if (pad.lastTick > now) pad.lastTick = now;  // the clock wrapped
    pad.elapsed += now - pad.lastTick;
    pad.lastTick = now;
    // Straight to the halt: the public entry's wait for activation would re-enter the
    // pump this tick runs in.
    if (pad.elapsed >= pad.length) HaltPad(i);
  }
  ApplyPadVibration();
  return 0;
}

}  // namespace quelt
