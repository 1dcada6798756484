#pragma once
// Pictures the game's tests keep: 0x00RRGGBB pixels, row by row, as 24-bit BMP files.
#include <cstdint>
#include <string>
#include <vector>

namespace quelt::game::testing {

bool WriteBmp(const std::string& path, const std::vector<uint32_t>& pixels, int32_t width, int32_t height);

}  // namespace quelt::game::testing
