#pragma once
// Fixed-point YUV to RGB tables of the movie player (BT.601 studio range, scaled by 2^14),
// built once at engine start and read-only afterwards.
#include <array>
#include <cstdint>

namespace quelt {

inline constexpr int32_t YuvClampLow = -512;
inline constexpr int32_t YuvClampHigh = 767;
inline constexpr int32_t YuvFixedShift = 14;

// 1.164, 1.596, 0.391, 0.813 and 2.018 times 2^14, truncated.
inline constexpr int32_t YScale = 19070;
inline constexpr int32_t VToRedScale = 26148;
inline constexpr int32_t UToGreenScale = -6406;
inline constexpr int32_t VToGreenScale = -13320;
inline constexpr int32_t UToBlueScale = 33062;

struct YuvTableSet {
  std::array<uint8_t, YuvClampHigh - YuvClampLow + 1> clamp;  // index i - YuvClampLow
  std::array<int32_t, 256> y;
  std::array<int32_t, 256> vToRed;
  std::array<int32_t, 256> uToGreen;
  std::array<int32_t, 256> vToGreen;
  std::array<int32_t, 256> uToBlue;
};

extern YuvTableSet YuvTables;

int InitYuvTables();

// i clamped to 0..255 through the clamp table; i must lie in -512..767.
inline uint8_t ClampYuvSum(int32_t i) { return YuvTables.clamp[i - YuvClampLow]; }

}  // namespace quelt
