// Megapixels per second of the per-pixel alpha and the transparent-colour blits, plain and
// stretched, at both depths, beside their peers run in the same program: pixman's OVER of
// an a8r8g8b8 source and SDL2's surface blits (alpha blending, colour key), with the ratio
// ours / peer. Random images; a 64 x 64 source is drawn 81 times over a 600 x 600
// destination (stretched: once to 600 x 600), a 600 x 600 source once (stretched: to 400 x 400).
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "blit_test_images.h"
#include "support/bench_rate.h"
#include "softrender/memimg_draw.h"
#include "softrender/soft_draw_state.h"

#ifdef QUELT_BENCH_PIXMAN
#include <pixman.h>
#endif
#ifdef QUELT_BENCH_SDL2
#include <SDL.h>
#endif

namespace {

using blittest::Kind;
using blittest::Owned;

constexpr int32_t kDestSize = 600;
constexpr double kSeconds = 0.04;

struct Layout {
  int32_t srcSize;
  int32_t drawSize;  // destination size of one draw
  int tiles;         // draws per row and column
  double pixels() const { return double(drawSize) * drawSize * tiles * tiles; }
  int32_t at(int t) const { return t * 66; }
};

Layout LayoutFor(int32_t size, bool stretched) {
  if (!stretched) return {size, size, size == 64 ? 9 : 1};
  return {size, size == 64 ? 600 : 400, 1};
}

template <class F>
double Tiled(const Layout& l, F draw) {
  return quelt_test::MegapixelRate(
      [&] {
        for (int ty = 0; ty < l.tiles; ++ty) {
          for (int tx = 0; tx < l.tiles; ++tx) draw(l.at(tx), l.at(ty));
        }
      },
      l.pixels(), kSeconds);
}

// Random 32-bit B, G, R, A pixels with a = 0 and a = 255 as often as in our own source.
void RandomArgb(std::vector<uint32_t>& px, int32_t n, std::mt19937& rng) {
  px.resize(static_cast<size_t>(n) * n);
  for (uint32_t& v : px) {
    v = static_cast<uint32_t>(rng());
    const uint32_t pick = static_cast<uint32_t>(rng()) % 4;
    if (pick == 0) v &= 0xFFFFFF;
    if (pick == 1) v |= 0xFF000000;
  }
}

#ifdef QUELT_BENCH_PIXMAN
double PixmanOver(const Layout& l, std::vector<uint32_t>& src, const quelt::MEMIMG& dest, bool is16) {
  pixman_image_t* ps = pixman_image_create_bits(PIXMAN_a8r8g8b8, l.srcSize, l.srcSize, src.data(), l.srcSize * 4);
  pixman_image_t* pd = pixman_image_create_bits(is16 ? PIXMAN_r5g6b5 : PIXMAN_x8r8g8b8, dest.width, dest.height,
                                                reinterpret_cast<uint32_t*>(dest.pixels), dest.base->pitch);
  if (l.drawSize != l.srcSize) {
    pixman_transform_t t;
    const pixman_fixed_t scale = pixman_double_to_fixed(double(l.srcSize) / l.drawSize);
    pixman_transform_init_scale(&t, scale, scale);
    pixman_image_set_transform(ps, &t);
    pixman_image_set_filter(ps, PIXMAN_FILTER_NEAREST, nullptr, 0);
  }
  const double rate = Tiled(l, [&](int32_t x, int32_t y) {
    pixman_image_composite32(PIXMAN_OP_OVER, ps, nullptr, pd, 0, 0, 0, 0, x, y, l.drawSize, l.drawSize);
  });
  pixman_image_unref(ps);
  pixman_image_unref(pd);
  return rate;
}
#endif

#ifdef QUELT_BENCH_SDL2
SDL_Surface* WrapSurface(void* pixels, int32_t w, int32_t h, int32_t pitch, Uint32 format) {
  return SDL_CreateRGBSurfaceWithFormatFrom(pixels, w, h, SDL_BITSPERPIXEL(format), pitch, format);
}

// SDL2's blit of `s` onto the destination: plain or scaled, with whatever `s` is set to.
double SdlBlit(const Layout& l, SDL_Surface* s, const quelt::MEMIMG& dest, bool is16) {
  SDL_Surface* d = WrapSurface(dest.pixels, dest.width, dest.height, dest.base->pitch,
                               is16 ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_XRGB8888);
  const double rate = Tiled(l, [&](int32_t x, int32_t y) {
    SDL_Rect to{x, y, l.drawSize, l.drawSize};
    if (l.drawSize == l.srcSize) SDL_BlitSurface(s, nullptr, d, &to);
    else SDL_BlitScaled(s, nullptr, d, &to);
  });
  SDL_FreeSurface(d);
  return rate;
}
#endif

void PrintRow(const char* depth, const char* blit, const Layout& l, double ours, double pixman, double sdl) {
  std::printf("%-5s %-30s %-8s %10.1f", depth, blit, l.srcSize == 64 ? "64x64" : "600x600", ours);
  for (double peer : {pixman, sdl}) {
    if (peer > 0) std::printf(" %10.1f %6.2fx", peer, ours / peer);
    else std::printf(" %10s %7s", "-", "-");
  }
  std::printf("\n");
}

}  // namespace

