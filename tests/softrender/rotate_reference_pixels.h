#pragma once
#include <cstdint>

namespace reftest {

// One pixel as the reference sees it; the caller has applied the mode entry rules.
struct RefPixelInput {
  uint32_t mode;         // 0-4, 10, 11 (mode 1 at 255 already turned into 0)
  int32_t param;
  uint32_t bright;
  bool fill;             // solid fill: colour already bright-scaled, no variants
  bool blend;
  uint32_t w;            // blend weight
  bool alphaSource;
  uint32_t a;
  bool trans;
  uint32_t key;          // value compared with the transparent colour
  uint32_t transparent;
  uint32_t colour;       // source colour in the destination's format
};

void RefPixel32(const RefPixelInput& in, uint8_t* dst);
void RefPixel16(const RefPixelInput& in, uint8_t* dst);

}  // namespace reftest
