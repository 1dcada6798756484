// LZ decode throughput beside zlib's uncompress on the same data, in one run.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "file/lz_decode.h"
#include "file/pack_trees.h"
#include "tools/qla_writer/lz_encode.h"

#ifdef QUELT_BENCH_ZLIB
#include <zlib.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

// 32-bit sprite sheets: shaded shapes on a transparent ground, as the game's bitmaps are.
std::vector<uint8_t> SpriteSheet(std::mt19937& rng, int width, int height) {
  std::vector<uint8_t> out(static_cast<size_t>(width) * height * 4, 0);
  for (int s = 0; s < 60; ++s) {
    const int cx = static_cast<int>(rng() % width), cy = static_cast<int>(rng() % height);
    const int r = 8 + static_cast<int>(rng() % 40);
    const uint8_t base[3] = {static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng())};
    for (int y = cy - r; y < cy + r; ++y)
      for (int x = cx - r; x < cx + r; ++x) {
        if (x < 0 || y < 0 || x >= width || y >= height || (x - cx) * (x - cx) + (y - cy) * (y - cy) > r * r) continue;
        uint8_t* p = &out[(static_cast<size_t>(y) * width + x) * 4];
        const int shade = (y - cy + r) * 2;
        for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(std::min(255, base[c] / 2 + shade));
        p[3] = 255;
      }
  }
  return out;
}

std::vector<uint8_t> Text(std::mt19937& rng, size_t size) {
  static const char* words[] = {"the",    "runner", "course", "realm", "virtue", "training", "pace",  "rival",
                                "stride", "of",     "and",    "a",     "to",     "marathon", "wins",  "points",
                                "upper",  "lower",  "stage",  "pivot", "rod",    "relaxation", "physique", "in"};
  std::string text;
  while (text.size() < size) {
    text += words[rng() % (sizeof words / sizeof *words)];
    text += rng() % 12 == 0 ? ".\r\n" : " ";
  }
  text.resize(size);
  return {text.begin(), text.end()};
}

template <typename F>
double MegabytesPerSecond(size_t bytes, F&& decode) {
  int rounds = 0;
  const auto start = Clock::now();
  double seconds = 0;
  do {
    decode();
    ++rounds;
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
  } while (seconds < 0.5);
  return static_cast<double>(bytes) * rounds / seconds / 1e6;
}

void Measure(const char* name, const std::vector<uint8_t>& data) {
  const std::vector<uint8_t> block = quelt_tools::EncodeLzBlock(data.data(), data.size());
  std::vector<uint8_t> out(data.size());
  const double lz = MegabytesPerSecond(data.size(), [&] {
    quelt::DecodeLzBlock(block.data(), static_cast<uint32_t>(block.size()), out.data(), static_cast<uint32_t>(out.size()));
  });
  const bool lzOk = out == data;
  std::printf("%-14s %9zu bytes  LZ: ratio %5.1f%%  decode %8.1f MB/s%s", name, data.size(),
              100.0 * block.size() / data.size(), lz, lzOk ? "" : " (MISMATCH)");
#ifdef QUELT_BENCH_ZLIB
  uLongf packedSize = compressBound(static_cast<uLong>(data.size()));
  std::vector<uint8_t> packed(packedSize);
  compress2(packed.data(), &packedSize, data.data(), static_cast<uLong>(data.size()), 9);
  const double z = MegabytesPerSecond(data.size(), [&] {
    uLongf n = static_cast<uLongf>(out.size());
    uncompress(out.data(), &n, packed.data(), packedSize);
  });
  std::printf("  | zlib -9: ratio %5.1f%%  uncompress %8.1f MB/s  (LZ/zlib %.2fx)", 100.0 * packedSize / data.size(), z, lz / z);
#else
  std::printf("  | zlib: not linked in this build");
#endif
  std::printf("\n");
}

}  // namespace

int main() {
  std::mt19937 rng(2024);
  std::printf("LZ decoder against zlib uncompress (same data, one run)\n");
  Measure("sprites", SpriteSheet(rng, 1024, 1024));
  Measure("game-like", quelt_test::GameLikeBytes(rng, 4 << 20));
  Measure("text", Text(rng, 4 << 20));
  return 0;
}
