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

// A race frame's key: right and left are the stride directions they ask for, up slides,
// space pauses.
enum RaceKey : int8_t {
  RaceKeyNone = 0,
  RaceKeyRight = 1,
  RaceKeyLeft = -1,
  RaceKeySlide = 2,
  RaceKeyPause = -2,
};
RaceKey ReadRaceKey();

// A menu frame's key: up and down are the steps they move the cursor by.
enum MenuKey : int8_t { MenuNone = 0, MenuUp = -1, MenuDown = 1, MenuDecide = 2 };
MenuKey ReadMenuKey();

}  // namespace quelt::game
