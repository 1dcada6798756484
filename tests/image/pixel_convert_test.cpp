#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "image/pixel_convert.h"
#include "image/pixel_convert_internal.h"

using namespace quelt;

namespace {

ColorFormat Masks(int depth, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  ColorFormat f{};
  SetMaskColorFormat(&f, depth, r, g, b, a);
  return f;
}
ColorFormat Argb() { return Masks(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000); }
ColorFormat Xrgb() { ColorFormat f{}; SetXrgb32ColorFormat(&f); return f; }
ColorFormat Rgb565() { return Masks(16, 0xF800, 0x7E0, 0x1F, 0); }

struct Call {
  const ColorFormat* dest;
  const ColorFormat* src;
  const void* srcPixels;
  int32_t srcPitch;
  PixelRect rect;
  int mirror = 0, transparent = 0;
  uint32_t colour = 0;
  int dither = 0, colourOff = 0, alphaFromRed = 0, skip = 0, paletteCopy = 0;
  const void* alphaPixels = nullptr;
  int32_t alphaPitch = 0;
  const ColorFormat* alphaFormat = nullptr;
};

int Convert(const Call& c, void* dest, int32_t destPitch, int32_t destX = 0, int32_t destY = 0) {
  return ConvertPixelRect(dest, destPitch, c.dest, c.srcPixels, c.srcPitch, c.src, c.alphaPixels,
                          c.alphaPitch, c.alphaFormat, destX, destY, &c.rect, c.mirror,
                          c.transparent, c.colour, c.dither, c.colourOff, c.alphaFromRed, c.skip,
                          c.paletteCopy);
}

}  // namespace

TEST(ConvertPixelRect, EmptyRectangleWritesNothing) {
  const ColorFormat a = Argb();
  uint32_t src = 0x11223344, dest = 0xDEADBEEF;
  Call c{&a, &a, &src, 4, {0, 0, 0, 1}};
  EXPECT_EQ(Convert(c, &dest, 4), -1);
  c.rect = {0, 0, 1, 0};
  EXPECT_EQ(Convert(c, &dest, 4), -1);
  EXPECT_EQ(dest, 0xDEADBEEFu);
}

TEST(ConvertPixelRect, TransparentColourGivesAlpha) {
  const ColorFormat x = Xrgb(), a = Argb();
  uint32_t src[3] = {0xFF102030, 0x00102030, 0xFF102031}, dest[3] = {};
  Call c{&a, &x, src, 12, {0, 0, 3, 1}};
  c.transparent = 1;
  c.colour = 0x102030;
  EXPECT_EQ(Convert(c, dest, 12), 0);
  EXPECT_EQ(dest[0], 0x00102030u);
  EXPECT_EQ(dest[1], 0x00102030u);
  EXPECT_EQ(dest[2], 0xFF102031u);

  // A source that has alpha carries it: transparent is ignored and the rows are copied.
  uint32_t asrc[2] = {0x80102030, 0x7F000000};
  Call d{&a, &a, asrc, 8, {0, 0, 2, 1}};
  d.transparent = 1;
  d.colour = 0x102030;
  Convert(d, dest, 12);
  EXPECT_EQ(dest[0], 0x80102030u);
  EXPECT_EQ(dest[1], 0x7F000000u);
}

TEST(ConvertPixelRect, TransparentOn16BitIgnoresTheUnusedBit) {
  // X1R5G5B5 into A1R5G5B5: the source's top bit may hold anything (TGA files).
  const ColorFormat x = Masks(16, 0x7C00, 0x3E0, 0x1F, 0), a = Masks(16, 0x7C00, 0x3E0, 0x1F, 0x8000);
  uint16_t src[3] = {0x7C00, 0xFC00, 0x001F}, dest[3] = {};
  Call c{&a, &x, src, 6, {0, 0, 3, 1}};
  c.transparent = 1;
  c.colour = 0xFF0000;
  Convert(c, dest, 6);
  EXPECT_EQ(dest[0], 0x7C00);
  EXPECT_EQ(dest[1], 0x7C00);
  EXPECT_EQ(dest[2], 0x801F);
}

