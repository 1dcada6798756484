#pragma once
// Seeded random memory images for the blitter and fill tests.
#include <algorithm>
#include <cmath>
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

// Pictures for the benchmarks: sprites and noise, with the transparent colour kept out of
// their opaque pixels.
inline constexpr uint32_t kKey32 = 0xFF00FF;
inline constexpr uint32_t kKey16 = 0xF81F;

// One picture as straight (not premultiplied) 0xAARRGGBB.
using Argb = std::vector<uint32_t>;

// A shape (an ellipse with a wavy outline) filling most of the picture, its colour a smooth
// blend of two random colours across it; outside it alpha 0. With softEdge the outline has
// a one-and-a-half pixel ramp of alpha, else every pixel is 0 or 255.
inline Argb SpritePicture(int32_t n, bool softEdge, std::mt19937& rng) {
  Argb px(static_cast<size_t>(n) * n, 0);
  const double c = (n - 1) / 2.0;
  const double rx = n * (0.30 + 0.18 * (rng() % 100) / 100.0), ry = n * (0.30 + 0.18 * (rng() % 100) / 100.0);
  const double waves = 3 + rng() % 5, depth = 0.05 + 0.1 * (rng() % 100) / 100.0;
  const uint32_t from = static_cast<uint32_t>(rng()), to = static_cast<uint32_t>(rng());
  for (int32_t y = 0; y < n; ++y) {
    for (int32_t x = 0; x < n; ++x) {
      const double dx = (x - c) / rx, dy = (y - c) / ry;
      const double edge = 1 + depth * std::sin(waves * std::atan2(dy, dx));
      const double inside = (edge - std::sqrt(dx * dx + dy * dy)) * std::min(rx, ry) / 1.5;  // in ~pixels
      int a = inside >= 1 ? 255 : inside <= 0 ? 0 : static_cast<int>(inside * 255);
      if (!softEdge) a = inside > 0.5 ? 255 : 0;
      if (a == 0) continue;
      const double t = (x + y) / (2.0 * n);
      uint32_t v = 0;
      for (int s = 0; s < 24; s += 8) {
        const double mix = ((from >> s) & 0xFF) * (1 - t) + ((to >> s) & 0xFF) * t;
        v |= static_cast<uint32_t>(mix) << s;
      }
      if (v == kKey32) v ^= 1;
      px[static_cast<size_t>(y) * n + x] = static_cast<uint32_t>(a) << 24 | v;
    }
  }
  return px;
}

// Random colours; a quarter of the pixels alpha 0, a quarter alpha 255.
inline Argb RandomPicture(int32_t n, bool softEdge, std::mt19937& rng) {
  Argb px(static_cast<size_t>(n) * n);
  for (uint32_t& v : px) {
    v = static_cast<uint32_t>(rng());
    const uint32_t pick = static_cast<uint32_t>(rng()) % 4;
    if (pick == 0 || !softEdge) v = (v & 0xFFFFFF) | (pick == 0 ? 0 : 0xFF000000u);
    if (pick == 1) v |= 0xFF000000;
    if ((v & 0xFFFFFF) == kKey32) v ^= 1;
  }
  return px;
}

inline uint16_t To565(uint32_t v) {
  return static_cast<uint16_t>((v >> 8 & 0xF800) | (v >> 5 & 0x7E0) | (v >> 3 & 0x1F));
}

// A source of the picture: the alpha kind carries the alpha byte, the transparent kind
// has the key where alpha is 0.
inline void MakePictureSource(Owned& out, const Argb& px, int32_t n, bool is16, bool alpha) {
  quelt::CreateMemImg(&out.img, n, n, -1, 0, is16 ? quelt::MemImgRgb565 : quelt::MemImgXrgb32, 0, alpha, 0, nullptr);
  quelt::MemImgBase& b = *out.img.base;
  b.transparentColour = is16 ? kKey16 : kKey32;
  for (int32_t y = 0; y < n; ++y) {
    uint8_t* row = b.pixels + y * b.pitch;
    for (int32_t x = 0; x < n; ++x) {
      const uint32_t v = px[static_cast<size_t>(y) * n + x];
      const uint32_t a = v >> 24;
      if (is16) {
        uint16_t c = To565(v);
        if (!alpha && a == 0) c = kKey16;
        if (!alpha && a != 0 && c == kKey16) c ^= 1;
        std::memcpy(row + x * (alpha ? 4 : 2), &c, 2);
        if (alpha) row[x * 4 + 2] = static_cast<uint8_t>(a);
      } else {
        const uint32_t c = alpha ? v : a == 0 ? kKey32 : (v & 0xFFFFFF);
        std::memcpy(row + x * 4, &c, 4);
      }
    }
  }
}

inline std::vector<uint8_t> Snapshot(const quelt::MEMIMG& img) {
  const quelt::MemImgBase& b = *img.base;
  return {b.pixels, b.pixels + int64_t{b.pitch} * b.height};
}
inline void Restore(quelt::MEMIMG& img, const std::vector<uint8_t>& bytes) {
  std::memcpy(img.base->pixels, bytes.data(), bytes.size());
}

}  // namespace blittest
