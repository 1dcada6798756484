#pragma once
// The engine's Mersenne Twister (MT19937). The whole output table is regenerated and
// tempered in one pass, and read out later without per-draw work.
#include <array>
#include <cstdint>

namespace quelt {

constexpr int kRandomStateWords = 624;

struct RandomState {
  std::array<uint32_t, kRandomStateWords> state;
  std::array<uint32_t, kRandomStateWords> output;  // already tempered
  int32_t outputIndex;
  int32_t seeded;
  int32_t mmx;
};
extern RandomState RandomGenerator;

// Fills the state from the seed by the generator x -> 69069 x + 1 and refills the table.
void SeedRandom(uint32_t seed);
// Regenerates all state words and tempers them into the output table; index = 0.
void RefillRandom();
// The same words, computed two at a time.
void RefillRandomMmx();
// 1 when CPUID exists and reports MMX.
int CpuHasMmx();
// The output word at the index, advancing it; refills after all 624 were read. An
// unseeded generator is first seeded from the millisecond clock, as window creation does.
uint32_t ReadRandomWord();

}  // namespace quelt
