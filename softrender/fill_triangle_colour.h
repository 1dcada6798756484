#pragma once
// The solid triangle fill's colour, scaled by the bright colour once per call.
#include <cstdint>

namespace quelt {

// fill is a raw pixel of the destination's colour type (1: 32-bit, 0: RGB565). Each
// channel is scaled by its bright byte (the identity at 255); the fourth byte of a 32-bit
// colour is kept unscaled. A 16-bit colour is masked to 16 bits first.
uint32_t ScaleFillColour(uint32_t colourType, uint32_t fill, uint32_t brightColour);

}  // namespace quelt
