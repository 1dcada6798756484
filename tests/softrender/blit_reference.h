#pragma once
// A slow reference of the fills and blitters, written from the rules alone: one pixel at
// a time, runtime switches, 64-bit arithmetic, the packed add and subtract spelled out
// channel by channel. Shares nothing with the renderer but the image records.
#include <cstdint>

#include "softrender/memimg.h"
#include "softrender/soft_draw_state.h"

namespace blitref {

void Blit(quelt::MEMIMG* dest, const quelt::MEMIMG* src, int32_t x, int32_t y, int32_t transFlag,
          const quelt::MEMIMG* blendImage, const quelt::SoftDrawState& state);
void StretchBlit(quelt::MEMIMG* dest, const quelt::MEMIMG* src, const quelt::IntRect& rect,
                 int32_t transFlag, const quelt::MEMIMG* blendImage, const quelt::SoftDrawState& state);
void FillRect(quelt::MEMIMG* img, const quelt::IntRect* rect, uint32_t colour,
              const quelt::SoftDrawState& state);

// The packed operations, spelled out (exposed for their own tests).
uint32_t PackedAdd32(uint32_t d, uint32_t t);
uint32_t PackedSub32(uint32_t d, uint32_t t);
uint32_t PackedAdd16(uint32_t d, uint32_t t);
uint32_t PackedSub16(uint32_t d, uint32_t t);
uint32_t PairAdd16(uint32_t d, uint32_t s);  // two pixels, the first in the low half
uint32_t PairSub16(uint32_t d, uint32_t s);

}  // namespace blitref
