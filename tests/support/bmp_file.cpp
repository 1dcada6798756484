#include "support/bmp_file.h"

#include <cstdio>

namespace quelt::testing {

bool WriteBmp(const std::string& path, const std::vector<uint32_t>& pixels, int32_t width, int32_t height) {
  if (pixels.size() != static_cast<size_t>(width) * static_cast<size_t>(height)) return false;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const uint32_t stride = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
  const uint32_t data = stride * static_cast<uint32_t>(height);
  uint8_t header[54] = {'B', 'M'};
  auto put32 = [&header](int at, uint32_t v) {
    for (int i = 0; i < 4; ++i) header[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  put32(2, 54 + data);
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<uint32_t>(width));
  put32(22, static_cast<uint32_t>(height));
  header[26] = 1;
  header[28] = 24;
  put32(34, data);
  bool ok = std::fwrite(header, 1, sizeof header, f) == sizeof header;
  std::vector<uint8_t> row(stride, 0);
  for (int32_t y = height - 1; y >= 0 && ok; --y) {
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t p = pixels[static_cast<size_t>(y) * width + x];
      row[x * 3] = static_cast<uint8_t>(p);
      row[x * 3 + 1] = static_cast<uint8_t>(p >> 8);
      row[x * 3 + 2] = static_cast<uint8_t>(p >> 16);
    }
    ok = std::fwrite(row.data(), 1, stride, f) == stride;
  }
  return std::fclose(f) == 0 && ok;
}

std::vector<uint32_t> NoisePixels(int32_t width, int32_t height, uint32_t seed) {
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
  for (uint32_t& p : pixels) {
    seed = seed * 1664525u + 1013904223u;
    p = (seed >> 8) | 0x101010u;
  }
  return pixels;
}

}  // namespace quelt::testing
