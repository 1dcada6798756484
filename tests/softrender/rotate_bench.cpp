// Megapixels per second (sprite pixels, 65536 per draw) of a 256 x 256 sprite rotated by 30
// degrees into a 640 x 480 image, per mode and depth, beside the unrotated plain blit of
// the same sprite and the slow reference.
#include <cstdio>
#include <ctime>
#include <cstring>
#include <functional>
#include <random>

#include "support/bench_rate.h"
#include "softrender/memimg_draw.h"
#include "softrender/rotate_blit.h"
#include "tests/softrender/rotate_test_images.h"

using namespace reftest;

namespace {

double MegapixelsPerSecond(const std::function<void()>& draw, double minSeconds) {
  return quelt_test::MegapixelRate(draw, 65536.0, minSeconds);
}

}  // namespace

int main() {
  EnsureTables();
  quelt::BuildBorderTable(100, 80);
  std::mt19937 rng(1);
  const float angle = 30.0f * 3.14159265f / 180.0f;
  std::printf("%-8s %-12s %10s %10s %10s %8s\n", "depth", "mode", "rotated", "plain", "reference",
              "ratio");
  for (uint32_t type : {1u, 0u}) {
    TestImage dest, sprite, alphaSprite, blend;
    quelt::CreateMemImg(&dest.img, 640, 480, -1, 0, type, 0, 0, 0, nullptr);
    std::memset(dest.img.base->pixels, 0x40, dest.Bytes());
    MakeSource(sprite, type, Kind::Direct, 256, 256, rng);
    MakeSource(alphaSprite, type, Kind::Alpha, 256, 256, rng);
    quelt::CreateMemImg(&blend.img, 256, 256, -1, 0, 2, 0, 0, 0, nullptr);
    for (size_t i = 0; i < blend.Bytes(); ++i) blend.img.base->pixels[i] = static_cast<uint8_t>(rng());
    struct Case {
      const char* name;
      uint32_t mode;
      int32_t param;
      uint32_t bright;
      int32_t trans;
      bool alphaSource;
      bool blendImage;
    };
    const Case cases[] = {
        {"plain", 0, 0, 0xFFFFFF, 0, false, false},
        {"transparent", 0, 0, 0xFFFFFF, 1, false, false},
        {"alpha", 1, 128, 0xFFFFFF, 0, false, false},
        {"alpha chan.", 0, 0, 0xFFFFFF, 1, true, false},
        {"blend image", 0, 0, 0xFFFFFF, 0, false, true},
        {"bright", 0, 0, 0x80C0FF, 0, false, false},
    };
    for (const Case& c : cases) {
      const RefState state{c.mode, c.param, c.bright, {0, 0, 640, 480}};
      SetDrawState(state);
      const quelt::MEMIMG* src = c.alphaSource ? &alphaSprite.img : &sprite.img;
      const quelt::MEMIMG* b = c.blendImage ? &blend.img : nullptr;
      const double rotated = MegapixelsPerSecond(
          [&] { quelt::MemImgRotateBlit(&dest.img, src, 320, 240, angle, 1.0f, c.trans, 0, b); }, 0.3);
      const double plain = MegapixelsPerSecond(
          [&] { quelt::MemImgBlit(&dest.img, src, 192, 112, c.trans, b); }, 0.3);
      const double reference = MegapixelsPerSecond(
          [&] { RefRotateBlit(&dest.img, src, 320, 240, angle, 1.0f, c.trans, 0, b, state); }, 0.3);
      std::printf("%-8s %-12s %10.1f %10.1f %10.1f %8.2f\n", type == 1 ? "32-bit" : "16-bit",
                  c.name, rotated, plain, reference, rotated / plain);
    }
  }
  return 0;
}
