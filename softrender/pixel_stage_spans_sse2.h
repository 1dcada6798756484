#pragma once
// Four-pixel forms of the rotated and triangle loops drawn most: the 32-bit copy of a
// source with an alpha channel and the 32-bit copy with a transparent colour, without a
// blend image or bright scaling. They take no branch per pixel (a rotated walk meets
// alpha 0, 255 and the values between in no order a branch predictor can follow) and give
// exactly the bytes of Formula32; the span loop draws the pixels left over at its end.
#include <cstdint>

#include "softrender/pixel_stage_context.h"
#include "softrender/pixel_stage_formulas.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quelt {

enum class SpanForm : uint8_t { None, AlphaCopy32, KeyedCopy32 };

// Op is a PixelOp; which four-pixel form, if any, gives its bytes.
template <class Op>
constexpr SpanForm SpanFormOf() {
  if constexpr (Op::kDstBytes != 4 || Op::kMode != 0 || Op::kBlend || Op::kBright) {
    return SpanForm::None;
  } else if constexpr (Op::Src::kKind == PixelSource::Alpha) {
    return SpanForm::AlphaCopy32;
  } else if constexpr (Op::Src::kKind == PixelSource::Direct && Op::kTrans) {
    return SpanForm::KeyedCopy32;
  } else {
    return SpanForm::None;
  }
}

#if defined(__SSE2__)
// Blue, green and red of four pixels stepped towards the source by its alpha byte:
// d + floor((s - d) a / 256) = ((s - d) a + 256 d) >> 8, whose exact value lies in
// 0 .. 65280, so 16-bit lanes that wrap give it exactly. The fourth byte stays d's.
inline __m128i AlphaStep32(__m128i s, __m128i d) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i colourMask = _mm_set1_epi32(0x00FFFFFF);
  auto half = [](__m128i s16, __m128i d16) {
    __m128i a16 = _mm_shufflelo_epi16(s16, _MM_SHUFFLE(3, 3, 3, 3));
    a16 = _mm_shufflehi_epi16(a16, _MM_SHUFFLE(3, 3, 3, 3));
    const __m128i v = _mm_add_epi16(_mm_mullo_epi16(_mm_sub_epi16(s16, d16), a16), _mm_slli_epi16(d16, 8));
    return _mm_srli_epi16(v, 8);
  };
  const __m128i lo = half(_mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(d, zero));
  const __m128i hi = half(_mm_unpackhi_epi8(s, zero), _mm_unpackhi_epi8(d, zero));
  const __m128i stepped = _mm_packus_epi16(lo, hi);
  return _mm_or_si128(_mm_and_si128(colourMask, stepped), _mm_andnot_si128(colourMask, d));
}

// Where mask is set a, elsewhere b.
inline __m128i Select32(__m128i mask, __m128i a, __m128i b) {
  return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}
#endif

// Draws the whole groups of four of n pixels whose texels all lie inside the source, and
// moves dst, u and v past them; returns how many pixels it drew (0 without a form).
template <class Op, class Rows>
inline int32_t DrawSpanGroups(const PixelContext& c, uint8_t*& dst, int32_t n, uint32_t& u,
                              uint32_t& v) {
#if defined(__SSE2__)
  constexpr SpanForm kForm = SpanFormOf<Op>();
  if constexpr (kForm != SpanForm::None) {
    const uint32_t du = c.uStepX, dv = c.vStepX;
    auto fetch = [&] {
      const uint32_t texel = LoadPixel32(Rows::Source(c, v >> kFixedShift) + (u >> kFixedShift) * 4u);
      u += du;
      v += dv;
      return static_cast<int32_t>(texel);
    };
    const __m128i key = _mm_set1_epi32(static_cast<int32_t>(c.transparent));
    const __m128i alphaMask = _mm_set1_epi32(static_cast<int32_t>(0xFF000000u));
    int32_t done = 0;
    for (; done + 4 <= n; done += 4, dst += 16) {
      const int32_t t0 = fetch(), t1 = fetch(), t2 = fetch(), t3 = fetch();
      const __m128i s = _mm_set_epi32(t3, t2, t1, t0);
      const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst));
      __m128i out;
      if constexpr (kForm == SpanForm::AlphaCopy32) {
        // Alpha 0 steps by nothing, which leaves the pixel as the skip does.
        out = AlphaStep32(s, d);
        if constexpr (Op::kTrans) {
          const __m128i opaque = _mm_cmpeq_epi32(_mm_and_si128(s, alphaMask), alphaMask);
          out = Select32(opaque, s, out);
        }
      } else {
        out = Select32(_mm_cmpeq_epi32(s, key), d, s);
      }
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), out);
    }
    return done;
  }
#endif
  (void)c, (void)dst, (void)n, (void)u, (void)v;
  return 0;
}

}  // namespace quelt
