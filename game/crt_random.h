#pragma once
// The C runtime's rand() and srand() of the Windows runtime the game ships with, kept in
// the game so every build (native tests included) draws the same rivals.
#include <cstdint>

namespace quelt::game {

void SeedGameRandom(uint32_t seed);
// 0..32767.
int32_t GameRandom();

}  // namespace quelt::game
