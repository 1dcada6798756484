#pragma once
// Throughput for the benchmark programs: runs `draw` (once to warm up, then for at least
// `minSeconds` of processor time) and gives megapixels per second for `pixels` per run.
#include <ctime>
#include <functional>

namespace quelt_test {

inline double MegapixelRate(const std::function<void()>& draw, double pixels, double minSeconds) {
  draw();
  int runs = 0;
  const std::clock_t start = std::clock();
  double elapsed = 0;
  do {
    draw();
    ++runs;
    elapsed = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
  } while (elapsed < minSeconds);
  return pixels * runs / elapsed / 1e6;
}

}  // namespace quelt_test
