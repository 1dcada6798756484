#include "core/random.h"

#include <cpuid.h>

#include "core/clock.h"

namespace quelt {

RandomState RandomGenerator = {};

namespace {

constexpr int kN = kRandomStateWords;
constexpr int kM = 397;
constexpr uint32_t kMatrix = 0x9908B0DFu;
constexpr uint32_t kUpperMask = 0x80000000u;
constexpr uint32_t kLowerMask = 0x7FFFFFFFu;

constexpr uint32_t Twist(uint32_t current, uint32_t next, uint32_t far) {
  uint32_t y = (current & kUpperMask) | (next & kLowerMask);
  return far ^ (y >> 1) ^ ((y & 1u) ? kMatrix : 0u);
}

constexpr uint32_t Temper(uint32_t y) {
  y ^= y >> 11;
  y ^= (y << 7) & 0x9D2C5680u;
  y ^= (y << 15) & 0xEFC60000u;
  y ^= y >> 18;
  return y;
}

void RegenerateOneAtATime(uint32_t* mt) {
  int k = 0;
  for (; k < kN - kM; ++k) mt[k] = Twist(mt[k], mt[k + 1], mt[k + kM]);
  for (; k < kN - 1; ++k) mt[k] = Twist(mt[k], mt[k + 1], mt[k + kM - kN]);
  mt[kN - 1] = Twist(mt[kN - 1], mt[0], mt[kM - 1]);
}

}  // namespace

void SeedRandom(uint32_t seed) {
  uint32_t x = seed;
  for (uint32_t& word : RandomGenerator.state) {
    word = (x & 0xFFFF0000u) | ((x * 69069u + 1u) >> 16);
    x = x * 475559465u + 69070u;  // two steps of x -> 69069 x + 1
  }
  RandomGenerator.mmx = CpuHasMmx();
  RandomGenerator.seeded = 1;
  RefillRandom();
}

void RefillRandom() {
  if (RandomGenerator.mmx) {
    RefillRandomMmx();
    return;
  }
  uint32_t* mt = RandomGenerator.state.data();
  RegenerateOneAtATime(mt);
  for (int k = 0; k < kN; ++k) RandomGenerator.output[k] = Temper(mt[k]);
  RandomGenerator.outputIndex = 0;
}

// Two words per step. Each pair reads only words that the sequential order would have
// finished before it (or not yet touched), so the result is the same.
void RefillRandomMmx() {
  uint32_t* mt = RandomGenerator.state.data();
  uint32_t* out = RandomGenerator.output.data();
  for (int k = 0; k < kN; k += 2) {
    const int k1 = k + 1;
    const uint32_t far0 = mt[(k + kM) % kN];
    const uint32_t far1 = mt[(k1 + kM) % kN];
    const uint32_t a0 = mt[k], a1 = mt[k1];
    const uint32_t b0 = a1, b1 = mt[(k1 + 1) % kN];
    const uint32_t y0 = (a0 & kUpperMask) | (b0 & kLowerMask);
    const uint32_t y1 = (a1 & kUpperMask) | (b1 & kLowerMask);
    mt[k] = far0 ^ (y0 >> 1) ^ ((0u - (y0 & 1u)) & kMatrix);
    mt[k1] = far1 ^ (y1 >> 1) ^ ((0u - (y1 & 1u)) & kMatrix);
  }
  for (int k = 0; k < kN; k += 2) {
    uint32_t y0 = mt[k], y1 = mt[k + 1];
    y0 ^= y0 >> 11;
    y1 ^= y1 >> 11;
    y0 ^= (y0 << 7) & 0x9D2C5680u;
    y1 ^= (y1 << 7) & 0x9D2C5680u;
    y0 ^= (y0 << 15) & 0xEFC60000u;
    y1 ^= (y1 << 15) & 0xEFC60000u;
    y0 ^= y0 >> 18;
    y1 ^= y1 >> 18;
    out[k] = y0;
    out[k + 1] = y1;
  }
  RandomGenerator.outputIndex = 0;
}

int CpuHasMmx() {
  // __get_cpuid_max checks that the EFLAGS ID bit can be toggled before using CPUID.
  if (__get_cpuid_max(0, nullptr) < 1) return 0;
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return 0;
  return (edx >> 23) & 1u ? 1 : 0;
}

uint32_t ReadRandomWord() {
  if (!RandomGenerator.seeded) SeedRandom(static_cast<uint32_t>(ReadMillisecondClock()));
  if (RandomGenerator.outputIndex < 0 || RandomGenerator.outputIndex >= kN) RefillRandom();
  return RandomGenerator.output[RandomGenerator.outputIndex++];
}

}  // namespace quelt
