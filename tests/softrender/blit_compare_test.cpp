// Every blitter variant against the slow reference, bit for bit, on seeded random images,
// positions, clips and parameters.
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "blit_reference.h"
#include "blit_test_images.h"
#include "softrender/memimg_draw.h"
#include "softrender/memimg_format.h"

namespace {

using blittest::Kind;
using blittest::Owned;
using quelt::IntRect;
using quelt::SoftDrawState;

constexpr int32_t kParams[] = {0, 1, 127, 128, 129, 254, 255};
constexpr uint32_t kBrights[] = {0x000000, 0x808080, 0x12FF7F, 0xFF01FEFF};

// The engine's plain blit and the reference's of the same source at the same place on the
// same destination: {engine's destination bytes, reference's destination bytes}.
std::pair<std::vector<uint8_t>, std::vector<uint8_t>> EngineAndReferenceBlit(Owned& dest, Owned& src, int32_t x,
                                                                             int32_t y, int32_t trans,
                                                                             const SoftDrawState& state) {
  const auto before = blittest::Snapshot(dest.img);
  quelt::SoftDraw = state;
  quelt::MemImgBlit(&dest.img, &src.img, x, y, trans, nullptr);
  auto engine = blittest::Snapshot(dest.img);
  blittest::Restore(dest.img, before);
  blitref::Blit(&dest.img, &src.img, x, y, trans, nullptr, state);
  return {std::move(engine), blittest::Snapshot(dest.img)};
}

struct Trial {
  bool is16;
  Kind kind;
  int32_t mode;
  int32_t p;
  bool blend;
  bool bright;
  bool trans;
};

std::string Describe(const Trial& t, const SoftDrawState& s, const std::string& where) {
  std::ostringstream out;
  out << where << (t.is16 ? " 16-bit" : " 32-bit") << " kind " << static_cast<int>(t.kind) << " mode "
      << t.mode << " p " << t.p << " blend " << t.blend << " bright 0x" << std::hex << s.BrightColour
      << std::dec << " trans " << t.trans << " clip " << s.ClipRect.x1 << "," << s.ClipRect.y1 << ","
      << s.ClipRect.x2 << "," << s.ClipRect.y2;
  return out.str();
}

class BlitCompare : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { quelt::InitMemImgTables(); }

