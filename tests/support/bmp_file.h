#pragma once
// Pictures the tests keep: 0x00RRGGBB pixels, row by row, as 24-bit BMP files.
#include <cstdint>
#include <string>
#include <vector>

namespace quelt::testing {

bool WriteBmp(const std::string& path, const std::vector<uint32_t>& pixels, int32_t width, int32_t height);

// A picture of varied colours, the same for the same seed; no channel is below 0x10, so no
// pixel is black.
std::vector<uint32_t> NoisePixels(int32_t width, int32_t height, uint32_t seed);

}  // namespace quelt::testing
