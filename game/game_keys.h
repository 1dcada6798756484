#pragma once
// Key edges: a key counts as pressed in the frame its held counter reaches exactly 1.
#include <array>
#include <cstddef>
#include <cstdint>

namespace quelt::game {

constexpr int KeyUp = 200;
constexpr int KeyDown = 208;
constexpr int KeyLeft = 203;
constexpr int KeyRight = 205;
constexpr int KeySpace = 57;

extern std::array<uint8_t, 256> KeyHeldFrames;
extern std::array<uint8_t, 256> KeyStateBuffer;

// Reads every key through the engine and advances the held counters.
void RefreshKeys();
bool KeyPressed(int scan_code);

// 1 right, -1 left, 2 up, -2 space, 0 none.
int8_t ReadRaceKey();
// -1 up, +1 down, 2 decide, 0 none.
constexpr int8_t MenuDecide = 2;
int8_t ReadMenuKey();

}  // namespace quelt::game