  // Runs one random draw through the renderer and the reference; empty when they agree.
  static std::string RunOne(const Trial& t, bool stretched, std::mt19937& rng) {
    const int32_t sw = 1 + static_cast<int32_t>(rng() % 13);
    const int32_t sh = 1 + static_cast<int32_t>(rng() % 9);
    // Sometimes the source is a view into a larger image, so its pitch is not its row.
    Owned whole;
    Owned view;
    const bool asView = rng() % 3 == 0;
    blittest::MakeSource(whole, t.is16, t.kind, sw + (asView ? 5 : 0), sh + (asView ? 3 : 0), rng);
    const quelt::MEMIMG* src = &whole.img;
    if (asView) {
      quelt::MakeMemImgView(&view.img, &whole.img, 2, 1, sw, sh);
      src = &view.img;
    }
    Owned dest;
    blittest::MakeDest(dest, t.is16, 21 + static_cast<int32_t>(rng() % 6), 15 + static_cast<int32_t>(rng() % 4), rng);
    Owned blendWhole;
    Owned blendView;
    const quelt::MEMIMG* blend = nullptr;
    if (t.blend) {
      const int32_t extra = static_cast<int32_t>(rng() % 3);
      blittest::MakeBlendImage(blendWhole, sw + extra, sh + extra, rng);
      blend = &blendWhole.img;
      if (extra > 0 && rng() % 2 == 0) {
        quelt::MakeMemImgView(&blendView.img, &blendWhole.img, 1, 1, sw, sh);
        blend = &blendView.img;
      }
    }
    quelt::BuildBorderTable(static_cast<int32_t>(rng() % 256), static_cast<int32_t>(rng() % 256));

    SoftDrawState state{};
    state.BlendMode = t.mode;
    state.BlendParam = t.p;
    // Bright off is any value whose low 24 bits are 0xFFFFFF.
    state.BrightColour = t.bright ? kBrights[rng() % 4] : 0x00FFFFFF | (rng() % 2 ? 0xFF000000u : 0u);
    const int32_t dw = dest.img.width, dh = dest.img.height;
    const int32_t cx1 = static_cast<int32_t>(rng() % 5), cy1 = static_cast<int32_t>(rng() % 4);
    state.ClipRect = {cx1, cy1, dw - static_cast<int32_t>(rng() % 5), dh - static_cast<int32_t>(rng() % 4)};

    const auto before = blittest::Snapshot(dest.img);
    quelt::SoftDraw = state;
    const int32_t x = static_cast<int32_t>(rng() % 34) - 10;
    const int32_t y = static_cast<int32_t>(rng() % 26) - 8;
    IntRect rect{x, y, 0, 0};
    if (stretched) {
      const int32_t shape = static_cast<int32_t>(rng() % 6);
      rect.x2 = shape == 0 ? x + sw : static_cast<int32_t>(rng() % 40) - 10;
      rect.y2 = shape == 0 ? y + sh : static_cast<int32_t>(rng() % 30) - 8;
      quelt::MemImgStretchBlit(&dest.img, src, &rect, t.trans, blend);
    } else {
      quelt::MemImgBlit(&dest.img, src, x, y, t.trans, blend);
    }
    const auto got = blittest::Snapshot(dest.img);
    blittest::Restore(dest.img, before);
    if (stretched) {
      blitref::StretchBlit(&dest.img, src, rect, t.trans, blend, state);
    } else {
      blitref::Blit(&dest.img, src, x, y, t.trans, blend, state);
    }
    const auto want = blittest::Snapshot(dest.img);
    if (got == want) return {};
    const int32_t pitch = dest.img.base->pitch;
    for (size_t i = 0; i < got.size(); ++i) {
      if (got[i] != want[i]) {
        std::ostringstream where;
        where << (stretched ? "stretch" : "blit") << " at " << x << "," << y;
        if (stretched) where << " to " << rect.x2 << "," << rect.y2;
        where << " src " << sw << "x" << sh << " first difference: row " << i / pitch << " byte "
              << i % pitch << " got " << int{got[i]} << " want " << int{want[i]} << " was "
              << int{before[i]};
        return Describe(t, state, where.str());
      }
    }
    return "sizes differ";
  }

  static void CompareAll(bool stretched, uint32_t seed) {
    std::mt19937 rng(seed);
    int failures = 0;
    for (bool is16 : {false, true}) {
      for (Kind kind : {Kind::Direct, Kind::Alpha, Kind::Palette}) {
        for (int32_t mode = 0; mode <= 12; ++mode) {
          for (int32_t p : kParams) {
            for (int flags = 0; flags < 8; ++flags) {
              const Trial t{is16, kind, mode, p, (flags & 4) != 0, (flags & 2) != 0, (flags & 1) != 0};
              for (int rep = 0; rep < 3; ++rep) {
                const std::string diff = RunOne(t, stretched, rng);
                if (!diff.empty()) {
                  ADD_FAILURE() << diff;
                  if (++failures >= 10) return;
                }
              }
            }
          }
        }
      }
    }
  }
};

TEST_F(BlitCompare, PlainBlitterMatchesReferenceInEveryVariant) { CompareAll(false, 20240601); }

TEST_F(BlitCompare, StretchedBlitterMatchesReferenceInEveryVariant) { CompareAll(true, 777); }

