// The whole-row forms of the blitters (several pixels per step) against the slow reference:
// every width from 1 to 33, every start alignment of source and destination, clip offsets,
// and sources made of runs that are wholly transparent, wholly opaque or mixed, so that
// every step of a row form and the pixels left over at a row's end are drawn.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <sstream>
#include <string>

#include "blit_reference.h"
#include "blit_test_images.h"
#include "softrender/memimg_draw.h"

namespace {

using blittest::Kind;
using blittest::Owned;
using quelt::IntRect;
using quelt::SoftDrawState;

struct RowCase {
  bool is16;
  Kind kind;
  int32_t mode;
  int32_t p;
  bool trans;
};

// Every variant with a row form, and its neighbours that must not take one.
constexpr RowCase kCases[] = {
    {false, Kind::Direct, 0, 0, true},   {true, Kind::Direct, 0, 0, true},
    {false, Kind::Alpha, 0, 0, true},    {true, Kind::Alpha, 0, 0, true},
    {false, Kind::Alpha, 0, 0, false},   {true, Kind::Alpha, 0, 0, false},
    {false, Kind::Alpha, 1, 255, true},  {true, Kind::Alpha, 1, 255, true},
    {false, Kind::Alpha, 1, 200, true},  {false, Kind::Alpha, 1, 254, false},
    {false, Kind::Alpha, 1, 1, true},    {true, Kind::Alpha, 1, 200, true},
    {true, Kind::Alpha, 1, 254, false},  {true, Kind::Alpha, 1, 1, true},
    {false, Kind::Direct, 1, 128, false}, {false, Kind::Direct, 1, 128, true},
    {true, Kind::Direct, 1, 128, false}, {true, Kind::Direct, 1, 128, true},
    {false, Kind::Direct, 1, 200, false}, {false, Kind::Direct, 1, 200, true},
    {false, Kind::Direct, 2, 255, true}, {false, Kind::Direct, 3, 255, true},
    {false, Kind::Palette, 0, 0, true},  {true, Kind::Palette, 0, 0, true},
};

// A source in runs of 8 pixels: all skipped (transparent colour, alpha 0), all drawn
// whole (another colour, alpha 255), or mixed pixel by pixel.
void MakeRunSource(Owned& out, const RowCase& c, int32_t w, int32_t h, std::mt19937& rng) {
  blittest::MakeSource(out, c.is16, c.kind, w, h, rng);
  quelt::MemImgBase& b = *out.img.base;
  const int bytes = quelt::MemImgBytesPerPixel(b);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x0 = 0; x0 < w; x0 += 8) {
      const uint32_t run = static_cast<uint32_t>(rng()) % 3;
      if (run == 2) continue;
      for (int32_t x = x0; x < w && x < x0 + 8; ++x) {
        uint8_t* px = b.pixels + y * b.pitch + x * bytes;
        if (c.kind == Kind::Alpha) {
          px[c.is16 ? 2 : 3] = run == 0 ? 0 : 255;
        } else if (run == 0) {
          std::memcpy(px, &b.transparentColour, static_cast<size_t>(bytes));
        } else if (std::memcmp(px, &b.transparentColour, static_cast<size_t>(bytes)) == 0) {
          px[0] ^= 1;
        }
      }
    }
  }
}

std::string Where(const RowCase& c, const std::string& what) {
  std::ostringstream out;
  out << what << (c.is16 ? " 16-bit" : " 32-bit") << " kind " << static_cast<int>(c.kind) << " mode " << c.mode
      << " p " << c.p << " trans " << c.trans;
  return out.str();
}

class BlitRows : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { quelt::InitMemImgTables(); }

  // Draws through the renderer and the reference from the same destination; true when equal.
  template <class Draw, class Reference>
  static bool Agree(Owned& dest, Draw draw, Reference reference) {
    const auto before = blittest::Snapshot(dest.img);
    draw();
    const auto got = blittest::Snapshot(dest.img);
    blittest::Restore(dest.img, before);
    reference();
    return got == blittest::Snapshot(dest.img);
  }
};