TEST(ConvertPixelRect, MirrorAndSkipTransparent) {
  const ColorFormat a = Argb();
  uint32_t src[6] = {1, 2, 3, 4, 5, 6}, dest[8] = {};
  Call c{&a, &a, src, 12, {0, 0, 3, 2}};
  c.mirror = 1;
  Convert(c, dest, 16, 1, 0);
  EXPECT_EQ(dest[3], 1u);  // row 0's first pixel at destX + width - 1
  EXPECT_EQ(dest[1], 3u);
  EXPECT_EQ(dest[5], 6u);

  const ColorFormat x = Xrgb();
  uint32_t xs[3] = {0xFF000001, 0xFF000002, 0xFF000001}, xd[3] = {7, 7, 7};
  Call s{&x, &x, xs, 12, {0, 0, 3, 1}};
  s.skip = 1;
  s.colour = 0xFF000001;
  Convert(s, xd, 12);
  EXPECT_EQ(xd[0], 7u);
  EXPECT_EQ(xd[1], 0xFF000002u);
  EXPECT_EQ(xd[2], 7u);
}

TEST(ConvertPixelRect, WideningKeepsExtremes) {
  const ColorFormat s = Rgb565(), x = Xrgb();
  uint16_t src[3] = {31 << 11, 16 << 11, 63 << 5};
  uint32_t dest[3] = {};
  Call c{&x, &s, src, 6, {0, 0, 3, 1}};
  Convert(c, dest, 12);
  EXPECT_EQ(dest[0], 0xFFFF0000u);
  EXPECT_EQ(dest[1], 0xFF830000u);  // 131
  EXPECT_EQ(dest[2], 0xFF00FF00u);
}

TEST(ConvertPixelRect, TenBitChannelsNarrowAndWidenCorrectly) {
  const ColorFormat ten = Masks(32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000), a = Argb();
  uint32_t src = 0xFFFFFFFF, dest = 0;
  Call c{&a, &ten, &src, 4, {0, 0, 1, 1}};
  Convert(c, &dest, 4);
  EXPECT_EQ(dest, 0xFFFFFFFFu);
  src = (512u << 20) | (1u << 30);
  Convert(c, &dest, 4);
  EXPECT_EQ(dest, 0x55800000u);  // alpha 1 of 3 -> 0x55, red 512 >> 2 = 128
  uint32_t back = 0;
  Call w{&ten, &a, &dest, 4, {0, 0, 1, 1}};
  dest = 0xFFFF00FF;
  Convert(w, &back, 4);
  EXPECT_EQ(back, 0xFFF003FFu);
}

TEST(ConvertPixelRect, OrderedDitherRaisesBelowThreshold) {
  const ColorFormat x = Xrgb(), d = Rgb565();
  uint32_t src[16];
  for (auto& v : src) v = 0xFF040000;  // red 4: remainder 4 of 8 when cut to 5 bits
  uint16_t dest[16] = {};
  Call c{&d, &x, src, 16, {0, 0, 4, 4}};
  c.dither = 1;
  Convert(c, dest, 8);
  const int table[16] = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(dest[i] >> 11, table[i] <= 7 ? 1 : 0) << i;
  }
}

TEST(ConvertPixelRect, ErrorCarryDitherAccumulates) {
  const ColorFormat x = Xrgb(), d = Rgb565();
  uint32_t src[8];
  for (auto& v : src) v = 0xFF000000 | 0x02;  // blue remainder 2 of 8 every pixel
  uint16_t dest[8] = {};
  Call c{&d, &x, src, 32, {0, 0, 8, 1}};
  c.dither = 2;
  Convert(c, dest, 16);
  int raised = 0;
  for (uint16_t v : dest) raised += v & 0x1F;
  EXPECT_EQ(raised, 2);  // sums 2,4,6,8>7 -> up, 2,4,6,8 -> up
  EXPECT_EQ(dest[3] & 0x1F, 1);
  EXPECT_EQ(dest[7] & 0x1F, 1);
  // A channel at its largest value stays there.
  for (auto& v : src) v = 0xFFFFFFFF;
  Convert(c, dest, 16);
  EXPECT_EQ(dest[0], 0xFFFF);
}

TEST(ConvertPixelRect, PaletteCopiesAndRemaps) {
  ColorFormat p{};
  SetGrayPaletteColorFormat(&p);
  uint8_t src[4] = {3, 200, 17, 0}, dest[4] = {};
  Call c{&p, &p, src, 4, {0, 0, 4, 1}};
  c.paletteCopy = 1;
  EXPECT_EQ(Convert(c, dest, 4), 200);
  EXPECT_EQ(std::memcmp(src, dest, 4), 0);

  ColorFormat q = p;
  for (int i = 0; i < 256; ++i) q.palette[i] = p.palette[255 - i];
  EXPECT_EQ(Convert(Call{&q, &p, src, 4, {0, 0, 4, 1}, 0, 0, 0, 0, 0, 0, 0, 1}, dest, 4), 0);
  EXPECT_EQ(dest[0], 252);
  EXPECT_EQ(dest[1], 55);
}

