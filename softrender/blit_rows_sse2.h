#pragma once
// Whole-row forms of the commonest blitter variants on the processor's packed instructions
// (SSE2, which every build assumes), four or eight pixels per step. Each gives exactly the
// result of its kernel in blend_kernels.h, transparency rules included; the scalar kernels
// draw the pixels left over at a row's end. The source is read either as one run of pixels
// (plain blitter) or through a table of source offsets per destination column (stretched).
#include <cstdint>

#include "softrender/blend_kernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quelt::softblit {

// Which variants have a row form: no blend image and bright off, and
//  - a direct source in the 32-bit mix, halving, exact add and subtract kernels, or the
//    16-bit halving, with or without its transparent colour;
//  - a direct source copied, with or without its transparent colour (both depths; the
//    plain blitter copies rows without one as bytes);
//  - an alpha source copied with transparency on (both depths), or off (16-bit: the
//    colour half of each 4-byte pixel);
//  - an alpha source mixed by the blend parameter, with or without transparency.
template <class V>
constexpr bool HasRowForm() {
#if defined(__SSE2__)
  if (V::Blend || V::Bright) return false;
  if (V::Kind == SrcKind::Direct) {
    if (V::K == Kernel::Copy) return true;
    if (V::K == Kernel::MixHalf) return true;
    return !V::Is16 && (V::K == Kernel::Mix || V::K == Kernel::AddExact || V::K == Kernel::SubExact);
  }
  if (V::Kind != SrcKind::Alpha) return false;
  // (Without transparency a 32-bit alpha source is copied row by row as bytes.)
  if (V::K == Kernel::Copy) return V::Trans || V::Is16;
  return V::K == Kernel::Mix;
#else
  return false;
#endif
}

// Source pixels of a row in one run.
struct RunSource {
  const uint8_t* first;
  int32_t bytes;  // per pixel
  const uint8_t* At(int32_t i) const { return first + i * bytes; }
#if defined(__SSE2__)
  __m128i Load4x32(int32_t i) const { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(At(i))); }
  __m128i Load8x16(int32_t i) const { return Load4x32(i); }
#endif
};

// Source pixels picked per destination column: row start + a byte offset per column.
struct PickedSource {
  const uint8_t* row;
  const int32_t* offsets;
  const uint8_t* At(int32_t i) const { return row + offsets[i]; }
#if defined(__SSE2__)
  __m128i Load4x32(int32_t i) const {
    return _mm_set_epi32(static_cast<int32_t>(LoadPixel32(At(i + 3))), static_cast<int32_t>(LoadPixel32(At(i + 2))),
                         static_cast<int32_t>(LoadPixel32(At(i + 1))), static_cast<int32_t>(LoadPixel32(At(i))));
  }
  __m128i Load8x16(int32_t i) const {
    const auto v = [&](int32_t k) { return static_cast<int16_t>(LoadPixel16(At(i + k))); };
    return _mm_set_epi16(v(7), v(6), v(5), v(4), v(3), v(2), v(1), v(0));
  }
#endif
};

// Per-call constants of the row forms.
struct RowConstants {
#if defined(__SSE2__)
  __m128i keepWeight;  // 256 - p in the colour lanes, 256 in the fourth byte's
  __m128i takeWeight;  // p in the colour lanes, 0 in the fourth byte's
  __m128i key32;
  __m128i key16;
  __m128i param32;  // p in the low half of each 32-bit lane
  __m128i param16;
#endif
};

inline RowConstants MakeRowConstants([[maybe_unused]] const PixelContext& c, [[maybe_unused]] uint32_t transparent) {
#if defined(__SSE2__)
  const auto p = static_cast<int16_t>(c.p);
  const auto q = static_cast<int16_t>(256 - c.p);
  return {_mm_set_epi16(256, q, q, q, 256, q, q, q), _mm_set_epi16(0, p, p, p, 0, p, p, p),
          _mm_set1_epi32(static_cast<int32_t>(transparent)),
          _mm_set1_epi16(static_cast<int16_t>(transparent & 0xFFFF)), _mm_set1_epi32(c.p),
          _mm_set1_epi16(static_cast<int16_t>(c.p))};
#else
  return {};
#endif
}

#if defined(__SSE2__)

