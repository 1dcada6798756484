// LZ decode throughput beside zlib's uncompress (and, natively, LZ4's decoder) on the same
// data: sprite sheets, game-like bytes and text from 4 KB to 16 MB. Each decoder takes its
// turn in every round; the figures are the medians of the rounds.
#include <algorithm>
#include <chrono>
#include <cmath>
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
#ifdef QUELT_BENCH_LZ4
#include <lz4.h>
#include <lz4hc.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

// 32-bit sprite sheets: shaded shapes on a transparent ground, as the game's bitmaps are.
// 60 shapes per megapixel; a small sheet holds one or a few.
std::vector<uint8_t> SpriteSheet(std::mt19937& rng, size_t bytes) {
  const int width = std::max(1, static_cast<int>(std::sqrt(static_cast<double>(bytes / 4))));
  const int height = static_cast<int>(bytes / 4 / width);
  std::vector<uint8_t> out(static_cast<size_t>(width) * height * 4, 0);
  const int shapes = std::max(1, static_cast<int>(60.0 * width * height / (1 << 20)));
  for (int s = 0; s < shapes; ++s) {
    const int cx = static_cast<int>(rng() % width), cy = static_cast<int>(rng() % height);
    const int r = std::min(8 + static_cast<int>(rng() % 40), std::max(width, height) / 2);
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
  out.resize(bytes, 0);
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

constexpr double kSeconds = 0.05;
constexpr int kRounds = 5;

template <typename F>
double MegabytesPerSecond(size_t bytes, F&& decode) {
  decode();
  int rounds = 0;
  const auto start = Clock::now();
  double seconds = 0;
  do {
    decode();
    ++rounds;
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
  } while (seconds < kSeconds);
  return static_cast<double>(bytes) * rounds / seconds / 1e6;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

void Measure(const char* name, const std::vector<uint8_t>& data) {
  const std::vector<uint8_t> block = quelt_tools::EncodeLzBlock(data.data(), data.size());
  std::vector<uint8_t> out(data.size());
  std::vector<double> lz, z, l4;
#ifdef QUELT_BENCH_ZLIB
  uLongf packedSize = compressBound(static_cast<uLong>(data.size()));
  std::vector<uint8_t> packed(packedSize);
  compress2(packed.data(), &packedSize, data.data(), static_cast<uLong>(data.size()), 9);
#endif
#ifdef QUELT_BENCH_LZ4
  std::vector<char> packed4(static_cast<size_t>(LZ4_compressBound(static_cast<int>(data.size()))));
  const int packed4Size = LZ4_compress_HC(reinterpret_cast<const char*>(data.data()), packed4.data(),
                                          static_cast<int>(data.size()), static_cast<int>(packed4.size()),
                                          LZ4HC_CLEVEL_MAX);
#endif
  for (int round = 0; round < kRounds; ++round) {
    lz.push_back(MegabytesPerSecond(data.size(), [&] {
      quelt::DecodeLzBlock(block.data(), static_cast<uint32_t>(block.size()), out.data(),
                           static_cast<uint32_t>(out.size()));
    }));
#ifdef QUELT_BENCH_ZLIB
    z.push_back(MegabytesPerSecond(data.size(), [&] {
      uLongf n = static_cast<uLongf>(out.size());
      uncompress(out.data(), &n, packed.data(), packedSize);
    }));
#endif
#ifdef QUELT_BENCH_LZ4
    l4.push_back(MegabytesPerSecond(data.size(), [&] {
      LZ4_decompress_safe(packed4.data(), reinterpret_cast<char*>(out.data()), packed4Size,
                          static_cast<int>(out.size()));
    }));
#endif
  }
  quelt::DecodeLzBlock(block.data(), static_cast<uint32_t>(block.size()), out.data(), static_cast<uint32_t>(out.size()));
  const bool lzOk = out == data;
  const double ours = Median(lz);
  std::printf("%-9s %9zu  LZ %5.1f%% %8.1f MB/s%s", name, data.size(), 100.0 * block.size() / data.size(), ours,
              lzOk ? "" : " (MISMATCH)");
#ifdef QUELT_BENCH_ZLIB
  std::printf("  | zlib -9 %5.1f%% %8.1f MB/s %5.2fx", 100.0 * packedSize / data.size(), Median(z),
              ours / Median(z));
#else
  std::printf("  | zlib: not linked");
#endif
#ifdef QUELT_BENCH_LZ4
  std::printf("  | LZ4 HC %5.1f%% %8.1f MB/s %5.2fx", 100.0 * packed4Size / data.size(), Median(l4),
              ours / Median(l4));
#endif
  std::printf("\n");
  std::fflush(stdout);
}

}  // namespace

int main() {
  std::mt19937 rng(2024);
  std::printf("LZ decoder beside zlib's uncompress and LZ4's decoder (same data, medians of %d rounds taking "
              "turns; ratio = LZ / peer)\n", kRounds);
  for (size_t size = 4 << 10; size <= (16u << 20); size *= 4) {
    Measure("sprites", SpriteSheet(rng, size));
    Measure("game-like", quelt_test::GameLikeBytes(rng, size));
    Measure("text", Text(rng, size));
  }
  return 0;
}
