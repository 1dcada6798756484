// Megapixels per second of the plain and stretched blitters per mode, depth and variant,
// for a 64 x 64 and a 600 x 600 source onto a 600 x 600 destination, beside the slow
// reference and (native build with pixman) pixman's nearest equivalents.
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <random>

#include "blit_reference.h"
#include "blit_test_images.h"
#include "support/bench_rate.h"
#include "softrender/memimg_draw.h"

#ifdef QUELT_BENCH_PIXMAN
#include <pixman.h>
#endif

namespace {

using blittest::Kind;
using blittest::Owned;

constexpr int32_t kDestSize = 600;

// Megapixels per second of `draw`, which covers `pixels` destination pixels.
double Rate(const std::function<void()>& draw, double pixels, double minSeconds) {
  return quelt_test::MegapixelRate(draw, pixels, minSeconds);
}

struct VariantSpec {
  const char* name;
  Kind kind;
  bool trans;
  bool blend;
  uint32_t bright;
  bool stretched;
  int32_t param;  // 0: the common parameter
};

constexpr VariantSpec kVariants[] = {
    {"plain", Kind::Direct, false, false, 0xFFFFFF, false, 0},
    {"plain-p255", Kind::Direct, false, false, 0xFFFFFF, false, 255},
    {"plain-p128", Kind::Direct, false, false, 0xFFFFFF, false, 128},
    {"transparent", Kind::Direct, true, false, 0xFFFFFF, false, 0},
    {"alpha-source", Kind::Alpha, true, false, 0xFFFFFF, false, 0},
    {"palette", Kind::Palette, false, false, 0xFFFFFF, false, 0},
    {"blend-image", Kind::Direct, false, true, 0xFFFFFF, false, 0},
    {"bright", Kind::Direct, false, false, 0xC08040, false, 0},
    {"stretch-mirror", Kind::Direct, false, false, 0xFFFFFF, true, 0},
};

#ifdef QUELT_BENCH_PIXMAN
// pixman's operator for a mode (copy, constant-alpha over, add, multiply), or -1.
int PixmanOp(int32_t mode) {
  switch (mode) {
    case 0: return PIXMAN_OP_SRC;
    case 1: return PIXMAN_OP_OVER;
    case 2: return PIXMAN_OP_ADD;
    case 4: return PIXMAN_OP_MULTIPLY;
    default: return -1;
  }
}

pixman_image_t* Wrap(const quelt::MEMIMG& m, bool is16) {
  return pixman_image_create_bits(is16 ? PIXMAN_r5g6b5 : PIXMAN_x8r8g8b8, m.width, m.height,
                                  reinterpret_cast<uint32_t*>(m.pixels), m.base->pitch);
}
#endif

}  // namespace

int main() {
  quelt::InitMemImgTables();
  quelt::BuildBorderTable(100, 80);
  std::mt19937 rng(1);
  std::printf("%-6s %-5s %-15s %-8s %12s %12s %12s\n", "depth", "mode", "variant", "source", "MP/s",
              "reference", "pixman");
  constexpr int32_t kParam = 200;
  std::printf("parameter %d unless the variant says otherwise; pixman: SRC, OVER with a constant mask, "
              "ADD, MULTIPLY\n", kParam);
  for (bool is16 : {false, true}) {
    Owned dest;
    blittest::MakeDest(dest, is16, kDestSize, kDestSize, rng);
    for (int32_t mode : {0, 1, 2, 3, 4, 10, 11}) {
      for (const VariantSpec& v : kVariants) {
        // The p = 255 forms exist for modes 1 to 3 only, the p = 128 halving for mode 1.
        if (v.param != 0 && (mode < 1 || mode > 3)) continue;
        if (v.param == 128 && mode != 1) continue;
        const int32_t param = v.param != 0 ? v.param : kParam;
        for (int32_t size : {64, 600}) {
          Owned src;
          Owned blend;
          blittest::MakeSource(src, is16, v.kind, size, size, rng);
          if (v.blend) blittest::MakeBlendImage(blend, size, size, rng);
          const quelt::MEMIMG* blendImg = v.blend ? &blend.img : nullptr;
          const quelt::SoftDrawState state{mode, param, v.bright, {0, 0, kDestSize, kDestSize}};
          quelt::SoftDraw = state;
          // A 64 x 64 source is drawn 81 times over the destination (or stretched to 600 x 600).
          const int tiles = size == 64 && !v.stretched ? 9 : 1;
          const double pixels = v.stretched ? 600.0 * 600.0 : double(size) * size * tiles * tiles;
          auto draw = [&](bool reference) {
            for (int ty = 0; ty < tiles; ++ty) {
              for (int tx = 0; tx < tiles; ++tx) {
                if (v.stretched) {
                  const quelt::IntRect r{kDestSize, 0, 0, kDestSize};
                  if (reference) blitref::StretchBlit(&dest.img, &src.img, r, v.trans, blendImg, state);
                  else quelt::MemImgStretchBlit(&dest.img, &src.img, &r, v.trans, blendImg);
                } else if (reference) {
                  blitref::Blit(&dest.img, &src.img, tx * 66, ty * 66, v.trans, blendImg, state);
                } else {
                  quelt::MemImgBlit(&dest.img, &src.img, tx * 66, ty * 66, v.trans, blendImg);
                }
              }
            }
          };
          const double fast = Rate([&] { draw(false); }, pixels, 0.05);
          const double slow = Rate([&] { draw(true); }, pixels, 0.02);
          double pix = 0;
#ifdef QUELT_BENCH_PIXMAN
          if (v.kind == Kind::Direct && !v.trans && !v.blend && v.bright == 0xFFFFFF && !v.stretched &&
              PixmanOp(mode) >= 0) {
            pixman_image_t* ps = Wrap(src.img, is16);
            pixman_image_t* pd = Wrap(dest.img, is16);
            pixman_color_t alpha{0, 0, 0, static_cast<uint16_t>(param * 257)};
            pixman_image_t* mask = mode == 1 ? pixman_image_create_solid_fill(&alpha) : nullptr;
            pix = Rate(
                [&] {
                  for (int ty = 0; ty < tiles; ++ty) {
                    for (int tx = 0; tx < tiles; ++tx) {
                      pixman_image_composite32(static_cast<pixman_op_t>(PixmanOp(mode)), ps, mask, pd, 0, 0,
                                               0, 0, tx * 66, ty * 66, size, size);
                    }
                  }
                },
                pixels, 0.05);
            if (mask != nullptr) pixman_image_unref(mask);
            pixman_image_unref(ps);
            pixman_image_unref(pd);
          }
#endif
          std::printf("%-6s %-5d %-15s %-8s %12.1f %12.1f ", is16 ? "16" : "32", mode, v.name,
                      size == 64 ? "64x64" : "600x600", fast, slow);
          if (pix > 0) std::printf("%12.1f\n", pix);
          else std::printf("%12s\n", "-");
        }
      }
    }
  }
  return 0;
}