TEST(ConvertPixelRect, GreyIntoAlphaOnlyByte) {
  ColorFormat grey{};
  SetGrayPaletteColorFormat(&grey);
  ColorFormat mask{};
  mask.bitDepth = 8;
  mask.bytesPerPixel = 1;
  mask.redMask = mask.greenMask = mask.blueMask = mask.alphaMask = 0xFF;
  mask.redWidth = mask.greenWidth = mask.blueWidth = mask.alphaWidth = 8;
  uint8_t src[3] = {0, 77, 255}, dest[3] = {1, 1, 1};
  Call c{&mask, &grey, src, 3, {0, 0, 3, 1}};
  c.colourOff = 1;
  c.alphaFromRed = 1;
  Convert(c, dest, 3);
  EXPECT_EQ(dest[0], 0);
  EXPECT_EQ(dest[1], 77);
  EXPECT_EQ(dest[2], 255);
}

TEST(ConvertPixelRect, AlphaImageSuppliesAlpha) {
  const ColorFormat rgb = [] { ColorFormat f{}; SetRgb24ColorFormat(&f); return f; }();
  const ColorFormat a = Argb();
  ColorFormat grey{};
  SetGrayPaletteColorFormat(&grey);
  uint8_t src[6] = {1, 2, 3, 4, 5, 6}, alpha[2] = {0x40, 0xC0};
  uint32_t dest[2] = {};
  Call c{&a, &rgb, src, 6, {0, 0, 2, 1}};
  c.alphaPixels = alpha;
  c.alphaPitch = 2;
  c.alphaFormat = &grey;
  Convert(c, dest, 8);
  EXPECT_EQ(dest[0], 0x40030201u);
  EXPECT_EQ(dest[1], 0xC0060504u);
}

// Skipping compares a palette pixel's colour, not its index, with the transparent colour.
TEST(ConvertPixelRect, PaletteSkipTransparentComparesTheEntryColour) {
  ColorFormat pal{};
  SetPaletteColorFormat(&pal);
  pal.palette[5] = {0x30, 0x20, 0x10, 0};     // 0x102030
  pal.palette[0x30] = {0x01, 0x02, 0x03, 0};  // index equal to the colour's low byte
  const uint8_t src[3] = {5, 0x30, 7};
  uint8_t dest[3] = {0xEE, 0xEE, 0xEE};
  Call c{&pal, &pal, src, 3, {0, 0, 3, 1}};
  c.skip = 1;
  c.colour = 0x102030;
  Convert(c, dest, 3);
  EXPECT_EQ(dest[0], 0xEE);  // colour 0x102030: left out
  EXPECT_EQ(dest[1], 0x30);
  EXPECT_EQ(dest[2], 7);
}

TEST(ConvertPixelRect, TrueColourIntoPaletteTakesNearestEntries) {
  ColorFormat grey{};
  SetGrayPaletteColorFormat(&grey);
  const ColorFormat s = Rgb565();
  uint16_t src[2] = {0xFFFF, 0x0000};
  uint8_t dest[2] = {};
  Call c{&grey, &s, src, 4, {0, 0, 2, 1}};
  Convert(c, dest, 2);
  EXPECT_EQ(dest[0], 255);  // 5 and 6-bit channels brought to 8 bits first
  EXPECT_EQ(dest[1], 0);
}

TEST(ConvertPixelRect, RefusesLayoutsItCannotWalk) {
  ColorFormat dxt = Argb();
  dxt.compression = kCompressionDxt1;
  const ColorFormat a = Argb();
  uint32_t src = 0, dest = 0;
  EXPECT_EQ(Convert(Call{&a, &dxt, &src, 4, {0, 0, 1, 1}}, &dest, 4), -1);
}

