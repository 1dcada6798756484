#include "input/key_tables.h"

#include <cstddef>

namespace quelt {

void MapKeyboardToScanState(const uint8_t* keyboard, uint8_t* scanState) {
  for (int32_t i = 0; i < 256; ++i) scanState[i] = 0;
  for (const VkToDikRow& row : VkToDikTable) {
    if (row.virtualKey == VkToDikEnd) break;
    scanState[row.keyCode & 0xFF] = keyboard[row.virtualKey & 0xFF];
  }
}

void FillPadKeyMapDefaults(PadKeyMap* map) {
  for (auto& pad : *map)
    for (auto& row : pad) row = {-1, -1};
  constexpr std::array<std::array<int32_t, 2>, 14> first_pad = {{
      {0x50, 0xD0},  // down: numeric pad 2, arrow
      {0x4B, 0xCB},  // left
      {0x4D, 0xCD},  // right
      {0x48, 0xC8},  // up
      {0x2C, -1},    // Z
      {0x2D, -1},    // X
      {0x2E, -1},    // C
      {0x1E, -1},    // A
      {0x1F, -1},    // S
      {0x20, -1},    // D
      {0x10, -1},    // Q
      {0x11, -1},    // W
      {0x01, -1},    // Escape
      {0x39, -1},    // Space
  }};
  for (std::size_t i = 0; i < first_pad.size(); ++i) (*map)[0][i] = first_pad[i];
}

}  // namespace quelt
