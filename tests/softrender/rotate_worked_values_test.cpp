// The documented worked values, one pixel each: a 1 x 1 source drawn at angle 0, scale 1
// lands on exactly the centre pixel; the fill cases use a small triangle.
#include <gtest/gtest.h>

#include <cstring>

#include "softrender/rotate_blit.h"
#include "tests/softrender/rotate_test_images.h"

using namespace reftest;

namespace {

struct Worked {
  const char* what;
  uint32_t type;      // 1: 32-bit, 0: RGB565
  Kind kind;          // Fill: the solid triangle fill with src as the fill colour
  uint32_t mode;
  int32_t param;
  uint32_t bright;
  int32_t trans;
  int32_t weight;     // blend-image weight, -1 for none
  uint32_t src;       // texel, palette entry or fill colour (alpha in the texel's byte)
  uint32_t dst;
  uint32_t expected;
};

constexpr uint32_t kOff = 0xFFFFFF;

const Worked kWorked[] = {
    // 32-bit, palette source.
    {"add blue 1 to 0xFF", 1, Kind::Palette, 2, 255, kOff, 0, -1, 0x000001, 0x000000FF, 0x000001FF},
    {"add odd greens", 1, Kind::Palette, 2, 255, kOff, 0, -1, 0x000101, 0x00000101, 0x00000102},
    {"add saturates all", 1, Kind::Palette, 2, 255, kOff, 0, -1, 0x808080, 0x00808080, 0x01FFFFFF},
    {"add black clears fourth", 1, Kind::Palette, 2, 255, kOff, 0, -1, 0, 0x12345678, 0x00345678},
    {"sub at p 0 still runs", 1, Kind::Palette, 3, 0, kOff, 0, -1, 0xFFFFFF, 0x12345678, 0x00355778},
    {"sub 0 from white", 1, Kind::Palette, 3, 255, kOff, 0, -1, 0, 0xFFFFFFFF, 0x00FFFFFF},
    {"sub white from white", 1, Kind::Palette, 3, 255, kOff, 0, -1, 0xFFFFFF, 0x00FFFFFF, 0x00010100},
    {"sub blue borrow", 1, Kind::Palette, 3, 255, kOff, 0, -1, 0x000001, 0x00000100, 0x00010000},
    {"sub 1 1 1", 1, Kind::Palette, 3, 255, kOff, 0, -1, 0x010101, 0x00102030, 0x0011212F},
    {"copy W 255 one short", 1, Kind::Palette, 0, 0, kOff, 0, 255, 0x0000FF, 0x00000000, 0x000000FE},
    {"alpha p 1 towards 0", 1, Kind::Palette, 1, 1, kOff, 0, -1, 0x000000, 0x00000001, 0x00000000},
    {"alpha p 1 towards 1", 1, Kind::Palette, 1, 1, kOff, 0, -1, 0x000001, 0x00000000, 0x00000000},
    {"alpha p 128 up", 1, Kind::Palette, 1, 128, kOff, 0, -1, 0x0000FF, 0x00000000, 0x0000007F},
    {"alpha p 128 down", 1, Kind::Palette, 1, 128, kOff, 0, -1, 0x000000, 0x000000FF, 0x0000007F},
    {"mul white", 1, Kind::Palette, 4, 0, kOff, 0, -1, 0xFFFFFF, 0x00FFFFFF, 0x00FEFEFE},
    {"mul W 0 black", 1, Kind::Palette, 4, 0, kOff, 0, 0, 0xFFFFFF, 0x55FFFFFF, 0x55000000},
    {"invert white p 255", 1, Kind::Palette, 10, 255, kOff, 0, -1, 0xFFFFFF, 0x00FFFFFF, 0x00000000},
    {"copy whole entry", 1, Kind::Palette, 0, 0, kOff, 0, -1, 0x5AFFFFFF, 0x11000000, 0x5AFFFFFF},
    {"copy bright red 254", 1, Kind::Palette, 0, 0, 0xFEFFFF, 0, -1, 0x5AFFFFFF, 0x11000000, 0x11FEFFFF},
    {"bright top byte ignored", 1, Kind::Palette, 0, 0, 0x12FFFFFF, 0, -1, 0x5AFFFFFF, 0, 0x5AFFFFFF},
    // 32-bit, direct source.
    {"alpha p 128", 1, Kind::Direct, 1, 128, kOff, 0, -1, 200, 10, 105},
    {"alpha 255 flag clear", 1, Kind::Alpha, 0, 0, kOff, 0, -1, 0xFF0000FF, 0, 0x000000FE},
    {"alpha 255 flag set", 1, Kind::Alpha, 0, 0, kOff, 1, -1, 0xFF0000FF, 0, 0xFF0000FF},
    {"add red 1 to 255", 1, Kind::Direct, 2, 255, kOff, 0, -1, 0x010000, 0x00FF0000, 0x00FF0000},
    {"add red 2 to 255", 1, Kind::Direct, 2, 255, kOff, 0, -1, 0x020000, 0x00FF0000, 0x01FF0000},
    {"add green 1 1", 1, Kind::Direct, 2, 255, kOff, 0, -1, 0x000100, 0x00000100, 0x00000100},
    {"add blue 200 100", 1, Kind::Direct, 2, 255, kOff, 0, -1, 100, 200, 0x000001FF},
    {"sub black from black", 1, Kind::Direct, 3, 255, kOff, 0, -1, 0, 0, 0x00010100},
    {"sub blue 129", 1, Kind::Direct, 3, 255, kOff, 0, -1, 0x81, 0x00808080, 0x00818000},
    {"sub alpha flag set", 1, Kind::Alpha, 3, 255, kOff, 1, -1, 0xFF0000C8, 0x00FFFFFF, 0x00FFFF37},
    {"sub alpha flag clear", 1, Kind::Alpha, 3, 255, kOff, 0, -1, 0xFF0000C8, 0x00FFFFFF, 0x00FFFF39},
    {"mul a 255 flag set", 1, Kind::Alpha, 4, 0, kOff, 1, -1, 0xFF000064, 0xC8, 78},
    // Alpha mixes towards the product: 78, then 200 + fl(-122 x 255 / 256).
    {"mul a 255 flag clear", 1, Kind::Alpha, 4, 0, kOff, 0, -1, 0xFF000064, 0xC8, 78},
    {"mul a 0 flag clear", 1, Kind::Alpha, 4, 0, kOff, 0, -1, 0x00000064, 0x112233C8, 0x112233C8},
    {"invert black over black", 1, Kind::Direct, 10, 255, kOff, 0, -1, 0, 0, 0x00FEFEFE},
    {"invert alpha 255 clear", 1, Kind::Alpha, 10, 255, kOff, 0, -1, 0xFF000000, 0, 0x00FDFDFD},
    {"invert x 99", 1, Kind::Direct, 10, 255, kOff, 0, -1, 156, 100, 0x00FEFE63},
    {"invert x 101", 1, Kind::Direct, 10, 255, kOff, 0, -1, 154, 100, 0x00FEFE64},
    {"product white", 1, Kind::Direct, 11, 255, kOff, 0, -1, 0xFFFFFF, 0x00C8C8C8, 0x00C7C7C7},
    {"bright red only", 1, Kind::Direct, 0, 0, 0xFF0000, 0, -1, 0x123456, 0x77000000, 0x77120000},
    // 16-bit, direct source.
    {"alpha 255 white flag on", 0, Kind::Alpha, 0, 0, kOff, 1, -1, 0xFF0000 | 0xFFFF, 0, 0xFFFF},
    {"alpha 255 white flag off", 0, Kind::Alpha, 0, 0, kOff, 0, -1, 0xFF0000 | 0xFFFF, 0, 0xF7DE},
    {"alpha p 128 signed", 0, Kind::Direct, 1, 128, kOff, 0, -1, 0, 0xF800, 0x8000},
    {"alpha p 128 weighted", 0, Kind::Alpha, 1, 128, kOff, 0, -1, 0xFF0000, 0xF800, 0x7800},
    {"add green 1 1", 0, Kind::Direct, 2, 255, kOff, 0, -1, 0x0020, 0x0020, 0x0020},
    {"add red 1 1", 0, Kind::Direct, 2, 255, kOff, 0, -1, 0x0800, 0x0800, 0x0800},
    {"add blue carry", 0, Kind::Direct, 2, 255, kOff, 0, -1, 0x0001, 0x001F, 0x003F},
    {"add green carry", 0, Kind::Direct, 2, 255, kOff, 0, -1, 0x0040, 0x07C0, 0x0FC0},
    {"add to white", 0, Kind::Direct, 2, 255, kOff, 0, -1, 0x1234, 0xFFFF, 0xFFFF},
    {"add alpha 255 flag on", 0, Kind::Alpha, 2, 255, kOff, 1, -1, 0xFF0000 | 0x0842, 0, 0x0842},
    {"add alpha 255 flag off", 0, Kind::Alpha, 2, 255, kOff, 0, -1, 0xFF0000 | 0x0842, 0, 0x0021},
    {"sub black from white", 0, Kind::Direct, 3, 255, kOff, 0, -1, 0, 0xFFFF, 0xFFDF},
    {"sub black from red 30", 0, Kind::Direct, 3, 255, kOff, 0, -1, 0, 0xF000, 0xF800},
    {"sub green 2 from red 30", 0, Kind::Direct, 3, 255, kOff, 0, -1, 0x0040, 0xF000, 0xF000},
    {"mul 31 alpha 255 off", 0, Kind::Alpha, 4, 0, kOff, 0, -1, 0xFF0000 | 0x001F, 0x001F, 30},
    {"mul 31 unweighted", 0, Kind::Direct, 4, 0, kOff, 0, -1, 0x001F, 0x001F, 30},
    {"invert p 255 exact", 0, Kind::Direct, 10, 255, kOff, 0, -1, 0x1234, 0x8421, 0x1234 ^ 0xFFFF},
    {"product fractional green", 0, Kind::Alpha, 11, 255, kOff, 0, -1, 200u << 16 | 23u << 5, 2u << 5, 1u << 5},
    {"product bright green", 0, Kind::Alpha, 11, 255, 0xFEFFFF, 0, -1, 200u << 16 | 23u << 5, 2u << 5, 0},
    // 16-bit, palette source.
    {"sub at p 0 still runs", 0, Kind::Palette, 3, 0, kOff, 0, -1, 0xFFFF, 2u << 11 | 17u << 5 | 20, 3u << 11 | 16u << 5 | 20},
    {"bright red 254", 0, Kind::Palette, 0, 0, 0xFEFFFF, 0, -1, 0xF800, 0, 0xF000},
    // Solid fill.
    {"fill add green 2 over 63", 0, Kind::Fill, 2, 255, kOff, 0, -1, 2u << 5, 63u << 5, 1u << 11 | 63u << 5},
    {"fill add green 2 over 62", 0, Kind::Fill, 2, 255, kOff, 0, -1, 2u << 5, 62u << 5, 1u << 11 | 62u << 5},
    {"fill sub 0 from black", 0, Kind::Fill, 3, 255, kOff, 0, -1, 0, 0, 0x0800},
    {"fill sub 0 from green", 0, Kind::Fill, 3, 255, kOff, 0, -1, 0, 63u << 5, 1u << 11 | 62u << 5},
    {"fill sub 0 from white", 0, Kind::Fill, 3, 255, kOff, 0, -1, 0, 0xFFFF, 0xFFDF},
    {"fill sub 0 32-bit", 1, Kind::Fill, 3, 255, kOff, 0, -1, 0, 0x7F000000, 0x00010100},
    {"fill fourth byte kept", 1, Kind::Fill, 0, 0, kOff, 0, -1, 0xA5FFFFFF, 0, 0xA5FFFFFF},
    {"fill bright red", 1, Kind::Fill, 0, 0, 0xFF0000, 0, -1, 0x00FFFFFF, 0, 0x00FF0000},
    {"fill mul p 0", 1, Kind::Fill, 4, 0, kOff, 0, -1, 0x00808080, 0x00FFFFFF, 0x007F7F7F},
    {"fill upper bits masked", 0, Kind::Fill, 0, 0, kOff, 0, -1, 0xABCD1234, 0, 0x1234},
};

uint32_t DrawOne(const Worked& w) {
  const int32_t bpp = w.type == 1 ? 4 : 2;
  TestImage dest, src, blend;
  quelt::CreateMemImg(&dest.img, 5, 5, -1, 0, w.type, 0, 0, 0, nullptr);
  std::memset(dest.img.base->pixels, 0xCC, dest.Bytes());
  std::memcpy(dest.img.pixels + 2 * dest.img.base->pitch + 2 * bpp, &w.dst, bpp);
  SetDrawState({w.mode, w.param, w.bright, {0, 0, 5, 5}});
  if (w.kind == Kind::Fill) {
    const quelt::TriVertex v[3] = {{2, 2, 0, 0}, {4, 2, 0, 0}, {2, 4, 0, 0}};
    quelt::MemImgTriangle(&dest.img, nullptr, v, 0, nullptr, w.src);
  } else {
    const int32_t palette = w.kind == Kind::Palette, alpha = w.kind == Kind::Alpha;
    quelt::CreateMemImg(&src.img, 1, 1, -1, palette ? 5 : 0xFEDCBA98u, w.type, palette, alpha, 0, nullptr);
    if (palette) {
      std::memcpy(src.img.base->palette, &w.src, bpp);
      src.img.pixels[0] = 0;
    } else {
      std::memcpy(src.img.pixels, &w.src, alpha ? 4 : bpp);
    }
    if (w.weight >= 0) {
      quelt::CreateMemImg(&blend.img, 1, 1, -1, 0, 2, 0, 0, 0, nullptr);
      blend.img.pixels[0] = static_cast<uint8_t>(w.weight);  // identity border table
    }
    quelt::MemImgRotateBlit(&dest.img, &src.img, 2, 2, 0.0f, 1.0f, w.trans, 0,
                            w.weight >= 0 ? &blend.img : nullptr);
  }
  uint32_t out = 0;
  std::memcpy(&out, dest.img.pixels + 2 * dest.img.base->pitch + 2 * bpp, bpp);
  return out;
}

TEST(RotateWorkedValues, EachDocumentedPixel) {
  EnsureTables();
  quelt::BuildBorderTable(128, 255);  // entry i = i
  for (const Worked& w : kWorked) {
    EXPECT_EQ(DrawOne(w), w.expected) << w.what << (w.type ? " (32-bit)" : " (16-bit)");
  }
}

}  // namespace
