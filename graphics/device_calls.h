#pragma once
// What the files of the device state share: the device and its call table, the setter
// rule, and the sends that more than one of them makes. Only those files include this.
#include <array>
#include <bit>
#include <cstdint>

#include "graphics/d3d_values.h"
#include "graphics/device_state.h"

namespace quelt::device_calls {

inline void* Dev() { return GraphicsDevice.device; }
inline const DeviceSink& Sink() { return *ActiveDeviceSink; }

inline uint32_t FloatBits(float value) { return std::bit_cast<uint32_t>(value); }

inline int Result(int32_t hr) { return hr < 0 ? -1 : 0; }

// A stage value of 0xFFFF is left as the device has it.
inline constexpr uint16_t Leave = 0xFFFF;

// The device's type of each of a stage's six values, in DrawModeStage::values order.
inline constexpr std::array<uint32_t, 6> StageValueTypes{d3d::TssAlphaArg1, d3d::TssAlphaArg2, d3d::TssAlphaOp,
                                                         d3d::TssColorArg1, d3d::TssColorArg2, d3d::TssColorOp};

// The setter rule: skip an unchanged value unless forced; flush; send; cache.
template <typename T, typename Send>
int CachedSet(T& cached, T value, Send send) {
  if (cached == value && ForceStateReapply == 0) return 0;
  FlushVertexBatch();
  const int32_t hr = send();
  cached = value;
  return Result(hr);
}

int SendRenderState(int32_t& cached, int32_t value, uint32_t state, uint32_t sent);
int SendSamplerState(uint32_t& cached, uint32_t value, uint32_t stage, uint32_t type);
int SendStageValue(uint32_t stage, uint32_t type, uint16_t value);
int SendTexture(uint32_t stage, void* texture);
// The scissor rectangle in surface coordinates.
int SendScissor(const IntRect& onSurface);
// One of the eight draw-mode states, skipped when the cache holds it.
void SendDrawModeState(int32_t which, uint32_t value);
// The batch empty, writing from the start of the current format's array.
void ResetWritePosition();

}  // namespace quelt::device_calls