// keep ? d : result, per bit.
inline __m128i Select(__m128i keep, __m128i d, __m128i result) {
  return _mm_or_si128(_mm_and_si128(keep, d), _mm_andnot_si128(keep, result));
}

// d + fl(x w / 65536) for x = s - d (signed) and w = 0..65535 read as unsigned, per lane:
// the signed high half reads w >= 32768 as w - 65536, which takes exactly x off.
inline __m128i MixWide(__m128i d, __m128i x, __m128i w) {
  return _mm_add_epi16(_mm_add_epi16(d, _mm_mulhi_epi16(x, w)), _mm_and_si128(x, _mm_srai_epi16(w, 15)));
}

// ((d << 8) + (s - d) w) >> 8 per 16-bit lane = d + fl(w (s - d) / 256) for w <= 256: the
// exact value lies in 0..65280, so the lane's wrap-around arithmetic gives it exactly.
inline __m128i MixLanes(__m128i d, __m128i s, __m128i w) {
  return _mm_srli_epi16(_mm_add_epi16(_mm_slli_epi16(d, 8), _mm_mullo_epi16(_mm_sub_epi16(s, d), w)), 8);
}

// 32-bit kernels on four pixels.
template <Kernel K>
inline __m128i Kernel4x32(const RowConstants& rc, __m128i s, __m128i d) {
  const __m128i zero = _mm_setzero_si128();
  if constexpr (K == Kernel::Copy) {
    return s;
  } else if constexpr (K == Kernel::Mix) {
    // (d (256 - p) + s p) >> 8; the fourth byte takes weights 256 and 0, so it stays.
    const __m128i lo = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(d, zero), rc.keepWeight),
                                     _mm_mullo_epi16(_mm_unpacklo_epi8(s, zero), rc.takeWeight));
    const __m128i hi = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(d, zero), rc.keepWeight),
                                     _mm_mullo_epi16(_mm_unpackhi_epi8(s, zero), rc.takeWeight));
    return _mm_packus_epi16(_mm_srli_epi16(lo, 8), _mm_srli_epi16(hi, 8));
  } else if constexpr (K == Kernel::MixHalf) {
    const __m128i halfMask = _mm_set1_epi32(0x7F7F7F);
    return _mm_add_epi32(_mm_and_si128(_mm_srli_epi32(s, 1), halfMask), _mm_and_si128(_mm_srli_epi32(d, 1), halfMask));
  } else if constexpr (K == Kernel::AddExact) {
    return _mm_adds_epu8(d, s);
  } else {
    static_assert(K == Kernel::SubExact);
    return _mm_subs_epu8(d, s);
  }
}

// Copy of an alpha source with transparency: a = 0 keeps d, a = 255 copies the whole pixel,
// other a give d + fl(a (s - d) / 256) in bytes 0-2 and keep d's fourth byte. Blue and red
// are mixed in one set of 16-bit lanes, green and the fourth byte in another. The weight is
// a in the colour lanes and 0 in the fourth byte's (which thus keeps d), and 256 in all
// four for a = 255 (which thus copies). `opaque`: a = 255, per pixel.
inline __m128i AlphaCopy4x32(__m128i s, __m128i d, __m128i a, __m128i opaque) {
  const __m128i lowBytes = _mm_set1_epi32(0x00FF00FF);
  const __m128i highBytes = _mm_set1_epi32(static_cast<int32_t>(0xFF00FF00));
  // a = 255: 255 + 1 in the low lane, 256 in the high one.
  const __m128i wGreen = _mm_add_epi32(a, _mm_and_si128(opaque, _mm_set1_epi32(0x01000001)));
  const __m128i wBlueRed = _mm_or_si128(wGreen, _mm_slli_epi32(wGreen, 16));
  const __m128i blueRed =
      _mm_srli_epi16(_mm_add_epi16(_mm_slli_epi16(d, 8), _mm_mullo_epi16(_mm_sub_epi16(_mm_and_si128(s, lowBytes),
                                                                                         _mm_and_si128(d, lowBytes)),
                                                                          wBlueRed)),
                     8);
  const __m128i greenLast = _mm_and_si128(
      _mm_add_epi16(_mm_and_si128(d, highBytes),
                    _mm_mullo_epi16(_mm_sub_epi16(_mm_srli_epi16(s, 8), _mm_srli_epi16(d, 8)), wGreen)),
      highBytes);
  return _mm_or_si128(blueRed, greenLast);
}

