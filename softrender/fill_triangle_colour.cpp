#include "softrender/fill_triangle_colour.h"

#include "softrender/memimg.h"

namespace quelt {

uint32_t ScaleFillColour(uint32_t colourType, uint32_t fill, uint32_t brightColour) {
  const uint32_t blue = brightColour & 0xFF, green = (brightColour >> 8) & 0xFF,
                 red = (brightColour >> 16) & 0xFF;
  if (colourType == MemImgXrgb32) {
    const uint32_t k0 = static_cast<uint32_t>(ProductTable[blue][fill & 0xFF]);
    const uint32_t k1 = static_cast<uint32_t>(ProductTable[green][(fill >> 8) & 0xFF]);
    const uint32_t k2 = static_cast<uint32_t>(ProductTable[red][(fill >> 16) & 0xFF]);
    return (fill & 0xFF000000u) | k2 << 16 | k1 << 8 | k0;
  }
  // Upper bits of a 16-bit colour would index past the field's table row.
  const uint32_t word = fill & 0xFFFF;
  const uint32_t r = static_cast<uint32_t>(ProductTable[red][word >> 11]);
  const uint32_t g = static_cast<uint32_t>(ProductTable[green][(word >> 5) & 0x3F]);
  const uint32_t b = static_cast<uint32_t>(ProductTable[blue][word & 0x1F]);
  return r << 11 | g << 5 | b;
}

}  // namespace quelt
