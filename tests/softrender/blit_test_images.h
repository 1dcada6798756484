#pragma once
// Seeded random memory images for the blitter and fill tests.
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "softrender/memimg.h"

namespace blittest {

enum class Kind { Direct, Alpha, Palette };

struct Owned {
  quelt::MEMIMG img{};
  Owned() = default;
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  ~Owned() { quelt::ReleaseMemImg(&img); }
};

inline uint32_t Next(std::mt19937& rng) { return static_cast<uint32_t>(rng()); }

// Bytes biased towards the boundary values the rules treat specially.
inline uint8_t EdgeByte(std::mt19937& rng) {
  static constexpr uint8_t kEdges[] = {0, 1, 2, 127, 128, 129, 250, 254, 255};
  return Next(rng) % 3 == 0 ? kEdges[Next(rng) % 9] : static_cast<uint8_t>(Next(rng));
}

inline void FillRandom(quelt::MEMIMG& img, std::mt19937& rng) {
  const quelt::MemImgBase& b = *img.base;
  const int64_t size = int64_t{b.pitch} * b.height;
  for (int64_t i = 0; i < size; ++i) b.pixels[i] = EdgeByte(rng);
}

// A source of the kind given; transparent pixels and alpha 0/255 appear often.
inline void MakeSource(Owned& out, bool is16, Kind kind, int32_t w, int32_t h, std::mt19937& rng) {
  const uint32_t type = is16 ? quelt::MemImgRgb565 : quelt::MemImgXrgb32;
  quelt::CreateMemImg(&out.img, w, h, -1, 0, type, kind == Kind::Palette, kind == Kind::Alpha, 0, nullptr);
  quelt::MemImgBase& b = *out.img.base;
  FillRandom(out.img, rng);
  const int bytes = quelt::MemImgBytesPerPixel(b);
  if (kind == Kind::Palette) {
    for (int i = 0; i < (is16 ? 512 : 1024); ++i) b.palette[i] = static_cast<uint8_t>(Next(rng));
    if (!is16) {
      for (int i = 0; i < 256; ++i) b.palette[4 * i + 3] = 0;
    }
    b.paletteCount = 256;
    b.transparentColour = Next(rng) % 4;
    for (int32_t y = 0; y < h; ++y) {
      for (int32_t x = 0; x < w; ++x) {
        if (Next(rng) % 4 == 0) b.pixels[y * b.pitch + x] = static_cast<uint8_t>(b.transparentColour);
      }
    }
  } else if (kind == Kind::Direct) {
    uint32_t key = Next(rng);
    if (is16) key &= 0xFFFF;
    b.transparentColour = key;
    for (int32_t y = 0; y < h; ++y) {
      for (int32_t x = 0; x < w; ++x) {
        if (Next(rng) % 4 == 0) std::memcpy(b.pixels + y * b.pitch + x * bytes, &key, bytes);
      }
    }
  } else {
    for (int32_t y = 0; y < h; ++y) {
      for (int32_t x = 0; x < w; ++x) {
        uint8_t& a = b.pixels[y * b.pitch + x * bytes + (is16 ? 2 : 3)];
        const uint32_t pick = Next(rng) % 4;
        if (pick == 0) a = 0;
        if (pick == 1) a = 255;
      }
    }
  }
}

inline void MakeDest(Owned& out, bool is16, int32_t w, int32_t h, std::mt19937& rng) {
  quelt::CreateMemImg(&out.img, w, h, -1, 0, is16 ? quelt::MemImgRgb565 : quelt::MemImgXrgb32, 0, 0, 0,
                      nullptr);
  FillRandom(out.img, rng);
}

inline void MakeBlendImage(Owned& out, int32_t w, int32_t h, std::mt19937& rng) {
  quelt::CreateMemImg(&out.img, w, h, -1, 0, quelt::MemImgByte, 0, 0, 0, nullptr);
  FillRandom(out.img, rng);
}

inline std::vector<uint8_t> Snapshot(const quelt::MEMIMG& img) {
  const quelt::MemImgBase& b = *img.base;
  return {b.pixels, b.pixels + int64_t{b.pitch} * b.height};
}
inline void Restore(quelt::MEMIMG& img, const std::vector<uint8_t>& bytes) {
  std::memcpy(img.base->pixels, bytes.data(), bytes.size());
}

}  // namespace blittest
