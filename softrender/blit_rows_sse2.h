#pragma once
// Whole-row forms of the commonest 32-bit plain-variant kernels on the processor's packed
// byte instructions, four pixels per step. Each gives exactly the result of its kernel in
// blend_kernels.h, which also draws the pixels left over at a row's end.
#include <cstdint>

#include "softrender/blend_kernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quelt::softblit {

// Which kernels have a row form (32-bit direct source, no blend image, bright or transparency).
constexpr bool HasRowForm32(Kernel k) {
  return k == Kernel::Mix || k == Kernel::MixHalf || k == Kernel::AddExact || k == Kernel::SubExact;
}

template <Kernel K>
inline void Row32(const PixelContext& c, uint8_t* dp, const uint8_t* sp, int32_t count) {
  int32_t i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  // Mix: d + fl(p (s - d) / 256) = (d (256 - p) + s p) >> 8 per byte; the fourth byte
  // takes weights 256 and 0, so it stays. Every 16-bit lane stays below 65536.
  const auto p = static_cast<int16_t>(c.p);
  const __m128i keepWeight = _mm_set_epi16(256, static_cast<int16_t>(256 - p), static_cast<int16_t>(256 - p),
                                           static_cast<int16_t>(256 - p), 256, static_cast<int16_t>(256 - p),
                                           static_cast<int16_t>(256 - p), static_cast<int16_t>(256 - p));
  const __m128i takeWeight = _mm_set_epi16(0, p, p, p, 0, p, p, p);
  const __m128i halfMask = _mm_set1_epi32(0x7F7F7F);
  for (; i + 4 <= count; i += 4) {
    const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sp + 4 * i));
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dp + 4 * i));
    __m128i out;
    if constexpr (K == Kernel::Mix) {
      const __m128i lo = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(d, zero), keepWeight),
                                       _mm_mullo_epi16(_mm_unpacklo_epi8(s, zero), takeWeight));
      const __m128i hi = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(d, zero), keepWeight),
                                       _mm_mullo_epi16(_mm_unpackhi_epi8(s, zero), takeWeight));
      out = _mm_packus_epi16(_mm_srli_epi16(lo, 8), _mm_srli_epi16(hi, 8));
    } else if constexpr (K == Kernel::MixHalf) {
      out = _mm_add_epi32(_mm_and_si128(_mm_srli_epi32(s, 1), halfMask),
                          _mm_and_si128(_mm_srli_epi32(d, 1), halfMask));
    } else if constexpr (K == Kernel::AddExact) {
      out = _mm_adds_epu8(d, s);
    } else {
      static_assert(K == Kernel::SubExact);
      out = _mm_subs_epu8(d, s);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dp + 4 * i), out);
  }
#endif
  for (; i < count; ++i) Pixel32<K, false, false, AlphaUse::None>(c, Load32(sp + 4 * i), 0, 0, dp + 4 * i);
}

}  // namespace quelt::softblit
