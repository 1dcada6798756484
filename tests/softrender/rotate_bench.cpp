// Megapixels per second (sprite pixels, 65536 per draw) of a 256 x 256 sprite rotated by 30
// degrees into a 640 x 480 image, per mode and depth, beside the unrotated plain blit of
// the same sprite and the slow reference. Then, where SDL2 is installed (native build), the
// alpha-channel and transparent-colour sprites of three sizes beside SDL2's software
// renderer drawing the same pixels rotated with blending (SDL_RenderCopyEx).
#include <cstdio>
#include <ctime>
#include <cstring>
#include <functional>
#include <random>

#include "support/bench_rate.h"
#include "softrender/memimg_draw.h"
#include "softrender/rotate_blit.h"
#include "tests/softrender/rotate_test_images.h"

#if QUELT_BENCH_SDL2
#include <SDL.h>
#endif

using namespace reftest;

namespace {

double MegapixelsPerSecond(const std::function<void()>& draw, double minSeconds) {
  return quelt_test::MegapixelRate(draw, 65536.0, minSeconds);
}

constexpr float kAngle = 30.0f * 3.14159265f / 180.0f;

#if QUELT_BENCH_SDL2
// SDL's rotated copy of the same sprite into a surface of the destination's size: the
// alpha sprite as ARGB8888 blended by its alpha, the transparent one as XRGB8888 with its
// transparent colour as the colour key (SDL turns the key into alpha 0 in the texture).
double SdlRotatedRate(const quelt::MEMIMG& sprite, bool alphaSprite, int32_t destSize) {
  SDL_Surface* target = SDL_CreateRGBSurfaceWithFormat(0, destSize, destSize, 32, SDL_PIXELFORMAT_ARGB8888);
  SDL_Renderer* renderer = target ? SDL_CreateSoftwareRenderer(target) : nullptr;
  const uint32_t format = alphaSprite ? SDL_PIXELFORMAT_ARGB8888 : SDL_PIXELFORMAT_RGB888;
  SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, sprite.width, sprite.height, 32, format);
  if (!renderer || !surface) {
    std::printf("SDL2 peer unavailable: %s\n", SDL_GetError());
    return 0;
  }
  std::memset(target->pixels, 0x40, static_cast<size_t>(target->pitch) * destSize);
  for (int32_t y = 0; y < sprite.height; ++y) {
    std::memcpy(static_cast<uint8_t*>(surface->pixels) + y * surface->pitch,
                sprite.pixels + y * sprite.base->pitch, static_cast<size_t>(sprite.width) * 4);
  }
  if (!alphaSprite) SDL_SetColorKey(surface, SDL_TRUE, sprite.base->transparentColour & 0xFFFFFFu);
  SDL_Texture* texture = SDL_CreateTextureFromSurface(renderer, surface);
  SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_BLEND);
  const SDL_Rect rect{destSize / 2 - sprite.width / 2, destSize / 2 - sprite.height / 2, sprite.width,
                      sprite.height};
  const double angleDegrees = 30.0;
  const double rate = quelt_test::MegapixelRate(
      [&] {
        SDL_RenderCopyEx(renderer, texture, nullptr, &rect, angleDegrees, nullptr, SDL_FLIP_NONE);
        SDL_RenderFlush(renderer);
      },
      static_cast<double>(sprite.width) * sprite.height, 0.3);
  SDL_DestroyTexture(texture);
  SDL_FreeSurface(surface);
  SDL_DestroyRenderer(renderer);
  SDL_FreeSurface(target);
  return rate;
}
#endif

// The alpha-channel and transparent-colour sprites (32-bit, transparent flag set, mode 0)
// at 64, 256 and 600 pixels square, rotated into an image large enough to hold them.
void PeerComparison(std::mt19937& rng) {
  std::printf("\n%-8s %-12s %6s %10s %10s %8s\n", "depth", "mode", "size", "rotated", "SDL2", "ratio");
  constexpr int32_t kDestSize = 1024;
  TestImage dest;
  quelt::CreateMemImg(&dest.img, kDestSize, kDestSize, -1, 0, 1, 0, 0, 0, nullptr);
  std::memset(dest.img.base->pixels, 0x40, dest.Bytes());
  SetDrawState(RefState{0, 0, 0xFFFFFF, {0, 0, kDestSize, kDestSize}});
  for (int32_t size : {64, 256, 600}) {
    for (bool alphaSprite : {true, false}) {
      TestImage sprite;
      MakeSource(sprite, 1, alphaSprite ? Kind::Alpha : Kind::Direct, size, size, rng);
      const double pixels = static_cast<double>(size) * size;
      const double ours = quelt_test::MegapixelRate(
          [&] { quelt::MemImgRotateBlit(&dest.img, &sprite.img, kDestSize / 2, kDestSize / 2, kAngle, 1.0f, 1, 0, nullptr); },
          pixels, 0.3);
      double peer = 0;
#if QUELT_BENCH_SDL2
      peer = SdlRotatedRate(sprite.img, alphaSprite, kDestSize);
#endif
      if (peer > 0) {
        std::printf("%-8s %-12s %6d %10.1f %10.1f %8.2f\n", "32-bit", alphaSprite ? "alpha chan." : "transparent",
                    size, ours, peer, ours / peer);
      } else {
        std::printf("%-8s %-12s %6d %10.1f %10s %8s\n", "32-bit", alphaSprite ? "alpha chan." : "transparent",
                    size, ours, "-", "-");
      }
    }
  }
}

}  // namespace

int main() {
  EnsureTables();
  quelt::BuildBorderTable(100, 80);
  std::mt19937 rng(1);
  const float angle = kAngle;
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
  PeerComparison(rng);
  return 0;
}
