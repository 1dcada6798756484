// Megapixels per second of the per-pixel alpha and the transparent-colour blits, plain and
// stretched, at both depths and sizes 16 to 1024, beside their peers run in the same program:
// pixman's OVER of an a8r8g8b8 source (premultiplied; for the transparent colour the same
// picture with alpha 0 and 255), SDL2's surface blits (alpha blending, colour key) plain and
// with SDL_RLEACCEL. The main case is sprite pictures: opaque shapes of smooth colour on a
// transparent ground (alpha ones with a soft edge), several different ones per run. Random
// pixels (a quarter transparent, a quarter opaque) come second. Sources are drawn side by
// side over a 1024 x 1024 destination; stretched draws are 3/2 of the source (3/4 at 1024).
// Ours and each peer take turns for five rounds; the figures are the medians of the rounds.
// Plain blits also print their floors (blit_floor.h): the same pixels drawn by a bare loop
// with the spans known in advance, from the image's pixels and from a packed stream of the
// opaque colours as SDL2's RLE keeps, each beside SDL2 with RLE; "same" tells whether both
// drew exactly the engine's pixels (checked untimed).
// QUELT_BENCH_ROWS, when set, keeps the rows whose "depth name size" contains it (for profiling).
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "blit_floor.h"
#include "blit_test_images.h"
#include "support/bench_rate.h"
#include "softrender/memimg_draw.h"
#include "softrender/memimg_format.h"
#include "softrender/soft_draw_state.h"

#ifdef QUELT_BENCH_PIXMAN
#include <pixman.h>
#endif
#ifdef QUELT_BENCH_SDL2
#include <SDL.h>
#endif