// Mix of an alpha source towards the source by a p / 65536, or with transparency and
// a = 255 by p / 256 = 256 p / 65536: one weight W = a' p per pixel (a' = 256 for a dropped
// a = 255), W <= 65280, and d + fl(W (s - d) / 65536) in bytes 0-2, d's fourth byte kept.
inline __m128i AlphaMix4x32(__m128i s, __m128i d, __m128i weight) {
  const __m128i lowBytes = _mm_set1_epi32(0x00FF00FF);
  const auto mixLanes = [](__m128i dl, __m128i sl, __m128i w) { return MixWide(dl, _mm_sub_epi16(sl, dl), w); };
  const __m128i blueRed = mixLanes(_mm_and_si128(d, lowBytes), _mm_and_si128(s, lowBytes),
                                   _mm_or_si128(weight, _mm_slli_epi32(weight, 16)));
  // The fourth byte's lane has weight 0 and keeps d.
  const __m128i greenLast = mixLanes(_mm_srli_epi16(d, 8), _mm_srli_epi16(s, 8), weight);
  return _mm_or_si128(blueRed, _mm_slli_epi16(greenLast, 8));
}

// Low 16 bits of eight 32-bit values (two vectors) as eight 16-bit lanes.
inline __m128i LowHalves(__m128i a, __m128i b) {
  return _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(a, 16), 16), _mm_srai_epi32(_mm_slli_epi32(b, 16), 16));
}

// 16-bit alpha source (R5G6B5 in bytes 0-1, alpha in byte 2) copied with transparency,
// eight pixels: per field f_d + fl(a (f_s - f_d) / 256); a = 255 copies, a = 0 keeps.
inline __m128i AlphaCopy8x16(__m128i sLo, __m128i sHi, __m128i d) {
  const __m128i byteMask = _mm_set1_epi32(0xFF);
  const __m128i s = LowHalves(sLo, sHi);
  const __m128i a = _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(sLo, 16), byteMask),
                                    _mm_and_si128(_mm_srli_epi32(sHi, 16), byteMask));
  const __m128i w = _mm_sub_epi16(a, _mm_cmpeq_epi16(a, _mm_set1_epi16(255)));
  const __m128i low5 = _mm_set1_epi16(31);
  const __m128i low6 = _mm_set1_epi16(63);
  const __m128i r = MixLanes(_mm_srli_epi16(d, 11), _mm_srli_epi16(s, 11), w);
  const __m128i g = MixLanes(_mm_and_si128(_mm_srli_epi16(d, 5), low6), _mm_and_si128(_mm_srli_epi16(s, 5), low6), w);
  const __m128i b = MixLanes(_mm_and_si128(d, low5), _mm_and_si128(s, low5), w);
  return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(r, 11), _mm_slli_epi16(g, 5)), b);
}

// p x / 255 truncated towards zero, for |p x| < 65536: n / 255 = (n 0x8081) >> 23.
inline __m128i SignedProduct(__m128i x, __m128i p) {
  const __m128i sign = _mm_srai_epi16(x, 15);
  const __m128i n = _mm_mullo_epi16(_mm_sub_epi16(_mm_xor_si128(x, sign), sign), p);
  const __m128i q = _mm_srli_epi16(_mm_mulhi_epu16(n, _mm_set1_epi16(static_cast<int16_t>(0x8081))), 7);
  return _mm_sub_epi16(_mm_xor_si128(q, sign), sign);
}