TEST_F(BlitRows, PlainRowsMatchTheReferenceAtEveryWidthAlignmentAndClip) {
  std::mt19937 rng(24);
  int failures = 0;
  for (const RowCase& c : kCases) {
    for (int32_t width = 1; width <= 33 && failures < 5; ++width) {
      // The source is a view whose first pixel moves through every alignment.
      Owned whole;
      MakeRunSource(whole, c, width + 3, 3, rng);
      for (int32_t srcShift = 0; srcShift < 4; ++srcShift) {
        Owned view;
        quelt::MakeMemImgView(&view.img, &whole.img, srcShift, 0, width, 3);
        const quelt::MEMIMG* src = &view.img;
        Owned dest;
        blittest::MakeDest(dest, c.is16, 48, 5, rng);
        for (int32_t x = 0; x < 4; ++x) {
          for (int32_t clipLeft = 0; clipLeft < 4; ++clipLeft) {
            const SoftDrawState state{c.mode, c.p, 0xFFFFFF, {x + clipLeft, 0, 48, 5}};
            quelt::SoftDraw = state;
            const bool same = Agree(
                dest, [&] { quelt::MemImgBlit(&dest.img, src, x, 1, c.trans, nullptr); },
                [&] { blitref::Blit(&dest.img, src, x, 1, c.trans, nullptr, state); });
            if (!same) {
              ADD_FAILURE() << Where(c, "blit") << " width " << width << " source shift " << srcShift << " at "
                            << x << " clip left " << clipLeft;
              ++failures;
            }
          }
        }
      }
    }
  }
}

TEST_F(BlitRows, StretchedRowsMatchTheReferenceAtEveryWidthAndClip) {
  std::mt19937 rng(2024);
  int failures = 0;
  for (const RowCase& c : kCases) {
    for (int32_t width = 1; width <= 33 && failures < 5; ++width) {
      for (int32_t srcWidth : {1, 3, 7, 16, 40}) {
        Owned src;
        MakeRunSource(src, c, srcWidth, 4, rng);
        Owned dest;
        blittest::MakeDest(dest, c.is16, 48, 6, rng);
        for (int32_t x = 0; x < 4; ++x) {
          for (int32_t clipLeft : {0, 1, 3}) {
            const bool mirror = (x + clipLeft + width) % 2 == 1;
            const IntRect rect = mirror ? IntRect{x + width, 0, x, 6} : IntRect{x, 0, x + width, 6};
            const SoftDrawState state{c.mode, c.p, 0xFFFFFF, {x + clipLeft, 0, 48, 6}};
            quelt::SoftDraw = state;
            const bool same = Agree(
                dest, [&] { quelt::MemImgStretchBlit(&dest.img, &src.img, &rect, c.trans, nullptr); },
                [&] { blitref::StretchBlit(&dest.img, &src.img, rect, c.trans, nullptr, state); });
            if (!same) {
              ADD_FAILURE() << Where(c, "stretch") << " width " << width << " source width " << srcWidth
                            << " at " << x << " clip left " << clipLeft << " mirrored " << mirror;
              ++failures;
            }
          }
        }
      }
    }
  }
}

// Magnified, a transparent source pixel is passed over for every destination pixel it
// covers, and the next one starts where the accumulator says, clipped or not.
TEST_F(BlitRows, MagnifiedTransparentPixelsSkipTheirWholeCover) {
  std::mt19937 rng(5);
  for (bool is16 : {false, true}) {
    for (Kind kind : {Kind::Direct, Kind::Alpha, Kind::Palette}) {
      for (int32_t mode : {0, 1, 4, 10}) {
        Owned src;
        blittest::MakeSource(src, is16, kind, 5, 2, rng);
        Owned blend;
        blittest::MakeBlendImage(blend, 5, 2, rng);
        for (const quelt::MEMIMG* blendImage : {static_cast<const quelt::MEMIMG*>(nullptr),
                                                static_cast<const quelt::MEMIMG*>(&blend.img)}) {
          for (int32_t clipLeft : {0, 4, 7}) {
            Owned dest;
            blittest::MakeDest(dest, is16, 40, 8, rng);
            quelt::BuildBorderTable(100, 80);
            const IntRect rect{1, 0, 38, 7};
            const SoftDrawState state{mode, 77, 0xFFFFFF, {clipLeft, 0, 40, 8}};
            quelt::SoftDraw = state;
            EXPECT_TRUE(Agree(
                dest, [&] { quelt::MemImgStretchBlit(&dest.img, &src.img, &rect, 1, blendImage); },
                [&] { blitref::StretchBlit(&dest.img, &src.img, rect, 1, blendImage, state); }))
                << (is16 ? "16" : "32") << " kind " << static_cast<int>(kind) << " mode " << mode << " blend "
                << (blendImage != nullptr) << " clip left " << clipLeft;
          }
        }
      }
    }
  }
}

}  // namespace