// A copy between identical layouts whose rows follow one another without a gap goes as one
// block: every row of the rectangle arrives, and nothing before or after it is touched.
TEST(ConvertPixelRect, GaplessSameFormatCopyTakesEveryRow) {
  const ColorFormat f = Argb();
  constexpr int kW = 5, kH = 3;
  std::vector<uint32_t> src(kW * (kH + 2)), dest(src.size(), 0xA5A5A5A5);
  for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint32_t>(i * 2654435761u);
  pixel_convert::Request q{};
  q.src = reinterpret_cast<const uint8_t*>(src.data());
  q.srcPitch = kW * 4;
  q.srcFormat = f;
  q.dest = reinterpret_cast<uint8_t*>(dest.data());
  q.destPitch = kW * 4;
  q.destFormat = f;
  q.rect = {0, 1, kW, 1 + kH};
  q.destY = 1;
  ASSERT_EQ(pixel_convert::Convert(q, true), 0);
  for (size_t i = 0; i < dest.size(); ++i) {
    const bool inside = i >= kW && i < kW * (kH + 1);
    EXPECT_EQ(dest[i], inside ? src[i] : 0xA5A5A5A5u) << i;
  }
}

// The dedicated loops against the general path, on random formats, pixels and options.
TEST(ConvertPixelRect, FastLoopsEqualTheGeneralPath) {
  std::mt19937 rng(1234);
  const ColorFormat formats[] = {
      Rgb565(), Masks(16, 0x7C00, 0x3E0, 0x1F, 0), Masks(16, 0x7C00, 0x3E0, 0x1F, 0x8000),
      Xrgb(), Argb(), Masks(24, 0xFF0000, 0xFF00, 0xFF, 0), Masks(16, 0xF00, 0xF0, 0xF, 0xF000),
      Masks(32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000), Masks(16, 0xE0, 0x1C, 0x3, 0xFF00)};
  ColorFormat palette{};
  SetPaletteColorFormat(&palette);
  for (auto& e : palette.palette) e = {uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), 0};
  int fastCases = 0;
  for (int round = 0; round < 400; ++round) {
    // Now and then 24 and 32-bit rows into R5G6B5 and 32-bit, past the loops' read-ahead
    // and their many-vector steps.
    const bool wide = round % 7 == 3;
    const bool fromPalette = round % 5 == 0 && !wide;
    const int wideDest = (round / 7) % 3 == 0 ? 0 : 3 + (round / 7) % 2;
    const ColorFormat& src = fromPalette ? palette : formats[wide ? 3 + round % 3 : rng() % std::size(formats)];
    const ColorFormat& dest = formats[wide ? wideDest : rng() % std::size(formats)];
    // Wide enough rows for the loops that take eight pixels a step, and their tails; every
    // third round rows without gaps (done as one row).
    const int w = wide ? 300 + rng() % 300 : 1 + rng() % 40, h = 1 + rng() % 4;
    const bool gapless = round % 3 == 1;
    std::vector<uint8_t> in(static_cast<size_t>(w + 2) * 4 * (h + 1));
    for (auto& b : in) b = static_cast<uint8_t>(rng());
    pixel_convert::Request q{};
    q.src = in.data();
    q.srcPitch = (w + (gapless ? 0 : 2)) * src.bytesPerPixel;
    q.srcFormat = src;
    q.destFormat = dest;
    q.destPitch = gapless ? w * dest.bytesPerPixel : (w + 1) * 4;
    q.rect = {1, 1, 1 + w, 1 + h};
    q.transparent = rng() % 2;
    if (q.transparent) {
      // A colour that occurs in the source, so that both alphas appear.
      const uint32_t v = pixel_convert::LoadPixel(src, in.data() + q.srcPitch + src.bytesPerPixel);
      int r, g, b;
      UnpackPixelToColor(&src, v, &r, &g, &b, nullptr);
      q.transparentColour = fromPalette ? (v & 0xFFFFFF) : uint32_t(r << 16 | g << 8 | b);
    }
    std::vector<uint8_t> fast(static_cast<size_t>(q.destPitch) * (h + 1), 0xA5), slow = fast;
    pixel_convert::Request a = q, b = q;
    a.dest = fast.data();
    b.dest = slow.data();
    bool fastLoop = false;
    pixel_convert::Convert(a, true, &fastLoop);
    pixel_convert::Convert(b, false);
    ASSERT_EQ(fast, slow) << "round " << round << " src bpp " << src.bytesPerPixel
                          << " dest bpp " << dest.bytesPerPixel;
    if (fastLoop) ++fastCases;
  }
  // The comparison means something only if most rounds really ran a dedicated loop.
  EXPECT_GE(fastCases, 200);
}