// 16-bit alpha source mixed by the blend parameter, eight pixels: per field
// f_d + fl(a p (f_s - f_d) / 65536); with transparency a = 255 drops a and takes
// f_d + p (f_s - f_d) / 255 truncated towards zero. a = 0 leaves the pixel as it is.
template <bool Trans>
inline __m128i AlphaMix8x16(__m128i sLo, __m128i sHi, __m128i d, __m128i p) {
  const __m128i byteMask = _mm_set1_epi32(0xFF);
  const __m128i s = LowHalves(sLo, sHi);
  const __m128i a = _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(sLo, 16), byteMask),
                                    _mm_and_si128(_mm_srli_epi32(sHi, 16), byteMask));
  const __m128i w = _mm_mullo_epi16(a, p);
  [[maybe_unused]] const __m128i dropped = _mm_cmpeq_epi16(a, _mm_set1_epi16(255));
  const auto mix = [&](__m128i fd, __m128i fs) {
    const __m128i x = _mm_sub_epi16(fs, fd);
    const __m128i factor = MixWide(fd, x, w);
    if constexpr (!Trans) {
      return factor;
    } else {
      return Select(dropped, _mm_add_epi16(fd, SignedProduct(x, p)), factor);
    }
  };
  const __m128i low5 = _mm_set1_epi16(31);
  const __m128i low6 = _mm_set1_epi16(63);
  const __m128i r = mix(_mm_srli_epi16(d, 11), _mm_srli_epi16(s, 11));
  const __m128i g = mix(_mm_and_si128(_mm_srli_epi16(d, 5), low6), _mm_and_si128(_mm_srli_epi16(s, 5), low6));
  const __m128i b = mix(_mm_and_si128(d, low5), _mm_and_si128(s, low5));
  return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(r, 11), _mm_slli_epi16(g, 5)), b);
}

inline void Store128(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
inline __m128i Load128(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

// A run of opaque pixels as they are: `bytes` (at least 2, even) from sp to dp, sixteen at a
// time. The last piece overlaps the one before it rather than going by smaller steps, so a
// short run is two moves and no tail loop.
inline void CopyRun(uint8_t* dp, const uint8_t* sp, int32_t bytes) {
  if (bytes >= 16) {
    for (int32_t i = 0; i + 16 < bytes; i += 16) Store128(dp + i, Load128(sp + i));
    Store128(dp + bytes - 16, Load128(sp + bytes - 16));
  } else if (bytes >= 8) {
    const __m128i head = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(sp));
    const __m128i tail = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(sp + bytes - 8));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dp), head);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dp + bytes - 8), tail);
  } else if (bytes >= 4) {
    const uint32_t head = LoadPixel32(sp), tail = LoadPixel32(sp + bytes - 4);
    StorePixel32(dp, head);
    StorePixel32(dp + bytes - 4, tail);
  } else {
    StorePixel16(dp, LoadPixel16(sp));
  }
}

// The colour halves of a run of opaque 16-bit alpha pixels, eight at a time; as in CopyRun the
// last eight (or four) overlap the ones before them.
inline void CopyColourHalves(uint8_t* dp, const uint8_t* sp, int32_t n) {
  const auto eight = [&](int32_t i) { Store128(dp + 2 * i, LowHalves(Load128(sp + 4 * i), Load128(sp + 4 * i + 16))); };
  if (n >= 8) {
    for (int32_t i = 0; i + 8 < n; i += 8) eight(i);
    eight(n - 8);
  } else if (n >= 4) {
    const __m128i both = LowHalves(Load128(sp), Load128(sp + 4 * (n - 4)));  // first four, last four
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dp), both);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dp + 2 * (n - 4)), _mm_unpackhi_epi64(both, both));
  } else {
    for (int32_t i = 0; i < n; ++i) StorePixel16(dp + 2 * i, LoadPixel16(sp + 4 * i));
  }
}

// 32-bit alpha copies take eight pixels per step where the processor has sixteen vector
// registers (x86-64), four where it has eight (measured faster in the 32-bit program).
inline constexpr bool kSixteenVectorRegisters = sizeof(void*) == 8;

// Pixels per step of a row form.
template <class V>
inline constexpr int32_t kRowStep =
    V::Is16 || (V::Kind == SrcKind::Alpha && (V::K != Kernel::Copy || kSixteenVectorRegisters)) ? 8 : 4;