// The 16-bit two-pixel forms pair pixels from the first visible column: an odd and an
// even clip offset pair different source pixels, with and without transparency.
TEST_F(BlitCompare, SixteenBitPairFormsFollowTheClipOffset) {
  std::mt19937 rng(99);
  for (int32_t mode : {2, 3}) {
    for (int32_t clipLeft : {0, 1, 2, 3}) {
      for (int32_t trans : {0, 1}) {
        for (Kind kind : {Kind::Direct, Kind::Palette}) {
          Owned src;
          Owned dest;
          blittest::MakeSource(src, true, kind, 9, 3, rng);
          blittest::MakeDest(dest, true, 16, 5, rng);
          SoftDrawState state{mode, 255, 0xFFFFFF, {clipLeft, 0, 16, 5}};
          const auto [got, expected] = EngineAndReferenceBlit(dest, src, 0, 1, trans, state);
          EXPECT_EQ(got, expected)
              << "mode " << mode << " clip left " << clipLeft << " trans " << trans;
        }
      }
    }
  }
}

// Sources of transparent, opaque and translucent spans with a run table, as loaded
// pictures have: drawn whole, clipped, in the modes that go by the table and others, and
// after a change of their pixels that the table no longer describes.
TEST_F(BlitCompare, RunTablesDrawWhatThePixelsHold) {
  std::mt19937 rng(4321);
  for (bool is16 : {false, true}) {
    for (Kind kind : {Kind::Direct, Kind::Alpha}) {
      for (int rep = 0; rep < 40; ++rep) {
        // Narrow sources go by the ordinary loop whole, wider ones by the table.
        const int32_t w = 40 + static_cast<int32_t>(rng() % 200), h = 1 + static_cast<int32_t>(rng() % 8);
        Owned src;
        blittest::MakeSource(src, is16, kind, w, h, rng);
        quelt::MemImgBase& b = *src.img.base;
        const int bytes = quelt::MemImgBytesPerPixel(b);
        for (int32_t y = 0; y < h; ++y) {
          // Some rows noise-like, drawn by the ordinary loop, between rows the table draws.
          const uint32_t longest = rng() % 3 == 0 ? 3 : 70;
          for (int32_t x = 0; x < w;) {
            const int32_t span = 1 + static_cast<int32_t>(rng() % longest);
            const uint32_t pick = rng() % 3;
            for (int32_t i = x; i < w && i < x + span; ++i) {
              uint8_t* px = b.pixels + y * b.pitch + i * bytes;
              if (kind == Kind::Alpha) {
                px[is16 ? 2 : 3] = pick == 0 ? 0 : pick == 1 ? 255 : static_cast<uint8_t>(1 + rng() % 254);
              } else if (pick == 0) {
                std::memcpy(px, &b.transparentColour, bytes);
              } else if (std::memcmp(px, &b.transparentColour, bytes) == 0) {
                px[0] ^= 1;
              }
            }
            x += span;
          }
        }
        ASSERT_EQ(quelt::AddMemImgRunTable(&src.img), 0);
        if (rep % 5 == 0) {
          const IntRect part{0, 0, w / 2, h};
          quelt::ClearMemImg(&src.img, &part, 0);
          EXPECT_EQ(b.runTableValid, 0);
        }
        Owned dest;
        blittest::MakeDest(dest, is16, w + 12, h + 6, rng);
        constexpr int32_t kModes[][2] = {{0, 0}, {1, 255}, {1, 128}, {2, 255}};
        const auto& mode = kModes[rng() % 4];
        const bool clipped = rng() % 4 == 0;
        const SoftDrawState state{mode[0], mode[1], rng() % 5 == 0 ? 0x808080u : 0xFFFFFFu,
                                  {clipped ? 9 : 0, 0, w + 12, h + 6}};
        const int32_t trans = rng() % 4 != 0;
        const auto [got, expected] = EngineAndReferenceBlit(dest, src, 5, 3, trans, state);
        ASSERT_EQ(got, expected)
            << (is16 ? "16" : "32") << "-bit kind " << static_cast<int>(kind) << " rep " << rep << " mode "
            << mode[0] << " p " << mode[1] << " trans " << trans << " clipped " << clipped;
      }
    }
  }
}

}  // namespace
