// Megapixels per second (sprite pixels, 65536 per draw) of a 256 x 256 sprite rotated by 30
// degrees into a 640 x 480 image, per mode and depth, beside the unrotated plain blit of
// the same sprite and the slow reference. Then, where SDL2 is installed (native build), the
// alpha-channel and transparent-colour sprites of three sizes beside SDL2's software
// renderer drawing the same pixels rotated with blending (SDL_RenderCopyEx): sprite pictures
// (opaque shapes of smooth colour on a transparent ground, four different ones drawn in
// turn) from 16 to 1024 pixels square, and random pixels; five rounds taking turns, medians.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <random>
#include <string>
#include <vector>


#include "blit_test_images.h"
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

constexpr int kPictures = 4;
using Pictures = std::array<blittest::Owned, kPictures>;

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

#if QUELT_BENCH_SDL2
// SDL's rotated copies of the same pictures into a surface of the destination's size, in
// turn: alpha ones as ARGB8888 blended by their alpha, transparent ones as XRGB8888 with the
// transparent colour as the colour key (SDL turns the key into alpha 0 in the texture).
double SdlRotatedRate(const Pictures& pictures, bool alphaSprite, int32_t destSize) {
  SDL_Surface* target = SDL_CreateRGBSurfaceWithFormat(0, destSize, destSize, 32, SDL_PIXELFORMAT_ARGB8888);
  SDL_Renderer* renderer = target ? SDL_CreateSoftwareRenderer(target) : nullptr;
  if (!renderer) {
    std::printf("SDL2 peer unavailable: %s\n", SDL_GetError());
    return 0;
  }
  std::memset(target->pixels, 0x40, static_cast<size_t>(target->pitch) * destSize);
  const uint32_t format = alphaSprite ? SDL_PIXELFORMAT_ARGB8888 : SDL_PIXELFORMAT_RGB888;
  std::array<SDL_Texture*, kPictures> textures{};
  const int32_t size = pictures[0].img.width;
  for (int i = 0; i < kPictures; ++i) {
    const quelt::MEMIMG& sprite = pictures[i].img;
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, size, size, 32, format);
    for (int32_t y = 0; y < size; ++y) {
      std::memcpy(static_cast<uint8_t*>(surface->pixels) + y * surface->pitch, sprite.pixels + y * sprite.base->pitch,
                  static_cast<size_t>(size) * 4);
    }
    if (!alphaSprite) SDL_SetColorKey(surface, SDL_TRUE, sprite.base->transparentColour & 0xFFFFFFu);
    textures[i] = SDL_CreateTextureFromSurface(renderer, surface);
    SDL_SetTextureBlendMode(textures[i], SDL_BLENDMODE_BLEND);
    SDL_FreeSurface(surface);
  }
  const SDL_Rect rect{destSize / 2 - size / 2, destSize / 2 - size / 2, size, size};
  int next = 0;
  const double rate = quelt_test::MegapixelRate(
      [&] {
        SDL_RenderCopyEx(renderer, textures[next], nullptr, &rect, 30.0, nullptr, SDL_FLIP_NONE);
        SDL_RenderFlush(renderer);
        next = (next + 1) % kPictures;
      },
      static_cast<double>(size) * size, 0.05);
  for (SDL_Texture* t : textures) SDL_DestroyTexture(t);
  SDL_DestroyRenderer(renderer);
  SDL_FreeSurface(target);
  return rate;
}
#endif

// The alpha-channel and transparent-colour pictures (32-bit, transparent flag set, mode 0),
// rotated into an image large enough to hold them, beside SDL2.
void PeerComparison(std::mt19937& rng) {
  std::printf("\n%-8s %-22s %6s %10s %10s %8s\n", "depth", "mode", "size", "rotated", "SDL2", "ratio");
  constexpr int32_t kDestSize = 1500;
  TestImage dest;
  quelt::CreateMemImg(&dest.img, kDestSize, kDestSize, -1, 0, 1, 0, 0, 0, nullptr);
  std::memset(dest.img.base->pixels, 0x40, dest.Bytes());
  SetDrawState(RefState{0, 0, 0xFFFFFF, {0, 0, kDestSize, kDestSize}});
  for (bool sprites : {true, false}) {
    for (int32_t size : {16, 64, 256, 1024}) {
      if (!sprites && size < 64) continue;
      for (bool alphaSprite : {true, false}) {
        Pictures pictures;
        for (blittest::Owned& p : pictures) {
          const blittest::Argb px =
              sprites ? blittest::SpritePicture(size, alphaSprite, rng) : blittest::RandomPicture(size, alphaSprite, rng);
          blittest::MakePictureSource(p, px, size, false, alphaSprite);
        }
        const double pixels = static_cast<double>(size) * size;
        std::vector<double> ours, peer;
        int next = 0;
        for (int round = 0; round < 5; ++round) {
          ours.push_back(quelt_test::MegapixelRate(
              [&] {
                quelt::MemImgRotateBlit(&dest.img, &pictures[next].img, kDestSize / 2, kDestSize / 2, kAngle, 1.0f,
                                        1, 0, nullptr);
                next = (next + 1) % kPictures;
              },
              pixels, 0.05));
#if QUELT_BENCH_SDL2
          peer.push_back(SdlRotatedRate(pictures, alphaSprite, kDestSize));
#endif
        }
        const std::string name = std::string(alphaSprite ? "alpha chan." : "transparent") + (sprites ? " sprite" : " random");
        const double o = Median(ours), q = Median(peer);
        if (q > 0) {
          std::printf("%-8s %-22s %6d %10.1f %10.1f %8.2f\n", "32-bit", name.c_str(), size, o, q, o / q);
        } else {
          std::printf("%-8s %-22s %6d %10.1f %10s %8s\n", "32-bit", name.c_str(), size, o, "-", "-");
        }
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