// kRowStep<V> destination pixels of variant V from the source at pixel i.
template <class V, class Source>
inline void Step(const RowConstants& rc, uint8_t* dp, const Source& src, int32_t i) {
  if constexpr (!V::Is16) {
    if constexpr (V::Kind == SrcKind::Alpha && V::K == Kernel::Mix) {
      const __m128i s0 = src.Load4x32(i);
      const __m128i s1 = src.Load4x32(i + 4);
      __m128i a0 = _mm_srli_epi32(s0, 24);
      __m128i a1 = _mm_srli_epi32(s1, 24);
      // a = 0 gives weight 0 and leaves the destination as it is.
      if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_or_si128(a0, a1), _mm_setzero_si128())) == 0xFFFF) return;
      if constexpr (V::Trans) {
        const __m128i full = _mm_set1_epi32(255);
        a0 = _mm_sub_epi32(a0, _mm_cmpeq_epi32(a0, full));
        a1 = _mm_sub_epi32(a1, _mm_cmpeq_epi32(a1, full));
      }
      Store128(dp, AlphaMix4x32(s0, Load128(dp), _mm_mullo_epi16(a0, rc.param32)));
      Store128(dp + 16, AlphaMix4x32(s1, Load128(dp + 16), _mm_mullo_epi16(a1, rc.param32)));
      return;
    } else if constexpr (V::Kind == SrcKind::Alpha && kRowStep<V> == 4) {
      // As below, four pixels at a time.
      const __m128i s0 = src.Load4x32(i);
      const __m128i a0 = _mm_srli_epi32(s0, 24);
      if (_mm_movemask_epi8(_mm_cmpeq_epi32(a0, _mm_setzero_si128())) == 0xFFFF) return;
      const __m128i opaque0 = _mm_cmpeq_epi32(a0, _mm_set1_epi32(255));
      if (_mm_movemask_epi8(opaque0) == 0xFFFF) {
        Store128(dp, s0);
        return;
      }
      Store128(dp, AlphaCopy4x32(s0, Load128(dp), a0, opaque0));
      return;
    } else if constexpr (V::Kind == SrcKind::Alpha) {
      // Eight pixels: runs wholly skipped or wholly opaque are one test each.
      const __m128i s0 = src.Load4x32(i);
      const __m128i s1 = src.Load4x32(i + 4);
      const __m128i a0 = _mm_srli_epi32(s0, 24);
      const __m128i a1 = _mm_srli_epi32(s1, 24);
      const __m128i zero = _mm_setzero_si128();
      if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_or_si128(a0, a1), zero)) == 0xFFFF) return;
      const __m128i full = _mm_set1_epi32(255);
      const __m128i opaque0 = _mm_cmpeq_epi32(a0, full);
      const __m128i opaque1 = _mm_cmpeq_epi32(a1, full);
      if (_mm_movemask_epi8(_mm_and_si128(opaque0, opaque1)) == 0xFFFF) {
        Store128(dp, s0);
        Store128(dp + 16, s1);
        return;
      }
      Store128(dp, AlphaCopy4x32(s0, Load128(dp), a0, opaque0));
      Store128(dp + 16, AlphaCopy4x32(s1, Load128(dp + 16), a1, opaque1));
      return;
    }
    const __m128i s = src.Load4x32(i);
    if constexpr (V::Trans) {
      // Only a run with nothing to draw is a branch: a mix of kept and drawn pixels is
      // common and unpredictable.
      const __m128i keep = _mm_cmpeq_epi32(s, rc.key32);
      if (_mm_movemask_epi8(keep) == 0xFFFF) return;
      const __m128i d = Load128(dp);
      Store128(dp, Select(keep, d, Kernel4x32<V::K>(rc, s, d)));
    } else {
      Store128(dp, Kernel4x32<V::K>(rc, s, Load128(dp)));
    }
  } else if constexpr (V::Kind == SrcKind::Alpha && V::K == Kernel::Mix) {
    const __m128i sLo = src.Load4x32(i);
    const __m128i sHi = src.Load4x32(i + 4);
    const __m128i alphaBits = _mm_set1_epi32(0xFF0000);
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(_mm_or_si128(sLo, sHi), alphaBits), _mm_setzero_si128())) ==
        0xFFFF) {
      return;
    }
    Store128(dp, AlphaMix8x16<V::Trans>(sLo, sHi, Load128(dp), rc.param16));
  } else if constexpr (V::Kind == SrcKind::Alpha) {
    const __m128i sLo = src.Load4x32(i);
    const __m128i sHi = src.Load4x32(i + 4);
    if constexpr (!V::Trans) {
      Store128(dp, LowHalves(sLo, sHi));
      return;
    }
    const __m128i alphaBits = _mm_set1_epi32(0xFF0000);
    const __m128i aLo = _mm_and_si128(sLo, alphaBits);
    const __m128i aHi = _mm_and_si128(sHi, alphaBits);
    const __m128i zero = _mm_setzero_si128();
    if (_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi32(aLo, zero), _mm_cmpeq_epi32(aHi, zero))) == 0xFFFF) return;
    if (_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi32(aLo, alphaBits), _mm_cmpeq_epi32(aHi, alphaBits))) == 0xFFFF) {
      Store128(dp, LowHalves(sLo, sHi));
      return;
    }
    Store128(dp, AlphaCopy8x16(sLo, sHi, Load128(dp)));
  } else {
    const __m128i s = src.Load8x16(i);
    __m128i result = s;
    if constexpr (V::K == Kernel::MixHalf) {
      const __m128i halfMask = _mm_set1_epi16(0x7BEF);
      result = _mm_add_epi16(_mm_and_si128(_mm_srli_epi16(s, 1), halfMask),
                             _mm_and_si128(_mm_srli_epi16(Load128(dp), 1), halfMask));
    } else {
      static_assert(V::K == Kernel::Copy);
    }
    if constexpr (V::Trans) {
      const __m128i keep = _mm_cmpeq_epi16(s, rc.key16);
      if (_mm_movemask_epi8(keep) == 0xFFFF) return;
      result = Select(keep, Load128(dp), result);
    }
    Store128(dp, result);
  }
}

