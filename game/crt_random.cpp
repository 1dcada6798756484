#include "game/crt_random.h"

namespace quelt::game {

namespace {
uint32_t RandomHold = 1;
}

void SeedGameRandom(uint32_t seed) { RandomHold = seed; }

int32_t GameRandom() {
  RandomHold = RandomHold * 214013u + 2531011u;
  return static_cast<int32_t>((RandomHold >> 16) & 0x7FFF);
}

}  // namespace quelt::game
