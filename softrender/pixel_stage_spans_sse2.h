#pragma once
// Packed forms of the rotated and triangle loops drawn most: the copy of a source with an
// alpha channel and the copy with a transparent colour, without a blend image or bright
// scaling, four 32-bit or eight RGB565 pixels a step. They take no branch per pixel (a
// rotated walk meets alpha 0, 255 and the values between in no order a branch predictor
// can follow) and give exactly the bytes of Formula32 and Formula16; the span loop draws
// the pixels left over at its end.
#include <cstdint>

#include "softrender/pixel_stage_context.h"
#include "softrender/pixel_stage_formulas.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quelt {

enum class SpanForm : uint8_t { None, AlphaCopy32, KeyedCopy32, AlphaCopy16, KeyedCopy16 };

// Op is a PixelOp; which packed form, if any, gives its bytes.
template <class Op>
constexpr SpanForm SpanFormOf() {
  constexpr bool k32 = Op::kDstBytes == 4;
  if constexpr (Op::kMode != BlendCopy || Op::kBlend || Op::kBright) {
    return SpanForm::None;
  } else if constexpr (Op::Src::kKind == PixelSource::Alpha) {
    return k32 ? SpanForm::AlphaCopy32 : SpanForm::AlphaCopy16;
  } else if constexpr (Op::Src::kKind == PixelSource::Direct && Op::kTrans) {
    return k32 ? SpanForm::KeyedCopy32 : SpanForm::KeyedCopy16;
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

// The same step on the red, green and blue fields of eight RGB565 words, with the alpha
// bytes in 16-bit lanes; exact values stay below 64 x 256.
inline __m128i AlphaStep565(__m128i s, __m128i d, __m128i a) {
  auto step = [&](int shift, int fieldMask) {
    const __m128i mask = _mm_set1_epi16(static_cast<int16_t>(fieldMask));
    const __m128i sf = _mm_and_si128(_mm_srli_epi16(s, shift), mask);
    const __m128i df = _mm_and_si128(_mm_srli_epi16(d, shift), mask);
    const __m128i v = _mm_add_epi16(_mm_mullo_epi16(_mm_sub_epi16(sf, df), a), _mm_slli_epi16(df, 8));
    return _mm_slli_epi16(_mm_srli_epi16(v, 8), shift);
  };
  return _mm_or_si128(_mm_or_si128(step(11, 0x1F), step(5, 0x3F)), step(0, 0x1F));
}

// The low 16 bits of eight 32-bit lanes, in order (values are kept exactly by the signed pack).
inline __m128i LowHalves(__m128i lo, __m128i hi) {
  return _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(lo, 16), 16), _mm_srai_epi32(_mm_slli_epi32(hi, 16), 16));
}

// Where mask is set a, elsewhere b.
inline __m128i Select32(__m128i mask, __m128i a, __m128i b) {
  return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}
#endif

// Draws the whole groups of n pixels whose texels all lie inside the source, and moves
// dst, u and v past them; returns how many pixels it drew (0 without a form).
template <class Op, class Rows>
inline int32_t DrawSpanGroups(const PixelContext& c, uint8_t*& dst, int32_t n, uint32_t& u,
                              uint32_t& v) {
#if defined(__SSE2__)
  constexpr SpanForm kForm = SpanFormOf<Op>();
  if constexpr (kForm != SpanForm::None) {
    const uint32_t du = c.uStepX, dv = c.vStepX;
    uint32_t uu = u, vv = v;  // in registers, not behind the references
    auto fetch = [&c, &uu, &vv, du, dv] {
      const uint8_t* texel = Rows::Source(c, vv >> kFixedShift) + (uu >> kFixedShift) * Op::Src::kTexelBytes;
      uu += du;
      vv += dv;
      if constexpr (Op::Src::kTexelBytes == 4) {
        return static_cast<int32_t>(LoadPixel32(texel));
      } else {
        return static_cast<int32_t>(LoadPixel16(texel));
      }
    };
    int32_t done = 0;
    if constexpr (kForm == SpanForm::AlphaCopy32 || kForm == SpanForm::KeyedCopy32) {
      const __m128i key = _mm_set1_epi32(static_cast<int32_t>(c.transparent));
      const __m128i alphaMask = _mm_set1_epi32(static_cast<int32_t>(0xFF000000u));
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
    } else {
      // A transparent colour above 0xFFFF never equals a 16-bit texel.
      const __m128i key = _mm_set1_epi16(static_cast<int16_t>(c.transparent & 0xFFFFu));
      const __m128i keyCanMatch = _mm_set1_epi16(c.transparent <= 0xFFFFu ? -1 : 0);
      const __m128i opaqueAlpha = _mm_set1_epi16(255);
      const __m128i alphaByte = _mm_set1_epi32(0xFF);
      for (; done + 8 <= n; done += 8, dst += 16) {
        const int32_t t0 = fetch(), t1 = fetch(), t2 = fetch(), t3 = fetch();
        const int32_t t4 = fetch(), t5 = fetch(), t6 = fetch(), t7 = fetch();
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst));
        __m128i out;
        if constexpr (kForm == SpanForm::AlphaCopy16) {
          // Each texel: the RGB565 word, then the alpha byte.
          const __m128i lo = _mm_set_epi32(t3, t2, t1, t0), hi = _mm_set_epi32(t7, t6, t5, t4);
          const __m128i s = LowHalves(lo, hi);
          const __m128i a = _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(lo, 16), alphaByte),
                                            _mm_and_si128(_mm_srli_epi32(hi, 16), alphaByte));
          out = AlphaStep565(s, d, a);
          if constexpr (Op::kTrans) out = Select32(_mm_cmpeq_epi16(a, opaqueAlpha), s, out);
        } else {
          auto pair = [](int32_t low, int32_t high) { return static_cast<int32_t>(static_cast<uint32_t>(low) | static_cast<uint32_t>(high) << 16); };
          const __m128i s = _mm_set_epi32(pair(t6, t7), pair(t4, t5), pair(t2, t3), pair(t0, t1));
          out = Select32(_mm_and_si128(_mm_cmpeq_epi16(s, key), keyCanMatch), d, s);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), out);
      }
    }
    u = uu;
    v = vv;
    return done;
  }
#endif
  (void)c, (void)dst, (void)n, (void)u, (void)v;
  return 0;
}

}  // namespace quelt