int main() {
  quelt::InitMemImgTables();
  std::mt19937 rng(7);
  std::printf("ours: mode 0 with transparency on; alpha = per-pixel alpha source, transparent = "
              "transparent colour\npeers: pixman OVER of an a8r8g8b8 source, SDL2 surface blit "
              "(alpha: BLENDMODE_BLEND of ARGB8888; transparent: colour key)\n");
  std::printf("%-5s %-30s %-8s %10s %10s %7s %10s %7s\n", "depth", "blit", "source", "MP/s", "pixman",
              "ratio", "SDL2", "ratio");
  quelt::SoftDraw = quelt::SoftDrawState{0, 255, 0xFFFFFF, {0, 0, kDestSize, kDestSize}};
  for (bool is16 : {false, true}) {
    const char* depth = is16 ? "16" : "32";
    Owned dest;
    blittest::MakeDest(dest, is16, kDestSize, kDestSize, rng);
    for (bool stretched : {false, true}) {
      for (Kind kind : {Kind::Alpha, Kind::Direct}) {
        for (int32_t size : {64, 600}) {
          const Layout l = LayoutFor(size, stretched);
          Owned src;
          blittest::MakeSource(src, is16, kind, size, size, rng);
          std::vector<uint32_t> argb;
          RandomArgb(argb, size, rng);
          // Ours and the peers' in turn, five times, each the best of its five: the machine
          // may be shared, and a passing load then weighs on all of them alike.
          double ours = 0;
          double pixman = 0;
          double sdl = 0;
          const auto best = [](double& keep, double rate) { keep = rate > keep ? rate : keep; };
          for (int round = 0; round < 5; ++round) {
            best(ours, Tiled(l, [&](int32_t x, int32_t y) {
                   if (stretched) {
                     const quelt::IntRect r{x, y, x + l.drawSize, y + l.drawSize};
                     quelt::MemImgStretchBlit(&dest.img, &src.img, &r, 1, nullptr);
                   } else {
                     quelt::MemImgBlit(&dest.img, &src.img, x, y, 1, nullptr);
                   }
                 }));
            if (kind == Kind::Alpha) {
#ifdef QUELT_BENCH_PIXMAN
              best(pixman, PixmanOver(l, argb, dest.img, is16));
#endif
#ifdef QUELT_BENCH_SDL2
              SDL_Surface* s = WrapSurface(argb.data(), size, size, size * 4, SDL_PIXELFORMAT_ARGB8888);
              SDL_SetSurfaceBlendMode(s, SDL_BLENDMODE_BLEND);
              best(sdl, SdlBlit(l, s, dest.img, is16));
              SDL_FreeSurface(s);
#endif
            } else {
#ifdef QUELT_BENCH_SDL2
              // The same pixels and key as ours.
              SDL_Surface* s = WrapSurface(src.img.pixels, size, size, src.img.base->pitch,
                                           is16 ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_XRGB8888);
              SDL_SetColorKey(s, SDL_TRUE, src.img.base->transparentColour);
              best(sdl, SdlBlit(l, s, dest.img, is16));
              SDL_FreeSurface(s);
#endif
            }
          }
          std::string name = kind == Kind::Alpha ? "alpha" : "transparent";
          if (stretched) name += size == 64 ? " stretched to 600" : " stretched to 400";
          PrintRow(depth, name.c_str(), l, ours, pixman, sdl);
        }
      }
    }
  }
  return 0;
}
