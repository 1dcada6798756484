#pragma once
// Window styles by WindowStyleIndex (window mode), and the one full-screen style.
#include <array>
#include <cstdint>

namespace quelt {

struct WindowStyleEntry {
  uint32_t style;
  uint32_t extendedStyle;
};

inline constexpr std::array<WindowStyleEntry, 9> WindowStyleTable{{
    {0x80CA0000, 0x300},
    {0x80080000, 0x300},
    {0x80080000, 0x0},
    {0x80CA0000, 0x80},
    {0x80080000, 0x80},
    {0x80C80000, 0x100},
    {0x80CA0000, 0x300},
    {0x80CB0000, 0x300},
    {0x81CB0000, 0x300},
}};

inline constexpr WindowStyleEntry FullScreenWindowStyle{0x80000000, 0x8};  // popup, topmost

// Extra styles a window-mode window takes from the settings.
inline constexpr uint32_t MaximizeBoxStyle = 0x10000;
inline constexpr uint32_t VisibleStyle = 0x10000000;
inline constexpr uint32_t ThickFrameStyle = 0x40000;
inline constexpr uint32_t TransparentExStyle = 0x20;

inline WindowStyleEntry WindowModeStyle(int32_t index) {
  return WindowStyleTable[index >= 0 && index < 9 ? index : 0];
}

}  // namespace quelt