// Bytes 0 then 0xFF: the 16 from offset 16 - k have k zero bytes first, the rest 0xFF.
alignas(16) inline constexpr uint8_t kKeepAfter[32] = {0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
                                                       0,    0,    0,    0,    0,    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                       0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
inline __m128i KeepAfterBytes(int32_t bytes) { return Load128(kKeepAfter + 16 - bytes); }

// A run of `count` translucent pixels of an alpha source copied with transparency, with
// `room` pixels of row from dp on (room >= count). The pixels short of a whole step go by
// one more step where the row has room for it, the lanes past the run keeping the
// destination as read; the scalar kernel draws them only at the row's end.
template <class V>
inline void DrawTranslucentRun(const PixelContext& c, uint8_t* dp, const uint8_t* sp,
                               int32_t count, int32_t room) {
  static_assert(V::Kind == SrcKind::Alpha && V::K == Kernel::Copy && V::Trans && !V::Blend && !V::Bright);
  constexpr int32_t kStep = V::Is16 ? 8 : 4;
  const RunSource src{sp, 4};
  int32_t i = 0;
  for (; i + kStep <= count; i += kStep) {
    if constexpr (V::Is16) {
      Store128(dp + 2 * i, AlphaCopy8x16(src.Load4x32(i), src.Load4x32(i + 4), Load128(dp + 2 * i)));
    } else {
      const __m128i s = src.Load4x32(i);
      const __m128i a = _mm_srli_epi32(s, 24);
      Store128(dp + 4 * i, AlphaCopy4x32(s, Load128(dp + 4 * i), a, _mm_cmpeq_epi32(a, _mm_set1_epi32(255))));
    }
  }
  if (i == count) return;
  if (i + kStep <= room) {
    uint8_t* at = dp + i * V::kDestBytes;
    const __m128i d = Load128(at);
    const __m128i keep = KeepAfterBytes((count - i) * V::kDestBytes);
    if constexpr (V::Is16) {
      Store128(at, Select(keep, d, AlphaCopy8x16(src.Load4x32(i), src.Load4x32(i + 4), d)));
    } else {
      const __m128i s = src.Load4x32(i);
      const __m128i a = _mm_srli_epi32(s, 24);
      Store128(at, Select(keep, d, AlphaCopy4x32(s, d, a, _mm_cmpeq_epi32(a, _mm_set1_epi32(255)))));
    }
    return;
  }
  for (; i < count; ++i) DrawPixel<V>(c, src.At(i), nullptr, dp + i * V::kDestBytes, nullptr, 0);
}

#endif  // __SSE2__

// Draws `count` pixels of a row of variant V (one with HasRowForm) onto dp; rc comes from
// MakeRowConstants for the call.
template <class V, class Source>
inline void DrawRow(const PixelContext& c, [[maybe_unused]] const RowConstants& rc, uint8_t* dp, const Source& src,
                    int32_t count, const uint8_t* palette, uint32_t transparent) {
  int32_t i = 0;
#if defined(__SSE2__)
  constexpr int32_t kStep = kRowStep<V>;
  for (; i + kStep <= count; i += kStep) Step<V>(rc, dp + i * V::kDestBytes, src, i);
#endif
  for (; i < count; ++i) DrawPixel<V>(c, src.At(i), nullptr, dp + i * V::kDestBytes, palette, transparent);
}

}  // namespace quelt::softblit