namespace {

using blittest::Argb;
using blittest::Owned;

constexpr int32_t kDestSize = 1024;
constexpr double kSeconds = 0.02;
constexpr int kRounds = 5;
constexpr int kPictures = 4;  // different pictures per run, drawn in turn
constexpr int32_t kSpriteSizes[] = {16, 32, 64, 128, 256, 512, 1024};
constexpr int32_t kRandomSizes[] = {64, 256, 1024};

struct Layout {
  int32_t srcSize;
  int32_t drawSize;  // destination size of one draw
  int tiles;         // draws per row and column
  double pixels() const { return double(drawSize) * drawSize * tiles * tiles; }
  int32_t at(int t) const { return t * drawSize; }
};

Layout LayoutFor(int32_t size, bool stretched) {
  const int32_t draw = !stretched ? size : size * 2 <= kDestSize ? size * 3 / 2 : size * 3 / 4;
  return {size, draw, std::max(1, kDestSize / draw)};
}

// Runs draw(x, y, picture) over the tiles, the pictures taken in turn.
template <class F>
double Tiled(const Layout& l, F draw) {
  return quelt_test::MegapixelRate(
      [&] {
        int picture = 0;
        for (int ty = 0; ty < l.tiles; ++ty) {
          for (int tx = 0; tx < l.tiles; ++tx) {
            draw(l.at(tx), l.at(ty), picture);
            picture = (picture + 1) % kPictures;
          }
        }
      },
      l.pixels(), kSeconds);
}

struct Picture {
  Argb straight;      // SDL2's alpha source
  Argb premultiplied; // pixman's source
  Owned ours;
};

void MakePicture(Picture& p, bool sprite, int32_t n, bool is16, bool alpha, std::mt19937& rng) {
  p.straight = sprite ? blittest::SpritePicture(n, alpha, rng) : blittest::RandomPicture(n, alpha, rng);
  blittest::MakePictureSource(p.ours, p.straight, n, is16, alpha);
  quelt::AddMemImgRunTable(&p.ours.img);  // as the engine's loaded graphs have
  p.premultiplied.resize(p.straight.size());
  for (size_t i = 0; i < p.straight.size(); ++i) {
    const uint32_t v = p.straight[i], a = v >> 24;
    uint32_t m = a << 24;
    for (int s = 0; s < 24; s += 8) m |= (((v >> s) & 0xFF) * a + 127) / 255 << s;
    p.premultiplied[i] = m;
  }
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

#ifdef QUELT_BENCH_PIXMAN
double PixmanOver(const Layout& l, std::array<Picture, kPictures>& pics, const quelt::MEMIMG& dest, bool is16) {
  std::array<pixman_image_t*, kPictures> ps{};
  for (int i = 0; i < kPictures; ++i) {
    ps[i] = pixman_image_create_bits(PIXMAN_a8r8g8b8, l.srcSize, l.srcSize, pics[i].premultiplied.data(),
                                     l.srcSize * 4);
    if (l.drawSize != l.srcSize) {
      pixman_transform_t t;
      const pixman_fixed_t scale = pixman_double_to_fixed(double(l.srcSize) / l.drawSize);
      pixman_transform_init_scale(&t, scale, scale);
      pixman_image_set_transform(ps[i], &t);
      pixman_image_set_filter(ps[i], PIXMAN_FILTER_NEAREST, nullptr, 0);
    }
  }
  pixman_image_t* pd = pixman_image_create_bits(is16 ? PIXMAN_r5g6b5 : PIXMAN_x8r8g8b8, dest.width, dest.height,
                                                reinterpret_cast<uint32_t*>(dest.pixels), dest.base->pitch);
  const double rate = Tiled(l, [&](int32_t x, int32_t y, int i) {
    pixman_image_composite32(PIXMAN_OP_OVER, ps[i], nullptr, pd, 0, 0, 0, 0, x, y, l.drawSize, l.drawSize);
  });
  for (pixman_image_t* p : ps) pixman_image_unref(p);
  pixman_image_unref(pd);
  return rate;
}
#endif

#ifdef QUELT_BENCH_SDL2
SDL_Surface* WrapSurface(void* pixels, int32_t w, int32_t h, int32_t pitch, Uint32 format) {
  return SDL_CreateRGBSurfaceWithFormatFrom(pixels, w, h, SDL_BITSPERPIXEL(format), pitch, format);
}

// SDL2's blits of the pictures: alpha ones as blended ARGB8888, transparent ones as our own
// pixels with the key; with rle the surfaces are SDL_RLEACCEL (encoded at the warm-up draw).
double SdlBlit(const Layout& l, std::array<Picture, kPictures>& pics, bool alpha, bool rle,
               const quelt::MEMIMG& dest, bool is16) {
  SDL_Surface* d = WrapSurface(dest.pixels, dest.width, dest.height, dest.base->pitch,
                               is16 ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_XRGB8888);
  std::array<SDL_Surface*, kPictures> s{};
  for (int i = 0; i < kPictures; ++i) {
    if (alpha) {
      s[i] = WrapSurface(pics[i].straight.data(), l.srcSize, l.srcSize, l.srcSize * 4, SDL_PIXELFORMAT_ARGB8888);
      SDL_SetSurfaceBlendMode(s[i], SDL_BLENDMODE_BLEND);
    } else {
      const quelt::MemImgBase& b = *pics[i].ours.img.base;
      s[i] = WrapSurface(b.pixels, l.srcSize, l.srcSize, b.pitch, is16 ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_XRGB8888);
      SDL_SetColorKey(s[i], SDL_TRUE, b.transparentColour);
    }
    if (rle) SDL_SetSurfaceRLE(s[i], 1);
  }
  const double rate = Tiled(l, [&](int32_t x, int32_t y, int i) {
    SDL_Rect to{x, y, l.drawSize, l.drawSize};
    if (l.drawSize == l.srcSize) SDL_BlitSurface(s[i], nullptr, d, &to);
    else SDL_BlitScaled(s[i], nullptr, d, &to);
  });
  for (SDL_Surface* p : s) SDL_FreeSurface(p);
  SDL_FreeSurface(d);
  return rate;
}
#endif

// Ours and both floors drawing the picture at (0, 0) over the same random destination.
bool SameAsFloors(const Owned& dest, const quelt::MEMIMG& src, const blitfloor::Spans& spans, bool is16, bool alpha) {
  quelt::MEMIMG d = dest.img;
  std::mt19937 rng(src.width);  // the pictures of the later rows stay as they were
  blittest::FillRandom(d, rng);
  const size_t bytes = static_cast<size_t>(d.base->pitch) * d.height;
  const std::vector<uint8_t> before(d.base->pixels, d.base->pixels + bytes);
  quelt::MemImgBlit(&d, &src, 0, 0, 1, nullptr);
  const std::vector<uint8_t> ours(d.base->pixels, d.base->pixels + bytes);
  bool same = true;
  for (bool packed : {false, true}) {
    std::memcpy(d.base->pixels, before.data(), bytes);
    if (is16) blitfloor::FloorDraw<true>(d, src, spans, 0, 0, alpha, packed);
    else blitfloor::FloorDraw<false>(d, src, spans, 0, 0, alpha, packed);
    same = same && std::memcmp(d.base->pixels, ours.data(), bytes) == 0;
  }
  return same;
}

void PrintPeer(double ours, double peer) {
  if (peer > 0) std::printf(" %9.1f %6.2fx", peer, ours / peer);
  else std::printf(" %9s %7s", "-", "-");
}

void Row(const char* depth, bool is16, bool alpha, bool sprite, bool stretched, int32_t size,
         const Owned& dest, std::mt19937& rng) {
  std::string name = std::string(alpha ? "alpha" : "transparent") + (sprite ? " sprite" : " random");
  if (stretched) name += " stretched";
  const char* only = std::getenv("QUELT_BENCH_ROWS");
  if (only != nullptr && (std::string(depth) + " " + name + " " + std::to_string(size)).find(only) == std::string::npos) {
    return;
  }
  const Layout l = LayoutFor(size, stretched);
  std::array<Picture, kPictures> pics;
  for (Picture& p : pics) MakePicture(p, sprite, size, is16, alpha, rng);
  quelt::MEMIMG destImg = dest.img;
  std::vector<double> ours, pixman, sdl, sdlRle, floorRate, packedRate;
  std::array<blitfloor::Spans, kPictures> spans;
  if (!stretched) {
    for (int i = 0; i < kPictures; ++i) spans[i] = blitfloor::MakeSpans(pics[i].ours.img, is16, alpha);
  }
  const auto floorBlit = [&](bool packed) {
    return Tiled(l, [&](int32_t x, int32_t y, int i) {
      if (is16) blitfloor::FloorDraw<true>(destImg, pics[i].ours.img, spans[i], x, y, alpha, packed);
      else blitfloor::FloorDraw<false>(destImg, pics[i].ours.img, spans[i], x, y, alpha, packed);
    });
  };
  for (int round = 0; round < kRounds; ++round) {
    ours.push_back(Tiled(l, [&](int32_t x, int32_t y, int i) {
      if (stretched) {
        const quelt::IntRect r{x, y, x + l.drawSize, y + l.drawSize};
        quelt::MemImgStretchBlit(&destImg, &pics[i].ours.img, &r, 1, nullptr);
      } else {
        quelt::MemImgBlit(&destImg, &pics[i].ours.img, x, y, 1, nullptr);
      }
    }));
    if (!stretched) {
      floorRate.push_back(floorBlit(false));
      packedRate.push_back(floorBlit(true));
    }
#ifdef QUELT_BENCH_PIXMAN
    pixman.push_back(PixmanOver(l, pics, dest.img, is16));
#endif
#ifdef QUELT_BENCH_SDL2
    sdl.push_back(SdlBlit(l, pics, alpha, false, dest.img, is16));
    if (!stretched) sdlRle.push_back(SdlBlit(l, pics, alpha, true, dest.img, is16));
#endif
  }
  const double o = Median(ours);
  std::printf("%-5s %-28s %5d %5d %9.1f", depth, name.c_str(), size, l.drawSize, o);
  PrintPeer(o, Median(pixman));
  PrintPeer(o, Median(sdl));
  PrintPeer(o, Median(sdlRle));
  if (!stretched) {
    const double f = Median(floorRate), rle = Median(sdlRle);
    std::printf(" %9.1f %6.2fx", f, o / f);
    for (double floorFigure : {f, Median(packedRate)}) {
      if (rle > 0) std::printf(" %9.2fx", floorFigure / rle);
      else std::printf(" %10s", "-");
    }
    std::printf(" %4s", SameAsFloors(dest, pics[0].ours.img, spans[0], is16, alpha) ? "yes" : "NO");
  }
  std::printf("\n");
  std::fflush(stdout);
}

}  // namespace

int main() {
  quelt::InitMemImgTables();
  std::mt19937 rng(7);
  std::printf("ours: mode 0 with transparency on; alpha = per-pixel alpha source, transparent = transparent "
              "colour\npeers: pixman OVER (premultiplied a8r8g8b8), SDL2 surface blit (alpha: BLENDMODE_BLEND "
              "of ARGB8888; transparent: colour key), SDL2 the same with SDL_RLEACCEL (plain blits)\n"
              "MP/s are destination pixels, medians of %d rounds taking turns\n",
              kRounds);
  std::printf("floor = bare loop, spans known, the image's pixels; packed = the same from a packed colour stream\n");
  std::printf("%-5s %-28s %5s %5s %9s %9s %7s %9s %7s %9s %7s %9s %7s %10s %10s %4s\n", "depth", "blit", "src",
              "drawn", "MP/s", "pixman", "ratio", "SDL2", "ratio", "SDL2 RLE", "ratio", "floor", "ratio",
              "floor/RLE", "packed/RLE", "same");
  quelt::SoftDraw = quelt::SoftDrawState{0, 255, 0xFFFFFF, {0, 0, kDestSize, kDestSize}};
  for (bool is16 : {false, true}) {
    const char* depth = is16 ? "16" : "32";
    Owned dest;
    blittest::MakeDest(dest, is16, kDestSize, kDestSize, rng);
    for (bool stretched : {false, true}) {
      for (bool alpha : {true, false}) {
        for (int32_t size : kSpriteSizes) Row(depth, is16, alpha, true, stretched, size, dest, rng);
        for (int32_t size : kRandomSizes) Row(depth, is16, alpha, false, stretched, size, dest, rng);
      }
    }
  }
  return 0;
}
