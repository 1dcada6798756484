#pragma once
// Memory images with random contents for the rotation and triangle tests.
#include <cstdint>
#include <cstring>
#include <random>

#include "softrender/memimg.h"
#include "softrender/soft_draw_state.h"
#include "tests/softrender/rotate_reference.h"

namespace reftest {

enum class Kind { Direct, Alpha, Palette, Fill };

struct TestImage {
  quelt::MEMIMG img{};
  TestImage() = default;
  TestImage(const TestImage&) = delete;
  ~TestImage() { quelt::ReleaseMemImg(&img); }
  size_t Bytes() const { return static_cast<size_t>(img.base->pitch) * img.base->height; }
};

inline void EnsureTables() {
  static bool built = false;
  if (!built) {
    quelt::InitMemImgTables();
    built = true;
  }
}

// colourType 1 or 0; Kind selects direct, alpha or palette pixels.
inline void MakeSource(TestImage& t, uint32_t colourType, Kind kind, int32_t w, int32_t h,
                       std::mt19937& rng) {
  const int32_t palette = kind == Kind::Palette ? 1 : 0, alpha = kind == Kind::Alpha ? 1 : 0;
  quelt::CreateMemImg(&t.img, w, h, -1, 0, colourType, palette, alpha, 0, nullptr);
  quelt::MemImgBase& b = *t.img.base;
  for (size_t i = 0; i < t.Bytes(); ++i) b.pixels[i] = static_cast<uint8_t>(rng());
  const int32_t bpp = quelt::MemImgBytesPerPixel(b);
  if (palette) {
    for (int i = 0; i < 1024; ++i) b.palette[i] = static_cast<uint8_t>(rng());
    b.paletteCount = 256;
    b.transparentColour = 7;
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; x += 3) b.pixels[y * b.pitch + x] = 7;
  } else if (alpha) {
    // Alpha 0, 255 and values between, in equal shares.
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        uint8_t& a = b.pixels[y * b.pitch + x * 4 + (colourType == 1 ? 3 : 2)];
        const int r = static_cast<int>(rng() % 3);
        a = r == 0 ? 0 : r == 1 ? 255 : a;
      }
  } else {
    uint32_t key = 0;
    std::memcpy(&key, b.pixels, bpp);
    b.transparentColour = key;
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = y % 4; x < w; x += 4) {
        std::memcpy(b.pixels + y * b.pitch + x * bpp, &key, bpp);
        // A neighbour that differs only in its fourth byte is not transparent.
        if (colourType == 1 && x + 1 < w) {
          uint32_t near = key ^ 0x01000000u;
          std::memcpy(b.pixels + y * b.pitch + (x + 1) * 4, &near, 4);
        }
      }
  }
}

inline void MakePlain(TestImage& t, uint32_t colourType, int32_t w, int32_t h, std::mt19937& rng) {
  quelt::CreateMemImg(&t.img, w, h, -1, 0, colourType, 0, 0, 0, nullptr);
  for (size_t i = 0; i < t.Bytes(); ++i) t.img.base->pixels[i] = static_cast<uint8_t>(rng());
}

inline void SetDrawState(const RefState& s) {
  quelt::SoftDraw.BlendMode = static_cast<int32_t>(s.mode);
  quelt::SoftDraw.BlendParam = s.param;
  quelt::SoftDraw.BrightColour = s.bright;
  quelt::SoftDraw.ClipRect = s.clip;
}

}  // namespace reftest
