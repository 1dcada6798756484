// The renderer fuzz harness on random inputs: no sanitizer finding and no pixel written
// outside the destination's clip (the harness traps on one).
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "fuzz/softrender_draw/draw_harness.h"

TEST(SoftrenderDrawReplay, RandomDrawsStayInsideTheClip) {
  std::mt19937 rng(2026);
  for (const char* entry : {"blit", "stretch", "rotate", "triangle", "quad"}) {
    for (int round = 0; round < 400; ++round) {
      std::vector<uint8_t> bytes(64 + rng() % 64);
      for (auto& b : bytes) b = static_cast<uint8_t>(rng());
      ASSERT_TRUE(quelt_fuzz::RunDrawTarget(entry, bytes.data(), bytes.size())) << entry;
    }
  }
  EXPECT_FALSE(quelt_fuzz::RunDrawTarget("none", nullptr, 0));
}
