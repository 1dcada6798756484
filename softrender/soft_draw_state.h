#pragma once
// The part of the draw state that the software renderer reads at every call: blend mode,
// blend parameter, bright colour and draw area. Graphics copies these from its draw
// settings whenever they change; the renderer itself never writes them.
#include <cstdint>

#include "softrender/blend_mode.h"
#include "softrender/clip_rect.h"

namespace quelt {

inline constexpr uint32_t kBrightOff = 0xFFFFFF;

struct SoftDrawState {
  int32_t BlendMode;      // read as unsigned: negative values draw nothing
  int32_t BlendParam;     // 0..255
  uint32_t BrightColour;  // 0x00RRGGBB; low 24 bits 0xFFFFFF = off
  IntRect ClipRect;       // ordered and inside the draw target
};
static_assert(sizeof(SoftDrawState) == 28);

// Process-wide; starts as copy mode, parameter 0, bright off, empty draw area.
extern SoftDrawState SoftDraw;

inline bool BrightIsOn(uint32_t brightColour) { return (brightColour & 0xFFFFFF) != kBrightOff; }

}  // namespace quelt
