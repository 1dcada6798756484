#pragma once
// A device call table that counts the calls of each kind and passes them on to the table
// that was active, for benchmarks that report how many device calls a frame makes.
#include <array>
#include <cstdint>

#include "graphics/device_sink.h"

namespace quelt_test {

enum DeviceCallKind : uint8_t {
  CallRenderState, CallSamplerState, CallStageState, CallTexture, CallTransform, CallViewport, CallScissor,
  CallRenderTarget, CallFvf, CallDraw, CallIndexedDraw, CallBeginScene, CallEndScene, CallLight,
  CallLightEnable, CallMaterial, CallUnsetShaders, CallColourFill, CallClearDepth, CallSurfaceSize,
  DeviceCallKindCount
};

extern const std::array<const char*, DeviceCallKindCount> DeviceCallNames;

struct DeviceCallCounts {
  std::array<int64_t, DeviceCallKindCount> calls{};
  int64_t Total() const;
};

// Counts into `counts` while it lives; the active table is given back at the end.
class CountingSinkScope {
 public:
  explicit CountingSinkScope(DeviceCallCounts* counts);
  ~CountingSinkScope();
  CountingSinkScope(const CountingSinkScope&) = delete;
  CountingSinkScope& operator=(const CountingSinkScope&) = delete;
};

}  // namespace quelt_test
